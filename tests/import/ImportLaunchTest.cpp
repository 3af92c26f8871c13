// Starting imports: the collector checks, the failure table and the version check, as the service
// logs them (every box a silent block) and as an operator's run reports them.
#include "tests/import/ImportRunSupport.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/import/CommonImport.h"
#include "CommonFiles/collector/CommonVarGatherer.h"
#include "CommonFiles/startup/CommonGlobals.h"

#include <QRegularExpression>

using writertest::CountLogMessage;
using writertest::LogMessages;
using writertest::SetConfig;

namespace {

// The lines of every silent box block in the log, "PROMPT= ..." to "ANSWER= ...", one entry per
// line of a prompt.
QStringList SilentBlocks() {
    QStringList out;
    bool inBlock = false;
    for (const QString& m : LogMessages()) {
        if (m.contains(QStringLiteral("SILENT QTXMSGBOX"))) {
            inBlock = true;
            continue;
        }
        if (inBlock && m.startsWith(QStringLiteral("====="))) {
            inBlock = false;
            continue;
        }
        // A prompt of several lines may reach the log as one message or as continuation lines.
        if (inBlock) out.append(m.split(QLatin1Char('\n')));
    }
    return out;
}

} // namespace

class ImportLaunchTest : public ImportRunFixture {
public:
    void SetUp() override {
        ImportRunFixture::SetUp();
        PointConfigurationAt(QStringLiteral("SITE1"));
        source().addSite(QStringLiteral("SITE1"), QStringLiteral("SITE1_DATA"));
        target().addFacility({QStringLiteral("PLANT1"), QStringLiteral("Plant One"), Variant::null(),
                              Variant::fromDate(writertest::Date(2024, 1, 1))});
        target().addApprovalLevel(QStringLiteral("PLANT1"), 1);
    }
    void AddCollector(int id, int enabled, const QString& version = QStringLiteral("1.1.0")) {
        fixtures::CollectorSpec c;
        c.interfaceId = id;
        c.name = QStringLiteral("North");
        c.enabled = enabled;
        c.auditUser = QStringLiteral("SUPERVISOR");
        c.auditTimestamp = Variant::fromDate(writertest::Date(2024, 2, 3, 4, 5, 6));
        c.luVersion = version;
        target().addCollector(c);
    }
    void AddVariable() {
        fixtures::VariableSpec v;
        v.varid = 7;
        v.vartype = fixtures::VarTypeCode::Hourly;
        v.scadatag = QStringLiteral("KQ:1:101");
        v.interfaceId = CollectorId;
        target().addVariable(QStringLiteral("PLANT1"), v);
    }
};

