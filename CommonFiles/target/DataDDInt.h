#pragma once

#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"

#include <QString>

#include <cstdint>

// The stored procedures of one interval table of a facility (DATADD4, H, 3, F, 5, 1): seek, write,
// flag and delete slot values and their comments. The interval count picks the procedures'
// suffix; a count without a table of its own uses the hourly procedures.
//
// A slot is addressed by its start; the procedures receive the start and start + the interval.
// A seek that finds nothing sets NoMatch and leaves every output as the caller passed it.
// Database errors reach the caller, except in SetStatus. Optional outputs are pointers; nullptr
// means "not asked for".
class DataDDInt {
public:
    DataDDInt() = default;

    // Binds to an open facility connection and prepares the eight commands. An interval count
    // below 1 is refused with AppError InvalidArgument.
    void ConnectTo(const ado::Connection& cn, std::int32_t intervalsPerDay);

    void DeleteComment(double slotStart, std::int32_t varId);
    void WriteComment(double slotStart, double dateStamp, std::int32_t varId, const QString& comment);
    // Found only when the stored comment is neither null nor empty.
    void SeekComment(double slotStart, std::int32_t varId, QString& comment, QString* auditUser = nullptr,
                     double* auditTimestamp = nullptr);
    void SeekData(double slotStart, std::int32_t varId, double& dateStamp, double& value, QString& text,
                  QString* auditUser = nullptr, double* auditTimestamp = nullptr,
                  std::int32_t* status = nullptr, std::int32_t* forced = nullptr);
    void DeleteData(double slotStart, std::int32_t varId);
    void WriteData(double slotStart, double dateStamp, std::int32_t varId, double value, const QString& text,
                   std::int32_t status);
    // Rewrites the slot holding dateTime with a new status when a row exists and its status
    // differs. Never raises: a failure leaves the row as it was.
    void SetStatus(double dateTime, std::int32_t varId, std::int32_t status);
    void SetForced(double dateTime, std::int32_t varId, std::int32_t forced);

    bool NoMatch() const { return noMatch_; }
    std::int32_t GetCurrentIntervalsInDay() const { return intervalsPerDay_; }
    std::int32_t GetMinutesPerInterval() const { return minutesPerInterval_; }
    // The suffix of the procedure names ("4", "H", "3", "F", "5", "1"); empty before ConnectTo.
    QString Suffix() const { return suffix_; }

    // The start of the slot that holds dateTime; an instant less than half a second before
    // midnight belongs to the next day.
    double GetSlotStartDateTime(double dateTime) const;

    // The n-th row (1-based; below 1 means 1) of the variable in [slotStart, slotEnd).
    void SeekNext(double slotStart, double slotEnd, std::int32_t varId, double& dateStamp, double& value,
                  QString& text, std::int32_t nthRecord, QString* auditUser = nullptr,
                  double* auditTimestamp = nullptr, std::int32_t* status = nullptr,
                  std::int32_t* forced = nullptr);

    // The procedure suffix and minutes per interval of an interval count.
    static QString SuffixFor(std::int32_t intervalsPerDay);
    static std::int32_t MinutesPerIntervalFor(std::int32_t intervalsPerDay);

private:
    ado::Command prepare(const QString& name);
    double slotEnd(double slotStart) const;

    ado::Connection cn_;
    std::int32_t intervalsPerDay_ = -1;
    std::int32_t minutesPerInterval_ = 0;
    QString suffix_;
    bool noMatch_ = true;

    ado::Command write_;
    ado::Command seek_;
    ado::Command seekNext_;
    ado::Command delete_;
    ado::Command setForced_;
    ado::Command seekComment_;
    ado::Command writeComment_;
    ado::Command deleteComment_;
};
