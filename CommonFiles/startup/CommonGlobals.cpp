#include "CommonFiles/startup/CommonGlobals.h"

#include "CommonFiles/collector/CollectorQueries.h"
#include "CommonFiles/collector/CommonLastRun.h"
#include "CommonFiles/collector/CommonVarGatherer.h"
#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/CommonAINFOnavigator.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/AppInfo.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/foundation/TimeUtils.h"
#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/import/CommonImport.h"
#include "CommonFiles/service/CommonNTSERVICE.h"
#include "CommonFiles/startup/ProgramEntryPoint.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "platform/ado/Connection.h"

#include <exception>

namespace {

constexpr int OkExclamation = 48;

ImportDialogs& dialogs() {
    static ImportDialogs d;
    return d;
}

ImportOutcome& lastOutcome() {
    static ImportOutcome outcome = ImportOutcome::NotRun;
    return outcome;
}

bool& running() {
    static bool flag = false;
    return flag;
}

// Holds the process-wide running flag for one import call.
class RunningGuard {
public:
    RunningGuard() { running() = true; }
    ~RunningGuard() { running() = false; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;
};

QString setting(const char* key) {
    return AppConfig().item(QString::fromLatin1(key));
}

void report(const QString& text, int level = 0) {
    LogActivity(text, level);
}

void show(const QString& text) {
    AppMsgBox().QtxMsgBox(Variant(text), OkExclamation);
}

double dateSetting(const char* key) {
    return Variant(setting(key)).toDate();
}

bool hideDateUi() {
    return setting("OPTIONS\\NOIU\\ASKFORDATES\\HIDE_UI") == QLatin1String("TRUE");
}

// Steps 2 and 3 of the preparation, shared with the version check.
bool OpenRootConnection(ado::Connection& connection) {
    ConnectionManager manager;
    if (!InitTargetConnectionManager(manager)) {
        show(QStringLiteral("Unable to init Vesk DRAQ Connection Manager"));
        return false;
    }
    manager.ConfigCnn4QTXROOT(connection);
    QString error;
    if (!ConnectToTarget(connection, error, false)) {
        AppMsgBox().QtxMsgBox(Variant(QStringLiteral("Error :\n") + error), OkExclamation,
                              QStringLiteral("Failed to connect to Vesk DRAQ"));
        return false;
    }
    return true;
}

bool AlreadyRunning() {
    if (!running()) return false;
    report(QStringLiteral("An import is already running."));
    return true;
}

void ReportFixedRange(double start, double end) {
    report(QStringLiteral("Date Range selected : from ") + OleDate::toMmDdYyyyHhNnSs(start) +
           QStringLiteral(" to ") + OleDate::toMmDdYyyyHhNnSs(end));
}

} // namespace

void SetImportDialogs(ImportDialogs d) {
    dialogs() = std::move(d);
}

ImportOutcome LastImportOutcome() {
    return lastOutcome();
}

bool ImportIsRunning() {
    return running();
}

QString ProgramVersion() {
    return QString::number(AppInfo::VersionMajor) + QLatin1Char('.') +
           QString::number(AppInfo::VersionMinor) + QLatin1Char('.') +
           QString::number(AppInfo::VersionRevision);
}

std::unique_ptr<CommonVarGatherer> PrepareImport() {
    AppLog().LSM_Run();

    CollectorQueries::ClosingConnection root;
    ado::Connection& connection = root.connection;
    if (!OpenRootConnection(connection)) return nullptr;

    if (!RunAsNTService()) {
        if (setting("OPTIONS\\PASSWORD_PROTECT_INTERACTIVE_IMPORT") == QLatin1String("YES")) {
            report(QStringLiteral("Waiting for user to provide Vesk DRAQ Super User credentials ..."));
            QString user;
            // Without a login dialog nobody can prove the credentials: the import does not start.
            const bool provided = dialogs().superUserLogin && dialogs().superUserLogin(connection, user);
            if (!provided) {
                report(QStringLiteral("Import cancelled by user."));
                return nullptr;
            }
            report(QStringLiteral("Vesk DRAQ user '") + user.toUpper() +
                   QStringLiteral("' credentials were provided."));
        }
        ValidateCollectorVersion();
    }

    auto gatherer = std::make_unique<CommonVarGatherer>();
    const QString configuredId = setting("VESKDRAQ\\G2_SERVER_INTERFACE_ID");
    std::int32_t interfaceId = 0;
    try {
        interfaceId = Variant(configuredId).toInt32();
    } catch (const AppError&) {
        interfaceId = 0;
    }
    if (!gatherer->ReadAboutCollector(interfaceId, connection)) {
        if (gatherer->CollectorID() != 0) {
            const QString text = QStringLiteral("Cannot import without valid collector information.");
            report(text);
            show(text);
        } else {
            const QString text = QStringLiteral("Collector (id=") + configuredId +
                                 QStringLiteral(") does not exist or has been deleted. Use 'Configuration \\ "
                                                "Collector Configuration' to select a collector.");
            report(text);
            report(QStringLiteral("Unable to import at this time"));
            show(text);
        }
        return nullptr;
    }
    if (!gatherer->CollectorEnabled()) {
        const QString text = QStringLiteral("Collector '") + gatherer->CollectorName() +
                             QStringLiteral("' was marked as DISABLED by Vesk DRAQ user '") +
                             gatherer->CollectorChangedAuditUSer() + QStringLiteral("' on '") +
                             OleDate::toGeneralDate(gatherer->CollectorChangedTimeStamp()) +
                             QStringLiteral("'");
        report(text);
        report(QStringLiteral("Unable to import at this time"));
        show(text);
        return nullptr;
    }

    report(QStringLiteral("Scanning all facilities for variables that are linked to Collector '") +
           gatherer->CollectorName() + QStringLiteral("' ..."));
    if (!gatherer->ReadVeskDRAQ(gatherer->CollectorID(), connection)) {
        show(QStringLiteral("Failed to read Vesk DRAQ for list of variables to import into."));
        return nullptr;
    }
    if (!gatherer->LookupLastRun()->ReadVeskDRAQ(gatherer->CollectorID(), connection))
        report(QStringLiteral("WARNING : Unable to read Last Run Settings from Vesk DRAQ"));
    connection.Close();

    report(QStringLiteral("Found ") + QString::number(gatherer->TotalVariable()) +
           QStringLiteral(" variable(s) in ") + QString::number(gatherer->TotalFacility()) +
           QStringLiteral(" facility(s) that are linked to Collector '") + gatherer->CollectorName() +
           QStringLiteral("'"));

    QStringList facilities;
    gatherer->MoveFirst();
    while (!gatherer->EOF_Facility()) {
        const QString facility = gatherer->Current_Facility();
        facilities.append(facility);
        while (!gatherer->EOF_Variable()) {
            report(QStringLiteral("Found Variable Detail : ") + facility + QLatin1Char('~') +
                       QString::number(gatherer->Current_Variable()),
                   1);
            gatherer->MoveNext_Variable();
        }
        gatherer->MoveNext_Facility();
    }
    if (!gatherer->LookupLastRun()->ReadVeskDRAQFacilLockDates(facilities.join(QLatin1Char('~'))))
        show(QStringLiteral("Failed to read Lock Dates for Vesk DRAQ facilites."));
    return gatherer;
}

bool SelectImportDates(CommonVarGatherer& gatherer) {
    if (Variant(setting("VESKDRAQ\\G2_INDIRECT_TYPE")).toBool()) return SelectImportDatesUTC(gatherer);
    CommonLastRun& lastRun = *gatherer.LookupLastRun();
    if (RunAsNTService()) {
        lastRun.setDefaultStart(dateSetting("OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN"));
        lastRun.setDefaultEnd(OleDate::now());
        return true;
    }
    if (!hideDateUi() && dialogs().pickDates) {
        report(QStringLiteral("Waiting for user to select import date range ..."));
        double start = 0, end = 0;
        if (!dialogs().pickDates(start, end)) {
            report(QStringLiteral("Import cancelled by user."));
            return false;
        }
        lastRun.setDefaultStart(start);
        lastRun.setDefaultEnd(end);
        ReportFixedRange(start, end);
        return true;
    }
    lastRun.setDefaultStart(dateSetting("OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE"));
    lastRun.setDefaultEnd(dateSetting("OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE"));
    return true;
}

bool SelectImportDatesUTC(CommonVarGatherer& gatherer) {
    CommonLastRun& lastRun = *gatherer.LookupLastRun();
    if (RunAsNTService()) {
        const double start = OleDate::addMinutes(dateSetting("OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN"),
                                                 -gatherer.CollectorTimeZoneOffset());
        const double server = OleDate::normalize(TimeUtils::ServerNow());
        const double hour = OleDate::addMinutes(OleDate::datePart(server), OleDate::hour(server) * 60.0);
        const double end = OleDate::addMinutes(hour, -gatherer.InterfaceTimezoneOffset());
        lastRun.setDefaultStart(start);
        lastRun.setDefaultEnd(end);
        AppLog().WriteLog(QStringLiteral("NT Service UTC Dates from: ") + OleDate::toGeneralDate(start) +
                              QStringLiteral(" to ") + OleDate::toGeneralDate(end),
                          5);
        return true;
    }
    if (!hideDateUi() && dialogs().pickDatesUTC) {
        report(QStringLiteral("Waiting for user to select import date range ..."));
        double start = 0, end = 0;
        if (!dialogs().pickDatesUTC(gatherer.CollectorTimeZoneID(), gatherer.CollectorTimeZoneOffset(),
                                    gatherer.InterfaceTimezoneOffset(), start, end)) {
            report(QStringLiteral("Import cancelled by user."));
            return false;
        }
        lastRun.setDefaultStart(start);
        lastRun.setDefaultEnd(end);
        ReportFixedRange(start, end);
        return true;
    }
    lastRun.setDefaultStart(dateSetting("OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE"));
    lastRun.setDefaultEnd(dateSetting("OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE"));
    return true;
}

void RunImport(CommonVarGatherer& gatherer, bool testMode) {
    report(QStringLiteral("Import started."));
    bool ok = false;
    try {
        CommonImport import;
        AppAInfoNavigator().LoadMap();
        ok = import.StartImport(gatherer, testMode);
    } catch (const std::exception& e) {
        // An unexpected failure must not pass for a finished import, nor end the service.
        const auto* appError = dynamic_cast<const AppError*>(&e);
        report(QStringLiteral("Error in RunImport : ") +
               (appError ? appError->text() : QString::fromLocal8Bit(e.what())));
        ok = false;
    }
    report(ok ? QStringLiteral("Import was successful.")
              : QStringLiteral("Import terminated with error(s)."));
    lastOutcome() = ok ? ImportOutcome::Succeeded : ImportOutcome::Failed;
}

void ImportAll(bool testMode) {
    if (AlreadyRunning()) return;
    RunningGuard guard;
    lastOutcome() = ImportOutcome::NotRun;
    std::unique_ptr<CommonVarGatherer> gatherer = PrepareImport();
    if (!gatherer) return;
    if (gatherer->TotalVariable() < 1) {
        report(QStringLiteral("Nothing to import into at this time."));
        return;
    }
    if (SelectImportDates(*gatherer)) RunImport(*gatherer, testMode);
}

void ImportSelectedVariables(bool testMode) {
    if (RunAsNTService()) {
        report(QStringLiteral("Operation is not supported in NTSERVICE mode."));
        return;
    }
    if (AlreadyRunning()) return;
    RunningGuard guard;
    lastOutcome() = ImportOutcome::NotRun;
    if (!dialogs().pickVariables) {
        report(QStringLiteral("Operation is not supported without the variable picker."));
        return;
    }
    std::unique_ptr<CommonVarGatherer> all = PrepareImport();
    if (!all) return;
    if (all->TotalVariable() < 1) {
        report(QStringLiteral("Nothing to import into at this time."));
        return;
    }
    bool cancelled = false;
    std::unique_ptr<CommonVarGatherer> chosen = dialogs().pickVariables(*all, cancelled);
    if (cancelled) {
        report(QStringLiteral("Import cancelled by user."));
        return;
    }
    if (!chosen) {
        report(QStringLiteral("Nothing returned. Unable to import."));
        return;
    }
    if (chosen->TotalVariable() < 1) {
        report(QStringLiteral("Nothing to import into at this time."));
        return;
    }
    report(QStringLiteral("User selected ") + QString::number(chosen->TotalVariable()) +
           QStringLiteral(" variable(s) in ") + QString::number(chosen->TotalFacility()) +
           QStringLiteral(" facility(s) that are linked to Collector ") +
           setting("VESKDRAQ\\G2_SERVER_INTERFACE_ID"));
    chosen->MoveFirst();
    while (!chosen->EOF_Facility()) {
        while (!chosen->EOF_Variable()) {
            report(QStringLiteral("User Selected Variable Detail : ") + chosen->Current_Facility() +
                       QLatin1Char('~') + QString::number(chosen->Current_Variable()),
                   1);
            chosen->MoveNext_Variable();
        }
        chosen->MoveNext_Facility();
    }
    if (SelectImportDates(*chosen)) RunImport(*chosen, testMode);
}

void ValidateCollectorVersion() {
    CollectorQueries::ClosingConnection root;
    if (!OpenRootConnection(root.connection)) return;
    try {
        const QString idText = setting("VESKDRAQ\\G2_SERVER_INTERFACE_ID");
        if (Variant(idText).toDouble() == 0) return;
        // The id is bound rather than pasted, so a hand-edited setting cannot change the statement.
        ado::Recordset rs = CollectorQueries::OpenBound(
            root.connection, QStringLiteral("select lu_version from g2_server where interface_id=?"),
            {Variant(Variant(idText).toInt32())});
        if (!rs.Eof()) {
            const Variant version = rs.Fields(0);
            if (version.isNull()) return;
            CheckInterfaceVersion(version.toText());
        }
    } catch (const std::exception&) {
        // The check is advisory: an unreadable version never stops an import.
    }
}

void CheckInterfaceVersion(const QString& version) {
    const QString program = ProgramVersion();
    if (version.isEmpty() || version == program) return;
    const QString message =
        QStringLiteral("The collector that you selected links to a different version (") + version +
        QStringLiteral(")  of the interface than the inteface that is current running (") + program +
        QStringLiteral(")");
    report(QStringLiteral("Warning : ") + message);
    AppMsgBox().QtxMsgBox(
        Variant(QStringLiteral("Warning :\n") + message +
                QStringLiteral("\nYou need to update your g2_server_lu file or link the collector "
                               "to the correct version in Vesk DRAQ client.")),
        16432, QStringLiteral("Version Validation Failed"), AppHelpFile(), 12230);
}

bool StartService() {
    // The scheduler lives as long as the process: the event loop drives its minute timer.
    static CommonNTSERVICE* service = nullptr;
    if (!service) service = new CommonNTSERVICE([] { ImportAll(false); });
    service->setCaption(QString::number(AppInfo::ProductNumber));
    service->RunNTService();
    // An end asked for during the first tick leaves nothing to run.
    return !service->EndRequested();
}
