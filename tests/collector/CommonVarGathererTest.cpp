#include "CommonFiles/collector/CommonVarGatherer.h"
#include "CommonFiles/foundation/OleDate.h"
#include "fixtures/TargetDatabase.h"
#include "tests/collector/CollectorTestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

using CollectorTest::Date;
using CollectorTest::SetConfig;
using fixtures::CollectorSpec;
using fixtures::TimeZoneBiasSpec;

namespace {

using Walk = std::vector<std::pair<std::string, std::vector<int>>>;

// The facilities and variable ids in the order the gatherer walks them.
Walk WalkOf(CommonVarGatherer& g) {
    Walk out;
    g.MoveFirst();
    while (!g.EOF_Facility()) {
        std::vector<int> ids;
        while (!g.EOF_Variable()) {
            ids.push_back(g.Current_Variable());
            g.MoveNext_Variable();
        }
        out.emplace_back(g.Current_Facility().toStdString(), ids);
        g.MoveNext_Facility();
    }
    return out;
}

// Switches the process's time zone, as the TZ variable does for a service.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (hadOld_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

TEST(CommonVarGathererTest, AddingVariablesFoldsCaseAndKeepsOneOfEach) {
    CommonVarGatherer g;
    EXPECT_TRUE(g.ADHOCAddVariable(QStringLiteral("plant1"), 5));
    EXPECT_TRUE(g.ADHOCAddVariable(QStringLiteral("PLANT1"), 5));
    EXPECT_TRUE(g.ADHOCAddVariable(QStringLiteral("Plant1"), 15));
    EXPECT_TRUE(g.ADHOCAddVariable(QStringLiteral("PLANT1"), 1)) << "1 is not the same id as 15";
    EXPECT_TRUE(g.ADHOCAddVariable(QStringLiteral("PLANT2"), 5));
    EXPECT_EQ(g.TotalFacility(), 2);
    EXPECT_EQ(g.TotalVariable(), 4);
    // PLANT1 hashes to bucket 260, PLANT2 to 516.
    EXPECT_EQ(WalkOf(g), (Walk{{"PLANT1", {5, 15, 1}}, {"PLANT2", {5}}}));
}

TEST(CommonVarGathererTest, CursorsAtTheEnds) {
    CommonVarGatherer g;
    g.MoveFirst();
    EXPECT_TRUE(g.EOF_Facility()) << "a gatherer without variables has nothing to walk";
    EXPECT_TRUE(g.EOF_Variable());

    g.ADHOCAddVariable(QStringLiteral("ALPHA"), 3);
    g.ADHOCAddVariable(QStringLiteral("ALPHA"), 4);
    g.MoveFirst();
    ASSERT_FALSE(g.EOF_Facility());
    EXPECT_EQ(g.Current_Facility(), "ALPHA");
    EXPECT_EQ(g.Current_Variable(), 3);
    g.MoveNext_Variable();
    EXPECT_FALSE(g.EOF_Variable());
    g.MoveNext_Variable();
    EXPECT_TRUE(g.EOF_Variable()) << "after the last id";
    g.MoveNext_Facility();
    EXPECT_TRUE(g.EOF_Facility()) << "after the last facility";
    g.MoveNext_Facility();
    EXPECT_TRUE(g.EOF_Facility());

    g.Clear();
    EXPECT_EQ(g.TotalVariable(), 0);
    EXPECT_EQ(g.TotalFacility(), 0);
    g.MoveFirst();
    EXPECT_TRUE(g.EOF_Facility());
}

TEST(CommonVarGathererTest, ComputerOffsetFollowsTheSystemZoneAndDaylightSaving) {
    const struct {
        const char* zone;
        double now;
        int minutes;
    } cases[] = {
        {"UTC", Date(2024, 7, 1, 12, 0), 0},
        {"Europe/Berlin", Date(2024, 1, 15, 12, 0), 60},
        {"Europe/Berlin", Date(2024, 7, 1, 12, 0), 120},
        {"America/New_York", Date(2024, 1, 15, 12, 0), -300},
        {"America/New_York", Date(2024, 7, 1, 12, 0), -240},
        {"Asia/Kolkata", Date(2024, 7, 1, 12, 0), 330},
        {"Australia/Sydney", Date(2024, 1, 15, 12, 0), 660},
    };
    for (const auto& c : cases) {
        ZoneScope zone(c.zone);
        FakeClock clock(c.now);
        EXPECT_EQ(CommonVarGatherer::GetComputerUtcOffset(), c.minutes) << c.zone << " " << c.now;
    }
}

class CommonVarGathererDbTest : public TargetTest {
protected:
    // Five facilities whose hash order (ALPHA 0, RIVER 256, BETA 322, WEST 343, SOUTH 795) is
    // not their alphabetical order, and LAKE without enabled variables.
    void AddPlants() {
        for (const char* f : {"SOUTH", "ALPHA", "RIVER", "WEST", "BETA", "LAKE"})
            AddFacility(QString::fromLatin1(f));
        auto var = [&](const char* facility, int varid, int interfaceId, int enabled) {
            target().addVariable(
                QString::fromLatin1(facility),
                {.varid = varid, .varnum = varid, .interfaceId = interfaceId, .enabled = enabled});
        };
        var("SOUTH", 30, 101, -1);
        var("SOUTH", 10, 101, -1);
        var("SOUTH", 20, 101, -1);
        var("SOUTH", 40, 101, 0);  // disabled
        var("SOUTH", 50, 202, -1); // another collector's
        var("ALPHA", 7, 101, -1);
        var("RIVER", 1, 101, -1);
        var("WEST", 2, 101, -1);
        var("WEST", 3, 101, 1); // only -1 means enabled
        var("BETA", 4, 101, -1);
        var("LAKE", 5, 101, 0);
        var("LAKE", 6, 202, -1);
        // A root row in lower case still names the facility RIVER.
        target().run(QStringLiteral("QTXROOT"),
                     QStringLiteral("UPDATE Facility SET filename = ? WHERE filename = ?"),
                     {Variant("river"), Variant("RIVER")});
    }
};

TEST_P(CommonVarGathererDbTest, GathersEnabledVariablesAndWalksInHashOrder) {
    AddPlants();
    ado::Connection root = OpenRoot();
    CommonVarGatherer g;
    ASSERT_TRUE(g.ReadVeskDRAQ(101, root));
    EXPECT_EQ(g.CollectorID(), 101);
    EXPECT_EQ(g.TotalFacility(), 5);
    EXPECT_EQ(g.TotalVariable(), 7);
    EXPECT_EQ(WalkOf(g),
              (Walk{{"ALPHA", {7}}, {"RIVER", {1}}, {"BETA", {4}}, {"WEST", {2}}, {"SOUTH", {10, 20, 30}}}));

    std::shared_ptr<HashTable> names = g.FacilID2FacilNameHash();
    EXPECT_EQ(names->Count(), 6) << "every facility, also those without variables";
    EXPECT_EQ(names->item(QStringLiteral("LAKE")).toText(), "LAKE plant");
    EXPECT_EQ(names->item(QStringLiteral("RIVER")).toText(), "RIVER plant");
    EXPECT_EQ(g.FacilID2ainfoHash()->Count(), 0);
    root.Close();
}

TEST_P(CommonVarGathererDbTest, LimitFacilityKeepsOneFacility) {
    AddPlants();
    const struct {
        const char* what;
        const char* limit;
        Walk walk;
        int names;
    } cases[] = {
        {"a facility in lower case", "south", {{"SOUTH", {10, 20, 30}}}, 1},
        {"a facility that does not exist", "NOSUCH", {}, 0},
        {"a value that would widen a pasted statement", "X' OR '1'='1", {}, 0},
    };
    ado::Connection root = OpenRoot();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CollectorTest::StartNewLog();
        SetConfig(QStringLiteral("OPTIONS\\NOIU\\LIMITFACILITY"), QString::fromLatin1(c.limit));
        CommonVarGatherer g;
        EXPECT_TRUE(g.ReadVeskDRAQ(101, root));
        EXPECT_EQ(WalkOf(g), c.walk);
        EXPECT_EQ(g.FacilID2FacilNameHash()->Count(), c.names);
        EXPECT_EQ(
            CollectorTest::CountLogMessage(QStringLiteral("Limiting gathering variables to facility: ") +
                                           QString::fromLatin1(c.limit).toUpper()),
            1);
    }
    root.Close();
}

