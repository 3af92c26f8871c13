#pragma once

#include "CommonFiles/foundation/Variant.h"

#include <QString>

#include <cstdint>

// The import settings of one target variable, as read from its facility's VarDesc row.
//
// The write properties take the column values as the recordset delivers them and normalise them
// on the way in; the g properties give the stored values. A setter that has no sound value for
// its input falls back to the documented default instead of failing, except VarType and Number,
// whose null column fails the row (they throw AppError).
//
// The start and stop times become minute offsets from a slot's nominal start, which the slot
// manager uses directly; both read VarType, and the stop time also reads InterfaceType, so those
// two must be set first.
class CommonTypeVarRec {
public:
    // Write properties.
    void setFilterValue(const Variant& value);
    void setFilterOperand(const Variant& value);
    void setFilterTag(const Variant& value);
    void setStartTime(const Variant& value);
    void setStopTime(const Variant& value);
    void setInterfaceType(const Variant& value);
    void setDeadBand(const Variant& value);
    void setLowRangeFilter(const Variant& value);
    void setHighRangeFilter(const Variant& value);
    void setScadaFactor(const Variant& value);
    void setScadaStat(const Variant& value);
    void setScadaTag(const Variant& value);
    void setDataApproval(const Variant& value);
    void setDesc(const Variant& value);
    void setDecPlaces(const Variant& value);
    void setName(const Variant& value);
    void setUnits(const Variant& value);
    void setVarType(const Variant& value); // throws AppError for a null type
    void setFacilID(const QString& value);
    void setId(std::int32_t value);
    void setNumber(const Variant& value); // throws AppError for a null or non-numeric number

    // Read properties.
    QString gFacilID() const { return facilID_; }
    std::int32_t gID() const { return id_; }
    std::int32_t gNumber() const { return number_; }
    QString gName() const { return name_; }
    QString gUnits() const { return units_; }
    QString gVarType() const { return varType_; }
    std::int16_t gDecPlaces() const { return decPlaces_; }
    QString gDesc() const { return desc_; }
    std::int32_t gDataApproval() const { return dataApproval_; }
    QString gScadaTag() const { return scadaTag_; }
    QString gScadaStat() const { return scadaStat_; }
    double gScadaFactor() const { return scadaFactor_; }
    Variant gHighRangeFilter() const { return highRangeFilter_; }
    Variant gLowRangeFilter() const { return lowRangeFilter_; }
    Variant gDeadBand() const { return deadBand_; }
    std::int32_t gInterfaceType() const { return interfaceType_; }
    std::int32_t gStartTimeMinutes() const { return startTimeMinutes_; }
    std::int32_t gStopTimeMinutes() const { return stopTimeMinutes_; }
    QString gFilterTag() const { return filterTag_; }
    QString gFilterOperand() const { return filterOperand_; }
    double gFilterValue() const { return filterValue_; }

    // The minutes of one slot of a type code: 1440 divided by its intervals per day, rounded.
    // 0 for a type whose slots are shorter than a minute (the seconds family), which no slot
    // manager can cut.
    static std::int32_t SlotLengthMinutes(const QString& varType);

private:
    double filterValue_ = 0;
    QString filterOperand_;
    QString filterTag_;
    std::int32_t startTimeMinutes_ = 0;
    std::int32_t stopTimeMinutes_ = 0;
    std::int32_t interfaceType_ = 0;
    Variant deadBand_;
    Variant lowRangeFilter_;
    Variant highRangeFilter_;
    double scadaFactor_ = 0;
    QString scadaStat_;
    QString scadaTag_;
    std::int32_t dataApproval_ = 0;
    QString desc_;
    std::int16_t decPlaces_ = 0;
    QString name_;
    QString units_;
    QString varType_;
    QString facilID_;
    std::int32_t id_ = 0;
    std::int32_t number_ = 0;
};
