#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <QList>
#include <QString>

// Helpers the collector's classes share for their statements on the target.
namespace CollectorQueries {

// Opens a static recordset on a statement whose '?' placeholders take the values in order:
// integers as adInteger, everything else as text. Facility names and ids reach the target only
// this way, never pasted into the statement text.
ado::Recordset OpenBound(ado::Connection& connection, const QString& sql, const QList<Variant>& values,
                         int lockType = ado::adLockReadOnly);

// Closes a connection when it goes out of scope, also when a statement failed on it.
class ClosingConnection {
public:
    ClosingConnection() = default;
    ~ClosingConnection() { connection.Close(); }
    ClosingConnection(const ClosingConnection&) = delete;
    ClosingConnection& operator=(const ClosingConnection&) = delete;

    ado::Connection connection;
};

// A date column or text as the general date text the run maps keep (whole seconds).
QString GeneralDateText(const Variant& value);

} // namespace CollectorQueries
