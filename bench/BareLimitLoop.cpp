#include "bench/BareLimitLoop.h"

#include "CommonFiles/foundation/VarTypeFunctions.h"

#include <QString>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace bench {

namespace {

void splitTag(const std::string& tag, int& train, int& sensor) {
    const std::string rest = tag.size() > 3 ? tag.substr(3) : std::string();
    const std::size_t colon = rest.find(':');
    if (colon == std::string::npos || colon == 0) throw std::runtime_error("bare loop: bad tag " + tag);
    train = std::stoi(rest.substr(0, colon));
    sensor = std::stoi(rest.substr(colon + 1));
}

// Halves away from zero on the decimal value, as the collector rounds: the scaled value is first
// cut to six decimals, so that 69.825 (69.82499999... in binary) rounds up as its text does.
double roundDecimals(double v, int decimals) {
    if (decimals == 9999) return v;
    const double f = std::pow(10.0, decimals);
    const double scaled = std::round(std::fabs(v) * f * 1e6) / 1e6;
    return std::copysign(std::floor(scaled + 0.5) / f, v);
}

} // namespace

int BareLimitLoop::slotMinutes(const std::string& varType) {
    const int perDay = VarTypeFunctions::IntervalsPerDay(QString::fromStdString(varType));
    return perDay > 0 && perDay <= 1440 ? 1440 / perDay : 0;
}

BareLimitResult BareLimitLoop::run(BareSource& source, BareTarget& target, const Options& o) {
    const auto t0 = std::chrono::steady_clock::now();
    BareLimitResult result;
    std::int64_t lock = 0;
    if (!target.lockDate(lock)) throw std::runtime_error("bare loop: the facility has no lock date");
    const std::vector<BareVariable> variables = target.variables(o.collectorId);
    std::uint64_t sourceStatements = 0;
    std::string table;
    std::vector<BareReading> readings;

    for (const BareVariable& v : variables) {
        const int minutes = slotMinutes(v.varType);
        if (minutes <= 0) continue;
        ++result.variables;
        int train = 0, sensor = 0;
        splitTag(v.tag, train, sensor);
        const std::int64_t step = std::int64_t(minutes) * 60000;
        const std::int64_t first = o.fromMs - o.fromMs % step;

        source.probe();
        ++sourceStatements;
        if (table.empty()) {
            table = source.tableOf(o.siteId);
            ++sourceStatements;
        }
        readings.clear();
        source.read(table, train, sensor, first, o.toMs, readings);
        ++sourceStatements;
        result.readings += std::int64_t(readings.size());

        target.selectType(v.varType);
        if (o.oneTransactionPerVariable) target.begin();
        std::size_t cursor = 0;
        for (std::int64_t start = first; start + step <= o.toMs; start += step) {
            const std::int64_t end = start + step;
            ++result.slotCount;
            source.probe();
            ++sourceStatements;
            double sum = 0.0;
            std::int64_t count = 0;
            for (; cursor < readings.size() && readings[cursor].ms < end; ++cursor) {
                const BareReading& r = readings[cursor];
                if (r.ms >= start && !r.isNull) {
                    sum += r.value;
                    ++count;
                }
            }
            if (count == 0) continue;
            const double value = roundDecimals(sum / double(count), v.decimals);

            target.alive();
            if (start < lock) {
                ++result.refused;
                continue;
            }
            int status = 0;
            if (target.seek(v.varid, start, end, status) && v.approval < status) {
                ++result.refused;
                continue;
            }
            if (!o.testMode) target.write(v.varid, start, end, value, v.approval);
            ++result.writes;
        }
        if (o.oneTransactionPerVariable) target.commit();
    }
    result.sourceStatements = sourceStatements;
    result.targetStatements = target.roundTrips();
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return result;
}

const char* BareLimitLoop::argument(int argc, char** argv, const char* name, const char* fallback) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], name) == 0) return argv[i + 1];
    return fallback;
}

bool BareLimitLoop::parseOptions(int argc, char** argv, Options& o, std::string& error) {
    const char* from = argument(argc, argv, "--from");
    const char* to = argument(argc, argv, "--to");
    if (!from || !to) {
        error = "--from and --to are required";
        return false;
    }
    if (!BareSource::parseMs(from, int(std::strlen(from)), o.fromMs) ||
        !BareSource::parseMs(to, int(std::strlen(to)), o.toMs)) {
        error = "--from and --to take yyyy-MM-dd[ HH:mm]";
        return false;
    }
    o.siteId = argument(argc, argv, "--site", "BENCHSITE");
    o.collectorId = std::atoi(argument(argc, argv, "--collector", "101"));
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--backfill") == 0) o.oneTransactionPerVariable = true;
        if (std::strcmp(argv[i], "--test") == 0) o.testMode = true;
    }
    return true;
}

void BareLimitLoop::print(const BareLimitResult& r) {
    std::printf(
        "limit variables=%lld slots=%lld readings=%lld writes=%lld refused=%lld source_statements=%llu "
        "target_statements=%llu seconds=%.6f\n",
        (long long)r.variables, (long long)r.slotCount, (long long)r.readings, (long long)r.writes,
        (long long)r.refused, (unsigned long long)r.sourceStatements, (unsigned long long)r.targetStatements,
        r.seconds);
}

} // namespace bench
