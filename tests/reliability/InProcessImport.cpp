#include "tests/reliability/InProcessImport.h"
#include "tests/reliability/ScratchDir.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/import/CommonImport.h"
#include "custom/CustomConfiguration.h"
#include "custom/CustomSource.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

namespace reliability {

namespace {
double& clockValue() {
    static double now = 0;
    return now;
}
} // namespace

void InProcessImport::initProcess() {
    static const bool done = [] {
        static TempDir home;
        qputenv("K48213_HOME", home.path().toUtf8());
        static int argc = 1;
        static char name[] = "test_reliability";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
        DefineStartupKeys(AppConfig());
        CustomConfiguration::DefineTree(AppConfig());
        AppMsgBox().setLogHandler(&AppLog());
        AppMsgBox().setSilentOperation(true);
        return true;
    }();
    (void)done;
}

InProcessImport::InProcessImport(ImportScenario& scenario, double now, int recoverySeconds)
    : scenario_(scenario), now_(now), recoverySeconds_(recoverySeconds) {
    initProcess();
    clockValue() = now;
    OleDate::setClockSource([] { return clockValue(); });
}

InProcessImport::~InProcessImport() {
    OleDate::setClockSource({});
    SharedSourceReader().reset();
    SetRunAsNTService(false);
    AppLog().closeLog();
    AppLog().setEnabled(false);
}

void InProcessImport::setNow(double now) {
    now_ = now;
    clockValue() = now;
}

ImportOutcome InProcessImport::run() {
    clockValue() = now_;
    scenario_.applyToAppConfig(recoverySeconds_);
    AppLog().closeLog();
    log_ = std::make_unique<ScratchDir>();
    AppLog().setLogPath(log_->path());
    AppLog().setLogHandleFile(log_->file(QStringLiteral("k48213.log_handle")));
    AppLog().setBufferLength(1);
    AppLog().setVerbosity(1);
    AppLog().setEnabled(true);
    SetRunAsNTService(true);
    SetWriteAsUser(QString());
    SharedSourceReader().reset();
    ImportAll(false);
    AppLog().closeLog();
    return LastImportOutcome();
}

QString InProcessImport::logFolder() const {
    return log_ ? log_->path() : QString();
}

QStringList InProcessImport::logMessages() const {
    QStringList out;
    if (!log_) return out;
    const QDir dir(log_->path());
    for (const QString& name : dir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QString& line :
             QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            out.append(line.mid(11));
    }
    return out;
}

} // namespace reliability
