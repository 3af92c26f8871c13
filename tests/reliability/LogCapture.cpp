#include "tests/reliability/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

LogCapture::LogCapture(int verbosity) {
    log_.setLogPath(dir_.file("log"));
    log_.setLogHandleFile(dir_.file("k48213.log_handle"));
    log_.setBufferLength(1);
    log_.setEnabled(true);
    log_.setVerbosity(static_cast<std::int16_t>(verbosity));
}

QByteArray LogCapture::bytes() const {
    QByteArray all;
    const QDir folder(dir_.file("log"));
    for (const QString& name : folder.entryList(QDir::Files, QDir::Name)) {
        QFile f(folder.filePath(name));
        if (f.open(QIODevice::ReadOnly)) all += f.readAll();
    }
    return all;
}

QStringList LogCapture::messages() const {
    QStringList out;
    const QString text = QString::fromUtf8(bytes());
    QStringList lines = text.split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d : "));
    for (const QString& line : lines)
        out.append(stamp.match(line).hasMatch() ? line.mid(11) : line);
    return out;
}

int LogCapture::stampedLineCount() const {
    static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d : "));
    int n = 0;
    // Any line break counts: a reader splits at LF or CR alike.
    for (const QString& line :
         QString::fromUtf8(bytes()).split(QRegularExpression(QStringLiteral("\r\n|\r|\n"))))
        if (stamp.match(line).hasMatch()) ++n;
    return n;
}
