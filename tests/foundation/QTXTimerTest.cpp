#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXTimer.h"
#include "CommonFiles/foundation/QTXguid.h"
#include "tests/foundation/LogTestSupport.h"
#include "tests/foundation/QtPrinters.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Timers need an event loop; the test executable has no main() of its own to create one.
class QTXTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QCoreApplication::instance()) app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    }
    // Runs the event loop until `reference` has fired `ticks` times.
    static void runUntil(QTXTimer& reference, int ticks) {
        QEventLoop loop;
        int seen = 0;
        QObject::connect(&reference, &QTXTimer::Timer, &loop, [&] {
            if (++seen == ticks) loop.quit();
        });
        loop.exec();
    }

private:
    int argc_ = 1;
    char name_[16] = "test_foundation";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QCoreApplication> app_;
};

TEST_F(QTXTimerTest, IntervalZeroNeverFires) {
    QTXTimer idle;
    int idleTicks = 0;
    idle.setCallback([&] { ++idleTicks; });
    idle.setEnabled(true);
    idle.setInterval(0);
    idle.setEnabled(true);
    EXPECT_TRUE(idle.Enabled());

    QTXTimer reference;
    reference.setInterval(1);
    reference.setEnabled(true);
    runUntil(reference, 20);
    EXPECT_EQ(idleTicks, 0);
}

TEST_F(QTXTimerTest, FiresWhileEnabledAndStopsWhenDisabled) {
    QTXTimer timer;
    QEventLoop loop;
    int ticks = 0;
    QObject::connect(&timer, &QTXTimer::Timer, [&] {
        if (++ticks == 3) {
            timer.setEnabled(false);
            loop.quit();
        }
    });
    timer.setInterval(1);
    EXPECT_FALSE(timer.Enabled()); // an interval alone does not start it
    timer.setEnabled(true);
    loop.exec();
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(timer.Enabled());

    QTXTimer reference; // let plenty of further ticks pass: the disabled timer stays quiet
    reference.setInterval(1);
    reference.setEnabled(true);
    runUntil(reference, 20);
    EXPECT_EQ(ticks, 3);
}

TEST_F(QTXTimerTest, ChangingTheIntervalRestartsAnEnabledTimer) {
    QTXTimer timer;
    int ticks = 0;
    QObject::connect(&timer, &QTXTimer::Timer, [&] { ++ticks; });
    timer.setInterval(3600000);
    timer.setEnabled(true);
    QTXTimer reference;
    reference.setInterval(1);
    reference.setEnabled(true);
    runUntil(reference, 5);
    EXPECT_EQ(ticks, 0);
    timer.setInterval(1);
    EXPECT_TRUE(timer.Enabled());
    QEventLoop loop;
    QObject::connect(&timer, &QTXTimer::Timer, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_GE(ticks, 1);
}

TEST_F(QTXTimerTest, NegativeIntervalIsIgnored) {
    QTXTimer timer;
    timer.setInterval(60000);
    timer.setInterval(-5);
    EXPECT_EQ(timer.Interval(), 60000);
}

TEST_F(QTXTimerTest, CallbackLogsEntryAndExitAroundTheEvent) {
    TempDir dir;
    QTXLoggerTXT& log = AppLog();
    log.setLogPath(dir.file("log"));
    log.setLogHandleFile(dir.file("handle"));
    log.setBufferLength(1);
    log.setVerbosity(2);
    log.setEnabled(true);

    QTXTimer timer;
    timer.setId(QStringLiteral("NTService_Scheduler"));
    QObject::connect(&timer, &QTXTimer::Timer, [&] {
        AppLog().WriteLog(QStringLiteral("tick handled"), 0);
        timer.setId(QStringLiteral("renamed")); // the exit line still names the timer that fired
    });
    TimerCallback(timer);
    const QString file = log.currentFileName();
    log.closeLog();
    log.setEnabled(false);
    log.setVerbosity(0);
    EXPECT_EQ(ReadLogMessages(file), (QStringList{"NTService_Scheduler callback entered.", "tick handled",
                                                  "NTService_Scheduler callback exited."}));
}

TEST_F(QTXTimerTest, NewTimersCarryAGuidAsTheirId) {
    QTXTimer a, b;
    const QRegularExpression guid("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    EXPECT_TRUE(guid.match(a.id()).hasMatch()) << a.id().toStdString();
    EXPECT_NE(a.id(), b.id());
}

TEST(QTXguidTest, GuidsAreThirtySixCharactersWithoutBracesAndUnique) {
    const QRegularExpression guid("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$");
    QSet<QString> seen;
    for (int i = 0; i < 1000; ++i) {
        const QString g = QTXguid::GetNewGUID();
        ASSERT_EQ(g.size(), 36);
        ASSERT_TRUE(guid.match(g).hasMatch()) << g.toStdString();
        seen.insert(g);
    }
    EXPECT_EQ(seen.size(), 1000);
}

} // namespace
