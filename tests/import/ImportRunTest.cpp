// End-to-end imports over real target and source databases, on SQLite and on PostgreSQL.
#include "tests/import/ImportRunSupport.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/startup/CommonGlobals.h"
#include "fixtures/DemoData.h"
#include "tests/support/FakeClock.h"

#include <QSet>

#include <cmath>
#include <vector>

using fixtures::StoredValueSpec;
using fixtures::VariableSpec;
using fixtures::VarTypeCode::Daily;
using fixtures::VarTypeCode::Hourly;
using writertest::CountLogMessage;
using writertest::Date;
using writertest::LogMessages;
using writertest::SetConfig;

namespace {

const QString Site = QStringLiteral("SITE1");
const QString Table = QStringLiteral("SITE1_DATA");
const QString Plant1 = QStringLiteral("PLANT1");
const QString Plant2 = QStringLiteral("PLANT2");
const QString Plant3 = QStringLiteral("PLANT3");

Variant TimeOfDay(int h, int m) {
    return Variant::fromDate(OleDate::fromParts(1899, 12, 30, h, m));
}

VariableSpec Var(int varid, const QString& name, const QString& type, const QString& tag, double decplaces,
                 double factor = 1.0) {
    VariableSpec v;
    v.varid = varid;
    v.varnum = varid;
    v.name = name;
    v.vartype = type;
    v.units = QStringLiteral("u");
    v.decplaces = decplaces;
    v.scadatag = tag;
    v.statistic = QStringLiteral("AVERAGE");
    v.scalefactor = factor;
    v.interfaceId = ImportRunFixture::CollectorId;
    if (type == Daily) {
        v.starttime = TimeOfDay(0, 0);
        v.stoptime = TimeOfDay(23, 59);
    }
    return v;
}

// A counter of the run's statistics block, read back from the log; -1 when it is missing.
int Statistic(const QString& label) {
    for (const QString& m : LogMessages())
        if (m.startsWith(QStringLiteral(" ") + label)) return m.section('\t', 1).toInt();
    return -1;
}

} // namespace

// A small plant with values that tell the rules apart:
//   KQ:1:101 constant 2.3456; KQ:1:102 the plant day (06:00 to 06:00) times 10 plus 5; KQ:1:103 the
//   hour of the day. Readings every minute from Feb 29 00:00 to Mar 3 00:00, 2024.
// PLANT1 (lock date Feb 1) holds one variable per rule, PLANT2 is locked until Mar 1 12:00, PLANT3
// until after the range.
class ImportRunTest : public ImportRunFixture {
public:
    void SetUp() override {
        ImportRunFixture::SetUp();
        BuildScenario();
        PointConfigurationAt(Site);
        SetConfig(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN"),
                  QStringLiteral("03-01-2024 00:00:00"));
    }

    void BuildScenario() {
        fixtures::CollectorSpec c;
        c.interfaceId = CollectorId;
        c.name = QStringLiteral("North");
        c.timeZoneId = 3;
        target().addCollector(c);
        target().addTimeZone(3, QStringLiteral("(UTC-05:00) Eastern Standard Time"));
        for (int y = 2020; y <= 2030; ++y)
            target().addTimeZoneBias({3, y, 300, 300, Variant::null(), Variant::null()});

        target().addFacility(
            {Plant1, QStringLiteral("Plant One"), Variant::null(), Variant::fromDate(Date(2024, 2, 1))});
        target().addFacility(
            {Plant2, QStringLiteral("Plant Two"), Variant::null(), Variant::fromDate(Date(2024, 3, 1, 12))});
        target().addFacility(
            {Plant3, QStringLiteral("Plant Three"), Variant::null(), Variant::fromDate(Date(2024, 4, 1))});
        for (const QString& f : {Plant1, Plant2, Plant3})
            for (int id = 0; id <= 3; ++id)
                target().addApprovalLevel(f, id);

        VariableSpec daily06 =
            Var(104, QStringLiteral("Plant day average"), Daily, QStringLiteral("KQ:1:102"), 3);
        daily06.starttime = TimeOfDay(6, 0);
        daily06.stoptime = TimeOfDay(5, 59);
        daily06.interfacetype = QStringLiteral("NEXT");
        target().addVariables(Plant1, {Var(101, "Constant dec 2", Hourly, "KQ:1:101", 2),
                                       Var(102, "Constant unrounded", Hourly, "KQ:1:101", 9999),
                                       Var(103, "Constant factor 0", Hourly, "KQ:1:101", 2, 0.0), daily06,
                                       Var(105, "Hour of day", Hourly, "KQ:1:103", 2),
                                       Var(106, "Overflowing", Daily, "KQ:1:101", 9999, 1e308)});
        target().addVariable(Plant2, Var(201, "Locked until noon", Hourly, "KQ:1:101", 2));
        target().addVariable(Plant3, Var(301, "Locked after range", Hourly, "KQ:1:101", 2));
        // A value a reviewer approved: status 3 is above the variables' approval level 1.
        target().storeValue(Plant1, QStringLiteral("H"),
                            StoredValueSpec{101, Date(2024, 3, 1, 10), 99.0, Variant::null(), 3, 0,
                                            QStringLiteral("JSMITH"), Variant::null()});

        source().addSite(Site, Table);
        std::vector<fixtures::Reading> constant, plantDay, hour;
        const double first = Date(2024, 2, 29);
        for (int m = 0; m < 3 * 1440; ++m) {
            const double t = OleDate::addMinutes(first, m);
            constant.push_back({t, 2.3456, false});
            plantDay.push_back({t, std::floor((m - 360) / 1440.0) * 10 + 5, false});
            hour.push_back({t, double((m / 60) % 24), false});
        }
        source().addReadings(Table, 1, 101, constant);
        source().addReadings(Table, 1, 102, plantDay);
        source().addReadings(Table, 1, 103, hour);
    }

