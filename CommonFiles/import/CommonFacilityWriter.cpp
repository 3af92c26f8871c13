#include "CommonFiles/import/CommonFacilityWriter.h"

#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/VarTypeFunctions.h"
#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/target/CommentsInt.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/DataDDInt.h"
#include "CommonFiles/target/DatatblInt.h"
#include "CommonFiles/target/TargetConnection.h"
#include "platform/ado/Command.h"
#include "platform/ado/Recordset.h"

#include <exception>

using namespace ado;

namespace {

// "number - description" of a failure caught by the writer. Failures that are not numbered
// errors (a standard exception from below) are reported with number 0.
QString failureText(const std::exception& e) {
    if (const auto* app = dynamic_cast<const AppError*>(&e)) return app->text();
    return QStringLiteral("0 - ") + QString::fromUtf8(e.what());
}

bool sameInstant(double a, double b) {
    return OleDate::toMs(a) == OleDate::toMs(b);
}

bool isBefore(double a, double b) {
    return OleDate::toMs(a) < OleDate::toMs(b);
}

} // namespace

CommonFacilityWriter::CommonFacilityWriter() {
    DestroyConnection();
}

CommonFacilityWriter::~CommonFacilityWriter() {
    DestroyConnection();
}

void CommonFacilityWriter::setLockDate(double lockDate) {
    lockDate_ = OleDate::normalize(lockDate);
}

void CommonFacilityWriter::DestroyConnection() {
    inBatch_ = false;
    forgetTables();
    if (connection_) connection_->Close();
    connection_.reset();
}

void CommonFacilityWriter::forgetTables() {
    intervalTables_.clear();
    dailyTable_.reset();
}

DataDDInt& CommonFacilityWriter::intervalTable(std::int32_t intervalsPerDay) {
    std::unique_ptr<DataDDInt>& table = intervalTables_[intervalsPerDay];
    if (!table) {
        auto fresh = std::make_unique<DataDDInt>();
        fresh->ConnectTo(*connection_, intervalsPerDay); // may refuse the count: nothing is kept
        table = std::move(fresh);
    }
    return *table;
}

DatatblInt& CommonFacilityWriter::dailyTable() {
    if (!dailyTable_) {
        auto fresh = std::make_unique<DatatblInt>();
        fresh->Connect(*connection_);
        dailyTable_ = std::move(fresh);
    }
    return *dailyTable_;
}

bool CommonFacilityWriter::BeginBatch() {
    if (!readyToWrite()) return false;
    try {
        connection_->BeginTrans();
        inBatch_ = true;
        return true;
    } catch (const std::exception& e) {
        AppLog().WriteLog(failureText(e), 0);
        return false;
    }
}

bool CommonFacilityWriter::CommitBatch() {
    inBatch_ = false;
    if (!connection_) return false;
    try {
        connection_->CommitTrans();
        return true;
    } catch (const std::exception& e) {
        AppLog().WriteLog(failureText(e), 0);
        return false;
    }
}

void CommonFacilityWriter::RollbackBatch() {
    inBatch_ = false;
    if (!connection_) return;
    try {
        connection_->RollbackTrans();
    } catch (const std::exception&) {
    }
}

