#pragma once

#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>
#include <utility>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

using Settings = std::vector<std::pair<const char*, const char*>>;

inline const QString kSchedulePrefix = QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\");
inline const QString kSleepLine = QStringLiteral("Going to Sleep mode. Will next wake up at : ");

// 10 March 2026 at the given time; day offsets reach the neighbouring days.
inline double at(int hour, int minute, int second = 0, int ms = 0, int dayOffset = 0) {
    return OleDate::addDays(OleDate::fromParts(2026, 3, 10, hour, minute, second, ms), dayOffset);
}

// A real configuration file and a real text log in a temporary folder, as start-up leaves them
// for the scheduler: every key defined, the file written and read back.
class ServiceFolder {
public:
    explicit ServiceFolder(const Settings& settings = {}) {
        log.setLogPath(dir.file("log"));
        log.setLogHandleFile(dir.file("k48213.log_handle"));
        log.setBufferLength(1);
        log.setEnabled(true);
        log.setVerbosity(0);
        config.setPath(configPath());
        config.setLogHandler(&log);
        DefineStartupKeys(config);
        for (const auto& [key, value] : settings)
            config.setItem(QString::fromUtf8(key), QString::fromUtf8(value));
        EXPECT_TRUE(config.SaveConfig());
        EXPECT_TRUE(config.ReadConfig());
    }

    QString configPath() const { return dir.file("k48213.xml"); }

    // Changes keys in the file only, as an operator editing it while the service runs. A file
    // that no longer reads is replaced by the defaults with these keys.
    void editFile(const Settings& settings) {
        QTXConfiguration other;
        other.setPath(configPath());
        DefineStartupKeys(other);
        other.ReadConfig();
        for (const auto& [key, value] : settings)
            other.setItem(QString::fromUtf8(key), QString::fromUtf8(value));
        ASSERT_TRUE(other.SaveConfig());
    }

    void corruptFile() {
        QFile f(configPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("<qtxconfigurationxml><spec");
    }

    // Every message of every log file in the folder, oldest file first, time stamps removed.
    QStringList messages() const {
        QStringList out;
        QDir logDir(dir.file("log"));
        QStringList files = logDir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
        for (const QString& name : files) {
            QFile f(logDir.filePath(name));
            if (!f.open(QIODevice::ReadOnly)) continue;
            for (const QByteArray& raw : f.readAll().split('\n')) {
                QString line = QString::fromUtf8(raw);
                if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
                if (line.size() >= 11 && line.mid(8, 3) == QLatin1String(" : ")) out.append(line.mid(11));
            }
        }
        return out;
    }

    // The dates of the "Going to Sleep mode" lines, in order.
    QStringList wakeUpLines() const {
        QStringList out;
        for (const QString& m : messages())
            if (m.startsWith(kSleepLine)) out.append(m.mid(kSleepLine.size()));
        return out;
    }

    TempDir dir;
    QTXLoggerTXT log;
    QTXConfiguration config;
};

inline QStringList formatted(const std::vector<double>& dates) {
    QStringList out;
    for (double d : dates)
        out.append(OleDate::toMmDdYyyyHhNnSs(d));
    return out;
}
