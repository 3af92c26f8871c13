#include "bench/BenchHarness.h"

#include "bench/ChildProcess.h"
#include "bench/SweepFit.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/VarTypeFunctions.h"
#include "fixtures/RawDatabase.h"
#include "fixtures/TargetDatabase.h"
#include "tests/support/PgCluster.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <thread>

namespace bench {

namespace {

const QString kFingerprintFile = QStringLiteral("fingerprint.txt");

void say(const QString& text) {
    std::printf("%s\n", qPrintable(text));
    std::fflush(stdout);
}

QString readText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

void writeText(const QString& path, const QString& text) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write " + path.toStdString());
    f.write(text.toUtf8());
}

QString shortHash(const QString& text) {
    return QString::fromLatin1(
        QCryptographicHash::hash(text.toUtf8(), QCryptographicHash::Sha1).toHex().left(10));
}

void copyFolder(const QString& from, const QString& to) {
    QDir(to).removeRecursively();
    QDir().mkpath(to);
    for (const QFileInfo& f : QDir(from).entryInfoList(QDir::Files)) {
        if (f.fileName() == kFingerprintFile) continue;
        if (!QFile::copy(f.absoluteFilePath(), to + QLatin1Char('/') + f.fileName()))
            throw std::runtime_error("cannot copy " + f.absoluteFilePath().toStdString());
    }
}

// Reads a folder's files once so that the first timed run does not pay for the disk.
void warmFiles(const QString& folder) {
    for (const QFileInfo& f : QDir(folder).entryInfoList(QDir::Files)) {
        QFile file(f.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly)) continue;
        while (!file.read(1 << 20).isEmpty()) {
        }
    }
}

double medianOf(std::vector<double> v) {
    if (v.empty()) return std::nan("");
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Slots of one variable over the range whose window holds at least one reading: readings fall on
// multiples of `step` seconds from the start of the data, slots on multiples of the slot length.
std::int64_t slotsWithReadings(const QString& varType, int days, double step) {
    const int perDay = VarTypeFunctions::IntervalsPerDay(varType);
    const double slotSeconds = 86400.0 / perDay;
    if (step <= slotSeconds) return std::int64_t(days) * perDay;
    std::int64_t n = 0;
    for (std::int64_t k = 0; k < std::int64_t(days) * perDay; ++k) {
        const double a = k * slotSeconds;
        if (std::ceil(a / step) * step < a + slotSeconds) ++n;
    }
    return n;
}

} // namespace

BenchHarness::BenchHarness(HarnessOptions options) : o_(std::move(options)) {}

BenchHarness::~BenchHarness() = default;

int BenchHarness::workloadIndex(const QString& name) const {
    for (std::size_t i = 0; i < workloads_.size(); ++i)
        if (workloads_[i].name == name) return int(i);
    throw std::logic_error("no workload " + name.toStdString());
}

int BenchHarness::days() const {
    return o_.quick ? 7 : 90;
}

// The readings and variables sweeps need runs well above the fixed cost of a run to show their
// slope, also in the quick mode.
int BenchHarness::sweepDays() const {
    return o_.quick ? 30 : 90;
}

