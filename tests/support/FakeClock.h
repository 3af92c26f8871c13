#pragma once

#include "CommonFiles/foundation/OleDate.h"

// Replaces the wall clock that OleDate::now() reads for as long as it lives, so a test can
// cross midnight or a clock hour without waiting.
class FakeClock {
public:
    explicit FakeClock(double start) : now_(start) {
        OleDate::setClockSource([this] { return now_; });
    }
    ~FakeClock() { OleDate::setClockSource({}); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    void set(double d) { now_ = d; }
    void advanceMinutes(double m) { now_ = OleDate::addMinutes(now_, m); }
    void advanceSeconds(double s) { now_ = OleDate::addSeconds(now_, s); }
    double now() const { return now_; }

private:
    double now_;
};
