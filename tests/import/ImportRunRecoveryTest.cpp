// Recovery from lost connections, with a private PostgreSQL server that the test stops and
// restarts: the source down for a whole run, and the target restarted in the middle of one.
#include "tests/import/ImportRunSupport.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/import/CommonImport.h"
#include "CommonFiles/startup/CommonGlobals.h"
#include "custom/CustomSource.h"
#include "tests/support/FakeClock.h"
#include "tests/support/PgCluster.h"

#include <vector>

using writertest::CountLogMessage;
using writertest::Date;
using writertest::LogMessages;
using writertest::SetConfig;

namespace {

int Statistic(const QString& label) {
    for (const QString& m : LogMessages())
        if (m.startsWith(QStringLiteral(" ") + label)) return m.section('\t', 1).toInt();
    return -1;
}

fixtures::VariableSpec Hourly(int varid) {
    fixtures::VariableSpec v;
    v.varid = varid;
    v.varnum = varid;
    v.name = QStringLiteral("Flow %1").arg(varid);
    v.vartype = fixtures::VarTypeCode::Hourly;
    v.scadatag = QStringLiteral("KQ:1:101");
    v.interfaceId = ImportRunFixture::CollectorId;
    return v;
}

} // namespace

// The target on one host, the source on another, so that one can go down without the other.
class ImportRecoveryTest : public ::testing::Test {
public:
    void SetUp() override {
        InitImportProcess();
        writertest::StartNewLog();
        SharedSourceReader().reset();
        cluster_.start();
    }
    void TearDown() override {
        SharedSourceReader().reset();
        CommonImport::SetProgressHook({});
        SetRunAsNTService(false);
        AppLog().closeLog();
    }

    // Facilities PLANT1 and PLANT2, one hourly variable each, readings of Mar 1 2024 00:00 to 06:00.
    void Build(const fixtures::DatabaseHost& targetHost, const fixtures::DatabaseHost& sourceHost) {
        target_.emplace(fixtures::TargetDatabase::create(targetHost));
        fixtures::CollectorSpec c;
        c.interfaceId = ImportRunFixture::CollectorId;
        target_->addCollector(c);
        for (const QString& f : {QStringLiteral("PLANT1"), QStringLiteral("PLANT2")}) {
            target_->addFacility({f, f, Variant::null(), Variant::fromDate(Date(2024, 1, 1))});
            target_->addApprovalLevel(f, 1);
        }
        target_->addVariable("PLANT1", Hourly(1));
        target_->addVariable("PLANT2", Hourly(2));
        source_.emplace(fixtures::SourceDatabase::create(sourceHost));
        source_->addSite("SITE1", "SITE1_DATA");
        std::vector<fixtures::Reading> readings;
        for (int m = 0; m < 6 * 60; ++m)
            readings.push_back({OleDate::addMinutes(Date(2024, 3, 1), m), 4.0, false});
        source_->addReadings("SITE1_DATA", 1, 101, readings);

        const QList<std::pair<QString, QString>> settings{
            {"VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE", "2"},
            {"VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER", "SQLNCLI"},
            {"VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE", targetHost.dataSource()},
            {"VESKDRAQ\\VESKDRAQ_CONNECTION_TIMEOUT", "5"},
            {"VESKDRAQ\\G2_SERVER_INTERFACE_ID", QString::number(ImportRunFixture::CollectorId)},
            {"VESKDRAQ\\G2_INDIRECT_TYPE", "FALSE"},
            {"K48213\\SQL_URL", sourceHost.dataSource()},
            {"K48213\\SITE_ID", "SITE1"},
            {"K48213\\DATA_TABLE", ""},
            {"SOURCE\\RECOVERY\\ATTEMPTS", "6"},
            {"SOURCE\\RECOVERY\\SECONDS", "0"},
            {"TARGET\\RECOVERY\\ATTEMPTS", "6"},
            {"TARGET\\RECOVERY\\SECONDS", "1"},
            {"SOURCE\\STATICCOMMONIMPORT", "FALSE"},
            {"OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE", "0"},
            {"OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN", "03-01-2024 00:00:00"},
            {"OPTIONS\\PERFORMANCE\\THROTTLE", "FALSE"},
        };
        for (const auto& [key, value] : settings)
            SetConfig(key, value);
    }