void BenchHarness::defineWorkloads() {
    const int days = this->days();
    const QString hourly = fixtures::VarTypeCode::Hourly;
    const SourceSpec main{10, days, 60.0};
    workloads_.push_back({QStringLiteral("main"), main, {10, hourly, 0}, {}, {}, false});
    workloads_.push_back({QStringLiteral("prefilled"), main, {10, hourly, 1000000}, {}, {}, false});
    const SourceSpec sweep{10, sweepDays(), 60.0};
    for (int n : {1, 2, 4, 8})
        workloads_.push_back({QStringLiteral("vars-%1").arg(n), sweep, {n, hourly, 0}, {}, {}, false});
    // Few slots (daily), so that the readings are what grows.
    for (int k : {1, 2, 4, 8})
        workloads_.push_back({QStringLiteral("readings-x%1").arg(k),
                              {4, sweepDays(), 60.0 / k},
                              {4, fixtures::VarTypeCode::Daily, 0},
                              {},
                              {},
                              false});
    // A reading every 15 minutes: every slot of every family holds one, and the slots are what
    // grows.
    const SourceSpec sparse{10, days, 900.0};
    const QList<std::pair<QString, QString>> families{
        {QStringLiteral("daily"), fixtures::VarTypeCode::Daily},
        {QStringLiteral("4h"), fixtures::VarTypeCode::FourHourly},
        {QStringLiteral("1h"), hourly},
        {QStringLiteral("30min"), fixtures::VarTypeCode::ThirtyMinute},
        {QStringLiteral("15min"), fixtures::VarTypeCode::FifteenMinute}};
    for (const auto& [name, type] : families)
        workloads_.push_back({QStringLiteral("slots-") + name, sparse, {10, type, 0}, {}, {}, false});
    workloads_.push_back({QStringLiteral("rss"), {1, 360, 60.0}, {1, hourly, 0}, {}, {}, false});
    if (o_.postgres) workloads_.push_back({QStringLiteral("pg"), main, {10, hourly, 0}, {}, {}, true});
}

int BenchHarness::add(const QString& name, const QString& label, Kind kind, int workload, int rangeDays) {
    Measurement m;
    m.name = name;
    m.label = label;
    m.kind = kind;
    m.workload = workload;
    m.rangeDays = rangeDays;
    const Workload& w = workloads_[std::size_t(workload)];
    m.slotCount = rangeDays > 0
                      ? BenchWorkload::slotsPerVariable(BenchWorkload::varType(w.target), rangeDays) *
                            w.target.variables
                      : 0;
    measurements_.push_back(m);
    return int(measurements_.size()) - 1;
}

void BenchHarness::defineMeasurements() {
    const int days = this->days();
    const int main = workloadIndex(QStringLiteral("main"));
    add(QStringLiteral("import"), QStringLiteral("1 import, per slot (k48213ctl)"), Kind::Import, main, days);
    add(QStringLiteral("limit"), QStringLiteral("2 limit, bare sqlite3 loop"), Kind::Limit, main, days);
    add(QStringLiteral("backfill"), QStringLiteral("3 import --backfill"), Kind::Backfill, main, days);
    add(QStringLiteral("limit-backfill"), QStringLiteral("3 limit, one transaction per variable"),
        Kind::LimitBackfill, main, days);
    add(QStringLiteral("peer"), QStringLiteral("4 peer, pandas"), Kind::Peer, main, days);
    add(QStringLiteral("baseline"), QStringLiteral("  import of a range without slots"), Kind::Import, main,
        0);
    for (int k : {1, 2, 4, 8})
        add(QStringLiteral("readings-x%1").arg(k), QStringLiteral("5 readings x%1, daily slots").arg(k),
            Kind::Import, workloadIndex(QStringLiteral("readings-x%1").arg(k)), sweepDays());
    for (const char* f : {"daily", "4h", "1h", "30min", "15min"})
        add(QStringLiteral("slots-%1").arg(f), QStringLiteral("5 slots %1, 15-min readings").arg(f),
            Kind::Import, workloadIndex(QStringLiteral("slots-%1").arg(f)), days);
    for (int n : {1, 2, 4, 8})
        add(QStringLiteral("vars-%1").arg(n), QStringLiteral("5 variables x%1").arg(n), Kind::Import,
            workloadIndex(QStringLiteral("vars-%1").arg(n)), sweepDays());
    add(QStringLiteral("prefilled"), QStringLiteral("5 target pre-filled with 1M rows"), Kind::Import,
        workloadIndex(QStringLiteral("prefilled")), days);
    add(QStringLiteral("rss-45d"), QStringLiteral("6 one variable, 45 days"), Kind::Import,
        workloadIndex(QStringLiteral("rss")), 45);
    add(QStringLiteral("rss-360d"), QStringLiteral("6 one variable, 360 days"), Kind::Import,
        workloadIndex(QStringLiteral("rss")), 360);
    if (o_.postgres) {
        const int pg = workloadIndex(QStringLiteral("pg"));
        add(QStringLiteral("pg-import"), QStringLiteral("7 PostgreSQL import, per slot"), Kind::ImportPg, pg,
            days);
        add(QStringLiteral("pg-limit"), QStringLiteral("7 PostgreSQL limit, bare libpq loop"), Kind::LimitPg,
            pg, days);
        add(QStringLiteral("pg-baseline"), QStringLiteral("  PostgreSQL import without slots"),
            Kind::ImportPg, pg, 0);
    }
}

