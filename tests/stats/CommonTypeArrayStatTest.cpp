#include "CommonFiles/stats/CommonTypeArrayStat.h"

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "tests/support/TempDir.h"

#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

const double kBase = OleDate::fromParts(2026, 3, 1, 5, 0, 0);

double minuteAfterBase(int i) {
    return OleDate::addMinutes(kBase, i);
}

std::vector<Variant> nums(std::initializer_list<double> values) {
    std::vector<Variant> out;
    for (double v : values)
        out.emplace_back(v);
    return out;
}

std::string describe(const Variant& v) {
    static const char* const names[] = {"Empty", "Null", "Boolean", "Integer", "Double", "Date", "Text"};
    return std::string(names[static_cast<int>(v.type())]) + " '" + v.toText().toStdString() + "'";
}

// One slot's readings and the variable's settings. The filter values, when given, go with the
// readings position by position; an absent filter value is null.
struct StatCase {
    const char* name;
    std::vector<Variant> data;
    QString statistic;
    Variant expected;
    std::vector<Variant> filter = {};
    Variant filterTag = Variant();
    Variant filterOp = Variant();
    Variant filterValue = Variant();
    Variant lowRange = Variant::null();
    Variant highRange = Variant::null();
    Variant deadBand = Variant::null();
    bool text = false;
};

void configure(CommonTypeArrayStat& stat, const StatCase& c) {
    stat.Init();
    stat.setStartdate(kBase);
    stat.setEnddate(OleDate::addMinutes(kBase, 60));
    stat.setSourceTag(QStringLiteral("KQ:12:305"));
    stat.setSourceStatistic(c.statistic);
    stat.setFilterTag(c.filterTag);
    stat.setFilterOp(c.filterOp);
    stat.setFilterValue(c.filterValue);
    stat.setLowRangeFilter(c.lowRange);
    stat.setHighRangeFilter(c.highRange);
    stat.setDeadBand(c.deadBand);
}

void feed(CommonTypeArrayStat& stat, const StatCase& c) {
    for (std::size_t i = 0; i < c.data.size(); ++i) {
        const Variant filter = i < c.filter.size() ? c.filter[i] : Variant::null();
        ASSERT_TRUE(stat.AddRecord(minuteAfterBase(static_cast<int>(i)), c.data[i], filter));
    }
}

Variant run(const StatCase& c) {
    CommonTypeArrayStat stat;
    configure(stat, c);
    feed(stat, c);
    return c.text ? stat.ReturnStatTextValue() : stat.ReturnStatNumericValue();
}

const Variant kNull = Variant::null();
const Variant kTag = Variant("KQ:1:2");

