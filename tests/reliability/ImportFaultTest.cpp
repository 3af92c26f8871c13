// Whole service imports of the scenario inside the test process: checked against the oracle,
// run again, and run with a fault stepped through the calls on both sides.
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "tests/reliability/FaultCampaign.h"
#include "tests/reliability/FaultPlan.h"
#include "tests/reliability/ImportOracle.h"
#include "tests/reliability/ImportScenario.h"
#include "tests/reliability/InProcessImport.h"
#include "tests/reliability/ReliabilityReport.h"
#include "tests/reliability/ScratchDir.h"
#include "tests/support/PgCluster.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

using fixtures::Engine;
using reliability::ImportOracle;
using reliability::ImportScenario;
using reliability::InProcessImport;

const bool pgRegistered = PgEnvironment::ensure();

// Six hours across midnight: every family gets a few slots, both daily windows one.
const double SmallLastRun = OleDate::fromParts(2024, 3, 4, 21, 0);
const double SmallNow = OleDate::fromParts(2024, 3, 5, 3, 10);
// Two days and a bit.
const double LongLastRun = OleDate::fromParts(2024, 3, 3, 0, 0);
const double LongNow = OleDate::fromParts(2024, 3, 5, 7, 13);

std::string engineName(Engine e) {
    return e == Engine::SQLite ? "SQLite" : "PostgreSQL";
}

class ImportReliability : public ::testing::TestWithParam<Engine> {
protected:
    std::unique_ptr<ImportScenario> makeScenario(double lastRun, double now) {
        InProcessImport::initProcess();
        fixtures::DatabaseHost host;
        if (GetParam() == Engine::SQLite) {
            folder_ = std::make_unique<ScratchDir>();
            host = fixtures::DatabaseHost::sqliteFolder(folder_->path());
        } else {
            PgCluster& pg = PgCluster::shared();
            if (!pg.running()) pg.start();
            host = fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg.port(), pg.superuser());
        }
        return std::make_unique<ImportScenario>(host, ImportScenario::datesFor(lastRun, now));
    }
    std::unique_ptr<ScratchDir> folder_;
};

TEST_P(ImportReliability, CleanImportMatchesTheOracleAndAFurtherRunChangesNothing) {
    auto scenario = makeScenario(LongLastRun, LongNow);
    ImportOracle oracle(*scenario);
    InProcessImport import(*scenario, LongNow);
    ASSERT_EQ(import.run(), ImportOutcome::Succeeded) << import.logMessages().join("\n").toStdString();
    const reliability::InvariantReport first = oracle.check(LongNow);
    EXPECT_TRUE(first.ok()) << first.summary().toStdString();
    EXPECT_GT(first.rowsChecked, 150);
    for (const QString& f : ImportScenario::facilities())
        EXPECT_EQ(scenario->lastRun(f).value_or(0), LongNow) << f.toStdString();
    // The oracle is not vacuous: the rows it checked include every family.
    const QStringList rows = oracle.valueRows();
    for (const auto& v : ImportScenario::variables())
        EXPECT_TRUE(rows.filter(QStringLiteral(" %1 ").arg(v.varid)).size() > 0) << v.varid;

    ASSERT_EQ(import.run(), ImportOutcome::Succeeded);
    EXPECT_EQ(oracle.valueRows(), rows) << "a further run changed rows";
    const reliability::InvariantReport second = oracle.check(LongNow);
    EXPECT_TRUE(second.ok()) << second.summary().toStdString();
    reliability::reportFigure(QStringLiteral("invariant_violations"), first.violations + second.violations,
                              0);
}

// The oracle catches what it must: a changed value, a lost row, a row in a protected place.
TEST(ImportOracleCheck, NoticesDamage) {
    InProcessImport::initProcess();
    ScratchDir folder;
    auto scenario = std::make_unique<ImportScenario>(fixtures::DatabaseHost::sqliteFolder(folder.path()),
                                                     ImportScenario::datesFor(SmallLastRun, SmallNow));
    ImportOracle oracle(*scenario);
    InProcessImport import(*scenario, SmallNow);
    ASSERT_EQ(import.run(), ImportOutcome::Succeeded);
    ASSERT_TRUE(oracle.check(SmallNow).ok());
    struct Damage {
        const char* name;
        QString catalog;
        QString sql;
    };
    const Damage damages[] = {
        {"changed value", "PLANT2", "UPDATE DATADD3 SET curvalue = curvalue + 1 WHERE varid = 2102"},
        {"lost row", "PLANT1",
         "DELETE FROM DATADDF WHERE varid = 1103 AND curvalue = (SELECT MIN(curvalue) FROM DATADDF)"},
        {"changed protected row", "PLANT2",
         "UPDATE DATADDH SET curvalue = 1 WHERE varid = 2101 AND status = 5"},
    };
    for (const Damage& d : damages) {
        scenario->reset();
        ASSERT_EQ(import.run(), ImportOutcome::Succeeded);
        scenario->target().exec(d.catalog, d.sql);
        EXPECT_FALSE(oracle.check(SmallNow).ok()) << d.name;
    }
}

