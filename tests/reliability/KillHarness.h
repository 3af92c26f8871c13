#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// Kills the real k48213ctl with SIGKILL in the middle of a service import of the scenario, at
// chosen points (after a data-table seek, after a write, before and after a last-run update) and
// at random moments, then restarts it, and checks after every kill and every restart that the
// configuration file parses and the invariants of the oracle hold. A further run after each
// restart must change none of the rows already there. The clock is the real one: the scenario is
// laid out around today.
namespace reliability {

struct KillOptions {
    QString ctl;       // the k48213ctl program
    QString shim;      // the preloaded library that kills at a point
    QString helper;    // the harness program (its config-saver mode), for kills during saves
    int cycles = 5;    // kill attempts of imports
    int saveKills = 2; // kill attempts during configuration saves
    unsigned seed = 1;
    std::function<void(const QString&)> progress;
};

struct KillResult {
    int kills = 0; // children that SIGKILL ended
    int attempts = 0;
    int runs = 0;
    int violations = 0;
    int rowsLost = 0;
    int rowsDuplicated = 0;
    int crashes = 0;    // children ended by any other signal
    int failedRuns = 0; // restarts that did not report success
    QStringList failures;
};

KillResult runKillHarness(const KillOptions& options);

// The config-saver child: saves the configuration at path over and over, each save writing every
// key with the value of its generation, until killed. Returns only on a failed save.
int runConfigSaver(const QString& path);

} // namespace reliability
