#include "platform/ado/PgBackend.h"

#include "platform/ado/AdoTypes.h"
#include "platform/ado/SqlText.h"

#include <QTimeZone>

#include <libpq-fe.h>

#include <charconv>
#include <cmath>
#include <cstring>

namespace ado {

namespace {

// Type oids of the built-in types the layer converts.
constexpr Oid kBool = 16, kBytea = 17, kInt8 = 20, kInt2 = 21, kInt4 = 23, kText = 25, kOid = 26,
              kFloat4 = 700, kFloat8 = 701, kVarchar = 1043, kDate = 1082, kTimestamp = 1114,
              kTimestampTz = 1184, kNumeric = 1700, kUnknown = 0;

// The SQLSTATE as one integer: its five characters read in base 36 (so "57014" and "42P01" both
// stay distinct, stable numbers). The description carries the SQLSTATE itself.
int sqlStateNumber(const char* state) {
    if (!state || !*state) return LayerError::ConnectionFailed;
    int n = 0;
    for (const char* p = state; *p; ++p) {
        const char c = *p;
        const int digit = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'Z') ? c - 'A' + 10 : 0;
        n = n * 36 + digit;
    }
    return n;
}

QString cleanMessage(const char* msg) {
    return QString::fromUtf8(msg).trimmed();
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 0;
}

ColumnKind kindOf(Oid type) {
    switch (type) {
    case kDate:
    case kTimestamp:
    case kTimestampTz:
        return ColumnKind::Date;
    case kBytea:
        return ColumnKind::Blob;
    default:
        return ColumnKind::Other;
    }
}

Variant readValue(const char* text, int len, Oid type) {
    switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
        return Variant(static_cast<std::int64_t>(std::strtoll(text, nullptr, 10)));
    case kFloat4:
    case kFloat8:
    case kNumeric: {
        if (std::strcmp(text, "NaN") == 0) return Variant(std::nan(""));
        return Variant(std::strtod(text, nullptr));
    }
    case kBool:
        return Variant(text[0] == 't');
    case kDate:
    case kTimestamp:
    case kTimestampTz: {
        double d = 0;
        if (TimestampText::parse(text, len, d)) return Variant::fromDate(d);
        return Variant(QString::fromUtf8(text, len)); // infinity and the like
    }
    case kBytea: {
        if (len >= 2 && text[0] == '\\' && text[1] == 'x') {
            QByteArray bytes;
            bytes.reserve((len - 2) / 2);
            for (int i = 2; i + 1 < len; i += 2)
                bytes.append(char(hexValue(text[i]) * 16 + hexValue(text[i + 1])));
            return Variant(QString::fromLatin1(bytes));
        }
        return Variant(QString::fromLatin1(text, len));
    }
    default:
        return Variant(QString::fromUtf8(text, len));
    }
}

// The shortest text that reads back as the same double.
QByteArray doubleText(double d) {
    if (std::isnan(d)) return "NaN";
    if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof(buf), d);
    return QByteArray(buf, int(r.ptr - buf));
}

int doubleChars(double d, char* buf, size_t size) {
    if (std::isnan(d)) return int(std::strlen(std::strcpy(buf, "NaN")));
    if (std::isinf(d)) return int(std::strlen(std::strcpy(buf, d > 0 ? "Infinity" : "-Infinity")));
    return int(std::to_chars(buf, buf + size, d).ptr - buf);
}

int integerChars(const Variant& v, char* buf, size_t size) {
    return int(std::to_chars(buf, buf + size, static_cast<long long>(v.toDouble())).ptr - buf);
}

// An output parameter's (lower-cased) name against a result column's name, without converting
// either: column names are ASCII in practice, anything else takes the slow path.
bool sameName(const QString& lower, const char* column) {
    qsizetype i = 0;
    for (; column[i]; ++i) {
        const unsigned char c = static_cast<unsigned char>(column[i]);
        if (c >= 0x80) return lower.compare(QString::fromUtf8(column), Qt::CaseInsensitive) == 0;
        if (i >= lower.size() || lower[i] != QChar(c >= 'A' && c <= 'Z' ? c + 32 : c)) return false;
    }
    return i == lower.size();
}

// A text parameter as libpq takes it. The server has no way to store a NUL character, and libpq
// would end the value at it without a word: a shorter text than the one given would be stored or
// compared. Refused instead, with the reason.
QByteArray textParameter(const QString& text) {
    if (text.contains(QChar(0)))
        throw AdoError(LayerError::InvalidArgument,
                       "PostgreSQL cannot store a text that holds a NUL character");
    return text.toUtf8();
}

