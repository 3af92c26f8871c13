#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "platform/ado/AdoTypes.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Parameter.h"
#include "platform/ado/Recordset.h"

#include <QString>

#include <memory>

namespace ado {

// A stored procedure call or a parameterised SQL text. A handle that keeps its connection alive.
//
// Stored procedures (CommandType adCmdStoredProc, Execute):
// - ODBC: "{call NAME(?,...)}" with every parameter bound in appended order, each with its own
//   length indicator, so a NULL output reads as Null.
// - PostgreSQL: functions with OUT parameters, called as SELECT * FROM name($1,...) with the
//   input (and input-output) parameters in their appended order, typed adInteger int4, adDouble
//   float8, adDate timestamp, adVarChar/adVarWChar varchar; outputs are read from the returned
//   row's columns by (lower-cased) name, Null without a row.
// - SQLite: the body of the procedure is kept in the table
//   ado_procedures(name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL): one or more SQL
//   statements in which inputs appear as :name; the outputs are the columns of the last result
//   row the statements produce, matched by name case-insensitively (no row: every output Null).
//   A connection reads a body once; statements this connection runs on ado_procedures reset it.
// Outputs are converted to the parameter's type (adDate → Date, adInteger → Integer, ...).
// Text inputs longer than the parameter's Size are rejected with AdoError before anything runs.
//
// Text commands (adCmdText): '?' placeholders bound to the parameters in appended order;
// Execute runs the text, ExecuteQuery returns its rows.
//
// Prepared statements are cached per connection, so a Command built afresh for every value costs
// no extra round trip.
class Command {
public:
    Command();

    void setActiveConnection(const Connection& cn);
    Connection ActiveConnection() const;
    void setCommandText(const QString& text);
    QString CommandText() const;
    void setCommandType(int type);
    int CommandType() const;

    Parameter CreateParameter(const QString& name, int type, int direction, int size = 0,
                              const Variant& value = Variant());
    void appendParameter(const Parameter& parameter); // ADO's Parameters.Append
    int ParameterCount() const;
    Parameter& Parameters(int index);
    Parameter& Parameters(const QString& name); // case-insensitive; throws AdoError ItemNotFound
    Parameter& Parameters(QLatin1StringView name); // the same, for names written in the code
    void clearParameters();

    void Execute();           // stored procedure: outputs readable afterwards; text: runs it
    Recordset ExecuteQuery(); // text command with '?' placeholders bound in order

    struct Data;

private:
    friend class Recordset;
    // ExecuteQuery's rows, fetched as they are read when streamed (a forward-only, read-only
    // recordset).
    Recordset query(bool streamed);
    std::shared_ptr<Data> d_;
};

} // namespace ado
