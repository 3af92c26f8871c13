#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// Reads a log file as the activity view does: CR LF lines.
inline QStringList ReadLogLines(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString text = QString::fromUtf8(f.readAll());
    if (text.endsWith(QStringLiteral("\r\n"))) text.chop(2);
    if (text.isEmpty()) return {};
    return text.split(QStringLiteral("\r\n"));
}

// The messages of a log file, without their "hh:mm:ss : " stamps.
inline QStringList ReadLogMessages(const QString& path) {
    QStringList out;
    for (const QString& line : ReadLogLines(path))
        out.append(line.mid(11));
    return out;
}
