#include "custom/CustomSource.h"

#include "CommonFiles/foundation/OleDate.h"
#include "fixtures/DatabaseHost.h"
#include "fixtures/SourceDatabase.h"
#include "platform/ado/FaultHook.h"
#include "tests/source/SourceTestSupport.h"
#include "tests/support/PgCluster.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace fixtures {
inline void PrintTo(Engine e, std::ostream* os) {
    *os << (e == Engine::SQLite ? "SQLite" : "PostgreSQL");
}
} // namespace fixtures

namespace {

using fixtures::Engine;

const bool pgRegistered = PgEnvironment::ensure();

const QString kSite = QStringLiteral("NW01");
const QString kTable = QStringLiteral("NW01_DATA");
const QString kFlowTag = QStringLiteral("KQ:12:305");
constexpr int kTrain = 12;
constexpr int kFlowSensor = 305;
constexpr int kPumpSensor = 900;

double at(int hour, int minute, int second = 0, int msec = 0) {
    return OleDate::fromParts(2026, 3, 2, hour, minute, second, msec);
}

const double kRangeStart = at(5, 0);
const double kRangeEnd = at(11, 0);

// The flow of the site between 04:59 and 11:00: a reading every 7 minutes from 05:00, none in
// the 08:00 hour, extra readings exactly on the hour boundaries and one a millisecond before
// 06:00, one reading without a value, and one reading on each side just outside the range.
struct FlowReading {
    double time;
    std::optional<double> value;
    std::optional<double> pump; // the pump status stamped at the same instant, when there is one
};

std::vector<FlowReading> flowReadings() {
    std::vector<double> times{at(4, 59, 59, 999), at(5, 59, 59, 999), at(6, 0), at(7, 0),
                              at(9, 0),           at(10, 0),          at(11, 0)};
    for (int m = 0; m < 360; m += 7)
        if (m < 180 || m >= 240) times.push_back(OleDate::addMinutes(kRangeStart, m));
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    std::vector<FlowReading> out;
    for (std::size_t i = 0; i < times.size(); ++i) {
        FlowReading r{times[i], 40.0 + double((i * 37) % 23) + 0.25 * double(i % 4), std::nullopt};
        if (times[i] == at(5, 14)) r.value.reset();
        if (i % 5 != 4) r.pump = double((i / 3) % 2);
        out.push_back(r);
    }
    return out;
}

struct SlotExpectation {
    int count = 0;
    double total = 0.0;
};

SlotExpectation expectedFlow(double start, double end, bool pumpOnOnly = false) {
    SlotExpectation e;
    for (const FlowReading& r : flowReadings()) {
        if (r.time < OleDate::normalize(start) || r.time >= OleDate::normalize(end) || !r.value) continue;
        if (pumpOnOnly && (!r.pump || *r.pump != 1.0)) continue;
        ++e.count;
        e.total += *r.value;
    }
    return e;
}

std::vector<std::pair<double, double>> slotWindows(double start, double end, int minutes) {
    std::vector<std::pair<double, double>> out;
    for (double s = start; s < end; s = OleDate::addMinutes(s, minutes))
        out.emplace_back(s, std::min(OleDate::addMinutes(s, minutes), end));
    return out;
}

std::string describe(const Variant& v) {
    static const char* const names[] = {"Empty", "Null", "Boolean", "Integer", "Double", "Date", "Text"};
    return std::string(names[static_cast<int>(v.type())]) + " '" + v.toText().toStdString() + "'";
}

std::string slotName(double start, double end) {
    return (OleDate::toMmDdYyyyHhNnSs(start) + " - " + OleDate::toMmDdYyyyHhNnSs(end)).toStdString();
}

// Records the statements the database layer sends while it lives.
class StatementLog {
public:
    StatementLog() {
        ado::setFaultHook([this](const ado::CallInfo& call) { texts_ << call.text; });
    }
    ~StatementLog() { ado::setFaultHook({}); }
    StatementLog(const StatementLog&) = delete;
    StatementLog& operator=(const StatementLog&) = delete;

