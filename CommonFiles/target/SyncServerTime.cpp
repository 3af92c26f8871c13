#include "CommonFiles/target/SyncServerTime.h"

#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/TimeUtils.h"
#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"

#include <cmath>

namespace {

std::int64_t wholeSeconds(double date) {
    return static_cast<std::int64_t>(std::floor(static_cast<double>(OleDate::toMs(date)) / 1000.0));
}

} // namespace

bool SyncServerTime(ado::Connection& cn) {
    try {
        ado::Command cmd;
        cmd.setActiveConnection(cn);
        cmd.setCommandText(QStringLiteral("GETSERVERTIME"));
        cmd.setCommandType(ado::adCmdStoredProc);
        cmd.appendParameter(cmd.CreateParameter(QStringLiteral("date_out"), ado::adDate, ado::adParamOutput));
        // The first call warms the connection up, so the second measures the clock alone.
        cmd.Execute();
        const double local = OleDate::now();
        cmd.Execute();
        const Variant server = cmd.Parameters(QStringLiteral("date_out")).Value();
        if (server.isNull() || server.isEmpty()) return false;
        // Seconds between the two clock readings, counted as whole-second boundaries crossed.
        const std::int64_t offset = wholeSeconds(server.toDate()) - wholeSeconds(local);
        if (offset > INT32_MAX || offset < INT32_MIN) return false;
        TimeUtils::SetServerClockOffset(static_cast<std::int32_t>(offset));
        return true;
    } catch (...) {
        return false;
    }
}

bool SyncServerTime() {
    ConnectionManager manager;
    if (!InitTargetConnectionManager(manager)) return false;
    ado::Connection cn;
    manager.ConfigCnn4QTXROOT(cn);
    try {
        cn.Open();
    } catch (...) {
        return false;
    }
    const bool ok = SyncServerTime(cn);
    cn.Close();
    return ok;
}
