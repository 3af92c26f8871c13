#pragma once

#include "bench/BenchWorkload.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

class PgCluster;

namespace bench {

struct HarnessOptions {
    QString binDir;     // the build folder: k48213ctl, bench/bench_limit_sqlite, ...
    QString workDir;    // generated workloads (kept between runs) and the run folders
    QString peerScript; // bench/peer_pandas.py
    bool quick = false;
    int repetitions = 3;
    bool postgres = true;
    QStringList only;          // names of the measurements to run; empty: all
    bool generateOnly = false; // build (or check) the workloads and stop
};

// One timed run of a measured program.
struct BenchSample {
    double seconds = 0;
    double cpuSeconds = 0;
    long maxRssKb = 0;
    std::int64_t rows = -1;          // rows of the workload's variables in the target afterwards
    double sum = 0;                  // their values' sum
    bool ok = false;                 // the program succeeded
    double transactionsPerSlot = -1; // PostgreSQL: the facility database's transactions per slot
};

// Runs every measurement of the benchmark in one process run: the workloads are generated (or
// reused when an earlier run generated the same), then each repetition runs every measurement
// once, in a fixed interleaved order, so that a burst of load elsewhere on the machine spreads
// over all of them. Each run is its own process on a fresh copy of its target. The table gives
// the minimum and the median of each; the last line the four headline figures.
class BenchHarness {
public:
    explicit BenchHarness(HarnessOptions options);
    ~BenchHarness();

    int run();

    enum class Kind { Import, Backfill, Limit, LimitBackfill, Peer, ImportPg, LimitPg };

    struct Workload {
        QString name;
        SourceSpec source;
        TargetSpec target;
        QString sourceDir;
        QString pristineDir;
        bool postgres = false;
    };

    struct Measurement {
        QString name;
        QString label;
        Kind kind = Kind::Import;
        int workload = 0;
        int rangeDays = 0; // 0: a range without a slot (the fixed cost of a run)
        std::int64_t slotCount = 0;
        std::vector<BenchSample> samples;
        QString check; // empty: every run wrote what the limit wrote
    };

private:
    int days() const;      // of the main workload
    int sweepDays() const; // of the readings and variables sweeps
    void defineWorkloads();
    void defineMeasurements();
    void generate();
    QString ensureSource(const SourceSpec& spec);
    QString ensureTarget(const QString& name, const SourceSpec& source, const TargetSpec& spec,
                         const QString& sourceDir);
    void startPostgres();
    void resetPostgresTarget(const Workload& w);
    std::int64_t postgresTransactions();

    void prepare(const Measurement& m, const QString& home);
    QStringList command(const Measurement& m, const QString& home) const;
    void verify(const Measurement& m, const QString& home, BenchSample& s);
    void runOnce(Measurement& m, int repetition);
    void check();
    void report();

    int add(const QString& name, const QString& label, Kind kind, int workload, int rangeDays);
    int workloadIndex(const QString& name) const;
    const Measurement* find(const QString& name) const;
    double median(const QString& name) const;
    double fastest(const QString& name) const;
    double medianCpu(const QString& name) const;
    double net(const QString& name, const QString& baseline) const;
    long medianRss(const QString& name) const;
    double medianTransactions(const QString& name) const;

    HarnessOptions o_;
    std::vector<Workload> workloads_;
    std::vector<Measurement> measurements_;
    std::unique_ptr<PgCluster> pg_;
};

} // namespace bench
