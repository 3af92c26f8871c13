#pragma once

#include "bench/BareSource.h"
#include "bench/BareTarget.h"

#include <cstdint>
#include <string>

namespace bench {

// What the loop did.
struct BareLimitResult {
    std::int64_t variables = 0;
    std::int64_t slotCount = 0;
    std::int64_t readings = 0;
    std::int64_t writes = 0;
    std::int64_t refused = 0;
    std::uint64_t sourceStatements = 0;
    std::uint64_t targetStatements = 0;
    double seconds = 0.0;
};

// The limit of the import's protocol: the least a program must do to move the same readings into
// the same rows with the same checks. Per variable one ordered range read of its readings (the
// collector's cache); per slot one probe of the source connection and the slot's average, and for a
// slot with a value the liveness probe of the target connection, the seek of the stored row (lock
// date and approval level decide) and the write, each its own autocommit statement. With
// `oneTransactionPerVariable` the target statements of a variable run inside one transaction (the
// limit of the backfill mode).
class BareLimitLoop {
public:
    struct Options {
        std::string siteId;
        int collectorId = 0;
        std::int64_t fromMs = 0; // range, slot-aligned
        std::int64_t toMs = 0;
        bool oneTransactionPerVariable = false;
        bool testMode = false;
    };

    static BareLimitResult run(BareSource& source, BareTarget& target, const Options& options);

    // The command line the limit programs share: --site, --collector, --from, --to, --backfill,
    // --test; false with a message when something is missing or unreadable.
    static bool parseOptions(int argc, char** argv, Options& options, std::string& error);
    static const char* argument(int argc, char** argv, const char* name, const char* fallback = nullptr);
    // The result line the harness reads.
    static void print(const BareLimitResult& result);

    // Slot length of a variable type in minutes (60 for hourly), 0 when the type has no slots.
    static int slotMinutes(const std::string& varType);
};

} // namespace bench
