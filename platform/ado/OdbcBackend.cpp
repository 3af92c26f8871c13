#include "platform/ado/OdbcBackend.h"

#include "platform/ado/AdoTypes.h"
#include "platform/ado/SqlText.h"

#include "CommonFiles/foundation/OleDate.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cmath>
#include <cstring>

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "unixODBC's SQLWCHAR is UTF-16");

namespace ado {

namespace {

bool ok(SQLRETURN rc) {
    return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO;
}

const SQLWCHAR* wide(const QString& s) {
    return reinterpret_cast<const SQLWCHAR*>(s.utf16());
}

QString fromWide(const SQLWCHAR* w, qsizetype chars) {
    return QString(reinterpret_cast<const QChar*>(w), chars);
}

int stateNumber(const QString& state) {
    int n = 0;
    for (QChar c : state) {
        const char ch = char(c.toLatin1());
        n = n * 36 + ((ch >= '0' && ch <= '9') ? ch - '0' : (ch >= 'A' && ch <= 'Z') ? ch - 'A' + 10 : 0);
    }
    return n;
}

SQL_TIMESTAMP_STRUCT toTimestamp(double oleDate) {
    int y, mo, d, h, mi, s, ms;
    OleDate::toParts(OleDate::normalize(oleDate), y, mo, d, h, mi, s, ms);
    SQL_TIMESTAMP_STRUCT ts{};
    ts.year = SQLSMALLINT(y);
    ts.month = SQLUSMALLINT(mo);
    ts.day = SQLUSMALLINT(d);
    ts.hour = SQLUSMALLINT(h);
    ts.minute = SQLUSMALLINT(mi);
    ts.second = SQLUSMALLINT(s);
    ts.fraction = SQLUINTEGER(ms) * 1000000u;
    return ts;
}

double fromTimestamp(const SQL_TIMESTAMP_STRUCT& ts) {
    return OleDate::fromParts(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second,
                              int(std::lround(ts.fraction / 1000000.0)));
}

// Storage for one bound parameter; it must outlive SQLExecute (and, for outputs, the reading).
struct ParamBuffer {
    SQLINTEGER i32 = 0;
    SQLBIGINT i64 = 0;
    double d = 0;
    SQL_TIMESTAMP_STRUCT ts{};
    std::vector<SQLWCHAR> w;
    QByteArray bytes;
    SQLLEN ind = 0;
};

enum class Fetch { Integer, Boolean, Double, Timestamp, Binary, Text };

struct ColumnPlan {
    Fetch fetch = Fetch::Text;
};

} // namespace

OdbcBackend::~OdbcBackend() {
    close();
}

void OdbcBackend::fail(short handleType, Handle handle, const QString& context) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[1024];
    SQLSMALLINT len = 0;
    QString firstState, text;
    int number = 0;
    for (SQLSMALLINT rec = 1; rec <= 5; ++rec) {
        const SQLRETURN rc = SQLGetDiagRecW(handleType, handle, rec, state, &native, message,
                                            SQLSMALLINT(sizeof(message) / sizeof(message[0])), &len);
        if (!ok(rc)) break;
        const QString st = fromWide(state, 5);
        const QString msg = fromWide(message, std::min<qsizetype>(len, 1023)).trimmed();
        if (rec == 1) {
            firstState = st;
            number = native != 0 ? int(native) : stateNumber(st);
        }
        if (!text.isEmpty()) text += "; ";
        text += "[" + st + "] " + msg;
    }
    if (text.isEmpty()) {
        text = QStringLiteral("unknown ODBC error");
        number = LayerError::ConnectionFailed;
    }
    // A dead link: class 08 states, or the driver's own report of a dead connection.
    bool dead = firstState.startsWith("08") || firstState == "57P01";
    if (dbc_ && !dead) {
        SQLUINTEGER isDead = SQL_CD_FALSE;
        if (ok(SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &isDead, 0, nullptr)) &&
            isDead == SQL_CD_TRUE)
            dead = true;
    }
    if (dead) close();
    throw AdoError(number, "ODBC: " + text + (context.isEmpty() ? QString() : " (" + context + ")"));
}

void OdbcBackend::check(short rc, short handleType, Handle handle, const QString& context) {
    if (!ok(rc) && rc != SQL_NO_DATA) fail(handleType, handle, context);
}

