#include "CommonFiles/collector/CommonLastRun.h"

#include "CommonFiles/collector/CollectorQueries.h"
#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/NetInfo.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <QStringList>

#include <exception>

using CollectorQueries::ClosingConnection;
using CollectorQueries::GeneralDateText;
using CollectorQueries::OpenBound;

CommonLastRun::CommonLastRun() : defaultStart_(OleDate::now()), defaultEnd_(defaultStart_) {}

bool CommonLastRun::ReadVeskDRAQ(std::int32_t interfaceId, ado::Connection& rootConnection) {
    try {
        lastRunMap_.SetSize(2048, 0, 0);
        if (!RunAsNTService()) return true;
        ado::Recordset rs =
            OpenBound(rootConnection,
                      QStringLiteral("Select Filename,lastrun from g2_server_run where interface_id = ?"),
                      {Variant(interfaceId)});
        while (!rs.Eof()) {
            const QString facility = rs.Fields(0).toText();
            const Variant lastRun = rs.Fields(1);
            // A row without a date says nothing about where the facility stopped; left out of the
            // map, the facility starts at DefaultStart like a facility without a row.
            if (!lastRun.isNull()) {
                lastRunMap_.Add(facility, Variant(GeneralDateText(lastRun)));
                AppLog().WriteLog(QStringLiteral("Last Run Date for facility ") + facility +
                                      QStringLiteral(" was detected to be ") + GeneralDateText(lastRun),
                                  0);
            }
            rs.MoveNext();
        }
        rs.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CommonLastRun::ReadVeskDRAQFacilLockDates(const QString& facilities) {
    try {
        for (const QString& facility : facilities.split(QLatin1Char('~'))) {
            // An empty list (or a doubled separator) names no facility.
            if (facility.isEmpty()) continue;
            double lockDate = 0;
            if (!ReadFacilityLockDate(facility, lockDate)) return false;
            // Looked up upper-cased, so kept upper-cased.
            lockDateMap_.setItem(facility.toUpper(), Variant(OleDate::toGeneralDate(lockDate)));
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CommonLastRun::ReadFacilityLockDate(const QString& facility, double& lockDate) {
    lockDate = OleDate::fromParts(1970, 1, 1);
    try {
        ConnectionManager manager;
        if (!InitTargetConnectionManager(manager)) return false;
        ClosingConnection cn;
        manager.ConfigCnn4FACILITY(cn.connection, facility);
        cn.connection.Open();
        ado::Recordset rs;
        rs.Open(QStringLiteral("Select curvalue from Settings Where Setting = 'LockDate'"), cn.connection);
        if (!rs.Eof()) {
            const Variant value = rs.Fields(0);
            // An empty text is what Oracle stores as null: no lock date either.
            if (!value.isNull() && !(value.isText() && value.toText().trimmed().isEmpty()))
                lockDate = value.toDate();
        }
        rs.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

double CommonLastRun::startdate(const QString& facility) {
    const QString key = facility.toUpper();
    if (!lastRunMap_.Exists(key)) lastRunMap_.Add(key, Variant(OleDate::toGeneralDate(defaultStart_)));
    const double lastRun = lastRunMap_.item(key).toDate();
    const double lock = LockDate(key);
    return OleDate::toMs(lastRun) >= OleDate::toMs(lock) ? lastRun : lock;
}

double CommonLastRun::enddate(const QString&) const {
    return defaultEnd_;
}

double CommonLastRun::LockDate(const QString& facility) const {
    const QString key = facility.toUpper();
    if (key.isEmpty() || !lockDateMap_.Exists(key)) return 0.0;
    return lockDateMap_.item(key).toDate();
}

bool CommonLastRun::ViolatesLockDate(const QString& facility) const {
    return OleDate::toMs(LockDate(facility)) > OleDate::toMs(enddate(facility));
}

bool CommonLastRun::PersistLastRunDate(std::int32_t interfaceId, const QString& facility, double lastRun) {
    try {
        ConnectionManager manager;
        if (!InitTargetConnectionManager(manager)) return false;
        NetInfo& host = AppNetInfo();
        host.GetNetInfo();
        ClosingConnection cn;
        manager.ConfigCnn4QTXROOT(cn.connection);
        cn.connection.Open();

        ado::Recordset rs = OpenBound(
            cn.connection,
            QStringLiteral(
                "Select AUDITUSER,AUDITTIMESTAMP,interface_id,FileName,LASTRUN,WorkStation,NetUser,IP,"
                "LOCALPATH from g2_server_run where interface_id = ? and filename=?"),
            {Variant(interfaceId), Variant(facility)}, ado::adLockPessimistic);
        if (rs.Eof()) rs.AddNew();
        rs.setField(QStringLiteral("AUDITUSER"), Variant(GetWriteAsUser()));
        rs.setField(QStringLiteral("AUDITTIMESTAMP"), Variant::fromDate(OleDate::now()));
        rs.setField(QStringLiteral("interface_id"), Variant(interfaceId));
        rs.setField(QStringLiteral("FileName"), Variant(facility));
        rs.setField(QStringLiteral("LASTRUN"), Variant::fromDate(lastRun));
        rs.setField(QStringLiteral("WorkStation"), Variant(host.WorkStation()));
        rs.setField(QStringLiteral("NetUser"), Variant(host.NetUser()));
        rs.setField(QStringLiteral("IP"), Variant(host.IPAddrs()));
        rs.setField(QStringLiteral("LOCALPATH"), Variant(AppDirectory()));
        rs.Update();
        rs.Close();

        AppLog().WriteLog(QStringLiteral("Updated Last Run Date for facility ") + facility +
                              QStringLiteral(" to ") + OleDate::toGeneralDate(lastRun),
                          0);
        if (AppConfig().item(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\SUBMIT_CALC_REQUEST")) ==
            QLatin1String("YES"))
            SubmitCalcRequest(cn.connection, facility, lastRun);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void CommonLastRun::SubmitCalcRequest(ado::Connection& rootConnection, const QString& facility,
                                      double lastRun) {
    try {
        double start = OleDate::datePart(startdate(facility));
        const std::int32_t shift =
            Variant(AppConfig().item(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE")))
                .toInt32();
        if (shift != 0) start = OleDate::addMinutes(start, shift);

        ado::Recordset rs;
        rs.Open(QStringLiteral("select * from CALCQUEUE where ID=0"), rootConnection, ado::adOpenStatic,
                ado::adLockPessimistic);
        rs.AddNew();
        rs.setField(QStringLiteral("status"), Variant(0));
        rs.setField(QStringLiteral("vlist"), Variant(QString()));
        rs.setField(QStringLiteral("datestart"), Variant::fromDate(start));
        rs.setField(QStringLiteral("dateend"), Variant::fromDate(lastRun));
        rs.setField(QStringLiteral("facility"), Variant(facility));
        rs.setField(QStringLiteral("audituser"), Variant(GetWriteAsUser()));
        rs.Update();
        rs.Close();
        AppLog().WriteLog(QStringLiteral("Submitted Calc Request for facility ") + facility +
                              QStringLiteral(" for dates from ") + OleDate::toMmDdYyyyHhNnSs(start) +
                              QStringLiteral(" to ") + OleDate::toMmDdYyyyHhNnSs(lastRun),
                          0);
    } catch (const std::exception&) {
        // A recalculation request that cannot be queued does not undo the recorded last run.
    }
}
