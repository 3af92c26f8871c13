#include "bench/BenchWorkload.h"

#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/VarTypeFunctions.h"
#include "fixtures/DemoData.h"
#include "fixtures/SourceDatabase.h"
#include "fixtures/TargetDatabase.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace bench {

namespace {

// splitmix64: the same sequence on every platform, unlike the std distributions.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : state_(seed) {}
    double uniform() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return double(z >> 11) * (1.0 / 9007199254740992.0);
    }

private:
    std::uint64_t state_;
};

// Bumped whenever the generated contents change, so that cached workloads are rebuilt.
constexpr int GeneratorVersion = 1;

} // namespace

std::int64_t SourceSpec::readingCount() const {
    const auto perSignal = static_cast<std::int64_t>(std::llround(days * 86400.0 / readingSeconds));
    return perSignal * signalCount;
}

QString SourceSpec::fingerprint() const {
    return QStringLiteral("source v%1 signals=%2 days=%3 step=%4")
        .arg(GeneratorVersion)
        .arg(signalCount)
        .arg(days)
        .arg(readingSeconds, 0, 'g', 10);
}

QString TargetSpec::fingerprint(const SourceSpec& source) const {
    return QStringLiteral("target v%1 variables=%2 type=%3 prefill=%4 signals=%5 days=%6")
        .arg(GeneratorVersion)
        .arg(variables)
        .arg(BenchWorkload::varType(*this))
        .arg(prefillRows)
        .arg(source.signalCount)
        .arg(source.days);
}

QString BenchWorkload::siteId() {
    return QStringLiteral("BENCHSITE");
}

QString BenchWorkload::dataTable() {
    return QStringLiteral("BENCHSITE_DATA");
}

QString BenchWorkload::facility() {
    return QStringLiteral("BENCHWTP");
}

double BenchWorkload::start() {
    return OleDate::fromParts(2024, 1, 1);
}

double BenchWorkload::end(int days) {
    return OleDate::addDays(start(), days);
}

QString BenchWorkload::tag(int signal) {
    return QStringLiteral("KQ:%1:501").arg(10 + signal);
}

QString BenchWorkload::varType(const TargetSpec& spec) {
    return spec.varType.isEmpty() ? fixtures::VarTypeCode::Hourly : spec.varType;
}

QString BenchWorkload::dataTableOf(const QString& varType) {
    return VarTypeFunctions::DataTableName(varType);
}

std::int64_t BenchWorkload::slotsPerVariable(const QString& varType, int days) {
    return std::int64_t(days) * VarTypeFunctions::IntervalsPerDay(varType);
}

void BenchWorkload::buildSource(const fixtures::DatabaseHost& host, const SourceSpec& spec) {
    if (spec.signalCount < 1 || spec.days < 1 || !(spec.readingSeconds >= 0.001))
        throw std::invalid_argument("a source needs at least one signal, one day and a positive step");
    fixtures::SourceDatabase source = fixtures::SourceDatabase::create(host);
    source.addSite(siteId(), dataTable());

    // A slow daily swing, each signal shifted by three hours, with a little noise; two decimals
    // as a historian stores them.
    const std::int64_t steps = spec.readingCount() / spec.signalCount;
    const double t0 = start();
    Noise noise(48213);
    std::int64_t step = 0;
    int signal = 0;
    double stamp = t0;
    source.addReadings(dataTable(), [&](fixtures::SignalReading& r) {
        if (step == steps) return false;
        if (signal == 0) stamp = OleDate::addSeconds(t0, double(step) * spec.readingSeconds);
        const double hours = double(step) * spec.readingSeconds / 3600.0;
        const double v = 50.0 + 20.0 * std::sin(2 * std::numbers::pi * (hours - 3.0 * signal) / 24.0) +
                         (noise.uniform() - 0.5);
        r = {10 + signal, 501, stamp, std::round(v * 100.0) / 100.0, false};
        if (++signal == spec.signalCount) {
            signal = 0;
            ++step;
        }
        return true;
    });
}

