#pragma once

namespace ado {
class Connection;
}

// Reads the target server's clock (procedure GETSERVERTIME, output date_out) and sets the server
// clock offset of TimeUtils to the whole seconds from the local clock to it. False, with the
// offset unchanged, when the procedure fails or returns no date.
bool SyncServerTime(ado::Connection& cn);
// The same on a root connection of its own, configured from the settings, opened without any
// feedback and closed afterwards.
bool SyncServerTime();
