#include "CommonFiles/startup/ProgramEntryPoint.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/AppInfo.h"
#include "CommonFiles/foundation/NetInfo.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/LoadStartupConfiguration.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "custom/CustomConfiguration.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <unistd.h>
#include <sys/syscall.h>

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

std::function<bool()>& serviceStart() {
    static std::function<bool()> start;
    return start;
}

std::function<bool()>& interactiveStart() {
    static std::function<bool()> start;
    return start;
}

QString& helpFile() {
    static QString file;
    return file;
}

} // namespace

void SetModeStarts(std::function<bool()> startService, std::function<bool()> startInteractive) {
    serviceStart() = std::move(startService);
    interactiveStart() = std::move(startInteractive);
}

QString AppHelpFile() { return helpFile(); }

void SetHelpFile() {
    // Help is one HTML page per topic in the help folder beside the executable.
    QString dir = AppDirectory();
    if (!dir.endsWith(QLatin1Char('/'))) dir += QLatin1Char('/');
    helpFile() = dir + QStringLiteral("help");
}

QStringList EnvironmentDump(const QStringList& arguments, bool service) {
    // The process-level facts on Linux: the kernel's id of the main thread; a service shows in no
    // task list and runs unattended, an interactive run the opposite; the process id stands in
    // for the module instance handle.
    const auto threadId = static_cast<long long>(::syscall(SYS_gettid));
    return {
        QStringLiteral("PATH=") + AppDirectory(),
        QStringLiteral("EXENAME=") + ExecutableBaseName(),
        QStringLiteral("COMMAND=") + arguments.join(QLatin1Char(' ')),
        QStringLiteral("THREAD_ID=") + QString::number(threadId),
        QStringLiteral("TASK_VISIBLE=") + (service ? QStringLiteral("False") : QStringLiteral("True")),
        QStringLiteral("TASK_UNATTENTED_APP=") + (service ? QStringLiteral("True") : QStringLiteral("False")),
        QStringLiteral("HINSTANCE=") + QString::number(static_cast<long long>(::getpid())),
    };
}

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
    AppConfig(); // the configuration store comes last, after the message-box handler

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
    AppConfig().setLogHandler(&log);

    // 7. The configuration; an unreadable file ends the process without another line.
    if (!LoadStartupConfiguration(&CustomConfiguration::DefineTree)) return StartupOutcome::Failed;

    // 8. Environment dump.
    for (const QString& line : EnvironmentDump(arguments, service)) log.WriteLog(line, 2);

    // 9. Help.
    SetHelpFile();
    log.WriteLog(QStringLiteral("HELPFILE=") + AppHelpFile(), 2);

    // 10. Configuration dump.
    AppConfig().dumpConfiguration();

    // 11. The mode start; the process then lives in its event loop.
    const std::function<bool()>& start = service ? serviceStart() : interactiveStart();
    if (!start) return StartupOutcome::Exit;
    return start() ? StartupOutcome::RunEventLoop : StartupOutcome::Exit;
}
