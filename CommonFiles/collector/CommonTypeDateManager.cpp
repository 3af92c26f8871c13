#include "CommonFiles/collector/CommonTypeDateManager.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/VarTypeFunctions.h"

#include <cstdlib>
#include <stdexcept>

namespace {

// Whole minutes from one instant to another, each taken at the minute it lies in.
std::int64_t minutesBetween(double from, double to) {
    auto minuteOf = [](double d) {
        const std::int64_t ms = OleDate::toMs(d);
        std::int64_t m = ms / 60000;
        if (ms % 60000 != 0 && ms < 0) --m;
        return m;
    };
    return minuteOf(to) - minuteOf(from);
}

} // namespace

bool CommonTypeDateManager::SupportsVarType(const QString& varType) {
    return CommonTypeVarRec::SlotLengthMinutes(varType) > 0;
}

bool CommonTypeDateManager::Init(double IntervalStart, double IntervalEnd,
                                 std::shared_ptr<const CommonTypeVarRec> CurrentVariable,
                                 double CollectorTimeZoneOffset) {
    if (!CurrentVariable) throw std::invalid_argument("CommonTypeDateManager::Init needs a variable");
    variable_ = std::move(CurrentVariable);
    slotIndex_ = 0;
    numberOfSlots_ = 0;
    const QString varType = variable_->gVarType();
    const bool indirect = Variant(AppConfig().item(QStringLiteral("VESKDRAQ\\G2_INDIRECT_TYPE"))).toBool();

    slotLength_ = CommonTypeVarRec::SlotLengthMinutes(varType);
    startOffset_ = variable_->gStartTimeMinutes();
    stopOffset_ = variable_->gStopTimeMinutes();
    rangeEnd_ = OleDate::normalize(IntervalEnd);
    if (slotLength_ <= 0) {
        base_ = OleDate::normalize(IntervalStart);
        LogActivity(
            QStringLiteral("No time slots for ") + variable_->gName() + QStringLiteral(" (#") +
                QString::number(variable_->gNumber()) + QStringLiteral("): variable type ") + varType +
                QStringLiteral(" has intervals shorter than one minute. Skipping import for this variable."),
            0);
        return true;
    }

    const double alignedStart =
        indirect ? VarTypeFunctions::AlignToSlotTZ(IntervalStart, varType, CollectorTimeZoneOffset)
                 : VarTypeFunctions::AlignToSlot(IntervalStart, varType);
    const double alignedEnd =
        indirect ? VarTypeFunctions::AlignToSlotTZ(IntervalEnd, varType, CollectorTimeZoneOffset)
                 : VarTypeFunctions::AlignToSlot(IntervalEnd, varType);

    const std::int64_t spanMinutes = std::llabs(minutesBetween(alignedStart, alignedEnd));
    numberOfSlots_ =
        static_cast<std::int32_t>(Variant::roundHalfEven(static_cast<double>(spanMinutes) / slotLength_));
    base_ = OleDate::normalize(alignedStart);

    if (VarTypeFunctions::IsDaily(varType)) {
        if (variable_->gInterfaceType() == 1) {
            // The window of a day ends on the following day, so the day before the aligned start
            // is the first whose window reaches into the range.
            base_ = OleDate::addDays(base_, -1);
            ++numberOfSlots_;
        } else {
            // The range's last day counts when its window has already closed by the range end.
            const std::int64_t endMinutes = std::llabs(minutesBetween(alignedEnd, IntervalEnd));
            if (startOffset_ < endMinutes && stopOffset_ < endMinutes) ++numberOfSlots_;
        }
    }
    return true;
}

double CommonTypeDateManager::offsetFromBase(std::int64_t minutes) const {
    return OleDate::addMinutes(base_, static_cast<double>(minutes));
}

bool CommonTypeDateManager::Eof() const {
    if (slotIndex_ >= numberOfSlots_) return true;
    // Windows end in increasing order: the first that ends after the range end ends the walk, and
    // one that ends exactly at it is still processed.
    return OleDate::toMs(SlotEnd()) > OleDate::toMs(rangeEnd_);
}

double CommonTypeDateManager::SlotStart() const {
    return offsetFromBase(static_cast<std::int64_t>(slotLength_) * slotIndex_ + startOffset_);
}

double CommonTypeDateManager::SlotEnd() const {
    return offsetFromBase(static_cast<std::int64_t>(slotLength_) * slotIndex_ + stopOffset_);
}

double CommonTypeDateManager::VeskDRAQslotDateStamp() const {
    return offsetFromBase(static_cast<std::int64_t>(slotLength_) * slotIndex_);
}
