#include "CommonFiles/collector/CommonTypeVar.h"
#include "CommonFiles/collector/CommonTypeVarRec.h"
#include "CommonFiles/collector/CommonVarGatherer.h"
#include "CommonFiles/foundation/AppError.h"
#include "fixtures/TargetDatabase.h"
#include "tests/collector/CollectorTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

using CollectorTest::TimeOfDay;
using fixtures::VariableSpec;
namespace Code = fixtures::VarTypeCode;

namespace {

const QString kSeconds = QStringLiteral("908_P4H3F519");

// What a record holds after it is filled; the defaults are those of a VariableSpec left alone
// (a daily variable with a "SAME" window and no times).
struct Expected {
    std::int32_t interfaceType = 0;
    double scadaFactor = 1;
    std::int16_t decPlaces = 2;
    std::int32_t start = 0;
    std::int32_t stop = 1440;
    std::int32_t approval = 1;
    double filterValue = 0;
    QString scadaTag{};
    QString scadaStat = QStringLiteral("AVERAGE");
    QString filterOperand{};
    QString filterTag{};
    QString name{};
    QString units{};
    QString desc{};
    Variant deadBand = Variant::null();
    Variant lowRange = Variant::null();
    Variant highRange = Variant::null();
};

void ExpectRecord(const CommonTypeVarRec& r, const Expected& e, const char* what) {
    SCOPED_TRACE(what);
    EXPECT_EQ(r.gInterfaceType(), e.interfaceType);
    EXPECT_DOUBLE_EQ(r.gScadaFactor(), e.scadaFactor);
    EXPECT_EQ(r.gDecPlaces(), e.decPlaces);
    EXPECT_EQ(r.gStartTimeMinutes(), e.start);
    EXPECT_EQ(r.gStopTimeMinutes(), e.stop);
    EXPECT_EQ(r.gDataApproval(), e.approval);
    EXPECT_DOUBLE_EQ(r.gFilterValue(), e.filterValue);
    EXPECT_EQ(r.gScadaTag(), e.scadaTag);
    EXPECT_EQ(r.gScadaStat(), e.scadaStat);
    EXPECT_EQ(r.gFilterOperand(), e.filterOperand);
    EXPECT_EQ(r.gFilterTag(), e.filterTag);
    EXPECT_EQ(r.gName(), e.name);
    EXPECT_EQ(r.gUnits(), e.units);
    EXPECT_EQ(r.gDesc(), e.desc);
    EXPECT_EQ(r.gDeadBand().isNull(), e.deadBand.isNull());
    if (!e.deadBand.isNull()) {
        EXPECT_DOUBLE_EQ(r.gDeadBand().toDouble(), e.deadBand.toDouble());
    }
    EXPECT_EQ(r.gLowRangeFilter().isNull(), e.lowRange.isNull());
    if (!e.lowRange.isNull()) {
        EXPECT_DOUBLE_EQ(r.gLowRangeFilter().toDouble(), e.lowRange.toDouble());
    }
    EXPECT_EQ(r.gHighRangeFilter().isNull(), e.highRange.isNull());
    if (!e.highRange.isNull()) {
        EXPECT_DOUBLE_EQ(r.gHighRangeFilter().toDouble(), e.highRange.toDouble());
    }
}

// ---- The conversions of the write properties, on values a recordset can deliver. ----

struct SetterCase {
    const char* what;
    std::function<void(CommonTypeVarRec&)> fill;
    std::function<void(const CommonTypeVarRec&)> check;
};

TEST(CommonTypeVarRecTest, WritePropertiesConvertAndFallBack) {
    const SetterCase cases[] = {
        {"a new record holds zeros and empty values", [](CommonTypeVarRec&) {},
         [](const CommonTypeVarRec& r) {
             EXPECT_EQ(r.gID(), 0);
             EXPECT_EQ(r.gNumber(), 0);
             EXPECT_EQ(r.gDecPlaces(), 0);
             EXPECT_EQ(r.gScadaFactor(), 0);
             EXPECT_EQ(r.gStopTimeMinutes(), 0);
             EXPECT_EQ(r.gInterfaceType(), 0);
             EXPECT_TRUE(r.gVarType().isEmpty());
             EXPECT_TRUE(r.gDeadBand().isEmpty());
         }},
        {"scale factor text that is not a number gives 1",
         [](CommonTypeVarRec& r) { r.setScadaFactor(Variant("abc")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gScadaFactor(), 1); }},
        {"scale factor as a numeric text", [](CommonTypeVarRec& r) { r.setScadaFactor(Variant(" -2.5 ")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gScadaFactor(), -2.5); }},
        {"decimal places text that is not a number gives 5",
         [](CommonTypeVarRec& r) { r.setDecPlaces(Variant("two")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gDecPlaces(), 5); }},
        {"decimal places 2.5 as text round to even",
         [](CommonTypeVarRec& r) { r.setDecPlaces(Variant("2.5")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gDecPlaces(), 2); }},
        {"decimal places out of the 16-bit range give 5",
         [](CommonTypeVarRec& r) { r.setDecPlaces(Variant(70000)); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gDecPlaces(), 5); }},
        {"filter value text that is not a number gives 0",
         [](CommonTypeVarRec& r) { r.setFilterValue(Variant("on")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gFilterValue(), 0); }},
        {"approval level as numeric text", [](CommonTypeVarRec& r) { r.setDataApproval(Variant("3")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gDataApproval(), 3); }},
        {"approval level that is no number gives 0",
         [](CommonTypeVarRec& r) { r.setDataApproval(Variant("high")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gDataApproval(), 0); }},
        {"approval level beyond 32 bits gives 0 instead of failing the row",
         [](CommonTypeVarRec& r) { r.setDataApproval(Variant(1e12)); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gDataApproval(), 0); }},
        {"interface type same in lower case",
         [](CommonTypeVarRec& r) { r.setInterfaceType(Variant("same")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gInterfaceType(), 0); }},
        {"interface type with blanks is not same",
         [](CommonTypeVarRec& r) { r.setInterfaceType(Variant(" SAME")); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gInterfaceType(), 1); }},
        {"start time as a time text",
         [](CommonTypeVarRec& r) {
             r.setVarType(Variant(Code::Hourly));
             r.setStartTime(Variant("00:15"));
         },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gStartTimeMinutes(), 15); }},
        {"start time that is a number, not a date, gives 0",
         [](CommonTypeVarRec& r) {
             r.setVarType(Variant(Code::Daily));
             r.setStartTime(Variant(0.25));
         },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gStartTimeMinutes(), 0); }},
        {"start time equal to the slot length is kept",
         [](CommonTypeVarRec& r) {
             r.setVarType(Variant(Code::Hourly));
             r.setStartTime(TimeOfDay(1, 0));
         },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gStartTimeMinutes(), 60); }},
        {"stop time of a 15-minute variable within its slot",
         [](CommonTypeVarRec& r) {
             r.setVarType(Variant(Code::FifteenMinute));
             r.setStopTime(TimeOfDay(0, 10));
         },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gStopTimeMinutes(), 10); }},
        {"stop time longer than the slot is cut to the slot",
         [](CommonTypeVarRec& r) {
             r.setVarType(Variant(Code::FifteenMinute));
             r.setStopTime(TimeOfDay(0, 40));
         },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gStopTimeMinutes(), 15); }},
        {"no stop time on a daily next-day variable is one day, not two",
         [](CommonTypeVarRec& r) {
             r.setVarType(Variant(Code::Daily));
             r.setInterfaceType(Variant("NEXT"));
             r.setStopTime(Variant::null());
         },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gStopTimeMinutes(), 1440); }},
        {"a type without interval marker has one-day slots but no daily rules",
         [](CommonTypeVarRec& r) {
             r.setVarType(Variant("P4H3F519"));
             r.setInterfaceType(Variant("NEXT"));
             r.setStopTime(TimeOfDay(5, 59));
         },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gStopTimeMinutes(), 359); }},
        {"seconds variables get no start offset and keep their stop offset",
         [](CommonTypeVarRec& r) {
             r.setVarType(Variant(Code::Hourly));
             r.setStopTime(TimeOfDay(0, 30));
             r.setVarType(Variant(kSeconds));
             r.setStartTime(TimeOfDay(0, 0));
             r.setStopTime(Variant::null());
         },
         [](const CommonTypeVarRec& r) {
             EXPECT_EQ(r.gStartTimeMinutes(), 0);
             EXPECT_EQ(r.gStopTimeMinutes(), 30);
         }},
        {"tags and the filter operator are trimmed, the statistic upper-cased",
         [](CommonTypeVarRec& r) {
             r.setScadaTag(Variant("  KQ:1:101 "));
             r.setFilterTag(Variant(" KQ:1:105"));
             r.setFilterOperand(Variant(" <= "));
             r.setScadaStat(Variant("cyclesto"));
         },
         [](const CommonTypeVarRec& r) {
             EXPECT_EQ(r.gScadaTag(), "KQ:1:101");
             EXPECT_EQ(r.gFilterTag(), "KQ:1:105");
             EXPECT_EQ(r.gFilterOperand(), "<=");
             EXPECT_EQ(r.gScadaStat(), "CYCLESTO");
         }},
        {"name, units and description are kept untrimmed",
         [](CommonTypeVarRec& r) {
             r.setName(Variant(" Flow "));
             r.setUnits(Variant("ML/d "));
             r.setDesc(Variant::null());
         },
         [](const CommonTypeVarRec& r) {
             EXPECT_EQ(r.gName(), " Flow ");
             EXPECT_EQ(r.gUnits(), "ML/d ");
             EXPECT_EQ(r.gDesc(), "");
         }},
        {"the variable number rounds halves to even", [](CommonTypeVarRec& r) { r.setNumber(Variant(12.5)); },
         [](const CommonTypeVarRec& r) { EXPECT_EQ(r.gNumber(), 12); }},
    };
    for (const SetterCase& c : cases) {
        SCOPED_TRACE(c.what);
        CommonTypeVarRec r;
        c.fill(r);
        c.check(r);
    }
}