const std::vector<StatCase> kCases = {
    // 5, 3, 3, 8 with no limit and no filter.
    {"Average", nums({5, 3, 3, 8}), "AVERAGE", Variant(4.75)},
    {"AverageLowerCaseName", nums({5, 3, 3, 8}), "average", Variant(4.75)},
    {"Total", nums({5, 3, 3, 8}), "TOTAL", Variant(19.0)},
    {"Minimum", nums({5, 3, 3, 8}), "MINIMUM", Variant(3.0)},
    {"Maximum", nums({5, 3, 3, 8}), "MAXIMUM", Variant(8.0)},
    {"First", nums({5, 3, 3, 8}), "FIRST", Variant(5.0)},
    {"Last", nums({5, 3, 3, 8}), "LAST", Variant(8.0)},
    {"Diff", nums({5, 3, 3, 8}), "DIFF", Variant(3.0)},
    {"Range", nums({5, 3, 3, 8}), "RANGE", Variant(5.0)},
    {"CountIsAnInteger", nums({5, 3, 3, 8}), "COUNT", Variant(4)},
    {"InventoryNullDeadBandCountsOnlyTheDrop", nums({5, 3, 3, 8}), "INVENTORY", Variant(3.0)},
    {.name = "InventoryDeadBandTwoIsNotExceeded",
     .data = nums({5, 3, 3, 8}),
     .statistic = "INVENTORY",
     .expected = Variant(0.0),
     .deadBand = Variant(2.0)},
    {.name = "InventoryDeadBandOneIsExceeded",
     .data = nums({5, 3, 3, 8}),
     .statistic = "INVENTORY",
     .expected = Variant(3.0),
     .deadBand = Variant(1.0)},
    {"InventoryAddsEveryDroppedToValue", nums({9, 4, 6, 1}), "INVENTORY", Variant(5.0)},
    {"TimeGtWithArgument", nums({5, 3, 3, 8}), "TIMEGT(4)", Variant(2.0)},
    {"TimeEqWithArgument", nums({5, 3, 3, 8}), "TIMEEQ(3)", Variant(2.0)},
    {"TimeLtWithoutArgumentComparesWithZero", nums({5, 3, 3, 8}), "TIMELT", Variant(0.0)},
    {"TimeLtWithoutArgumentCountsNegatives", nums({-1, 2, -3}), "TIMELT", Variant(2.0)},
    {"TimeGtWithoutArgumentCountsPositives", nums({5, 3, 3, 8}), "TIMEGT", Variant(4.0)},
    {"TimeGtFractionalArgument", nums({7, 7.5, 8}), "TIMEGT(7.5)", Variant(1.0)},
    {"TimeGtNonNumericArgumentIsZero", nums({-1, 2, 3}), "TIMEGT(X)", Variant(2.0)},
    // Range limits.
    {.name = "LowRangeDropsTheThrees",
     .data = nums({5, 3, 3, 8}),
     .statistic = "COUNT",
     .expected = Variant(2),
     .lowRange = Variant(4.0)},
    {.name = "LowRangeAverageOfTheRest",
     .data = nums({5, 3, 3, 8}),
     .statistic = "AVERAGE",
     .expected = Variant(6.5),
     .lowRange = Variant(4.0)},
    {.name = "LowRangeKeepsAValueAtTheLimit",
     .data = nums({5, 3, 3, 8}),
     .statistic = "COUNT",
     .expected = Variant(4),
     .lowRange = Variant(3.0)},
    {.name = "HighRangeDropsTheLargerValues",
     .data = nums({5, 3, 3, 8}),
     .statistic = "TOTAL",
     .expected = Variant(6.0),
     .highRange = Variant(4.0)},
    {.name = "LimitsAsNumericTexts",
     .data = nums({5, 3, 3, 8}),
     .statistic = "COUNT",
     .expected = Variant(2),
     .lowRange = Variant("4"),
     .highRange = Variant("8")},
    {.name = "EveryReadingOutsideTheLimitsIsNull",
     .data = nums({5, 3, 3, 8}),
     .statistic = "COUNT",
     .expected = kNull,
     .lowRange = Variant(10.0)},
    // Values that are not numbers.
    {"NonNumericDataDropped", {Variant(5.0), Variant("abc"), Variant(8.0)}, "COUNT", Variant(2)},
    {.name = "NonNumericDataDroppedWhateverTheLimits",
     .data = {Variant(5.0), Variant("abc"), Variant(8.0)},
     .statistic = "TOTAL",
     .expected = Variant(13.0),
     .lowRange = Variant(0.0),
     .highRange = Variant(100.0)},
    {"NullDataDropped", {Variant(5.0), kNull, Variant(8.0)}, "COUNT", Variant(2)},
    {"NumericTextDataCounts", {Variant("5"), Variant(" 7.5 "), Variant("")}, "TOTAL", Variant(12.5)},
    // Filter signal.
    {.name = "CyclesToAcceptsOnlyTheChangeToTheValue",
     .data = nums({10, 20, 30, 40, 50}),
     .statistic = "TOTAL",
     .expected = Variant(70.0),
     .filter = nums({0, 1, 1, 0, 1}),
     .filterTag = kTag,
     .filterOp = Variant("CYCLESTO"),
     .filterValue = Variant(1.0)},
    {.name = "CyclesToFirstValueCountsAsAChangeFromZero",
     .data = nums({10, 20, 30, 40}),
     .statistic = "TOTAL",
     .expected = Variant(50.0),
     .filter = nums({1, 1, 0, 1}),
     .filterTag = kTag,
     .filterOp = Variant("cyclesto"),
     .filterValue = Variant(1.0)},
    {.name = "CyclesToZeroNeverAcceptsTheFirstReading",
     .data = nums({10, 20, 30, 40}),
     .statistic = "TOTAL",
     .expected = Variant(30.0),
     .filter = nums({0, 1, 0, 0}),
     .filterTag = kTag,
     .filterOp = Variant("CYCLESTO"),
     .filterValue = Variant(0.0)},
    {.name = "CyclesToMissingPreviousCountsAsZero",
     .data = nums({10, 20, 30}),
     .statistic = "TOTAL",
     .expected = Variant(40.0),
     .filter = {Variant(1.0), kNull, Variant(1.0)},
     .filterTag = kTag,
     .filterOp = Variant("CYCLESTO"),
     .filterValue = Variant(1.0)},
    {.name = "MissingFilterValueDropsTheReading",
     .data = nums({10, 20, 30}),
     .statistic = "TOTAL",
     .expected = Variant(40.0),
     .filter = {Variant(1.0), kNull, Variant(1.0)},
     .filterTag = kTag,
     .filterOp = Variant("="),
     .filterValue = Variant(1.0)},
    {.name = "MissingFilterValueIsNotZero",
     .data = nums({10, 20}),
     .statistic = "TOTAL",
     .expected = Variant(10.0),
     .filter = {Variant(0.0), kNull},
     .filterTag = kTag,
     .filterOp = Variant("="),
     .filterValue = Variant(0.0)},
    {.name = "NonNumericFilterValueDropsTheReading",
     .data = nums({10, 20, 30}),
     .statistic = "TOTAL",
     .expected = Variant(10.0),
     .filter = {Variant(1.0), Variant("on"), Variant("")},
     .filterTag = kTag,
     .filterOp = Variant("="),
     .filterValue = Variant(1.0)},
    {.name = "FilterValuesIgnoredWithoutFilterTag",
     .data = nums({10, 20, 30}),
     .statistic = "TOTAL",
     .expected = Variant(60.0),
     .filter = {Variant(0.0), kNull, Variant(5.0)},
     .filterOp = Variant("="),
     .filterValue = Variant(1.0)},
    {.name = "OperatorEqual",
     .data = nums({1, 2, 3, 4}),
     .statistic = "TOTAL",
     .expected = Variant(2.0),
     .filter = nums({1, 2, 3, 4}),
     .filterTag = kTag,
     .filterOp = Variant("="),
     .filterValue = Variant("2")},
    {.name = "OperatorLess",
     .data = nums({1, 2, 3, 4}),
     .statistic = "TOTAL",
     .expected = Variant(1.0),
     .filter = nums({1, 2, 3, 4}),
     .filterTag = kTag,
     .filterOp = Variant("<"),
     .filterValue = Variant(2.0)},
    {.name = "OperatorLessOrEqual",
     .data = nums({1, 2, 3, 4}),
     .statistic = "TOTAL",
     .expected = Variant(3.0),
     .filter = nums({1, 2, 3, 4}),
     .filterTag = kTag,
     .filterOp = Variant("<="),
     .filterValue = Variant(2.0)},
    {.name = "OperatorGreater",
     .data = nums({1, 2, 3, 4}),
     .statistic = "TOTAL",
     .expected = Variant(7.0),
     .filter = nums({1, 2, 3, 4}),
     .filterTag = kTag,
     .filterOp = Variant(">"),
     .filterValue = Variant(2.0)},
    {.name = "OperatorGreaterOrEqual",
     .data = nums({1, 2, 3, 4}),
     .statistic = "TOTAL",
     .expected = Variant(9.0),
     .filter = nums({1, 2, 3, 4}),
     .filterTag = kTag,
     .filterOp = Variant(">="),
     .filterValue = Variant(2.0)},
    {.name = "OperatorNotEqual",
     .data = nums({1, 2, 3, 4}),
     .statistic = "TOTAL",
     .expected = Variant(8.0),
     .filter = nums({1, 2, 3, 4}),
     .filterTag = kTag,
     .filterOp = Variant("<>"),
     .filterValue = Variant(2.0)},
    {.name = "UnknownOperatorAcceptsNothing",
     .data = nums({1, 2, 3, 4}),
     .statistic = "TOTAL",
     .expected = kNull,
     .filter = nums({1, 2, 3, 4}),
     .filterTag = kTag,
     .filterOp = Variant("=="),
     .filterValue = Variant(2.0)},
    {.name = "NullComparisonValueAcceptsNothing",
     .data = nums({1, 2, 3, 4}),
     .statistic = "COUNT",
     .expected = kNull,
     .filter = nums({1, 2, 3, 4}),
     .filterTag = kTag,
     .filterOp = Variant("<>"),
     .filterValue = kNull},
    // Counter roll-over.
    {"DiffRollOverFourDigits", nums({9990, 15}), "DIFF", Variant(25.0)},
    {"DiffRollOverThreeDigits", nums({500, 20}), "DIFF", Variant(520.0)},
    {"DiffRollOverModulusAboveTheFirstValue", nums({200, 50}), "DIFF", Variant(850.0)},
    {"DiffNoRollOverWithNonPositiveFirst", nums({0, 20}), "DIFF", Variant(20.0)},
    {"UnsupportedStatisticIsNull", nums({5, 3}), "MEDIAN", kNull},
    // Text statistics.
    {.name = "TextMaxTimeIsTheFirstMaximum",
     .data = nums({2, 7, 7}),
     .statistic = "MAXTIME",
     .expected = Variant("03/01/2026 05:01:00"),
     .text = true},
    {.name = "TextMinTimeIsTheFirstMinimum",
     .data = nums({7, 2, 2, 9}),
     .statistic = "MINTIME",
     .expected = Variant("03/01/2026 05:01:00"),
     .text = true},
    {.name = "TextMaxTimeOfTheFirstWhenNothingIsLarger",
     .data = nums({9, 2, 7}),
     .statistic = "maxtime",
     .expected = Variant("03/01/2026 05:00:00"),
     .text = true},
    {.name = "TextFirst",
     .data = {Variant("abc"), Variant(2.5), Variant("xyz")},
     .statistic = "FIRST",
     .expected = Variant("abc"),
     .text = true},
    {.name = "TextLast",
     .data = {Variant("abc"), Variant(2.5), Variant("xyz")},
     .statistic = "LAST",
     .expected = Variant("xyz"),
     .text = true},
    {.name = "TextCountSkipsNullAndEmpty",
     .data = {Variant("abc"), kNull, Variant(""), Variant(2.5)},
     .statistic = "COUNT",
     .expected = Variant(2),
     .text = true},
    {.name = "TextMaxTimeStaysOnANonNumericFirstValue",
     .data = {Variant("abc"), Variant(2.0), Variant(7.0)},
     .statistic = "MAXTIME",
     .expected = Variant("03/01/2026 05:00:00"),
     .text = true},
    {.name = "TextFilterApplies",
     .data = {Variant("a"), Variant("b"), Variant("c")},
     .statistic = "LAST",
     .expected = Variant("b"),
     .filter = nums({1, 1, 0}),
     .filterTag = kTag,
     .filterOp = Variant("="),
     .filterValue = Variant(1.0),
     .text = true},
    {.name = "TextLowRangeAppliesToNumbersOnly",
     .data = {Variant(1.0), Variant("abc"), Variant(9.0)},
     .statistic = "COUNT",
     .expected = Variant(2),
     .lowRange = Variant(5.0),
     .text = true},
    {.name = "UnsupportedTextStatisticIsNull",
     .data = nums({2, 7}),
     .statistic = "AVERAGE",
     .expected = kNull,
     .text = true},
};

