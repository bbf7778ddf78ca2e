// Runs a piece of a test in a child process, for what must not touch the test process itself
// (resource limits) or might block it (a FIFO): an alarm ends a child that hangs.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <functional>

// The child's exit code (body's result, 0..255), or minus the signal that ended it.
inline int RunInChild(const std::function<int()>& body, unsigned timeoutSeconds = 10) {
    const pid_t pid = ::fork();
    if (pid < 0) return -1000;
    if (pid == 0) {
        ::alarm(timeoutSeconds);
        ::_exit(body());
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}