    void RunService() {
        FakeClock clock(Date(2024, 3, 1, 6));
        SetRunAsNTService(true);
        ImportAll(false);
        SetRunAsNTService(false);
    }

    QString LastRun(const QString& facility) {
        const auto rows = target_->query("QTXROOT", "select LASTRUN from g2_server_run where FILENAME = ?",
                                         {Variant(facility)});
        return rows.isEmpty() ? QString() : StampText(rows[0][0]);
    }

    PgCluster cluster_;
    TempDir folder_;
    std::optional<fixtures::TargetDatabase> target_;
    std::optional<fixtures::SourceDatabase> source_;
};

TEST_F(ImportRecoveryTest, SourceDownForTheWholeRunStopsIt) {
    Build(fixtures::DatabaseHost::sqliteFolder(folder_.path()),
          fixtures::DatabaseHost::postgres("127.0.0.1", cluster_.port(), cluster_.superuser()));
    cluster_.stop();
    RunService();

    QStringList pairs;
    const QStringList log = LogMessages();
    for (qsizetype i = 0; i + 1 < log.size(); ++i) {
        if (!log[i].startsWith("Connection error occured while communicating with source.")) continue;
        EXPECT_EQ(log[i + 1], "Waiting for 0 seconds before attempting to re-connect ... ");
        pairs.append(log[i].section(' ', -2, -2));
    }
    EXPECT_EQ(pairs, QStringList({"6", "5", "4", "3", "2", "1"}));
    EXPECT_EQ(CountLogMessage(
                  "Connection error occured while communicating with source. Will attempt to re-connect "
                  "to source for 6 times"),
              1);
    EXPECT_EQ(CountLogMessage("Unable to connect to source."), 1);
    EXPECT_EQ(CountLogMessage("Import terminated with error(s)."), 1);
    EXPECT_EQ(LastImportOutcome(), ImportOutcome::Failed);
    EXPECT_EQ(Statistic("# of Source Connection Failures   : "), 6);
    EXPECT_EQ(Statistic("# of Attempted Variables          : "), 1);
    // Neither the facility under way nor the later one is marked as done.
    EXPECT_EQ(LastRun("PLANT1"), "");
    EXPECT_EQ(LastRun("PLANT2"), "");
    EXPECT_TRUE(target_->query("PLANT1", "select varid from DATADDH").isEmpty());
}

TEST_F(ImportRecoveryTest, TargetRestartedWithinTheRetryWindowLetsTheRunFinish) {
    Build(fixtures::DatabaseHost::postgres("127.0.0.1", cluster_.port(), cluster_.superuser()),
          fixtures::DatabaseHost::sqliteFolder(folder_.path()));
    bool restarted = false;
    CommonImport::SetProgressHook([&](const CommonImport::Progress& p) {
        // After the third slot of the first facility the server goes away and comes back.
        if (!restarted && p.slotsDone == 3) {
            restarted = true;
            cluster_.restart();
        }
    });
    RunService();
    ASSERT_TRUE(restarted);

    EXPECT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    EXPECT_GE(Statistic("# of Target Connection Failures   : "), 1);
    EXPECT_EQ(CountLogMessage("Connection error occured while communicating with Vesk DRAQ. Will attempt to "
                              "re-connect to source for 6 times"),
              1);
    EXPECT_EQ(CountLogMessage("Unable to connect to Vesk DRAQ."), 0);
    // Every slot written once: six hours per facility, each logged as written exactly once.
    EXPECT_EQ(Statistic("# of Logical Write Transactions   : "), 12);
    EXPECT_EQ(Statistic("# of Physical Write Transactions  : "), 12);
    for (const QString& f : {QStringLiteral("PLANT1"), QStringLiteral("PLANT2")}) {
        const auto rows =
            target_->query(f, "select slotstarttime, curvalue from DATADDH order by slotstarttime");
        ASSERT_EQ(rows.size(), 6) << f.toStdString();
        for (int h = 0; h < 6; ++h) {
            EXPECT_EQ(StampText(rows[h][0]),
                      StampText(Variant::fromDate(OleDate::addMinutes(Date(2024, 3, 1), h * 60.0))));
            EXPECT_EQ(rows[h][1].toDouble(), 4.0);
        }
        EXPECT_EQ(LastRun(f), "2024-03-01 06:00:00");
    }
    EXPECT_EQ(writertest::CountLogMessagesStartingWith("Wrote 03/01/2024 03:00  PLANT1:1"), 1);
}