class StatisticCase : public testing::TestWithParam<StatCase> {};

TEST_P(StatisticCase, GivesTheExpectedValue) {
    const StatCase& c = GetParam();
    const Variant got = run(c);
    EXPECT_TRUE(got == c.expected) << "expected " << describe(c.expected) << ", got " << describe(got);
}

INSTANTIATE_TEST_SUITE_P(Statistics, StatisticCase, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<StatCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(CommonTypeArrayStat, NoReadingsGiveNullForEveryStatistic) {
    const char* const numeric[] = {"AVERAGE", "TOTAL",     "MINIMUM",   "MAXIMUM", "FIRST",
                                   "LAST",    "DIFF",      "RANGE",     "COUNT",   "TIMEGT",
                                   "TIMELT",  "TIMEEQ(3)", "INVENTORY", "MEDIAN"};
    const char* const text[] = {"FIRST", "LAST", "COUNT", "MAXTIME", "MINTIME"};
    for (const char* s : numeric) {
        SCOPED_TRACE(s);
        EXPECT_TRUE(run({.name = s, .data = {}, .statistic = s, .expected = kNull}).isNull());
        // A filter and limits change nothing when there is nothing to filter.
        EXPECT_TRUE(run({.name = s,
                         .data = {},
                         .statistic = s,
                         .expected = kNull,
                         .filterTag = kTag,
                         .filterOp = Variant("CYCLESTO"),
                         .filterValue = Variant(1.0),
                         .lowRange = Variant(0.0),
                         .highRange = Variant(10.0)})
                        .isNull());
    }
    for (const char* s : text) {
        SCOPED_TRACE(s);
        EXPECT_TRUE(run({.name = s, .data = {}, .statistic = s, .expected = kNull, .text = true}).isNull());
    }
}

// What cannot be turned into a number inside a pass is raised, so the reader gives the slot no
// value instead of a made-up one.
TEST(CommonTypeArrayStat, UnconvertibleSettingsRaise) {
    struct RaiseCase {
        const char* name;
        StatCase stat;
        int number;
    };
    const RaiseCase cases[] = {
        {"LowRangeText",
         {.name = "",
          .data = nums({5}),
          .statistic = "AVERAGE",
          .expected = kNull,
          .lowRange = Variant("low")},
         AppError::TypeMismatch},
        {"HighRangeText",
         {.name = "",
          .data = nums({5}),
          .statistic = "AVERAGE",
          .expected = kNull,
          .highRange = Variant("high")},
         AppError::TypeMismatch},
        {"FilterValueText",
         {.name = "",
          .data = nums({5}),
          .statistic = "AVERAGE",
          .expected = kNull,
          .filter = nums({1}),
          .filterTag = kTag,
          .filterOp = Variant(">"),
          .filterValue = Variant("one")},
         AppError::TypeMismatch},
        {"DeadBandTextOnADrop",
         {.name = "",
          .data = nums({5, 3}),
          .statistic = "INVENTORY",
          .expected = kNull,
          .deadBand = Variant("x")},
         AppError::TypeMismatch},
        {"DiffRollOverFromZero",
         {.name = "", .data = nums({0, -5}), .statistic = "DIFF", .expected = kNull},
         AppError::InvalidArgument},
        {"DiffRollOverFromNegative",
         {.name = "", .data = nums({-2, -5}), .statistic = "DIFF", .expected = kNull},
         AppError::InvalidArgument},
    };
    for (const RaiseCase& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            run(c.stat);
            ADD_FAILURE() << "no error raised";
        } catch (const AppError& e) {
            EXPECT_EQ(e.number(), c.number) << e.text().toStdString();
        }
    }
}

