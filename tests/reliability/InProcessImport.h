#pragma once

#include "CommonFiles/startup/CommonGlobals.h"
#include "tests/reliability/ImportScenario.h"

#include <QString>
#include <QStringList>

#include <memory>

class ScratchDir;

// Runs service imports of the scenario inside the test process, so that the database layer's
// fault hook reaches every call: the process set up as the service would be (silent message
// boxes, the service protocol, the scenario's settings), the wall clock replaced by `now` so that
// the range end and the last-run dates are known in advance, and a text log of its own.
namespace reliability {

class InProcessImport {
public:
    // Once per process: the application folder, every configuration key, silent boxes, and a
    // QCoreApplication for the timers that run during waits.
    static void initProcess();

    InProcessImport(ImportScenario& scenario, double now, int recoverySeconds = 0);
    ~InProcessImport();
    InProcessImport(const InProcessImport&) = delete;
    InProcessImport& operator=(const InProcessImport&) = delete;

    // One ImportAll of the service, with a fresh log; its outcome.
    ImportOutcome run();
    double now() const { return now_; }
    void setNow(double now);

    // The log's folder and messages (time stamps removed) of the last run.
    QString logFolder() const;
    QStringList logMessages() const;

private:
    ImportScenario& scenario_;
    double now_;
    int recoverySeconds_;
    std::unique_ptr<ScratchDir> log_;
};

} // namespace reliability
