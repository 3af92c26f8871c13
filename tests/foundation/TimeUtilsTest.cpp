#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/TimeUtils.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Switches the process's time zone for one test, as the TZ variable does for a service.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneScope() {
        if (hadOld_)
            setenv("TZ", old_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

TEST(TimeUtilsTest, ServerNowIsTheLocalClockPlusTheOffset) {
    FakeClock clock(OleDate::fromParts(2026, 12, 8, 23, 59, 30));
    ASSERT_EQ(TimeUtils::ServerClockOffset(), 0);
    EXPECT_EQ(TimeUtils::ServerNow(), clock.now());
    TimeUtils::SetServerClockOffset(45);
    EXPECT_EQ(OleDate::toMs(TimeUtils::ServerNow()),
              OleDate::toMs(OleDate::fromParts(2026, 12, 9, 0, 0, 15)));
    TimeUtils::SetServerClockOffset(-3600);
    EXPECT_EQ(OleDate::toMs(TimeUtils::ServerNow()),
              OleDate::toMs(OleDate::fromParts(2026, 12, 8, 22, 59, 30)));
    TimeUtils::SetServerClockOffset(0);
}

struct ZoneCase {
    const char* zone;
    double localNow;
    int offsetSeconds;
};

TEST(TimeUtilsTest, UtcOffsetFollowsTheSystemZoneAndDaylightSaving) {
    const ZoneCase cases[] = {
        {"UTC", OleDate::fromParts(2026, 7, 1, 12, 0), 0},
        {"Europe/Berlin", OleDate::fromParts(2026, 1, 15, 12, 0), 3600},
        {"Europe/Berlin", OleDate::fromParts(2026, 7, 1, 12, 0), 7200},
        {"America/New_York", OleDate::fromParts(2026, 1, 15, 12, 0), -18000},
        {"America/New_York", OleDate::fromParts(2026, 7, 1, 12, 0), -14400},
        {"Asia/Kolkata", OleDate::fromParts(2026, 7, 1, 12, 0), 19800},
        {"Australia/Sydney", OleDate::fromParts(2026, 1, 15, 12, 0), 39600},
        {"Australia/Sydney", OleDate::fromParts(2026, 7, 1, 12, 0), 36000},
    };
    for (const auto& c : cases) {
        ZoneScope zone(c.zone);
        FakeClock clock(c.localNow);
        EXPECT_EQ(TimeUtils::UtcOffsetSeconds(), c.offsetSeconds)
            << c.zone << " " << OleDate::toIsoMs(c.localNow).toStdString();
        EXPECT_EQ(OleDate::toMs(TimeUtils::ToUTC()),
                  OleDate::toMs(OleDate::addSeconds(c.localNow, -c.offsetSeconds)))
            << c.zone;
        const double given = OleDate::fromParts(2026, 3, 1, 6, 30);
        EXPECT_EQ(OleDate::toMs(TimeUtils::ToUTC(given)),
                  OleDate::toMs(OleDate::addSeconds(given, -c.offsetSeconds)))
            << c.zone << ": a given date uses the offset in effect now";
    }
}

} // namespace
