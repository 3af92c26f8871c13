#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "fixtures/DatabaseHost.h"
#include "fixtures/TargetDatabase.h"
#include "platform/ado/Connection.h"
#include "tests/support/TempDir.h"

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

namespace fixtures {
inline void PrintTo(Engine e, std::ostream* os) {
    *os << (e == Engine::SQLite ? "SQLite" : "PostgreSQL");
}
} // namespace fixtures

// The process-wide pieces the collector's classes use: every configuration key defined, the text
// log in a folder of its own per test, silent message boxes, the application folder.
namespace CollectorTest {

// Once per process: defines the keys and points K48213_HOME at a temporary folder.
void InitProcess();
QString ApplicationFolder();

// Sends AppLog() to a new folder; LogMessages() then reads every line written there since.
void StartNewLog();
QStringList LogMessages();
// Number of log messages equal to the text.
int CountLogMessage(const QString& message);

void SetConfig(const QString& key, const QString& value);

// "yyyy-MM-dd HH:mm:ss", for readable comparisons of dates.
QString Text(double date);
double Date(int y, int mo, int d, int h = 0, int mi = 0, int s = 0);
// A time of day as the target keeps it (a date on 1899-12-30).
Variant TimeOfDay(int h, int mi);

std::string EngineName(const ::testing::TestParamInfo<fixtures::Engine>& info);

} // namespace CollectorTest

// One body, every engine: a fresh reference target on SQLite (files in a temporary folder) or on
// the private PostgreSQL cluster, with the program's connection settings pointing at it and the
// run defaults of a service.
class TargetTest : public ::testing::TestWithParam<fixtures::Engine> {
protected:
    void SetUp() override;
    void TearDown() override;

    fixtures::TargetDatabase& target() { return *target_; }
    // An open connection to QTXROOT, configured by the program's own connection manager.
    ado::Connection OpenRoot();
    // A facility with its Facility row; the name is its file name.
    void AddFacility(const QString& filename, const QString& name = QString(),
                     const Variant& lockDate = Variant::null());

    std::unique_ptr<TempDir> folder_;
    std::optional<fixtures::TargetDatabase> target_;
};
