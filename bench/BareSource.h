#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

// One reading as the bare loops keep it: the time stamp in milliseconds since 1970-01-01 (local
// wall clock, as stored) and the value.
struct BareReading {
    std::int64_t ms = 0;
    double value = 0.0;
    bool isNull = false;
};

// The source side of the bare loops, straight on the sqlite3 C API: the same statements the
// collector's reader sends (the probe of the connection, the site lookup and the ordered range
// read of one signal), each prepared once, dates bound and read as the fixed
// "yyyy-MM-dd HH:mm:ss.zzz" text and converted by hand.
class BareSource {
public:
    explicit BareSource(const std::string& file); // throws std::runtime_error
    ~BareSource();
    BareSource(const BareSource&) = delete;
    BareSource& operator=(const BareSource&) = delete;

    // "select count(*) from SYSTEMS".
    void probe();
    // The readings table of a site.
    std::string tableOf(const std::string& siteId);
    // The readings of a signal in [fromMs, toMs), oldest first, appended to out.
    void read(const std::string& table, int trainNumber, int sensorType, std::int64_t fromMs,
              std::int64_t toMs, std::vector<BareReading>& out);

    // "yyyy-MM-dd HH:mm:ss.zzz" <-> milliseconds since 1970-01-01.
    static bool parseMs(const char* text, int length, std::int64_t& ms);
    static int formatMs(std::int64_t ms, char out[32]);

private:
    sqlite3_stmt* prepare(const std::string& sql);

    sqlite3* db_ = nullptr;
    sqlite3_stmt* probe_ = nullptr;
    sqlite3_stmt* lookup_ = nullptr;
    sqlite3_stmt* readings_ = nullptr;
    std::string readingsTable_;
};

} // namespace bench
