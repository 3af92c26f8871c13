#pragma once

#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "platform/xml/XmlElement.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <csignal>
#include <ostream>
#include <sys/resource.h>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// A real text log in a temporary folder, and the messages it holds (time stamps removed).
class TestLog {
public:
    explicit TestLog(int verbosity = 9) {
        log.setLogPath(dir.file("log"));
        log.setLogHandleFile(dir.file("k48213.log_handle"));
        log.setBufferLength(1);
        log.setEnabled(true);
        log.setVerbosity(static_cast<std::int16_t>(verbosity));
    }

    QStringList messages() {
        const QString name = log.currentFileName();
        if (name.isEmpty()) return {};
        QFile f(name);
        if (!f.open(QIODevice::ReadOnly)) return {};
        QStringList out;
        for (const QByteArray& raw : f.readAll().split('\n')) {
            QString line = QString::fromUtf8(raw);
            if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
            if (line.size() >= 11 && line.mid(8, 3) == QLatin1String(" : ")) out.append(line.mid(11));
        }
        return out;
    }
    bool contains(const QString& message) { return messages().contains(message); }

    TempDir dir;
    QTXLoggerTXT log;
};

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

inline void collectPaths(const XmlElement& parent, const QString& prefix, QStringList& out) {
    for (const XmlElement& child : parent.children()) {
        const QString path = prefix.isEmpty() ? child.name() : prefix + QLatin1Char('\\') + child.name();
        out.append(path);
        collectPaths(child, path, out);
    }
}

// The element paths below the data element of a configuration file, in document order; the file
// is read with the XML layer, not with the store under test.
inline QStringList elementPathsOfFile(const QString& path) {
    XmlElement root;
    if (!root.LoadXmlFile(path)) return {QStringLiteral("unreadable: ") + root.lastError()};
    QStringList out;
    collectPaths(root.firstChild(QStringLiteral("data")), QString(), out);
    return out;
}

// The value of a key as the file holds it (own text of the deepest element); "<missing>" when absent.
inline QString valueInFile(const XmlElement& data, const QString& key) {
    XmlElement cur = data;
    for (const QString& segment : key.split(QLatin1Char('\\'))) {
        cur = cur.firstChild(segment);
        if (cur.isNull()) return QStringLiteral("<missing>");
    }
    return cur.text();
}

// Stands in for a full disk: while it lives, the process may not grow any file beyond a few bytes.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        old_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lim = saved_;
        lim.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, old_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*old_)(int) = nullptr;
};
