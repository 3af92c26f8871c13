#pragma once

#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"

#include <QString>

#include <cstdint>

// The stored procedures of a facility's daily comments: write and delete the comment of a
// variable on a day. Daily comments cannot be read back through this class: Seekcmts does
// nothing and NoMatch stays True. Database errors reach the caller.
class CommentsInt {
public:
    CommentsInt() = default;

    // Binds to an open facility connection and prepares the two commands.
    void Connect(const ado::Connection& cn);
    void WriteData(double date, std::int32_t varId, const QString& comment);
    void deletecmts(double date, std::int32_t varId);
    bool NoMatch() const { return true; }
    void Seekcmts(double date, std::int32_t varId, QString& comment, QString& auditUser,
                  double& auditTimestamp);

private:
    ado::Connection cn_;
    ado::Command delete_;
    ado::Command write_;
};
