#include "CommonFiles/foundation/AppGlobals.h"

#include "CommonFiles/foundation/NetInfo.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool g_runAsNTService = false;

QString executablePath() {
    static const QString path = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
    return path;
}

} // namespace

NetInfo& AppNetInfo() {
    static NetInfo instance;
    return instance;
}

QTXLoggerTXT& AppLog() {
    static QTXLoggerTXT instance;
    return instance;
}

QTXmsgBoxHandler& AppMsgBox() {
    static QTXmsgBoxHandler instance;
    return instance;
}

bool RunAsNTService() {
    return g_runAsNTService;
}

void SetRunAsNTService(bool value) {
    g_runAsNTService = value;
}

QString AppDirectory() {
    const QString home = qEnvironmentVariable("K48213_HOME");
    QString dir = home.isEmpty() ? QFileInfo(executablePath()).absolutePath() : QDir(home).absolutePath();
    dir = QDir::cleanPath(dir);
    while (dir.size() > 1 && dir.endsWith(QLatin1Char('/')))
        dir.chop(1);
    return dir;
}

QString ExecutableBaseName() {
    return QFileInfo(executablePath()).completeBaseName();
}

void CreateSingletons() {
    // AppIcons: the icon manager belongs to the ui library and is created with the first window.
    AppNetInfo();
    AppLog();
    AppMsgBox();
}
