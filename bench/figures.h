// How the benchmarks sum up repeated timings.
#pragma once

#include <string>
#include <vector>

namespace testmovie {

struct Figures {
    double median;
    double best;
    double worst;
};

// The median, best and worst of `seconds`, which holds at least one timing.
Figures Summarize(std::vector<double> seconds);

// The runs of one command, each a process of its own.
struct ProcessRuns {
    std::vector<double> seconds;
    // The processor time of the run, user and system: on a machine that other work shares, the
    // wall time of a run of 10 ms is mostly waiting.
    std::vector<double> cpuSeconds;
    double peakMegabytes = 0;
    bool failed = false;  // some run ended with another status than the one wanted
};

// Runs `argv` once, its output to /dev/null, and adds its figures to `runs`.
void TimeProcess(const std::vector<std::string>& argv, int wantedStatus, ProcessRuns& runs);

}  // namespace testmovie
