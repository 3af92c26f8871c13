#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "tests/foundation/LogTestSupport.h"
#include "tests/foundation/QtPrinters.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

namespace {

// The activity list as the main window keeps it: lines, the last one selected.
class ListSink : public ActivitySink {
public:
    int lineCount() const override { return static_cast<int>(lines.size()); }
    void appendLine(const QString& line) override { lines.append(line); }
    void clearLines() override {
        lines.clear();
        ++clears;
    }
    QStringList lines;
    int clears = 0;
};

// AppLog writing into a temporary folder for the test, restored afterwards.
class ActivityLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        QTXLoggerTXT& log = AppLog();
        log.setLogPath(dir_.file("log"));
        log.setLogHandleFile(dir_.file("handle"));
        log.setBufferLength(1);
        log.setVerbosity(1);
        log.setEnabled(true);
        SetActivitySink(&sink);
    }
    void TearDown() override {
        SetActivitySink(nullptr);
        SetRunAsNTService(false);
        AppLog().closeLog();
        AppLog().setEnabled(false);
        AppLog().setVerbosity(0);
    }
    QStringList logged() const { return ReadLogMessages(AppLog().currentFileName()); }

    FakeClock clock_{OleDate::fromParts(2026, 12, 8, 10, 0, 0)};
    TempDir dir_;
    ListSink sink;
};

TEST_F(ActivityLogTest, InteractiveLinesGoToTheListAndTheLogWithinTheVerbosity) {
    LogActivity(QStringLiteral("Import started"), 0);
    LogActivity(QStringLiteral("variable detail"), 1);
    LogActivity(QStringLiteral("too fine"), 2);
    EXPECT_EQ(sink.lines, (QStringList{"Import started", "variable detail"}));
    EXPECT_EQ(logged(), (QStringList{"Import started", "variable detail"}));
}

TEST_F(ActivityLogTest, ServiceModeWritesOnlyTheLog) {
    SetRunAsNTService(true);
    LogActivity(QStringLiteral("scheduled"), 0);
    LogActivity(QStringLiteral("too fine"), 4);
    EXPECT_TRUE(sink.lines.isEmpty());
    EXPECT_EQ(logged(), QStringList{"scheduled"});
}

TEST_F(ActivityLogTest, ListIsEmptiedBeforeItGrowsPastItsLimits) {
    const struct {
        int before;
        int after;
        int clears;
    } cases[] = {
        {0, 1, 0},     {19998, 19999, 0}, {19999, 20000, 0}, {20000, 0, 1},
        {25000, 0, 1}, {32000, 0, 1},     {32001, 1, 1},
    };
    for (const auto& c : cases) {
        sink.lines.clear();
        sink.clears = 0;
        for (int i = 0; i < c.before; ++i)
            sink.lines.append(QStringLiteral("old"));
        LogActivity(QStringLiteral("new"), 0);
        EXPECT_EQ(sink.lineCount(), c.after) << "with " << c.before << " lines";
        EXPECT_EQ(sink.clears, c.clears) << "with " << c.before << " lines";
        EXPECT_LE(sink.lineCount(), 20000);
    }
    EXPECT_EQ(logged().size(), 7); // every line reached the log
}

TEST_F(ActivityLogTest, ClearActivityLogEmptiesTheList) {
    LogActivity(QStringLiteral("one"), 0);
    ClearActivityLog();
    EXPECT_TRUE(sink.lines.isEmpty());
    SetActivitySink(nullptr);
    ClearActivityLog(); // no window: nothing to clear, nothing fails
    LogActivity(QStringLiteral("no window"), 0);
    EXPECT_EQ(logged(), (QStringList{"one", "no window"}));
}

TEST(WriteAsUserTest, DefaultsToTheProductAccount) {
    EXPECT_EQ(GetWriteAsUser(), "VIA_K48213");
    SetWriteAsUser(QStringLiteral("OPERATOR"));
    EXPECT_EQ(GetWriteAsUser(), "OPERATOR");
    SetWriteAsUser(QString());
    EXPECT_EQ(GetWriteAsUser(), "VIA_K48213");
}

} // namespace