void OdbcBackend::open(const ConnectionString& cs, int connectionTimeout, int commandTimeout) {
    commandTimeout_ = commandTimeout;
    if (!ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_)))
        throw AdoError(LayerError::ConnectionFailed, "ODBC: cannot allocate an environment");
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!ok(SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        env_ = nullptr;
        dbc_ = nullptr;
        throw AdoError(LayerError::ConnectionFailed, "ODBC: cannot allocate a connection");
    }
    SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(connectionTimeout)),
                      0);
    SQLSetConnectAttr(dbc_, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(SQLULEN(connectionTimeout)), 0);
    const QString connect = cs.odbcString();
    SQLWCHAR out[1024];
    SQLSMALLINT outLen = 0;
    ++roundTrips_;
    const SQLRETURN rc =
        SQLDriverConnectW(dbc_, nullptr, const_cast<SQLWCHAR*>(wide(connect)), SQLSMALLINT(connect.size()),
                          out, 1024, &outLen, SQL_DRIVER_NOPROMPT);
    if (!ok(rc)) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR message[1024];
        SQLSMALLINT len = 0;
        QString text;
        int number = LayerError::ConnectionFailed;
        if (ok(SQLGetDiagRecW(SQL_HANDLE_DBC, dbc_, 1, state, &native, message, 1024, &len))) {
            text =
                "[" + fromWide(state, 5) + "] " + fromWide(message, std::min<qsizetype>(len, 1023)).trimmed();
            if (native != 0) number = int(native);
        }
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
        SQLFreeHandle(SQL_HANDLE_ENV, env_);
        dbc_ = env_ = nullptr;
        throw AdoError(number, "ODBC: cannot connect: " + text);
    }
    SQLWCHAR name[256] = {};
    SQLSMALLINT nameLen = 0;
    if (ok(SQLGetInfoW(dbc_, SQL_DBMS_NAME, name, sizeof(name), &nameLen)))
        dbms_ = fromWide(name, nameLen / SQLSMALLINT(sizeof(SQLWCHAR)));
    if (dbms_.contains("SQL Server", Qt::CaseInsensitive))
        returning_ = ReturningStyle::OutputInserted;
    else if (dbms_.contains("PostgreSQL", Qt::CaseInsensitive) ||
             dbms_.contains("SQLite", Qt::CaseInsensitive))
        returning_ = ReturningStyle::Returning;
    else
        returning_ = ReturningStyle::None;
}

void OdbcBackend::close() noexcept {
    for (const auto& cached : cache_)
        SQLFreeHandle(SQL_HANDLE_STMT, cached.second);
    cache_.clear();
    if (dbc_) {
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    if (env_) SQLFreeHandle(SQL_HANDLE_ENV, env_);
    dbc_ = env_ = nullptr;
}

void OdbcBackend::setCommandTimeout(int seconds) {
    commandTimeout_ = seconds;
    for (const auto& cached : cache_)
        SQLSetStmtAttr(cached.second, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(seconds)), 0);
}

OdbcBackend::Handle OdbcBackend::freshStatement() {
    if (!dbc_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    Handle stmt = nullptr;
    check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt), SQL_HANDLE_DBC, dbc_, "allocating a statement");
    SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(SQLULEN(commandTimeout_)), 0);
    return stmt;
}

OdbcBackend::Handle OdbcBackend::statement(const QString& sql) {
    if (auto it = cache_.find(sql); it != cache_.end()) {
        SQLFreeStmt(it->second, SQL_CLOSE);
        SQLFreeStmt(it->second, SQL_RESET_PARAMS);
        return it->second;
    }
    if (cache_.size() >= 200) {
        for (const auto& cached : cache_)
            SQLFreeHandle(SQL_HANDLE_STMT, cached.second);
        cache_.clear();
    }
    Handle stmt = freshStatement();
    ++roundTrips_;
    const SQLRETURN rc = SQLPrepareW(stmt, const_cast<SQLWCHAR*>(wide(sql)), SQLINTEGER(sql.size()));
    if (!ok(rc)) {
        try {
            fail(SQL_HANDLE_STMT, stmt, {});
        } catch (...) {
            SQLFreeHandle(SQL_HANDLE_STMT, stmt);
            throw;
        }
    }
    cache_.insert_or_assign(sql, stmt);
    return stmt;
}

