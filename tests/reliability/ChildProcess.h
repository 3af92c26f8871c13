#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// A program run as a child process with a few extra environment variables and its output in a
// file, ended as the test decides (SIGKILL) and reaped with its exact exit status.
namespace reliability {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // environment: "NAME=value" entries added to (or replacing in) this process's environment.
    bool start(const QString& program, const QStringList& arguments, const QStringList& environment,
               const QString& outputFile);
    void kill();
    // Waits for the end; false when timeoutMs passed first (the child is then killed).
    bool wait(int timeoutMs);

    bool exited() const { return exited_; }
    int exitCode() const { return exitCode_; }
    int signal() const { return signal_; }
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    bool done_ = false;
    bool exited_ = false;
    int exitCode_ = -1;
    int signal_ = 0;
};

} // namespace reliability
