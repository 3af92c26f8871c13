#include "CommonFiles/service/ScheduleSettings.h"

#include "CommonFiles/config/LoadStartupConfiguration.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/Variant.h"

#include <cmath>

namespace {

const QString kSchedule = QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\");

// Large enough for any schedule a person means, small enough that the wake-up stays a date.
constexpr double kLargestScheduleNumber = 1000000.0;

double scheduleNumber(const QTXConfiguration& config, const QString& name, QStringList* warnings) {
    const QString key = kSchedule + name;
    const QString text = config.item(key);
    double number = 0.0;
    if (Variant::parseNumber(text, number) && std::isfinite(number) &&
        std::fabs(number) <= kLargestScheduleNumber)
        return number;
    if (warnings)
        warnings->append(QStringLiteral("Schedule setting ") + key + QStringLiteral(" = \"") + text +
                         QStringLiteral("\" is not a usable number; 0 is used."));
    return 0.0;
}

} // namespace

ScheduleSettings ReadScheduleSettings(const QTXConfiguration& config, QStringList* warnings) {
    ScheduleSettings s;
    s.hourly = config.item(kSchedule + QStringLiteral("HOURLY")) == QLatin1String("YES");
    s.minutely = config.item(kSchedule + QStringLiteral("MINUTELY")) == QLatin1String("YES");
    // Only the numbers of the schedule in force are read, so a stray text in an unused key does
    // not fill the log with warnings at every wake-up.
    if (s.hourly) {
        s.hourlyMinute = scheduleNumber(config, QStringLiteral("HOURLY_MINUTE"), warnings);
    } else if (s.minutely) {
        s.minutelyMinute = scheduleNumber(config, QStringLiteral("MINUTELY_MINUTE"), warnings);
    } else {
        s.dailyHour = scheduleNumber(config, QStringLiteral("DAILY_HOUR"), warnings);
        s.dailyMinute = scheduleNumber(config, QStringLiteral("DAILY_MINUTE"), warnings);
    }
    return s;
}

double ComputeNextWakeUp(const ScheduleSettings& s, double now, bool initial) {
    const double today = OleDate::datePart(now);
    if (s.hourly) {
        const double next = OleDate::addMinutes(today, OleDate::hour(now) * 60.0 + s.hourlyMinute);
        return initial ? next : OleDate::addMinutes(next, 60.0);
    }
    if (s.minutely) {
        const double next = OleDate::normalize(now);
        return initial ? next : OleDate::addMinutes(next, s.minutelyMinute);
    }
    const double next = OleDate::addMinutes(today, s.dailyHour * 60.0 + s.dailyMinute);
    return initial ? next : OleDate::addDays(next, 1.0);
}

bool IsDue(double next, double now) {
    return OleDate::toMs(now) >= OleDate::toMs(next);
}

int WakeUpVerbosity(const QString& text, int current, QStringList* warnings) {
    if (!Variant::isNumericText(text)) {
        if (warnings)
            warnings->append(QStringLiteral("OPTIONS\\LOG_VERBOSITY = \"") + text +
                             QStringLiteral("\" is not a number; the log verbosity stays ") +
                             QString::number(current) + QLatin1Char('.'));
        return current;
    }
    return NormalizedStartupOption(text, static_cast<std::int16_t>(current), 0, 9);
}
