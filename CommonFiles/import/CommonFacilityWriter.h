#pragma once

#include "CommonFiles/foundation/HashTable.h"
#include "platform/ado/Connection.h"

#include <QString>

#include <cstdint>
#include <map>
#include <memory>

class DataDDInt;
class DatatblInt;

// The one path by which a computed value reaches the target: the import keeps one writer per
// facility, sets facilID, LockDate and TestMode, then calls WriteToVeskDRAQ per variable and slot
// and reads the result flags after each call.
//
// Daily types go to the daily table at midnight, the other types to their interval table at the
// start of the slot that holds the date. A value dated before the lock date, or whose stored row
// has a status above the approval level, is refused: the call succeeds and
// ApprovalLevelDisabledWrite tells why nothing was written. In test mode every decision is taken
// as in a real run (the stored row is still read) but no write procedure runs.
//
// A False result means the value could not be written for a reason outside the value: no facility
// or lock date, no connection, a dead connection, a database error. The import then calls
// DestroyConnection and tries again, which opens a fresh connection.
class CommonFacilityWriter {
public:
    // Reset at the start of every write; read by the import after it.
    bool PerfromedPhysicalWrite = false;     // a write procedure was executed
    bool PerfromedLogicalWrite = false;      // the value counts as written (also in test mode)
    bool ApprovalLevelDisabledWrite = false; // the lock date or the stored row's status refused it
    double PerfromedWriteDateStamp = 0.0;    // stamp written (or refused) under; 0 when undecided
    bool PerformedAINFOfieldsLogicalWrite = false;
    bool PerformedAINFOfieldsPhysicalWrite = false;

    // Limit of a comment; longer comments are cut to it.
    static constexpr int MaxCommentLength = 2000;

    CommonFacilityWriter();
    ~CommonFacilityWriter();
    CommonFacilityWriter(const CommonFacilityWriter&) = delete;
    CommonFacilityWriter& operator=(const CommonFacilityWriter&) = delete;

    void setTestMode(bool value) { testMode_ = value; }
    bool TestMode() const { return testMode_; }
    // The facility's file name; every later write goes to it. The open connection (if any) stays
    // until DestroyConnection, as the import drops the writer with its facility.
    void setfacilID(const QString& facilityId) { facilityId_ = facilityId; }
    QString facilID() const { return facilityId_; }
    // The facility's lock date; the zero date (never read) refuses every write with False.
    void setLockDate(double lockDate);
    double LockDate() const { return lockDate_; }

    // Closes the facility connection, ignoring errors, and forgets it.
    void DestroyConnection();

    // The backfill mode's transaction around one variable's writes. BeginBatch needs what a write
    // needs (facility id, lock date, a live connection, opened when there is none) and gives False
    // when it cannot start one; CommitBatch gives False when the commit failed, and then nothing
    // of the batch is stored. RollbackBatch ignores errors: a lost connection rolled back already.
    // Writes inside a batch skip the liveness probe that every other write makes.
    bool BeginBatch();
    bool CommitBatch();
    void RollbackBatch();
    // "select count(id) from approvalini" answers on the facility connection.
    bool ConnectionAlive();

    // One value of a variable. additionalInfo (target field id -> value) is handed to
    // WriteToVeskDRAQainfo after a successful write; the import passes none.
    bool WriteToVeskDRAQ(const QString& varType, std::int32_t varId, double date, double value,
                         const QString& text, std::int32_t approvalLevel,
                         const KeyedHash<QString>* additionalInfo = nullptr);
    // The comment of a day or slot, cut to MaxCommentLength characters. Refused (True, flag set)
    // before the lock date; no approval check. Database errors give False without a log line.
    bool WriteCOMtoVeskDRAQ(const QString& varType, std::int32_t varId, double date, const QString& comment);
    // Adds an entry to the facility's logbook: logbookId when that logbook exists, else
    // defaultLogbookId when that one exists, else 0. A blank comment writes nothing and succeeds.
    // In test mode the logbooks are looked up but no entry is added.
    bool WriteToLogbook(std::int32_t logbookId, double dateStamp, double timeStamp, const QString& comment,
                        std::int32_t defaultLogbookId);

    // Is the daily table the home of this type? Daily codes, and codes without an interval marker,
    // which every other part of the program treats as daily.
    static bool IsDailyHome(const QString& varType);
    // The comment as stored: at most MaxCommentLength characters, never ending in half a
    // surrogate pair.
    static QString CutComment(const QString& comment);

private:
    bool OpenFacilityConnection();
    bool EnsureConnection();
    bool WriteDailyValue(std::int32_t varId, double date, double value, const QString& text,
                         std::int32_t approvalLevel);
    bool WriteIntervalValue(std::int32_t intervalsPerDay, std::int32_t varId, double slotStart, double value,
                            const QString& text, std::int32_t approvalLevel);
    bool WriteDailyComment(std::int32_t varId, double date, const QString& comment);
    bool WriteIntervalComment(std::int32_t intervalsPerDay, std::int32_t varId, double slotStart,
                              const QString& comment);
    bool LogbookExists(std::int32_t logbookId);
    bool WriteToVeskDRAQainfo(const QString& varType, std::int32_t varId, double date,
                              const KeyedHash<QString>& additionalInfo);

    void resetFlags();
    // The facility id and lock date allow a write and a live connection exists.
    bool readyToWrite();
    // Before the lock date: refused, flagged and stamped.
    bool refusedByLockDate(double date);

    QString facilityId_ = QStringLiteral("0");
    double lockDate_ = 0.0;
    // The procedures of the tables written to, prepared once per connection: setting up the
    // commands of a table costs more than the seek and the write of a slot.
    DataDDInt& intervalTable(std::int32_t intervalsPerDay);
    DatatblInt& dailyTable();
    void forgetTables();

    std::unique_ptr<ado::Connection> connection_;
    std::map<std::int32_t, std::unique_ptr<DataDDInt>> intervalTables_;
    std::unique_ptr<DatatblInt> dailyTable_;
    bool testMode_ = false;
    bool inBatch_ = false;
};
