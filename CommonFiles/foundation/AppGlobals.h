#pragma once

#include <QString>

class NetInfo;
class QTXLoggerTXT;
class QTXmsgBoxHandler;

// The process-wide singletons. Start-up creates them in their fixed order with CreateSingletons();
// each is also created on first use, so a test needs no start-up. None is ever replaced.
QTXLoggerTXT& AppLog();
QTXmsgBoxHandler& AppMsgBox();
NetInfo& AppNetInfo();

// Fixed by start-up from the command line for the life of the process.
bool RunAsNTService();
void SetRunAsNTService(bool value);

// The application folder: the executable's folder, or $K48213_HOME when set (tests, packaged
// installs). Absolute, without a trailing '/'.
QString AppDirectory();
// The executable's file name without its extension: "k48213" for the program.
QString ExecutableBaseName();

// AppIcons (the ui's icon manager, created by the windows), AppNetInfo, AppLog, AppMsgBox, in this
// order. AppConfig follows, created by the configuration library.
void CreateSingletons();
