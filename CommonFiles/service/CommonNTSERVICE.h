#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTXConfiguration;
class QTXLoggerTXT;
class QTXTimer;
class ServiceStopSignals;

// The scheduler of the service instance. A QObject rather than a window: the service runs on
// QCoreApplication with no display. A one-minute timer calls MyMinuteTimer_Timer, which runs the
// injected import when the schedule says it is due, after re-reading the configuration and the log
// verbosity, and then logs when it will wake up next.
//
// The import is injected so that this library does not depend on it; start-up passes
// [] { ImportAll(false); }. Every key the scheduler reads must have been defined (start-up does
// that before the scheduler is created).
//
// Ending: SIGTERM (the service manager's stop), SIGINT and Command2 ("end") quit the event loop once
// the tick under way, if any, has returned, so an import is never cut off half-way. Command1
// ("Stop") only stops the ticks.
class CommonNTSERVICE : public QObject {
    Q_OBJECT
public:
    using ImportAllFunction = std::function<void()>;

    // Load: computes the initial NextWakeUp from the configuration as it is now.
    explicit CommonNTSERVICE(ImportAllFunction importAll, QObject* parent = nullptr); // AppConfig(), AppLog()
    CommonNTSERVICE(ImportAllFunction importAll, QTXConfiguration& config, QTXLoggerTXT& log,
                    QObject* parent = nullptr);
    ~CommonNTSERVICE() override;

    // The window caption of the original form, kept for whoever shows or logs it; start-up sets the
    // product number.
    QString caption() const { return caption_; }
    void setCaption(const QString& value) { caption_ = value; }

    // Creates the minute timer ("NTService_Scheduler", 60000 ms), handles the stop signals, runs one
    // tick at once (an import already due runs inside this call), then enables the timer. A Stop or
    // end requested during that first tick keeps the timer off.
    void RunNTService();

    QTXTimer* MyMinuteTimer() const { return myMinuteTimer_; }
    double NextWakeUp() const { return nextWakeUp_; }
    bool InWakeUp() const { return inWakeUp_; }
    // True once SIGTERM, SIGINT or "end" asked the process to finish.
    bool EndRequested() const { return endRequested_; }

public slots:
    // One tick. A tick that arrives while another runs (the import lets events through) returns at
    // once and is not remembered.
    void MyMinuteTimer_Timer();
    // "Stop": no further ticks; an import under way finishes and still logs its sleep line.
    void Command1_Click();
    // "end": stops the ticks and quits the event loop after the current tick.
    void Command2_Click();
    // SIGTERM / SIGINT: "Service stop requested." at level 0, then as "end".
    void StopRequested();

private:
    void Form_Load();
    void ComputeNextWakeUp(bool initial);
    bool IsWakeUpDue();
    void ApplyLogVerbosity();
    void RunImportAll();
    void RequestEnd();
    void QuitEventLoop();
    void logWarnings(const QStringList& warnings);

    ImportAllFunction importAll_;
    QTXConfiguration& config_;
    QTXLoggerTXT& log_;
    QString caption_ = QStringLiteral("NTSERVICE MODE");
    QTXTimer* myMinuteTimer_ = nullptr;
    std::unique_ptr<ServiceStopSignals> stopSignals_;
    double nextWakeUp_ = 0.0;
    bool inWakeUp_ = false;
    bool stopped_ = false;
    bool endRequested_ = false;
};