QString BenchHarness::ensureSource(const SourceSpec& spec) {
    const QString fp = spec.fingerprint();
    const QString dir = o_.workDir + QStringLiteral("/data/source-") + shortHash(fp);
    if (readText(dir + QLatin1Char('/') + kFingerprintFile) == fp) return dir;
    say(QStringLiteral("Generating %1 (%2 readings)").arg(fp).arg(spec.readingCount()));
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    BenchWorkload::buildSource(fixtures::DatabaseHost::sqliteFolder(dir), spec);
    writeText(dir + QLatin1Char('/') + kFingerprintFile, fp);
    return dir;
}

QString BenchHarness::ensureTarget(const QString& name, const SourceSpec& source, const TargetSpec& spec,
                                   const QString& sourceDir) {
    const QString fp = spec.fingerprint(source);
    const QString dir =
        o_.workDir + QStringLiteral("/data/target-") + name + QLatin1Char('-') + shortHash(fp);
    Q_UNUSED(sourceDir);
    if (readText(dir + QLatin1Char('/') + kFingerprintFile) == fp) return dir;
    say(QStringLiteral("Generating %1").arg(fp));
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    BenchWorkload::buildTarget(fixtures::DatabaseHost::sqliteFolder(dir), source, spec);
    writeText(dir + QLatin1Char('/') + kFingerprintFile, fp);
    return dir;
}

void BenchHarness::startPostgres() {
    pg_ = std::make_unique<PgCluster>();
    pg_->start();
    say(QStringLiteral("PostgreSQL cluster on 127.0.0.1:%1").arg(pg_->port()));
}

void BenchHarness::generate() {
    std::vector<bool> used(workloads_.size(), false);
    for (const Measurement& m : measurements_)
        used[std::size_t(m.workload)] = true;
    for (std::size_t i = 0; i < workloads_.size(); ++i) {
        if (!used[i]) continue;
        Workload& w = workloads_[i];
        w.sourceDir = ensureSource(w.source);
        if (w.postgres) {
            if (!pg_) startPostgres();
            BenchWorkload::buildTarget(
                fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg_->port(), pg_->superuser()),
                w.source, w.target);
        } else {
            w.pristineDir = ensureTarget(w.name, w.source, w.target, w.sourceDir);
        }
        warmFiles(w.sourceDir);
        if (!w.pristineDir.isEmpty()) warmFiles(w.pristineDir);
    }
}

void BenchHarness::resetPostgresTarget(const Workload& w) {
    const auto db = fixtures::RawDatabase::openPostgres(
        fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg_->port(), pg_->superuser()),
        BenchWorkload::facility().toLower());
    db->exec(QStringLiteral("TRUNCATE ") + BenchWorkload::dataTableOf(BenchWorkload::varType(w.target)));
}

