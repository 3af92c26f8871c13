#include "platform/ado/ConnectionString.h"

#include "platform/ado/AdoTypes.h"

namespace ado {

namespace {

// Keys ADO knows under several spellings.
QString canonicalKey(const QString& key) {
    const QString k = key.simplified().toLower();
    if (k == "server" || k == "address" || k == "addr" || k == "network address") return "data source";
    if (k == "database") return "initial catalog";
    if (k == "uid" || k == "user" || k == "user name") return "user id";
    if (k == "pwd") return "password";
    return k;
}

} // namespace

ConnectionString ConnectionString::parse(const QString& text) {
    ConnectionString cs;
    const int n = int(text.size());
    int i = 0;
    while (i < n) {
        // key up to '='
        int eq = int(text.indexOf('=', i));
        int semi = int(text.indexOf(';', i));
        if (eq < 0 || (semi >= 0 && semi < eq)) {
            // A segment without '=' is allowed only when blank (";;" or a trailing blank).
            const int end = semi < 0 ? n : semi;
            if (!text.mid(i, end - i).trimmed().isEmpty())
                throw AdoError(LayerError::BadConnectionString,
                               "Connection string: '" + text.mid(i, end - i).trimmed() + "' has no '='");
            i = end + 1;
            continue;
        }
        const QString key = text.mid(i, eq - i).trimmed();
        if (key.isEmpty())
            throw AdoError(LayerError::BadConnectionString, "Connection string: a value has no key");
        int j = eq + 1;
        while (j < n && text[j].isSpace())
            ++j;
        QString value;
        if (j < n && (text[j] == '"' || text[j] == '\'')) {
            // A quote of the enclosing kind inside the value is written twice ("a""b" is a"b), as
            // OLE DB does; that is how a value holding ';' and both kinds of quote is written.
            const QChar q = text[j];
            int close = j + 1;
            for (;; close += 2) {
                close = int(text.indexOf(q, close));
                if (close < 0)
                    throw AdoError(LayerError::BadConnectionString,
                                   "Connection string: unterminated quote in the value of '" + key + "'");
                if (close + 1 >= n || text[close + 1] != q) break;
            }
            value = text.mid(j + 1, close - j - 1).replace(QString(2, q), QString(q));
            int k = close + 1;
            while (k < n && text[k].isSpace())
                ++k;
            if (k < n && text[k] != ';')
                throw AdoError(LayerError::BadConnectionString,
                               "Connection string: text after the quoted value of '" + key + "'");
            i = k + 1;
        } else if (j < n && text[j] == '{') {
            // ODBC style braces, e.g. Driver={PostgreSQL Unicode}
            int close = int(text.indexOf('}', j + 1));
            if (close < 0)
                throw AdoError(LayerError::BadConnectionString,
                               "Connection string: unterminated '{' in the value of '" + key + "'");
            value = text.mid(j, close - j + 1);
            int k = close + 1;
            while (k < n && text[k] != ';')
                ++k;
            i = k + 1;
        } else {
            const int end = semi < 0 ? n : semi;
            value = text.mid(j, end - j).trimmed();
            i = end + 1;
        }
        cs.set(key, value);
    }
    cs.chooseEngine();
    return cs;
}

QString ConnectionString::value(const QString& key) const {
    const QString k = canonicalKey(key);
    for (const auto& p : pairs_)
        if (canonicalKey(p.first) == k) return p.second;
    return {};
}

bool ConnectionString::has(const QString& key) const {
    const QString k = canonicalKey(key);
    for (const auto& p : pairs_)
        if (canonicalKey(p.first) == k) return true;
    return false;
}

void ConnectionString::set(const QString& key, const QString& value) {
    const QString k = canonicalKey(key);
    for (auto& p : pairs_) {
        if (canonicalKey(p.first) == k) {
            p.second = value; // a repeated key: the last one wins, as in ADO
            return;
        }
    }
    pairs_.append({key, value});
}

void ConnectionString::chooseEngine() {
    const QString ds = dataSource();
    if (ds.startsWith("sqlite:", Qt::CaseInsensitive)) {
        engine_ = Engine::Sqlite;
        return;
    }
    if (ds.startsWith("postgresql://", Qt::CaseInsensitive) ||
        ds.startsWith("postgres://", Qt::CaseInsensitive)) {
        engine_ = Engine::Postgres;
        return;
    }
    const QString p = provider().trimmed().toUpper();
    if (p == "SQLITE") {
        engine_ = Engine::Sqlite;
    } else if (p == "POSTGRESQL") {
        engine_ = Engine::Postgres;
    } else if (p.startsWith("SQLNCLI") || p == "SQLOLEDB" || p == "SQLOLEDB.1" ||
               p.startsWith("MSOLEDBSQL")) {
        engine_ = Engine::Odbc;
        odbcKind_ = OdbcKind::SqlServer;
    } else if (p == "ORAOLEDB.ORACLE" || p == "ORAOLEDB.ORACLE.1") {
        engine_ = Engine::Odbc;
        odbcKind_ = OdbcKind::Oracle;
    } else if (p == "ODBC" || p == "MSDASQL" || p == "MSDASQL.1" ||
               (p.isEmpty() && (has("Driver") || has("DSN")))) {
        engine_ = Engine::Odbc;
        odbcKind_ = OdbcKind::Passthrough;
    } else if (p.isEmpty()) {
        throw AdoError(LayerError::UnknownProvider, "Connection string names no Provider");
    } else {
        throw AdoError(LayerError::UnknownProvider,
                       "Provider cannot be found: '" + provider().trimmed() + "'");
    }
}

QString ConnectionString::sqliteFolder() const {
    QString ds = dataSource();
    if (ds.startsWith("sqlite:", Qt::CaseInsensitive)) ds = ds.mid(7);
    return ds;
}

QString ConnectionString::pgHost() const {
    QString ds = dataSource();
    const int scheme = int(ds.indexOf("://"));
    if (scheme >= 0) ds = ds.mid(scheme + 3);
    while (ds.endsWith('/'))
        ds.chop(1);
    if (ds.startsWith('[')) { // [ipv6]:port
        const int close = int(ds.indexOf(']'));
        return close > 0 ? ds.mid(1, close - 1) : ds;
    }
    const int colon = int(ds.lastIndexOf(':'));
    return colon >= 0 ? ds.left(colon) : ds;
}

int ConnectionString::pgPort() const {
    QString ds = dataSource();
    const int scheme = int(ds.indexOf("://"));
    if (scheme >= 0) ds = ds.mid(scheme + 3);
    while (ds.endsWith('/'))
        ds.chop(1);
    const int close = int(ds.lastIndexOf(']'));
    const int colon = int(ds.lastIndexOf(':'));
    if (colon < 0 || colon < close) return 5432;
    bool ok = false;
    const int port = ds.mid(colon + 1).toInt(&ok);
    if (!ok || port <= 0 || port > 65535)
        throw AdoError(LayerError::BadConnectionString,
                       "Connection string: bad port in Data Source '" + dataSource() + "'");
    return port;
}

QString ConnectionString::quoteOdbc(const QString& value) {
    if (value.contains(';') || value.contains('{') || value.contains('}') || value.contains('=') ||
        value != value.trimmed()) {
        QString v = value;
        v.replace("}", "}}");
        return "{" + v + "}";
    }
    return value;
}

QString ConnectionString::odbcString() const {
    QStringList parts;
    switch (odbcKind_) {
    case OdbcKind::Passthrough:
        for (const auto& p : pairs_) {
            const QString k = p.first.trimmed().toLower();
            if (k == "provider") continue;
            parts << p.first.trimmed() + "=" + p.second;
        }
        break;
    case OdbcKind::SqlServer: {
        QString driver =
            qEnvironmentVariable("K48213_ODBC_DRIVER_SQLSERVER", "ODBC Driver 18 for SQL Server");
        parts << "Driver={" + driver + "}"
              << "Server=" + quoteOdbc(dataSource());
        if (!catalog().isEmpty()) parts << "Database=" + quoteOdbc(catalog());
        if (userId().isEmpty())
            parts << "Trusted_Connection=yes";
        else
            parts << "UID=" + quoteOdbc(userId()) << "PWD=" + quoteOdbc(password());
        if (has("Application Name")) parts << "APP=" + quoteOdbc(value("Application Name"));
        break;
    }
    case OdbcKind::Oracle: {
        QString driver = qEnvironmentVariable("K48213_ODBC_DRIVER_ORACLE", "Oracle");
        parts << "Driver={" + driver + "}"
              << "DBQ=" + quoteOdbc(dataSource()) << "UID=" + quoteOdbc(userId())
              << "PWD=" + quoteOdbc(password());
        break;
    }
    }
    if (odbcKind_ != OdbcKind::Passthrough) {
        // Keys the OLE DB form carries for the provider itself stay behind; anything else a
        // deployer added through the customisation (Encrypt=, TrustServerCertificate=, ...) is the
        // driver's.
        static const QStringList oleDbOnly{"provider",        "data source",     "initial catalog",
                                           "user id",         "password",        "persist security info",
                                           "ole db services", "application name"};
        for (const auto& p : pairs_)
            if (!oleDbOnly.contains(canonicalKey(p.first))) parts << p.first.trimmed() + "=" + p.second;
    }
    return parts.join(';');
}

} // namespace ado
