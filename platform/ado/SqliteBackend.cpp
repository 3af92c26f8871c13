#include "platform/ado/SqliteBackend.h"

#include "platform/ado/AdoTypes.h"
#include "platform/ado/SqlText.h"

#include <QDir>
#include <QFileInfo>

#include <sqlite3.h>

#include <climits>
#include <cstring>

namespace ado {

namespace {

ColumnKind kindOf(const char* declType) {
    if (!declType) return ColumnKind::Other;
    const QByteArray t = QByteArray(declType).toUpper();
    if (t.contains("DATE") || t.contains("TIME")) return ColumnKind::Date;
    if (t.contains("BLOB") || t.contains("BINARY") || t.contains("IMAGE") || t.contains("BYTEA"))
        return ColumnKind::Blob;
    return ColumnKind::Other;
}

Variant readColumn(sqlite3_stmt* stmt, int i, ColumnKind kind) {
    switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER:
        return Variant(static_cast<std::int64_t>(sqlite3_column_int64(stmt, i)));
    case SQLITE_FLOAT:
        return Variant(sqlite3_column_double(stmt, i));
    case SQLITE_TEXT: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        const int len = sqlite3_column_bytes(stmt, i);
        if (kind == ColumnKind::Date) {
            double d = 0;
            if (TimestampText::parse(text, len, d)) return Variant::fromDate(d);
        }
        if (kind == ColumnKind::Blob) return Variant(QString::fromLatin1(text, len));
        return Variant(QString::fromUtf8(text, len));
    }
    case SQLITE_BLOB: {
        const char* data = static_cast<const char*>(sqlite3_column_blob(stmt, i));
        return Variant(QString::fromLatin1(data, sqlite3_column_bytes(stmt, i)));
    }
    default:
        return Variant::null();
    }
}

// The rows of a statement whose first step gave rc, into rs (whose columns are set); returns the
// code of the step that ended them.
int readRows(sqlite3_stmt* stmt, int rc, ResultSet& rs) {
    const int n = int(rs.columns.size());
    rs.hasRows = n > 0;
    rs.rows.setColumnCount(n);
    for (; rc == SQLITE_ROW; rc = sqlite3_step(stmt))
        for (int i = 0; i < n; ++i)
            rs.rows.push(readColumn(stmt, i, rs.columns[i].kind));
    return rc;
}

QList<Column> columnsOf(sqlite3_stmt* stmt) {
    QList<Column> columns;
    const int n = sqlite3_column_count(stmt);
    for (int i = 0; i < n; ++i)
        columns.append({QString::fromUtf8(sqlite3_column_name(stmt, i)), kindOf(sqlite3_column_decltype(stmt, i))});
    return columns;
}

// What sqlite3_prepare left after the first statement holds another one.
bool moreStatementsIn(const char* tail) {
    if (!tail) return false;
    const QByteArray rest = QByteArray(tail).trimmed();
    return !rest.isEmpty() && rest != ";";
}

QString lowerParamName(const char* name) {
    if (!name) return {};
    if (*name == ':' || *name == '@' || *name == '$' || *name == '?') ++name;
    return QString::fromUtf8(name).toLower();
}

} // namespace

SqliteBackend::~SqliteBackend() {
    close();
}

void SqliteBackend::fail(int rc, const QString& context) const {
    int code = rc;
    QString msg;
    if (db_) {
        code = sqlite3_extended_errcode(db_);
        msg = QString::fromUtf8(sqlite3_errmsg(db_));
    } else {
        msg = QString::fromUtf8(sqlite3_errstr(rc));
    }
    if ((rc & 0xff) == SQLITE_INTERRUPT && deadlineArmed_)
        msg = QStringLiteral("Query timeout expired (%1 s)").arg(commandTimeout_);
    throw AdoError(code, "SQLite: " + msg + (context.isEmpty() ? QString() : " (" + context + ")"));
}

