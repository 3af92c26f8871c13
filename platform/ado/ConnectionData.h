#pragma once

// Shared state behind the Connection, Recordset and Command handles. Internal to the layer.

#include "platform/ado/Backend.h"
#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"
#include "platform/ado/ConnectionString.h"
#include "platform/ado/FaultHook.h"
#include "platform/ado/Recordset.h"
#include "platform/ado/TextHash.h"

#include <memory>
#include <optional>

namespace ado {

namespace detail {
// Set while a test has a fault hook installed; one load per call otherwise.
extern bool faultHookInstalled;
void callFaultHook(const CallInfo& info);
} // namespace detail

struct Connection::Data {
    QString connectionString;
    int cursorLocation = adUseServer;
    int connectionTimeout = 15;
    int commandTimeout = 30;

    std::optional<ado::ConnectionString> parsed; // of the open connection
    std::unique_ptr<Backend> backend;
    QList<Error> errors;
    int transactionDepth = 0;
    bool everOpened = false;
    std::uint64_t pastRoundTrips = 0; // of sessions closed since

    bool isOpen() const { return backend && backend->isOpen(); }
    void requireOpen() const;
    void fault(CallInfo::Kind kind, const QString& text) const;

    // Runs one call of the layer: a failure is recorded in errors, a session the engine lost is
    // closed, and the AdoError is passed on. Engine-independent errors (AppError from a value
    // conversion) become AdoErrors with the same number.
    template <class F> auto guarded(F&& f) -> decltype(f()) {
        try {
            return f();
        } catch (const AdoError& e) {
            record(e);
            throw;
        } catch (const AppError& e) {
            AdoError ae(e.number(), e.description());
            record(ae);
            throw ae;
        } catch (const std::bad_alloc&) {
            throw;
        } catch (const std::exception& e) {
            AdoError ae(LayerError::InvalidArgument, QString::fromLocal8Bit(e.what()));
            record(ae);
            throw ae;
        }
    }
    void record(const AdoError& e);
};

struct Recordset::Data {
    std::shared_ptr<Connection::Data> conn;
    QString sql;
    int cursorType = adOpenStatic;
    int lockType = adLockReadOnly;
    bool open = false;

    QList<Column> columns;
    mutable TextMap<int> index; // lower-cased name → column, built when first needed
    mutable bool indexed = false;
    RowStore rows; // all of them, or the current batch of a stream
    int pos = 0;
    std::unique_ptr<RowStream> stream; // rows still to fetch; null once exhausted or closed
    bool streaming = false;            // opened forward-only: no count, no way back

    enum class Edit { None, Editing, Adding } edit = Edit::None;
    QList<Variant> buffer;
    std::vector<bool> changed;

    bool tableResolved = false;
    QString table;
    QStringList primaryKey; // columns of the recordset that form the table's key

    void load(ResultSet&& rs);
    void loadStream(std::unique_ptr<RowStream> s);
    void fetchBatch(); // the next batch of the stream into rows, pos at its first row
    int columnOf(const QString& name) const; // -1 when unknown
    int requireColumn(const QString& name) const;
    void requireOpen() const;
    void resolveTable();
};

struct Command::Data {
    std::shared_ptr<Connection::Data> conn;
    QString text;
    int type = adCmdText;
    QList<Parameter> params;
};

} // namespace ado