TEST_P(CommonVarGathererDbTest, AFacilityThatCannotBeReachedContributesNothing) {
    AddFacility(QStringLiteral("ALPHA"));
    target().addVariable(QStringLiteral("ALPHA"), {.varid = 7, .varnum = 7, .interfaceId = 101});
    target().run(QStringLiteral("QTXROOT"),
                 QStringLiteral("INSERT INTO Facility (filename, name) VALUES (?, ?)"),
                 {Variant("GHOST"), Variant("No database")});
    ado::Connection root = OpenRoot();
    CommonVarGatherer g;
    EXPECT_TRUE(g.ReadVeskDRAQ(101, root));
    EXPECT_EQ(WalkOf(g), (Walk{{"ALPHA", {7}}}));
    EXPECT_EQ(g.FacilID2FacilNameHash()->item(QStringLiteral("GHOST")).toText(), "No database");

    // Settings that cannot initialise a connection manager: one box per facility, no variables.
    CollectorTest::StartNewLog();
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE"), QString());
    CommonVarGatherer unusable;
    EXPECT_TRUE(unusable.ReadVeskDRAQ(101, root));
    EXPECT_EQ(unusable.TotalVariable(), 0);
    EXPECT_EQ(
        CollectorTest::CountLogMessage(QStringLiteral("PROMPT= Unable to init Vesk DRAQ Connection Manager")),
        2);
    root.Close();
}

