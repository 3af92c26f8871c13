#include "CommonFiles/startup/ProgramEntryPoint.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/AppInfo.h"
#include "CommonFiles/foundation/NetInfo.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"

namespace {

bool isAsciiWordIgnoringCase(const QString& text, QLatin1String word) {
    // Plain ASCII folding: QString::toUpper would also turn some non-ASCII letters into S or K.
    if (text.size() != word.size()) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        const char16_t upper = (c >= u'a' && c <= u'z') ? char16_t(c - (u'a' - u'A')) : c;
        if (upper != static_cast<char16_t>(word[i].unicode())) return false;
    }
    return true;
}

} // namespace

bool IsServiceCommandLine(const QStringList& arguments) {
    return arguments.size() == 1 && isAsciiWordIgnoringCase(arguments.front(), QLatin1String("NTSERVICE"));
}

QStringList StartupBlock(const NetInfo& netInfo) {
    const QString version = QString::number(AppInfo::VersionMajor) + QLatin1Char('.') +
                            QString::number(AppInfo::VersionMinor) + QLatin1Char('.') +
                            QString::number(AppInfo::VersionRevision);
    const QString build = QString::fromLatin1(AppInfo::Build);
    return {
        QString::fromLatin1(AppInfo::ProductComment),
        QString::fromLatin1(AppInfo::Title) + QStringLiteral(" version ") + version +
            QStringLiteral(" (Build ") + build + QLatin1Char(')'),
        QStringLiteral("Build Numbers : ") + build + QStringLiteral(" (Application)  ") +
            QString::fromLatin1(AppInfo::TypeBuild) + QStringLiteral(" (Type) ") +
            QString::fromLatin1(AppInfo::PlatformBuild) + QStringLiteral(" (Platform)"),
        QStringLiteral("ID: ") + QString::number(AppInfo::ProductNumber),
        QStringLiteral("Running on ") + netInfo.AllTextDump(),
    };
}

StartupOutcome Main(const QStringList& arguments) {
    // 1. The singletons, in their fixed order.
    CreateSingletons();
    // AppConfig (the configuration library) is created here, after AppMsgBox.

    // 2. The run mode, fixed for the life of the process.
    SetRunAsNTService(IsServiceCommandLine(arguments));
    const bool service = RunAsNTService();

    // 3. The log; its file opens with the first line written.
    QTXLoggerTXT& log = AppLog();
    log.setLogPath(AppDirectory() + QStringLiteral("/log"));
    log.setEnabled(true);
    log.setBufferLength(1); // the service activity view reads the file while it grows
    log.setPostfix(service ? QStringLiteral("_ntservice") : QStringLiteral("_interactive"));
    log.setLogHandleAssertion(service);

    // 4. Host facts.
    AppNetInfo().GetNetInfo();

    // 5. The start-up block, at level 0 so it is written whatever the configured verbosity.
    for (const QString& line : StartupBlock(AppNetInfo()))
        log.WriteLog(line, 0);

    // 6. Wire the helpers.
    AppMsgBox().setLogHandler(&log);
    AppMsgBox().setSilentOperation(service);
    // AppConfig's LogHandler is wired here, with the configuration library.

    // ---- configuration and mode start ----
    // 7. LoadStartupConfiguration (Failed when it returns false: nothing more is logged),
    // 8. the environment dump, 9. SetHelpFile, 10. AppConfig dumpConfiguration,
    // 11. StartService or StartInteractive, then RunEventLoop.
    return StartupOutcome::Exit;
}
