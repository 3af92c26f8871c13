#include "tests/reliability/KillHarness.h"

#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/OleDate.h"
#include "custom/CustomConfiguration.h"
#include "tests/reliability/ChildProcess.h"
#include "tests/reliability/ImportOracle.h"
#include "tests/reliability/ImportScenario.h"
#include "tests/reliability/ScratchDir.h"
#include "tests/support/TempDir.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSet>
#include <QThread>

#include <csignal>
#include <random>

namespace reliability {

namespace {

constexpr int RunTimeoutMs = 300000;

void note(KillResult& r, const QString& what) {
    if (r.failures.size() < 20) r.failures << what;
}

void violation(KillResult& r, const QString& what) {
    ++r.violations;
    note(r, what);
}

void count(KillResult& r, const InvariantReport& report, const QString& when) {
    if (report.ok()) return;
    r.rowsLost += report.rowsLost;
    r.rowsDuplicated += report.rowsDuplicated;
    r.violations += report.violations;
    note(r, when + QStringLiteral(": ") + report.summary());
}

QStringList childEnvironment(const QString& home, const QString& killPoint, const QString& shim) {
    QStringList env{QStringLiteral("K48213_HOME=") + home, QStringLiteral("QT_QPA_PLATFORM=offscreen"),
                    // A preloaded library comes before the sanitizer runtime of a sanitizer build.
                    QStringLiteral("ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0")};
    if (!killPoint.isEmpty()) {
        env << QStringLiteral("LD_PRELOAD=") + shim << QStringLiteral("K48213_KILL_POINT=") + killPoint;
    }
    return env;
}

bool configurationParses(const QString& path) {
    QTXConfiguration config;
    DefineStartupKeys(config);
    CustomConfiguration::DefineTree(config);
    config.setPath(path);
    return QFile::exists(path) && config.ReadConfig();
}

// The value every key gets in a generation of the config-saver.
QString generationValue(const QString& key, int generation) {
    return QStringLiteral("g%1-").arg(generation) + key.section(QLatin1Char('\\'), -1);
}

} // namespace

int runConfigSaver(const QString& path) {
    QTXConfiguration config;
    DefineStartupKeys(config);
    CustomConfiguration::DefineTree(config);
    config.setPath(path);
    const QStringList keys = config.TreeHash().Keys();
    for (int generation = 1;; ++generation) {
        for (const QString& key : keys)
            config.setItem(key, generationValue(key, generation));
        config.setEncryptData(generation % 2 == 0);
        if (!config.SaveConfig()) return 1;
    }
}

KillResult runKillHarness(const KillOptions& options) {
    KillResult result;
    std::mt19937 rng(options.seed);
    ScratchDir work;
    const QString home = work.file(QStringLiteral("home"));
    const QString data = work.file(QStringLiteral("data"));
    QDir().mkpath(data);

    // Yesterday from midnight to now is the first run's range.
    const double now = OleDate::now();
    const double lastRun = OleDate::addDays(OleDate::datePart(now), -1);
    ImportScenario scenario(fixtures::DatabaseHost::sqliteFolder(data),
                            ImportScenario::datesFor(lastRun, now));
    scenario.writeApplicationFolder(home);
    const QString configPath = home + QStringLiteral("/k48213.xml");
    ImportOracle oracle(scenario);

    auto runChild = [&](const QString& killPoint, int killAfterMs, ChildProcess& child) {
        ++result.runs;
        const QString out = work.file(QStringLiteral("run-%1.txt").arg(result.runs));
        child.start(options.ctl, {QStringLiteral("--home"), home, QStringLiteral("import")},
                    childEnvironment(home, killPoint, options.shim), out);
        if (killAfterMs >= 0) {
            QElapsedTimer t;
            t.start();
            while (t.elapsed() < killAfterMs && !child.wait(0))
                QThread::msleep(1);
            child.kill();
        }
        child.wait(RunTimeoutMs);
        return out;
    };
    auto tail = [](const QString& file) {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly)) return QString();
        return QString::fromLocal8Bit(f.readAll()).right(600);
    };

    // One clean run: how long an import takes and how many rows it writes, for choosing points.
    scenario.reset();
    QElapsedTimer clock;
    clock.start();
    {
        ChildProcess child;
        const QString out = runChild(QString(), -1, child);
        if (!child.exited() || child.exitCode() != 0) {
            ++result.failedRuns;
            note(result, QStringLiteral("the clean run failed: ") + tail(out));
            return result;
        }
    }
    const qint64 cleanMs = clock.elapsed();
    const int writes = std::max(1, int(oracle.valueRows().size()) - int(scenario.protectedRows().size()));
    count(result, oracle.check(), QStringLiteral("clean run"));

    const QStringList kinds{QStringLiteral("seek"), QStringLiteral("write"), QStringLiteral("lastrun-before"),
                            QStringLiteral("lastrun-after"), QStringLiteral("random")};
    for (int cycle = 0; cycle < options.cycles; ++cycle) {
        scenario.reset();
        const QString& kind = kinds[cycle % kinds.size()];
        QString point;
        int killAfter = -1;
        if (kind == QLatin1String("random"))
            killAfter = std::uniform_int_distribution<int>(0, int(std::max<qint64>(cleanMs, 50)))(rng);
        else if (kind.startsWith(QLatin1String("lastrun")))
            point = kind + QStringLiteral(":%1").arg(1 + cycle / kinds.size() % 2);
        else
            point = kind + QStringLiteral(":%1").arg(std::uniform_int_distribution<int>(1, writes)(rng));
        const QString name = point.isEmpty() ? QStringLiteral("kill after %1 ms").arg(killAfter)
                                             : QStringLiteral("kill at ") + point;
        ++result.attempts;
        {
            ChildProcess child;
            const QString out = runChild(point, killAfter, child);
            if (child.signal() == SIGKILL)
                ++result.kills;
            else if (child.signal() != 0) {
                ++result.crashes;
                note(result, name + QStringLiteral(": ended by signal %1: ").arg(child.signal()) + tail(out));
            } else if (child.exitCode() != 0) {
                ++result.failedRuns;
                note(result,
                     name + QStringLiteral(": exit %1 before the kill: ").arg(child.exitCode()) + tail(out));
            }
        }
        if (!configurationParses(configPath))
            violation(result, name + QStringLiteral(": the configuration does not parse"));
        count(result, oracle.check(), name + QStringLiteral(", right after the kill"));

        // Restart: the run must succeed and leave everything up to its range end done.
        const double restartedAt = OleDate::addSeconds(OleDate::now(), -2);
        {
            ChildProcess child;
            const QString out = runChild(QString(), -1, child);
            if (child.signal() != 0) {
                ++result.crashes;
                note(result, name + QStringLiteral(": the restart ended by signal %1").arg(child.signal()));
            } else if (child.exitCode() != 0) {
                ++result.failedRuns;
                note(result,
                     name + QStringLiteral(": the restart exited %1: ").arg(child.exitCode()) + tail(out));
            }
        }
        count(result, oracle.check(restartedAt), name + QStringLiteral(", after the restart"));

        // A further run changes none of the rows that are there.
        const QStringList before = oracle.valueRows();
        {
            ChildProcess child;
            runChild(QString(), -1, child);
            if (!child.exited() || child.exitCode() != 0) ++result.failedRuns;
        }
        const QStringList after = oracle.valueRows();
        const QSet<QString> afterSet(after.begin(), after.end());
        for (const QString& row : before)
            if (!afterSet.contains(row)) {
                violation(result, name + QStringLiteral(": the further run changed ") + row);
                break;
            }
        count(result, oracle.check(), name + QStringLiteral(", after a further run"));
        if (options.progress) options.progress(name + QStringLiteral(" (%1 kills so far)").arg(result.kills));
    }

    // Kills during configuration saves: the file always parses, with one generation's values.
    const QString savePath = work.file(QStringLiteral("saver/k48213.xml"));
    QDir().mkpath(work.file(QStringLiteral("saver")));
    for (int i = 0; i < options.saveKills; ++i) {
        ++result.attempts;
        const QString point =
            i % 3 == 2 ? QString()
                       : (i % 3 == 0 ? QStringLiteral("save-before:") : QStringLiteral("save-after:")) +
                             QString::number(1 + std::uniform_int_distribution<int>(0, 40)(rng));
        ChildProcess child;
        ++result.runs;
        child.start(options.helper, {QStringLiteral("config-saver"), savePath},
                    childEnvironment(home, point, options.shim), work.file(QStringLiteral("saver.txt")));
        if (point.isEmpty()) {
            QThread::msleep(std::uniform_int_distribution<int>(20, 400)(rng));
            child.kill();
        }
        child.wait(RunTimeoutMs);
        if (child.signal() == SIGKILL)
            ++result.kills;
        else if (child.signal() != 0)
            ++result.crashes;
        if (!QFile::exists(savePath)) continue; // killed before the first save
        QTXConfiguration config;
        DefineStartupKeys(config);
        CustomConfiguration::DefineTree(config);
        config.setPath(savePath);
        if (!config.ReadConfig()) {
            violation(result,
                      QStringLiteral("a save killed (%1) left a file that does not parse").arg(point));
            continue;
        }
        // Every key from one and the same generation: no half-written file.
        QSet<QString> generations;
        for (const QString& key : config.TreeHash().Keys())
            generations.insert(config.item(key).section(QLatin1Char('-'), 0, 0));
        if (generations.size() != 1)
            violation(result, QStringLiteral("a save killed (%1) left keys of %2 generations")
                                  .arg(point)
                                  .arg(generations.size()));
    }
    return result;
}

} // namespace reliability