TEST(CommonTypeVarRecTest, NullTypeOrNumberFailTheRow) {
    CommonTypeVarRec r;
    EXPECT_THROW(r.setVarType(Variant::null()), AppError);
    EXPECT_THROW(r.setNumber(Variant::null()), AppError);
    EXPECT_THROW(r.setNumber(Variant("n/a")), AppError);
}

TEST(CommonTypeVarRecTest, SlotLengthsOfEveryFamily) {
    const struct {
        QString code;
        std::int32_t minutes;
    } cases[] = {{Code::Daily, 1440},
                 {Code::FourHourly, 240},
                 {Code::Hourly, 60},
                 {Code::ThirtyMinute, 30},
                 {Code::FifteenMinute, 15},
                 {Code::FiveMinute, 5},
                 {Code::OneMinute, 1},
                 {kSeconds, 0},
                 {QStringLiteral("P4H3F519"), 1440}};
    for (const auto& c : cases)
        EXPECT_EQ(CommonTypeVarRec::SlotLengthMinutes(c.code), c.minutes) << c.code.toStdString();
}

// ---- Records read from VarDesc on every engine. ----

struct RowCase {
    const char* what;
    VariableSpec row;
    Expected expected;
};

class CommonTypeVarDbTest : public TargetTest {
protected:
    // Lists every variable of the facility in a gatherer and loads them.
    CommonTypeVar Load(const QString& facility, const QList<int>& ids) {
        CommonVarGatherer gatherer;
        for (int id : ids)
            gatherer.ADHOCAddVariable(facility, id);
        CommonTypeVar store;
        EXPECT_TRUE(store.ReadVeskDRAQ(gatherer));
        return store;
    }
};

