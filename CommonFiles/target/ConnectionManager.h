#pragma once

#include "CommonFiles/foundation/HashTable.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace ado {
class Connection;
}

// Database type codes of the target (VESKDRAQ\VESKDRAQ_CONNECTION_DBTYPE).
inline constexpr std::int16_t DbTypeOracle = 1;
inline constexpr std::int16_t DbTypeSqlServer = 2;

// Turns the target connection settings into connection strings for the root (QTXROOT) and for
// one facility, and configures connections with them. On Oracle every facility is its own account
// (User ID = facility); on SQL Server a database of that name reached through the login QTXDBA.
// Every account shares one password, which is assembled at construction and never logged.
//
// Created per operation: create, Init (or InitTargetConnectionManager), configure any number of
// connections, open them, close them.
class ConnectionManager {
public:
    ConnectionManager();
    ~ConnectionManager();
    ConnectionManager(const ConnectionManager&) = delete;
    ConnectionManager& operator=(const ConnectionManager&) = delete;

    // Accepts types 1 and 2 with a non-blank provider and data source; otherwise returns False
    // and keeps everything as it was.
    bool Init(std::int16_t dbType, const QString& provider, const QString& dataSource,
              const QString& customization, bool persistSecurityInfo, std::int32_t connectionTimeout,
              std::int32_t commandTimeout);

    bool DataSourceReplace() const { return dataSourceReplace_; }
    void setDataSourceReplace(bool value) { dataSourceReplace_ = value; }
    QString password() const { return password_; }
    std::int32_t CONNECTION_TIMEOUT_s() const { return connectionTimeout_; }
    void setCONNECTION_TIMEOUT_s(std::int32_t seconds) { connectionTimeout_ = seconds; }
    std::int32_t COMMAND_TIMEOUT_s() const { return commandTimeout_; }
    void setCOMMAND_TIMEOUT_s(std::int32_t seconds) { commandTimeout_ = seconds; }

    // With DataSourceReplace, reads every facility's directory from the open root connection into
    // the replacement map (upper-case file name -> trimmed directory). True at once without it.
    bool RefreshDsHASH(ado::Connection& root);

    // Configure an unopened connection: client cursors, connection string, timeouts. A failing
    // step ends the configuration silently; the later Open then fails.
    void ConfigCnn4QTXROOT(ado::Connection& cn);
    void ConfigCnn4FACILITY(ado::Connection& cn, const QString& facilityId);

    // The last connection string in its placeholder form (@@@ for the user or catalog, ### for
    // the password), safe to show.
    QString TemplateCnnString() const { return template_; }
    QString DB_PROVIDER() const { return provider_; }
    QString DB_DATASOURCE() const { return dataSource_; }
    QString DB_CUSTOMIZATION() const { return customization_; }
    std::int16_t DbType() const { return dbType_; }

    // The connection string for a user: "QTXROOT" for the root, else a facility's file name (any
    // letter case). Empty for an invalid database type, and for a name that could not be a
    // schema or database name (see isValidCatalogName): such a name must not reach a
    // connection string, where a ';' would add keys of its own or a path would pick another file.
    QString BuildConnectionString(const QString& user);

    // Letters, digits, '_', '$', '#' and '-', starting with a letter, digit or '_', at most 128
    // characters.
    static bool isValidCatalogName(const QString& name);
    // The value as a connection string may hold it: unchanged when it holds no ';' and does not
    // start with a quote or brace, else quoted (with doubled quotes inside when it holds both kinds).
    static QString connectionStringValue(const QString& value);

private:
    QString GetReplacementDataSource(const QString& key) const;

    std::int16_t dbType_ = DbTypeOracle;
    QString provider_;
    QString dataSource_;
    QString customization_;
    bool persistSecurityInfo_ = false;
    std::int32_t connectionTimeout_ = 0;
    std::int32_t commandTimeout_ = 0;
    QString password_;
    QString template_;
    bool dataSourceReplace_ = false;
    std::unique_ptr<HashTable> dsHash_;
};
