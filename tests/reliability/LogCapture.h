#pragma once

#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// A real text log in a temporary folder, read back as the file holds it.
class LogCapture {
public:
    explicit LogCapture(int verbosity = 9);

    QTXLoggerTXT& log() { return log_; }
    // The raw bytes of every log file written so far.
    QByteArray bytes() const;
    // Every line (split at CR LF) with its "hh:mm:ss : " prefix removed; lines without the
    // prefix are kept whole.
    QStringList messages() const;
    bool contains(const QString& message) const { return messages().contains(message); }
    // Lines that begin with a time stamp, as a reader of the file would count log entries.
    int stampedLineCount() const;

private:
    TempDir dir_;
    QTXLoggerTXT log_;
};
