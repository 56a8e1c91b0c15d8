// Runs another program of the project, as a user would from a shell, for end-to-end tests and
// benchmarks.
#pragma once

#include <sys/resource.h>

#include <string>
#include <vector>

namespace testmovie {

// What a finished program left behind: its exit status and what it wrote.
struct ProgramRun {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs `argv` (argv[0] is the program's path) with standard output and standard error sent to
// the given files ("/dev/null" to drop them) and waits for it. Returns its exit status,
// 128 + the signal number when a signal ended it, or -1 when it could not be started. `usage`,
// when given, receives what the program used (its peak resident memory among it).
int RunProgram(const std::vector<std::string>& argv, const std::string& outPath,
               const std::string& errPath, struct rusage* usage = nullptr);

// Runs `argv` with standard error, and standard output unless `outPath` names a file for it,
// captured through files in `scratchFolder`; `out` stays empty when `outPath` is given.
ProgramRun RunCapturing(const std::vector<std::string>& argv, const std::string& scratchFolder,
                        const std::string& outPath = "");

}  // namespace testmovie