// Every statement the database layer or libpq sends outside a transaction block is one
// transaction on the server, so the facility database's count of transactions is the number of
// round trips the run made to it (prepares included). A backend adds its counts when it ends, so
// the count is read until it stops moving.
std::int64_t BenchHarness::postgresTransactions() {
    const auto db = fixtures::RawDatabase::openPostgres(
        fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg_->port(), pg_->superuser()),
        QStringLiteral("postgres"));
    std::int64_t last = -1;
    for (int i = 0; i < 50; ++i) {
        const auto rows = db->query(QStringLiteral("SELECT xact_commit + xact_rollback FROM pg_stat_database "
                                                   "WHERE datname = ?"),
                                    {Variant(BenchWorkload::facility().toLower())});
        const std::int64_t now = rows.isEmpty() ? -1 : std::int64_t(rows.first().value(0).toDouble());
        if (now == last) return now;
        last = now;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
    return last;
}

void BenchHarness::prepare(const Measurement& m, const QString& home) {
    const Workload& w = workloads_[std::size_t(m.workload)];
    QDir(home).removeRecursively();
    QDir().mkpath(home);
    QString targetSource;
    if (w.postgres) {
        resetPostgresTarget(w);
        targetSource = pg_->connectionDataSource();
    } else {
        copyFolder(w.pristineDir, home + QStringLiteral("/target"));
        targetSource = QStringLiteral("sqlite:") + home + QStringLiteral("/target");
    }
    BenchWorkload::writeConfiguration(home + QStringLiteral("/k48213.xml"), targetSource,
                                      QStringLiteral("sqlite:") + w.sourceDir, w.source.days);
}

QStringList BenchHarness::command(const Measurement& m, const QString& home) const {
    const Workload& w = workloads_[std::size_t(m.workload)];
    const double from = BenchWorkload::start();
    const double to = m.rangeDays > 0 ? BenchWorkload::end(m.rangeDays) : OleDate::addMinutes(from, 1);
    const QString fromText = OleDate::toIsoMs(from).left(16);
    const QString toText = OleDate::toIsoMs(to).left(16);
    const QString sourceFile = w.sourceDir + QStringLiteral("/VIRev.sqlite");
    const QString targetFile =
        home + QStringLiteral("/target/") + BenchWorkload::facility() + QStringLiteral(".sqlite");
    const auto program = [&](const QString& name) {
        const QString inBench = o_.binDir + QStringLiteral("/bench/") + name;
        return QFileInfo::exists(inBench) ? inBench : o_.binDir + QLatin1Char('/') + name;
    };
    switch (m.kind) {
    case Kind::Import:
    case Kind::ImportPg:
    case Kind::Backfill: {
        QStringList c{program(QStringLiteral("k48213ctl")),
                      QStringLiteral("import"),
                      QStringLiteral("--from"),
                      fromText,
                      QStringLiteral("--to"),
                      toText,
                      QStringLiteral("--home"),
                      home};
        if (m.kind == Kind::Backfill) c << QStringLiteral("--backfill");
        return c;
    }
    case Kind::Limit:
    case Kind::LimitBackfill: {
        QStringList c{program(QStringLiteral("bench_limit_sqlite")),
                      QStringLiteral("--source"),
                      sourceFile,
                      QStringLiteral("--target"),
                      targetFile,
                      QStringLiteral("--from"),
                      fromText,
                      QStringLiteral("--to"),
                      toText};
        if (m.kind == Kind::LimitBackfill) c << QStringLiteral("--backfill");
        return c;
    }
    case Kind::Peer:
        // Debian's interpreter, the one python3-pandas is installed for.
        return {QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                      : QStringLiteral("python3"),
                o_.peerScript,
                QStringLiteral("--source"),
                sourceFile,
                QStringLiteral("--target"),
                targetFile,
                QStringLiteral("--from"),
                fromText,
                QStringLiteral("--to"),
                toText};
    case Kind::LimitPg:
        return {program(QStringLiteral("bench_limit_libpq")),
                QStringLiteral("--source"),
                sourceFile,
                QStringLiteral("--pg"),
                QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=qtxdba password=%3")
                    .arg(pg_->port())
                    .arg(BenchWorkload::facility().toLower(),
                         QString::fromLatin1(fixtures::TargetDatabase::Password)),
                QStringLiteral("--from"),
                fromText,
                QStringLiteral("--to"),
                toText};
    }
    return {};
}

