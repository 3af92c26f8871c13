#include "CommonFiles/collector/CommonLastRunReadWrite.h"

#include "CommonFiles/collector/CollectorQueries.h"
#include "CommonFiles/foundation/OleDate.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <exception>

using CollectorQueries::OpenBound;

bool CommonLastRunReadWrite::SetLastRunDate(const QString& facility, double lastRun,
                                            ado::Connection& connection, std::int32_t interfaceId) {
    const std::int32_t id = interfaceId != 0 ? interfaceId : interfaceID_;
    if (id == 0) return false;
    try {
        ado::Recordset rs = OpenBound(connection,
                                      QStringLiteral("Select INTERFACE_ID, FILENAME, LASTRUN from "
                                                     "g2_server_run where interface_id = ? and filename=?"),
                                      {Variant(id), Variant(facility)}, ado::adLockPessimistic);
        if (rs.Eof()) rs.AddNew();
        rs.setField(QStringLiteral("interface_id"), Variant(id));
        rs.setField(QStringLiteral("FileName"), Variant(facility));
        rs.setField(QStringLiteral("LASTRUN"), Variant::fromDate(lastRun));
        rs.Update();
        rs.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CommonLastRunReadWrite::ReadLastRunInfo(const QString& facility, ado::Connection& connection,
                                             double& lastRun, std::int32_t interfaceId) {
    const std::int32_t id = interfaceId != 0 ? interfaceId : interfaceID_;
    if (id == 0) return false;
    try {
        ado::Recordset rs = OpenBound(
            connection,
            QStringLiteral("Select AUDITUSER, FILENAME, LASTRUN, WORKSTATION, NETUSER, IP, LOCALPATH from "
                           "g2_server_run where interface_id = ? and filename=?"),
            {Variant(id), Variant(facility)});
        // A row without a date is no last run to show.
        if (rs.Eof() || rs.Fields(QStringLiteral("LASTRUN")).isNull()) {
            rs.Close();
            return false;
        }
        lastRun = rs.Fields(QStringLiteral("LASTRUN")).toDate();
        lastRun_ = OleDate::toGeneralDate(lastRun);
        auditUser_ = rs.Fields(QStringLiteral("AUDITUSER")).toText();
        facilityID_ = rs.Fields(QStringLiteral("FILENAME")).toText();
        workStation_ = rs.Fields(QStringLiteral("WORKSTATION")).toText();
        netUser_ = rs.Fields(QStringLiteral("NETUSER")).toText();
        ip_ = rs.Fields(QStringLiteral("IP")).toText();
        localPath_ = rs.Fields(QStringLiteral("LOCALPATH")).toText();
        rs.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}
