#include "tests/reliability/ImportOracle.h"

#include "CommonFiles/foundation/OleDate.h"

#include <algorithm>
#include <cmath>

namespace reliability {

namespace {

constexpr std::int64_t MsPerMinute = 60000;
constexpr std::int64_t MsPerDay = 1440 * MsPerMinute;

// Floor division that also holds for instants before the epoch.
std::int64_t floorTo(std::int64_t ms, std::int64_t unit) {
    std::int64_t q = ms / unit;
    if (ms % unit != 0 && ms < 0) --q;
    return q * unit;
}

QString stampText(std::int64_t ms) {
    return OleDate::toIsoMs(OleDate::fromMs(ms)).left(19);
}

double rounded(double x, int decPlaces) {
    if (decPlaces == 9999) return x;
    const double f = std::pow(10.0, decPlaces);
    return std::round(x * f) / f; // halves away from zero
}

bool sameValue(double a, double b) {
    return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::fabs(b));
}

} // namespace

void InvariantReport::add(const QString& what) {
    ++violations;
    if (details.size() < 12) details << what;
}

QString InvariantReport::summary() const {
    return QStringLiteral("%1 violations (%2 rows lost, %3 duplicated, %4 checked): %5")
        .arg(violations)
        .arg(rowsLost)
        .arg(rowsDuplicated)
        .arg(rowsChecked)
        .arg(details.join(QStringLiteral("; ")));
}

ImportOracle::ImportOracle(ImportScenario& scenario) : scenario_(scenario) {
    for (const ScenarioVariable& v : ImportScenario::variables()) {
        if (readings_.count(v.sensor)) continue;
        std::vector<Reading>& list = readings_[v.sensor];
        const auto rows = scenario_.source().query(
            QStringLiteral("SELECT TimeDate, Data FROM NW01_DATA WHERE TrainNumber = ? AND SensorType = ?"),
            {Variant(v.train), Variant(v.sensor)});
        for (const QList<Variant>& r : rows)
            if (!r[1].isNull()) list.push_back({OleDate::toMs(r[0].toDate()), r[1].toDouble()});
        std::stable_sort(list.begin(), list.end(),
                         [](const Reading& a, const Reading& b) { return a.ms < b.ms; });
    }
}

std::optional<double> ImportOracle::statistic(const ScenarioVariable& v, std::int64_t from,
                                              std::int64_t to) const {
    const std::vector<Reading>& list = readings_.at(v.sensor);
    auto it = std::lower_bound(list.begin(), list.end(), from,
                               [](const Reading& r, std::int64_t t) { return r.ms < t; });
    double sum = 0, minimum = 0, maximum = 0, first = 0, last = 0;
    int count = 0;
    for (; it != list.end() && it->ms < to; ++it) {
        const double x = it->value;
        if (count == 0) {
            minimum = maximum = first = x;
        } else {
            minimum = std::min(minimum, x);
            maximum = std::max(maximum, x);
        }
        last = x;
        sum += x;
        ++count;
    }
    if (count == 0) return std::nullopt;
    double result = 0;
    if (v.statistic == QLatin1String("AVERAGE"))
        result = sum / count;
    else if (v.statistic == QLatin1String("TOTAL"))
        result = sum;
    else if (v.statistic == QLatin1String("MINIMUM"))
        result = minimum;
    else if (v.statistic == QLatin1String("MAXIMUM"))
        result = maximum;
    else if (v.statistic == QLatin1String("FIRST"))
        result = first;
    else if (v.statistic == QLatin1String("LAST"))
        result = last;
    else if (v.statistic == QLatin1String("COUNT"))
        result = count;
    else if (v.statistic == QLatin1String("DIFF")) {
        result = last - first;
        if (result < 0) result = std::pow(10.0, std::floor(std::log10(first) + 0.5)) - first + last;
    } else {
        return std::nullopt;
    }
    return rounded(result * v.scale, v.decPlaces);
}

std::map<std::int64_t, ImportOracle::Slot> ImportOracle::slotsOf(const ScenarioVariable& v) const {
    std::map<std::int64_t, Slot> out;
    const std::int64_t length = v.slotMinutes * MsPerMinute;
    const std::int64_t horizon = OleDate::toMs(scenario_.dates().readingsTo);
    const std::int64_t lockMs = OleDate::toMs(scenario_.lockDate(v.facility));
    std::int64_t stamp = floorTo(OleDate::toMs(scenario_.dates().lastRun), length);
    // A day whose window ends on the next day starts with the day before the range's first.
    if (v.nextDay) stamp -= MsPerDay;
    for (;; stamp += length) {
        const std::int64_t windowFrom = stamp + v.startOffset * MsPerMinute;
        const std::int64_t windowTo = stamp + v.stopOffset * MsPerMinute;
        if (windowTo > horizon) break;
        if (stamp < lockMs) continue;
        bool held = false;
        for (const ProtectedRow& p : scenario_.protectedRows())
            if (p.varid == v.varid && OleDate::toMs(p.stamp) == stamp) held = true;
        if (held) continue;
        out[stamp] = Slot{statistic(v, windowFrom, windowTo), windowTo};
    }
    return out;
}

