#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>

class QFile;

// The program's text log: one file per process run and calendar day under LogPath, named
// Prefix + "mm_dd_yyyy__hh_nn_ss" + Postfix + ".log", each line "hh:mm:ss : message" ending in
// CR LF. A message is written when Verbosity is at least its level (0..9). In service mode the
// current file's path is published in the log-handle file, where the activity view finds it.
//
// The clock is OleDate::now(), so the day change and the retention hour follow an injected clock.
// The log never reports a failure: an unopenable file loses the message and the next call tries
// again.
class QTXLoggerTXT {
public:
    QTXLoggerTXT(); // LogPath defaults to AppDirectory() + "/log" (created when set, not here)
    ~QTXLoggerTXT();
    QTXLoggerTXT(const QTXLoggerTXT&) = delete;
    QTXLoggerTXT& operator=(const QTXLoggerTXT&) = delete;

    void setLogHandleAssertion(bool value) { logHandleAssertion_ = value; }
    bool LogHandleAssertion() const { return logHandleAssertion_; }
    // The file that names the current log; AppDirectory()/<ExecutableBaseName()>.log_handle by
    // default. It holds one line, the path, ending in CR LF.
    void setLogHandleFile(const QString& path) { logHandleFile_ = path; }
    QString LogHandleFile() const { return logHandleFile_; }

    void setLogPath(const QString& path); // also creates the folder; a failure is ignored
    QString LogPath() const { return logPath_; }
    void setPrefix(const QString& value) { prefix_ = value; }
    QString Prefix() const { return prefix_; }
    void setPostfix(const QString& value) { postfix_ = value; }
    QString Postfix() const { return postfix_; }
    void setVerbosity(std::int16_t value) { verbosity_ = value; }
    std::int16_t Verbosity() const { return verbosity_; }
    // Characters held before they reach the disk, fixed when a file is opened; 1 = every line
    // at once (what start-up uses, so the activity view sees lines as they are written).
    void setBufferLength(std::int16_t value) { bufferLength_ = value; }
    std::int16_t BufferLength() const { return bufferLength_; }
    void setEnabled(bool value) { enabled_ = value; }
    bool Enabled() const { return enabled_; }

    void closeLog();
    // Between these the lines are collected and reach the file in one write at the end, whatever
    // the buffer length: for lines that become true together (a variable's slots written in one
    // transaction). Nests; the outermost end writes.
    void BeginLineBatch();
    void EndLineBatch();
    // "[Log Verbosity is set to N, Log Date is MM/dd/yyyy]" at level 0.
    void AssertVerbosity();
    void WriteLog(const QString& message, int level);
    // Arms the removal of files older than days (clamped to 7..1000) from the log folder.
    void LSM_Init(int days);
    // One removal pass, at most once per clock hour.
    void LSM_Run();

    QString currentFileName() const; // "" when no file is open
    std::int16_t RetentionDays() const { return retentionDays_; }

    static double GetLastModifiedFileTime(const QString& path);  // local OLE date; 0 when unreadable
    static std::int32_t GetFileSizeInBytes(const QString& path); // low 32 bits; 0 when unreadable
    static bool KillFileAndDiscardError(const QString& path);

private:
    void openFile();
    void writeLine(const QString& message);
    void flushPending();

    QString logPath_;
    QString prefix_;
    QString postfix_;
    QString logHandleFile_;
    std::int16_t verbosity_ = 0;
    std::int16_t bufferLength_ = 1024;
    bool enabled_ = false;
    bool logHandleAssertion_ = false;

    std::unique_ptr<QFile> file_;
    QByteArray pending_;
    int openBufferLength_ = 1;
    int lineBatches_ = 0;
    QString currentFile_;
    bool open_ = false;
    double fileDate_ = 0.0;

    QString retentionPath_;
    std::int16_t retentionDays_ = 7;
    bool retentionReady_ = false;
    double lastRetentionHour_ = 0.0;
};