TEST_P(CommonTypeVarDbTest, ConversionsOfVarDescColumns) {
    std::vector<RowCase> cases = {
        {"defaults of a daily variable", {}, {}},
        {"interface type same in lower case gives 0", {.interfacetype = "same"}, {}},
        {"interface type NEXT gives 1", {.interfacetype = "NEXT"}, {.interfaceType = 1}},
        {"interface type empty gives 1", {.interfacetype = ""}, {.interfaceType = 1}},
        {"interface type null gives 1", {.interfacetype = Variant::null()}, {.interfaceType = 1}},
        {"scale factor 0 gives 1", {.scalefactor = 0.0}, {}},
        {"scale factor null gives 1", {.scalefactor = Variant::null()}, {}},
        {"scale factor -2.5 is kept", {.scalefactor = -2.5}, {.scadaFactor = -2.5}},
        {"decimal places null give 5", {.decplaces = Variant::null()}, {.decPlaces = 5}},
        {"decimal places 2.5 give 2", {.decplaces = 2.5}, {.decPlaces = 2}},
        {"decimal places 3.5 give 4", {.decplaces = 3.5}, {.decPlaces = 4}},
        {"decimal places 9999 stay", {.decplaces = 9999.0}, {.decPlaces = 9999}},
        {"decimal places 40000 are out of range and give 5", {.decplaces = 40000.0}, {.decPlaces = 5}},
        {"hourly start 00:15 gives 15, no stop time gives the hour",
         {.vartype = Code::Hourly, .starttime = TimeOfDay(0, 15)},
         {.start = 15, .stop = 60}},
        {"hourly start 02:00 is longer than the hour and gives 0",
         {.vartype = Code::Hourly, .starttime = TimeOfDay(2, 0)},
         {.start = 0, .stop = 60}},
        {"hourly stop 00:45", {.vartype = Code::Hourly, .stoptime = TimeOfDay(0, 45)}, {.stop = 45}},
        {"daily 06:00 to 05:59 of the next day",
         {.interfacetype = "NEXT", .starttime = TimeOfDay(6, 0), .stoptime = TimeOfDay(5, 59)},
         {.interfaceType = 1, .start = 360, .stop = 1800}},
        {"daily same day 00:00 to 23:59",
         {.interfacetype = "SAME", .starttime = TimeOfDay(0, 0), .stoptime = TimeOfDay(23, 59)},
         {.start = 0, .stop = 1440}},
        {"daily same day 00:00 to 05:59",
         {.starttime = TimeOfDay(0, 0), .stoptime = TimeOfDay(5, 59)},
         {.start = 0, .stop = 360}},
        {"15-minute variable without times", {.vartype = Code::FifteenMinute}, {.stop = 15}},
        {"seconds variable: no offsets", {.vartype = kSeconds, .starttime = TimeOfDay(0, 0)}, {.stop = 0}},
        {"approval null gives 0", {.approval = Variant::null()}, {.approval = 0}},
        {"approval 3", {.approval = 3}, {.approval = 3}},
        {"filter value null gives 0, 12.5 is kept", {.filterval = 12.5}, {.filterValue = 12.5}},
        {"tags trimmed, statistic upper-cased, operator trimmed",
         {.scadatag = "  KQ:1:101 ", .statistic = "average", .filtertag = " KQ:1:105 ", .filterop = " >= "},
         {.scadaTag = "KQ:1:101", .scadaStat = "AVERAGE", .filterOperand = ">=", .filterTag = "KQ:1:105"}},
        {"null texts become empty",
         {.name = Variant::null(),
          .units = Variant::null(),
          .description = Variant::null(),
          .scadatag = Variant::null(),
          .statistic = Variant::null()},
         {.scadaStat = ""}},
        {"texts kept as stored",
         {.name = "Influent flow", .units = "ML/d", .description = "Plant inflow"},
         {.name = "Influent flow", .units = "ML/d", .desc = "Plant inflow"}},
        {"dead band and range limits as delivered",
         {.deadband = 0.5, .highrange = 100.0, .lowrange = -1.0},
         {.deadBand = 0.5, .lowRange = -1.0, .highRange = 100.0}},
    };
    AddFacility(QStringLiteral("PLANT1"));
    QList<int> ids;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        VariableSpec row = cases[i].row;
        row.varid = 1000 + static_cast<int>(i);
        row.varnum = 2000 + static_cast<int>(i);
        target().addVariable(QStringLiteral("PLANT1"), row);
        ids.append(row.varid);
    }
    CommonTypeVar store = Load(QStringLiteral("PLANT1"), ids);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const int id = 1000 + static_cast<int>(i);
        std::shared_ptr<CommonTypeVarRec> r = store.GetVarRecord(QStringLiteral("PLANT1"), id);
        ASSERT_TRUE(r) << cases[i].what;
        EXPECT_EQ(r->gID(), id);
        EXPECT_EQ(r->gNumber(), 2000 + static_cast<int>(i));
        EXPECT_EQ(r->gFacilID(), "PLANT1");
        EXPECT_EQ(r->gVarType(), cases[i].row.vartype.toText());
        ExpectRecord(*r, cases[i].expected, cases[i].what);
    }
}

