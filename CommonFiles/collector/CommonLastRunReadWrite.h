#pragma once

#include <QString>

#include <cstdint>

namespace ado {
class Connection;
}

// Reads and writes one facility's g2_server_run row for the last-run viewer. An interface id
// argument of 0 means InterfaceID; with both 0 nothing is read or written.
class CommonLastRunReadWrite {
public:
    QString LastRun() const { return lastRun_; } // general date form
    QString AuditUser() const { return auditUser_; }
    QString FacilityID() const { return facilityID_; }
    QString WorkStation() const { return workStation_; }
    QString NetUser() const { return netUser_; }
    QString IP() const { return ip_; }
    QString LocalPath() const { return localPath_; }
    std::int32_t InterfaceID() const { return interfaceID_; }
    void setInterfaceID(std::int32_t value) { interfaceID_ = value; }

    // Writes LASTRUN (adding the row when missing); the audit columns are left alone.
    bool SetLastRunDate(const QString& facility, double lastRun, ado::Connection& connection,
                        std::int32_t interfaceId);
    // False when the facility has no row, or a row without a LASTRUN.
    bool ReadLastRunInfo(const QString& facility, ado::Connection& connection, double& lastRun,
                         std::int32_t interfaceId);

private:
    QString lastRun_;
    QString auditUser_;
    QString facilityID_;
    QString workStation_;
    QString netUser_;
    QString ip_;
    QString localPath_;
    std::int32_t interfaceID_ = 0;
};
