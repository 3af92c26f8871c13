#include "CommonFiles/service/ScheduleSettings.h"

#include "tests/service/ServiceTestSupport.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

ScheduleSettings daily(double hour, double minute) {
    ScheduleSettings s;
    s.dailyHour = hour;
    s.dailyMinute = minute;
    return s;
}
ScheduleSettings hourly(double minute) {
    ScheduleSettings s;
    s.hourly = true;
    s.hourlyMinute = minute;
    return s;
}
ScheduleSettings minutely(double minutes) {
    ScheduleSettings s;
    s.minutely = true;
    s.minutelyMinute = minutes;
    return s;
}

struct NextWakeUpCase {
    const char* name;
    ScheduleSettings settings;
    double now;
    bool initial;
    double expected;
};
void PrintTo(const NextWakeUpCase& c, std::ostream* os) {
    *os << c.name;
}

class NextWakeUp : public ::testing::TestWithParam<NextWakeUpCase> {};

TEST_P(NextWakeUp, FollowsTheScheduleInForce) {
    const NextWakeUpCase& c = GetParam();
    EXPECT_EQ(OleDate::toMmDdYyyyHhNnSs(ComputeNextWakeUp(c.settings, c.now, c.initial)),
              OleDate::toMmDdYyyyHhNnSs(c.expected));
    EXPECT_EQ(OleDate::toMs(ComputeNextWakeUp(c.settings, c.now, c.initial)), OleDate::toMs(c.expected));
}

ScheduleSettings both() {
    ScheduleSettings s = hourly(30);
    s.minutely = true;
    s.minutelyMinute = 10;
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Schedules, NextWakeUp,
    ::testing::Values(
        NextWakeUpCase{"DailyDefaultsAtLoadIsTodayInThePast", daily(0, 1), at(10, 0), true, at(0, 1)},
        NextWakeUpCase{"DailyDefaultsAfterARunIsTomorrow", daily(0, 1), at(10, 0), false, at(0, 1, 0, 0, 1)},
        NextWakeUpCase{"DailyJustAfterMidnightIsStillAhead", daily(0, 1), at(0, 0, 30), true, at(0, 1)},
        NextWakeUpCase{"HourlyAtLoadIsThisHour", hourly(30), at(10, 5), true, at(10, 30)},
        NextWakeUpCase{"HourlyAfterARunIsNextHour", hourly(30), at(10, 30), false, at(11, 30)},
        NextWakeUpCase{"HourlyLateTickSkipsTheMissedHour", hourly(30), at(12, 11), false, at(13, 30)},
        NextWakeUpCase{"HourlyLastHourCrossesMidnight", hourly(30), at(23, 40), false, at(0, 30, 0, 0, 1)},
        NextWakeUpCase{"BothYesMeansHourly", both(), at(10, 5), true, at(10, 30)},
        NextWakeUpCase{"MinutelyAtLoadIsNow", minutely(10), at(10, 0, 20), true, at(10, 0, 20)},
        NextWakeUpCase{"MinutelyAfterARunAddsTheMinutes", minutely(10), at(10, 0, 20), false, at(10, 10, 20)},
        NextWakeUpCase{"MinutelyZeroIsTheTickItself", minutely(0), at(10, 7, 20), false, at(10, 7, 20)},
        NextWakeUpCase{"DailyHourAndMinuteAreNotRangeChecked", daily(25, 75), at(10, 0), true,
                       at(2, 15, 0, 0, 1)},
        NextWakeUpCase{"HourlyMinuteBeyondTheHourIsNotRangeChecked", hourly(75), at(10, 5), true, at(11, 15)},
        NextWakeUpCase{"FractionalMinutesKeepTheirSeconds", minutely(1.5), at(10, 0), false, at(10, 1, 30)},
        NextWakeUpCase{"MillisecondsOfTheTickAreKept", minutely(10), at(10, 0, 0, 999), false,
                       at(10, 10, 0, 999)}),
    [](const auto& info) { return std::string(info.param.name); });

struct DueCase {
    const char* name;
    double next;
    double now;
    bool due;
};
void PrintTo(const DueCase& c, std::ostream* os) {
    *os << c.name;
}

class Due : public ::testing::TestWithParam<DueCase> {};

TEST_P(Due, IsReachedAtOrAfterTheWakeUp) {
    EXPECT_EQ(IsDue(GetParam().next, GetParam().now), GetParam().due);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, Due,
    ::testing::Values(DueCase{"OneMillisecondEarly", at(0, 1), at(0, 0, 59, 999), false},
                      DueCase{"ExactlyAtTheWakeUp", at(0, 1), at(0, 1), true},
                      // The same instant reached by a double sum must not be a millisecond short.
                      DueCase{"ExactlyAtTheWakeUpReachedBySums", at(0, 1), at(0, 0) + 1.0 / 1440.0, true},
                      DueCase{"Later", at(0, 1), at(12, 0), true},
                      DueCase{"YesterdaysWakeUp", at(0, 1, 0, 0, -1), at(0, 0, 30), true},
                      DueCase{"TomorrowsWakeUp", at(0, 1, 0, 0, 1), at(23, 59, 59), false}),
    [](const auto& info) { return std::string(info.param.name); });

