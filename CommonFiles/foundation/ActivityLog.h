#pragma once

#include <QString>

// The main window's activity list as LogActivity sees it; the window registers itself, so the
// import and the scheduler never know about widgets.
class ActivitySink {
public:
    virtual ~ActivitySink() = default;
    virtual int lineCount() const = 0;
    virtual void appendLine(const QString& line) = 0; // appends and selects the new line
    virtual void clearLines() = 0;
};

// nullptr unregisters (the window does so when it closes).
void SetActivitySink(ActivitySink* sink);
ActivitySink* CurrentActivitySink();

// The one way the program reports progress: interactively, when the log's verbosity admits the
// level, to the activity list (emptied above 32000 lines before and above 20000 after the append),
// then in both modes to AppLog().
void LogActivity(const QString& text, int level);
void ClearActivityLog();

// The user written into target rows: the import's write-as user, or "VIA_K48213" when none is set.
QString GetWriteAsUser();
void SetWriteAsUser(const QString& user);