    int countContaining(const QString& part) const {
        int n = 0;
        for (const QString& t : texts_)
            if (t.contains(part, Qt::CaseInsensitive)) ++n;
        return n;
    }

private:
    QStringList texts_;
};

// The settings of one variable, as the import hands them to the reader.
struct VariableSettings {
    QString tag = kFlowTag;
    QString statistic = QStringLiteral("TOTAL");
    Variant filterTag = Variant::null();
    Variant filterOp = Variant::null();
    Variant filterValue = Variant::null();
    Variant low = Variant::null();
    Variant high = Variant::null();
    Variant deadBand = Variant::null();
};

void apply(CustomSource& source, const VariableSettings& v) {
    source.PrepareForNextVariable();
    source.setDeadBand(v.deadBand);
    source.setFilterOp(v.filterOp);
    source.setFilterTag(v.filterTag);
    source.setFilterValue(v.filterValue);
    source.setHighRangeFilter(v.high);
    source.setLowRangeFilter(v.low);
    source.setSourceStatistic(v.statistic);
    source.setSourceTag(v.tag);
}

Variant readSlot(CustomSource& source, double start, double end, bool& error) {
    source.setStartdate(start);
    source.setEnddate(end);
    return source.GetDoubleResult(error);
}

class SourceReaderTest : public SourceTestBase, public testing::WithParamInterface<Engine> {
protected:
    void SetUp() override {
        SourceTestBase::SetUp();
        ASSERT_NO_FATAL_FAILURE(makeHost());
        source_.emplace(fixtures::SourceDatabase::create(host_));
        source_->addSite(kSite, kTable);
        std::vector<fixtures::Reading> flow;
        std::vector<fixtures::Reading> pump;
        std::vector<fixtures::Reading> other;
        for (const FlowReading& r : flowReadings()) {
            flow.push_back({r.time, r.value.value_or(0.0), !r.value});
            if (r.pump) pump.push_back({r.time, *r.pump, false});
            other.push_back({r.time, 9999.0, false});
        }
        source_->addReadings(kTable, kTrain, kFlowSensor, flow);
        source_->addReadings(kTable, kTrain, kPumpSensor, pump);
        // Neighbouring signals that a wrong split of the tag would read.
        source_->addReadings(kTable, kFlowSensor, kTrain, other);
        source_->addReadings(kTable, kTrain, kFlowSensor + 1, other);
        source_->addReadings(kTable, kTrain + 1, kFlowSensor, other);

        setSetting("K48213\\SQL_URL", host_.dataSource());
        setSetting("K48213\\SITE_ID", kSite);
        takeLogMessages();
    }

    void makeHost() {
        if (GetParam() == Engine::SQLite) {
            dir_ = std::make_unique<TempDir>();
            host_ = fixtures::DatabaseHost::sqliteFolder(dir_->path());
            return;
        }
        PgCluster& pg = PgCluster::shared();
        pg.start();
        host_ = fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg.port(), pg.superuser());
    }

    fixtures::SourceDatabase& db() { return *source_; }

    std::unique_ptr<TempDir> dir_;
    fixtures::DatabaseHost host_;
    std::optional<fixtures::SourceDatabase> source_;
};

