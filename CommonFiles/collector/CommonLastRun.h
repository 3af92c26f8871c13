#pragma once

#include "CommonFiles/foundation/HashTable.h"

#include <QString>

#include <cstdint>

namespace ado {
class Connection;
}

// Per facility of one run: where the import starts (the facility's last run, or its lock date
// when that is later), where it ends, and the lock date the facility writer must respect. After a
// facility is imported, PersistLastRunDate records the new last-run date in g2_server_run and,
// when configured, queues a recalculation request in CALCQUEUE.
//
// Both maps keep their dates as general-date texts (whole seconds), keyed by facility file name
// (upper case, case-sensitive keys). A g2_server_run row without a LASTRUN counts as no row: the
// facility starts at DefaultStart.
class CommonLastRun {
public:
    CommonLastRun(); // DefaultStart and DefaultEnd: now

    bool PersistLastRunDate(std::int32_t interfaceId, const QString& facility, double lastRun);
    // Reads the last-run dates only when the program runs as a service; interactive runs start
    // every facility at DefaultStart.
    bool ReadVeskDRAQ(std::int32_t interfaceId, ado::Connection& rootConnection);
    // Facility names joined by "~"; stops at the first facility whose lock date cannot be read.
    bool ReadVeskDRAQFacilLockDates(const QString& facilities);
    double startdate(const QString& facility);
    double enddate(const QString& facility) const;
    // The zero date for a facility whose lock date was not read, so nothing is written to it.
    double LockDate(const QString& facility) const;
    bool ViolatesLockDate(const QString& facility) const;

    void setDefaultStart(double value) { defaultStart_ = value; }
    void setDefaultEnd(double value) { defaultEnd_ = value; }
    double DefaultStart() const { return defaultStart_; }
    double DefaultEnd() const { return defaultEnd_; }

private:
    bool ReadFacilityLockDate(const QString& facility, double& lockDate);
    void SubmitCalcRequest(ado::Connection& rootConnection, const QString& facility, double lastRun);

    double defaultStart_;
    double defaultEnd_;
    HashTable lastRunMap_;
    HashTable lockDateMap_;
};
