#pragma once

#include <QString>
#include <QStringList>

namespace bench {

// How a measured program ended.
struct ChildResult {
    bool started = false;
    int exitCode = -1;     // -1 when it was killed by a signal
    double seconds = 0;    // wall time from start to end
    long maxRssKb = 0;     // peak resident set (getrusage of the program)
    double cpuSeconds = 0; // user and system time of the program (not of a database server)
};

// Runs one measured program to its end through the launcher (bench_launch): its output (stdout and
// stderr) goes to a file, the environment is this process's with `environment` entries
// ("NAME=value") added or replaced.
class ChildProcess {
public:
    static ChildResult run(const QString& launcher, const QStringList& argv, const QString& outputFile,
                           const QStringList& environment = {});
};

} // namespace bench
