#include "bench/figures.h"

#include <algorithm>

namespace testmovie {

Figures Summarize(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    return {seconds[seconds.size() / 2], seconds.front(), seconds.back()};
}

}  // namespace testmovie
