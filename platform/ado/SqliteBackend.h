#pragma once

#include "platform/ado/Backend.h"
#include "platform/ado/TextHash.h"

#include <chrono>
#include <memory>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace ado {

// The embedded engine: sqlite3's C API on <folder>/<NAME>.sqlite. Procedures are bodies kept in
// the table ado_procedures (see Command.h).
class SqliteBackend : public Backend {
public:
    SqliteBackend() = default;
    ~SqliteBackend() override;

    void open(const ConnectionString& cs, int connectionTimeout, int commandTimeout) override;
    void close() noexcept override;
    bool isOpen() const override { return db_ != nullptr; }
    void setCommandTimeout(int seconds) override;

    ResultSet execute(const QString& sql, const std::vector<BindValue>& params) override;
    // Steps a statement of its own (the same text may be streamed twice at once, and the cached
    // statements stay free for the calls made between two batches).
    std::unique_ptr<RowStream> stream(const QString& sql, const std::vector<BindValue>& params) override;
    void callProcedure(const QString& name, QList<Parameter>& params) override;

    void begin() override;
    void commit() override;
    void rollback() override;

    QStringList primaryKey(const QString& table) override;
    ReturningStyle returningStyle() const override { return ReturningStyle::Returning; }
    QString dbmsName() const override { return QStringLiteral("SQLite"); }

private:
    struct Procedure {
        struct Statement {
            sqlite3_stmt* stmt = nullptr;
            std::vector<QString> paramNames;  // per bind index (1-based → [i-1]), lower-cased
            std::vector<QString> columnNames; // lower-cased
            std::vector<int> columnKinds;     // ColumnKind of each column's declared type
            std::vector<int> source;          // command parameter bound to each placeholder, -1: NULL
        };
        std::vector<Statement> statements;
        std::vector<QString> commandNames; // lower-cased names of the last call's parameters
        std::vector<QString> lastNames;    // the same names as the last call wrote them
        std::vector<int> lastDirections;
    };

    // A prepared statement and its columns, which change only when SQLite prepares it again
    // (after a schema change; the statement counts those).
    struct Prepared {
        sqlite3_stmt* stmt = nullptr;
        QList<Column> columns;
        int preparedAgain = -1; // SQLITE_STMTSTATUS_REPREPARE when columns were read
    };

    [[noreturn]] void fail(int rc, const QString& context = {}) const;
    Prepared* prepared(const QString& sql); // null for a script of several statements
    void runSimple(const char* sql);
    void runCached(const QString& sql); // a fixed statement without parameters, prepared once
    void runFixed(sqlite3_stmt* stmt);  // one of the statements prepared at open
    Procedure& procedure(const QString& name);
    void clearProcedures() noexcept;
    // Every '?' of the statement, in order; a count that differs from the values is an error.
    void bindAll(sqlite3_stmt* stmt, const std::vector<BindValue>& params);
    void bind(sqlite3_stmt* stmt, int index, const BindValue& value);
    void bindValue(sqlite3_stmt* stmt, int index, const Variant& value, bool blob);
    void armDeadline();
    static int progress(void* self);

    sqlite3* db_ = nullptr;
    // A multi-statement procedure runs inside these; kept apart from cache_ so a full cache never
    // finalises them and a call needs no lookup.
    sqlite3_stmt* savepoint_ = nullptr;
    sqlite3_stmt* release_ = nullptr;
    QList<Variant> row_; // the last result row of a procedure, reused from call to call
    TextMap<Prepared> cache_;
    TextMap<std::shared_ptr<Procedure>> procedures_; // by lower-cased name
    TextMap<std::shared_ptr<Procedure>> byName_;     // by the name as callers write it
    int commandTimeout_ = 30;
    std::chrono::steady_clock::time_point deadline_{};
    bool deadlineArmed_ = false;
};

} // namespace ado