InvariantReport ImportOracle::check(std::optional<double> lastRunAtLeast) {
    InvariantReport report;
    for (const QString& facility : ImportScenario::facilities()) {
        const std::optional<double> lastRun = scenario_.lastRun(facility);
        if (!lastRun) {
            report.add(facility + QStringLiteral(" has no last-run date"));
            continue;
        }
        if (lastRunAtLeast && OleDate::toMs(*lastRun) < OleDate::toMs(*lastRunAtLeast))
            report.add(facility + QStringLiteral(" last run ") + stampText(OleDate::toMs(*lastRun)) +
                       QStringLiteral(" before the end of the finished run ") +
                       stampText(OleDate::toMs(*lastRunAtLeast)));
        for (const ScenarioVariable& v : ImportScenario::variables()) {
            if (v.facility != facility) continue;
            const auto expected = slotsOf(v);
            const std::int64_t firstLastRun = OleDate::toMs(scenario_.dates().lastRun);
            const std::int64_t done = OleDate::toMs(*lastRun);
            const std::int64_t length = v.slotMinutes * MsPerMinute;
            const auto rows =
                scenario_.target().query(facility,
                                         QStringLiteral("SELECT %1, curvalue, status FROM %2 WHERE varid = ?")
                                             .arg(stampColumnOf(v), tableOf(v)),
                                         {Variant(v.varid)});
            std::map<std::int64_t, int> perSlot;
            std::map<std::int64_t, double> values;
            const QString tag = facility + QStringLiteral(":%1 ").arg(v.varid);
            for (const QList<Variant>& r : rows) {
                ++report.rowsChecked;
                const std::int64_t ms = OleDate::toMs(r[0].toDate());
                const std::int64_t slot = floorTo(ms, length);
                if (ms != slot)
                    report.add(tag + QStringLiteral("row stamped off its slot at ") + stampText(ms));
                if (++perSlot[slot] > 1) {
                    ++report.rowsDuplicated;
                    report.add(tag + QStringLiteral("second row in the slot of ") + stampText(slot));
                    continue;
                }
                values[slot] = r[1].isNull() ? std::nan("") : r[1].toDouble();

                bool isProtected = false;
                for (const ProtectedRow& p : scenario_.protectedRows()) {
                    if (p.facility != facility || p.varid != v.varid || OleDate::toMs(p.stamp) != ms)
                        continue;
                    isProtected = true;
                    if (!sameValue(r[1].toDouble(), p.value) || r[2].toInt32() != p.status)
                        report.add(tag + QStringLiteral("row ") + p.why + QStringLiteral(" changed at ") +
                                   stampText(ms));
                }
                if (isProtected) continue;
                const auto e = expected.find(slot);
                if (e == expected.end())
                    report.add(tag + QStringLiteral("unexpected row at ") + stampText(ms));
                else if (!e->second.value)
                    report.add(tag + QStringLiteral("row without readings at ") + stampText(ms));
                else if (!sameValue(r[1].toDouble(), *e->second.value))
                    report.add(tag +
                               QStringLiteral("value %1 instead of %2 at ")
                                   .arg(r[1].toDouble(), 0, 'g', 12)
                                   .arg(*e->second.value, 0, 'g', 12) +
                               stampText(ms));
                else if (r[2].toInt32() != ImportScenario::ApprovalLevel)
                    report.add(tag + QStringLiteral("status %1 at ").arg(r[2].toInt32()) + stampText(ms));
            }
            for (const auto& [stamp, slot] : expected) {
                const bool required = slot.windowEnd > firstLastRun && slot.windowEnd <= done;
                if (!required || !slot.value || values.count(stamp)) continue;
                ++report.rowsLost;
                report.add(tag + QStringLiteral("missing row at ") + stampText(stamp));
            }
            for (const ProtectedRow& p : scenario_.protectedRows())
                if (p.facility == facility && p.varid == v.varid && !values.count(OleDate::toMs(p.stamp))) {
                    ++report.rowsLost;
                    report.add(tag + QStringLiteral("row ") + p.why + QStringLiteral(" removed"));
                }
        }
    }
    return report;
}

QStringList ImportOracle::valueRows(std::optional<double> until) {
    QStringList out;
    for (const ScenarioVariable& v : ImportScenario::variables()) {
        const auto rows =
            scenario_.target().query(v.facility,
                                     QStringLiteral("SELECT %1, curvalue, status FROM %2 WHERE varid = ?")
                                         .arg(stampColumnOf(v), tableOf(v)),
                                     {Variant(v.varid)});
        for (const QList<Variant>& r : rows) {
            const std::int64_t ms = OleDate::toMs(r[0].toDate());
            if (until && ms > OleDate::toMs(*until)) continue;
            out << QStringLiteral("%1 %2 %3 %4 %5")
                       .arg(v.facility)
                       .arg(v.varid)
                       .arg(stampText(ms))
                       .arg(r[1].isNull() ? QStringLiteral("null") : Variant::numberText(r[1].toDouble()))
                       .arg(r[2].toInt32());
        }
    }
    out.sort();
    return out;
}

} // namespace reliability