struct ReadCase {
    const char* name;
    Settings settings;
    bool hourly;
    bool minutely;
    double hourlyMinute;
    double minutelyMinute;
    double dailyHour;
    double dailyMinute;
    QStringList warnings;
};
void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadSettings : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReadSettings, TakesTheKeysOfTheScheduleInForce) {
    const ReadCase& c = GetParam();
    ServiceFolder folder(c.settings);
    QStringList warnings;
    const ScheduleSettings s = ReadScheduleSettings(folder.config, &warnings);
    EXPECT_EQ(s.hourly, c.hourly);
    EXPECT_EQ(s.minutely, c.minutely);
    EXPECT_DOUBLE_EQ(s.hourlyMinute, c.hourlyMinute);
    EXPECT_DOUBLE_EQ(s.minutelyMinute, c.minutelyMinute);
    EXPECT_DOUBLE_EQ(s.dailyHour, c.dailyHour);
    EXPECT_DOUBLE_EQ(s.dailyMinute, c.dailyMinute);
    EXPECT_EQ(warnings, c.warnings);
}

const char* kHourly = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\HOURLY";
const char* kHourlyMinute = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\HOURLY_MINUTE";
const char* kMinutely = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\MINUTELY";
const char* kMinutelyMinute = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\MINUTELY_MINUTE";
const char* kDaily = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY";
const char* kDailyHour = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY_HOUR";
const char* kDailyMinute = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY_MINUTE";

INSTANTIATE_TEST_SUITE_P(
    Keys, ReadSettings,
    ::testing::Values(
        ReadCase{"DefaultsAreDailyAtOneMinutePastMidnight", {}, false, false, 1, 10, 0, 1, {}},
        ReadCase{"DailyNoStillMeansDaily",
                 {{kDaily, "NO"}, {kDailyHour, "6"}, {kDailyMinute, "15"}},
                 false,
                 false,
                 1,
                 10,
                 6,
                 15,
                 {}},
        ReadCase{"HourlyYes", {{kHourly, "YES"}, {kHourlyMinute, "30"}}, true, false, 30, 10, 0, 1, {}},
        ReadCase{"YesIsCaseSensitive", {{kHourly, "yes"}, {kMinutely, "Yes"}}, false, false, 1, 10, 0, 1, {}},
        ReadCase{"BothYes",
                 {{kHourly, "YES"}, {kMinutely, "YES"}, {kMinutelyMinute, "5"}},
                 true,
                 true,
                 1,
                 10,
                 0,
                 1,
                 {}},
        ReadCase{
            "MinutelyYes", {{kMinutely, "YES"}, {kMinutelyMinute, " 15 "}}, false, true, 1, 15, 0, 1, {}},
        ReadCase{
            "DecimalNumbers", {{kMinutely, "YES"}, {kMinutelyMinute, "2.5"}}, false, true, 1, 2.5, 0, 1, {}},
        ReadCase{
            "TextInTheKeyInForceIsZeroWithAWarning",
            {{kHourly, "YES"}, {kHourlyMinute, "half past"}},
            true,
            false,
            0,
            10,
            0,
            1,
            {"Schedule setting OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\HOURLY_MINUTE = \"half past\" is not a "
             "usable number; 0 is used."}},
        ReadCase{
            "EmptyAndHugeDailyNumbersAreZeroWithWarnings",
            {{kDailyHour, ""}, {kDailyMinute, "1e300"}},
            false,
            false,
            1,
            10,
            0,
            0,
            {"Schedule setting OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY_HOUR = \"\" is not a usable "
             "number; 0 "
             "is used.",
             "Schedule setting OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY_MINUTE = \"1e300\" is not a usable "
             "number; 0 is used."}},
        ReadCase{"TextInAnUnusedKeyIsNotReported",
                 {{kHourlyMinute, "soon"}, {kMinutelyMinute, "often"}},
                 false,
                 false,
                 1,
                 10,
                 0,
                 1,
                 {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct VerbosityCase {
    const char* name;
    const char* text;
    int current;
    int expected;
    bool warned;
};
void PrintTo(const VerbosityCase& c, std::ostream* os) {
    *os << c.name;
}

class Verbosity : public ::testing::TestWithParam<VerbosityCase> {};

TEST_P(Verbosity, IsTheNumberWithinZeroToNineOrStaysAsItWas) {
    const VerbosityCase& c = GetParam();
    QStringList warnings;
    EXPECT_EQ(WakeUpVerbosity(QString::fromUtf8(c.text), c.current, &warnings), c.expected);
    EXPECT_EQ(warnings.size(), c.warned ? 1 : 0);
    if (c.warned) {
        EXPECT_EQ(warnings.front(), QStringLiteral("OPTIONS\\LOG_VERBOSITY = \"") + c.text +
                                        QStringLiteral("\" is not a number; the log verbosity stays ") +
                                        QString::number(c.current) + ".");
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, Verbosity,
                         ::testing::Values(VerbosityCase{"Number", "3", 0, 3, false},
                                           VerbosityCase{"Zero", "0", 5, 0, false},
                                           VerbosityCase{"HalfRoundsToEven", "2.5", 0, 2, false},
                                           VerbosityCase{"AboveNineIsNine", "12", 1, 9, false},
                                           VerbosityCase{"NegativeIsZero", "-4", 3, 0, false},
                                           VerbosityCase{"TextKeepsTheCurrent", "loud", 4, 4, true},
                                           VerbosityCase{"EmptyKeepsTheCurrent", "", 2, 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