TEST(CommonTypeArrayStat, FilterValueKeptOnlyWhileAFilterTagIsSet) {
    CommonTypeArrayStat stat;
    stat.setSourceStatistic(QStringLiteral("COUNT"));
    stat.setFilterOp(Variant("="));
    stat.setFilterValue(Variant(1.0));
    ASSERT_TRUE(stat.AddRecord(kBase, Variant(5.0), Variant(1.0)));
    stat.setFilterTag(kTag);
    ASSERT_TRUE(stat.AddRecord(minuteAfterBase(1), Variant(6.0), Variant(1.0)));
    // The first reading was added without a filter tag, so it carries no filter value.
    EXPECT_TRUE(stat.ReturnStatNumericValue() == Variant(1));
}

TEST(CommonTypeArrayStat, AskingTwiceGivesTheSameValue) {
    CommonTypeArrayStat stat;
    stat.setSourceStatistic(QStringLiteral("TOTAL"));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(stat.AddRecord(minuteAfterBase(i), Variant(2.0), Variant::null()));
    EXPECT_TRUE(stat.ReturnStatNumericValue() == Variant(6.0));
    EXPECT_TRUE(stat.ReturnStatNumericValue() == Variant(6.0));
    stat.setSourceStatistic(QStringLiteral("COUNT"));
    EXPECT_TRUE(stat.ReturnStatTextValue() == Variant(3));
    EXPECT_TRUE(stat.ReturnStatTextValue() == Variant(3));
    EXPECT_TRUE(stat.ReturnStatNumericValue() == Variant(3));
}

