#pragma once

#include "fixtures/DatabaseHost.h"
#include "fixtures/SourceDatabase.h"
#include "fixtures/TargetDatabase.h"
#include "tests/import/WriterTestSupport.h"
#include "tests/support/TempDir.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>
#include <optional>

// A whole collector on one engine: the reference target and source on SQLite files or on the
// private PostgreSQL cluster, the in-process configuration pointing at both, silent boxes and a
// fresh log per test. Recovery waits are cut to `recoverySeconds` so failure cases stay short.
class ImportRunFixture : public ::testing::TestWithParam<fixtures::Engine> {
public:
    static constexpr int CollectorId = 101;

    void SetUp() override;
    void TearDown() override;

    fixtures::TargetDatabase& target() { return *target_; }
    fixtures::SourceDatabase& source() { return *source_; }
    const fixtures::DatabaseHost& host() const { return host_; }
    bool onPostgres() const { return GetParam() == fixtures::Engine::PostgreSQL; }

    // The collector's configuration: target, source, collector id, short recovery.
    void PointConfigurationAt(const QString& siteId, int recoverySeconds = 0);

    // Every value row of a facility: "TABLE varid stamp value|text status audituser", sorted.
    QStringList ValueRows(const QString& facility);
    // The rows of one table and variable as "yyyy-MM-dd HH:mm:ss=value".
    QStringList Rows(const QString& facility, const QString& table, int varid);
    // The facility's LASTRUN for the collector, "" when there is none.
    QString LastRun(const QString& facility);

    std::unique_ptr<TempDir> folder_;
    fixtures::DatabaseHost host_;
    std::optional<fixtures::TargetDatabase> target_;
    std::optional<fixtures::SourceDatabase> source_;
};

// The writer tests' process set-up plus the source reader's keys.
void InitImportProcess();

// "yyyy-MM-dd HH:mm:ss" of a stored stamp (Date or text).
QString StampText(const Variant& value);
QString ValueText(const Variant& value);
