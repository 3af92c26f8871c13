#include "tests/reliability/ChildProcess.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace reliability {

ChildProcess::~ChildProcess() {
    if (pid_ > 0 && !done_) {
        ::kill(pid_, SIGKILL);
        wait(5000);
    }
}

bool ChildProcess::start(const QString& program, const QStringList& arguments, const QStringList& environment,
                         const QString& outputFile) {
    std::vector<QByteArray> args{program.toLocal8Bit()};
    for (const QString& a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<QByteArray> env;
    for (char** e = environ; *e; ++e) {
        const QByteArray entry(*e);
        const QByteArray name = entry.left(entry.indexOf('=') + 1);
        bool replaced = false;
        for (const QString& extra : environment)
            if (extra.toLocal8Bit().startsWith(name)) replaced = true;
        if (!replaced) env.push_back(entry);
    }
    for (const QString& extra : environment)
        env.push_back(extra.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray out = outputFile.toLocal8Bit();
    posix_spawn_file_actions_addopen(&actions, 1, out.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    done_ = false;
    exited_ = false;
    exitCode_ = -1;
    signal_ = 0;
    if (rc != 0) pid_ = -1;
    return rc == 0;
}

void ChildProcess::kill() {
    if (pid_ > 0 && !done_) ::kill(pid_, SIGKILL);
}

bool ChildProcess::wait(int timeoutMs) {
    if (pid_ <= 0) return true;
    if (done_) return true;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid_, &status, WNOHANG);
        if (r == pid_) {
            done_ = true;
            if (WIFEXITED(status)) {
                exited_ = true;
                exitCode_ = WEXITSTATUS(status);
            } else if (WIFSIGNALED(status)) {
                signal_ = WTERMSIG(status);
            }
            return true;
        }
        if (r < 0 && errno != EINTR) {
            done_ = true;
            return true;
        }
        if (timer.elapsed() > timeoutMs) {
            ::kill(pid_, SIGKILL);
            int s = 0;
            ::waitpid(pid_, &s, 0);
            done_ = true;
            signal_ = SIGKILL;
            return false;
        }
        QThread::msleep(5);
    }
}

} // namespace reliability
