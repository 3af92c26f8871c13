#pragma once

#include "fixtures/DatabaseHost.h"

#include <QString>

#include <cstdint>

namespace bench {

// A site's readings: `signals` signals, each with one reading every `readingSeconds` from the
// workload start for `days` days. Signal k is KQ:<10 + k>:501.
struct SourceSpec {
    int signalCount = 10;
    int days = 90;
    double readingSeconds = 60.0;

    std::int64_t readingCount() const;
    QString fingerprint() const;
};

// A target with one facility whose `variables` enabled variables are linked to the collector;
// variable i (varid 1 + i) reads signal i % signalCount of the source with the AVERAGE statistic,
// two decimals, approval level 1. The facility's lock date lies before the data, so every slot is
// checked against it and none is refused. `prefillRows` rows of other variables (varids from
// 900000) already fill the variables' interval table.
struct TargetSpec {
    int variables = 10;
    QString varType; // a type code; empty: hourly
    std::int64_t prefillRows = 0;

    QString fingerprint(const SourceSpec& source) const;
};

// The deterministic benchmark workload, built with the reference-databases API: the same specs
// give the same databases.
class BenchWorkload {
public:
    static constexpr int CollectorId = 101;
    static constexpr int FirstVarid = 1;
    static constexpr int PrefillFirstVarid = 900000;

    static QString siteId();     // BENCHSITE
    static QString dataTable();  // BENCHSITE_DATA
    static QString facility();   // BENCHWTP
    static double start();       // 2024-01-01 00:00, the first reading
    static double end(int days); // start + days
    static QString tag(int signal);
    static QString varType(const TargetSpec& spec); // the spec's type, hourly by default

    // The site table and its readings on a host (VIRev, replaced when it exists).
    static void buildSource(const fixtures::DatabaseHost& host, const SourceSpec& spec);
    // QTXROOT and the facility (replaced when they exist).
    static void buildTarget(const fixtures::DatabaseHost& host, const SourceSpec& source,
                            const TargetSpec& spec);
    // The program's configuration file pointing at a target and a source data source.
    static void writeConfiguration(const QString& path, const QString& targetDataSource,
                                   const QString& sourceDataSource, int days);

    // The interval or daily table of a type ("DATADDH", "DATATBL", ...).
    static QString dataTableOf(const QString& varType);
    // Slots of a variable of the type over whole days (the range starts and ends at midnight).
    static std::int64_t slotsPerVariable(const QString& varType, int days);
};

} // namespace bench
