#pragma once

#include <QString>
#include <QStringList>

class QTXConfiguration;

// The automated-import schedule as the scheduler applies it, read from the keys under
// OPTIONS\AUTOMATED_IMPORT\SCHEDULE. HOURLY wins over MINUTELY; with neither the schedule is daily,
// whatever DAILY says (the settings dialog writes DAILY, the scheduler never needs it).
struct ScheduleSettings {
    bool hourly = false;          // HOURLY is exactly "YES"
    bool minutely = false;        // MINUTELY is exactly "YES"
    double hourlyMinute = 1.0;    // minutes past each hour
    double minutelyMinute = 10.0; // minutes between runs
    double dailyHour = 0.0;
    double dailyMinute = 1.0;
};

// Reads the schedule keys. The settings dialog only stores numbers, but the file can be edited by
// hand: a number key that is not a plain decimal number, or is beyond +-1,000,000 (which would carry
// the wake-up out of the calendar), is taken as 0 and explained by a line added to `warnings`.
// Hours and minutes are not range-checked otherwise: an hour of 25 simply adds 25 hours.
ScheduleSettings ReadScheduleSettings(const QTXConfiguration& config, QStringList* warnings = nullptr);

// The moment from which the next import is due, for the local time `now`. The initial value (at
// load) may lie in the past, which makes the first check due at once; later values are computed
// from the tick that found the run due, so a late tick moves the schedule on from its own hour or
// day.
double ComputeNextWakeUp(const ScheduleSettings& settings, double now, bool initial);

// True when `now` has reached `next`, both compared to the millisecond.
bool IsDue(double next, double now);

// The log verbosity to apply at a wake-up: a numeric text rounded (halves to even) and kept within
// 0..9, as at start-up; any other text keeps `current` and adds a line to `warnings`.
int WakeUpVerbosity(const QString& text, int current, QStringList* warnings = nullptr);
