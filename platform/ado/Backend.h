#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "platform/ado/ConnectionString.h"
#include "platform/ado/Parameter.h"
#include "platform/ado/RowStore.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <vector>

namespace ado {

// What a column holds, as far as the layer converts values.
enum class ColumnKind { Other, Date, Blob };

struct Column {
    QString name;
    ColumnKind kind = ColumnKind::Other;
};

struct ResultSet {
    QList<Column> columns;
    RowStore rows;
    bool hasRows = false;       // the statement produced a result set (even an empty one)
    std::int64_t affected = -1; // rows changed by an INSERT/UPDATE/DELETE, -1 when unknown
};

// A value to bind to a '?' placeholder; blob binds the text's latin1 bytes as binary.
struct BindValue {
    Variant value;
    bool blob = false;
};

// The rows of a query handed over a batch at a time, for a forward-only read of many rows: what
// is in memory is one batch, not the whole result.
class RowStream {
public:
    virtual ~RowStream() = default;
    virtual const QList<Column>& columns() const = 0;
    // Appends up to maxRows rows to out; false once the rows are exhausted. Throws AdoError.
    virtual bool fetch(RowStore& out, int maxRows) = 0;
};

// One engine behind a Connection. Every failure throws AdoError carrying the engine's code;
// after a failure isOpen() tells whether the session survived.
class Backend {
public:
    virtual ~Backend() = default;

    virtual void open(const ConnectionString& cs, int connectionTimeout, int commandTimeout) = 0;
    virtual void close() noexcept = 0;
    virtual bool isOpen() const = 0;
    virtual void setCommandTimeout(int seconds) = 0;

    // Runs SQL text with '?' placeholders bound in order. Statements are prepared once and cached.
    virtual ResultSet execute(const QString& sql, const std::vector<BindValue>& params) = 0;
    // The same query as execute, its rows read as they are fetched. An engine that cannot keep
    // a result open beside other statements on the session reads it whole (the default).
    virtual std::unique_ptr<RowStream> stream(const QString& sql, const std::vector<BindValue>& params);
    // Runs a stored procedure; outputs are written into the output parameters.
    virtual void callProcedure(const QString& name, QList<Parameter>& params) = 0;

    virtual void begin() = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;

    // Primary key columns of a table (empty when it has none or the engine cannot tell).
    virtual QStringList primaryKey(const QString& table) = 0;
    // How an INSERT hands back the row the database completed (an assigned id).
    enum class ReturningStyle { None, Returning, OutputInserted };
    virtual ReturningStyle returningStyle() const = 0;
    virtual QString dbmsName() const = 0;

    std::uint64_t roundTrips() const { return roundTrips_; }

protected:
    std::uint64_t roundTrips_ = 0;
};

} // namespace ado

namespace ado {
// An engine's output value in the type of the parameter that receives it (adDate → Date, ...).
Variant toParameterType(const Variant& value, int adoType);
// Boolean values go to the database as -1 / 0, the values the collector's flag columns hold.
inline std::int64_t booleanAsInteger(const Variant& v) {
    return v.toBool() ? -1 : 0;
}
} // namespace ado
