#pragma once

#include <QObject>

class QSocketNotifier;

// Turns the service manager's stop (SIGTERM) and an operator's Ctrl+C (SIGINT) into a Qt signal
// delivered by the event loop, so the scheduler can end the process between two ticks instead of
// being cut off in the middle of a write. The signal handler only writes one byte into a socket
// pair; everything else happens on the event loop's thread.
//
// One instance handles the signals at a time: a second one created while the first lives stays
// inert (isActive() false). Destruction restores the handlers that were in place before.
class ServiceStopSignals : public QObject {
    Q_OBJECT
public:
    explicit ServiceStopSignals(QObject* parent = nullptr);
    ~ServiceStopSignals() override;
    ServiceStopSignals(const ServiceStopSignals&) = delete;
    ServiceStopSignals& operator=(const ServiceStopSignals&) = delete;

    bool isActive() const { return active_; }

signals:
    void stopRequested(int signalNumber);

private:
    void readPending();

    bool active_ = false;
    QSocketNotifier* notifier_ = nullptr;
};
