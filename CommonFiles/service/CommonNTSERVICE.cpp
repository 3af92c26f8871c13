#include "CommonFiles/service/CommonNTSERVICE.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXTimer.h"
#include "CommonFiles/service/ScheduleSettings.h"
#include "CommonFiles/service/ServiceStopSignals.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <exception>

namespace {

// The number an error without its own number is logged with ("Internal error").
constexpr int kUnnumberedError = 51;

// "number - description" of the exception being handled.
QString currentErrorText() {
    try {
        throw;
    } catch (const AppError& e) {
        return e.text();
    } catch (const std::exception& e) {
        return QString::number(kUnnumberedError) + QStringLiteral(" - ") + QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QString::number(kUnnumberedError) + QStringLiteral(" - Internal error");
    }
}

} // namespace

CommonNTSERVICE::CommonNTSERVICE(ImportAllFunction importAll, QObject* parent)
    : CommonNTSERVICE(std::move(importAll), AppConfig(), AppLog(), parent) {}

CommonNTSERVICE::CommonNTSERVICE(ImportAllFunction importAll, QTXConfiguration& config, QTXLoggerTXT& log,
                                 QObject* parent)
    : QObject(parent), importAll_(std::move(importAll)), config_(config), log_(log) {
    Form_Load();
}

CommonNTSERVICE::~CommonNTSERVICE() = default;

void CommonNTSERVICE::Form_Load() {
    ComputeNextWakeUp(true);
}

void CommonNTSERVICE::RunNTService() {
    delete myMinuteTimer_;
    myMinuteTimer_ = new QTXTimer(this);
    myMinuteTimer_->sethWnd(this);
    myMinuteTimer_->setInterval(60000);
    myMinuteTimer_->setId(QStringLiteral("NTService_Scheduler"));
    connect(myMinuteTimer_, &QTXTimer::Timer, this, &CommonNTSERVICE::MyMinuteTimer_Timer);

    if (!stopSignals_) {
        stopSignals_ = std::make_unique<ServiceStopSignals>();
        connect(stopSignals_.get(), &ServiceStopSignals::stopRequested, this,
                &CommonNTSERVICE::StopRequested);
    }

    MyMinuteTimer_Timer();
    // A Stop that came while the first import ran must hold: enabling the timer regardless would
    // quietly undo it.
    if (!stopped_) myMinuteTimer_->setEnabled(true);
}

void CommonNTSERVICE::ComputeNextWakeUp(bool initial) {
    QStringList warnings;
    const ScheduleSettings settings = ReadScheduleSettings(config_, &warnings);
    logWarnings(warnings);
    nextWakeUp_ = ::ComputeNextWakeUp(settings, OleDate::now(), initial);
}

bool CommonNTSERVICE::IsWakeUpDue() {
    if (!IsDue(nextWakeUp_, OleDate::now())) return false;
    ComputeNextWakeUp(false);
    return true;
}

void CommonNTSERVICE::ApplyLogVerbosity() {
    QStringList warnings;
    const int verbosity =
        WakeUpVerbosity(config_.item(QStringLiteral("OPTIONS\\LOG_VERBOSITY")), log_.Verbosity(), &warnings);
    logWarnings(warnings);
    log_.setVerbosity(static_cast<std::int16_t>(verbosity));
    log_.AssertVerbosity();
}

void CommonNTSERVICE::RunImportAll() {
    // Nothing may escape into the event loop: the service would die with the error, or keep
    // InWakeUp set and never import again. The error is logged and the next wake-up tries anew.
    try {
        if (importAll_) importAll_();
    } catch (...) {
        log_.WriteLog(currentErrorText(), 0);
    }
}

void CommonNTSERVICE::MyMinuteTimer_Timer() {
    if (inWakeUp_) return;
    inWakeUp_ = true;
    try {
        if (IsWakeUpDue() && config_.ReadConfig()) {
            ApplyLogVerbosity();
            RunImportAll();
            log_.WriteLog(QStringLiteral("Going to Sleep mode. Will next wake up at : ") +
                              OleDate::toMmDdYyyyHhNnSs(nextWakeUp_),
                          0);
        }
    } catch (...) {
        // Only a key that was never defined can get here: a fault of the program, logged each time
        // rather than leaving InWakeUp set for good.
        log_.WriteLog(currentErrorText(), 0);
    }
    inWakeUp_ = false;
    if (endRequested_) QuitEventLoop();
}

void CommonNTSERVICE::Command1_Click() {
    stopped_ = true;
    if (myMinuteTimer_) myMinuteTimer_->setEnabled(false);
}

void CommonNTSERVICE::Command2_Click() {
    RequestEnd();
}

void CommonNTSERVICE::StopRequested() {
    if (endRequested_) return;
    log_.WriteLog(QStringLiteral("Service stop requested."), 0);
    RequestEnd();
}

void CommonNTSERVICE::RequestEnd() {
    Command1_Click();
    endRequested_ = true;
    // During a tick the loop is left when the tick returns (see MyMinuteTimer_Timer).
    if (!inWakeUp_) QuitEventLoop();
}

void CommonNTSERVICE::QuitEventLoop() {
    // exit() only reaches loops that are running. Before the main loop has started (the first tick
    // runs inside RunNTService) the request waits in the queue for it.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
    else
        QMetaObject::invokeMethod(
            this, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
}

void CommonNTSERVICE::logWarnings(const QStringList& warnings) {
    for (const QString& line : warnings)
        log_.WriteLog(line, 0);
}