TEST_P(CommonVarGathererDbTest, ReadsTheCollectorRow) {
    struct Case {
        const char* what;
        CollectorSpec row;
        int ask;
        bool result;
        int collectorId;
        QString name;
        bool enabled;
        int timeZoneId;
        double dateAdjust;
    };
    const double stamp = Date(2024, 1, 2, 3, 4, 5);
    const std::vector<Case> cases = {
        {"a complete row, texts trimmed",
         {.interfaceId = 101,
          .name = "  North site ",
          .description = " Main plant ",
          .auditUser = " ADMIN ",
          .auditTimestamp = Variant::fromDate(stamp),
          .overrideAuditUser = " OPERATOR ",
          .dateAdjust = 1.5,
          .timeZoneId = 7},
         101,
         true,
         101,
         "North site",
         true,
         7,
         1.5},
        {"no row", {.interfaceId = 102}, 999, false, 0, "", false, 0, 0},
        {"a disabled collector",
         {.interfaceId = 103, .enabled = 0},
         103,
         true,
         103,
         "Collector",
         false,
         1,
         0},
        {"a null enabled flag fails before the id is set",
         {.interfaceId = 104, .enabled = Variant::null()},
         104,
         false,
         0,
         "Collector",
         false,
         0,
         0},
        {"a null time zone fails after the id is set",
         {.interfaceId = 105, .timeZoneId = Variant::null()},
         105,
         false,
         105,
         "Collector",
         true,
         0,
         0},
        {"a null date adjustment fails last",
         {.interfaceId = 106, .dateAdjust = Variant::null(), .timeZoneId = 3},
         106,
         false,
         106,
         "Collector",
         true,
         3,
         0},
        {"null texts and time stamp",
         {.interfaceId = 107,
          .name = Variant::null(),
          .description = Variant::null(),
          .auditUser = Variant::null(),
          .overrideAuditUser = Variant::null()},
         107,
         true,
         107,
         "",
         true,
         1,
         0},
    };
    for (const Case& c : cases)
        target().addCollector(c.row);
    ado::Connection root = OpenRoot();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommonVarGatherer g;
        EXPECT_EQ(g.ReadAboutCollector(c.ask, root), c.result);
        EXPECT_EQ(g.CollectorID(), c.collectorId);
        EXPECT_EQ(g.CollectorName(), c.name);
        EXPECT_EQ(g.CollectorEnabled(), c.enabled);
        EXPECT_EQ(g.CollectorTimeZoneID(), c.timeZoneId);
        EXPECT_EQ(g.CollectorDateAdjust(), c.dateAdjust);
    }
    CommonVarGatherer full;
    ASSERT_TRUE(full.ReadAboutCollector(101, root));
    EXPECT_EQ(full.CollectorDescription(), "Main plant");
    EXPECT_EQ(full.CollectorChangedAuditUSer(), "ADMIN");
    EXPECT_EQ(full.CollectorWriteAsUser(), "OPERATOR");
    EXPECT_EQ(OleDate::toMs(full.CollectorChangedTimeStamp()), OleDate::toMs(stamp));
    CommonVarGatherer nulls;
    ASSERT_TRUE(nulls.ReadAboutCollector(107, root));
    EXPECT_EQ(nulls.CollectorDescription(), "");
    EXPECT_EQ(nulls.CollectorWriteAsUser(), "");
    EXPECT_EQ(nulls.CollectorChangedAuditUSer(), "");
    EXPECT_EQ(nulls.CollectorChangedTimeStamp(), 0.0) << "the zero date";
    root.Close();
}

