#pragma once

#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "fixtures/DatabaseHost.h"
#include "fixtures/TargetDatabase.h"
#include "platform/ado/Connection.h"
#include "tests/support/TempDir.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// The engines every target case runs on: SQLite files and the private PostgreSQL cluster.
std::string engineName(const ::testing::TestParamInfo<fixtures::Engine>& info);
inline const auto kEngines = ::testing::Values(fixtures::Engine::SQLite, fixtures::Engine::PostgreSQL);

// A fresh reference target on one engine, with the program's configuration pointing at it.
class TargetSite {
public:
    explicit TargetSite(fixtures::Engine engine);
    ~TargetSite();

    fixtures::TargetDatabase& target() { return *target_; }
    const fixtures::DatabaseHost& host() const { return host_; }
    bool isSqlite() const { return host_.isSqlite(); }

    // Points the VESKDRAQ connection settings at this target, as type 1 or 2.
    void configure(int dbType = 2) const;
    // A root or facility connection configured by a ConnectionManager from the settings, opened.
    ado::Connection openRoot() const;
    ado::Connection openFacility(const QString& facility) const;

private:
    std::unique_ptr<TempDir> dir_;
    fixtures::DatabaseHost host_;
    std::optional<fixtures::TargetDatabase> target_;
};

// Sends the program's log to a fresh folder for one test (verbosity 9, every line at once) and
// reads its messages back without their time stamps.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    QStringList messages() const;
    QString all() const { return messages().join('\n'); }

private:
    TempDir dir_;
};

// Records the message boxes the program shows, as the interactive presenter would show them.
class RecordingPresenter : public MsgBoxPresenter {
public:
    struct Box {
        QString prompt;
        int buttons = 0;
        QString title;
    };
    RecordingPresenter();
    ~RecordingPresenter() override;
    int show(const QString& prompt, int buttons, const std::optional<QString>& title,
             const std::optional<QString>& helpFile, const std::optional<int>& context) override;
    QList<Box> boxes;
};

// Sets interactive or service mode for one test and restores interactive mode afterwards.
class RunMode {
public:
    explicit RunMode(bool service);
    ~RunMode();
};
