#include "tests/reliability/Isolated.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace reliability {

namespace {

long statusFieldKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::stol(line.substr(n + 1));
    return 0;
}

} // namespace

IsolatedResult runIsolated(const std::function<int()>& body) {
    int pipeFds[2];
    IsolatedResult result;
    if (pipe(pipeFds) != 0) return result;
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipeFds[0]);
        // Resets the peak so that VmHWM measures this child's own growth from here.
        if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
            std::fputs("5", f);
            std::fclose(f);
        }
        const long before = statusFieldKb("VmRSS:");
        int code = 0;
        try {
            code = body();
        } catch (...) {
            code = 125;
        }
        const long growth = statusFieldKb("VmHWM:") - before;
        const ssize_t written = write(pipeFds[1], &growth, sizeof growth);
        (void)written;
        close(pipeFds[1]);
        _exit(code);
    }
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return result;
    }
    long growth = 0;
    if (read(pipeFds[0], &growth, sizeof growth) == sizeof growth) result.peakGrowthKb = growth;
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exited = true;
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

} // namespace reliability