TEST_P(CommonVarGathererDbTest, CollectorTimeZoneOffsetFromTheBiasRows) {
    ZoneScope zone("Europe/Berlin");
    const double now = Date(2024, 7, 1, 12, 0);
    FakeClock clock(now);
    struct Case {
        const char* what;
        std::vector<TimeZoneBiasSpec> rows;
        double offset;
    };
    const Variant none = Variant::null();
    auto at = [](double d) { return Variant::fromDate(d); };
    const std::vector<Case> cases = {
        {"no row", {}, 0},
        {"a row for another year only",
         {{0, 2023, -60, -120, at(Date(2023, 10, 29, 3)), at(Date(2023, 3, 26, 2))}},
         0},
        {"no daylight start: always the standard bias", {{0, 2024, 300, 240, none, none}}, -300},
        {"inside the daylight period",
         {{0, 2024, -60, -120, at(Date(2024, 10, 27, 3)), at(Date(2024, 3, 31, 1))}},
         120},
        {"before the daylight period",
         {{0, 2024, -60, -120, at(Date(2024, 10, 27, 3)), at(Date(2024, 8, 1))}},
         60},
        {"exactly at the daylight start", {{0, 2024, -60, -120, at(Date(2024, 10, 27, 3)), at(now)}}, 120},
        {"exactly at the standard start", {{0, 2024, -60, -120, at(now), at(Date(2024, 3, 31, 1))}}, 60},
        {"standard start before the daylight start: no instant is in daylight",
         {{0, 2024, -600, -660, at(Date(2024, 4, 7, 3)), at(Date(2024, 10, 6, 2))}},
         600},
        {"a null standard bias fails the read", {{0, 2024, none, -120, none, none}}, 0},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const int tz = 10 + static_cast<int>(i);
        for (TimeZoneBiasSpec row : cases[i].rows) {
            row.timeZoneId = tz;
            target().addTimeZoneBias(row);
        }
        target().addCollector({.interfaceId = 200 + static_cast<int>(i), .timeZoneId = tz});
    }
    ado::Connection root = OpenRoot();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].what);
        CommonVarGatherer g;
        EXPECT_TRUE(g.ReadAboutCollector(200 + static_cast<int>(i), root));
        EXPECT_EQ(g.CollectorTimeZoneOffset(), cases[i].offset);
        EXPECT_EQ(g.InterfaceTimezoneOffset(), 120) << "Berlin in July";
    }
    root.Close();
}

TEST_P(CommonVarGathererDbTest, CopyCollectorInfoTakesTheDescriptionOnly) {
    ZoneScope zone("America/New_York");
    FakeClock clock(Date(2024, 1, 15, 12, 0));
    target().addTimeZoneBias({9, 2024, 300, 240, Variant::null(), Variant::null()});
    target().addCollector({.interfaceId = 101,
                           .name = "North",
                           .description = "Main",
                           .enabled = -1,
                           .auditUser = "ADMIN",
                           .auditTimestamp = Variant::fromDate(Date(2024, 1, 2)),
                           .overrideAuditUser = "OPERATOR",
                           .dateAdjust = 2.5,
                           .timeZoneId = 9});
    ado::Connection root = OpenRoot();
    CommonVarGatherer first;
    ASSERT_TRUE(first.ReadAboutCollector(101, root));
    root.Close();
    first.ADHOCAddVariable(QStringLiteral("ALPHA"), 1);

    CommonVarGatherer picked;
    picked.ADHOCAddVariable(QStringLiteral("BETA"), 2);
    picked.CopyCollectorInfo(first);
    EXPECT_EQ(picked.CollectorName(), "North");
    EXPECT_EQ(picked.CollectorDescription(), "Main");
    EXPECT_TRUE(picked.CollectorEnabled());
    EXPECT_EQ(picked.CollectorID(), 101);
    EXPECT_EQ(picked.CollectorChangedAuditUSer(), "ADMIN");
    EXPECT_EQ(OleDate::toMs(picked.CollectorChangedTimeStamp()), OleDate::toMs(Date(2024, 1, 2)));
    EXPECT_EQ(picked.CollectorWriteAsUser(), "OPERATOR");
    EXPECT_EQ(picked.CollectorDateAdjust(), 2.5);
    EXPECT_EQ(picked.CollectorTimeZoneID(), 9);
    EXPECT_EQ(picked.CollectorTimeZoneOffset(), -300);
    EXPECT_EQ(picked.InterfaceTimezoneOffset(), -300);
    EXPECT_EQ(WalkOf(picked), (Walk{{"BETA", {2}}})) << "the lists are not copied";
    EXPECT_NE(picked.LookupLastRun(), first.LookupLastRun());
}

INSTANTIATE_TEST_SUITE_P(Engines, CommonVarGathererDbTest,
                         ::testing::Values(fixtures::Engine::SQLite, fixtures::Engine::PostgreSQL),
                         CollectorTest::EngineName);

} // namespace