TEST(CommonTypeArrayStat, InitEmptiesTheReadingsAndKeepsTheSettings) {
    CommonTypeArrayStat stat;
    stat.setSourceStatistic(QStringLiteral("TOTAL"));
    stat.setLowRangeFilter(Variant(4.0));
    for (double v : {5.0, 6.0, 1.0})
        ASSERT_TRUE(stat.AddRecord(kBase, Variant(v), Variant::null()));
    EXPECT_TRUE(stat.ReturnStatNumericValue() == Variant(11.0));
    stat.Init();
    EXPECT_TRUE(stat.ReturnStatNumericValue().isNull());
    for (double v : {3.0, 7.0})
        ASSERT_TRUE(stat.AddRecord(kBase, Variant(v), Variant::null()));
    EXPECT_TRUE(stat.ReturnStatNumericValue() == Variant(7.0));
}

TEST(CommonTypeArrayStat, TimeStampsCarriedAsValues) {
    struct StampCase {
        const char* name;
        Variant stamp;
        const char* expected;
    };
    const StampCase cases[] = {
        {"Date", Variant::fromDate(minuteAfterBase(5)), "03/01/2026 05:05:00"},
        {"DayCount", Variant(minuteAfterBase(5)), "03/01/2026 05:05:00"},
        {"DateText", Variant("2026-03-01 05:05:00"), "03/01/2026 05:05:00"},
        {"NullIsTheZeroDate", Variant::null(), "12/30/1899 00:00:00"},
        {"NonDateTextIsTheZeroDate", Variant("soon"), "12/30/1899 00:00:00"},
    };
    for (const StampCase& c : cases) {
        SCOPED_TRACE(c.name);
        CommonTypeArrayStat stat;
        stat.setSourceStatistic(QStringLiteral("MAXTIME"));
        ASSERT_TRUE(stat.AddRecord(c.stamp, Variant(1.0), Variant::null()));
        EXPECT_EQ(stat.ReturnStatTextValue().toText().toStdString(), c.expected);
    }
}

