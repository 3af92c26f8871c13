#include "CommonFiles/service/CommonNTSERVICE.h"

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/QTXTimer.h"
#include "tests/service/ServiceTestSupport.h"
#include "tests/support/FakeClock.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <gtest/gtest.h>

#include <ostream>

#include <functional>
#include <stdexcept>
#include <vector>

namespace {

const char* kHourly = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\HOURLY";
const char* kHourlyMinute = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\HOURLY_MINUTE";
const char* kMinutely = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\MINUTELY";
const char* kMinutelyMinute = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\MINUTELY_MINUTE";
const char* kDaily = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY";
const char* kDailyHour = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY_HOUR";
const char* kDailyMinute = "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY_MINUTE";
const char* kVerbosity = "OPTIONS\\LOG_VERBOSITY";

const QString kImportLine = QStringLiteral("Import started.");

// Ticks one minute apart, as the minute timer delivers them, starting one minute after `from`.
std::vector<double> everyMinute(double from, int count) {
    std::vector<double> out;
    for (int i = 1; i <= count; ++i)
        out.push_back(OleDate::addMinutes(from, i));
    return out;
}

std::vector<double> concat(std::vector<double> a, const std::vector<double>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The service as start-up runs it, over a real folder; the injected import records the clock and
// logs a line, so the log shows where each import ran relative to the sleep lines.
class RunningService {
public:
    RunningService(double start, const Settings& settings)
        : clock(start), folder(settings), service([this] { import(); }, folder.config, folder.log) {}

    void tick(double when) {
        ASSERT_TRUE(service.MyMinuteTimer()->Enabled()) << "a disabled timer delivers no tick";
        clock.set(when);
        TimerCallback(*service.MyMinuteTimer());
    }

    void import() {
        imports.push_back(clock.now());
        folder.log.WriteLog(kImportLine, 0);
        if (during) during(imports.size());
        folder.log.WriteLog(QStringLiteral("Import was successful."), 0);
    }

    // Import and sleep lines only, in log order.
    QStringList importAndSleepLines() const {
        QStringList out;
        for (const QString& m : folder.messages())
            if (m == kImportLine || m.startsWith(kSleepLine))
                out.append(m == kImportLine ? m : QStringLiteral("sleep"));
        return out;
    }

    FakeClock clock;
    ServiceFolder folder;
    std::vector<double> imports;
    std::function<void(std::size_t)> during; // runs inside the import, with its 1-based number
    CommonNTSERVICE service;
};

struct ScheduleCase {
    const char* name;
    Settings settings;
    double start;
    std::vector<double> ticks;
    std::vector<double> imports;
    std::vector<double> wakeUps;
    QString warning; // a line the log must hold, when not empty
};
void PrintTo(const ScheduleCase& c, std::ostream* os) {
    *os << c.name;
}

class Schedule : public ::testing::TestWithParam<ScheduleCase> {};

TEST_P(Schedule, ImportsRunWhenDueAndTheLogNamesTheNextWakeUp) {
    const ScheduleCase& c = GetParam();
    RunningService run(c.start, c.settings);
    run.service.RunNTService();
    for (double t : c.ticks)
        run.tick(t);

    EXPECT_EQ(formatted(run.imports), formatted(c.imports));
    EXPECT_EQ(run.folder.wakeUpLines(), formatted(c.wakeUps));
    QStringList expectedOrder;
    for (std::size_t i = 0; i < c.imports.size(); ++i)
        expectedOrder << kImportLine << QStringLiteral("sleep");
    EXPECT_EQ(run.importAndSleepLines(), expectedOrder) << "each sleep line follows its import";
    if (!c.warning.isEmpty()) {
        EXPECT_TRUE(run.folder.messages().contains(c.warning)) << c.warning.toStdString();
    }
    EXPECT_FALSE(run.service.InWakeUp());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Schedule,
    ::testing::Values(
        ScheduleCase{"DefaultsStartedAtTenRunAtOnceAndNextAtOneMinutePastMidnight",
                     {},
                     at(10, 0),
                     everyMinute(at(10, 0), 5),
                     {at(10, 0)},
                     {at(0, 1, 0, 0, 1)},
                     {}},
        ScheduleCase{"DefaultsStartedJustAfterMidnightWaitForOneMinutePast",
                     {},
                     at(0, 0, 30),
                     {at(0, 0, 45), at(0, 0, 59, 999), at(0, 1), at(0, 2), at(0, 3)},
                     {at(0, 1)},
                     {at(0, 1, 0, 0, 1)},
                     {}},
        ScheduleCase{"HourlyAtHalfPastStartedAtFiveAfter",
                     {{kHourly, "YES"}, {kHourlyMinute, "30"}},
                     at(10, 5),
                     everyMinute(at(10, 5), 90),
                     {at(10, 30), at(11, 30)},
                     {at(11, 30), at(12, 30)},
                     {}},
        ScheduleCase{"HourlyAndMinutelyBothYesIsHourly",
                     {{kHourly, "YES"}, {kHourlyMinute, "30"}, {kMinutely, "YES"}, {kMinutelyMinute, "10"}},
                     at(10, 5),
                     everyMinute(at(10, 5), 30),
                     {at(10, 30)},
                     {at(11, 30)},
                     {}},
        ScheduleCase{
            "AllNoIncludingDailyIsStillDaily",
            {{kHourly, "NO"}, {kMinutely, "NO"}, {kDaily, "NO"}, {kDailyHour, "6"}, {kDailyMinute, "15"}},
            at(5, 0),
            everyMinute(at(5, 0), 90),
            {at(6, 15)},
            {at(6, 15, 0, 0, 1)},
            {}},
        ScheduleCase{"EveryTenMinutesFromTheTickThatRan",
                     {{kMinutely, "YES"}, {kMinutelyMinute, "10"}},
                     at(10, 0, 20),
                     everyMinute(at(10, 0, 20), 25),
                     {at(10, 0, 20), at(10, 10, 20), at(10, 20, 20)},
                     {at(10, 10, 20), at(10, 20, 20), at(10, 30, 20)},
                     {}},
        ScheduleCase{"EveryZeroMinutesRunsAtEveryTick",
                     {{kMinutely, "YES"}, {kMinutelyMinute, "0"}},
                     at(10, 0),
                     everyMinute(at(10, 0), 3),
                     {at(10, 0), at(10, 1), at(10, 2), at(10, 3)},
                     {at(10, 0), at(10, 1), at(10, 2), at(10, 3)},
                     {}},
        ScheduleCase{"LateTickRunsAndMovesOnFromItsOwnHour",
                     {{kHourly, "YES"}, {kHourlyMinute, "30"}},
                     at(10, 5),
                     concat(everyMinute(at(10, 5), 25), {at(12, 11), at(12, 30), at(13, 29), at(13, 30)}),
                     {at(10, 30), at(12, 11), at(13, 30)},
                     {at(11, 30), at(13, 30), at(14, 30)},
                     {}},
        // 25 h 75 min is 26 h 15 min past midnight: 02:15 tomorrow. The run at 02:15 on the 11th
        // then computes from the 11th's midnight, plus the day added after a run: the 13th.
        ScheduleCase{"OutOfRangeHourAndMinuteAddUp",
                     {{kDailyHour, "25"}, {kDailyMinute, "75"}},
                     at(10, 0),
                     concat(everyMinute(at(10, 0), 3), {at(2, 14, 0, 0, 1), at(2, 15, 0, 0, 1)}),
                     {at(2, 15, 0, 0, 1)},
                     {at(2, 15, 0, 0, 3)},
                     {}},
        ScheduleCase{
            "NonNumericHourlyMinuteIsZeroAndLogged",
            {{kHourly, "YES"}, {kHourlyMinute, "half past"}},
            at(10, 5),
            everyMinute(at(10, 5), 60),
            {at(10, 5), at(11, 0)},
            {at(11, 0), at(12, 0)},
            "Schedule setting OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\HOURLY_MINUTE = \"half past\" is not a "
            "usable number; 0 is used."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommonNTSERVICE, RunNTServiceSetsUpTheMinuteTimerAfterTheFirstTick) {
    RunningService run(at(10, 0), {});
    EXPECT_EQ(run.service.caption(), QStringLiteral("NTSERVICE MODE"));
    EXPECT_EQ(run.service.MyMinuteTimer(), nullptr);
    EXPECT_EQ(OleDate::toMmDdYyyyHhNnSs(run.service.NextWakeUp()), OleDate::toMmDdYyyyHhNnSs(at(0, 1)));

    bool enabledDuringFirstTick = true;
    run.during = [&](std::size_t) { enabledDuringFirstTick = run.service.MyMinuteTimer()->Enabled(); };
    run.service.RunNTService();

    QTXTimer* timer = run.service.MyMinuteTimer();
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->id(), QStringLiteral("NTService_Scheduler"));
    EXPECT_EQ(timer->Interval(), 60000);
    EXPECT_EQ(timer->hWnd(), &run.service);
    EXPECT_TRUE(timer->Enabled());
    EXPECT_FALSE(enabledDuringFirstTick) << "the timer is enabled only after the first, direct tick";
    EXPECT_EQ(run.imports.size(), 1u);
}

TEST(CommonNTSERVICE, TicksDuringAnImportDoNothingAndAreNotRemembered) {
    RunningService run(at(10, 0), {{kMinutely, "YES"}, {kMinutelyMinute, "0"}});
    std::vector<bool> inWakeUpSeen;
    run.during = [&](std::size_t n) {
        if (n != 1) return;
        // The import lets events through; the minute timer fires twice while it runs.
        for (int i = 0; i < 2; ++i) {
            inWakeUpSeen.push_back(run.service.InWakeUp());
            run.clock.advanceMinutes(1);
            TimerCallback(*run.service.MyMinuteTimer());
        }
    };
    run.service.RunNTService();
    EXPECT_EQ(run.imports.size(), 1u);
    EXPECT_EQ(inWakeUpSeen, (std::vector<bool>{true, true}));
    EXPECT_FALSE(run.service.InWakeUp());
    EXPECT_EQ(run.folder.wakeUpLines(), formatted({at(10, 0)})) << "computed before the import started";

    run.tick(at(10, 3));
    EXPECT_EQ(formatted(run.imports), formatted({at(10, 0), at(10, 3)}));
    EXPECT_EQ(run.importAndSleepLines(), (QStringList{kImportLine, "sleep", kImportLine, "sleep"}));
}

struct StopCase {
    const char* name;
    bool duringFirstTick; // the import that RunNTService runs itself, or one started by a later tick
};
void PrintTo(const StopCase& c, std::ostream* os) {
    *os << c.name;
}

class StopDuringImport : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopDuringImport, TheImportFinishesLogsItsSleepLineAndNoFurtherTickComes) {
    const StopCase& c = GetParam();
    RunningService run(c.duringFirstTick ? at(10, 0) : at(0, 0, 30), {});
    const std::size_t stoppingImport = 1;
    run.during = [&](std::size_t n) {
        if (n != stoppingImport) return;
        // The operator's click arrives as an event while the import lets events through.
        QMetaObject::invokeMethod(&run.service, &CommonNTSERVICE::Command1_Click, Qt::QueuedConnection);
        QCoreApplication::processEvents();
        run.folder.log.WriteLog(QStringLiteral("import goes on after Stop"), 0);
    };
    run.service.RunNTService();
    if (!c.duringFirstTick) {
        for (double t : everyMinute(at(0, 0, 30), 1))
            run.tick(t);
    }

    ASSERT_EQ(run.imports.size(), 1u);
    EXPECT_FALSE(run.service.MyMinuteTimer()->Enabled());
    EXPECT_FALSE(run.service.EndRequested());
    const QStringList m = run.folder.messages();
    const qsizetype goesOn = m.indexOf(QStringLiteral("import goes on after Stop"));
    const qsizetype done = m.indexOf(QStringLiteral("Import was successful."));
    const qsizetype sleep = m.indexOf(kSleepLine + OleDate::toMmDdYyyyHhNnSs(at(0, 1, 0, 0, 1)));
    EXPECT_GE(goesOn, 0);
    EXPECT_GT(done, goesOn);
    EXPECT_GT(sleep, done);
}

INSTANTIATE_TEST_SUITE_P(Cases, StopDuringImport,
                         ::testing::Values(StopCase{"InTheFirstTickOfRunNTService", true},
                                           StopCase{"InALaterTick", false}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ErrorCase {
    const char* name;
    std::function<void()> raise;
    QString line;
};
void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.name;
}

class ErrorEscapingTheImport : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorEscapingTheImport, IsLoggedAndTheServiceGoesOn) {
    const ErrorCase& c = GetParam();
    RunningService run(at(10, 0), {{kMinutely, "YES"}, {kMinutelyMinute, "0"}});
    run.during = [&](std::size_t n) {
        if (n == 1) c.raise();
    };
    run.service.RunNTService();
    EXPECT_FALSE(run.service.InWakeUp());
    run.tick(at(10, 1));

    EXPECT_EQ(formatted(run.imports), formatted({at(10, 0), at(10, 1)}));
    const QStringList m = run.folder.messages();
    const qsizetype error = m.indexOf(c.line);
    ASSERT_GE(error, 0) << c.line.toStdString();
    EXPECT_EQ(m.mid(error + 1, 1), QStringList{kSleepLine + OleDate::toMmDdYyyyHhNnSs(at(10, 0))});
    EXPECT_EQ(m.count(QStringLiteral("Import was successful.")), 1) << "only the second import completed";
    EXPECT_EQ(run.folder.wakeUpLines(), formatted({at(10, 0), at(10, 1)}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ErrorEscapingTheImport,
    ::testing::Values(ErrorCase{"NumberedError", [] { throw AppError(13, QStringLiteral("Type mismatch")); },
                                "13 - Type mismatch"},
                      ErrorCase{"StandardException", [] { throw std::runtime_error("lost the connection"); },
                                "51 - lost the connection"},
                      ErrorCase{"AnythingElse", [] { throw 42; }, "51 - Internal error"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommonNTSERVICE, AnUnreadableConfigurationSkipsThatWakeUpOnly) {
    RunningService run(at(0, 0, 30), {{kMinutely, "YES"}, {kMinutelyMinute, "10"}});
    run.service.RunNTService(); // minutely: due at once
    ASSERT_EQ(run.imports.size(), 1u);

    run.folder.corruptFile();
    for (double t : everyMinute(at(0, 0, 30), 10))
        run.tick(t); // due at 00:10:30, but unreadable
    EXPECT_EQ(run.imports.size(), 1u);
    EXPECT_EQ(OleDate::toMmDdYyyyHhNnSs(run.service.NextWakeUp()), OleDate::toMmDdYyyyHhNnSs(at(0, 20, 30)))
        << "the schedule has advanced all the same";
    EXPECT_TRUE(
        run.folder.messages().contains(QStringLiteral("LoadXML() failed in QTXConfiguration.ReadConfig().")));

    run.folder.editFile({{kMinutely, "YES"}, {kMinutelyMinute, "10"}}); // a file that reads again
    for (double t : everyMinute(at(0, 10, 30), 10))
        run.tick(t);
    EXPECT_EQ(formatted(run.imports), formatted({at(0, 0, 30), at(0, 20, 30)}));
    EXPECT_EQ(run.folder.wakeUpLines(), formatted({at(0, 10, 30), at(0, 30, 30)}))
        << "no sleep line for the skipped wake-up";
}

TEST(CommonNTSERVICE, AScheduleEditTakesEffectFromTheWakeUpAfterNext) {
    RunningService run(at(10, 5), {{kHourly, "YES"}, {kHourlyMinute, "30"}});
    run.service.RunNTService();
    run.folder.editFile({{kHourly, "YES"}, {kHourlyMinute, "45"}});
    for (double t : everyMinute(at(10, 5), 160))
        run.tick(t);
    EXPECT_EQ(formatted(run.imports), formatted({at(10, 30), at(11, 30), at(12, 45)}));
    EXPECT_EQ(run.folder.wakeUpLines(), formatted({at(11, 30), at(12, 45), at(13, 45)}));
}

struct VerbosityCase {
    const char* name;
    const char* text;
    int before;
    int after;
    bool warned;
};
void PrintTo(const VerbosityCase& c, std::ostream* os) {
    *os << c.name;
}

class VerbosityAtWakeUp : public ::testing::TestWithParam<VerbosityCase> {};

TEST_P(VerbosityAtWakeUp, IsReadFromTheFileAndAsserted) {
    const VerbosityCase& c = GetParam();
    RunningService run(at(0, 0, 30), {});
    run.folder.log.setVerbosity(static_cast<std::int16_t>(c.before));
    run.service.RunNTService(); // not due: nothing re-read yet
    EXPECT_EQ(run.folder.log.Verbosity(), c.before);

    run.folder.editFile({{kVerbosity, c.text}});
    run.tick(at(0, 1));
    ASSERT_EQ(run.imports.size(), 1u);
    EXPECT_EQ(run.folder.log.Verbosity(), c.after);
    const QStringList m = run.folder.messages();
    const QString asserted = QStringLiteral("[Log Verbosity is set to ") + QString::number(c.after) +
                             QStringLiteral(", Log Date is 03/10/2026]");
    const qsizetype assertedAt = m.indexOf(asserted);
    EXPECT_GE(assertedAt, 0) << asserted.toStdString();
    EXPECT_LT(assertedAt, m.indexOf(kImportLine)) << "applied before the import runs";
    const QString warning = QStringLiteral("OPTIONS\\LOG_VERBOSITY = \"") + c.text +
                            QStringLiteral("\" is not a number; the log verbosity stays ") +
                            QString::number(c.before) + ".";
    EXPECT_EQ(m.contains(warning), c.warned);
}

INSTANTIATE_TEST_SUITE_P(Cases, VerbosityAtWakeUp,
                         ::testing::Values(VerbosityCase{"Raised", "3", 0, 3, false},
                                           VerbosityCase{"Lowered", "0", 5, 0, false},
                                           VerbosityCase{"AboveNine", "40000", 0, 9, false},
                                           VerbosityCase{"TextKeepsThePrevious", "loud", 2, 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
