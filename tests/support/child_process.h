// Runs part of a test in a forked child: for process-wide limits (open files, file size) that
// must not touch the test runner, and for permission checks, which bind root only after it has
// become an ordinary user.
#pragma once

#include <functional>

namespace testmovie {

// The exit code of a child that was asked to run unprivileged and could not drop root.
constexpr int kChildCannotDropPrivileges = 77;

// Runs `body` in a forked child and returns the child's exit code: what `body` returned, 101
// when it threw, 128 + the signal number when a signal ended it, -1 when there was no child.
// With `unprivileged`, a root parent's child first becomes "nobody" (uid and gid 65534).
int RunInChild(const std::function<int()>& body, bool unprivileged = false);

}  // namespace testmovie