TEST(CommonTypeArrayStat, ManyReadingsInOneSlot) {
    CommonTypeArrayStat stat;
    stat.setSourceStatistic(QStringLiteral("COUNT"));
    for (int round = 0; round < 2; ++round) {
        stat.Init();
        for (int i = 0; i < 20000; ++i)
            ASSERT_TRUE(
                stat.AddRecord(OleDate::addSeconds(kBase, i), Variant(double(i % 7)), Variant::null()));
        EXPECT_TRUE(stat.ReturnStatNumericValue() == Variant(20000));
    }
    stat.setSourceStatistic(QStringLiteral("TIMEEQ(6)"));
    EXPECT_TRUE(stat.ReturnStatNumericValue() == Variant(double(20000 / 7)));
}

// The statistics trace, read back from a real log file.
struct TraceLine {
    int level;
    QString text;
};

struct TraceScenario {
    const char* name;
    std::function<void(CommonTypeArrayStat&)> act;
    std::vector<TraceLine> lines;
};

std::vector<TraceScenario> traceScenarios() {
    const QString t = QStringLiteral("\t");
    return {
        {"NumericWithFilter",
         [](CommonTypeArrayStat& s) {
             s.setStartdate(kBase);
             s.setEnddate(OleDate::addMinutes(kBase, 60));
             s.setSourceTag(QStringLiteral("KQ:12:305"));
             s.setSourceStatistic(QStringLiteral("average"));
             s.setFilterTag(kTag);
             s.setFilterOp(Variant("="));
             s.setFilterValue(Variant(1.0));
             s.setHighRangeFilter(Variant(100.0));
             s.AddRecord(kBase, Variant(5.0), Variant(1.0));
             s.AddRecord(minuteAfterBase(1), Variant(3.0), Variant(1.0));
             s.ReturnStatNumericValue();
         },
         {
             {8, "Adding element to array"},
             {8, "Elements added to array: 03/01/2026 05:00:00, 5, 1"},
             {8, "Data Array now has: 1 element(s)"},
             {8, "Adding element to array"},
             {8, "Elements added to array: 03/01/2026 05:01:00, 3, 1"},
             {8, "Data Array now has: 2 element(s)"},
             {7, "Begin parsing cached array"},
             {8, "Current value from array: 5"},
             {9, "Last known running totals:"},
             {9, "1. -- Sum: 5, Number of Samples: 1"},
             {9, "2. -- First: 5, Last: 5"},
             {9, "3. -- Max: 5, Min: 5"},
             {8, "Current value from array: 3"},
             {9, "Last known running totals:"},
             {9, "1. -- Sum: 8, Number of Samples: 2"},
             {9, "2. -- First: 5, Last: 3"},
             {9, "3. -- Max: 5, Min: 3"},
             {7, "1. VesDRAQ Parameters submitted:"},
             {7, "2. -- Start Date: 03/01/2026 05:00:00, End Date: 03/01/2026 06:00:00"},
             {7, "3. -- Source tag: KQ:12:305, Source statistic: AVERAGE"},
             {7, "4. -- Filter Data tag: KQ:1:2, Filter Operator: =, Filter value: 1"},
             {7, "5. -- Filter High Range: 100, Low Range: , Deadband: "},
             {7, "Last known running totals:"},
             {7, "1. -- Sum: 8, Number of Samples: 2"},
             {7, "2. -- First: 5, Last: 3"},
             {7, "3. -- Max: 5, Min: 3"},
             {7, "Array:"},
             {7, "1" + t + " Date/time: " + t + "03/01/2026 05:00:00" + t + ", Source Value: " + t + "5" + t +
                     ", Filter Value: " + t + "1"},
             {7, "2" + t + " Date/time: " + t + "03/01/2026 05:01:00" + t + ", Source Value: " + t + "3" + t +
                     ", Filter Value: " + t + "1"},
             {7, "3" + t + " Date/time: " + t + "12/30/1899" + t + ", Source Value: " + t + t +
                     ", Filter Value: " + t},
             {8, "Getting value for stat: AVERAGE for 2 number of samples."},
             {8, "Value to return is: 4"},
             {7, "Value to return: 4"},
         }},
        {"NumericWithoutReadings",
         [](CommonTypeArrayStat& s) {
             s.setStartdate(kBase);
             s.setEnddate(OleDate::addMinutes(kBase, 15));
             s.setSourceTag(QStringLiteral("KQ:12:305"));
             s.setSourceStatistic(QStringLiteral("COUNT"));
             s.setDeadBand(Variant(2.5));
             s.ReturnStatNumericValue();
         },
         {
             {7, "Begin parsing cached array"},
             {7, "1. VesDRAQ Parameters submitted:"},
             {7, "2. -- Start Date: 03/01/2026 05:00:00, End Date: 03/01/2026 05:15:00"},
             {7, "3. -- Source tag: KQ:12:305, Source statistic: COUNT"},
             {7, "4. -- Filter Data tag: , Filter Operator: , Filter value: "},
             {7, "5. -- Filter High Range: , Low Range: , Deadband: 2.5"},
             {7, "Last known running totals:"},
             {7, "1. -- Sum: 0, Number of Samples: 0"},
             {7, "2. -- First: 0, Last: 0"},
             {7, "3. -- Max: 0, Min: 0"},
             {7, "Array:"},
             {7, "1. No values loaded into array"},
             {8, "Getting value for stat: COUNT for 0 number of samples."},
             {8, "Value to return is: "},
             {7, "Value to return: "},
         }},
        {"UnsupportedNumericStatistic",
         [](CommonTypeArrayStat& s) {
             s.setSourceStatistic(QStringLiteral("median"));
             s.AddRecord(kBase, Variant(5.0), Variant::null());
             s.ReturnStatNumericValue();
         },
         {
             {8, "Adding element to array"},
             {8, "Elements added to array: 03/01/2026 05:00:00, 5, "},
             {8, "Data Array now has: 1 element(s)"},
             {7, "Begin parsing cached array"},
             {8, "Current value from array: 5"},
             {9, "Last known running totals:"},
             {9, "1. -- Sum: 5, Number of Samples: 1"},
             {9, "2. -- First: 5, Last: 5"},
             {9, "3. -- Max: 5, Min: 5"},
             {7, "1. VesDRAQ Parameters submitted:"},
             {7, "2. -- Start Date: 12/30/1899, End Date: 12/30/1899"},
             {7, "3. -- Source tag: , Source statistic: MEDIAN"},
             {7, "4. -- Filter Data tag: , Filter Operator: , Filter value: "},
             {7, "5. -- Filter High Range: , Low Range: , Deadband: "},
             {7, "Last known running totals:"},
             {7, "1. -- Sum: 5, Number of Samples: 1"},
             {7, "2. -- First: 5, Last: 5"},
             {7, "3. -- Max: 5, Min: 5"},
             {7, "Array:"},
             {7, "1" + t + " Date/time: " + t + "03/01/2026 05:00:00" + t + ", Source Value: " + t + "5"},
             {7, "2" + t + " Date/time: " + t + "12/30/1899" + t + ", Source Value: " + t},
             {8, "Getting value for stat: MEDIAN for 1 number of samples."},
             {1, "Statistic not supported: MEDIAN"},
             {8, "Value to return is: "},
             {7, "Value to return: "},
         }},
        {"TextMaxTime",
         [](CommonTypeArrayStat& s) {
             s.setSourceStatistic(QStringLiteral("MAXTIME"));
             s.AddRecord(kBase, Variant(2.0), Variant(1.0));
             s.AddRecord(minuteAfterBase(1), Variant(7.0), Variant::null());
             s.ReturnStatTextValue();
         },
         {
             {8, "Adding element to array"},
             {8, "Elements added to array: 03/01/2026 05:00:00, 2, "},
             {8, "Data Array now has: 1 element(s)"},
             {8, "Adding element to array"},
             {8, "Elements added to array: 03/01/2026 05:01:00, 7, "},
             {8, "Data Array now has: 2 element(s)"},
             {7, "Begin parsing cached array"},
             {8, "Current value from array: 2, date: 03/01/2026 05:00:00"},
             {8, "Current value from array: 7, date: 03/01/2026 05:01:00"},
             {8, "Getting value for stat: MAXTIME for 2 number of samples."},
             {8, "WhatTextValue to return is: 03/01/2026 05:01:00"},
             {7, "Value to return: 03/01/2026 05:01:00"},
         }},
        {"UnsupportedTextStatistic",
         [](CommonTypeArrayStat& s) {
             s.setSourceStatistic(QStringLiteral("total"));
             s.AddRecord(kBase, Variant("abc"), Variant::null());
             s.ReturnStatTextValue();
         },
         {
             {8, "Adding element to array"},
             {8, "Elements added to array: 03/01/2026 05:00:00, abc, "},
             {8, "Data Array now has: 1 element(s)"},
             {7, "Begin parsing cached array"},
             {8, "Current value from array: abc, date: 03/01/2026 05:00:00"},
             {8, "Getting value for stat: TOTAL for 1 number of samples."},
             {0, "Unsupported Text Statistic TOTAL"},
             {8, "WhatTextValue to return is: "},
             {7, "Value to return: "},
         }},
    };
}

