#include "tests/support/child_process.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace testmovie {

int RunInChild(const std::function<int()>& body, bool unprivileged) {
    constexpr uid_t kNobody = 65534;
    // Output buffered before the fork would otherwise be written twice.
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        if (unprivileged && ::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
            ::_exit(kChildCannotDropPrivileges);
        }
        int code = 101;
        try {
            code = body();
        } catch (...) {
        }
        // Never back into the test framework: the parent reports the outcome.
        ::_exit(code);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace testmovie
