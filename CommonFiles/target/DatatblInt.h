#pragma once

#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"

#include <QString>

#include <cstdint>

// The stored procedures of a facility's daily table (DATATBL): seek, write, flag and delete the
// value of a variable on a day (the facility writer passes midnight). A seek that finds nothing
// sets NoMatch and leaves the outputs as the caller passed them, except forced, which becomes 0.
// Database errors reach the caller. Optional outputs are pointers; nullptr means "not asked for".
class DatatblInt {
public:
    DatatblInt() = default;

    // Binds to an open facility connection and prepares the four commands.
    void Connect(const ado::Connection& cn);
    void SeekDateVarId(double date, std::int32_t varId, double& value, QString& text,
                       QString* auditUser = nullptr, double* auditTimestamp = nullptr,
                       std::int32_t* forced = nullptr, std::int32_t* status = nullptr);
    void deletedtbl(double date, std::int32_t varId);
    void WriteData(double date, std::int32_t varId, double value, const QString& text, std::int32_t status);
    void SetForced(double date, std::int32_t varId, std::int32_t forced);
    // Rewrites the day's row with a new status when one exists and its status differs.
    void SetStatus(double date, std::int32_t varId, std::int32_t status);
    bool NoMatch() const { return noMatch_; }

private:
    ado::Command prepare(const QString& name);

    ado::Connection cn_;
    bool noMatch_ = true;
    ado::Command seek_;
    ado::Command delete_;
    ado::Command write_;
    ado::Command setForced_;
};