class StatisticsTrace : public testing::Test {
protected:
    void SetUp() override {
        QTXLoggerTXT& log = AppLog();
        log.closeLog();
        log.setLogPath(dir_.path());
        log.setPrefix(QString());
        log.setPostfix(QStringLiteral("_stats"));
        log.setBufferLength(1);
        log.setEnabled(true);
    }
    void TearDown() override {
        AppLog().closeLog();
        AppLog().setEnabled(false);
        AppLog().setVerbosity(0);
    }

    // The messages written since the log was opened, without their time stamps.
    static QStringList messages() {
        const QString name = AppLog().currentFileName();
        AppLog().closeLog();
        QStringList out;
        if (name.isEmpty()) return out;
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "cannot read " << name.toStdString();
            return out;
        }
        const QString content = QString::fromUtf8(file.readAll());
        file.close();
        // Files opened within the same second share a name, and the log appends.
        QFile::remove(name);
        QStringList lines = content.split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        for (const QString& line : lines) {
            EXPECT_EQ(line.mid(8, 3).toStdString(), " : ") << line.toStdString();
            out << line.mid(11);
        }
        return out;
    }

    TempDir dir_;
};

TEST_F(StatisticsTrace, LinesAppearWithTheirTextsUpToTheVerbosity) {
    for (const TraceScenario& scenario : traceScenarios()) {
        for (int verbosity : {0, 1, 6, 7, 8, 9}) {
            SCOPED_TRACE(std::string(scenario.name) + " at verbosity " + std::to_string(verbosity));
            AppLog().setVerbosity(static_cast<std::int16_t>(verbosity));
            CommonTypeArrayStat stat;
            scenario.act(stat);
            QStringList expected;
            for (const TraceLine& line : scenario.lines)
                if (line.level <= verbosity) expected << line.text;
            const QStringList got = messages();
            EXPECT_EQ(got.join('\n').toStdString(), expected.join('\n').toStdString());
        }
    }
}

} // namespace
