#pragma once

#include <QString>

#include <cstdint>

class ConnectionManager;
class QObject;

namespace ado {
class Connection;
}

// The target's database type as the last InitTargetConnectionManager read it (1 Oracle, 2 SQL
// Server; 0 before the first call or when the setting is not a number). SqlDateLiteral and the
// stored-files access follow it.
std::int16_t TargetDbType();
void SetTargetDbType(std::int16_t dbType);

// Initialises the manager from the VESKDRAQ\VESKDRAQ_CONNECTION_* settings (persist security info
// False) and returns Init's result; TargetDbType takes the configured type whatever Init says.
bool InitTargetConnectionManager(ConnectionManager& manager);

// The connection window of the interactive mode, which the main window registers; the target
// library never shows anything itself.
class ConnectProgressUi {
public:
    virtual ~ConnectProgressUi() = default;
    // Shows the connection window modally over owner; the window opens the connection when it is
    // first activated and reports the outcome (AttemptConnect, ResErrorMessage).
    virtual bool connectModal(ado::Connection& cn, QString& errorText, QObject* owner) = 0;
    // The modeless notice shown while ConnectToTarget opens the connection itself.
    virtual void showNotice(QObject* owner) = 0;
    virtual void hideNotice() = 0;
};

// nullptr unregisters (the window does so when it closes).
void SetConnectProgressUi(ConnectProgressUi* ui);
ConnectProgressUi* CurrentConnectProgressUi();

// Opens a configured connection with the feedback that suits the run mode:
// - service mode: opens it, nothing logged or shown;
// - interactive with useDialog: through the registered connection window; without one, as the
//   window would (activity-list lines only, see OpenWithActivityLines);
// - interactive without dialog: "Connecting to Vesk DRAQ server '<data source>' ..." and the
//   outcome through LogActivity at level 0, around the modeless notice.
// A failed open returns False with errorText = "number - description"; no box is shown.
bool ConnectToTarget(ado::Connection& cn, QString& errorText, bool useDialog, QObject* ownerForm = nullptr);

// What the connection window does when it is activated: the "Connecting to ..." line and the
// outcome appended to the activity list only (not to the text log), the connection opened in
// between, pending events processed. True when it opened; else errorText = "number - description".
bool OpenWithActivityLines(ado::Connection& cn, QString& errorText);

// A date as an SQL literal of the target's dialect (TargetDbType): Oracle
// TO_DATE('05-Mar-2009 01:15:00 PM','dd-Mon-yyyy HH:MI:SS AM'), SQL Server '2009-03-05 13:15:00',
// any other type "".
QString SqlDateLiteral(double date);
