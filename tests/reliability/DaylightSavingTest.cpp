// Daylight-saving days, in a zone that has them (Europe/Berlin: 2024-03-31 02:00 jumps to 03:00,
// 2024-10-27 03:00 falls back to 02:00). The source keeps local wall-clock stamps, as plant
// historians do, and the collector's slots are wall-clock slots:
// - hourly variables have 24 slots stamped 00:00 to 23:00 on either day. On the spring-forward day
//   the 02:00 slot has no readings (that hour never happened) and gets no row; on the fall-back
//   day the 02:00 slot holds the readings of both passes through that hour (24 five-minute
//   readings, their average over the two hours).
// - a daily variable's slot is the calendar day: 23 hours of readings in spring, 25 in autumn.
// The whole scenario runs through the real import and is checked against the oracle and against
// a fixed table of those slots.
#include "CommonFiles/foundation/OleDate.h"
#include "tests/reliability/ImportOracle.h"
#include "tests/reliability/ImportScenario.h"
#include "tests/reliability/InProcessImport.h"
#include "tests/reliability/Isolated.h"
#include "tests/reliability/ScratchDir.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <vector>

namespace {

using reliability::ImportOracle;
using reliability::ImportScenario;

struct DstDay {
    const char* name;
    int year, month, day;
    int hourlyCountAt2; // readings of the hourly COUNT slot stamped 02:00 (0: no row)
    double averageAt2;  // hourly AVERAGE of the flow at 02:00
    int dailyReadings;  // five-minute readings in the calendar day
    int dailyDiff;      // the totaliser, one step per real quarter hour
};

const DstDay Days[] = {
    {"spring forward", 2024, 3, 31, 0, 0.0, 23 * 12, 23 * 4 - 1},
    {"fall back", 2024, 10, 27, 24, 15.0, 25 * 12, 25 * 4 - 1},
};

// Readings stamped with the local wall clock of each real five minutes: none in the hour that is
// skipped, two of each in the hour that repeats (the flow reads 20 on the second pass).
void loadWallClockReadings(ImportScenario& scenario, double day) {
    scenario.source().exec(QStringLiteral("DELETE FROM NW01_DATA"));
    std::vector<fixtures::Reading> flow, level, totaliser;
    struct tm start {};
    start.tm_year = OleDate::year(day) - 1900;
    start.tm_mon = OleDate::month(day) - 1;
    start.tm_mday = OleDate::day(day) - 2;
    start.tm_isdst = -1;
    const time_t from = mktime(&start);
    int quarter = 0;
    for (time_t t = from; t < from + 5 * 86400; t += 300) {
        struct tm local {};
        localtime_r(&t, &local);
        const double stamp = OleDate::fromParts(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                                local.tm_hour, local.tm_min, local.tm_sec);
        const bool secondPass =
            local.tm_isdst == 0 && local.tm_mon == 9 && local.tm_mday == 27 && local.tm_hour == 2;
        flow.push_back({stamp, secondPass ? 20.0 : 10.0, false});
        level.push_back({stamp, 1.0, false});
        if (local.tm_min % 15 == 0) totaliser.push_back({stamp, 1000.0 + quarter++, false});
    }
    scenario.source().addReadings(QStringLiteral("NW01_DATA"), 1, 101, flow);
    scenario.source().addReadings(QStringLiteral("NW01_DATA"), 1, 102, level);
    scenario.source().addReadings(QStringLiteral("NW01_DATA"), 1, 103, totaliser);
}

std::optional<double> valueAt(ImportScenario& scenario, const QString& facility, const QString& table,
                              int varid, const QString& column, double stamp) {
    const auto rows = scenario.target().query(
        facility, QStringLiteral("SELECT curvalue FROM %1 WHERE varid = ? AND %2 = ?").arg(table, column),
        {Variant(varid), Variant::fromDate(stamp)});
    if (rows.isEmpty()) return std::nullopt;
    return rows[0][0].toDouble();
}

// The body, in a child process whose local time zone is Europe/Berlin. Returns the problems.
int importDay(const DstDay& d) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    ScratchDir folder;
    const double day = OleDate::fromParts(d.year, d.month, d.day);
    const double lastRun = OleDate::addMinutes(day, -120); // 22:00 the evening before
    const double now = OleDate::addMinutes(OleDate::addDays(day, 1), 7 * 60);
    ImportScenario scenario(fixtures::DatabaseHost::sqliteFolder(folder.path()),
                            ImportScenario::datesFor(lastRun, now));
    loadWallClockReadings(scenario, day);
    ImportOracle oracle(scenario);
    reliability::InProcessImport import(scenario, now);
    int problems = 0;
    auto fail = [&](const QString& what) {
        std::fprintf(stderr, "%s: %s\n", d.name, what.toLocal8Bit().constData());
        ++problems;
    };
    if (import.run() != ImportOutcome::Succeeded) fail("the import did not succeed");
    const reliability::InvariantReport report = oracle.check(now);
    if (!report.ok()) fail(report.summary());

    const double at1 = OleDate::addMinutes(day, 60), at2 = OleDate::addMinutes(day, 120),
                 at3 = OleDate::addMinutes(day, 180);
    const auto count = [&](double stamp) {
        return valueAt(scenario, "PLANT2", "DATADDH", 2101, "slotstarttime", stamp);
    };
    if (count(at1) != 12.0) fail("01:00 does not hold 12 readings");
    if (count(at3) != 12.0) fail("03:00 does not hold 12 readings");
    if (d.hourlyCountAt2 == 0 && count(at2)) fail("a row for the hour that never happened");
    if (d.hourlyCountAt2 != 0 && count(at2) != double(d.hourlyCountAt2))
        fail(QStringLiteral("02:00 holds %1 readings").arg(count(at2).value_or(-1)));
    const auto average = valueAt(scenario, "PLANT1", "DATADDH", 1101, "slotstarttime", at2);
    if (d.hourlyCountAt2 != 0 && average != d.averageAt2)
        fail(QStringLiteral("02:00 average %1").arg(average.value_or(-1)));
    const auto total = valueAt(scenario, "PLANT1", "DATATBL", 1102, "datestamp", day);
    if (total != double(d.dailyReadings)) fail(QStringLiteral("daily total %1").arg(total.value_or(-1)));
    const auto diff = valueAt(scenario, "PLANT2", "DATATBL", 2103, "datestamp", day);
    if (diff != double(d.dailyDiff)) fail(QStringLiteral("daily difference %1").arg(diff.value_or(-1)));
    // 24 hourly slots of the day, whatever the length of the day.
    const auto hourRows = scenario.target().query(
        "PLANT2",
        "SELECT COUNT(*) FROM DATADDH WHERE varid = 2101 AND slotstarttime >= ? AND slotstarttime < ?",
        {Variant::fromDate(day), Variant::fromDate(OleDate::addDays(day, 1))});
    if (hourRows[0][0].toInt32() != (d.hourlyCountAt2 == 0 ? 23 : 24))
        fail(QStringLiteral("%1 hourly rows on the day").arg(hourRows[0][0].toInt32()));
    return problems;
}

TEST(DaylightSaving, SpringForwardAndFallBackDaysForHourlyAndDailyVariables) {
    reliability::InProcessImport::initProcess();
    for (const DstDay& d : Days) {
        const reliability::IsolatedResult r = reliability::runIsolated([&] { return importDay(d); });
        EXPECT_TRUE(r.exited) << d.name << ": ended by signal " << r.signal;
        EXPECT_EQ(r.exitCode, 0) << d.name << ": problems, see above";
    }
}

} // namespace
