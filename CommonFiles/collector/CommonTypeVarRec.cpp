#include "CommonFiles/collector/CommonTypeVarRec.h"

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/VarTypeFunctions.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Whole minutes between the zero date (1899-12-30 00:00) and the date, as a distance; for a
// time-of-day value these are its minutes after midnight.
std::int64_t minutesFromZeroDate(double date) {
    const std::int64_t ms = OleDate::toMs(date);
    std::int64_t minutes = ms / 60000;
    if (ms % 60000 != 0 && ms < 0) --minutes; // a minute counts once it has begun
    return std::llabs(minutes);
}

// A time-of-day column: a date, or a text that reads as one. Numbers are not times of day.
bool isTimeValue(const Variant& value) {
    return !value.isNull() && !value.isEmpty() && value.isDate();
}

} // namespace

std::int32_t CommonTypeVarRec::SlotLengthMinutes(const QString& varType) {
    const std::int16_t perDay = VarTypeFunctions::IntervalsPerDay(varType);
    if (perDay <= 0) return 0;
    return static_cast<std::int32_t>(Variant::roundHalfEven(1440.0 / perDay));
}

void CommonTypeVarRec::setFilterValue(const Variant& value) {
    filterValue_ = 0;
    if (value.isNull() || !value.isNumeric()) return;
    try {
        filterValue_ = value.toDouble();
    } catch (const AppError&) {
        filterValue_ = 0;
    }
}

void CommonTypeVarRec::setFilterOperand(const Variant& value) {
    filterOperand_ = value.toText().trimmed();
}

void CommonTypeVarRec::setFilterTag(const Variant& value) {
    filterTag_ = value.toText().trimmed();
}

void CommonTypeVarRec::setStartTime(const Variant& value) {
    startTimeMinutes_ = 0;
    try {
        if (!isTimeValue(value)) return;
        const std::int32_t slot = SlotLengthMinutes(varType_);
        if (slot <= 0) return;
        const std::int64_t m = minutesFromZeroDate(value.toDate());
        startTimeMinutes_ = m <= slot ? static_cast<std::int32_t>(m) : 0;
    } catch (const AppError&) {
        startTimeMinutes_ = 0;
    }
}

void CommonTypeVarRec::setStopTime(const Variant& value) {
    try {
        const std::int32_t slot = SlotLengthMinutes(varType_);
        // No slot length to measure against: the offset stays as it was.
        if (slot <= 0) return;
        if (!isTimeValue(value)) {
            stopTimeMinutes_ = slot;
            return;
        }
        const bool daily = VarTypeFunctions::IsDaily(varType_);
        // The stop time of a day window names the last minute that still belongs to it.
        const std::int64_t m = minutesFromZeroDate(value.toDate()) + (daily ? 1 : 0);
        std::int32_t result = static_cast<std::int32_t>(std::min<std::int64_t>(m, slot));
        if (daily && interfaceType_ == 1) result += 1440;
        stopTimeMinutes_ = result;
    } catch (const AppError&) {
        // The previous offset stays.
    }
}

void CommonTypeVarRec::setInterfaceType(const Variant& value) {
    interfaceType_ = value.toText().toUpper() == QLatin1String("SAME") ? 0 : 1;
}

void CommonTypeVarRec::setDeadBand(const Variant& value) {
    deadBand_ = value;
}

void CommonTypeVarRec::setLowRangeFilter(const Variant& value) {
    lowRangeFilter_ = value;
}

void CommonTypeVarRec::setHighRangeFilter(const Variant& value) {
    highRangeFilter_ = value;
}

void CommonTypeVarRec::setScadaFactor(const Variant& value) {
    scadaFactor_ = 1;
    if (value.isNull() || !value.isNumeric()) return;
    try {
        const double d = value.toDouble();
        if (d != 0) scadaFactor_ = d;
    } catch (const AppError&) {
        scadaFactor_ = 1;
    }
}

void CommonTypeVarRec::setScadaStat(const Variant& value) {
    scadaStat_ = value.toText().toUpper();
}

void CommonTypeVarRec::setScadaTag(const Variant& value) {
    scadaTag_ = value.toText().trimmed();
}

void CommonTypeVarRec::setDataApproval(const Variant& value) {
    dataApproval_ = 0;
    if (!Variant::isNumericText(value.toText())) return;
    try {
        dataApproval_ = value.toInt32();
    } catch (const AppError&) {
        dataApproval_ = 0;
    }
}

void CommonTypeVarRec::setDesc(const Variant& value) {
    desc_ = value.toText();
}

void CommonTypeVarRec::setDecPlaces(const Variant& value) {
    decPlaces_ = 5;
    if (value.isNull() || !value.isNumeric()) return;
    try {
        decPlaces_ = value.toInt16();
    } catch (const AppError&) {
        decPlaces_ = 5;
    }
}

void CommonTypeVarRec::setName(const Variant& value) {
    name_ = value.toText();
}

void CommonTypeVarRec::setUnits(const Variant& value) {
    units_ = value.toText();
}

void CommonTypeVarRec::setVarType(const Variant& value) {
    if (value.isNull()) throw AppError(AppError::InvalidUseOfNull, QStringLiteral("Invalid use of Null"));
    varType_ = value.toText();
}

void CommonTypeVarRec::setFacilID(const QString& value) {
    facilID_ = value;
}

void CommonTypeVarRec::setId(std::int32_t value) {
    id_ = value;
}

void CommonTypeVarRec::setNumber(const Variant& value) {
    number_ = value.toInt32();
}
