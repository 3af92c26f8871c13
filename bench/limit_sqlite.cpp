// bench_limit_sqlite: the import's per-slot protocol as a bare loop on the sqlite3 C API, the
// limit the import is measured against. The target statements are the facility's own procedure
// bodies (ado_procedures), prepared once and bound by name, exactly what the database layer runs.
//
//   bench_limit_sqlite --source VIRev.sqlite --target FACILITY.sqlite --site ID --collector N
//                      --from "yyyy-MM-dd HH:mm" --to "yyyy-MM-dd HH:mm" [--backfill] [--test]
//
// Prints one line: limit variables=.. slots=.. readings=.. writes=.. refused=.. ... seconds=..
#include "bench/BareLimitLoop.h"
#include "bench/BareSource.h"
#include "bench/BareTarget.h"

#include <sqlite3.h>

#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

using namespace bench;

namespace {

class SqliteTarget : public BareTarget {
public:
    explicit SqliteTarget(const std::string& file) {
        if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr) !=
            SQLITE_OK)
            throw std::runtime_error("bare target: cannot open " + file);
        exec("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON");
        alive_ = prepare("select count(id) from approvalini");
        begin_ = prepare("BEGIN");
        commit_ = prepare("COMMIT");
    }
    ~SqliteTarget() override {
        for (auto& [suffix, pair] : procedures_) {
            sqlite3_finalize(pair.seek);
            sqlite3_finalize(pair.write);
        }
        for (sqlite3_stmt* s : {alive_, begin_, commit_})
            sqlite3_finalize(s);
        sqlite3_close_v2(db_);
    }

    std::vector<BareVariable> variables(int collectorId) override {
        sqlite3_stmt* s =
            prepare("SELECT varid, scadatag, vartype, SOURCE_CNN_APPROVAL, decplaces FROM VarDesc "
                    "WHERE G2_Interface_ID = ? AND G2_Enabled = -1 ORDER BY varid");
        sqlite3_bind_int(s, 1, collectorId);
        std::vector<BareVariable> out;
        while (sqlite3_step(s) == SQLITE_ROW) {
            BareVariable v;
            v.varid = sqlite3_column_int(s, 0);
            v.tag = text(s, 1);
            v.varType = text(s, 2);
            v.approval = sqlite3_column_int(s, 3);
            v.decimals = sqlite3_column_int(s, 4);
            out.push_back(v);
        }
        sqlite3_finalize(s);
        return out;
    }

    bool lockDate(std::int64_t& ms) override {
        sqlite3_stmt* s = prepare("Select curvalue from Settings Where Setting = 'LockDate'");
        bool found = false;
        if (sqlite3_step(s) == SQLITE_ROW) {
            const std::string t = text(s, 0);
            found = BareSource::parseMs(t.c_str(), int(t.size()), ms);
        }
        sqlite3_finalize(s);
        return found;
    }

    void selectType(const std::string& varType) override {
        // DATADDH -> H: the table's suffix names its procedures.
        const std::string suffix = suffixOf(varType);
        auto it = procedures_.find(suffix);
        if (it == procedures_.end()) {
            Procedures p{procedure("SEEKFDD" + suffix), procedure("WRITEDD" + suffix)};
            it = procedures_.emplace(suffix, p).first;
        }
        current_ = &it->second;
    }

    void alive() override {
        ++roundTrips_;
        if (sqlite3_step(alive_) != SQLITE_ROW) fail("approvalini");
        (void)sqlite3_column_int64(alive_, 0);
        sqlite3_reset(alive_);
    }

    bool seek(int varid, std::int64_t slotStartMs, std::int64_t slotEndMs, int& status) override {
        sqlite3_stmt* s = current_->seek;
        char start[32], end[32];
        const int ns = BareSource::formatMs(slotStartMs, start);
        const int ne = BareSource::formatMs(slotEndMs, end);
        bindInt(s, ":varid_2", varid);
        bindText(s, ":datestamp_1", start, ns);
        bindText(s, ":slotstarttime", start, ns);
        bindText(s, ":slotendtime", end, ne);
        ++roundTrips_;
        bool found = false;
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            // Every output column, as the layer reads them into the command's parameters.
            const int n = sqlite3_data_count(s);
            for (int c = 0; c < n; ++c)
                (void)sqlite3_column_text(s, c);
            found = sqlite3_column_type(s, 2) != SQLITE_NULL;
            status = sqlite3_column_int(s, 6);
        }
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        if (rc != SQLITE_DONE) fail("seek");
        return found;
    }

    void write(int varid, std::int64_t slotStartMs, std::int64_t slotEndMs, double value,
               int status) override {
        sqlite3_stmt* s = current_->write;
        char start[32], end[32];
        const int ns = BareSource::formatMs(slotStartMs, start);
        const int ne = BareSource::formatMs(slotEndMs, end);
        bindText(s, ":date", start, ns);
        bindInt(s, ":varid", varid);
        const int vi = sqlite3_bind_parameter_index(s, ":value");
        if (vi > 0) sqlite3_bind_double(s, vi, value);
        // The import stores the number's text beside it.
        char text[32];
        const int nt = std::snprintf(text, sizeof text, "%.15g", value);
        bindText(s, ":textvalue", text, nt);
        bindText(s, ":audituser", "SENVISTA", 8);
        bindText(s, ":slotstarttime", start, ns);
        bindText(s, ":slotendtime", end, ne);
        bindInt(s, ":status", status);
        ++roundTrips_;
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        sqlite3_clear_bindings(s);
        if (rc != SQLITE_DONE) fail("write");
    }

    void begin() override { step(begin_); }
    void commit() override { step(commit_); }