    // A service run up to `now` (the range ends there).
    void RunService(double now, bool test = false) {
        FakeClock clock(now);
        SetRunAsNTService(true);
        ImportAll(test);
        SetRunAsNTService(false);
    }

    // An operator's run over a fixed range (date dialog hidden).
    void RunFixed(double start, double end, bool test = false) {
        SetConfig(QStringLiteral("OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE"), OleDate::toConfigText(start));
        SetConfig(QStringLiteral("OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE"), OleDate::toConfigText(end));
        SetRunAsNTService(false);
        ImportAll(test);
    }
};

TEST_P(ImportRunTest, ServiceRunWritesEveryRuleAndRecordsLastRuns) {
    RunService(Date(2024, 3, 2, 6));
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);

    // 30 hourly slots from Mar 1 00:00 to Mar 2 05:00.
    QStringList hourly;
    for (int h = 0; h < 30; ++h)
        hourly.append(StampText(Variant::fromDate(OleDate::addMinutes(Date(2024, 3, 1), h * 60.0))));

    const QStringList rounded = Rows(Plant1, "DATADDH", 101);
    ASSERT_EQ(rounded.size(), 30);
    for (int h = 0; h < 30; ++h) {
        // The approved row keeps its value; every other slot holds 2.3456 rounded to 2 decimals.
        const QString expected = hourly[h] + (h == 10 ? "=99" : "=2.35");
        EXPECT_EQ(rounded[h], expected) << h;
    }
    const auto raw = target().query(Plant1, "select curvalue from DATADDH where varid = 102");
    ASSERT_EQ(raw.size(), 30);
    for (const auto& r : raw)
        EXPECT_NEAR(r[0].toDouble(), 2.3456, 1e-9);
    EXPECT_NE(raw[0][0].toDouble(), 2.35);
    // A scale factor of 0 counts as 1.
    EXPECT_EQ(Rows(Plant1, "DATADDH", 103).value(0), hourly[0] + "=2.35");
    EXPECT_EQ(Rows(Plant1, "DATADDH", 103).size(), 30);
    // Each hour's average lands on the hour's own stamp.
    const QStringList hours = Rows(Plant1, "DATADDH", 105);
    ASSERT_EQ(hours.size(), 30);
    EXPECT_EQ(hours[0], hourly[0] + "=0");
    EXPECT_EQ(hours[13], hourly[13] + "=13");
    EXPECT_EQ(hours[29], hourly[29] + "=5");
    // The plant day from 06:00 to 06:00: no mixing of two days' values.
    EXPECT_EQ(Rows(Plant1, "DATATBL", 104), QStringList({"2024-02-29 00:00:00=5", "2024-03-01 00:00:00=15"}));
    // A product beyond the double range writes nothing and stops nothing.
    EXPECT_TRUE(Rows(Plant1, "DATATBL", 106).isEmpty());

    // PLANT2 starts at its lock date; PLANT3's lock date lies after the range end.
    const QStringList locked = Rows(Plant2, "DATADDH", 201);
    ASSERT_EQ(locked.size(), 18);
    EXPECT_EQ(locked.first(), "2024-03-01 12:00:00=2.35");
    EXPECT_TRUE(Rows(Plant3, "DATADDH", 301).isEmpty());
    EXPECT_EQ(
        CountLogMessage("Unable to import into 'Plant Three' because selected date range violates Lock Date "
                        "of 04/01/2024"),
        1);

    EXPECT_EQ(LastRun(Plant1), "2024-03-02 06:00:00");
    EXPECT_EQ(LastRun(Plant2), "2024-03-02 06:00:00");
    EXPECT_EQ(LastRun(Plant3), "");

    // Reads: one per slot and one cache fill per variable; the approved slot is the only skip.
    const int slotCount = 30 + 30 + 30 + 2 + 30 + 1 + 18;
    EXPECT_EQ(Statistic("# of Physical Read Transactions   : "), slotCount + 7);
    EXPECT_EQ(Statistic("# of Logical Write Transactions   : "), 29 + 30 + 30 + 2 + 30 + 18);
    EXPECT_EQ(Statistic("# of Physical Write Transactions  : "), 29 + 30 + 30 + 2 + 30 + 18);
    EXPECT_EQ(Statistic("# of Skipped Write Transactions   : "), 1);
    EXPECT_EQ(Statistic("# of Attempted Variables          : "), 7);
    EXPECT_EQ(Statistic("# of Variables to Fail Validation : "), 0);
    EXPECT_EQ(Statistic("# of Source Connection Failures   : "), 0);
    EXPECT_EQ(Statistic("# of Target Connection Failures   : "), 0);
    EXPECT_EQ(CountLogMessage("Import was successful."), 1);
}