void SqliteBackend::open(const ConnectionString& cs, int, int commandTimeout) {
    const QString folder = cs.sqliteFolder();
    const QString name = cs.catalog().isEmpty() ? cs.userId() : cs.catalog();
    if (folder.trimmed().isEmpty())
        throw AdoError(LayerError::BadConnectionString, "SQLite: the Data Source names no folder");
    if (!QFileInfo(folder).isDir())
        throw AdoError(LayerError::ConnectionFailed, "SQLite: the folder '" + folder + "' does not exist");
    if (name.isEmpty())
        throw AdoError(LayerError::BadConnectionString,
                       "SQLite: the connection string names no database (Initial Catalog or User ID)");
    if (name.contains('/') || name.contains('\\') || name.contains(".."))
        throw AdoError(LayerError::BadConnectionString, "SQLite: '" + name + "' is not a database name");
    const QString file = QDir(folder).filePath(name + ".sqlite");
    if (!QFileInfo::exists(file))
        throw AdoError(LayerError::ConnectionFailed,
                       "SQLite: database '" + name + "' does not exist in '" + folder + "'");

    sqlite3* db = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString msg =
            db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(db);
        throw AdoError(rc, "SQLite: cannot open '" + file + "': " + msg);
    }
    db_ = db;
    sqlite3_extended_result_codes(db_, 1);
    commandTimeout_ = commandTimeout;
    sqlite3_busy_timeout(db_, commandTimeout > 0 ? commandTimeout * 1000 : INT_MAX);
    sqlite3_progress_handler(db_, 4000, &SqliteBackend::progress, this);
    try {
        runSimple("PRAGMA journal_mode=WAL");
        runSimple("PRAGMA synchronous=NORMAL");
        runSimple("PRAGMA foreign_keys=ON");
        for (auto [sql, stmt] : {std::pair{"SAVEPOINT ado_procedure", &savepoint_},
                                 std::pair{"RELEASE ado_procedure", &release_}}) {
            const int prc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, stmt, nullptr);
            if (prc != SQLITE_OK) fail(prc);
        }
    } catch (...) {
        close();
        throw;
    }
}

void SqliteBackend::close() noexcept {
    if (!db_) return;
    clearProcedures();
    for (const auto& cached : cache_)
        sqlite3_finalize(cached.second.stmt);
    cache_.clear();
    sqlite3_finalize(savepoint_);
    sqlite3_finalize(release_);
    savepoint_ = release_ = nullptr;
    row_.clear();
    sqlite3_close_v2(db_);
    db_ = nullptr;
}

void SqliteBackend::setCommandTimeout(int seconds) {
    commandTimeout_ = seconds;
    if (db_) sqlite3_busy_timeout(db_, seconds > 0 ? seconds * 1000 : INT_MAX);
}

int SqliteBackend::progress(void* self) {
    auto* b = static_cast<SqliteBackend*>(self);
    return b->deadlineArmed_ && std::chrono::steady_clock::now() > b->deadline_ ? 1 : 0;
}

void SqliteBackend::armDeadline() {
    deadlineArmed_ = commandTimeout_ > 0;
    if (deadlineArmed_) deadline_ = std::chrono::steady_clock::now() + std::chrono::seconds(commandTimeout_);
}

void SqliteBackend::runSimple(const char* sql) {
    char* err = nullptr;
    ++roundTrips_;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : "");
        sqlite3_free(err);
        throw AdoError(sqlite3_extended_errcode(db_), "SQLite: " + msg);
    }
}

void SqliteBackend::runCached(const QString& sql) {
    Prepared* cached = prepared(sql);
    if (!cached) throw AdoError(LayerError::NotSupported, "A script of several statements cannot run here");
    sqlite3_stmt* stmt = cached->stmt;
    ++roundTrips_;
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) fail(rc);
}

void SqliteBackend::runFixed(sqlite3_stmt* stmt) {
    ++roundTrips_;
    const int rc = sqlite3_step(stmt);
    sqlite3_reset(stmt);
    if (rc != SQLITE_DONE && rc != SQLITE_ROW) fail(rc);
}