TEST_P(CommonTypeVarDbTest, BrokenRowsCostOnlyTheirVariableAndAreLogged) {
    AddFacility(QStringLiteral("PLANT1"));
    target().addVariable(QStringLiteral("PLANT1"), {.varid = 1, .varnum = 11});
    target().addVariable(QStringLiteral("PLANT1"), {.varid = 2, .varnum = 12, .vartype = Variant::null()});
    target().addVariable(QStringLiteral("PLANT1"), {.varid = 3, .varnum = Variant::null()});
    target().addVariable(QStringLiteral("PLANT1"), {.varid = 4, .varnum = 14});
    CommonTypeVar store = Load(QStringLiteral("PLANT1"), {1, 2, 3, 4, 5});

    EXPECT_TRUE(store.GetVarRecord(QStringLiteral("PLANT1"), 1));
    EXPECT_FALSE(store.GetVarRecord(QStringLiteral("PLANT1"), 2));
    EXPECT_FALSE(store.GetVarRecord(QStringLiteral("PLANT1"), 3));
    EXPECT_TRUE(store.GetVarRecord(QStringLiteral("PLANT1"), 4));
    EXPECT_FALSE(store.GetVarRecord(QStringLiteral("PLANT1"), 5)) << "no VarDesc row";
    EXPECT_EQ(CollectorTest::CountLogMessage(QStringLiteral(
                  "Error in Sub ExpandVaridToRecord(VarId = 2): Error 94  Invalid use of Null")),
              1);
    EXPECT_EQ(CollectorTest::CountLogMessage(QStringLiteral(
                  "Error in Sub ExpandVaridToRecord(VarId = 3): Error 94  Invalid use of Null")),
              1);
    for (const QString& line : CollectorTest::LogMessages())
        EXPECT_FALSE(line.contains(QStringLiteral("VarId = 5"))) << "a missing row is no error";
}

