#pragma once

#include "CommonFiles/foundation/AppError.h"

#include <QString>

// The ADO-shaped constants and error types the collector's database code is written against.
namespace ado {

enum CursorLocationEnum { adUseServer = 2, adUseClient = 3 };
enum CursorTypeEnum { adOpenForwardOnly = 0, adOpenKeyset = 1, adOpenDynamic = 2, adOpenStatic = 3 };
enum LockTypeEnum { adLockReadOnly = 1, adLockPessimistic = 2, adLockOptimistic = 3 };
enum DataTypeEnum {
    adInteger = 3,
    adDouble = 5,
    adDate = 7,
    adVarChar = 200,
    adVarWChar = 202,
    adLongVarBinary = 205
};
enum ParameterDirectionEnum { adParamInput = 1, adParamOutput = 2, adParamInputOutput = 3 };
enum CommandTypeEnum { adCmdText = 1, adCmdStoredProc = 4 };
enum ObjectStateEnum { adStateClosed = 0, adStateOpen = 1 };

// One entry of a connection's error collection.
//
// number is the engine's own code where it has one:
// - SQLite: the extended result code (sqlite3_extended_errcode), e.g. 19 / 2067 for a constraint.
// - PostgreSQL: the SQLSTATE read as a base-36 number (so it stays a stable integer per state,
//   e.g. "57014" query_canceled); the description starts with the SQLSTATE in brackets. A lost
//   connection or a failed connect has no SQLSTATE and uses LayerError::ConnectionFailed.
// - ODBC: the driver's native error code when non-zero, else the SQLSTATE read as base 36; the
//   description starts with "[SQLSTATE]".
// Failures detected by the layer itself use the LayerError numbers below.
struct Error {
    int number = 0;
    QString description;
};

// Numbers of the errors the layer raises itself (no engine involved).
namespace LayerError {
constexpr int BadConnectionString = 3706; // malformed string, missing key
constexpr int UnknownProvider = 3706;     // same number ADO uses for "provider not found"
constexpr int ConnectionFailed = 3709;    // not open, lost, or could not connect
constexpr int ObjectClosed = 3704;        // operation on a closed recordset / connection
constexpr int NoCurrentRecord = 3021;     // EOF/BOF
constexpr int ItemNotFound = 3265;        // field or parameter name unknown
constexpr int ParameterTooLong = 3708;    // value longer than the parameter's Size
constexpr int NotSupported = 3251;        // operation the recordset or backend cannot do
constexpr int InvalidArgument = 3001;
} // namespace LayerError

// Thrown by every failing call of the layer; the connection's Errors() holds the same entries.
class AdoError : public AppError {
public:
    using AppError::AppError;
};

} // namespace ado
