#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

class QTimer;

// A periodic timer on the one thread: while Enabled with an Interval above 0 it calls
// TimerCallback every Interval milliseconds, which logs the entry and exit lines around the
// Timer event. Interval 0 never fires, whatever Enabled says.
class QTXTimer : public QObject {
    Q_OBJECT
public:
    explicit QTXTimer(QObject* parent = nullptr); // id: a new GUID, usually replaced by a name
    ~QTXTimer() override;

    bool Enabled() const { return enabled_; }
    void setEnabled(bool value);
    QString id() const { return id_; }
    void setId(const QString& value) { id_ = value; }
    // The window that owns the timer: kept for callers written against it; Qt timers need none.
    void sethWnd(QObject* window) { hWnd_ = window; }
    QObject* hWnd() const { return hWnd_; }
    std::int32_t Interval() const { return interval_; }
    void setInterval(std::int32_t milliseconds); // a negative value is ignored
    // Handlers that prefer a function to the signal; called after the signal.
    void setCallback(std::function<void()> callback) { callback_ = std::move(callback); }

    void RaiseTimer();

signals:
    void Timer();

private:
    QTimer* timer_;
    QObject* hWnd_ = nullptr;
    std::int32_t interval_ = 0;
    bool enabled_ = false;
    QString id_;
    std::function<void()> callback_;
};

// The system timer's callback: "<id> callback entered." and "<id> callback exited." at level 2
// around RaiseTimer.
void TimerCallback(QTXTimer& timer);
