// bench_harness: the whole benchmark in one run (tools/bench builds and starts it).
//   bench_harness --bin DIR --work DIR [--peer SCRIPT] [--quick] [--repetitions N] [--no-postgres]
#include "bench/BenchHarness.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("K48213 benchmark: import, limits, peer, scaling, memory."));
    parser.addHelpOption();
    const QCommandLineOption bin(
        QStringLiteral("bin"), QStringLiteral("The build folder (k48213ctl, bench/...)."),
        QStringLiteral("dir"), QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    const QCommandLineOption work(QStringLiteral("work"), QStringLiteral("Folder for workloads and runs."),
                                  QStringLiteral("dir"));
    const QCommandLineOption peer(QStringLiteral("peer"), QStringLiteral("The pandas peer script."),
                                  QStringLiteral("file"), QStringLiteral(BENCH_SOURCE_DIR "/peer_pandas.py"));
    const QCommandLineOption quick(QStringLiteral("quick"),
                                   QStringLiteral("Small workloads (a minute or two)."));
    const QCommandLineOption reps(QStringLiteral("repetitions"),
                                  QStringLiteral("Runs of each measurement (3)."), QStringLiteral("n"),
                                  QStringLiteral("3"));
    const QCommandLineOption noPg(QStringLiteral("no-postgres"),
                                  QStringLiteral("Leave out the PostgreSQL variant."));
    const QCommandLineOption only(QStringLiteral("only"),
                                  QStringLiteral("Comma-separated names of the measurements to run (all)."),
                                  QStringLiteral("names"));
    const QCommandLineOption generateOnly(QStringLiteral("generate-only"),
                                          QStringLiteral("Build the workloads and stop."));
    parser.addOptions({bin, work, peer, quick, reps, noPg, only, generateOnly});
    parser.process(app);

    bench::HarnessOptions o;
    o.binDir = QDir(parser.value(bin)).absolutePath();
    o.workDir = QDir(parser.isSet(work) ? parser.value(work) : o.binDir + QStringLiteral("/bench-work"))
                    .absolutePath();
    o.peerScript = QDir(parser.value(peer)).absolutePath();
    o.quick = parser.isSet(quick);
    o.repetitions = std::max(1, parser.value(reps).toInt());
    o.postgres = !parser.isSet(noPg);
    o.generateOnly = parser.isSet(generateOnly);
    if (parser.isSet(only)) o.only = parser.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts);
    try {
        return bench::BenchHarness(o).run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_harness: %s\n", e.what());
        return 1;
    }
}