SqliteBackend::Prepared* SqliteBackend::prepared(const QString& sql) {
    if (auto it = cache_.find(sql); it != cache_.end()) return &it->second;
    if (cache_.size() >= 500) {
        for (const auto& cached : cache_)
            sqlite3_finalize(cached.second.stmt);
        cache_.clear();
    }
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc =
        sqlite3_prepare_v3(db_, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
    if (rc != SQLITE_OK) fail(rc);
    if (moreStatementsIn(tail)) {
        sqlite3_finalize(stmt);
        return nullptr; // a script: run statement by statement, uncached
    }
    return &cache_.insert_or_assign(sql, Prepared{stmt, {}, -1}).first->second;
}

void SqliteBackend::bindAll(sqlite3_stmt* stmt, const std::vector<BindValue>& params) {
    const int expected = sqlite3_bind_parameter_count(stmt);
    if (expected != int(params.size()))
        throw AdoError(LayerError::InvalidArgument,
                       QStringLiteral("The statement has %1 placeholders but %2 values were given")
                           .arg(expected)
                           .arg(params.size()));
    for (int i = 0; i < expected; ++i)
        bind(stmt, i + 1, params[size_t(i)]);
}

void SqliteBackend::bind(sqlite3_stmt* stmt, int index, const BindValue& bv) {
    bindValue(stmt, index, bv.value, bv.blob);
}

void SqliteBackend::bindValue(sqlite3_stmt* stmt, int index, const Variant& v, bool blob) {
    int rc = SQLITE_OK;
    switch (v.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        rc = sqlite3_bind_null(stmt, index);
        break;
    case Variant::Type::Boolean:
        rc = sqlite3_bind_int64(stmt, index, booleanAsInteger(v));
        break;
    case Variant::Type::Integer:
        rc = sqlite3_bind_int64(stmt, index, static_cast<sqlite3_int64>(v.toDouble())); // exact below 2^53
        break;
    case Variant::Type::Double:
        rc = sqlite3_bind_double(stmt, index, v.toDouble());
        break;
    case Variant::Type::Date: {
        char t[32];
        const int n = TimestampText::formatTo(v.toDate(), t);
        rc = sqlite3_bind_text(stmt, index, t, n, SQLITE_TRANSIENT);
        break;
    }
    case Variant::Type::Text:
        if (!blob) {
            // Most texts bound are short and plain ASCII (user names, tags): copied straight
            // from UTF-16 without a temporary array.
            const QString text = v.toText();
            const qsizetype n = text.size();
            char ascii[128];
            bool plain = n <= qsizetype(sizeof(ascii));
            for (qsizetype i = 0; plain && i < n; ++i) {
                const char16_t c = text.data()[i].unicode();
                plain = c < 0x80;
                ascii[i] = char(c);
            }
            if (plain) {
                rc = sqlite3_bind_text(stmt, index, ascii, int(n), SQLITE_TRANSIENT);
                break;
            }
        }
        if (blob) {
            const QByteArray b = v.toText().toLatin1();
            rc = sqlite3_bind_blob(stmt, index, b.constData(), int(b.size()), SQLITE_TRANSIENT);
        } else {
            const QByteArray t = v.toText().toUtf8();
            rc = sqlite3_bind_text(stmt, index, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        }
        break;
    }
    if (rc != SQLITE_OK) fail(rc, QStringLiteral("binding parameter %1").arg(index));
}

ResultSet SqliteBackend::execute(const QString& sql, const std::vector<BindValue>& params) {
    if (!db_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    armDeadline();
    ResultSet rs;
    Prepared* cached = prepared(sql);
    sqlite3_stmt* stmt = cached ? cached->stmt : nullptr;
    // A statement that may change ado_procedures makes the bodies read so far stale; reads,
    // which are most statements, cannot.
    if ((!stmt || !sqlite3_stmt_readonly(stmt)) && SqlText::mentions(sql, QStringLiteral("ado_procedures")))
        clearProcedures();
    if (!stmt) {
        // A script of several statements: each runs in turn; the last one with columns gives the rows.
        if (!params.empty())
            throw AdoError(LayerError::NotSupported,
                           "Parameters cannot be bound to a script of several statements");
        const QByteArray utf8 = sql.toUtf8();
        const char* p = utf8.constData();
        const char* end = p + utf8.size();
        while (p < end) {
            sqlite3_stmt* s = nullptr;
            const char* tail = nullptr;
            int rc = sqlite3_prepare_v2(db_, p, int(end - p), &s, &tail);
            if (rc != SQLITE_OK) fail(rc);
            p = tail;
            if (!s) continue;
            ++roundTrips_;
            ResultSet part;
            part.columns = columnsOf(s);
            rc = readRows(s, sqlite3_step(s), part);
            sqlite3_finalize(s);
            if (rc != SQLITE_DONE) fail(rc);
            if (part.hasRows) rs = std::move(part);
            rs.affected = sqlite3_changes64(db_);
        }
        return rs;
    }

    struct Reset {
        sqlite3_stmt* s;
        ~Reset() {
            sqlite3_reset(s);
            sqlite3_clear_bindings(s);
        }
    } reset{stmt};
    bindAll(stmt, params);
    ++roundTrips_;
    // The columns are those of the statement as the first step ran it: a schema change since
    // the last call makes SQLite prepare it again there.
    int rc = sqlite3_step(stmt);
    const int preparedAgain = sqlite3_stmt_status(stmt, SQLITE_STMTSTATUS_REPREPARE, 0);
    if (cached->preparedAgain != preparedAgain) {
        cached->columns = columnsOf(stmt);
        cached->preparedAgain = preparedAgain;
    }
    rs.columns = cached->columns;
    rc = readRows(stmt, rc, rs);
    if (rc != SQLITE_DONE) fail(rc);
    rs.affected = sqlite3_stmt_readonly(stmt) ? -1 : sqlite3_changes64(db_);
    return rs;
}

namespace {

class SqliteStream : public RowStream {
public:
    SqliteStream(sqlite3* db, sqlite3_stmt* stmt) : db_(db), stmt_(stmt), columns_(columnsOf(stmt)) {}
    // A connection closed meanwhile stays a zombie (sqlite3_close_v2) until this is finalised.
    ~SqliteStream() override { sqlite3_finalize(stmt_); }

    const QList<Column>& columns() const override { return columns_; }

    bool fetch(RowStore& out, int maxRows) override {
        if (done_) return false;
        const int n = int(columns_.size());
        for (int r = 0; r < maxRows; ++r) {
            const int rc = sqlite3_step(stmt_);
            if (rc == SQLITE_DONE) {
                done_ = true;
                return false;
            }
            if (rc != SQLITE_ROW) {
                done_ = true;
                throw AdoError(sqlite3_extended_errcode(db_), "SQLite: " + QString::fromUtf8(sqlite3_errmsg(db_)));
            }
            for (int i = 0; i < n; ++i)
                store(i, out);
        }
        return true;
    }

private:
    // readColumn's value, stored without a Variant where the cell is a number, a NULL or a
    // date: the cells of a readings query.
    void store(int i, RowStore& out) {
        switch (sqlite3_column_type(stmt_, i)) {
        case SQLITE_FLOAT:
            out.pushNumber(Variant::Type::Double, sqlite3_column_double(stmt_, i));
            return;
        case SQLITE_NULL:
            out.pushNumber(Variant::Type::Null, 0.0);
            return;
        case SQLITE_TEXT:
            if (columns_[i].kind == ColumnKind::Date) {
                const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
                double d = 0;
                if (stamps_.parse(text, sqlite3_column_bytes(stmt_, i), d)) {
                    out.pushNumber(Variant::Type::Date, d);
                    return;
                }
            }
            break;
        default:
            break;
        }
        out.push(readColumn(stmt_, i, columns_[i].kind));
    }

    sqlite3* db_;
    sqlite3_stmt* stmt_;
    QList<Column> columns_;
    TimestampReader stamps_;
    bool done_ = false;
};

} // namespace

std::unique_ptr<RowStream> SqliteBackend::stream(const QString& sql, const std::vector<BindValue>& params) {
    if (!db_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    const QByteArray utf8 = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db_, utf8.constData(), int(utf8.size()), &stmt, &tail);
    if (rc != SQLITE_OK) fail(rc);
    if (!stmt || moreStatementsIn(tail)) {
        sqlite3_finalize(stmt);
        return Backend::stream(sql, params); // a script or nothing to run: read whole
    }
    auto out = std::make_unique<SqliteStream>(db_, stmt); // owns stmt from here on
    bindAll(stmt, params);
    ++roundTrips_;
    return out;
}

void SqliteBackend::clearProcedures() noexcept {
    for (auto& p : procedures_)
        for (auto& s : p.second->statements)
            sqlite3_finalize(s.stmt);
    procedures_.clear();
    byName_.clear();
}

SqliteBackend::Procedure& SqliteBackend::procedure(const QString& name) {
    if (auto exact = byName_.find(name); exact != byName_.end()) return *exact->second;
    const QString key = name.toLower();
    if (auto it = procedures_.find(key); it != procedures_.end()) {
        byName_.insert_or_assign(name, it->second);
        return *it->second;
    }

    sqlite3_stmt* lookup = nullptr;
    {
        const char* sql = "SELECT body FROM ado_procedures WHERE name = ?1";
        auto found = cache_.find(QString::fromLatin1(sql));
        if (found != cache_.end()) {
            lookup = found->second.stmt;
        } else {
            const int rc = sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &lookup, nullptr);
            if (rc != SQLITE_OK) {
                if (QByteArray(sqlite3_errmsg(db_)).contains("no such table"))
                    throw AdoError(LayerError::ItemNotFound,
                                   "SQLite: stored procedure '" + name +
                                       "' does not exist (the database has no ado_procedures table)");
                fail(rc);
            }
            cache_.insert_or_assign(QString::fromLatin1(sql), Prepared{lookup, {}, -1});
        }
    }
    const QByteArray nameUtf8 = name.toUtf8();
    sqlite3_bind_text(lookup, 1, nameUtf8.constData(), int(nameUtf8.size()), SQLITE_TRANSIENT);
    ++roundTrips_;
    int rc = sqlite3_step(lookup);
    QByteArray body;
    if (rc == SQLITE_ROW)
        body = QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(lookup, 0)),
                          sqlite3_column_bytes(lookup, 0));
    sqlite3_reset(lookup);
    sqlite3_clear_bindings(lookup);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) fail(rc);
    if (rc == SQLITE_DONE)
        throw AdoError(LayerError::ItemNotFound, "SQLite: stored procedure '" + name + "' does not exist");

    Procedure proc;
    const char* p = body.constData();
    const char* end = p + body.size();
    while (p < end) {
        sqlite3_stmt* s = nullptr;
        const char* tail = nullptr;
        rc = sqlite3_prepare_v3(db_, p, int(end - p), SQLITE_PREPARE_PERSISTENT, &s, &tail);
        if (rc != SQLITE_OK) {
            const QString msg = QString::fromUtf8(sqlite3_errmsg(db_));
            const int code = sqlite3_extended_errcode(db_);
            for (auto& st : proc.statements)
                sqlite3_finalize(st.stmt);
            throw AdoError(code, "SQLite: stored procedure '" + name + "': " + msg);
        }
        p = tail;
        if (!s) continue;
        Procedure::Statement st;
        st.stmt = s;
        const int np = sqlite3_bind_parameter_count(s);
        for (int i = 1; i <= np; ++i)
            st.paramNames.push_back(lowerParamName(sqlite3_bind_parameter_name(s, i)));
        const int nc = sqlite3_column_count(s);
        for (int i = 0; i < nc; ++i) {
            st.columnNames.push_back(QString::fromUtf8(sqlite3_column_name(s, i)).toLower());
            // Expressions have no declared type; their date texts become dates through the
            // output parameter's type (toParameterType).
            st.columnKinds.push_back(int(kindOf(sqlite3_column_decltype(s, i))));
        }
        proc.statements.push_back(std::move(st));
    }
    auto shared = std::make_shared<Procedure>(std::move(proc));
    procedures_.insert_or_assign(key, shared);
    byName_.insert_or_assign(name, shared);
    return *shared;
}

