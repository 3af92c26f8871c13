// bench_launch RESULT OUTPUT PROGRAM [ARGS...]: runs one measured program and writes its wall time,
// exit code, peak resident set and CPU time to RESULT ("exit=.. seconds=.. maxrss_kb=.. cpu_seconds=..").
//
// The harness starts every measured program through this small process: the kernel carries the
// resident high-water mark of the address space a program replaces at exec into its peak, so a
// program started straight from the harness (which holds the generated workloads' pages) would
// never report less than the harness's own peak.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_launch RESULT OUTPUT PROGRAM [ARGS...]\n");
        return 2;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return 1;
    if (pid == 0) {
        const int out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = open("/dev/null", O_RDONLY);
        if (out < 0 || in < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        execvp(argv[3], argv + 3);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0)
        if (errno != EINTR) return 1;
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    FILE* result = std::fopen(argv[1], "w");
    if (!result) return 1;
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::fprintf(result, "exit=%d seconds=%.6f maxrss_kb=%ld cpu_seconds=%.6f\n",
                 WIFEXITED(status) ? WEXITSTATUS(status) : -1, seconds, usage.ru_maxrss, cpu);
    std::fclose(result);
    return 0;
}
