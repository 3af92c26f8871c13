// Fuzz target: the database layer's connection-string parser, and the two builders that put
// settings into connection strings. The parser refuses or takes apart any text without crashing;
// a value a builder was given comes back out of the parser exactly, or the string is refused;
// no value can add or replace another key.
#include "CommonFiles/target/ConnectionManager.h"
#include "custom/CustomSource.h"
#include "platform/ado/AdoTypes.h"
#include "platform/ado/ConnectionString.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void finding(const char* what, const QString& detail) {
    std::fprintf(stderr, "connection string: %s [%s]\n", what, detail.toUtf8().constData());
    std::abort();
}

void takeApart(const QString& text) {
    try {
        const ado::ConnectionString cs = ado::ConnectionString::parse(text);
        (void)cs.engine();
        (void)cs.provider();
        (void)cs.catalog();
        (void)cs.userId();
        (void)cs.password();
        (void)cs.sqliteFolder();
        try {
            (void)cs.pgHost();
            (void)cs.pgPort();
        } catch (const ado::AdoError&) {
        }
        (void)cs.odbcString();
    } catch (const ado::AdoError&) {
    }
}

// The source reader's string: every field verbatim, or a refusal.
void sourceBuilder(const QString& dataSource, const QString& user, const QString& password) {
    const QString text =
        CustomSource::BuildSourceConnectionString("SQLOLEDB.1", dataSource, "VIRev", user, password);
    try {
        const ado::ConnectionString cs = ado::ConnectionString::parse(text);
        if (cs.provider() != "SQLOLEDB.1") finding("provider replaced", text);
        if (cs.catalog() != "VIRev") finding("catalog replaced", text);
        if (cs.dataSource() != dataSource) finding("data source not verbatim", text);
        if (cs.userId() != user) finding("user not verbatim", text);
        if (cs.password() != password) finding("password not verbatim", text);
        if (cs.value("Application Name") != "48213") finding("application name replaced", text);
    } catch (const ado::AdoError&) {
    }
}

// The target connection manager's string for a facility: the data source as configured
// (trimmed) or left empty when no quoting can hold it (the open then fails), the facility as its
// catalog, the fixed login; or no string at all.
void targetBuilder(const QString& dataSource, const QString& facility) {
    ConnectionManager manager;
    if (!manager.Init(DbTypeSqlServer, "SQLNCLI", dataSource, QString(), false, 15, 30)) return;
    const QString text = manager.BuildConnectionString(facility);
    if (text.isEmpty()) return;
    try {
        const ado::ConnectionString cs = ado::ConnectionString::parse(text);
        if (cs.provider() != "SQLNCLI") finding("provider replaced", text);
        if (cs.dataSource() != dataSource.trimmed() && !cs.dataSource().isEmpty())
            finding("data source not verbatim", text);
        if (cs.catalog() != facility.toUpper()) finding("catalog not the facility", text);
        if (cs.userId() != "QTXDBA") finding("login replaced", text);
        if (cs.password() != manager.password()) finding("password replaced", text);
    } catch (const ado::AdoError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    takeApart(text);
    // The same bytes as fields of the builders, separated by line feeds.
    QStringList fields = text.split(QLatin1Char('\n'));
    while (fields.size() < 3)
        fields.append(QString());
    sourceBuilder(fields[0], fields[1], fields[2]);
    targetBuilder(fields[0], fields[1]);
    return 0;
}