void BenchHarness::verify(const Measurement& m, const QString& home, BenchSample& s) {
    const Workload& w = workloads_[std::size_t(m.workload)];
    const QString table = BenchWorkload::dataTableOf(BenchWorkload::varType(w.target));
    std::unique_ptr<fixtures::RawDatabase> db;
    if (w.postgres)
        db = fixtures::RawDatabase::openPostgres(
            fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg_->port(), pg_->superuser()),
            BenchWorkload::facility().toLower());
    else
        db = fixtures::RawDatabase::openSqlite(
            home + QStringLiteral("/target/") + BenchWorkload::facility() + QStringLiteral(".sqlite"), false);
    const auto rows = db->query(QStringLiteral("SELECT count(*), sum(curvalue) FROM ") + table +
                                    QStringLiteral(" WHERE varid < ?"),
                                {Variant(BenchWorkload::PrefillFirstVarid)});
    s.rows = rows.value(0).value(0).toDouble();
    const Variant sum = rows.value(0).value(1);
    s.sum = sum.isNull() ? 0.0 : sum.toDouble();
}

void BenchHarness::runOnce(Measurement& m, int repetition) {
    const QString home = o_.workDir + QStringLiteral("/run/") + m.name;
    prepare(m, home);
    const QString output = o_.workDir + QStringLiteral("/logs/%1-%2.txt").arg(m.name).arg(repetition + 1);
    const bool countTransactions = workloads_[std::size_t(m.workload)].postgres && m.slotCount > 0;
    const std::int64_t before = countTransactions ? postgresTransactions() : 0;
    const ChildResult r = ChildProcess::run(o_.binDir + QStringLiteral("/bench/bench_launch"),
                                            command(m, home), output, {QStringLiteral("TZ=UTC")});
    BenchSample s;
    s.seconds = r.seconds;
    s.cpuSeconds = r.cpuSeconds;
    s.maxRssKb = r.maxRssKb;
    s.ok = r.started && r.exitCode == 0;
    if (s.ok && countTransactions)
        s.transactionsPerSlot = double(postgresTransactions() - before) / double(m.slotCount);
    if (s.ok) {
        try {
            verify(m, home, s);
        } catch (const std::exception& e) {
            s.ok = false;
            say(QStringLiteral("  %1: cannot read the target back: %2")
                    .arg(m.name, QString::fromLocal8Bit(e.what())));
        }
    } else {
        say(QStringLiteral("  %1 failed (exit %2), see %3").arg(m.name).arg(r.exitCode).arg(output));
    }
    m.samples.push_back(s);
}

const BenchHarness::Measurement* BenchHarness::find(const QString& name) const {
    for (const Measurement& m : measurements_)
        if (m.name == name) return &m;
    return nullptr;
}

double BenchHarness::median(const QString& name) const {
    const Measurement* m = find(name);
    if (!m) return std::nan("");
    std::vector<double> v;
    for (const BenchSample& s : m->samples)
        if (s.ok) v.push_back(s.seconds);
    return medianOf(v);
}

double BenchHarness::fastest(const QString& name) const {
    const Measurement* m = find(name);
    if (!m) return std::nan("");
    double best = std::nan("");
    for (const BenchSample& s : m->samples)
        if (s.ok && (std::isnan(best) || s.seconds < best)) best = s.seconds;
    return best;
}

double BenchHarness::medianCpu(const QString& name) const {
    const Measurement* m = find(name);
    if (!m) return std::nan("");
    std::vector<double> v;
    for (const BenchSample& s : m->samples)
        if (s.ok) v.push_back(s.cpuSeconds);
    return medianOf(v);
}

double BenchHarness::net(const QString& name, const QString& baseline) const {
    return median(name) - median(baseline);
}

