#pragma once

#include "platform/ado/AdoTypes.h"
#include "platform/ado/Recordset.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

namespace ado {

// A database connection in ADO's shape. A handle: copying a Connection copies the reference, and
// a Command or Recordset keeps its connection alive.
//
// Connection strings are in OLE DB form: "Provider=...;Data Source=...;Initial Catalog=...;
// User ID=...;Password=...;...". Keys are case-insensitive, blanks around '=' and ';' are
// ignored ("OLE DB Services =-2"), values may be empty or quoted with "..." or '...'.
// The engine is chosen like this:
// - Data Source "sqlite:<folder>" → SQLite; "postgresql://host[:port]" → PostgreSQL, whatever
//   the provider says.
// - Provider SQLNCLI*, SQLOLEDB, SQLOLEDB.1, MSOLEDBSQL* → SQL Server through ODBC, with the
//   driver named by K48213_ODBC_DRIVER_SQLSERVER (default "ODBC Driver 18 for SQL Server");
//   Data Source → Server, Initial Catalog → Database, User ID/Password → UID/PWD (no User ID:
//   Trusted_Connection=yes).
// - Provider OraOLEDB.Oracle → Oracle through ODBC, driver from K48213_ODBC_DRIVER_ORACLE
//   (default "Oracle"), Data Source → DBQ, User ID/Password → UID/PWD.
// - Provider SQLite with a plain folder; Provider PostgreSQL with a plain host[:port].
// - Provider ODBC, or a Driver= or DSN= key: every key except Provider is passed to ODBC as is.
// - anything else: AdoError UnknownProvider.
//
// SQLite: the file is <folder>/<NAME>.sqlite, NAME being the Initial Catalog or, without one,
// the User ID, as written. Open never creates a database: a missing folder or file is an error.
// Open sets WAL journaling, synchronous=NORMAL, foreign keys on and the busy timeout to
// CommandTimeout.
// PostgreSQL: Initial Catalog → database (lower-cased; none: the user name), User ID → role
// (lower-cased), Password → password; connect_timeout = ConnectionTimeout, statement_timeout =
// CommandTimeout.
//
// Values travel as Variants; dates as local timestamps without zone, to the millisecond (SQLite:
// text "yyyy-MM-dd HH:mm:ss.zzz"). SQL text may hold '?' placeholders (Command::ExecuteQuery).
//
// Every failure throws AdoError and fills Errors(). When the server is lost, the failing call
// reports it and State() becomes adStateClosed; Open may be called again.
class Connection {
public:
    Connection();

    QString ConnectionString() const;
    void setConnectionString(const QString& connectionString);
    int CursorLocation() const;
    void setCursorLocation(int location);
    int ConnectionTimeout() const; // seconds, default 15; 0 = no limit
    void setConnectionTimeout(int seconds);
    int CommandTimeout() const; // seconds, default 30; 0 = no limit
    void setCommandTimeout(int seconds);

    void Open(const QString& connectionString = {}, const QString& userId = {}, const QString& password = {},
              int options = -1); // throws AdoError
    void Close();                // never throws
    int State() const;           // adStateClosed / adStateOpen

    Recordset Execute(const QString& sql); // throws AdoError
    QList<Error> Errors() const;           // errors of the last failing call
    // "Data Source", "Initial Catalog", "User ID", "Provider" as given; "DBMS Name" of the engine
    // in use ("SQLite", "PostgreSQL", "ODBC").
    QString Property(const QString& name) const;

    void BeginTrans();
    void CommitTrans();
    void RollbackTrans();

    std::uint64_t RoundTrips() const; // statements sent to the server so far (benchmarks)
    bool isNull() const;              // a handle that was never opened

    struct Data;

private:
    friend class Recordset;
    friend class Command;
    explicit Connection(std::shared_ptr<Data> d);
    std::shared_ptr<Data> d_;
};

} // namespace ado
