#include "CommonFiles/foundation/ActivityLog.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/AppInfo.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"

namespace {

ActivitySink* g_sink = nullptr;
QString g_writeAsUser;

} // namespace

void SetActivitySink(ActivitySink* sink) {
    g_sink = sink;
}

ActivitySink* CurrentActivitySink() {
    return g_sink;
}

void LogActivity(const QString& text, int level) {
    if (!RunAsNTService() && g_sink && AppLog().Verbosity() >= level) {
        if (g_sink->lineCount() > 32000) g_sink->clearLines();
        g_sink->appendLine(text);
        if (g_sink->lineCount() > 20000) g_sink->clearLines();
    }
    AppLog().WriteLog(text, level);
}

void ClearActivityLog() {
    if (g_sink) g_sink->clearLines();
}

QString GetWriteAsUser() {
    if (!g_writeAsUser.isEmpty()) return g_writeAsUser;
    static const QString fallback = QStringLiteral("VIA_") + QLatin1String(AppInfo::ProductId);
    return fallback;
}

void SetWriteAsUser(const QString& user) {
    g_writeAsUser = user;
}