// Filling the cache once and consuming it slot by slot must give exactly what reading every slot
// on its own gives, for every statistic, with and without filter and range limits.
TEST_P(SourceReaderTest, CachedRangeGivesTheSameValuesAsReadingSlotBySlot) {
    struct Config {
        const char* name;
        VariableSettings settings;
    };
    std::vector<Config> configs;
    for (const char* stat : {"AVERAGE", "TOTAL", "MINIMUM", "MAXIMUM", "FIRST", "LAST", "DIFF", "RANGE",
                             "COUNT", "TIMEGT(50)", "TIMEEQ(40)", "TIMELT(55.5)", "INVENTORY"}) {
        VariableSettings plain;
        plain.statistic = QString::fromLatin1(stat);
        configs.push_back({stat, plain});
    }
    {
        VariableSettings s;
        s.statistic = QStringLiteral("COUNT");
        s.filterTag = Variant(QStringLiteral("KQ:12:900"));
        s.filterOp = Variant(QStringLiteral("="));
        s.filterValue = Variant(1.0);
        configs.push_back({"COUNT while the pump runs", s});
        s.statistic = QStringLiteral("TOTAL");
        s.filterOp = Variant(QStringLiteral("CYCLESTO"));
        configs.push_back({"TOTAL when the pump starts", s});
    }
    {
        VariableSettings s;
        s.statistic = QStringLiteral("AVERAGE");
        s.low = Variant(45.0);
        s.high = Variant(58.0);
        configs.push_back({"AVERAGE within limits", s});
        s.statistic = QStringLiteral("INVENTORY");
        s.low = Variant::null();
        s.high = Variant::null();
        s.deadBand = Variant(5.0);
        configs.push_back({"INVENTORY with a dead band", s});
    }

    for (int minutes : {60, 20}) {
        const auto windows = slotWindows(kRangeStart, kRangeEnd, minutes);
        for (const Config& c : configs) {
            SCOPED_TRACE(std::string(c.name) + ", slots of " + std::to_string(minutes) + " minutes");
            CustomSource reader;
            apply(reader, c.settings);
            ASSERT_TRUE(reader.Validate());
            bool error = true;
            reader.setStartdate(kRangeStart);
            reader.setEnddate(kRangeEnd);
            ASSERT_TRUE(reader.CacheFill(error));
            ASSERT_FALSE(error);
            std::vector<Variant> cached;
            for (const auto& [s, e] : windows) {
                cached.push_back(readSlot(reader, s, e, error));
                ASSERT_FALSE(error);
            }

            apply(reader, c.settings);
            ASSERT_FALSE(reader.cacheFilled());
            for (std::size_t i = 0; i < windows.size(); ++i) {
                const Variant single = readSlot(reader, windows[i].first, windows[i].second, error);
                ASSERT_FALSE(error);
                EXPECT_EQ(single, cached[i])
                    << slotName(windows[i].first, windows[i].second) << ": slot by slot " << describe(single)
                    << ", cached " << describe(cached[i]);
            }
        }
    }
}

// The values themselves, against the readings the test loaded: each slot counts and sums the
// readings of its own window, boundary readings belonging to the slot that starts there.
TEST_P(SourceReaderTest, CachedSlotsCountAndSumTheirOwnReadings) {
    CustomSource reader;
    for (const char* stat : {"COUNT", "TOTAL"}) {
        VariableSettings v;
        v.statistic = QString::fromLatin1(stat);
        apply(reader, v);
        bool error = true;
        reader.setStartdate(kRangeStart);
        reader.setEnddate(kRangeEnd);
        ASSERT_TRUE(reader.CacheFill(error));
        for (const auto& [s, e] : slotWindows(kRangeStart, kRangeEnd, 60)) {
            SCOPED_TRACE(std::string(stat) + " " + slotName(s, e));
            const SlotExpectation expected = expectedFlow(s, e);
            const Variant got = readSlot(reader, s, e, error);
            ASSERT_FALSE(error);
            if (expected.count == 0) {
                EXPECT_TRUE(got.isNull()) << describe(got);
            } else if (v.statistic == QLatin1String("COUNT")) {
                EXPECT_EQ(got, Variant(expected.count)) << describe(got);
            } else {
                EXPECT_DOUBLE_EQ(got.toDouble(), expected.total);
            }
        }
    }
}

