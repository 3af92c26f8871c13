#include "bench/ChildProcess.h"

#include <QFile>
#include <QRegularExpression>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

extern char** environ;

namespace bench {

ChildResult ChildProcess::run(const QString& launcher, const QStringList& argv, const QString& outputFile,
                              const QStringList& environment) {
    ChildResult result;
    if (argv.isEmpty()) return result;
    const QString resultFile = outputFile + QStringLiteral(".result");
    QFile::remove(resultFile);

    std::vector<std::string> args{launcher.toStdString(), resultFile.toStdString(), outputFile.toStdString()};
    for (const QString& a : argv)
        args.push_back(a.toStdString());
    std::vector<char*> argp;
    for (std::string& a : args)
        argp.push_back(a.data());
    argp.push_back(nullptr);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        const std::string name = entry.substr(0, entry.find('='));
        bool replaced = false;
        for (const QString& add : environment)
            replaced = replaced || add.section(QLatin1Char('='), 0, 0).toStdString() == name;
        if (!replaced) env.push_back(entry);
    }
    for (const QString& add : environment)
        env.push_back(add.toStdString());
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);

    pid_t pid = 0;
    if (posix_spawn(&pid, argp[0], nullptr, nullptr, argp.data(), envp.data()) != 0) return result;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return result;

    QFile f(resultFile);
    if (!f.open(QIODevice::ReadOnly)) return result;
    static const QRegularExpression line(
        QStringLiteral("^exit=(-?\\d+) seconds=([0-9.]+) maxrss_kb=(\\d+) cpu_seconds=([0-9.]+)"));
    const QRegularExpressionMatch m = line.match(QString::fromLatin1(f.readAll()));
    if (!m.hasMatch()) return result;
    result.exitCode = m.captured(1).toInt();
    result.started = result.exitCode != 127;
    result.seconds = m.captured(2).toDouble();
    result.maxRssKb = m.captured(3).toLong();
    result.cpuSeconds = m.captured(4).toDouble();
    return result;
}

} // namespace bench