long BenchHarness::medianRss(const QString& name) const {
    const Measurement* m = find(name);
    if (!m) return 0;
    std::vector<double> v;
    for (const BenchSample& s : m->samples)
        if (s.ok) v.push_back(double(s.maxRssKb));
    return v.empty() ? 0 : long(medianOf(v));
}

double BenchHarness::medianTransactions(const QString& name) const {
    const Measurement* m = find(name);
    if (!m) return std::nan("");
    std::vector<double> v;
    for (const BenchSample& s : m->samples)
        if (s.ok && s.transactionsPerSlot >= 0) v.push_back(s.transactionsPerSlot);
    return medianOf(v);
}

// Every run must have written what the limit of the same workload wrote (or, without a limit,
// one row per slot whose window holds a reading); a run that wrote something else is not a
// measurement of the same work.
void BenchHarness::check() {
    for (Measurement& m : measurements_) {
        const Workload& w = workloads_[std::size_t(m.workload)];
        const std::int64_t expected =
            m.rangeDays > 0
                ? slotsWithReadings(BenchWorkload::varType(w.target), m.rangeDays, w.source.readingSeconds) *
                      w.target.variables
                : 0;
        const Measurement* reference =
            find(w.postgres ? QStringLiteral("pg-limit") : QStringLiteral("limit"));
        const bool sameWork = reference && reference->workload == m.workload &&
                              m.rangeDays == reference->rangeDays && !reference->samples.empty() &&
                              reference->samples.front().ok;
        QStringList problems;
        int failed = 0;
        for (const BenchSample& s : m.samples) {
            if (!s.ok) {
                ++failed;
                continue;
            }
            if (s.rows != expected)
                problems << QStringLiteral("rows %1 of %2").arg(s.rows).arg(expected);
            else if (sameWork && std::fabs(s.sum - reference->samples.front().sum) >
                                     1e-6 * std::max(1.0, std::fabs(reference->samples.front().sum)))
                problems << QStringLiteral("sum %1, limit %2")
                                .arg(s.sum, 0, 'f', 4)
                                .arg(reference->samples.front().sum, 0, 'f', 4);
        }
        if (failed) problems.prepend(QStringLiteral("%1 failed").arg(failed));
        problems.removeDuplicates();
        m.check = problems.join(QStringLiteral("; "));
    }
}

