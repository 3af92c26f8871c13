#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class NetInfo;

// What main() does once Main has returned.
enum class StartupOutcome {
    RunEventLoop, // a mode window is up: the process lives on in the event loop
    Exit,         // nothing left to run: end with exit code 0
    Failed,       // start-up could not complete (the configuration was unreadable): exit code 1
};

// True only for a single argument that is "NTSERVICE" in any letter case, with no blanks around
// it; anything else (no argument, more arguments) is interactive. `arguments` excludes the
// program's own name.
bool IsServiceCommandLine(const QStringList& arguments);

// The five lines of the start-up block, in order, for the given host facts.
QStringList StartupBlock(const NetInfo& netInfo);

// The program's entry: singletons, run mode, log, host facts, start-up block, then configuration
// and the mode start. `arguments` is the command line as received, without the program's name.
StartupOutcome Main(const QStringList& arguments);

// The two mode starts (the service scheduler, the main window); main() registers them, since the
// libraries that hold them build on this one. Each returns true when it left something running.
void SetModeStarts(std::function<bool()> startService, std::function<bool()> startInteractive);

// The environment dump's lines, in order.
QStringList EnvironmentDump(const QStringList& arguments, bool service);

// The application's help: the help folder beside the executable.
void SetHelpFile();
QString AppHelpFile();
