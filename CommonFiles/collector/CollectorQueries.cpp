#include "CommonFiles/collector/CollectorQueries.h"

#include "CommonFiles/foundation/OleDate.h"
#include "platform/ado/Command.h"

namespace CollectorQueries {

ado::Recordset OpenBound(ado::Connection& connection, const QString& sql, const QList<Variant>& values,
                         int lockType) {
    ado::Command cmd;
    cmd.setActiveConnection(connection);
    cmd.setCommandType(ado::adCmdText);
    cmd.setCommandText(sql);
    int n = 0;
    for (const Variant& v : values) {
        const int type = v.type() == Variant::Type::Integer ? ado::adInteger : ado::adVarWChar;
        cmd.appendParameter(
            cmd.CreateParameter(QStringLiteral("p") + QString::number(++n), type, ado::adParamInput, 0, v));
    }
    ado::Recordset rs;
    rs.Open(cmd, ado::adOpenStatic, lockType);
    return rs;
}

QString GeneralDateText(const Variant& value) {
    if (value.isDateType() || (value.isText() && value.isDate()))
        return OleDate::toGeneralDate(value.toDate());
    return value.toText();
}

} // namespace CollectorQueries