QByteArray integerText(const Variant& v) {
    return QByteArray::number(static_cast<qlonglong>(v.toDouble()));
}

} // namespace

void PgBackend::Bound::clear() {
    types.clear();
    arena.clear();
    offsets.clear();
    nulls.clear();
    pointers.clear();
    lengths.clear();
    formats.clear();
}

void PgBackend::Bound::reserve(size_t n) {
    types.reserve(n);
    offsets.reserve(n);
    nulls.reserve(n);
    pointers.reserve(n);
    lengths.reserve(n);
    formats.reserve(n);
}

void PgBackend::Bound::add(unsigned type, const char* data, size_t size, bool isNull, int format) {
    types.push_back(type);
    offsets.push_back(arena.size());
    // libpq reads text-format values up to their terminator, whatever the length says.
    if (!isNull) {
        arena.append(data, size);
        arena.push_back('\0');
    }
    nulls.push_back(isNull);
    lengths.push_back(isNull ? 0 : int(size));
    formats.push_back(format);
    pointers.push_back(nullptr);
}

void PgBackend::Bound::finish() {
    // An empty text is "" and not NULL: a pointer into the buffer, never nullptr.
    for (size_t i = 0; i < types.size(); ++i)
        pointers[i] = nulls[i] ? nullptr : arena.data() + offsets[i];
}

PgBackend::~PgBackend() {
    close();
}

void PgBackend::open(const ConnectionString& cs, int connectionTimeout, int commandTimeout) {
    const QString user = cs.userId().toLower();
    const QString db = cs.catalog().isEmpty() ? user : cs.catalog().toLower();
    QString tz = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    if (tz.isEmpty() || tz.contains(' ')) tz.clear();
    const QByteArray host = cs.pgHost().toUtf8();
    const QByteArray port = QByteArray::number(cs.pgPort());
    const QByteArray dbname = db.toUtf8();
    const QByteArray username = user.toUtf8();
    const QByteArray password = cs.password().toUtf8();
    const QByteArray timeout = QByteArray::number(connectionTimeout > 0 ? std::max(connectionTimeout, 2) : 0);
    // Dates cross as local wall-clock readings: the session's zone is the host's, so a
    // timestamptz column reads as the local time too.
    QByteArray options =
        "-c statement_timeout=" + QByteArray::number(qint64(commandTimeout) * 1000) + " -c DateStyle=ISO";
    if (!tz.isEmpty()) options += " -c TimeZone=" + tz.toUtf8();
    QByteArray app = cs.value("Application Name").toUtf8();
    if (app.isEmpty()) app = "k48213";
    const char* keys[] = {"host",
                          "port",
                          "dbname",
                          "user",
                          "password",
                          "connect_timeout",
                          "options",
                          "application_name",
                          "client_encoding",
                          nullptr};
    const char* values[] = {host.constData(),
                            port.constData(),
                            dbname.constData(),
                            username.constData(),
                            password.constData(),
                            timeout.constData(),
                            options.constData(),
                            app.constData(),
                            "UTF8",
                            nullptr};
    if (host.isEmpty())
        throw AdoError(LayerError::BadConnectionString, "PostgreSQL: the Data Source names no server");
    if (user.isEmpty() && db.isEmpty())
        throw AdoError(LayerError::BadConnectionString,
                       "PostgreSQL: the connection string names no database and no user");
    PGconn* conn = PQconnectdbParams(keys, values, 0);
    ++roundTrips_;
    if (!conn) throw AdoError(LayerError::ConnectionFailed, "PostgreSQL: out of memory");
    if (PQstatus(conn) != CONNECTION_OK) {
        const QString msg = cleanMessage(PQerrorMessage(conn));
        PQfinish(conn);
        throw AdoError(LayerError::ConnectionFailed,
                       "PostgreSQL: cannot connect to " + cs.dataSource() + ": " + msg);
    }
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    conn_ = conn;
}

void PgBackend::close() noexcept {
    if (conn_) PQfinish(conn_);
    conn_ = nullptr;
    prepared_.clear();
}

void PgBackend::setCommandTimeout(int seconds) {
    if (!conn_) return;
    const QByteArray sql = "SET statement_timeout = " + QByteArray::number(qint64(seconds) * 1000);
    runSimple(sql.constData());
}

void PgBackend::failConnection(const QString& context) {
    const QString msg = cleanMessage(PQerrorMessage(conn_));
    if (PQstatus(conn_) == CONNECTION_BAD) close();
    throw AdoError(LayerError::ConnectionFailed,
                   "PostgreSQL: " + (context.isEmpty() ? QString() : context + ": ") + msg);
}

