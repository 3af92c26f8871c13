#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class CommonVarGatherer;
namespace ado {
class Connection;
}

// How imports start, in both run modes: prepare (target, collector, linked variables, last-run
// and lock dates), settle the date range, run, report. Every step reports through LogActivity;
// message boxes go through AppMsgBox, which answers them silently in service mode.
//
// Only one import runs at a time in the process: the import lets events through, so a menu command
// or a timer can arrive during one, and a second call then reports "An import is already running."
// and returns without touching the target.

// The dialogs an import may need, registered by the main window; the import never sees a widget.
// Without a registered dialog an interactive import takes the headless path: fixed dates (as with
// OPTIONS\NOIU\ASKFORDATES\HIDE_UI "TRUE"), no variable picker, no super-user login.
struct ImportDialogs {
    // Returns false when the operator cancelled; userName is the name entered.
    std::function<bool(ado::Connection& con, QString& userName)> superUserLogin;
    // The chosen variables as a new gatherer (nothing: nothing chosen); cancelled set on Cancel.
    std::function<std::unique_ptr<CommonVarGatherer>(CommonVarGatherer& all, bool& cancelled)> pickVariables;
    // The range an operator picked; false when cancelled.
    std::function<bool(double& start, double& end)> pickDates;
    // The same for an indirect-type collector, initialised with the collector's zone and offsets.
    std::function<bool(std::int32_t timeZoneId, double collectorOffset, double interfaceOffset, double& start,
                       double& end)>
        pickDatesUTC;
};
void SetImportDialogs(ImportDialogs dialogs);

// The outcome of the last ImportAll or ImportSelectedVariables of the process, for headless callers.
enum class ImportOutcome {
    NotRun,    // prepared nothing or was stopped before the run (no collector, cancelled, nothing to import)
    Succeeded, // "Import was successful."
    Failed,    // "Import terminated with error(s)."
};
ImportOutcome LastImportOutcome();
bool ImportIsRunning();

void ImportAll(bool testMode);
void ImportSelectedVariables(bool testMode);
std::unique_ptr<CommonVarGatherer> PrepareImport();
bool SelectImportDates(CommonVarGatherer& gatherer);
bool SelectImportDatesUTC(CommonVarGatherer& gatherer);
void RunImport(CommonVarGatherer& gatherer, bool testMode);
void ValidateCollectorVersion();
void CheckInterfaceVersion(const QString& version);

// "major.minor.revision" of this release.
QString ProgramVersion();

// The service mode start: the scheduler with ImportAll(false) as its import, kept for the life
// of the process.
bool StartService();
