#pragma once

#include <cstdint>
#include <optional>

// The target server's clock and UTC conversion. Dates are local OLE day counts (OleDate).
namespace TimeUtils {

// The local clock plus the server clock offset; the local clock until SyncServerTime succeeds.
double ServerNow();
// Whole seconds from the local clock to the target server's clock; set by SyncServerTime.
void SetServerClockOffset(std::int32_t seconds);
std::int32_t ServerClockOffset();

// Seconds to add to UTC to get local time now (positive east of Greenwich), daylight saving
// included when it is in effect, from the system time zone.
std::int32_t UtcOffsetSeconds();
// The same at a given local date.
std::int32_t UtcOffsetSecondsAt(double localDate);
// The date (now when none is given) minus UtcOffsetSeconds().
double ToUTC(std::optional<double> date = {});

} // namespace TimeUtils