TEST_P(ImportLaunchTest, ServiceFailuresAreReportedAndLoggedAsSilentBoxes) {
    struct Case {
        const char* name;
        std::function<void(ImportLaunchTest&)> arrange;
        QStringList reported; // activity lines, in order
        QString boxPrompt;    // the prompt's first line; "" when no box
        QString boxTitle;     // "" when the box has none
    };
    const QString missing0 =
        "Collector (id=0) does not exist or has been deleted. Use 'Configuration \\ Collector "
        "Configuration' to select a collector.";
    const QString missing555 = "Collector (id=555) does not exist or has been deleted. Use 'Configuration \\ "
                               "Collector Configuration' to select a collector.";
    const QString disabled =
        "Collector 'North' was marked as DISABLED by Vesk DRAQ user 'SUPERVISOR' on '02/03/2024 04:05:06'";
    const QList<Case> cases{
        {"collector id 0",
         [](ImportLaunchTest& t) {
             t.AddCollector(CollectorId, -1);
             SetConfig("VESKDRAQ\\G2_SERVER_INTERFACE_ID", "0");
         },
         {missing0, "Unable to import at this time"},
         missing0,
         ""},
        {"collector not found",
         [](ImportLaunchTest& t) {
             t.AddCollector(CollectorId, -1);
             SetConfig("VESKDRAQ\\G2_SERVER_INTERFACE_ID", "555");
         },
         {missing555, "Unable to import at this time"},
         missing555,
         ""},
        {"disabled collector",
         [](ImportLaunchTest& t) { t.AddCollector(CollectorId, 0); },
         {disabled, "Unable to import at this time"},
         disabled,
         ""},
        {"no linked variables",
         [](ImportLaunchTest& t) { t.AddCollector(CollectorId, -1); },
         {"Found 0 variable(s) in 0 facility(s) that are linked to Collector 'North'",
          "Nothing to import into at this time."},
         "",
         ""},
        {"target unreachable",
         [](ImportLaunchTest& t) {
             t.AddCollector(CollectorId, -1);
             SetConfig("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE",
                       "sqlite:" + t.folder_->path() + "/no/such/folder");
         },
         {},
         "Error :",
         "Failed to connect to Vesk DRAQ"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Each case on a fresh target.
        target_.emplace(fixtures::TargetDatabase::create(host_));
        target().addFacility(
            {"PLANT1", "Plant One", Variant::null(), Variant::fromDate(writertest::Date(2024, 1, 1))});
        PointConfigurationAt("SITE1");
        writertest::StartNewLog();
        c.arrange(*this);
        SetRunAsNTService(true);
        ImportAll(false);
        SetRunAsNTService(false);

        const QStringList log = LogMessages();
        qsizetype at = 0;
        for (const QString& line : c.reported) {
            const qsizetype found = log.indexOf(line, at);
            EXPECT_GE(found, 0) << "missing or out of order: " << line.toStdString();
            if (found >= 0) at = found + 1;
        }
        EXPECT_EQ(CountLogMessage("Import started."), 0);
        EXPECT_EQ(LastImportOutcome(), ImportOutcome::NotRun);
        const QStringList blocks = SilentBlocks();
        if (c.boxPrompt.isEmpty()) {
            EXPECT_TRUE(blocks.isEmpty()) << blocks.join(" | ").toStdString();
            continue;
        }
        ASSERT_FALSE(blocks.isEmpty());
        EXPECT_EQ(blocks[0], "PROMPT= " + c.boxPrompt);
        // A prompt of several lines goes on on lines of its own: here the error text.
        if (c.boxPrompt == "Error :") {
            EXPECT_TRUE(QRegularExpression("^\\d+ - .+").match(blocks.value(1)).hasMatch())
                << blocks.value(1).toStdString();
        }
        EXPECT_TRUE(blocks.contains("BUTTONS= 48"));
        if (!c.boxTitle.isEmpty()) {
            EXPECT_TRUE(blocks.contains("TITLE= " + c.boxTitle));
        }
        EXPECT_TRUE(blocks.contains("ANSWER= OK"));
    }
}

TEST_P(ImportLaunchTest, SelectedVariablesAreRefusedInServiceMode) {
    AddCollector(CollectorId, -1);
    AddVariable();
    SetRunAsNTService(true);
    ImportSelectedVariables(false);
    SetRunAsNTService(false);
    EXPECT_EQ(LogMessages(), QStringList{"Operation is not supported in NTSERVICE mode."});
}

TEST_P(ImportLaunchTest, OperatorRunChecksTheCollectorVersion) {
    struct Case {
        QString version;
        bool warns;
    };
    const QString message = "The collector that you selected links to a different version (1.0.0)  of the "
                            "interface than the inteface that is current running (1.1.0)";
    for (const Case& c : QList<Case>{{"1.0.0", true}, {"1.1.0", false}, {"", false}}) {
        SCOPED_TRACE(c.version.toStdString());
        target_.emplace(fixtures::TargetDatabase::create(host_));
        target().addFacility(
            {"PLANT1", "Plant One", Variant::null(), Variant::fromDate(writertest::Date(2024, 1, 1))});
        AddCollector(CollectorId, -1, c.version);
        writertest::StartNewLog();
        SetRunAsNTService(false);
        ImportAll(false);
        EXPECT_EQ(CountLogMessage("Warning : " + message), c.warns ? 1 : 0);
        const QStringList blocks = SilentBlocks();
        EXPECT_EQ(blocks.contains("TITLE= Version Validation Failed"), c.warns);
        if (c.warns) {
            EXPECT_TRUE(blocks.contains("BUTTONS= 16432"));
            EXPECT_TRUE(blocks.contains("CONTEXT= 12230"));
            const qsizetype at = blocks.indexOf("PROMPT= Warning :");
            ASSERT_GE(at, 0) << blocks.join(" | ").toStdString();
            EXPECT_EQ(blocks.mid(at + 1, 2),
                      QStringList({message,
                                   "You need to update your g2_server_lu file or link the collector to the "
                                   "correct version in Vesk DRAQ client."}));
        }
    }
}

TEST_P(ImportLaunchTest, AnImportStartedDuringAnotherIsRefused) {
    AddCollector(CollectorId, -1);
    AddVariable();
    std::vector<fixtures::Reading> readings;
    for (int m = 0; m < 180; ++m)
        readings.push_back({OleDate::addMinutes(writertest::Date(2024, 3, 1), m), 1.5, false});
    source().addReadings("SITE1_DATA", 1, 101, readings);
    SetConfig("OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE", "03-01-2024 00:00:00");
    SetConfig("OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE", "03-01-2024 03:00:00");
    int nested = 0;
    CommonImport::SetProgressHook([&nested](const CommonImport::Progress&) {
        // A menu command arriving while the import lets events through.
        if (nested++ == 0) ImportAll(false);
    });
    ImportAll(false);
    CommonImport::SetProgressHook({});
    EXPECT_EQ(CountLogMessage("An import is already running."), 1);
    EXPECT_EQ(CountLogMessage("Import started."), 1);
    EXPECT_EQ(LastImportOutcome(), ImportOutcome::Succeeded);
    EXPECT_EQ(Rows("PLANT1", "DATADDH", 7).size(), 3);
    // Once it has finished, the next import runs.
    ImportAll(false);
    EXPECT_EQ(CountLogMessage("Import started."), 2);
}

INSTANTIATE_TEST_SUITE_P(Engines, ImportLaunchTest, ::testing::Values(fixtures::Engine::SQLite),
                         writertest::EngineName);

// The dialogs the main window registers: date range, super-user login and variable picker, and
// what an operator's run does without them.
TEST_P(ImportLaunchTest, OperatorRunsUseTheRegisteredDialogs) {
    AddCollector(CollectorId, -1);
    AddVariable();
    std::vector<fixtures::Reading> readings;
    for (int m = 0; m < 180; ++m)
        readings.push_back({OleDate::addMinutes(writertest::Date(2024, 3, 1), m), 2.0, false});
    source().addReadings("SITE1_DATA", 1, 101, readings);
    SetConfig("OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE", "03-01-2024 00:00:00");
    SetConfig("OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE", "03-01-2024 01:00:00");

    const auto pickTwoHours = [](double& start, double& end) {
        start = writertest::Date(2024, 3, 1);
        end = writertest::Date(2024, 3, 1, 2);
        return true;
    };
    struct Case {
        const char* name;
        QString hideUi, passwordProtect;
        ImportDialogs dialogs;
        bool selected; // ImportSelectedVariables rather than ImportAll
        QStringList reported;
        int rows; // hourly rows written
    };
    ImportDialogs dates;
    dates.pickDates = pickTwoHours;
    ImportDialogs cancelDates;
    cancelDates.pickDates = [](double&, double&) { return false; };
    ImportDialogs login;
    login.superUserLogin = [](ado::Connection&, QString& user) {
        user = "jsmith";
        return true;
    };
    ImportDialogs picker;
    picker.pickVariables = [](CommonVarGatherer&, bool& cancelled) {
        cancelled = true;
        return std::unique_ptr<CommonVarGatherer>();
    };
    const QList<Case> cases{
        {"date dialog",
         "FALSE",
         "NO",
         dates,
         false,
         {"Waiting for user to select import date range ...",
          "Date Range selected : from 03/01/2024 00:00:00 to 03/01/2024 02:00:00", "Import was successful."},
         2},
        {"date dialog cancelled",
         "FALSE",
         "NO",
         cancelDates,
         false,
         {"Waiting for user to select import date range ...", "Import cancelled by user."},
         0},
        {"no date dialog: the fixed dates", "FALSE", "NO", {}, false, {"Import was successful."}, 1},
        {"hidden dialog: the fixed dates", "TRUE", "NO", dates, false, {"Import was successful."}, 1},
        {"login required but no login dialog",
         "TRUE",
         "YES",
         {},
         false,
         {"Waiting for user to provide Vesk DRAQ Super User credentials ...", "Import cancelled by user."},
         0},
        {"login provided",
         "TRUE",
         "YES",
         login,
         false,
         {"Vesk DRAQ user 'JSMITH' credentials were provided.", "Import was successful."},
         1},
        {"no variable picker",
         "TRUE",
         "NO",
         {},
         true,
         {"Operation is not supported without the variable picker."},
         0},
        {"picker cancelled", "TRUE", "NO", picker, true, {"Import cancelled by user."}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target().exec("PLANT1", "delete from DATADDH");
        writertest::StartNewLog();
        SetConfig("OPTIONS\\NOIU\\ASKFORDATES\\HIDE_UI", c.hideUi);
        SetConfig("OPTIONS\\PASSWORD_PROTECT_INTERACTIVE_IMPORT", c.passwordProtect);
        SetImportDialogs(c.dialogs);
        if (c.selected)
            ImportSelectedVariables(false);
        else
            ImportAll(false);
        SetImportDialogs({});
        const QStringList log = LogMessages();
        qsizetype at = 0;
        for (const QString& line : c.reported) {
            const qsizetype found = log.indexOf(line, at);
            EXPECT_GE(found, 0) << "missing or out of order: " << line.toStdString();
            if (found >= 0) at = found + 1;
        }
        EXPECT_EQ(Rows("PLANT1", "DATADDH", 7).size(), c.rows);
    }
    SetConfig("OPTIONS\\PASSWORD_PROTECT_INTERACTIVE_IMPORT", "NO");
}