void BenchHarness::report() {
    say(QString());
    say(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8  %9")
            .arg(QStringLiteral("measurement"), -42)
            .arg(QStringLiteral("slots"), 7)
            .arg(QStringLiteral("rows"), 7)
            .arg(QStringLiteral("min s"), 8)
            .arg(QStringLiteral("median s"), 8)
            .arg(QStringLiteral("us/slot"), 8)
            .arg(QStringLiteral("cpu s"), 7)
            .arg(QStringLiteral("peak MB"), 8)
            .arg(QStringLiteral("check")));
    for (const Measurement& m : measurements_) {
        std::vector<double> t;
        std::int64_t rows = -1;
        for (const BenchSample& s : m.samples)
            if (s.ok) {
                t.push_back(s.seconds);
                rows = s.rows;
            }
        const double mn = t.empty() ? std::nan("") : *std::min_element(t.begin(), t.end());
        const double md = medianOf(t);
        const QString perSlot = m.slotCount > 0 && !t.empty()
                                    ? QString::number(md / double(m.slotCount) * 1e6, 'f', 1)
                                    : QStringLiteral("-");
        say(QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8  %9")
                .arg(m.label, -42)
                .arg(m.slotCount, 7)
                .arg(rows, 7)
                .arg(mn, 8, 'f', 3)
                .arg(md, 8, 'f', 3)
                .arg(perSlot, 8)
                .arg(medianCpu(m.name), 7, 'f', 3)
                .arg(double(medianRss(m.name)) / 1024.0, 8, 'f', 1)
                .arg(m.check.isEmpty() ? QStringLiteral("ok") : m.check));
    }

    const double R = median(QStringLiteral("import")) / median(QStringLiteral("limit"));
    const double P = median(QStringLiteral("peer")) / median(QStringLiteral("backfill"));
    // A sweep asks how the cost grows, not what a typical run takes: load elsewhere on the machine
    // only ever adds to a run's time, so each point of a sweep is its fastest run. The fixed cost
    // and the ratio above it: see SweepFit.h.
    struct Sweep {
        QString name;
        QList<std::pair<QString, double>> runs; // measurement and the grown quantity, smallest first
        QString small, large;                   // the x1 and x8 runs
    };
    const auto slotsOf = [&](const QString& name) {
        const Measurement* m = find(name);
        return m ? double(m->slotCount) : std::nan("");
    };
    const QList<Sweep> sweeps{
        {QStringLiteral("readings x8/x1"),
         {{QStringLiteral("readings-x1"), 1}, {QStringLiteral("readings-x2"), 2}, {QStringLiteral("readings-x4"), 4},
          {QStringLiteral("readings-x8"), 8}},
         QStringLiteral("readings-x1"),
         QStringLiteral("readings-x8")},
        {QStringLiteral("slots 30min/4h (x8)"),
         {{QStringLiteral("slots-daily"), slotsOf(QStringLiteral("slots-daily"))},
          {QStringLiteral("slots-4h"), slotsOf(QStringLiteral("slots-4h"))},
          {QStringLiteral("slots-1h"), slotsOf(QStringLiteral("slots-1h"))},
          {QStringLiteral("slots-30min"), slotsOf(QStringLiteral("slots-30min"))},
          {QStringLiteral("slots-15min"), slotsOf(QStringLiteral("slots-15min"))}},
         QStringLiteral("slots-4h"),
         QStringLiteral("slots-30min")},
        {QStringLiteral("variables x8/x1"),
         {{QStringLiteral("vars-1"), 1}, {QStringLiteral("vars-2"), 2}, {QStringLiteral("vars-4"), 4},
          {QStringLiteral("vars-8"), 8}},
         QStringLiteral("vars-1"),
         QStringLiteral("vars-8")}};
    double S = std::nan("");
    say(QString());
    say(QStringLiteral(
            "On CPU time (the measured process only; robust to load from elsewhere on the machine): "
            "import / limit %1, pandas / backfill %2")
            .arg(medianCpu(QStringLiteral("import")) / medianCpu(QStringLiteral("limit")), 0, 'f', 2)
            .arg(medianCpu(QStringLiteral("peer")) / medianCpu(QStringLiteral("backfill")), 0, 'f', 2));
    say(QStringLiteral("Scaling, fastest runs less the cost that does not grow with the sweep (the intercept "
                       "of their line fitted on relative errors):"));
    for (const Sweep& s : sweeps) {
        std::vector<SweepPoint> fastestRuns, medianRuns;
        for (const auto& [name, x] : s.runs) {
            fastestRuns.push_back({x, fastest(name)});
            medianRuns.push_back({x, median(name)});
        }
        const SweepFit line = SweepFit::fit(fastestRuns);
        const double fixedCost = line.fixedCost();
        const double ratio = line.ratio(fastest(s.small), fastest(s.large));
        const double ordinary = SweepFit::fit(medianRuns, SweepFit::Weighting::Equal)
                                    .ratio(median(s.small), median(s.large));
        const double lessBaseline =
            net(s.large, QStringLiteral("baseline")) / net(s.small, QStringLiteral("baseline"));
        const double raw = median(s.large) / median(s.small);
        say(QStringLiteral("  %1: %2 (fixed cost %3 s; on the medians: least squares %4, less only the run "
                           "without slots (%5 s) %6, raw %7)")
                .arg(s.name, -20)
                .arg(ratio, 0, 'f', 2)
                .arg(fixedCost, 0, 'f', 3)
                .arg(ordinary, 0, 'f', 2)
                .arg(median(QStringLiteral("baseline")), 0, 'f', 3)
                .arg(lessBaseline, 0, 'f', 2)
                .arg(raw, 0, 'f', 2));
        if (std::isnan(S) || std::fabs(std::log(ratio / 8.0)) > std::fabs(std::log(S / 8.0))) S = ratio;
    }
    const double prefilled = net(QStringLiteral("prefilled"), QStringLiteral("baseline")) /
                             net(QStringLiteral("import"), QStringLiteral("baseline"));
    say(QStringLiteral("  per-slot cost on the 1M-row target / on the empty target: %1")
            .arg(prefilled, 0, 'f', 2));
    const double M =
        double(medianRss(QStringLiteral("rss-360d")) - medianRss(QStringLiteral("rss-45d"))) / 1024.0;
    say(QStringLiteral("  peak RSS 360 days %1 MB, 45 days %2 MB")
            .arg(double(medianRss(QStringLiteral("rss-360d"))) / 1024.0, 0, 'f', 1)
            .arg(double(medianRss(QStringLiteral("rss-45d"))) / 1024.0, 0, 'f', 1));

    if (o_.postgres) {
        const Measurement* imp = find(QStringLiteral("pg-import"));
        const double slotCount = imp ? double(imp->slotCount) : std::nan("");
        const double importPerSlot =
            net(QStringLiteral("pg-import"), QStringLiteral("pg-baseline")) / slotCount * 1e6;
        const double limitPerSlot = median(QStringLiteral("pg-limit")) / slotCount * 1e6;
        say(QStringLiteral("PostgreSQL: per-slot cost import %1 us (less the fixed cost), bare libpq %2 us, "
                           "ratio %3; round trips per slot to the facility database (the server's count of "
                           "transactions): import %4, bare %5")
                .arg(importPerSlot, 0, 'f', 1)
                .arg(limitPerSlot, 0, 'f', 1)
                .arg(importPerSlot / limitPerSlot, 0, 'f', 2)
                .arg(medianTransactions(QStringLiteral("pg-import")), 0, 'f', 2)
                .arg(medianTransactions(QStringLiteral("pg-limit")), 0, 'f', 2));
    }
    say(QString());
    if (o_.quick)
        say(QStringLiteral(
            "Quick mode: small workloads, on which fixed costs (starting the program, importing "
            "pandas) weigh more; the full mode gives the figures to compare with the goals."));
    say(QStringLiteral("ratio_vs_limit=%1 backfill_speedup_vs_pandas=%2 scaling_8x=%3 rss_growth_mb=%4")
            .arg(R, 0, 'f', 2)
            .arg(P, 0, 'f', 2)
            .arg(S, 0, 'f', 2)
            .arg(M, 0, 'f', 1));
}

int BenchHarness::run() {
    QDir().mkpath(o_.workDir + QStringLiteral("/logs"));
    defineWorkloads();
    defineMeasurements();
    if (!o_.only.isEmpty()) {
        std::erase_if(measurements_, [&](const Measurement& m) { return !o_.only.contains(m.name); });
        if (measurements_.empty()) throw std::invalid_argument("--only names no measurement");
    }
    generate();
    if (o_.generateOnly) {
        if (pg_) pg_->stop();
        return 0;
    }
    say(QStringLiteral("%1 measurements, %2 repetitions, interleaved")
            .arg(measurements_.size())
            .arg(o_.repetitions));
    for (int rep = 0; rep < o_.repetitions; ++rep) {
        const auto t0 = std::chrono::steady_clock::now();
        for (Measurement& m : measurements_)
            runOnce(m, rep);
        say(QStringLiteral("repetition %1 done in %2 s")
                .arg(rep + 1)
                .arg(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 0, 'f',
                     1));
    }
    check();
    report();
    if (pg_) pg_->stop();
    return 0;
}

} // namespace bench
