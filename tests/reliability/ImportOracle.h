#pragma once

#include "tests/reliability/ImportScenario.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

// What the target must hold after imports of the scenario, worked out without the collector's
// code: its own slot cutting (whole milliseconds, no floating-point dates), its own statistics
// over the readings it reads straight from the source tables, its own scaling and rounding.
//
// The invariants it checks, for every facility with a last-run date R:
// - every slot whose window ends after the scenario's first last-run date and at or before R,
//   stamped on or after the lock date and not held by a row of a higher approval level, is present
//   with the oracle's value (or absent when no reading falls in its window);
// - every other row a run wrote (beyond R, by a run that stopped) has the oracle's value too;
// - no row lies outside the slots a run may write, apart from the rows the scenario stored
//   before the import, which are unchanged;
// - no two rows fall into one slot.
namespace reliability {

struct InvariantReport {
    int violations = 0;
    int rowsLost = 0;       // expected rows that are missing
    int rowsDuplicated = 0; // rows beyond the first in one slot
    int rowsChecked = 0;
    QStringList details; // the first violations, for the failure message
    bool ok() const { return violations == 0; }
    void add(const QString& what);
    QString summary() const;
};

class ImportOracle {
public:
    explicit ImportOracle(ImportScenario& scenario);

    struct Slot {
        std::optional<double> value; // nullopt: no reading in the window, so no row
        std::int64_t windowEnd = 0;
    };
    // Every slot a run of the scenario may write for a variable (stamped on or after the lock
    // date, not held by a protected row, window ending before the readings do), keyed by its
    // stamp in milliseconds.
    std::map<std::int64_t, Slot> slotsOf(const ScenarioVariable& v) const;

    // The invariants against the facilities' current last-run dates. lastRunAtLeast, when given,
    // is the earliest last-run date a finished run may have left (the range end of that run).
    InvariantReport check(std::optional<double> lastRunAtLeast = std::nullopt);

    // Every value row of the scenario's tables, "facility varid stamp value status", sorted; for
    // "a further run changes nothing". Rows stamped after `until` are left out when given.
    QStringList valueRows(std::optional<double> until = std::nullopt);

private:
    struct Reading {
        std::int64_t ms;
        double value;
    };
    std::optional<double> statistic(const ScenarioVariable& v, std::int64_t from, std::int64_t to) const;

    ImportScenario& scenario_;
    std::map<int, std::vector<Reading>> readings_; // by sensor
};

} // namespace reliability
