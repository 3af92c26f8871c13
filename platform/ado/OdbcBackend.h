#pragma once

#include "platform/ado/Backend.h"
#include "platform/ado/TextHash.h"

namespace ado {

// SQL Server, Oracle (and, in tests, psqlODBC and the SQLite ODBC driver) through the ODBC API of
// unixODBC, with the wide-character entry points so texts cross as UTF-16.
class OdbcBackend : public Backend {
public:
    OdbcBackend() = default;
    ~OdbcBackend() override;

    void open(const ConnectionString& cs, int connectionTimeout, int commandTimeout) override;
    void close() noexcept override;
    bool isOpen() const override { return dbc_ != nullptr; }
    void setCommandTimeout(int seconds) override;

    ResultSet execute(const QString& sql, const std::vector<BindValue>& params) override;
    void callProcedure(const QString& name, QList<Parameter>& params) override;

    void begin() override;
    void commit() override;
    void rollback() override;

    QStringList primaryKey(const QString& table) override;
    ReturningStyle returningStyle() const override { return returning_; }
    QString dbmsName() const override { return "ODBC (" + dbms_ + ")"; }

private:
    using Handle = void*;

    [[noreturn]] void fail(short handleType, Handle handle, const QString& context);
    void check(short rc, short handleType, Handle handle, const QString& context);
    Handle statement(const QString& sql);
    Handle freshStatement();
    ResultSet readResults(Handle stmt, const QString& context);
    void endTransaction(bool commit);

    Handle env_ = nullptr;
    Handle dbc_ = nullptr;
    TextMap<Handle> cache_;
    int commandTimeout_ = 30;
    QString dbms_;
    ReturningStyle returning_ = ReturningStyle::None;
};

} // namespace ado
