#include "CommonFiles/foundation/TimeUtils.h"

#include "CommonFiles/foundation/OleDate.h"

#include <QDateTime>
#include <QTimeZone>

namespace TimeUtils {

namespace {
std::int32_t g_serverClockOffset = 0;
}

double ServerNow() {
    return OleDate::addSeconds(OleDate::now(), g_serverClockOffset);
}

void SetServerClockOffset(std::int32_t seconds) {
    g_serverClockOffset = seconds;
}

std::int32_t ServerClockOffset() {
    return g_serverClockOffset;
}

std::int32_t UtcOffsetSecondsAt(double localDate) {
    const QTimeZone zone = QTimeZone::systemTimeZone();
    const QDateTime at = OleDate::toDateTime(localDate);
    if (!zone.isValid() || !at.isValid()) return 0;
    // The standard offset, plus the daylight-saving shift while it is in effect in a zone that
    // has daylight saving at all.
    std::int32_t seconds = zone.standardTimeOffset(at);
    if (zone.hasDaylightTime() && zone.isDaylightTime(at)) seconds += zone.daylightTimeOffset(at);
    return seconds;
}

std::int32_t UtcOffsetSeconds() {
    return UtcOffsetSecondsAt(OleDate::now());
}

double ToUTC(std::optional<double> date) {
    const double d = date ? *date : OleDate::now();
    return OleDate::addSeconds(d, -UtcOffsetSeconds());
}

} // namespace TimeUtils
