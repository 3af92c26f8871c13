#pragma once

#include <QList>
#include <QPair>
#include <QString>

namespace ado {

// An OLE DB connection string taken apart, and the engine it selects (see Connection.h for the
// rules). Internal to the database layer.
class ConnectionString {
public:
    enum class Engine { Sqlite, Postgres, Odbc };

    // Throws AdoError BadConnectionString / UnknownProvider.
    static ConnectionString parse(const QString& text);

    // Value of a key (case-insensitive), empty when absent.
    QString value(const QString& key) const;
    bool has(const QString& key) const;
    void set(const QString& key, const QString& value);

    Engine engine() const { return engine_; }
    QString provider() const { return value("Provider"); }
    QString dataSource() const { return value("Data Source"); }
    QString catalog() const { return value("Initial Catalog"); }
    QString userId() const { return value("User ID"); }
    QString password() const { return value("Password"); }

    // SQLite: the folder, without the "sqlite:" prefix. PostgreSQL: host and port.
    QString sqliteFolder() const;
    QString pgHost() const;
    int pgPort() const;
    // The string handed to SQLDriverConnect.
    QString odbcString() const;

private:
    void chooseEngine();
    static QString quoteOdbc(const QString& value);

    QList<QPair<QString, QString>> pairs_; // keys as written, in order
    Engine engine_ = Engine::Odbc;
    enum class OdbcKind { Passthrough, SqlServer, Oracle } odbcKind_ = OdbcKind::Passthrough;
};

} // namespace ado