ResultSet OdbcBackend::readResults(Handle stmt, const QString& context) {
    ResultSet rs;
    SQLSMALLINT ncols = 0;
    check(SQLNumResultCols(stmt, &ncols), SQL_HANDLE_STMT, stmt, context);
    if (ncols <= 0) {
        SQLLEN count = -1;
        if (ok(SQLRowCount(stmt, &count))) rs.affected = count;
        return rs;
    }
    rs.hasRows = true;
    std::vector<ColumnPlan> plan(static_cast<size_t>(ncols));
    for (SQLSMALLINT c = 1; c <= ncols; ++c) {
        SQLWCHAR name[256];
        SQLSMALLINT nameLen = 0, type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        check(SQLDescribeColW(stmt, c, name, 256, &nameLen, &type, &size, &digits, &nullable),
              SQL_HANDLE_STMT, stmt, context);
        Column col;
        col.name = fromWide(name, std::min<SQLSMALLINT>(nameLen, 255));
        Fetch f = Fetch::Text;
        switch (type) {
        case SQL_INTEGER:
        case SQL_SMALLINT:
        case SQL_TINYINT:
        case SQL_BIGINT:
            f = Fetch::Integer;
            break;
        case SQL_BIT:
            f = Fetch::Boolean;
            break;
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            f = (digits == 0 && size > 0 && size <= 18) ? Fetch::Integer : Fetch::Double;
            break;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE:
            f = Fetch::Double;
            break;
        case SQL_TYPE_TIMESTAMP:
        case SQL_TYPE_DATE:
        case SQL_DATETIME:
        case SQL_TIMESTAMP:
            f = Fetch::Timestamp;
            col.kind = ColumnKind::Date;
            break;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY:
            f = Fetch::Binary;
            col.kind = ColumnKind::Blob;
            break;
        default:
            f = Fetch::Text;
            break;
        }
        plan[size_t(c - 1)].fetch = f;
        rs.columns.append(col);
    }
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        QList<Variant> row;
        row.reserve(ncols);
        for (SQLSMALLINT c = 1; c <= ncols; ++c) {
            SQLLEN ind = 0;
            switch (plan[size_t(c - 1)].fetch) {
            case Fetch::Integer:
            case Fetch::Boolean: {
                SQLBIGINT v = 0;
                check(SQLGetData(stmt, c, SQL_C_SBIGINT, &v, 0, &ind), SQL_HANDLE_STMT, stmt, context);
                if (ind == SQL_NULL_DATA)
                    row.append(Variant::null());
                else if (plan[size_t(c - 1)].fetch == Fetch::Boolean)
                    row.append(Variant(v != 0));
                else
                    row.append(Variant(static_cast<std::int64_t>(v)));
                break;
            }
            case Fetch::Double: {
                double v = 0;
                check(SQLGetData(stmt, c, SQL_C_DOUBLE, &v, 0, &ind), SQL_HANDLE_STMT, stmt, context);
                row.append(ind == SQL_NULL_DATA ? Variant::null() : Variant(v));
                break;
            }
            case Fetch::Timestamp: {
                SQL_TIMESTAMP_STRUCT ts{};
                check(SQLGetData(stmt, c, SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts), &ind), SQL_HANDLE_STMT, stmt,
                      context);
                row.append(ind == SQL_NULL_DATA ? Variant::null() : Variant::fromDate(fromTimestamp(ts)));
                break;
            }
            case Fetch::Binary: {
                QByteArray all;
                char buf[8192];
                bool isNull = false;
                for (;;) {
                    const SQLRETURN g = SQLGetData(stmt, c, SQL_C_BINARY, buf, sizeof(buf), &ind);
                    if (g == SQL_NO_DATA) break;
                    check(g, SQL_HANDLE_STMT, stmt, context);
                    if (ind == SQL_NULL_DATA) {
                        isNull = true;
                        break;
                    }
                    const SQLLEN got =
                        (ind == SQL_NO_TOTAL || ind > SQLLEN(sizeof(buf))) ? SQLLEN(sizeof(buf)) : ind;
                    all.append(buf, got);
                    if (g == SQL_SUCCESS) break;
                }
                row.append(isNull ? Variant::null() : Variant(QString::fromLatin1(all)));
                break;
            }
            case Fetch::Text: {
                QString all;
                SQLWCHAR buf[4096];
                bool isNull = false;
                for (;;) {
                    const SQLRETURN g = SQLGetData(stmt, c, SQL_C_WCHAR, buf, sizeof(buf), &ind);
                    if (g == SQL_NO_DATA) break;
                    check(g, SQL_HANDLE_STMT, stmt, context);
                    if (ind == SQL_NULL_DATA) {
                        isNull = true;
                        break;
                    }
                    const SQLLEN room = SQLLEN(sizeof(buf)) - SQLLEN(sizeof(SQLWCHAR));
                    const SQLLEN got = (ind == SQL_NO_TOTAL || ind > room) ? room : ind;
                    all += fromWide(buf, got / SQLLEN(sizeof(SQLWCHAR)));
                    if (g == SQL_SUCCESS) break;
                }
                row.append(isNull ? Variant::null() : Variant(all));
                break;
            }
            }
        }
        rs.rows.append(row);
    }
    if (rc != SQL_NO_DATA) check(rc, SQL_HANDLE_STMT, stmt, context);
    return rs;
}

