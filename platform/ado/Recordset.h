#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "platform/ado/AdoTypes.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace ado {

class Command;
class Connection;

// The rows of a query, read into memory when it is opened (a static, client-side cursor), except
// when it is opened adOpenForwardOnly with adLockReadOnly: then the rows are fetched in batches as
// MoveNext reaches them, RecordCount is -1 (unknown) and moving back is refused. On SQLite the
// forward-only read steps a statement of its own, so other calls on the connection run between
// two batches; the other engines read the result whole at Open and hand it over the same way.
// A handle: copies share the same rows and position, and the recordset keeps its connection alive.
//
// Opened with a lock type other than adLockReadOnly, it can add and change rows: AddNew starts a
// new row, setField assigns values, Update writes it as a parameterised INSERT (or, on an existing
// row, an UPDATE of the changed fields only). The table is taken from the query's FROM clause, so
// only single-table queries ("SELECT * FROM FILES WHERE ...") can be updated. A row to update is
// found by the table's primary key when it has one, else by the original values of all fetched
// columns (NULL-safe). After an INSERT the row is read back (RETURNING), so database-assigned
// columns such as an id are visible; Resync is kept for code written against ADO and re-reads the
// current row by its key.
//
// Fields are found by name case-insensitively; SQL NULL reads as a Null Variant; columns of date
// and time types read as Date Variants.
class Recordset {
public:
    Recordset();

    void Open(const QString& sql, const Connection& cn, int cursorType = adOpenStatic,
              int lockType = adLockReadOnly, int options = adCmdText);                     // throws AdoError
    void Open(Command& cmd, int cursorType = adOpenStatic, int lockType = adLockReadOnly); // bound parameters
    void Close();
    int State() const; // adStateClosed / adStateOpen

    bool Eof() const; // ADO's EOF (EOF itself is a C macro)
    bool Bof() const;
    std::int32_t RecordCount() const;
    void MoveNext();
    void MoveFirst();
    void MoveLast();
    void MovePrevious();

    int FieldCount() const;
    QString FieldName(int index) const;
    Variant Fields(int index) const;
    Variant Fields(const QString& name) const; // case-insensitive; Null for SQL NULL
    // The field's type, and for a Double, Date or Null field its number (0 for Null) without
    // making a Variant; read the other types with Fields. For loops over many rows.
    Variant::Type FieldNumber(int index, double& value) const;
    // FieldNumber of the first count fields in one call: types[i] and values[i].
    void FieldNumbers(int count, Variant::Type* types, double* values) const;
    bool hasField(const QString& name) const;

    void setField(const QString& name, const Variant& value); // after AddNew, or on the current row
    void setField(int index, const Variant& value);
    void AddNew();
    void Update();
    void CancelUpdate();
    void Resync();

    bool isNull() const;

    struct Data;

private:
    friend class Connection;
    friend class Command;
    std::shared_ptr<Data> d_;
};

} // namespace ado
