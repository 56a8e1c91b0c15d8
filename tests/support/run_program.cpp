#include "tests/support/run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/movie_builder.h"

namespace testmovie {

int RunProgram(const std::vector<std::string>& args, const std::string& outPath,
               const std::string& errPath, struct rusage* usage) {
    std::vector<std::string> copies = args;
    std::vector<char*> argv;
    for (std::string& arg : copies) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return -1;
    }
    int status = 0;
    struct rusage used {};
    while (wait4(pid, &status, 0, &used) < 0) {
    }
    if (usage != nullptr) {
        *usage = used;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ProgramRun RunCapturing(const std::vector<std::string>& argv, const std::string& scratchFolder,
                        const std::string& outPath) {
    const std::string capturedOut = scratchFolder + "/stdout";
    const std::string errPath = scratchFolder + "/stderr";
    ProgramRun run;
    run.status = RunProgram(argv, outPath.empty() ? capturedOut : outPath, errPath);
    if (run.status >= 0) {
        run.out = outPath.empty() ? AsText(ReadFile(capturedOut)) : "";
        run.err = AsText(ReadFile(errPath));
    }
    return run;
}

}  // namespace testmovie
