#include "CommonFiles/target/GetLocationPath.h"

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/Variant.h"
#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <QSet>

#include <exception>

QString GetLocationPath(const QString& locationId, ado::Connection& cn) {
    const QString start = locationId.trimmed();
    if (start == QLatin1String("0") || start.isEmpty() || start == QLatin1String("-1")) return {};
    try {
        QString path;
        Variant id = start;
        QSet<qint64> visited;
        while (true) {
            ado::Command cmd;
            cmd.setActiveConnection(cn);
            cmd.setCommandType(ado::adCmdText);
            cmd.setCommandText(QStringLiteral("Select LOCATION,LOCID,PARENTID FROM LOCATION WHERE LOCID=?"));
            cmd.appendParameter(
                cmd.CreateParameter(QStringLiteral("LOCID"), ado::adInteger, ado::adParamInput, 0, id));
            ado::Recordset rs;
            rs.Open(cmd);
            if (rs.Eof()) break;
            visited.insert(static_cast<qint64>(rs.Fields(QStringLiteral("LOCID")).toDouble()));
            path = rs.Fields(QStringLiteral("LOCATION")).toText() + QLatin1Char('\\') + path;
            const Variant parent = rs.Fields(QStringLiteral("PARENTID"));
            rs.Close();
            if (parent.isNull()) break;
            if (visited.contains(static_cast<qint64>(parent.toDouble()))) break;
            id = parent;
        }
        if (!path.isEmpty()) path.chop(1);
        return path;
    } catch (const AppError& e) {
        AppLog().WriteLog("Error found in Util.GetLocationPath. Error: " + QString::number(e.number()) +
                              "\n" + e.description(),
                          0);
    } catch (const std::exception& e) {
        AppLog().WriteLog(
            "Error found in Util.GetLocationPath. Error: 0\n" + QString::fromLocal8Bit(e.what()), 0);
    }
    return {};
}
