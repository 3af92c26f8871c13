#pragma once

#include "CommonFiles/collector/CommonTypeVarRec.h"
#include "CommonFiles/foundation/HashTable.h"

#include <QSet>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace ado {
class Connection;
}
class CommonVarGatherer;

// The variable records of one import run, read from each facility's VarDesc and keyed by
// "FACILITY~varid" (the facility id upper-cased).
class CommonTypeVar {
public:
    // Loads every variable the gatherer lists; True when the whole list was walked. A facility
    // that cannot be reached, and a row that fails, cost only their own records.
    bool ReadVeskDRAQ(CommonVarGatherer& aVarGatherer);
    // Nothing when the variable was never loaded, has no VarDesc row or its row failed.
    std::shared_ptr<CommonTypeVarRec> GetVarRecord(const QString& facilityId, std::int32_t variableId) const;
    // True when the facility's database did not answer while its records were read (its connection
    // failed, or a VarDesc query did): some of its listed variables may lack a record for a reason
    // that the next run will not have, so the run must not record the facility as done.
    bool IncompleteFacility(const QString& facilityId) const;

    static QString RecordKey(const QString& facilityId, std::int32_t variableId);

private:
    std::optional<ado::Connection> OpenFacilityConnection(const QString& facilityId);
    void ExpandVaridToRecord(const QString& facilityId, std::int32_t variableId, ado::Connection& connection);

    KeyedHash<std::shared_ptr<CommonTypeVarRec>> records_;
    QSet<QString> incomplete_; // upper-cased facility ids
};