void BenchWorkload::buildTarget(const fixtures::DatabaseHost& host, const SourceSpec& source,
                                const TargetSpec& spec) {
    using namespace fixtures;
    if (spec.variables < 1) throw std::invalid_argument("a target needs at least one variable");
    TargetDatabase target = TargetDatabase::create(host);
    target.addTimeZone(2, QStringLiteral("(UTC) Coordinated Universal Time"));
    for (int y = 2020; y <= 2030; ++y)
        target.addTimeZoneBias({2, y, 0, 0, Variant::null(), Variant::null()});

    CollectorSpec collector;
    collector.interfaceId = CollectorId;
    collector.name = QStringLiteral("Senvista - Benchmark Site");
    collector.description = QStringLiteral("Benchmark workload");
    collector.timeZoneId = 2;
    collector.overrideAuditUser = QStringLiteral("SENVISTA");
    target.addCollector(collector);

    const QString name = facility();
    target.addFacility({name, QStringLiteral("Benchmark Water Treatment Plant"), Variant::null(),
                        Variant::fromDate(OleDate::addDays(start(), -31))});
    for (int id = 0; id <= 3; ++id)
        target.addApprovalLevel(name, id);

    const QString type = varType(spec);
    QList<VariableSpec> variables;
    for (int i = 0; i < spec.variables; ++i) {
        VariableSpec v;
        v.varid = FirstVarid + i;
        v.varnum = i + 1;
        v.name = QStringLiteral("Benchmark signal %1 - Average").arg(i + 1);
        v.vartype = type;
        v.units = QStringLiteral("mg/L");
        v.decplaces = 2.0;
        v.description = v.name;
        v.scadatag = tag(i % source.signalCount);
        v.statistic = QStringLiteral("AVERAGE");
        v.interfaceId = CollectorId;
        if (VarTypeFunctions::IsDaily(type)) {
            v.starttime = Variant::fromDate(OleDate::fromParts(1899, 12, 30, 0, 0));
            v.stoptime = Variant::fromDate(OleDate::fromParts(1899, 12, 30, 23, 59));
        }
        variables.append(v);
    }
    target.addVariables(name, variables);

    if (spec.prefillRows > 0) {
        if (!host.isSqlite()) throw std::invalid_argument("pre-filled targets are built on SQLite only");
        // Other variables' rows over the same months, so the key's pages interleave with the
        // benchmark's own.
        const qint64 perVariable = slotsPerVariable(type, source.days);
        target.exec(name, QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n "
                                         "WHERE x + 1 < %1) "
                                         "INSERT INTO %2 (varid, slotstarttime, datestamp, curvalue, status, "
                                         "forced, audituser, audittimestamp) "
                                         "SELECT %3 + x / %4, s, s, (x % 997) / 10.0, 0, 0, 'ADMIN', s "
                                         "FROM (SELECT x, strftime('%Y-%m-%d %H:%M:%f', '%5', '+' || "
                                         "((x % %4) * %6) || ' minutes') AS s FROM n)")
                              .arg(spec.prefillRows)
                              .arg(dataTableOf(type))
                              .arg(PrefillFirstVarid)
                              .arg(perVariable)
                              .arg(OleDate::toIsoMs(start()).left(10))
                              .arg(1440 / VarTypeFunctions::IntervalsPerDay(type)));
    }
}

void BenchWorkload::writeConfiguration(const QString& path, const QString& targetDataSource,
                                       const QString& sourceDataSource, int days) {
    fixtures::DemoSummary summary;
    summary.start = start();
    summary.end = end(days);
    summary.collectorId = CollectorId;
    summary.siteId = siteId();
    summary.dataTable = dataTable();
    summary.facilities = {facility()};
    fixtures::DemoData::writeConfiguration(path, summary, targetDataSource, sourceDataSource);
}

} // namespace bench