bool CommonFacilityWriter::ConnectionAlive() {
    if (!connection_) return false;
    try {
        Recordset rs = connection_->Execute(QStringLiteral("select count(id) from approvalini"));
        (void)rs.Fields(0);
        rs.Close();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CommonFacilityWriter::OpenFacilityConnection() {
    // Kept only once it is open: a connection that never opened is not worth keeping, and the
    // next write then tries to open one again.
    auto cn = std::make_unique<Connection>();
    ConnectionManager manager;
    if (!InitTargetConnectionManager(manager)) return false;
    try {
        manager.ConfigCnn4FACILITY(*cn, facilityId_);
        cn->Open();
    } catch (const std::exception& e) {
        const QList<Error> errors = cn->Errors();
        QString reason;
        if (!errors.isEmpty())
            reason =
                QString::number(errors.first().number) + QStringLiteral(" - ") + errors.first().description;
        else
            reason = failureText(e);
        LogActivity(QStringLiteral("Unable to Open Connection to Vesk DRAQ. Error : ") + reason, 1);
        return false;
    }
    forgetTables();
    connection_ = std::move(cn);
    return true;
}

bool CommonFacilityWriter::EnsureConnection() {
    // A connection that exists but died is not reopened here: the import's recovery destroys it
    // and tries again, which opens a new one.
    if (!connection_ && !OpenFacilityConnection()) return false;
    return ConnectionAlive();
}

void CommonFacilityWriter::resetFlags() {
    PerfromedPhysicalWrite = false;
    PerfromedLogicalWrite = false;
    ApprovalLevelDisabledWrite = false;
    PerformedAINFOfieldsLogicalWrite = false;
    PerformedAINFOfieldsPhysicalWrite = false;
    PerfromedWriteDateStamp = 0.0;
}

bool CommonFacilityWriter::readyToWrite() {
    // A facility whose lock date was never read receives no data at all.
    if (facilityId_.trimmed().isEmpty() || sameInstant(lockDate_, 0.0)) return false;
    // Inside a batch the connection was probed when the transaction began, and a connection lost
    // since fails the next statement, which loses the whole batch anyway.
    if (inBatch_ && connection_) return true;
    return EnsureConnection();
}

bool CommonFacilityWriter::refusedByLockDate(double date) {
    if (!isBefore(date, lockDate_)) return false;
    ApprovalLevelDisabledWrite = true;
    PerfromedWriteDateStamp = date;
    return true;
}

bool CommonFacilityWriter::IsDailyHome(const QString& varType) {
    return VarTypeFunctions::IsDaily(varType) ||
           VarTypeFunctions::DataTableName(varType) == QLatin1String("DATATBL");
}

QString CommonFacilityWriter::CutComment(const QString& comment) {
    if (comment.size() <= MaxCommentLength) return comment;
    qsizetype length = MaxCommentLength;
    if (comment.at(length - 1).isHighSurrogate()) --length;
    return comment.left(length);
}

bool CommonFacilityWriter::WriteToVeskDRAQ(const QString& varType, std::int32_t varId, double date,
                                           double value, const QString& text, std::int32_t approvalLevel,
                                           const KeyedHash<QString>* additionalInfo) {
    resetFlags();
    if (!readyToWrite()) return false;

    bool result = false;
    double stamp = 0.0;
    if (IsDailyHome(varType)) {
        stamp = OleDate::datePart(date);
        result = WriteDailyValue(varId, stamp, value, text, approvalLevel);
    } else {
        stamp = VarTypeFunctions::AlignToSlot(date, varType);
        result = WriteIntervalValue(VarTypeFunctions::IntervalsPerDay(varType), varId, stamp, value, text,
                                    approvalLevel);
    }

    if (result && additionalInfo && additionalInfo->Count() > 0 && !ApprovalLevelDisabledWrite) {
        if (!WriteToVeskDRAQainfo(varType, varId, stamp, *additionalInfo))
            AppLog().WriteLog(
                QStringLiteral("CommonFacilityWriter.WriteToVeskDRAQ() : WriteToVeskDRAQainfo returned "
                               "failure during write of Additional Info Fields"),
                9);
    }
    return result;
}

bool CommonFacilityWriter::WriteDailyValue(std::int32_t varId, double date, double value, const QString& text,
                                           std::int32_t approvalLevel) {
    try {
        if (refusedByLockDate(date)) return true;

        DatatblInt& table = dailyTable();
        double storedValue = 0.0;
        QString storedText;
        QString auditUser;
        double auditTimestamp = 0.0;
        std::int32_t forced = 0;
        std::int32_t status = 0;
        table.SeekDateVarId(date, varId, storedValue, storedText, &auditUser, &auditTimestamp, &forced,
                            &status);
        // Only the approval level protects a stored row; an equal or higher level overwrites it
        // whatever it holds.
        if (!table.NoMatch() && approvalLevel < status) {
            ApprovalLevelDisabledWrite = true;
            PerfromedWriteDateStamp = date;
            return true;
        }
        if (!testMode_) {
            table.WriteData(date, varId, value, text, approvalLevel);
            PerfromedPhysicalWrite = true;
        }
        PerfromedWriteDateStamp = date;
        PerfromedLogicalWrite = true;
        return true;
    } catch (const std::exception& e) {
        AppLog().WriteLog(failureText(e), 0);
        return false;
    }
}

bool CommonFacilityWriter::WriteIntervalValue(std::int32_t intervalsPerDay, std::int32_t varId,
                                              double slotStart, double value, const QString& text,
                                              std::int32_t approvalLevel) {
    try {
        if (refusedByLockDate(slotStart)) return true;

        DataDDInt& table = intervalTable(intervalsPerDay);
        double storedStamp = 0.0;
        double storedValue = 0.0;
        QString storedText;
        QString auditUser;
        double auditTimestamp = 0.0;
        std::int32_t status = 0;
        std::int32_t forced = 0;
        table.SeekData(slotStart, varId, storedStamp, storedValue, storedText, &auditUser, &auditTimestamp,
                       &status, &forced);
        if (!table.NoMatch() && approvalLevel < status) {
            ApprovalLevelDisabledWrite = true;
            PerfromedWriteDateStamp = slotStart;
            return true;
        }
        if (!testMode_) {
            AppLog().WriteLog(QStringLiteral("Writing DD Value to database."), 9);
            table.WriteData(slotStart, slotStart, varId, value, text, approvalLevel);
            PerfromedPhysicalWrite = true;
        }
        PerfromedWriteDateStamp = slotStart;
        PerfromedLogicalWrite = true;
        return true;
    } catch (const std::exception& e) {
        AppLog().WriteLog(failureText(e), 0);
        return false;
    }
}

bool CommonFacilityWriter::WriteCOMtoVeskDRAQ(const QString& varType, std::int32_t varId, double date,
                                              const QString& comment) {
    resetFlags();
    if (!readyToWrite()) return false;

    const QString stored = CutComment(comment);
    if (IsDailyHome(varType)) return WriteDailyComment(varId, OleDate::datePart(date), stored);
    return WriteIntervalComment(VarTypeFunctions::IntervalsPerDay(varType), varId,
                                VarTypeFunctions::AlignToSlot(date, varType), stored);
}

bool CommonFacilityWriter::WriteDailyComment(std::int32_t varId, double date, const QString& comment) {
    try {
        if (refusedByLockDate(date)) return true;
        CommentsInt comments;
        comments.Connect(*connection_);
        if (!testMode_) {
            comments.WriteData(date, varId, comment);
            PerfromedPhysicalWrite = true;
        }
        PerfromedWriteDateStamp = date;
        PerfromedLogicalWrite = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CommonFacilityWriter::WriteIntervalComment(std::int32_t intervalsPerDay, std::int32_t varId,
                                                double slotStart, const QString& comment) {
    try {
        if (refusedByLockDate(slotStart)) return true;
        DataDDInt& table = intervalTable(intervalsPerDay);
        if (!testMode_) {
            table.WriteComment(slotStart, slotStart, varId, comment);
            PerfromedPhysicalWrite = true;
        }
        PerfromedWriteDateStamp = slotStart;
        PerfromedLogicalWrite = true;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CommonFacilityWriter::LogbookExists(std::int32_t logbookId) {
    Command query;
    query.setActiveConnection(*connection_);
    query.setCommandText(QStringLiteral("select id from logbook where id=?"));
    query.setCommandType(adCmdText);
    query.appendParameter(query.CreateParameter(QStringLiteral("id"), adInteger, adParamInput, 0, logbookId));
    Recordset rs = query.ExecuteQuery();
    const bool found = !rs.Eof();
    rs.Close();
    return found;
}

bool CommonFacilityWriter::WriteToLogbook(std::int32_t logbookId, double dateStamp, double timeStamp,
                                          const QString& comment, std::int32_t defaultLogbookId) {
    if (comment.trimmed().isEmpty()) return true;
    // The entry needs the facility connection even when no value was written before it.
    if (!connection_ && !OpenFacilityConnection()) return false;
    try {
        std::int32_t lbid = 0;
        if (LogbookExists(logbookId))
            lbid = logbookId;
        else if (LogbookExists(defaultLogbookId))
            lbid = defaultLogbookId;
        if (testMode_) return true;

        Recordset rs;
        rs.Open(QStringLiteral("select * from logbookentries where lbid=-1"), *connection_, adOpenStatic,
                adLockPessimistic);
        rs.AddNew();
        rs.setField(QStringLiteral("comment"), comment);
        rs.setField(QStringLiteral("timestamp"), Variant::fromDate(timeStamp));
        rs.setField(QStringLiteral("datestamp"), Variant::fromDate(dateStamp));
        rs.setField(QStringLiteral("lbid"), lbid);
        rs.setField(QStringLiteral("audituser"), GetWriteAsUser());
        rs.setField(QStringLiteral("audittimestamp"), Variant::fromDate(OleDate::now()));
        rs.Update();
        rs.Close();
        return true;
    } catch (const std::exception& e) {
        LogActivity(QStringLiteral("Error in WriteToLogbook: ") + failureText(e), 0);
        return false;
    }
}

bool CommonFacilityWriter::WriteToVeskDRAQainfo(const QString& varType, std::int32_t varId, double date,
                                                const KeyedHash<QString>& additionalInfo) {
    // The additional-information companions of the data tables are not written by this release:
    // nothing is stored, so the fields are not reported as written either.
    (void)varType;
    (void)varId;
    (void)date;
    (void)additionalInfo;
    return false;
}