// Slots asked for in ascending order, some without readings: an empty slot gives null and leaves
// the cursor on the next reading, so the slot after it still sees all of its readings.
TEST_P(SourceReaderTest, EmptySlotGivesNullAndLeavesTheNextSlotsReadings) {
    struct SlotRequest {
        const char* name;
        double start;
        double end;
        double cursorOn; // time stamp of the reading the cursor stands on afterwards
    };
    const std::vector<SlotRequest> requests = {
        {"the first minute holds the 05:00 reading", at(5, 0), at(5, 1), at(5, 7)},
        {"between two readings", at(5, 1), at(5, 6), at(5, 7)},
        {"up to a millisecond before 06:00", at(5, 6), at(5, 59, 59, 999), at(5, 59, 59, 999)},
        {"the last millisecond of the hour", at(5, 59, 59, 999), at(6, 0), at(6, 0)},
        {"06:00 to 08:00", at(6, 0), at(8, 0), at(9, 0)},
        {"the hour without readings", at(8, 0), at(9, 0), at(9, 0)},
        {"the rest of the range", at(9, 0), kRangeEnd, 0.0},
    };
    CustomSource reader;
    VariableSettings v;
    v.statistic = QStringLiteral("COUNT");
    apply(reader, v);
    bool error = true;
    reader.setStartdate(kRangeStart);
    reader.setEnddate(kRangeEnd);
    ASSERT_TRUE(reader.CacheFill(error));
    for (const SlotRequest& r : requests) {
        SCOPED_TRACE(r.name);
        const Variant got = readSlot(reader, r.start, r.end, error);
        ASSERT_FALSE(error);
        const SlotExpectation expected = expectedFlow(r.start, r.end);
        if (expected.count == 0)
            EXPECT_TRUE(got.isNull()) << describe(got);
        else
            EXPECT_EQ(got, Variant(expected.count)) << describe(got);
        const auto& readings = reader.readings();
        const auto cursor = static_cast<std::size_t>(reader.readCursor());
        if (r.cursorOn == 0.0) {
            EXPECT_EQ(cursor, readings.size());
        } else {
            ASSERT_LT(cursor, readings.size());
            EXPECT_EQ(OleDate::toMs(readings[cursor].TimeDate), OleDate::toMs(r.cursorOn))
                << OleDate::toIsoMs(readings[cursor].TimeDate).toStdString();
        }
    }
    EXPECT_EQ(takeLogMessages().filter(QStringLiteral("Execution Error")), QStringList());
}

// The cached range is fetched as the slots consume it. A row that cannot be read halfway is a
// failed read that the import recovers from, never an empty slot; once the connection is
// replaced, the slots after it read as they would on their own.
TEST_P(SourceReaderTest, UnreadableRowHalfwayThroughTheCacheIsAReadFailure) {
    if (GetParam() != Engine::SQLite) GTEST_SKIP() << "only the embedded engine stores a malformed stamp";
    db().exec(QStringLiteral("INSERT INTO %1 (TimeDate, Data, TrainNumber, SensorType) VALUES ('%2:7x', 1, %3, %4)")
                  .arg(kTable, OleDate::toIsoMs(at(7, 30)).left(16))
                  .arg(kTrain)
                  .arg(kFlowSensor));
    const auto freshValue = [&](double start, double end) {
        CustomSource fresh;
        apply(fresh, VariableSettings{});
        bool error = true;
        const Variant v = readSlot(fresh, start, end, error);
        EXPECT_FALSE(error);
        return v;
    };
    CustomSource reader;
    apply(reader, VariableSettings{});
    bool error = true;
    reader.setStartdate(kRangeStart);
    reader.setEnddate(kRangeEnd);
    ASSERT_TRUE(reader.CacheFill(error));
    ASSERT_FALSE(error);
    for (int hour = 5; hour < 7; ++hour) {
        EXPECT_EQ(readSlot(reader, at(hour, 0), at(hour + 1, 0), error), freshValue(at(hour, 0), at(hour + 1, 0)));
        EXPECT_FALSE(error);
    }
    EXPECT_TRUE(readSlot(reader, at(7, 0), at(8, 0), error).isNull());
    EXPECT_TRUE(error);
    reader.DestroyConnection(); // what the import's recovery does
    EXPECT_FALSE(reader.cacheFilled());
    const Variant after = readSlot(reader, at(9, 0), at(10, 0), error);
    EXPECT_FALSE(error);
    EXPECT_FALSE(after.isNull());
    EXPECT_EQ(after, freshValue(at(9, 0), at(10, 0)));
}