// Every Nth call of a whole import fails, once or from then on, on the source and on the target.
// ctest steps through a spread of the calls; the soak of tools/reliability through all of them.
TEST_P(ImportReliability, FaultsOnAnyCallAreSurvived) {
    auto scenario = makeScenario(SmallLastRun, SmallNow);
    reliability::CampaignOptions options;
    options.now = SmallNow;
    options.stride = reliability::fullMode() ? 1 : (GetParam() == Engine::SQLite ? 17 : 61);
    options.offset = 0;
    const reliability::CampaignResult r = reliability::runFaultCampaign(*scenario, options);
    EXPECT_GT(r.sourceCalls, 20);
    EXPECT_GT(r.targetCalls, 50);
    EXPECT_GT(r.tried, 4);
    EXPECT_EQ(r.survived, r.tried) << r.failures.join("\n").toStdString();
    EXPECT_EQ(r.violations, 0);
    reliability::reportFigure(QStringLiteral("faults_survived"), r.survived, r.tried);
    reliability::reportFigure(QStringLiteral("invariant_violations"), r.violations, 0);
    reliability::reportFigure(QStringLiteral("rows_lost"), r.rowsLost, 0);
    reliability::reportFigure(QStringLiteral("rows_duplicated"), r.rowsDuplicated, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportReliability, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const auto& info) { return engineName(info.param); });

// ---------------------------------------------------------------------------------------------

class ImportEnvironment : public ::testing::Test {
protected:
    void SetUp() override {
        InProcessImport::initProcess();
        scenario_ = std::make_unique<ImportScenario>(fixtures::DatabaseHost::sqliteFolder(folder_.path()),
                                                     ImportScenario::datesFor(SmallLastRun, SmallNow));
    }
    ScratchDir folder_;
    std::unique_ptr<ImportScenario> scenario_;
};

// The open log file's descriptor, found by its name.
int descriptorOf(const QString& path) {
    for (const QString& fd : QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        const QString target = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/") + fd);
        if (target == path) return fd.toInt();
    }
    return -1;
}

// The disk under the log fills up (every write fails with "no space left"), or the log folder
// disappears so that the next log file cannot be created: the import goes on and loses nothing.
TEST_F(ImportEnvironment, LogThatBecomesFullOrUnwritableLosesNoData) {
    enum class Trouble { DiskFull, FolderGone };
    for (const Trouble trouble : {Trouble::DiskFull, Trouble::FolderGone}) {
        SCOPED_TRACE(trouble == Trouble::DiskFull ? "disk full" : "folder gone");
        scenario_->reset();
        ImportOracle oracle(*scenario_);
        InProcessImport import(*scenario_, SmallNow);
        int troubleAt = 0;
        bool struck = false;
        // Strikes during the run, at the twentieth target call, once the log is open.
        ado::setFaultHook([&](const ado::CallInfo& call) {
            if (call.catalog.compare("VIRev", Qt::CaseInsensitive) == 0 || ++troubleAt != 20 || struck)
                return;
            struck = true;
            const QString file = AppLog().currentFileName();
            if (trouble == Trouble::DiskFull) {
                const int fd = descriptorOf(file);
                const int full = ::open("/dev/full", O_WRONLY);
                ASSERT_GE(fd, 0);
                ASSERT_GE(full, 0);
                ::dup2(full, fd);
                ::close(full);
            } else {
                // The folder goes, a file takes its name, and the day changes: the log must open a
                // new file and cannot.
                QDir(import.logFolder()).removeRecursively();
                QFile blocker(import.logFolder());
                ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
                import.setNow(OleDate::addDays(SmallNow, 1));
            }
        });
        const ImportOutcome outcome = import.run();
        ado::setFaultHook({});
        EXPECT_TRUE(struck);
        EXPECT_EQ(outcome, ImportOutcome::Succeeded);
        const reliability::InvariantReport report = oracle.check(SmallNow);
        EXPECT_TRUE(report.ok()) << report.summary().toStdString();
        reliability::reportFigure(QStringLiteral("rows_lost"), report.rowsLost, 0);
        reliability::reportFigure(QStringLiteral("invariant_violations"), report.violations, 0);
        QFile::remove(import.logFolder());
    }
}

// The wall clock jumps a day back, or a day ahead, while the import waits to reconnect after a
// lost target: the wait still lasts its configured second, the run finishes, and the last-run
// dates are those of the range the run was given.
TEST_F(ImportEnvironment, ClockJumpDuringARecoveryWait) {
    for (const double jumpDays : {-1.0, 1.0}) {
        SCOPED_TRACE(jumpDays < 0 ? "back" : "ahead");
        scenario_->reset();
        ImportOracle oracle(*scenario_);
        InProcessImport import(*scenario_, SmallNow, 1);
        reliability::FaultPlan plan;
        plan.failOnce(reliability::FaultPlan::Side::Target, 40);
        bool jumped = false;
        // The jump happens on a timer, which only the wait's event processing can deliver.
        QTimer timer;
        timer.setInterval(200);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (plan.injected() > 0 && !jumped) {
                jumped = true;
                import.setNow(OleDate::addDays(SmallNow, jumpDays));
            }
        });
        timer.start();
        const ImportOutcome outcome = import.run();
        timer.stop();
        EXPECT_EQ(plan.injected(), 1);
        EXPECT_TRUE(jumped) << "the wait delivered no timer";
        EXPECT_EQ(outcome, ImportOutcome::Succeeded);
        const QStringList log = import.logMessages();
        EXPECT_TRUE(
            log.contains(QStringLiteral("Waiting for 1 seconds before attempting to re-connect ... ")))
            << log.join("\n").toStdString();
        import.setNow(SmallNow);
        const reliability::InvariantReport report = oracle.check(SmallNow);
        EXPECT_TRUE(report.ok()) << report.summary().toStdString();
        for (const QString& f : ImportScenario::facilities())
            EXPECT_EQ(scenario_->lastRun(f).value_or(0), SmallNow) << f.toStdString();
        reliability::reportFigure(QStringLiteral("invariant_violations"), report.violations, 0);
    }
}

} // namespace