ResultSet OdbcBackend::execute(const QString& sql, const std::vector<BindValue>& params) {
    if (!dbc_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    if (SqlText::isScript(sql) && !params.empty())
        throw AdoError(LayerError::NotSupported,
                       "Parameters cannot be bound to a script of several statements");
    Handle stmt = statement(sql);
    std::vector<ParamBuffer> buffers(params.size());
    for (size_t i = 0; i < params.size(); ++i) {
        const Variant& v = params[i].value;
        ParamBuffer& b = buffers[i];
        SQLSMALLINT cType = SQL_C_WCHAR, sqlType = SQL_WVARCHAR, digits = 0;
        SQLULEN size = 1;
        SQLPOINTER data = nullptr;
        SQLLEN bufLen = 0;
        switch (v.type()) {
        case Variant::Type::Empty:
        case Variant::Type::Null:
            b.w.assign(1, 0);
            data = b.w.data();
            b.ind = SQL_NULL_DATA;
            break;
        case Variant::Type::Boolean:
            b.i32 = SQLINTEGER(booleanAsInteger(v));
            cType = SQL_C_SLONG;
            sqlType = SQL_INTEGER;
            data = &b.i32;
            break;
        case Variant::Type::Integer:
            b.i64 = SQLBIGINT(v.toDouble());
            cType = SQL_C_SBIGINT;
            sqlType = SQL_BIGINT;
            size = 19;
            data = &b.i64;
            break;
        case Variant::Type::Double:
            b.d = v.toDouble();
            cType = SQL_C_DOUBLE;
            sqlType = SQL_DOUBLE;
            size = 15;
            data = &b.d;
            break;
        case Variant::Type::Date:
            b.ts = toTimestamp(v.toDate());
            cType = SQL_C_TYPE_TIMESTAMP;
            sqlType = SQL_TYPE_TIMESTAMP;
            size = 23;
            digits = 3;
            data = &b.ts;
            bufLen = sizeof(b.ts);
            break;
        case Variant::Type::Text:
            if (params[i].blob) {
                b.bytes = v.toText().toLatin1();
                cType = SQL_C_BINARY;
                sqlType = b.bytes.size() > 8000 ? SQL_LONGVARBINARY : SQL_VARBINARY;
                size = std::max<SQLULEN>(SQLULEN(b.bytes.size()), 1);
                data = b.bytes.data();
                bufLen = b.bytes.size();
                b.ind = b.bytes.size();
            } else {
                const QString t = v.toText();
                b.w.assign(reinterpret_cast<const SQLWCHAR*>(t.utf16()),
                           reinterpret_cast<const SQLWCHAR*>(t.utf16()) + t.size());
                b.w.push_back(0);
                sqlType = t.size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
                size = std::max<SQLULEN>(SQLULEN(t.size()), 1);
                data = b.w.data();
                bufLen = SQLLEN(b.w.size() * sizeof(SQLWCHAR));
                b.ind = SQLLEN(t.size() * sizeof(SQLWCHAR));
            }
            break;
        }
        check(SQLBindParameter(stmt, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, cType, sqlType, size, digits, data,
                               bufLen, &b.ind),
              SQL_HANDLE_STMT, stmt, QStringLiteral("binding parameter %1").arg(i + 1));
    }
    ++roundTrips_;
    check(SQLExecute(stmt), SQL_HANDLE_STMT, stmt, {});
    ResultSet rs = readResults(stmt, {});
    // A script may hand back several results: the last one with rows is the recordset.
    while (dbc_ && ok(SQLMoreResults(stmt))) {
        ResultSet next = readResults(stmt, {});
        if (next.hasRows || !rs.hasRows) rs = std::move(next);
    }
    if (dbc_) SQLFreeStmt(stmt, SQL_CLOSE);
    return rs;
}

void OdbcBackend::callProcedure(const QString& name, QList<Parameter>& params) {
    if (!dbc_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    QString sql = "{call " + name + "(";
    for (int i = 0; i < params.size(); ++i)
        sql += i ? ",?" : "?";
    sql += ")}";
    if (cache_.find(sql) == cache_.end() && !SqlText::isSafeIdentifier(name))
        throw AdoError(LayerError::InvalidArgument, "'" + name + "' is not a procedure name");
    Handle stmt = statement(sql);
    std::vector<ParamBuffer> buffers(size_t(params.size()));
    for (int i = 0; i < params.size(); ++i) {
        const Parameter& p = params[i];
        ParamBuffer& b = buffers[size_t(i)];
        const Variant v = p.isInput() ? toParameterType(p.Value(), p.Type()) : Variant::null();
        const bool null = v.isNull();
        const SQLSMALLINT io = p.Direction() == adParamOutput        ? SQL_PARAM_OUTPUT
                               : p.Direction() == adParamInputOutput ? SQL_PARAM_INPUT_OUTPUT
                                                                     : SQL_PARAM_INPUT;
        SQLSMALLINT cType = SQL_C_WCHAR, sqlType = SQL_WVARCHAR, digits = 0;
        SQLULEN size = 0;
        SQLPOINTER data = nullptr;
        SQLLEN bufLen = 0;
        switch (p.Type()) {
        case adInteger:
            b.i32 = null ? 0 : SQLINTEGER(v.toInt32());
            cType = SQL_C_SLONG;
            sqlType = SQL_INTEGER;
            size = 10;
            data = &b.i32;
            bufLen = sizeof(b.i32);
            break;
        case adDouble:
            b.d = null ? 0 : v.toDouble();
            cType = SQL_C_DOUBLE;
            sqlType = SQL_DOUBLE;
            size = 15;
            data = &b.d;
            bufLen = sizeof(b.d);
            break;
        case adDate:
            if (!null) b.ts = toTimestamp(v.toDate());
            cType = SQL_C_TYPE_TIMESTAMP;
            sqlType = SQL_TYPE_TIMESTAMP;
            size = 23;
            digits = 3;
            data = &b.ts;
            bufLen = sizeof(b.ts);
            break;
        default: {
            const QString t = null ? QString() : v.toText();
            const qsizetype room =
                p.Size() > 0 ? p.Size() : std::max<qsizetype>(t.size(), p.isOutput() ? 4000 : 1);
            b.w.assign(size_t(room + 1), 0);
            std::copy(reinterpret_cast<const SQLWCHAR*>(t.utf16()),
                      reinterpret_cast<const SQLWCHAR*>(t.utf16()) + t.size(), b.w.begin());
            sqlType = room > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
            size = SQLULEN(std::max<qsizetype>(room, 1));
            data = b.w.data();
            bufLen = SQLLEN(b.w.size() * sizeof(SQLWCHAR));
            if (!null) b.ind = SQLLEN(t.size() * sizeof(SQLWCHAR));
            break;
        }
        }
        if (null) b.ind = SQL_NULL_DATA;
        check(SQLBindParameter(stmt, SQLUSMALLINT(i + 1), io, cType, sqlType, size, digits, data, bufLen,
                               &b.ind),
              SQL_HANDLE_STMT, stmt, "binding parameter '" + p.Name() + "'");
    }
    ++roundTrips_;
    const QString context = "stored procedure '" + name + "'";
    check(SQLExecute(stmt), SQL_HANDLE_STMT, stmt, context);
    // Output parameters are final only once every result of the call has been consumed.
    SQLSMALLINT ncols = 0;
    do {
        if (ok(SQLNumResultCols(stmt, &ncols)) && ncols > 0)
            while (ok(SQLFetch(stmt))) {
            }
    } while (dbc_ && ok(SQLMoreResults(stmt)));
    if (!dbc_)
        throw AdoError(LayerError::ConnectionFailed, "ODBC: the connection was lost during " + context);
    SQLFreeStmt(stmt, SQL_CLOSE);

    for (int i = 0; i < params.size(); ++i) {
        Parameter& p = params[i];
        if (!p.isOutput()) continue;
        const ParamBuffer& b = buffers[size_t(i)];
        if (b.ind == SQL_NULL_DATA) {
            p.setValue(Variant::null());
            continue;
        }
        switch (p.Type()) {
        case adInteger:
            p.setValue(Variant(int(b.i32)));
            break;
        case adDouble:
            p.setValue(Variant(b.d));
            break;
        case adDate:
            p.setValue(Variant::fromDate(fromTimestamp(b.ts)));
            break;
        default: {
            const SQLLEN room = SQLLEN((b.w.size() - 1) * sizeof(SQLWCHAR));
            if (b.ind == SQL_NO_TOTAL || b.ind > room)
                throw AdoError(LayerError::ParameterTooLong,
                               QStringLiteral("Output parameter '%1' of %2 holds more than its size %3")
                                   .arg(p.Name(), context)
                                   .arg(b.w.size() - 1));
            p.setValue(Variant(fromWide(b.w.data(), b.ind / SQLLEN(sizeof(SQLWCHAR)))));
            break;
        }
        }
    }
}

void OdbcBackend::begin() {
    if (!dbc_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    check(SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0),
          SQL_HANDLE_DBC, dbc_, "BEGIN");
}

void OdbcBackend::endTransaction(bool commit) {
    if (!dbc_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    ++roundTrips_;
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK);
    if (dbc_)
        SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
    check(rc, SQL_HANDLE_DBC, dbc_, commit ? "COMMIT" : "ROLLBACK");
}

void OdbcBackend::commit() {
    endTransaction(true);
}
void OdbcBackend::rollback() {
    endTransaction(false);
}

QStringList OdbcBackend::primaryKey(const QString& table) {
    QString bare = table;
    if (bare.startsWith('"') && bare.endsWith('"')) bare = bare.mid(1, bare.size() - 2);
    QString schema;
    if (const int dot = int(bare.indexOf('.')); dot > 0 && !table.startsWith('"')) {
        schema = bare.left(dot);
        bare = bare.mid(dot + 1);
    }
    QStringList candidates{bare};
    if (!table.startsWith('"')) {
        if (!candidates.contains(bare.toLower())) candidates << bare.toLower();
        if (!candidates.contains(bare.toUpper())) candidates << bare.toUpper();
    }
    for (const QString& name : std::as_const(candidates)) {
        Handle stmt = freshStatement();
        ++roundTrips_;
        SQLRETURN rc = SQLPrimaryKeysW(
            stmt, nullptr, 0, schema.isEmpty() ? nullptr : const_cast<SQLWCHAR*>(wide(schema)),
            SQLSMALLINT(schema.size()), const_cast<SQLWCHAR*>(wide(name)), SQLSMALLINT(name.size()));
        QList<QPair<int, QString>> keys;
        if (ok(rc)) {
            try {
                ResultSet rs = readResults(stmt, "primary key of " + table);
                for (size_t r = 0; r < rs.rows.size(); ++r)
                    if (rs.rows.columnCount() >= 5)
                        keys.append({rs.rows.value(r, 4).toInt32(), rs.rows.value(r, 3).toText()});
            } catch (...) {
                SQLFreeHandle(SQL_HANDLE_STMT, stmt);
                throw;
            }
        }
        SQLFreeHandle(SQL_HANDLE_STMT, stmt);
        if (!keys.isEmpty()) {
            std::sort(keys.begin(), keys.end());
            QStringList out;
            for (const auto& k : keys)
                out << k.second;
            return out;
        }
    }
    return {};
}

} // namespace ado