void PgBackend::failResult(PGresult* res) {
    const char* state = PQresultErrorField(res, PG_DIAG_SQLSTATE);
    QString msg = cleanMessage(PQresultErrorField(res, PG_DIAG_MESSAGE_PRIMARY));
    if (msg.isEmpty()) msg = cleanMessage(PQresultErrorMessage(res));
    if (msg.isEmpty() && conn_) msg = cleanMessage(PQerrorMessage(conn_));
    const int number = sqlStateNumber(state);
    const QString stateText = state ? QString::fromLatin1(state) : QString();
    PQclear(res);
    if (conn_ && PQstatus(conn_) == CONNECTION_BAD) close();
    throw AdoError(number, "PostgreSQL: " + (stateText.isEmpty() ? QString() : "[" + stateText + "] ") + msg);
}

void PgBackend::checkCommand(PGresult* res) {
    if (!res) failConnection({});
    const ExecStatusType st = PQresultStatus(res);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK) failResult(res);
}

void PgBackend::runSimple(const char* sql) {
    if (!conn_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    ++roundTrips_;
    PGresult* res = PQexec(conn_, sql);
    checkCommand(res);
    PQclear(res);
}

PGresult* PgBackend::run(const QString& key, const QByteArray& sql, Bound& bound) {
    if (!conn_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    bound.finish();
    auto it = prepared_.find(key);
    QByteArray name;
    if (it == prepared_.end()) {
        if (prepared_.size() >= 500) {
            runSimple("DEALLOCATE ALL");
            prepared_.clear();
        }
        name = "ado_" + QByteArray::number(++nextStatement_);
        ++roundTrips_;
        PGresult* res = PQprepare(conn_, name.constData(), sql.constData(), int(bound.types.size()),
                                  reinterpret_cast<const Oid*>(bound.types.data()));
        checkCommand(res);
        PQclear(res);
        prepared_.insert_or_assign(key, name);
    } else {
        name = it->second;
    }
    ++roundTrips_;
    PGresult* res = PQexecPrepared(conn_, name.constData(), int(bound.size()), bound.pointers.data(),
                                   bound.lengths.data(), bound.formats.data(), 0);
    checkCommand(res);
    return res;
}

ResultSet PgBackend::readResult(PGresult* res) const {
    ResultSet rs;
    rs.hasRows = PQresultStatus(res) == PGRES_TUPLES_OK;
    const char* affected = PQcmdTuples(res);
    rs.affected = affected && *affected ? std::strtoll(affected, nullptr, 10) : -1;
    if (!rs.hasRows) return rs;
    const int nf = PQnfields(res);
    std::vector<Oid> types(static_cast<size_t>(nf));
    for (int i = 0; i < nf; ++i) {
        types[size_t(i)] = PQftype(res, i);
        rs.columns.append({QString::fromUtf8(PQfname(res, i)), kindOf(types[size_t(i)])});
    }
    const int nt = PQntuples(res);
    rs.rows.setColumnCount(nf);
    rs.rows.reserve(size_t(nt));
    for (int r = 0; r < nt; ++r) {
        QList<Variant> row;
        row.reserve(nf);
        for (int i = 0; i < nf; ++i) {
            if (PQgetisnull(res, r, i))
                row.append(Variant::null());
            else
                row.append(readValue(PQgetvalue(res, r, i), PQgetlength(res, r, i), types[size_t(i)]));
        }
        rs.rows.append(row);
    }
    return rs;
}

ResultSet PgBackend::execute(const QString& sql, const std::vector<BindValue>& params) {
    if (!conn_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    int count = 0;
    const QString numbered = SqlText::numberPlaceholders(sql, count);
    if (count != int(params.size()))
        throw AdoError(LayerError::InvalidArgument,
                       QStringLiteral("The statement has %1 placeholders but %2 values were given")
                           .arg(count)
                           .arg(params.size()));
    if (params.empty() && SqlText::isScript(sql)) {
        // A script of several statements cannot be prepared; it runs as one simple query.
        ++roundTrips_;
        PGresult* res = PQexec(conn_, numbered.toUtf8().constData());
        checkCommand(res);
        ResultSet rs = readResult(res);
        PQclear(res);
        return rs;
    }
    Bound bound;
    QString key = sql;
    key.reserve(sql.size() + 1 + int(params.size()));
    key += QChar(0x1f);
    for (const BindValue& bv : params) {
        const Variant& v = bv.value;
        switch (v.type()) {
        case Variant::Type::Empty:
        case Variant::Type::Null:
            bound.add(kUnknown, {}, true);
            key += 'n';
            break;
        case Variant::Type::Boolean:
            bound.add(kUnknown, QByteArray::number(qlonglong(booleanAsInteger(v))), false);
            key += 'u';
            break;
        case Variant::Type::Integer:
            // Left to the server to type from the context, so an integer compares with a text
            // column as readily as with a number column.
            bound.add(kUnknown, integerText(v), false);
            key += 'u';
            break;
        case Variant::Type::Double:
            bound.add(kFloat8, doubleText(v.toDouble()), false);
            key += 'd';
            break;
        case Variant::Type::Date:
            bound.add(kTimestamp, TimestampText::formatLatin1(v.toDate()), false);
            key += 't';
            break;
        case Variant::Type::Text:
            if (bv.blob) {
                bound.add(kBytea, v.toText().toLatin1(), false, 1);
                key += 'b';
            } else {
                bound.add(kUnknown, textParameter(v.toText()), false);
                key += 'u';
            }
            break;
        }
    }
    PGresult* res = run(key, numbered.toUtf8(), bound);
    ResultSet rs = readResult(res);
    PQclear(res);
    return rs;
}

void PgBackend::callProcedure(const QString& name, QList<Parameter>& params) {
    if (!conn_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    Bound& bound = callBound_;
    bound.clear();
    bound.reserve(size_t(params.size()));
    // The cache key is the name and one letter per input type; the SQL text is only built when
    // the key is new.
    QString& key = callKey_;
    key.resize(0);
    key += name;
    key += QChar(0x1f);
    int n = 0;
    for (const Parameter& p : std::as_const(params)) {
        if (!p.isInput()) continue;
        const Variant v = toParameterType(p.valueRef(), p.Type());
        const bool null = v.isNull();
        char buf[40];
        int len = 0;
        switch (p.Type()) {
        case adInteger:
            key += 'i';
            if (!null) len = integerChars(v, buf, sizeof(buf));
            bound.add(kInt4, buf, size_t(len), null);
            break;
        case adDouble:
            key += 'd';
            if (!null) len = doubleChars(v.toDouble(), buf, sizeof(buf));
            bound.add(kFloat8, buf, size_t(len), null);
            break;
        case adDate:
            key += 't';
            if (!null) len = TimestampText::formatTo(v.toDate(), buf);
            bound.add(kTimestamp, buf, size_t(len), null);
            break;
        case adVarChar:
        case adVarWChar:
            key += 'v';
            bound.add(kVarchar, null ? QByteArray() : textParameter(v.toText()), null);
            break;
        default:
            key += 'x';
            bound.add(kText, null ? QByteArray() : textParameter(v.toText()), null);
            break;
        }
        ++n;
    }
    QByteArray sql;
    if (prepared_.find(key) == prepared_.end()) {
        // The name goes into the statement text: only a plain (optionally schema-qualified) name.
        if (!SqlText::isSafeIdentifier(name) || name.startsWith('"'))
            throw AdoError(LayerError::InvalidArgument, "'" + name + "' is not a procedure name");
        sql = "SELECT * FROM " + name.toUtf8() + "(";
        for (int i = 0; i < n; ++i)
            sql += (i ? ",$" : "$") + QByteArray::number(i + 1);
        sql += ")";
    }
    PGresult* res = run(key, sql, bound);
    const int nf = PQnfields(res);
    const bool haveRow = PQntuples(res) > 0;
    for (Parameter& p : params) {
        if (!p.isOutput()) continue;
        Variant out = Variant::null();
        if (haveRow) {
            const QString& wanted = p.lowerName();
            for (int i = 0; i < nf; ++i) {
                if (sameName(wanted, PQfname(res, i))) {
                    if (!PQgetisnull(res, 0, i))
                        out = toParameterType(
                            readValue(PQgetvalue(res, 0, i), PQgetlength(res, 0, i), PQftype(res, i)),
                            p.Type());
                    break;
                }
            }
        }
        p.setValue(std::move(out));
    }
    PQclear(res);
}

void PgBackend::begin() {
    runSimple("BEGIN");
}
void PgBackend::commit() {
    runSimple("COMMIT");
}
void PgBackend::rollback() {
    runSimple("ROLLBACK");
}

QStringList PgBackend::primaryKey(const QString& table) {
    ResultSet rs = execute(
        QStringLiteral("SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid "
                       "AND a.attnum = ANY(i.indkey) WHERE i.indrelid = to_regclass(?) AND i.indisprimary "
                       "ORDER BY array_position(i.indkey, a.attnum)"),
        {BindValue{Variant(table), false}});
    QStringList out;
    for (size_t r = 0; r < rs.rows.size(); ++r)
        out << rs.rows.value(r, 0).toText();
    return out;
}

} // namespace ado
