#include "CommonFiles/foundation/QTXTimer.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXguid.h"

#include <QTimer>

QTXTimer::QTXTimer(QObject* parent) : QObject(parent), timer_(new QTimer(this)), id_(QTXguid::GetNewGUID()) {
    timer_->setTimerType(Qt::CoarseTimer);
    connect(timer_, &QTimer::timeout, this, [this] { TimerCallback(*this); });
}

QTXTimer::~QTXTimer() {
    timer_->stop();
}

void QTXTimer::setEnabled(bool value) {
    if (enabled_) timer_->stop();
    enabled_ = value;
    if (interval_ > 0 && value) timer_->start(interval_);
}

void QTXTimer::setInterval(std::int32_t milliseconds) {
    if (milliseconds < 0) return;
    interval_ = milliseconds;
    setEnabled(enabled_);
}

void QTXTimer::RaiseTimer() {
    emit Timer();
    if (callback_) callback_();
}

void TimerCallback(QTXTimer& timer) {
    // A handler may rename or even destroy its timer; the exit line names the timer that fired.
    const QString id = timer.id();
    AppLog().WriteLog(id + QStringLiteral(" callback entered."), 2);
    timer.RaiseTimer();
    AppLog().WriteLog(id + QStringLiteral(" callback exited."), 2);
}
