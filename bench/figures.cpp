#include "bench/figures.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>

#include "tests/support/run_program.h"

namespace testmovie {

Figures Summarize(std::vector<double> seconds) {
    std::sort(seconds.begin(), seconds.end());
    return {seconds[seconds.size() / 2], seconds.front(), seconds.back()};
}

void TimeProcess(const std::vector<std::string>& argv, int wantedStatus, ProcessRuns& runs) {
    struct rusage usage {};
    const auto start = std::chrono::steady_clock::now();
    const int status = RunProgram(argv, "/dev/null", "/dev/null", &usage);
    runs.seconds.push_back(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    runs.cpuSeconds.push_back(seconds(usage.ru_utime) + seconds(usage.ru_stime));
    runs.peakMegabytes = std::max(runs.peakMegabytes, usage.ru_maxrss / 1024.0);
    runs.failed = runs.failed || status != wantedStatus;
}

}  // namespace testmovie