TEST_P(ImportRunTest, LockDateRefusalsCountAsSkippedWrites) {
    // Shifting the start two hours back puts two PLANT2 slots before its lock date.
    SetConfig(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE"), QStringLiteral("-120"));
    RunService(Date(2024, 3, 2, 6));
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    const QStringList locked = Rows(Plant2, "DATADDH", 201);
    ASSERT_EQ(locked.size(), 18);
    EXPECT_EQ(locked.first(), "2024-03-01 12:00:00=2.35");
    // PLANT1 now starts at Feb 29 22:00: two more hourly slots for each of its four hourly variables.
    EXPECT_EQ(Rows(Plant1, "DATADDH", 105).first(), "2024-02-29 22:00:00=22");
    EXPECT_EQ(Statistic("# of Skipped Write Transactions   : "), 2 + 1);
    EXPECT_EQ(writertest::CountLogMessagesStartingWith("Approval Level of Data (Or Lock Date) disallowed "
                                                       "interface to write record 'Wrote 03/01/2024 10:00  "
                                                       "PLANT2:201"),
              1);
}

TEST_P(ImportRunTest, TestModeWritesNothingAndCountsTheSameLogicalWrites) {
    const QStringList before = ValueRows(Plant1) + ValueRows(Plant2);
    RunService(Date(2024, 3, 2, 6), /*test=*/true);
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    EXPECT_EQ(ValueRows(Plant1) + ValueRows(Plant2), before);
    EXPECT_EQ(Statistic("# of Logical Write Transactions   : "), 29 + 30 + 30 + 2 + 30 + 18);
    EXPECT_EQ(Statistic("# of Physical Write Transactions  : "), 0);
    EXPECT_EQ(Statistic("# of Skipped Write Transactions   : "), 1);
}

TEST_P(ImportRunTest, SecondRunOverTheSameRangeChangesNoRow) {
    RunFixed(Date(2024, 3, 1), Date(2024, 3, 2));
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    const QStringList first = ValueRows(Plant1) + ValueRows(Plant2);
    ASSERT_GT(first.size(), 50);
    RunFixed(Date(2024, 3, 1), Date(2024, 3, 2));
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    EXPECT_EQ(ValueRows(Plant1) + ValueRows(Plant2), first);
    // An operator's run never records last runs.
    EXPECT_EQ(LastRun(Plant1), "");
}

TEST_P(ImportRunTest, HourlyRangeStartingAt1037BeginsWithThe1000Slot) {
    RunFixed(Date(2024, 3, 1, 10, 37), Date(2024, 3, 1, 13));
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    EXPECT_EQ(Rows(Plant1, "DATADDH", 105),
              QStringList({"2024-03-01 10:00:00=10", "2024-03-01 11:00:00=11", "2024-03-01 12:00:00=12"}));
}

TEST_P(ImportRunTest, IndirectTypeShiftsStampsByTheCollectorOffset) {
    SetConfig(QStringLiteral("VESKDRAQ\\G2_INDIRECT_TYPE"), QStringLiteral("TRUE"));
    RunFixed(Date(2024, 3, 1, 5), Date(2024, 3, 1, 7));
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    // The collector is 300 minutes behind UTC: the 05:00 slot is stored at 00:00.
    EXPECT_EQ(Rows(Plant1, "DATADDH", 105), QStringList({"2024-03-01 00:00:00=5", "2024-03-01 01:00:00=6"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportRunTest,
                         ::testing::Values(fixtures::Engine::SQLite, fixtures::Engine::PostgreSQL),
                         writertest::EngineName);

// The demo plant: every interval family and statistic in the table of its family, on stamps of
// that family's slot length.
class ImportRunDemoTest : public ImportRunFixture {};

TEST_P(ImportRunDemoTest, EveryFamilyLandsInItsTableOnItsSlots) {
    fixtures::DemoOptions options;
    options.days = 2;
    options.endDate = Date(2024, 3, 3);
    const fixtures::DemoSummary s = fixtures::DemoData::buildDatabases(host(), host(), options);
    PointConfigurationAt(s.siteId);
    SetConfig(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN"), OleDate::toConfigText(s.start));
    {
        FakeClock clock(s.end);
        SetRunAsNTService(true);
        ImportAll(false);
        SetRunAsNTService(false);
    }
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);

    struct Case {
        int varid;
        QString table;
        int minutes; // slot length
    };
    const QList<Case> cases{
        {1002, "DATATBL", 1440}, {1003, "DATATBL", 1440}, {1004, "DATATBL", 1440}, {1005, "DATATBL", 1440},
        {1016, "DATATBL", 1440}, {1017, "DATATBL", 1440}, {1018, "DATATBL", 1440}, {1019, "DATATBL", 1440},
        {1020, "DATATBL", 1440}, {1007, "DATADDH", 60},   {1008, "DATADDH", 60},   {1009, "DATADDH", 60},
        {1011, "DATADD4", 240},  {1012, "DATADDF", 15},   {1013, "DATADDF", 15},   {1014, "DATADD5", 5},
        {1015, "DATADD1", 1},    {1010, "DATADD3", 30},
    };
    const QStringList tables{"DATATBL", "DATADD4", "DATADDH", "DATADD3", "DATADDF", "DATADD5", "DATADD1"};
    for (const Case& c : cases) {
        for (const QString& table : tables) {
            const QString stamp = table == "DATATBL" ? "datestamp" : "slotstarttime";
            const auto rows = target().query("NORTHWTP",
                                             "select " + stamp + " from " + table +
                                                 " where varid = ? and audituser <> 'JSMITH'",
                                             {Variant(c.varid)});
            if (table != c.table) {
                EXPECT_TRUE(rows.isEmpty()) << c.varid << " also in " << table.toStdString();
                continue;
            }
            ASSERT_FALSE(rows.isEmpty()) << c.varid << " missing from " << table.toStdString();
            for (const auto& r : rows) {
                const qint64 ms =
                    OleDate::toMs(r[0].toDate()) - OleDate::toMs(OleDate::datePart(r[0].toDate()));
                EXPECT_EQ(ms % (qint64(c.minutes) * 60000), 0)
                    << c.varid << " at " << StampText(r[0]).toStdString();
            }
        }
    }
    // The calculated variable has no source tag and is not linked: nothing is written for it.
    EXPECT_TRUE(target().query("NORTHWTP", "select varid from DATATBL where varid = 1021").isEmpty());
    // SOUTHWWTP was locked for the first day: nothing before its lock date.
    const auto south =
        target().query("SOUTHWWTP", "select slotstarttime from DATADDH where varid = 2002 order by 1");
    ASSERT_FALSE(south.isEmpty());
    EXPECT_GE(OleDate::toMs(south.first()[0].toDate()), OleDate::toMs(OleDate::addDays(s.start, 1)));
    EXPECT_EQ(LastRun("NORTHWTP"), StampText(Variant::fromDate(s.end)));
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportRunDemoTest,
                         ::testing::Values(fixtures::Engine::SQLite, fixtures::Engine::PostgreSQL),
                         writertest::EngineName);
