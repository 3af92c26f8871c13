#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// A variable as the bare loops need it.
struct BareVariable {
    int varid = 0;
    std::string tag; // KQ:<train>:<sensor>
    std::string varType;
    int approval = 0;
    int decimals = 2;
};

// The target side of the bare loops: the statements the collector's facility writer sends for
// one value (the liveness probe of the connection, the seek of the stored row, the write), plus
// what the import reads once per facility. Each engine prepares them once.
class BareTarget {
public:
    virtual ~BareTarget() = default;

    // Enabled variables linked to the collector, by varid.
    virtual std::vector<BareVariable> variables(int collectorId) = 0;
    // The facility's lock date in milliseconds since 1970-01-01; false when it has none.
    virtual bool lockDate(std::int64_t& ms) = 0;

    // The interval table the following seeks and writes address (the variable's type).
    virtual void selectType(const std::string& varType) = 0;

    // "select count(id) from approvalini".
    virtual void alive() = 0;
    // The stored row of a slot: found, and its status.
    virtual bool seek(int varid, std::int64_t slotStartMs, std::int64_t slotEndMs, int& status) = 0;
    virtual void write(int varid, std::int64_t slotStartMs, std::int64_t slotEndMs, double value,
                       int status) = 0;

    virtual void begin() = 0;
    virtual void commit() = 0;

    // Statements sent to the server so far.
    std::uint64_t roundTrips() const { return roundTrips_; }

protected:
    std::uint64_t roundTrips_ = 0;
};

} // namespace bench