// Two filter rows stamped like one source reading: the later one is the filter value of that
// reading. A filter row without a source reading at its instant attaches to nothing.
TEST_P(SourceReaderTest, LaterOfTwoFilterRowsOnOneTimestampWins) {
    const QString table = QStringLiteral("NW02_DATA");
    db().addSite(QStringLiteral("NW02"), table);
    db().addReadings(table, 1, 10,
                     {{at(5, 10), 10.0}, {at(5, 20), 20.0}, {at(5, 30), 30.0}, {at(5, 40), 40.0}});
    db().addReadings(table, 1, 20,
                     {{at(5, 10), 1.0},
                      {at(5, 20), 1.0},
                      {at(5, 20), 0.0},
                      {at(5, 25), 1.0},
                      {at(5, 30), 0.0},
                      {at(5, 30), 1.0}});
    setSetting("K48213\\SITE_ID", QStringLiteral("NW02"));

    struct Case {
        const char* statistic;
        Variant expected;
    };
    // Accepted (filter value 1): 05:10 and 05:30; 05:20 ends at 0; 05:40 has no filter value.
    const std::vector<Case> cases = {
        {"COUNT", Variant(2)},
        {"TOTAL", Variant(40.0)},
        {"MAXIMUM", Variant(30.0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.statistic);
        CustomSource reader;
        VariableSettings v;
        v.tag = QStringLiteral("KQ:1:10");
        v.statistic = QString::fromLatin1(c.statistic);
        v.filterTag = Variant(QStringLiteral("KQ:1:20"));
        v.filterOp = Variant(QStringLiteral("="));
        v.filterValue = Variant(1.0);
        apply(reader, v);
        bool error = true;
        EXPECT_EQ(readSlot(reader, at(5, 0), at(6, 0), error), c.expected);
        EXPECT_FALSE(error);

        const auto& readings = reader.readings();
        ASSERT_EQ(readings.size(), 5u);
        EXPECT_EQ(readings[1].FilterResult, Variant(1.0));
        EXPECT_EQ(readings[2].FilterResult, Variant(0.0));
        EXPECT_EQ(readings[3].FilterResult, Variant(1.0));
        EXPECT_TRUE(readings[4].FilterResult.isNull());
    }
}

// The tag's first three characters are dropped whatever the third one is; train and sensor are
// not interchangeable.
TEST_P(SourceReaderTest, TagFormsNameTheirTrainAndSensor) {
    struct Case {
        const char* tag;
        double perReading;
    };
    const std::vector<Case> cases = {{"KQ:12:305", 0.0},    {"KQ_12:305", 0.0},    {"KQ 12:305", 0.0},
                                     {"KQ:305:12", 9999.0}, {"KQ:12:306", 9999.0}, {"KQ:13:305", 9999.0},
                                     {"KQ:12:307", -1.0}};
    const SlotExpectation flow = expectedFlow(at(9, 0), at(10, 0));
    ASSERT_GT(flow.count, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        CustomSource reader;
        VariableSettings v;
        v.tag = QString::fromLatin1(c.tag);
        apply(reader, v);
        ASSERT_TRUE(reader.Validate());
        bool error = true;
        const Variant got = readSlot(reader, at(9, 0), at(10, 0), error);
        EXPECT_FALSE(error);
        if (c.perReading < 0)
            EXPECT_TRUE(got.isNull()) << describe(got);
        else if (c.perReading == 0.0)
            EXPECT_DOUBLE_EQ(got.toDouble(), flow.total);
        else
            EXPECT_DOUBLE_EQ(got.toDouble(), c.perReading * flow.count);
    }
}

TEST_P(SourceReaderTest, SystemsLookupFindsTheTableAndStoresIt) {
    CustomSource reader;
    apply(reader, VariableSettings{});
    bool error = true;
    EXPECT_DOUBLE_EQ(readSlot(reader, at(5, 0), at(6, 0), error).toDouble(),
                     expectedFlow(at(5, 0), at(6, 0)).total);
    EXPECT_FALSE(error);
    EXPECT_EQ(settingValue("K48213\\DATA_TABLE"), kTable);
}

// With K48213\DATA_TABLE set, SYSTEMS is only probed, never asked for the site's table.
TEST_P(SourceReaderTest, DataTableSettingMeansNoSystemsLookup) {
    const QString other = QStringLiteral("ARCHIVE_DATA");
    db().addReadingsTable(other);
    db().addReadings(other, kTrain, kFlowSensor, {{at(5, 30), 7.0}, {at(5, 45), 8.0}});
    setSetting("K48213\\DATA_TABLE", other);

    StatementLog statements;
    CustomSource reader;
    apply(reader, VariableSettings{});
    bool error = true;
    EXPECT_EQ(readSlot(reader, at(5, 0), at(6, 0), error), Variant(15.0));
    EXPECT_FALSE(error);
    reader.setStartdate(kRangeStart);
    reader.setEnddate(kRangeEnd);
    EXPECT_TRUE(reader.CacheFill(error));
    EXPECT_EQ(statements.countContaining(QStringLiteral("SystemID")), 0);
    EXPECT_EQ(statements.countContaining(QStringLiteral("from ARCHIVE_DATA")), 2);
    EXPECT_EQ(settingValue("K48213\\DATA_TABLE"), other);
}

TEST_P(SourceReaderTest, SiteWithoutSystemsRowReadsNothing) {
    setSetting("K48213\\SITE_ID", QStringLiteral("NOSUCHSITE"));
    CustomSource reader;
    apply(reader, VariableSettings{});
    bool error = true;
    EXPECT_TRUE(readSlot(reader, at(5, 0), at(6, 0), error).isNull());
    EXPECT_FALSE(error); // the connection is fine: the import does not retry
    const QStringList log = takeLogMessages();
    EXPECT_TRUE(log.contains(QStringLiteral("No source data table for site 'NOSUCHSITE': SYSTEMS has no row "
                                            "for it and K48213\\DATA_TABLE is empty")))
        << log.join('\n').toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Execution Error occured reading source data")));
    EXPECT_TRUE(log.contains(QStringLiteral("Unable to build data array - see log")));

    reader.setStartdate(kRangeStart);
    reader.setEnddate(kRangeEnd);
    EXPECT_FALSE(reader.CacheFill(error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(reader.cacheFilled());
    EXPECT_EQ(settingValue("K48213\\DATA_TABLE"), QString());
}

// A table name is pasted into the readings query, so only plain names pass; anything else fails
// the read before a statement holding it is sent.
TEST_P(SourceReaderTest, HostileDataTableIsRefused) {
    const std::vector<QString> names = {
        QStringLiteral("NW01_DATA; DROP TABLE SYSTEMS"),
        QStringLiteral("NW01_DATA WHERE 1=1 --"),
        QStringLiteral("NW01_DATA--"),
        QStringLiteral("1NW01_DATA"),
        QStringLiteral("NW01 DATA"),
        QStringLiteral("\"NW01_DATA\""),
        QStringLiteral("dbo.NW01_DATA"),
        QStringLiteral("NW01_DATA\r\nforged line"),
        QString(129, QLatin1Char('A')),
    };
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        setSetting("K48213\\DATA_TABLE", name);
        StatementLog statements;
        CustomSource reader;
        apply(reader, VariableSettings{});
        bool error = true;
        EXPECT_TRUE(readSlot(reader, at(5, 0), at(6, 0), error).isNull());
        EXPECT_FALSE(error);
        reader.setStartdate(kRangeStart);
        reader.setEnddate(kRangeEnd);
        EXPECT_FALSE(reader.CacheFill(error));
        EXPECT_TRUE(error);
        EXPECT_EQ(statements.countContaining(QStringLiteral("TimeDate")), 0);

        const QStringList log = takeLogMessages();
        // Control characters are shown as '?', so the name cannot break the line or forge another.
        QString shown = name;
        shown.replace(QLatin1Char('\r'), QLatin1Char('?')).replace(QLatin1Char('\n'), QLatin1Char('?'));
        EXPECT_TRUE(log.contains(QStringLiteral("Refused the source data table '") + shown +
                                 QStringLiteral("' of K48213\\DATA_TABLE: not a plain table name")))
            << log.join('\n').toStdString();
        EXPECT_TRUE(log.contains(QStringLiteral("Execution Error occured reading source data")));
    }
    EXPECT_EQ(db().query(QStringLiteral("SELECT COUNT(*) FROM SYSTEMS")).value(0).value(0).toInt32(), 1);
}

TEST_P(SourceReaderTest, HostileTableNameInSystemsIsRefusedAndNotStored) {
    db().addSystemRow(QStringLiteral("EVIL"), QStringLiteral("NW01_DATA; DELETE FROM SYSTEMS"));
    setSetting("K48213\\SITE_ID", QStringLiteral("EVIL"));
    CustomSource reader;
    apply(reader, VariableSettings{});
    bool error = true;
    EXPECT_TRUE(readSlot(reader, at(5, 0), at(6, 0), error).isNull());
    EXPECT_FALSE(error);
    const QStringList log = takeLogMessages();
    EXPECT_TRUE(
        log.contains(QStringLiteral("Refused the source data table 'NW01_DATA; DELETE FROM SYSTEMS' that "
                                    "SYSTEMS names for site 'EVIL': not a plain table name")))
        << log.join('\n').toStdString();
    EXPECT_EQ(settingValue("K48213\\DATA_TABLE"), QString());
    EXPECT_EQ(db().query(QStringLiteral("SELECT COUNT(*) FROM SYSTEMS")).value(0).value(0).toInt32(), 2);
}

// A site id is a value, not SQL.
TEST_P(SourceReaderTest, SiteIdIsBoundAsAValue) {
    setSetting("K48213\\SITE_ID", QStringLiteral("x' OR '1'='1"));
    CustomSource reader;
    apply(reader, VariableSettings{});
    bool error = true;
    EXPECT_TRUE(readSlot(reader, at(5, 0), at(6, 0), error).isNull());
    EXPECT_FALSE(error);
    EXPECT_EQ(settingValue("K48213\\DATA_TABLE"), QString());
}

TEST_P(SourceReaderTest, TextVariablesReceiveNA) {
    CustomSource reader;
    VariableSettings v;
    v.statistic = QStringLiteral("LAST");
    apply(reader, v);
    reader.setStartdate(at(5, 0));
    reader.setEnddate(at(6, 0));
    bool error = true;
    EXPECT_EQ(reader.GetTextResult(error), Variant(QStringLiteral("NA")));
    EXPECT_FALSE(error);
}

// A connection that did not open stays in place and fails every probe, without a new attempt,
// until it is destroyed; the next request then opens a new one.
TEST_P(SourceReaderTest, FailedOpenIsLoggedAndKeptUntilDestroyed) {
    const QString good = host_.dataSource();
    const QString bad = GetParam() == Engine::SQLite ? QStringLiteral("sqlite:") + dir_->file("missing")
                                                     : QStringLiteral("postgresql://127.0.0.1:1");
    setSetting("K48213\\SQL_URL", bad);
    CustomSource reader;
    apply(reader, VariableSettings{});
    bool error = false;
    EXPECT_TRUE(readSlot(reader, at(5, 0), at(6, 0), error).isNull());
    EXPECT_TRUE(error);
    QStringList log = takeLogMessages();
    ASSERT_EQ(log.filter(QStringLiteral("Unable to Open Connection to Vesk DRAQ. Error : ")).size(), 1)
        << log.join('\n').toStdString();
    EXPECT_FALSE(log.join('\n').contains(QStringLiteral("tilvorna")));

    setSetting("K48213\\SQL_URL", good);
    error = false;
    EXPECT_TRUE(readSlot(reader, at(5, 0), at(6, 0), error).isNull());
    EXPECT_TRUE(error);
    error = false;
    EXPECT_TRUE(reader.GetTextResult(error).isNull());
    EXPECT_TRUE(error);
    EXPECT_EQ(takeLogMessages().filter(QStringLiteral("Unable to Open Connection")).size(), 0);

    reader.DestroyConnection();
    EXPECT_DOUBLE_EQ(readSlot(reader, at(5, 0), at(6, 0), error).toDouble(),
                     expectedFlow(at(5, 0), at(6, 0)).total);
    EXPECT_FALSE(error);
}

// Pending events run during a request, so windows stay responsive during long reads.
TEST_P(SourceReaderTest, RequestsLetPendingEventsRun) {
    std::unique_ptr<QCoreApplication> app;
    static int argc = 1;
    static char name[] = "test_source";
    static char* argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);

    CustomSource reader;
    apply(reader, VariableSettings{});
    reader.setStartdate(at(5, 0));
    reader.setEnddate(at(6, 0));
    for (const char* request : {"GetDoubleResult", "GetTextResult"}) {
        SCOPED_TRACE(request);
        QObject context;
        bool ran = false;
        QMetaObject::invokeMethod(
            &context, [&ran] { ran = true; }, Qt::QueuedConnection);
        bool error = true;
        if (std::string(request) == "GetDoubleResult")
            reader.GetDoubleResult(error);
        else
            reader.GetTextResult(error);
        EXPECT_FALSE(error);
        EXPECT_TRUE(ran);
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, SourceReaderTest, testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const testing::TestParamInfo<Engine>& info) {
                             return info.param == Engine::SQLite ? std::string("SQLite")
                                                                 : std::string("PostgreSQL");
                         });

// The source server going away mid-run: every request reports an execution error, also after the
// server is back, until the import destroys the connection; the next request then reconnects.
class SourceServerLoss : public SourceReaderTest {};

TEST_P(SourceServerLoss, StoppedServerGivesExecutionErrorUntilTheConnectionIsRenewed) {
    PgCluster& pg = PgCluster::shared();
    // The other cases need the server, whatever happens here.
    struct Restart {
        PgCluster& pg;
        ~Restart() {
            try {
                pg.start();
            } catch (const std::exception& e) {
                ADD_FAILURE() << "cannot restart the server: " << e.what();
            }
        }
    } restartAtTheEnd{pg};

    CustomSource reader;
    apply(reader, VariableSettings{});
    bool error = true;
    const Variant before = readSlot(reader, at(5, 0), at(6, 0), error);
    ASSERT_FALSE(error);
    ASSERT_FALSE(before.isNull());

    pg.stop();
    error = false;
    EXPECT_TRUE(readSlot(reader, at(6, 0), at(7, 0), error).isNull());
    EXPECT_TRUE(error);
    error = false;
    EXPECT_TRUE(reader.GetTextResult(error).isNull());
    EXPECT_TRUE(error);
    reader.setStartdate(kRangeStart);
    reader.setEnddate(kRangeEnd);
    error = false;
    EXPECT_FALSE(reader.CacheFill(error));
    EXPECT_TRUE(error);

    pg.start();
    error = false;
    EXPECT_TRUE(readSlot(reader, at(5, 0), at(6, 0), error).isNull());
    EXPECT_TRUE(error) << "a lost connection is not reopened behind the import's back";

    reader.DestroyConnection();
    EXPECT_EQ(readSlot(reader, at(5, 0), at(6, 0), error), before);
    EXPECT_FALSE(error);
}

INSTANTIATE_TEST_SUITE_P(Server, SourceServerLoss, testing::Values(Engine::PostgreSQL),
                         [](const testing::TestParamInfo<Engine>&) { return std::string("PostgreSQL"); });

} // namespace
