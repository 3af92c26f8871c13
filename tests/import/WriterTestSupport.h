#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "fixtures/DatabaseHost.h"
#include "fixtures/TargetDatabase.h"
#include "tests/support/TempDir.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>
#include <string>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

// The process-wide pieces the writer and the converter use: every start-up key defined, the
// application folder in a temporary folder, silent message boxes, and a text log of its own per
// test that the test reads back.
namespace writertest {

void InitProcess();

// Sends AppLog() to a fresh folder at verbosity 9; LogMessages() reads back every message written
// there since (without the "hh:mm:ss : " prefix).
void StartNewLog();
QStringList LogMessages();
int CountLogMessage(const QString& message);
int CountLogMessagesStartingWith(const QString& prefix);

void SetConfig(const QString& key, const QString& value);

double Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0);
// "yyyy-MM-dd HH:mm:ss" of a date, or of a stored value read back (Date or text), "" for Null.
QString Text(double date);
QString Text(const Variant& value);

std::string EngineName(const ::testing::TestParamInfo<fixtures::Engine>& info);

} // namespace writertest

// One body, every engine: a fresh reference target on SQLite (files in a temporary folder) or on
// the private PostgreSQL cluster, the program's connection settings pointing at it (database type
// 2, as on SQL Server), and one facility PLANT1 with logbooks 7 and 8.
class WriterTest : public ::testing::TestWithParam<fixtures::Engine> {
public:
    static inline const QString Facility = QStringLiteral("PLANT1");

    void SetUp() override;
    void TearDown() override;

    fixtures::TargetDatabase& target() { return *target_; }
    const fixtures::DatabaseHost& host() const { return host_; }
    bool onPostgres() const { return GetParam() == fixtures::Engine::PostgreSQL; }

    // Rows of the facility's database.
    QList<QList<Variant>> rows(const QString& sql, const QList<Variant>& params = {});

    std::unique_ptr<TempDir> folder_;
    fixtures::DatabaseHost host_;
    std::optional<fixtures::TargetDatabase> target_;
};
