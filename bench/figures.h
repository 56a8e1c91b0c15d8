// How the benchmarks sum up repeated timings.
#pragma once

#include <vector>

namespace testmovie {

struct Figures {
    double median;
    double best;
    double worst;
};

// The median, best and worst of `seconds`, which holds at least one timing.
Figures Summarize(std::vector<double> seconds);

}  // namespace testmovie
