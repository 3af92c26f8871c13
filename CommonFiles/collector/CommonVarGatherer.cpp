#include "CommonFiles/collector/CommonVarGatherer.h"

#include "CommonFiles/collector/CollectorQueries.h"
#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/foundation/TimeUtils.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <exception>

using CollectorQueries::ClosingConnection;
using CollectorQueries::OpenBound;

namespace {
constexpr int vbExclamation = 48;
}

CommonVarGatherer::CommonVarGatherer()
    : facilID2FacilNameHash_(std::make_shared<HashTable>()),
      facilID2ainfoHash_(std::make_shared<HashTable>()), lookupLastRun_(std::make_shared<CommonLastRun>()) {}

bool CommonVarGatherer::ReadVeskDRAQ(std::int32_t interface_id, ado::Connection& aRootCNN) {
    try {
        facilID2FacilNameHash_ = std::make_shared<HashTable>();
        facilID2ainfoHash_ = std::make_shared<HashTable>();

        const QString limit = AppConfig().item(QStringLiteral("OPTIONS\\NOIU\\LIMITFACILITY"));
        ado::Recordset rs;
        if (!limit.isEmpty()) {
            AppLog().WriteLog(QStringLiteral("Limiting gathering variables to facility: ") + limit.toUpper(),
                              1);
            rs = OpenBound(
                aRootCNN,
                QStringLiteral("Select upper(filename),name from Facility where upper(filename) = ? "
                               "order by upper(filename)"),
                {Variant(limit.toUpper())});
        } else {
            rs = OpenBound(
                aRootCNN,
                QStringLiteral("Select upper(filename),name from Facility order by upper(filename)"), {});
        }
        while (!rs.Eof()) {
            const QString facilityId = rs.Fields(0).toText().trimmed().toUpper();
            GatherFacilityVariables(facilityId, interface_id);
            facilID2FacilNameHash_->Add(facilityId, Variant(rs.Fields(1).toText()));
            rs.MoveNext();
        }
        rs.Close();
        collectorId_ = interface_id;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void CommonVarGatherer::GatherFacilityVariables(const QString& facilityId, std::int32_t interface_id) {
    ConnectionManager manager;
    if (!InitTargetConnectionManager(manager)) {
        AppMsgBox().QtxMsgBox(Variant(QStringLiteral("Unable to init Vesk DRAQ Connection Manager")),
                              vbExclamation);
        return;
    }
    try {
        ClosingConnection cn;
        manager.ConfigCnn4FACILITY(cn.connection, facilityId);
        cn.connection.Open();
        ado::Recordset rs = OpenBound(
            cn.connection,
            QStringLiteral(
                "Select Varid from Vardesc where G2_Interface_ID = ? and G2_Enabled = -1 order by varid"),
            {Variant(interface_id)});
        while (!rs.Eof()) {
            ADHOCAddVariable(facilityId, rs.Fields(0).toInt32());
            rs.MoveNext();
        }
        rs.Close();
    } catch (const std::exception&) {
        // A facility that cannot be reached contributes no variables; those added so far stay.
    }
}

bool CommonVarGatherer::ADHOCAddVariable(const QString& facilityId, std::int32_t variableId) {
    try {
        const QString key = facilityId.toUpper();
        const QString id = QString::number(variableId);
        if (varLists_.Exists(key)) {
            const QString text = varLists_.item(key).toText();
            if (IsVariableListed(variableId, text)) return true;
            varLists_.setItem(key, Variant(text + QLatin1Char(',') + id));
        } else {
            varLists_.Add(key, Variant(QLatin1Char(',') + id));
        }
        ++totalVariables_;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CommonVarGatherer::IsVariableListed(std::int32_t variableId, const QString& idText) {
    return idText.split(QLatin1Char(',')).contains(QString::number(variableId));
}

void CommonVarGatherer::Clear() {
    varLists_.RemoveAll();
    totalVariables_ = 0;
}

bool CommonVarGatherer::EOF_Facility() const {
    return facilityCursor_ == -1 || facilityCursor_ >= facilityKeys_.size();
}

bool CommonVarGatherer::EOF_Variable() const {
    return variableCursor_ == -1 || variableCursor_ >= variableIds_.size();
}

void CommonVarGatherer::MoveNext_Variable() {
    if (variableCursor_ != -1) ++variableCursor_;
}

void CommonVarGatherer::loadFacilityIds() {
    QString text = varLists_.item(facilityKeys_.at(facilityCursor_)).toText();
    if (text.startsWith(QLatin1Char(','))) text.remove(0, 1);
    variableIds_ = text.split(QLatin1Char(','));
    variableCursor_ = 0;
}

void CommonVarGatherer::MoveNext_Facility() {
    if (facilityCursor_ == -1) return;
    if (facilityCursor_ + 1 < facilityKeys_.size()) {
        ++facilityCursor_;
        loadFacilityIds();
    } else {
        facilityCursor_ = static_cast<std::int32_t>(facilityKeys_.size());
    }
}

void CommonVarGatherer::MoveFirst() {
    facilityCursor_ = -1;
    variableCursor_ = -1;
    facilityKeys_.clear();
    variableIds_.clear();
    if (totalVariables_ == 0) return;
    facilityKeys_ = varLists_.Keys();
    if (facilityKeys_.isEmpty()) return;
    facilityCursor_ = 0;
    loadFacilityIds();
}

std::int32_t CommonVarGatherer::Current_Variable() const {
    if (EOF_Facility() || EOF_Variable()) return 0;
    return Variant(variableIds_.at(variableCursor_)).toInt32();
}

QString CommonVarGatherer::Current_Facility() const {
    if (EOF_Facility()) return QString();
    return facilityKeys_.at(facilityCursor_).toUpper();
}

bool CommonVarGatherer::ReadAboutCollector(std::int32_t interface_id, ado::Connection& aRootCNN) {
    try {
        ado::Recordset rs =
            OpenBound(aRootCNN,
                      QStringLiteral("Select audituser, audittimestamp, name,description,enabled,"
                                     "override_audituser,collector_dateadjust, collector_qtxtimezoneid "
                                     "from g2_server where interface_id=?"),
                      {Variant(interface_id)});
        if (rs.Eof()) {
            rs.Close();
            return false;
        }
        name_ = rs.Fields(QStringLiteral("name")).toText().trimmed();
        description_ = rs.Fields(QStringLiteral("description")).toText().trimmed();
        enabled_ = rs.Fields(QStringLiteral("enabled")).toBool();
        writeAsUser_ = rs.Fields(QStringLiteral("override_audituser")).toText().trimmed();
        changedAuditUser_ = rs.Fields(QStringLiteral("audituser")).toText().trimmed();
        const Variant stamp = rs.Fields(QStringLiteral("audittimestamp"));
        changedTimeStamp_ = (!stamp.isNull() && stamp.isDate()) ? stamp.toDate() : 0.0;
        collectorId_ = interface_id;
        timeZoneId_ = rs.Fields(QStringLiteral("collector_qtxtimezoneid")).toInt32();
        const Variant dateAdjust = rs.Fields(QStringLiteral("collector_dateadjust"));
        rs.Close();
        collectorTimeZoneOffset_ = ReadCollectorTimeZoneBias(timeZoneId_, aRootCNN);
        dateAdjust_ = dateAdjust.toDouble();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

double CommonVarGatherer::ReadCollectorTimeZoneBias(std::int32_t timeZoneId, ado::Connection& connection) {
    try {
        const double now = OleDate::now();
        interfaceTimeZoneOffset_ = GetComputerUtcOffset();
        ado::Recordset rs =
            OpenBound(connection,
                      QStringLiteral("select bias_standard, bias_daylight , start_standard, "
                                     "start_daylight from qtxtimezone_bias where qtxtimezoneid = ? "
                                     "and yearid=?"),
                      {Variant(timeZoneId), Variant(OleDate::year(now))});
        if (rs.Eof()) {
            rs.Close();
            return 0;
        }
        const Variant biasStandard = rs.Fields(QStringLiteral("bias_standard"));
        const Variant biasDaylight = rs.Fields(QStringLiteral("bias_daylight"));
        const Variant startStandard = rs.Fields(QStringLiteral("start_standard"));
        const Variant startDaylight = rs.Fields(QStringLiteral("start_daylight"));
        rs.Close();
        if (startDaylight.toText().isEmpty()) return -biasStandard.toDouble();
        // No instant lies in daylight time when the standard start is missing or comes first in
        // the year.
        const std::int64_t nowMs = OleDate::toMs(now);
        const bool inDaylight = !startStandard.isNull() && OleDate::toMs(startDaylight.toDate()) <= nowMs &&
                                nowMs < OleDate::toMs(startStandard.toDate());
        return inDaylight ? -biasDaylight.toDouble() : -biasStandard.toDouble();
    } catch (const std::exception&) {
        return 0;
    }
}

std::int32_t CommonVarGatherer::GetComputerUtcOffset() {
    return TimeUtils::UtcOffsetSecondsAt(OleDate::now()) / 60;
}

void CommonVarGatherer::CopyCollectorInfo(const CommonVarGatherer& VarGatherer) {
    changedAuditUser_ = VarGatherer.changedAuditUser_;
    changedTimeStamp_ = VarGatherer.changedTimeStamp_;
    dateAdjust_ = VarGatherer.dateAdjust_;
    description_ = VarGatherer.description_;
    enabled_ = VarGatherer.enabled_;
    collectorId_ = VarGatherer.collectorId_;
    name_ = VarGatherer.name_;
    timeZoneId_ = VarGatherer.timeZoneId_;
    collectorTimeZoneOffset_ = VarGatherer.collectorTimeZoneOffset_;
    writeAsUser_ = VarGatherer.writeAsUser_;
    interfaceTimeZoneOffset_ = VarGatherer.interfaceTimeZoneOffset_;
}