TEST_P(CommonTypeVarDbTest, KeysIgnoreTheLetterCaseOfTheFacility) {
    AddFacility(QStringLiteral("PLANT1"));
    target().addVariable(QStringLiteral("PLANT1"), {.varid = 1042, .varnum = 7, .name = "Flow"});
    CommonTypeVar store = Load(QStringLiteral("plant1"), {1042});
    std::shared_ptr<CommonTypeVarRec> r = store.GetVarRecord(QStringLiteral("Plant1"), 1042);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->gName(), "Flow");
    EXPECT_EQ(r->gFacilID(), "PLANT1");
    EXPECT_EQ(CommonTypeVar::RecordKey(QStringLiteral("plant1"), 1042), "PLANT1~1042");
    EXPECT_FALSE(store.GetVarRecord(QStringLiteral("PLANT2"), 1042));
}

TEST_P(CommonTypeVarDbTest, AnUnreachableFacilityContributesNoRecords) {
    AddFacility(QStringLiteral("PLANT1"));
    target().addVariable(QStringLiteral("PLANT1"), {.varid = 1, .varnum = 1});
    CommonVarGatherer gatherer;
    gatherer.ADHOCAddVariable(QStringLiteral("NOSUCH"), 1);
    gatherer.ADHOCAddVariable(QStringLiteral("PLANT1"), 1);
    CommonTypeVar store;
    EXPECT_TRUE(store.ReadVeskDRAQ(gatherer));
    EXPECT_FALSE(store.GetVarRecord(QStringLiteral("NOSUCH"), 1));
    EXPECT_TRUE(store.GetVarRecord(QStringLiteral("PLANT1"), 1));
}

TEST_P(CommonTypeVarDbTest, UnusableSettingsRaiseTheBoxAndLoadNothing) {
    AddFacility(QStringLiteral("PLANT1"));
    target().addVariable(QStringLiteral("PLANT1"), {.varid = 1, .varnum = 1});
    CollectorTest::SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER"), QStringLiteral("  "));
    CommonVarGatherer gatherer;
    gatherer.ADHOCAddVariable(QStringLiteral("PLANT1"), 1);
    CommonTypeVar store;
    EXPECT_TRUE(store.ReadVeskDRAQ(gatherer));
    EXPECT_FALSE(store.GetVarRecord(QStringLiteral("PLANT1"), 1));
    EXPECT_EQ(
        CollectorTest::CountLogMessage(QStringLiteral("PROMPT= Unable to init Vesk DRAQ Connection Manager")),
        1);
    EXPECT_EQ(CollectorTest::CountLogMessage(QStringLiteral("BUTTONS= 48")), 1) << "an exclamation box";
}

INSTANTIATE_TEST_SUITE_P(Engines, CommonTypeVarDbTest,
                         ::testing::Values(fixtures::Engine::SQLite, fixtures::Engine::PostgreSQL),
                         CollectorTest::EngineName);

} // namespace
