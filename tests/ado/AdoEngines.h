#pragma once

#include "tests/support/TempDir.h"

#include <QString>

#include <memory>

// The engines every database-layer case runs on, each with a fresh database holding the test
// schema: SQLite files, the private PostgreSQL cluster through libpq, and ODBC (psqlODBC against
// the same cluster; the SQLite ODBC driver for plain SQL).
enum class AdoEngine { Sqlite, Postgres, OdbcPostgres, OdbcSqlite };

QString engineName(AdoEngine e);
bool engineHasProcedures(AdoEngine e);
bool engineIsPostgres(AdoEngine e);

class AdoTestDatabase {
public:
    explicit AdoTestDatabase(AdoEngine engine);
    ~AdoTestDatabase();

    AdoEngine engine() const { return engine_; }
    // An OLE DB connection string for the layer.
    QString connectionString() const { return connectionString_; }
    QString sqliteFolder() const { return dir_ ? dir_->path() : QString(); }
    QString pgDatabase() const { return pgDatabase_; }
    // Runs a setup script directly on the engine, bypassing the layer.
    void exec(const QString& sql) const;

private:
    AdoEngine engine_;
    std::unique_ptr<TempDir> dir_;
    QString sqliteFile_;
    QString pgDatabase_;
    QString connectionString_;
};
