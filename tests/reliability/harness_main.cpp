// k48213_reliability: the long parts of the reliability suite, run by tools/reliability.
//   k48213_reliability faults [--engine sqlite|postgresql] [--scale small|long] [--stride N]
//   k48213_reliability kills --ctl PROGRAM --shim LIBRARY [--cycles N] [--save-kills N] [--seed N]
//   k48213_reliability config-saver FILE     (the child the kill harness ends during saves)
// Figures go to $K48213_RELIABILITY_REPORT as "name handled total" lines; progress to stdout.
#include "CommonFiles/foundation/OleDate.h"
#include "tests/reliability/FaultCampaign.h"
#include "tests/reliability/ImportScenario.h"
#include "tests/reliability/InProcessImport.h"
#include "tests/reliability/KillHarness.h"
#include "tests/reliability/ReliabilityReport.h"
#include "tests/reliability/ScratchDir.h"
#include "tests/support/PgCluster.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

namespace {

void say(const QString& line) {
    std::fputs((line + QLatin1Char('\n')).toLocal8Bit().constData(), stdout);
    std::fflush(stdout);
}

QString option(const QStringList& args, const QString& name, const QString& fallback) {
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : fallback;
}

int faults(const QStringList& args) {
    const bool pg = option(args, "--engine", "sqlite") == QLatin1String("postgresql");
    const bool longScale = option(args, "--scale", "small") == QLatin1String("long");
    const int stride = option(args, "--stride", "1").toInt();
    reliability::InProcessImport::initProcess();
    std::unique_ptr<PgCluster> cluster;
    std::unique_ptr<ScratchDir> folder;
    fixtures::DatabaseHost host;
    if (pg) {
        cluster = std::make_unique<PgCluster>();
        cluster->start();
        host = fixtures::DatabaseHost::postgres("127.0.0.1", cluster->port(), cluster->superuser());
    } else {
        folder = std::make_unique<ScratchDir>();
        host = fixtures::DatabaseHost::sqliteFolder(folder->path());
    }
    const double lastRun =
        longScale ? OleDate::fromParts(2024, 3, 3, 0, 0) : OleDate::fromParts(2024, 3, 4, 21, 0);
    const double now =
        longScale ? OleDate::fromParts(2024, 3, 5, 7, 13) : OleDate::fromParts(2024, 3, 5, 3, 10);
    reliability::ImportScenario scenario(host, reliability::ImportScenario::datesFor(lastRun, now));
    reliability::CampaignOptions options;
    options.now = now;
    options.stride = std::max(1, stride);
    int done = 0;
    options.progress = [&done](const QString& line) {
        if (++done % 50 == 0 || line.contains(QLatin1String("FAILED"))) say("  " + line);
    };
    const reliability::CampaignResult r = reliability::runFaultCampaign(scenario, options);
    say(QStringLiteral(
            "faults on %1 (%2): %3 source and %4 target calls per import, %5 of %6 faults survived")
            .arg(pg ? "PostgreSQL" : "SQLite", longScale ? "long" : "small")
            .arg(r.sourceCalls)
            .arg(r.targetCalls)
            .arg(r.survived)
            .arg(r.tried));
    for (const QString& f : r.failures)
        say("  FAILED " + f);
    reliability::reportFigure("faults_survived", r.survived, r.tried);
    reliability::reportFigure("invariant_violations", r.violations, 0);
    reliability::reportFigure("rows_lost", r.rowsLost, 0);
    reliability::reportFigure("rows_duplicated", r.rowsDuplicated, 0);
    return r.survived == r.tried && r.violations == 0 ? 0 : 1;
}

int kills(const QStringList& args) {
    reliability::KillOptions options;
    options.ctl = option(args, "--ctl", QString());
    options.shim = option(args, "--shim", QString());
    options.helper = QCoreApplication::applicationFilePath();
    options.cycles = option(args, "--cycles", "5").toInt();
    options.saveKills = option(args, "--save-kills", "3").toInt();
    options.seed = option(args, "--seed", "1").toUInt();
    options.progress = [](const QString& line) { say("  " + line); };
    const reliability::KillResult r = reliability::runKillHarness(options);
    say(QStringLiteral(
            "kills: %1 of %2 attempts ended by SIGKILL, %3 runs, %4 crashes, %5 failed runs, %6 violations")
            .arg(r.kills)
            .arg(r.attempts)
            .arg(r.runs)
            .arg(r.crashes)
            .arg(r.failedRuns)
            .arg(r.violations));
    for (const QString& f : r.failures)
        say("  FAILED " + f);
    reliability::reportFigure("kills", r.kills, r.attempts);
    reliability::reportFigure("crashes", r.crashes, 0);
    reliability::reportFigure("invariant_violations", r.violations, 0);
    reliability::reportFigure("rows_lost", r.rowsLost, 0);
    reliability::reportFigure("rows_duplicated", r.rowsDuplicated, 0);
    reliability::reportFigure("failed_restarts", r.failedRuns, 0);
    return r.violations == 0 && r.crashes == 0 && r.failedRuns == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    const QString command = args.value(0);
    if (command == QLatin1String("config-saver") && args.size() == 2)
        return reliability::runConfigSaver(args[1]);
    if (command == QLatin1String("faults")) return faults(args);
    if (command == QLatin1String("kills")) return kills(args);
    std::fputs("usage: k48213_reliability faults|kills|config-saver ...\n", stderr);
    return 2;
}
