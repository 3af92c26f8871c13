#pragma once

#include "CommonFiles/collector/CommonTypeVarRec.h"

#include <cstdint>
#include <memory>

// Cuts one facility's import range into the target intervals of one variable. For each slot it
// gives the window of source readings (SlotStart inclusive, SlotEnd exclusive) and the stamp the
// value is written under (VeskDRAQslotDateStamp, the slot's nominal start). The window sits at the
// variable's start and stop offsets after the nominal start, so a daily window may reach into the
// next day.
//
// Usage: Init once; while (!Eof()) { SlotStart(), SlotEnd(), VeskDRAQslotDateStamp(); MoveNext(); }
//
// Variables of the seconds family have no whole-minute slot length: Init cuts no slot for them
// (Eof at once) and says so in a level-0 line, and the import goes on with the next variable.
class CommonTypeDateManager {
public:
    // Reads VESKDRAQ\G2_INDIRECT_TYPE as a Boolean (a text that is no Boolean raises AppError).
    // Returns True.
    bool Init(double IntervalStart, double IntervalEnd,
              std::shared_ptr<const CommonTypeVarRec> CurrentVariable, double CollectorTimeZoneOffset);
    // EOF is a C macro, hence the name.
    bool Eof() const;
    void MoveNext() { ++slotIndex_; }
    std::int32_t NumberOfSlots() const { return numberOfSlots_; }
    double SlotStart() const;
    double SlotEnd() const;
    double VeskDRAQslotDateStamp() const;

    // False for a type code whose slots this class cannot cut (the seconds family); a validating
    // caller can reject such a variable before any slot is asked for.
    static bool SupportsVarType(const QString& varType);

private:
    double offsetFromBase(std::int64_t minutes) const;

    std::int32_t slotIndex_ = 0;
    std::int32_t numberOfSlots_ = 0;
    std::int32_t slotLength_ = 0;
    std::int32_t startOffset_ = 0;
    std::int32_t stopOffset_ = 0;
    double base_ = 0;
    double rangeEnd_ = 0;
    std::shared_ptr<const CommonTypeVarRec> variable_;
};
