// The real k48213ctl killed during imports and during configuration saves, restarted, and checked.
#include "tests/reliability/KillHarness.h"
#include "tests/reliability/ReliabilityReport.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(KillHarness, KillsAtChosenPointsAndAtRandomLeaveNothingBroken) {
    reliability::KillOptions options;
    options.ctl = QStringLiteral(K48213_CTL_PROGRAM);
    options.shim = QStringLiteral(K48213_KILL_SHIM);
    options.helper = QStringLiteral(K48213_RELIABILITY_PROGRAM);
    ASSERT_TRUE(QFile::exists(options.ctl)) << K48213_CTL_PROGRAM;
    ASSERT_TRUE(QFile::exists(options.shim)) << K48213_KILL_SHIM;
    // One of each point; tools/reliability adds its own cycles.
    options.cycles = reliability::fullMode() ? 20 : 5;
    options.saveKills = reliability::fullMode() ? 10 : 3;
    options.seed = 20240305;
    const reliability::KillResult r = reliability::runKillHarness(options);
    EXPECT_GE(r.kills, 5) << r.failures.join("\n").toStdString();
    EXPECT_EQ(r.crashes, 0) << r.failures.join("\n").toStdString();
    EXPECT_EQ(r.failedRuns, 0) << r.failures.join("\n").toStdString();
    EXPECT_EQ(r.violations, 0) << r.failures.join("\n").toStdString();
    reliability::reportFigure(QStringLiteral("kills"), r.kills, r.attempts);
    reliability::reportFigure(QStringLiteral("crashes"), r.crashes, 0);
    reliability::reportFigure(QStringLiteral("invariant_violations"), r.violations, 0);
    reliability::reportFigure(QStringLiteral("rows_lost"), r.rowsLost, 0);
    reliability::reportFigure(QStringLiteral("rows_duplicated"), r.rowsDuplicated, 0);
}

} // namespace