void SqliteBackend::callProcedure(const QString& name, QList<Parameter>& params) {
    if (!db_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    armDeadline();
    Procedure& proc = procedure(name);

    // Which command parameter feeds each placeholder of the body, worked out again only when the
    // command's parameter names differ from the last call's (commands are rebuilt per value).
    bool sameNames = proc.lastNames.size() == size_t(params.size());
    for (int k = 0; sameNames && k < params.size(); ++k)
        sameNames = proc.lastNames[size_t(k)] == params[k].nameRef() &&
                    proc.lastDirections[size_t(k)] == params[k].Direction();
    if (!sameNames) {
        proc.commandNames.clear();
        proc.lastNames.clear();
        proc.lastDirections.clear();
        for (const Parameter& p : std::as_const(params)) {
            proc.commandNames.push_back(p.lowerName());
            proc.lastNames.push_back(p.Name());
            proc.lastDirections.push_back(p.Direction());
        }
        for (auto& st : proc.statements) {
            st.source.assign(st.paramNames.size(), -1);
            for (size_t i = 0; i < st.paramNames.size(); ++i)
                for (int k = 0; k < params.size(); ++k)
                    if (params[k].isInput() && proc.commandNames[size_t(k)] == st.paramNames[i]) {
                        st.source[i] = k;
                        break;
                    }
        }
    }

    const bool atomic = proc.statements.size() > 1 && sqlite3_get_autocommit(db_);
    if (atomic) runFixed(savepoint_);
    const Procedure::Statement* lastStatement = nullptr;
    QList<Variant>& lastRow = row_;
    lastRow.clear();
    bool haveRow = false;
    try {
        for (auto& st : proc.statements) {
            sqlite3_stmt* s = st.stmt;
            for (size_t i = 0; i < st.paramNames.size(); ++i) {
                const int k = st.source[i];
                if (k < 0 || !params[k].isInput())
                    sqlite3_bind_null(s, int(i) + 1);
                else
                    bindValue(s, int(i) + 1, params[k].valueRef(), false);
            }
            ++roundTrips_;
            int rc;
            while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
                const int nc = sqlite3_data_count(s);
                lastRow.clear();
                lastRow.reserve(nc);
                for (int i = 0; i < nc; ++i)
                    lastRow.append(readColumn(s, i, ColumnKind(st.columnKinds[size_t(i)])));
                lastStatement = &st;
                haveRow = true;
            }
            // Every placeholder is bound again on the next call, so the bindings need no clearing.
            sqlite3_reset(s);
            if (rc != SQLITE_DONE) fail(rc, "stored procedure '" + name + "'");
        }
    } catch (...) {
        if (atomic) {
            sqlite3_exec(db_, "ROLLBACK TO ado_procedure; RELEASE ado_procedure", nullptr, nullptr, nullptr);
        }
        throw;
    }
    if (atomic) runFixed(release_);

    for (int k = 0; k < params.size(); ++k) {
        Parameter& p = params[k];
        if (!p.isOutput()) continue;
        Variant out = Variant::null();
        if (haveRow) {
            const auto& columns = lastStatement->columnNames;
            for (size_t c = 0; c < columns.size(); ++c) {
                if (columns[c] == proc.commandNames[size_t(k)]) {
                    out = toParameterType(lastRow.at(int(c)), p.Type());
                    break;
                }
            }
        }
        p.setValue(std::move(out));
    }
}

void SqliteBackend::begin() {
    runSimple("BEGIN IMMEDIATE");
}
void SqliteBackend::commit() {
    runSimple("COMMIT");
}
void SqliteBackend::rollback() {
    runSimple("ROLLBACK");
}

QStringList SqliteBackend::primaryKey(const QString& table) {
    if (!SqlText::isSafeIdentifier(table)) return {};
    ResultSet rs = execute("PRAGMA table_info(" + table + ")", {});
    QList<QPair<int, QString>> keys;
    int nameCol = -1, pkCol = -1;
    for (int i = 0; i < rs.columns.size(); ++i) {
        if (rs.columns[i].name == "name") nameCol = i;
        if (rs.columns[i].name == "pk") pkCol = i;
    }
    if (nameCol < 0 || pkCol < 0) return {};
    for (size_t r = 0; r < rs.rows.size(); ++r) {
        const int order = rs.rows.value(r, pkCol).toInt32();
        if (order > 0) keys.append({order, rs.rows.value(r, nameCol).toText()});
    }
    std::sort(keys.begin(), keys.end());
    QStringList out;
    for (const auto& k : keys)
        out << k.second;
    return out;
}

} // namespace ado
