#include "CommonFiles/collector/CommonTypeVar.h"

#include "CommonFiles/collector/CollectorQueries.h"
#include "CommonFiles/collector/CommonVarGatherer.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "platform/ado/AdoTypes.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <exception>

using CollectorQueries::OpenBound;

namespace {
constexpr int vbExclamation = 48;
}

QString CommonTypeVar::RecordKey(const QString& facilityId, std::int32_t variableId) {
    return facilityId.toUpper() + QLatin1Char('~') + QString::number(variableId);
}

bool CommonTypeVar::ReadVeskDRAQ(CommonVarGatherer& aVarGatherer) {
    try {
        records_.SetSize(2 * aVarGatherer.TotalVariable(), 0, 0);
        aVarGatherer.MoveFirst();
        while (!aVarGatherer.EOF_Facility()) {
            const QString facility = aVarGatherer.Current_Facility();
            std::optional<ado::Connection> connection = OpenFacilityConnection(facility);
            if (!connection) incomplete_.insert(facility.toUpper());
            if (connection) {
                while (!aVarGatherer.EOF_Variable()) {
                    ExpandVaridToRecord(facility, aVarGatherer.Current_Variable(), *connection);
                    aVarGatherer.MoveNext_Variable();
                }
                connection->Close();
            }
            aVarGatherer.MoveNext_Facility();
        }
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::shared_ptr<CommonTypeVarRec> CommonTypeVar::GetVarRecord(const QString& facilityId,
                                                              std::int32_t variableId) const {
    try {
        return records_.item(RecordKey(facilityId, variableId));
    } catch (const std::exception&) {
        return nullptr;
    }
}

bool CommonTypeVar::IncompleteFacility(const QString& facilityId) const {
    return incomplete_.contains(facilityId.toUpper());
}

std::optional<ado::Connection> CommonTypeVar::OpenFacilityConnection(const QString& facilityId) {
    ConnectionManager manager;
    if (!InitTargetConnectionManager(manager)) {
        AppMsgBox().QtxMsgBox(Variant(QStringLiteral("Unable to init Vesk DRAQ Connection Manager")),
                              vbExclamation);
        return std::nullopt;
    }
    try {
        ado::Connection connection;
        manager.ConfigCnn4FACILITY(connection, facilityId);
        connection.Open(QString(), QString(), QString());
        return connection;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

void CommonTypeVar::ExpandVaridToRecord(const QString& facilityId, std::int32_t variableId,
                                        ado::Connection& connection) {
    try {
        const QString key = RecordKey(facilityId, variableId);
        if (records_.Exists(key)) return;
        ado::Recordset rs = OpenBound(
            connection,
            QStringLiteral("select varid,varnum,name,vartype,units,decplaces,description,scadatag,statistic,"
                           "scalefactor,SOURCE_CNN_APPROVAL,DEADBAND,FILTERTAG,FILTEROP,FILTERVAL,HIGHRANGE,"
                           "INTERFACETYPE,LOWRANGE,STARTTIME,STOPTIME from vardesc where varid=?"),
            {Variant(variableId)});
        if (rs.Eof()) {
            rs.Close();
            return;
        }
        auto record = std::make_shared<CommonTypeVarRec>();
        // VarType and InterfaceType come before the start and stop times, which read them.
        record->setVarType(rs.Fields(QStringLiteral("vartype")));
        record->setId(variableId);
        record->setDataApproval(rs.Fields(QStringLiteral("SOURCE_CNN_APPROVAL")));
        record->setDeadBand(rs.Fields(QStringLiteral("DEADBAND")));
        record->setDecPlaces(rs.Fields(QStringLiteral("decplaces")));
        record->setDesc(rs.Fields(QStringLiteral("description")));
        record->setFacilID(facilityId);
        record->setFilterOperand(rs.Fields(QStringLiteral("FILTEROP")));
        record->setFilterTag(rs.Fields(QStringLiteral("FILTERTAG")));
        record->setFilterValue(rs.Fields(QStringLiteral("FILTERVAL")));
        record->setHighRangeFilter(rs.Fields(QStringLiteral("HIGHRANGE")));
        record->setInterfaceType(rs.Fields(QStringLiteral("INTERFACETYPE")));
        record->setLowRangeFilter(rs.Fields(QStringLiteral("LOWRANGE")));
        record->setName(rs.Fields(QStringLiteral("name")));
        record->setNumber(rs.Fields(QStringLiteral("varnum")));
        record->setScadaFactor(rs.Fields(QStringLiteral("scalefactor")));
        record->setScadaStat(rs.Fields(QStringLiteral("statistic")));
        record->setScadaTag(rs.Fields(QStringLiteral("scadatag")));
        record->setStartTime(rs.Fields(QStringLiteral("STARTTIME")));
        record->setStopTime(rs.Fields(QStringLiteral("STOPTIME")));
        record->setUnits(rs.Fields(QStringLiteral("units")));
        rs.Close();
        records_.Add(key, record);
    } catch (const AppError& e) {
        if (dynamic_cast<const ado::AdoError*>(&e)) incomplete_.insert(facilityId.toUpper());
        LogActivity(QStringLiteral("Error in Sub ExpandVaridToRecord(VarId = ") +
                        QString::number(variableId) + QStringLiteral("): Error ") +
                        QString::number(e.number()) + QStringLiteral("  ") + e.description(),
                    0);
    } catch (const std::exception& e) {
        LogActivity(QStringLiteral("Error in Sub ExpandVaridToRecord(VarId = ") +
                        QString::number(variableId) + QStringLiteral("): Error 0  ") +
                        QString::fromUtf8(e.what()),
                    0);
    }
}
