#include "bench/BareSource.h"

#include <cstdio>
#include <stdexcept>

namespace bench {

namespace {

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

bool digits(const char* p, int n, int& out) {
    out = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        out = out * 10 + (p[i] - '0');
    }
    return true;
}

} // namespace

BareSource::BareSource(const std::string& file) {
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK)
        throw std::runtime_error("bare source: cannot open " + file);
    // The settings the collector's database layer opens every SQLite file with.
    sqlite3_exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON", nullptr,
                 nullptr, nullptr);
    probe_ = prepare("select count(*) from SYSTEMS");
    lookup_ = prepare("SELECT TableName FROM SYSTEMS WHERE SystemID=?");
}

BareSource::~BareSource() {
    for (sqlite3_stmt* s : {probe_, lookup_, readings_})
        sqlite3_finalize(s);
    sqlite3_close_v2(db_);
}

sqlite3_stmt* BareSource::prepare(const std::string& sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("bare source: ") + sqlite3_errmsg(db_));
    return s;
}

void BareSource::probe() {
    if (sqlite3_step(probe_) != SQLITE_ROW) throw std::runtime_error("bare source: the probe failed");
    (void)sqlite3_column_int64(probe_, 0);
    sqlite3_reset(probe_);
}

std::string BareSource::tableOf(const std::string& siteId) {
    sqlite3_bind_text(lookup_, 1, siteId.c_str(), int(siteId.size()), SQLITE_TRANSIENT);
    std::string table;
    if (sqlite3_step(lookup_) == SQLITE_ROW)
        table = reinterpret_cast<const char*>(sqlite3_column_text(lookup_, 0));
    sqlite3_reset(lookup_);
    if (table.empty()) throw std::runtime_error("bare source: no SYSTEMS row for " + siteId);
    return table;
}

void BareSource::read(const std::string& table, int trainNumber, int sensorType, std::int64_t fromMs,
                      std::int64_t toMs, std::vector<BareReading>& out) {
    if (table != readingsTable_) {
        // The table name comes from SYSTEMS; the benchmark's own workload names a plain one.
        sqlite3_finalize(readings_);
        readings_ = prepare("SELECT TimeDate, Data from " + table +
                            " WHERE (SensorType=? AND TrainNumber=?) AND (TimeDate>=? AND TimeDate<?)"
                            " ORDER By TIMEDATE ASC");
        readingsTable_ = table;
    }
    char from[32], to[32];
    const int nf = formatMs(fromMs, from);
    const int nt = formatMs(toMs, to);
    sqlite3_bind_int(readings_, 1, sensorType);
    sqlite3_bind_int(readings_, 2, trainNumber);
    sqlite3_bind_text(readings_, 3, from, nf, SQLITE_TRANSIENT);
    sqlite3_bind_text(readings_, 4, to, nt, SQLITE_TRANSIENT);
    int rc;
    while ((rc = sqlite3_step(readings_)) == SQLITE_ROW) {
        BareReading r;
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(readings_, 0));
        if (!parseMs(text, sqlite3_column_bytes(readings_, 0), r.ms))
            throw std::runtime_error(std::string("bare source: unreadable time stamp ") + (text ? text : ""));
        r.isNull = sqlite3_column_type(readings_, 1) == SQLITE_NULL;
        r.value = r.isNull ? 0.0 : sqlite3_column_double(readings_, 1);
        out.push_back(r);
    }
    sqlite3_reset(readings_);
    if (rc != SQLITE_DONE) throw std::runtime_error(std::string("bare source: ") + sqlite3_errmsg(db_));
}

bool BareSource::parseMs(const char* t, int n, std::int64_t& ms) {
    // yyyy-MM-dd[ HH:mm[:ss[.zzz]]]
    int y, mo, d, h = 0, mi = 0, s = 0, z = 0;
    if (!t || n < 10 || !digits(t, 4, y) || t[4] != '-' || !digits(t + 5, 2, mo) || t[7] != '-' ||
        !digits(t + 8, 2, d))
        return false;
    if (n >= 16 && (!digits(t + 11, 2, h) || !digits(t + 14, 2, mi))) return false;
    if (n >= 19 && !digits(t + 17, 2, s)) return false;
    if (n >= 23 && !digits(t + 20, 3, z)) return false;
    ms = ((daysFromCivil(y, unsigned(mo), unsigned(d)) * 24 + h) * 60 + mi) * 60000 + s * 1000 + z;
    return true;
}

int BareSource::formatMs(std::int64_t ms, char out[32]) {
    std::int64_t days = ms / 86400000;
    std::int64_t rest = ms % 86400000;
    if (rest < 0) {
        rest += 86400000;
        --days;
    }
    int y, m, d;
    civilFromDays(days, y, m, d);
    const int h = int(rest / 3600000), mi = int(rest / 60000 % 60), s = int(rest / 1000 % 60),
              z = int(rest % 1000);
    return std::snprintf(out, 32, "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, m, d, h, mi, s, z);
}

} // namespace bench
