#pragma once

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "custom/CustomConfiguration.h"
#include "tests/support/TempDir.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// The process-wide log written into a temporary folder, and the K48213 settings set to their
// defaults, for the length of one test.
class SourceTestBase : public testing::Test {
protected:
    void SetUp() override {
        QTXLoggerTXT& log = AppLog();
        log.closeLog();
        log.setLogPath(logDir_.path());
        log.setPrefix(QString());
        log.setPostfix(QStringLiteral("_source"));
        log.setBufferLength(1);
        log.setEnabled(true);
        log.setVerbosity(9);

        CustomConfiguration::DefineTree(AppConfig());
        setSetting("K48213\\SITE_ID", "SITEID");
        setSetting("K48213\\SQL_USERNAME", "username");
        setSetting("K48213\\SQL_PASSWORD", "tilvorna");
        setSetting("K48213\\SQL_URL", "sql.senvista.example");
        setSetting("K48213\\DATA_TABLE", "");
    }

    void TearDown() override {
        AppLog().closeLog();
        AppLog().setEnabled(false);
        AppLog().setVerbosity(0);
    }

    static void setSetting(const char* key, const QString& value) {
        AppConfig().setItem(QString::fromLatin1(key), value);
    }
    static QString settingValue(const char* key) { return AppConfig().item(QString::fromLatin1(key)); }

    // The messages written since the last call, without their time stamps.
    static QStringList takeLogMessages() {
        const QString name = AppLog().currentFileName();
        AppLog().closeLog();
        QStringList out;
        if (name.isEmpty()) return out;
        QFile file(name);
        if (!file.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "cannot read " << name.toStdString();
            return out;
        }
        const QString content = QString::fromUtf8(file.readAll());
        file.close();
        // Files opened within the same second share a name, and the log appends.
        QFile::remove(name);
        QStringList lines = content.split(QStringLiteral("\r\n"));
        if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
        for (const QString& line : lines)
            out << line.mid(11);
        return out;
    }

    static bool anyStartsWith(const QStringList& lines, const QString& prefix) {
        for (const QString& line : lines)
            if (line.startsWith(prefix)) return true;
        return false;
    }

private:
    TempDir logDir_;
};
