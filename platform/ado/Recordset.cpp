#include "platform/ado/Recordset.h"

#include "platform/ado/Command.h"
#include "platform/ado/ConnectionData.h"
#include "platform/ado/SqlText.h"

#include "CommonFiles/foundation/OleDate.h"

namespace ado {

void Recordset::Data::load(ResultSet&& rs) {
    columns = std::move(rs.columns);
    rows = std::move(rs.rows);
    rows.setColumnCount(int(columns.size()));
    index.clear();
    indexed = false;
    pos = 0;
    open = true;
    edit = Edit::None;
    tableResolved = false;
}

void Recordset::Data::loadStream(std::unique_ptr<RowStream> s) {
    ResultSet empty;
    empty.columns = s->columns();
    empty.hasRows = true;
    load(std::move(empty));
    stream = std::move(s);
    streaming = true;
    fetchBatch();
}

void Recordset::Data::fetchBatch() {
    // Big enough that a fetch costs little per row, small enough to stay a few kilobytes.
    constexpr int kBatchRows = 512;
    rows.clear();
    pos = 0;
    if (!stream) return;
    bool more = false;
    try {
        more = conn->guarded([&] { return stream->fetch(rows, kBatchRows); });
    } catch (...) {
        stream.reset();
        throw;
    }
    if (!more) stream.reset(); // exhausted: its statement is released at once
}

int Recordset::Data::columnOf(const QString& name) const {
    if (!indexed) {
        // Built on the first lookup by name: most recordsets are read by position only.
        for (int i = 0; i < columns.size(); ++i) {
            const QString key = columns[i].name.toLower();
            index.emplace(key, i); // the first of two equal names wins, as in ADO
        }
        indexed = true;
    }
    auto it = index.find(name.toLower());
    return it == index.end() ? -1 : it->second;
}

int Recordset::Data::requireColumn(const QString& name) const {
    const int c = columnOf(name);
    if (c < 0)
        throw AdoError(LayerError::ItemNotFound,
                       "Item cannot be found in the collection: field '" + name + "'");
    return c;
}

void Recordset::Data::requireOpen() const {
    if (!open)
        throw AdoError(LayerError::ObjectClosed, "Operation is not allowed when the recordset is closed");
}

void Recordset::Data::resolveTable() {
    if (tableResolved) return;
    table = SqlText::singleTable(sql);
    if (table.isEmpty())
        throw AdoError(LayerError::NotSupported,
                       "The recordset cannot be updated: its query does not name one table");
    primaryKey.clear();
    const QStringList key = conn->backend->primaryKey(table);
    bool allFetched = !key.isEmpty();
    for (const QString& k : key)
        if (columnOf(k) < 0) allFetched = false;
    if (allFetched) primaryKey = key;
    tableResolved = true;
}

namespace {

// The handle itself, not a copy: the calls below run for every field of every row.
const std::shared_ptr<Recordset::Data>& requireData(const std::shared_ptr<Recordset::Data>& d) {
    if (!d || !d->open)
        throw AdoError(LayerError::ObjectClosed, "Operation is not allowed when the recordset is closed");
    return d;
}

// A value assigned to a field takes the column's type where the layer knows it, as ADO's
// field conversion does: a date column accepts a date text or day count.
Variant coerce(const Variant& v, ColumnKind kind) {
    if (kind != ColumnKind::Date || v.isNull() || v.isEmpty() || v.isDateType()) return v;
    double d = 0;
    if (v.isText()) {
        if (TimestampText::parse(v.toText(), d) || OleDate::parse(v.toText(), d)) return Variant::fromDate(d);
        throw AdoError(AppError::TypeMismatch, "'" + v.toText() + "' is not a date");
    }
    return Variant::fromDate(OleDate::normalize(v.toDouble()));
}

QString quoteIfNeeded(const QString& column) {
    return SqlText::isSafeIdentifier(column) ? column : "\"" + QString(column).replace('"', "\"\"") + "\"";
}

} // namespace

Recordset::Recordset() = default;

void Recordset::Open(const QString& sql, const Connection& cn, int cursorType, int lockType, int options) {
    if (!cn.d_) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
    auto d = std::make_shared<Data>();
    d->conn = cn.d_;
    d->sql = sql;
    d->cursorType = cursorType;
    d->lockType = lockType;
    const bool forwardOnly = cursorType == adOpenForwardOnly && lockType == adLockReadOnly;
    const auto run = [&](auto&& call) {
        return d->conn->guarded([&] {
            d->conn->requireOpen();
            if (options != -1 && (options & 0xff) == adCmdStoredProc)
                throw AdoError(LayerError::NotSupported,
                               "A recordset opens SQL text; run procedures with a Command");
            d->conn->fault(CallInfo::Statement, sql);
            return call();
        });
    };
    if (forwardOnly)
        d->loadStream(run([&] { return d->conn->backend->stream(sql, {}); }));
    else
        d->load(run([&] { return d->conn->backend->execute(sql, {}); }));
    d_ = d;
}

void Recordset::Open(Command& cmd, int cursorType, int lockType) {
    const bool forwardOnly = cursorType == adOpenForwardOnly && lockType == adLockReadOnly;
    Recordset rs = cmd.query(forwardOnly);
    rs.d_->cursorType = cursorType;
    rs.d_->lockType = lockType;
    d_ = rs.d_;
}

void Recordset::Close() {
    if (!d_) return;
    d_->open = false;
    d_->stream.reset();
}

int Recordset::State() const {
    return d_ && d_->open ? adStateOpen : adStateClosed;
}

bool Recordset::Eof() const {
    const auto& d = requireData(d_);
    return d->pos >= int(d->rows.size()) && d->edit != Data::Edit::Adding;
}

bool Recordset::Bof() const {
    const auto& d = requireData(d_);
    return d->pos < 0 || d->rows.empty();
}

std::int32_t Recordset::RecordCount() const {
    const auto& d = requireData(d_);
    if (d->streaming) return -1; // as ADO for a forward-only cursor: not known
    return std::int32_t(d->rows.size());
}

void Recordset::MoveNext() {
    const auto& d = requireData(d_);
    if (d->pos >= int(d->rows.size()))
        throw AdoError(LayerError::NoCurrentRecord,
                       "Either BOF or EOF is True, or the current record has been deleted");
    if (d->edit != Data::Edit::None) Update();
    ++d->pos;
    if (d->pos >= int(d->rows.size()) && d->stream) d->fetchBatch();
}

namespace {
void requireScrollable(const Recordset::Data& d) {
    if (d.streaming)
        throw AdoError(LayerError::NotSupported, "Rowset does not support fetching backward.");
}
} // namespace

void Recordset::MoveFirst() {
    const auto& d = requireData(d_);
    requireScrollable(*d);
    if (d->edit != Data::Edit::None) Update();
    d->pos = 0;
}

void Recordset::MoveLast() {
    const auto& d = requireData(d_);
    requireScrollable(*d);
    if (d->edit != Data::Edit::None) Update();
    d->pos = d->rows.empty() ? 0 : int(d->rows.size()) - 1;
}

void Recordset::MovePrevious() {
    const auto& d = requireData(d_);
    requireScrollable(*d);
    if (d->pos <= 0)
        throw AdoError(LayerError::NoCurrentRecord,
                       "Either BOF or EOF is True, or the current record has been deleted");
    if (d->edit != Data::Edit::None) Update();
    --d->pos;
}

int Recordset::FieldCount() const {
    return int(requireData(d_)->columns.size());
}

QString Recordset::FieldName(int index) const {
    const auto& d = requireData(d_);
    if (index < 0 || index >= d->columns.size())
        throw AdoError(LayerError::ItemNotFound,
                       QStringLiteral("Item cannot be found in the collection: field %1").arg(index));
    return d->columns[index].name;
}

Variant Recordset::Fields(int index) const {
    const auto& d = requireData(d_);
    if (index < 0 || index >= d->columns.size())
        throw AdoError(LayerError::ItemNotFound,
                       QStringLiteral("Item cannot be found in the collection: field %1").arg(index));
    if (d->edit != Data::Edit::None) return d->buffer[index];
    if (d->pos < 0 || d->pos >= int(d->rows.size()))
        throw AdoError(LayerError::NoCurrentRecord,
                       "Either BOF or EOF is True, or the current record has been deleted");
    return d->rows.value(size_t(d->pos), index);
}

Variant::Type Recordset::FieldNumber(int index, double& value) const {
    const auto& d = requireData(d_);
    if (d->edit != Data::Edit::None || index < 0 || index >= d->columns.size() || d->pos < 0 ||
        d->pos >= int(d->rows.size())) {
        const Variant v = Fields(index); // the edit buffer, or the error Fields gives
        if (v.type() == Variant::Type::Double || v.type() == Variant::Type::Date) value = v.toDouble();
        else if (v.isNull()) value = 0.0;
        return v.type();
    }
    return d->rows.numberAt(size_t(d->pos), index, value);
}

void Recordset::FieldNumbers(int count, Variant::Type* types, double* values) const {
    const auto& d = requireData(d_);
    if (d->edit != Data::Edit::None || count > d->columns.size() || d->pos < 0 || d->pos >= int(d->rows.size())) {
        for (int i = 0; i < count; ++i)
            types[i] = FieldNumber(i, values[i]);
        return;
    }
    for (int i = 0; i < count; ++i)
        types[i] = d->rows.numberAt(size_t(d->pos), i, values[i]);
}

Variant Recordset::Fields(const QString& name) const {
    const auto& d = requireData(d_);
    return Fields(d->requireColumn(name));
}

bool Recordset::hasField(const QString& name) const {
    return d_ && d_->open && d_->columnOf(name) >= 0;
}

void Recordset::setField(const QString& name, const Variant& value) {
    const auto& d = requireData(d_);
    setField(d->requireColumn(name), value);
}

void Recordset::setField(int index, const Variant& value) {
    const auto& d = requireData(d_);
    if (d->lockType == adLockReadOnly) throw AdoError(LayerError::NotSupported, "The recordset is read-only");
    if (index < 0 || index >= d->columns.size())
        throw AdoError(LayerError::ItemNotFound,
                       QStringLiteral("Item cannot be found in the collection: field %1").arg(index));
    if (d->edit == Data::Edit::None) {
        if (d->pos < 0 || d->pos >= int(d->rows.size()))
            throw AdoError(LayerError::NoCurrentRecord,
                           "Either BOF or EOF is True, or the current record has been deleted");
        d->buffer = d->rows.row(size_t(d->pos));
        d->changed.assign(size_t(d->columns.size()), false);
        d->edit = Data::Edit::Editing;
    }
    d->buffer[index] = coerce(value, d->columns[index].kind);
    d->changed[size_t(index)] = true;
}

void Recordset::AddNew() {
    const auto& d = requireData(d_);
    if (d->lockType == adLockReadOnly)
        throw AdoError(LayerError::NotSupported,
                       "The recordset is read-only: open it with a lock type to add rows");
    if (d->edit != Data::Edit::None) Update();
    d->buffer.clear();
    for (int i = 0; i < d->columns.size(); ++i)
        d->buffer.append(Variant::null());
    d->changed.assign(size_t(d->columns.size()), false);
    d->edit = Data::Edit::Adding;
}

void Recordset::CancelUpdate() {
    if (d_) d_->edit = Data::Edit::None;
}

void Recordset::Update() {
    const auto& d = requireData(d_);
    if (d->edit == Data::Edit::None) return;
    auto& conn = *d->conn;
    conn.guarded([&] {
        conn.requireOpen();
        d->resolveTable();
        std::vector<BindValue> binds;
        QStringList names;
        for (int i = 0; i < d->columns.size(); ++i) {
            if (!d->changed[size_t(i)]) continue;
            names << quoteIfNeeded(d->columns[i].name);
            binds.push_back({d->buffer[i], d->columns[i].kind == ColumnKind::Blob});
        }
        if (d->edit == Data::Edit::Adding) {
            const auto style = conn.backend->returningStyle();
            QString sql;
            QStringList marks;
            for (int i = 0; i < names.size(); ++i)
                marks << "?";
            if (names.isEmpty() && style == Backend::ReturningStyle::OutputInserted)
                sql = "INSERT INTO " + d->table + " OUTPUT INSERTED.* DEFAULT VALUES";
            else if (names.isEmpty())
                sql = "INSERT INTO " + d->table + " DEFAULT VALUES";
            else if (style == Backend::ReturningStyle::OutputInserted)
                sql = "INSERT INTO " + d->table + " (" + names.join(',') + ") OUTPUT INSERTED.* VALUES (" +
                      marks.join(',') + ")";
            else
                sql =
                    "INSERT INTO " + d->table + " (" + names.join(',') + ") VALUES (" + marks.join(',') + ")";
            if (style == Backend::ReturningStyle::Returning) sql += " RETURNING *";
            conn.fault(CallInfo::Statement, sql);
            ResultSet rs = conn.backend->execute(sql, binds);
            QList<Variant> row = d->buffer;
            if (rs.hasRows && !rs.rows.empty()) {
                // The row as the database completed it: assigned ids, defaults.
                for (int c = 0; c < rs.columns.size(); ++c) {
                    const int mine = d->columnOf(rs.columns[c].name);
                    if (mine >= 0) row[mine] = rs.rows.value(0, c);
                }
            }
            d->rows.append(row);
            d->pos = int(d->rows.size()) - 1;
        } else {
            if (names.isEmpty()) {
                d->edit = Data::Edit::None;
                return;
            }
            const QList<Variant> original = d->rows.row(size_t(d->pos));
            QStringList sets, where;
            for (const QString& n : std::as_const(names))
                sets << n + "=?";
            if (!d->primaryKey.isEmpty()) {
                for (const QString& k : std::as_const(d->primaryKey)) {
                    const int c = d->columnOf(k);
                    where << quoteIfNeeded(d->columns[c].name) + "=?";
                    binds.push_back({original[c], false});
                }
            } else {
                // No key: the row is the one that still holds every value we read.
                for (int c = 0; c < d->columns.size(); ++c) {
                    if (d->columns[c].kind == ColumnKind::Blob) continue;
                    const QString col = quoteIfNeeded(d->columns[c].name);
                    if (original[c].isNull()) {
                        where << col + " IS NULL";
                    } else {
                        where << col + "=?";
                        binds.push_back({original[c], false});
                    }
                }
            }
            const QString sql =
                "UPDATE " + d->table + " SET " + sets.join(',') + " WHERE " + where.join(" AND ");
            conn.fault(CallInfo::Statement, sql);
            ResultSet rs = conn.backend->execute(sql, binds);
            if (rs.affected == 0)
                throw AdoError(LayerError::NoCurrentRecord, "Row cannot be located for updating. Some values "
                                                            "may have been changed since it was last read");
            if (rs.affected > 1)
                throw AdoError(
                    LayerError::NotSupported,
                    QStringLiteral("The update changed %1 rows instead of one: the table has no key "
                                   "and several rows hold the same values")
                        .arg(rs.affected));
            d->rows.setRow(size_t(d->pos), d->buffer);
        }
        d->edit = Data::Edit::None;
    });
}

void Recordset::Resync() {
    const auto& d = requireData(d_);
    if (d->edit != Data::Edit::None || d->pos < 0 || d->pos >= int(d->rows.size())) return;
    auto& conn = *d->conn;
    conn.guarded([&] {
        conn.requireOpen();
        d->resolveTable();
        if (d->primaryKey.isEmpty()) return; // the row holds what the database gave back when it was written
        QStringList where;
        std::vector<BindValue> binds;
        const size_t row = size_t(d->pos);
        for (const QString& k : std::as_const(d->primaryKey)) {
            const int c = d->columnOf(k);
            const Variant key = d->rows.value(row, c);
            if (key.isNull()) return;
            where << quoteIfNeeded(d->columns[c].name) + "=?";
            binds.push_back({key, false});
        }
        const QString sql = "SELECT * FROM " + d->table + " WHERE " + where.join(" AND ");
        conn.fault(CallInfo::Statement, sql);
        ResultSet rs = conn.backend->execute(sql, binds);
        if (rs.rows.empty())
            throw AdoError(LayerError::NoCurrentRecord,
                           "Row cannot be located for refreshing: it was deleted");
        for (int c = 0; c < rs.columns.size(); ++c) {
            const int mine = d->columnOf(rs.columns[c].name);
            if (mine >= 0) d->rows.set(row, mine, rs.rows.value(0, c));
        }
    });
}

bool Recordset::isNull() const {
    return !d_;
}

} // namespace ado
