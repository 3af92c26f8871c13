#pragma once

#include "CommonFiles/collector/CommonLastRun.h"
#include "CommonFiles/foundation/HashTable.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

namespace ado {
class Connection;
}

// One run's collector: its description from g2_server, the facilities to import with their
// variable ids, a cursor over both, and the objects that travel with the run (facility names,
// additional information, last-run dates).
//
// Facilities are walked in the enumeration order of the variable-list hash table, not in the
// order of the facility query; facility ids are upper-cased on the way in, so plant1 and PLANT1
// are one facility. Usage:
//   MoveFirst(); while (!EOF_Facility()) { while (!EOF_Variable()) { ...; MoveNext_Variable(); }
//                                        MoveNext_Facility(); }
class CommonVarGatherer {
public:
    CommonVarGatherer();

    // The three shared objects, replaceable as references.
    std::shared_ptr<HashTable> FacilID2FacilNameHash() const { return facilID2FacilNameHash_; }
    void setFacilID2FacilNameHash(std::shared_ptr<HashTable> value) {
        facilID2FacilNameHash_ = std::move(value);
    }
    std::shared_ptr<HashTable> FacilID2ainfoHash() const { return facilID2ainfoHash_; }
    void setFacilID2ainfoHash(std::shared_ptr<HashTable> value) { facilID2ainfoHash_ = std::move(value); }
    std::shared_ptr<CommonLastRun> LookupLastRun() const { return lookupLastRun_; }
    void setLookupLastRun(std::shared_ptr<CommonLastRun> value) { lookupLastRun_ = std::move(value); }

    // Every enabled variable of the collector, facility by facility (OPTIONS\NOIU\LIMITFACILITY
    // limits it to one facility). A facility that cannot be reached contributes nothing.
    bool ReadVeskDRAQ(std::int32_t interface_id, ado::Connection& aRootCNN);
    bool ADHOCAddVariable(const QString& facilityId, std::int32_t variableId);
    void Clear();

    std::int32_t TotalFacility() const { return varLists_.Count(); }
    std::int32_t TotalVariable() const { return totalVariables_; }
    bool EOF_Facility() const;
    bool EOF_Variable() const;
    void MoveNext_Variable();
    void MoveNext_Facility();
    void MoveFirst();
    std::int32_t Current_Variable() const;
    QString Current_Facility() const;

    // The collector's g2_server row. A failure before the collector id is assigned leaves
    // CollectorID at 0, a later one leaves it set.
    bool ReadAboutCollector(std::int32_t interface_id, ado::Connection& aRootCNN);

    double CollectorDateAdjust() const { return dateAdjust_; }
    std::int32_t CollectorTimeZoneID() const { return timeZoneId_; }
    std::int32_t CollectorID() const { return collectorId_; }
    double CollectorChangedTimeStamp() const { return changedTimeStamp_; }
    QString CollectorChangedAuditUSer() const { return changedAuditUser_; }
    QString CollectorWriteAsUser() const { return writeAsUser_; }
    QString CollectorName() const { return name_; }
    QString CollectorDescription() const { return description_; }
    bool CollectorEnabled() const { return enabled_; }
    // Minutes, local time = UTC + offset.
    double CollectorTimeZoneOffset() const { return collectorTimeZoneOffset_; }
    double InterfaceTimezoneOffset() const { return interfaceTimeZoneOffset_; }

    // The collector description of another gatherer; lists, cursors and shared objects stay.
    void CopyCollectorInfo(const CommonVarGatherer& VarGatherer);

    // The computer's own offset from UTC now, in minutes, daylight saving included while it is in
    // effect (from the system time zone).
    static std::int32_t GetComputerUtcOffset();

private:
    void GatherFacilityVariables(const QString& facilityId, std::int32_t interface_id);
    static bool IsVariableListed(std::int32_t variableId, const QString& idText);
    double ReadCollectorTimeZoneBias(std::int32_t timeZoneId, ado::Connection& connection);
    void loadFacilityIds();

    std::shared_ptr<HashTable> facilID2FacilNameHash_;
    std::shared_ptr<HashTable> facilID2ainfoHash_;
    std::shared_ptr<CommonLastRun> lookupLastRun_;

    HashTable varLists_; // facility id -> ",id,id,..."
    std::int32_t totalVariables_ = 0;
    std::int32_t facilityCursor_ = -1;
    QStringList facilityKeys_;
    std::int32_t variableCursor_ = -1;
    QStringList variableIds_;

    QString name_;
    QString description_;
    bool enabled_ = false;
    QString writeAsUser_;
    QString changedAuditUser_;
    double changedTimeStamp_ = 0;
    std::int32_t collectorId_ = 0;
    std::int32_t timeZoneId_ = 0;
    double collectorTimeZoneOffset_ = 0;
    double dateAdjust_ = 0;
    double interfaceTimeZoneOffset_ = 0;
};