private:
    struct Procedures {
        sqlite3_stmt* seek = nullptr;
        sqlite3_stmt* write = nullptr;
    };

    static std::string text(sqlite3_stmt* s, int c) {
        const unsigned char* t = sqlite3_column_text(s, c);
        return t ? reinterpret_cast<const char*>(t) : std::string();
    }

    static std::string suffixOf(const std::string& varType) {
        static const std::map<int, std::string> bySlotMinutes{{240, "4"}, {60, "H"}, {30, "3"},
                                                              {15, "F"},  {5, "5"},  {1, "1"}};
        const auto it = bySlotMinutes.find(BareLimitLoop::slotMinutes(varType));
        if (it == bySlotMinutes.end())
            throw std::runtime_error("bare target: no interval table for " + varType);
        return it->second;
    }

    [[noreturn]] void fail(const char* what) const {
        throw std::runtime_error(std::string("bare target: ") + what + ": " + sqlite3_errmsg(db_));
    }

    void exec(const char* sql) {
        if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) fail(sql);
    }

    sqlite3_stmt* prepare(const std::string& sql) {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v3(db_, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK)
            fail(sql.c_str());
        return s;
    }

    // The body the database layer runs for a procedure.
    sqlite3_stmt* procedure(const std::string& name) {
        sqlite3_stmt* lookup = prepare("SELECT body FROM ado_procedures WHERE name = ?1");
        sqlite3_bind_text(lookup, 1, name.c_str(), -1, SQLITE_TRANSIENT);
        std::string body;
        if (sqlite3_step(lookup) == SQLITE_ROW) body = text(lookup, 0);
        sqlite3_finalize(lookup);
        if (body.empty()) throw std::runtime_error("bare target: no procedure " + name);
        sqlite3_stmt* s = prepare(body);
        return s;
    }

    void step(sqlite3_stmt* s) {
        ++roundTrips_;
        const int rc = sqlite3_step(s);
        sqlite3_reset(s);
        if (rc != SQLITE_DONE) fail("transaction");
    }

    static void bindInt(sqlite3_stmt* s, const char* name, int v) {
        const int i = sqlite3_bind_parameter_index(s, name);
        if (i > 0) sqlite3_bind_int(s, i, v);
    }
    static void bindText(sqlite3_stmt* s, const char* name, const char* t, int n) {
        const int i = sqlite3_bind_parameter_index(s, name);
        if (i > 0) sqlite3_bind_text(s, i, t, n, SQLITE_TRANSIENT);
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* alive_ = nullptr;
    sqlite3_stmt* begin_ = nullptr;
    sqlite3_stmt* commit_ = nullptr;
    std::map<std::string, Procedures> procedures_;
    Procedures* current_ = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    const char* sourceFile = BareLimitLoop::argument(argc, argv, "--source");
    const char* targetFile = BareLimitLoop::argument(argc, argv, "--target");
    BareLimitLoop::Options o;
    std::string error;
    if (!sourceFile || !targetFile || !BareLimitLoop::parseOptions(argc, argv, o, error)) {
        std::fprintf(stderr,
                     "bench_limit_sqlite: %s\nusage: bench_limit_sqlite --source FILE --target FILE "
                     "[--site ID] [--collector N] --from DATE --to DATE [--backfill] [--test]\n",
                     error.empty() ? "--source and --target are required" : error.c_str());
        return 2;
    }
    try {
        BareSource source(sourceFile);
        SqliteTarget target(targetFile);
        BareLimitLoop::print(BareLimitLoop::run(source, target, o));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_limit_sqlite: %s\n", e.what());
        return 1;
    }
}
