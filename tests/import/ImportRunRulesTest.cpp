// The import run's rules that need no particular data: the cache-fill decision, the throttle's
// checks of its wait, and the layout of the statistics block.
#include "tests/import/ImportRunSupport.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/import/CommonImport.h"
#include "CommonFiles/startup/CommonGlobals.h"
#include "custom/CustomSource.h"

#include <vector>

using writertest::CountLogMessage;
using writertest::LogMessages;
using writertest::SetConfig;

TEST(ImportRunRules, CacheFillDecision) {
    InitImportProcess();
    struct Case {
        const char* name;
        QString enabled, byPoints, byDays, byBytes;
        int slotCount, days;
        bool expected;
        QString line; // the level-1 line that explains it, "" for none
    };
    const QList<Case> cases{
        {"disabled", "FALSE", "TRUE", "TRUE", "TRUE", 10, 1, false, ""},
        {"mixed case is off", "True", "TRUE", "TRUE", "TRUE", 10, 1, false, ""},
        {"by data points first", "TRUE", "TRUE", "TRUE", "TRUE", 60479, 1, true,
         "Source Cache Fill Requested due to number of datapoints (60479) being less than 60480"},
        {"data points at the set point fall through to days", "TRUE", "TRUE", "TRUE", "TRUE", 60480, 13, true,
         "Source Cache Fill Requested due to number of days (13) being less than 14"},
        {"by bytes", "TRUE", "FALSE", "FALSE", "TRUE", 60479, 30, true,
         "Source Cache Fill Requested due to number of Bytes (483832) being less than 483840"},
        {"bytes at the set point", "TRUE", "FALSE", "FALSE", "TRUE", 60480, 30, false, ""},
        {"every limit off", "TRUE", "FALSE", "FALSE", "FALSE", 1, 0, false, ""},
        {"limit texts other than TRUE are off", "TRUE", "yes", "true", "1", 1, 0, false, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writertest::StartNewLog();
        SetConfig("SOURCE\\CACHE\\ENABLED", c.enabled);
        SetConfig("SOURCE\\CACHE\\LIMIT_BY_DATAPOINTS", c.byPoints);
        SetConfig("SOURCE\\CACHE\\LIMIT_BY_DAYS", c.byDays);
        SetConfig("SOURCE\\CACHE\\LIMIT_BY_BYTES", c.byBytes);
        SetConfig("SOURCE\\CACHE\\LIMIT_BY_DATAPOINTS_SETPOINT", "60480");
        SetConfig("SOURCE\\CACHE\\LIMIT_BY_DAYS_SETPOINT", "14");
        SetConfig("SOURCE\\CACHE\\LIMIT_BY_BYTES_SETPOINT", "483840");
        CommonImport import;
        EXPECT_EQ(import.IsCacheFillRequested(c.slotCount, c.days), c.expected);
        const QStringList log = LogMessages();
        EXPECT_EQ(log, c.line.isEmpty() ? QStringList{} : QStringList{c.line});
    }
    SetConfig("SOURCE\\CACHE\\ENABLED", "TRUE");
    SetConfig("SOURCE\\CACHE\\LIMIT_BY_DATAPOINTS", "TRUE");
    SetConfig("SOURCE\\CACHE\\LIMIT_BY_DAYS", "TRUE");
    SetConfig("SOURCE\\CACHE\\LIMIT_BY_BYTES", "TRUE");
}

// One hourly variable over two hours of readings.
class ImportRunRulesTest : public ImportRunFixture {
public:
    void SetUp() override {
        ImportRunFixture::SetUp();
        fixtures::CollectorSpec c;
        c.interfaceId = CollectorId;
        c.name = QStringLiteral("North");
        target().addCollector(c);
        target().addFacility(
            {"PLANT1", "Plant One", Variant::null(), Variant::fromDate(writertest::Date(2024, 1, 1))});
        target().addApprovalLevel("PLANT1", 1);
        fixtures::VariableSpec v;
        v.varid = 7;
        v.name = QStringLiteral("Flow");
        v.vartype = fixtures::VarTypeCode::Hourly;
        v.scadatag = QStringLiteral("KQ:1:101");
        v.interfaceId = CollectorId;
        target().addVariable("PLANT1", v);
        source().addSite("SITE1", "SITE1_DATA");
        std::vector<fixtures::Reading> readings;
        for (int m = 0; m < 120; ++m)
            readings.push_back({OleDate::addMinutes(writertest::Date(2024, 3, 1), m), 3.0, false});
        source().addReadings("SITE1_DATA", 1, 101, readings);
        PointConfigurationAt("SITE1");
        SetConfig("OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE", "03-01-2024 00:00:00");
        SetConfig("OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE", "03-01-2024 02:00:00");
    }
    void TearDown() override {
        SetConfig("OPTIONS\\PERFORMANCE\\THROTTLE", "FALSE");
        SetConfig("OPTIONS\\PERFORMANCE\\POLL_WAIT", "500");
        SetConfig("OPTIONS\\PERFORMANCE\\MSG_BEFORE", "TRUE");
        SetConfig("OPTIONS\\PERFORMANCE\\MSG_AFTER", "TRUE");
        ImportRunFixture::TearDown();
    }
};

TEST_P(ImportRunRulesTest, ThrottleChecksItsWaitAfterEverySlot) {
    const QString prefix = "Error in ThrottlePerformance : Artificial Wait between Source Polling ";
    const QString suffix = ". Artificial Wait between Source Polling is: ";
    struct Case {
        QString wait, before, after;
        QStringList lines; // written after each of the two slots
    };
    const QList<Case> cases{
        {"abc", "TRUE", "TRUE", {prefix + "needs to be a whole number between 1 and 9999" + suffix + "0"}},
        {"2.5", "TRUE", "TRUE", {prefix + "needs to be a whole number" + suffix + "2.5"}},
        {"10000", "TRUE", "TRUE", {prefix + "is not less than 10,000" + suffix + "10000"}},
        {"0", "TRUE", "TRUE", {prefix + "is not greater than 0" + suffix + "0"}},
        {"1",
         "TRUE",
         "FALSE",
         {"Throttle = True. System will sleep 1 milliseconds between queries.",
          "Processing DoEvents before putting the system to sleep. MsgBefore = True",
          "Program will sleep for 1 milliseconds.",
          "Skipping DoEvents after putting the system to sleep. MsgAfter = False"}},
        {"2",
         "FALSE",
         "TRUE",
         {"Throttle = True. System will sleep 2 milliseconds between queries.",
          "Skipping DoEvents before putting the system to sleep. MsgBefore = False",
          "Program will sleep for 2 milliseconds.",
          "Processing DoEvents after putting the system to sleep. MsgAfter = True"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.wait.toStdString());
        writertest::StartNewLog();
        SetConfig("OPTIONS\\PERFORMANCE\\THROTTLE", "True");
        SetConfig("OPTIONS\\PERFORMANCE\\POLL_WAIT", c.wait);
        SetConfig("OPTIONS\\PERFORMANCE\\MSG_BEFORE", c.before);
        SetConfig("OPTIONS\\PERFORMANCE\\MSG_AFTER", c.after);
        ImportAll(false);
        EXPECT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
        for (const QString& line : c.lines)
            EXPECT_EQ(CountLogMessage(line), 2) << line.toStdString();
    }
}

TEST_P(ImportRunRulesTest, StatisticsBlockHasItsElevenLines) {
    ImportAll(false);
    ASSERT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    const QStringList log = LogMessages();
    const qsizetype at = log.indexOf("Session Statistics :");
    ASSERT_GE(at, 0);
    const QStringList expectedStart{
        " # of Physical Read Transactions   : \t3", // two slots and the cache fill
        " # of Logical Write Transactions   : \t2", " # of Physical Write Transactions  : \t2",
        " # of Skipped Write Transactions   : \t0", " # of Source Connection Failures   : \t0",
        " # of Target Connection Failures   : \t0", " # of Attempted Variables          : \t1",
        " # of Variables to Fail Validation : \t0",
    };
    EXPECT_EQ(log.mid(at + 1, 8), expectedStart);
    EXPECT_TRUE(log.value(at + 9).startsWith(" # Seconds Elapsed                 : \t"));
    EXPECT_TRUE(log.value(at + 10).startsWith(" # Read Transactions per Second    : \t"));
    EXPECT_TRUE(log.value(at + 11).startsWith(" # Write Transactions  per Second  : \t"));
    // The rates are the counts over the elapsed seconds (at least 0.00001 s), rounded to 2 decimals.
    EXPECT_GT(log.value(at + 10).section('\t', 1).toDouble(), 0.0);
    EXPECT_EQ(log.value(at + 13), "Import was successful.");
    EXPECT_EQ(CountLogMessage("Wrote 03/01/2024 00:00  PLANT1:0\tFlow\t3 "), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportRunRulesTest, ::testing::Values(fixtures::Engine::SQLite),
                         writertest::EngineName);

TEST_P(ImportRunRulesTest, StaticSourceReaderIsKeptBetweenRuns) {
    struct Case {
        QString staticImport;
        int resets; // "StartImport: Custom Source Reset" over two runs
    };
    for (const Case& c : QList<Case>{{"FALSE", 2}, {"TRUE", 1}}) {
        SCOPED_TRACE(c.staticImport.toStdString());
        SharedSourceReader().reset();
        writertest::StartNewLog();
        SetConfig("SOURCE\\STATICCOMMONIMPORT", c.staticImport);
        ImportAll(false);
        ImportAll(false);
        EXPECT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
        EXPECT_EQ(CountLogMessage("StartImport: Custom Source Reset"), c.resets);
    }
    SetConfig("SOURCE\\STATICCOMMONIMPORT", "FALSE");
}

TEST_P(ImportRunRulesTest, AnUnexpectedFailureEndsTheRunAsAnError) {
    // A throttle switch that is no Boolean cannot be read; the run stops and says so.
    SetConfig("OPTIONS\\PERFORMANCE\\THROTTLE", "maybe");
    ImportAll(false);
    EXPECT_EQ(LastImportOutcome(), ImportOutcome::Failed);
    EXPECT_EQ(writertest::CountLogMessagesStartingWith("Error in RunImport : "), 1);
    EXPECT_EQ(CountLogMessage("Import terminated with error(s)."), 1);
    EXPECT_EQ(CountLogMessage("Import was successful."), 0);
    // The process goes on: the next import runs normally.
    SetConfig("OPTIONS\\PERFORMANCE\\THROTTLE", "FALSE");
    ImportAll(false);
    EXPECT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
}
