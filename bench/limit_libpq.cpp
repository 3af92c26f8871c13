// bench_limit_libpq: the import's per-slot protocol as a bare loop, the target on PostgreSQL
// through libpq (the source stays the SQLite file, as for the import measured beside it). The
// target statements are the calls the database layer sends: the liveness probe and the
// data-table functions with their input parameters, each prepared once and run with
// PQexecPrepared, parameters as texts.
//
//   bench_limit_libpq --source VIRev.sqlite --pg "host=... port=... dbname=... user=... password=..."
//                     --from "yyyy-MM-dd HH:mm" --to "yyyy-MM-dd HH:mm" [--backfill] [--test]
#include "bench/BareLimitLoop.h"
#include "bench/BareSource.h"
#include "bench/BareTarget.h"

#include <libpq-fe.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>
#include <string>

using namespace bench;

namespace {

constexpr Oid kInt4 = 23, kFloat8 = 701, kVarchar = 1043, kTimestamp = 1114;

class PgTarget : public BareTarget {
public:
    explicit PgTarget(const std::string& conninfo) : conn_(PQconnectdb(conninfo.c_str())) {
        if (PQstatus(conn_) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(conn_));
        prepare("alive", "select count(id) from approvalini", {});
    }
    ~PgTarget() override { PQfinish(conn_); }

    std::vector<BareVariable> variables(int collectorId) override {
        const std::string id = std::to_string(collectorId);
        const char* values[] = {id.c_str()};
        PGresult* r =
            PQexecParams(conn_,
                         "SELECT varid, scadatag, vartype, SOURCE_CNN_APPROVAL, decplaces FROM VarDesc "
                         "WHERE G2_Interface_ID = $1::int AND G2_Enabled = -1 ORDER BY varid",
                         1, nullptr, values, nullptr, nullptr, 0);
        check(r, PGRES_TUPLES_OK);
        std::vector<BareVariable> out;
        for (int i = 0; i < PQntuples(r); ++i) {
            BareVariable v;
            v.varid = std::atoi(PQgetvalue(r, i, 0));
            v.tag = PQgetvalue(r, i, 1);
            v.varType = PQgetvalue(r, i, 2);
            v.approval = std::atoi(PQgetvalue(r, i, 3));
            v.decimals = std::atoi(PQgetvalue(r, i, 4));
            out.push_back(v);
        }
        PQclear(r);
        return out;
    }

    bool lockDate(std::int64_t& ms) override {
        PGresult* r = PQexec(conn_, "Select curvalue from Settings Where Setting = 'LockDate'");
        check(r, PGRES_TUPLES_OK);
        const bool found =
            PQntuples(r) == 1 && BareSource::parseMs(PQgetvalue(r, 0, 0), PQgetlength(r, 0, 0), ms);
        PQclear(r);
        return found;
    }

    void selectType(const std::string& varType) override {
        static const std::map<int, std::string> bySlotMinutes{{240, "4"}, {60, "h"}, {30, "3"},
                                                              {15, "f"},  {5, "5"},  {1, "1"}};
        const auto it = bySlotMinutes.find(BareLimitLoop::slotMinutes(varType));
        if (it == bySlotMinutes.end())
            throw std::runtime_error("bare target: no interval table for " + varType);
        suffix_ = it->second;
        if (prepared_.count(suffix_)) return;
        prepare("seek" + suffix_, "SELECT * FROM seekfdd" + suffix_ + "($1,$2,$3,$4)",
                {kTimestamp, kInt4, kTimestamp, kTimestamp});
        prepare("write" + suffix_, "SELECT * FROM writedd" + suffix_ + "($1,$2,$3,$4,$5,$6,$7,$8)",
                {kTimestamp, kInt4, kFloat8, kVarchar, kVarchar, kTimestamp, kTimestamp, kInt4});
        prepared_[suffix_] = true;
    }

    void alive() override {
        PGresult* r = exec("alive", 0, nullptr);
        (void)PQgetvalue(r, 0, 0);
        PQclear(r);
    }

    bool seek(int varid, std::int64_t slotStartMs, std::int64_t slotEndMs, int& status) override {
        char start[32], end[32];
        BareSource::formatMs(slotStartMs, start);
        BareSource::formatMs(slotEndMs, end);
        const std::string id = std::to_string(varid);
        const char* values[] = {start, id.c_str(), start, end};
        PGresult* r = exec("seek" + suffix_, 4, values);
        bool found = false;
        if (PQntuples(r) == 1) {
            for (int c = 0; c < PQnfields(r); ++c)
                (void)PQgetvalue(r, 0, c);
            const int varidColumn = PQfnumber(r, "varid_5");
            found = varidColumn >= 0 && !PQgetisnull(r, 0, varidColumn);
            const int statusColumn = PQfnumber(r, "status");
            if (found && statusColumn >= 0) status = std::atoi(PQgetvalue(r, 0, statusColumn));
        }
        PQclear(r);
        return found;
    }

    void write(int varid, std::int64_t slotStartMs, std::int64_t slotEndMs, double value,
               int status) override {
        char start[32], end[32], number[32], text[32];
        BareSource::formatMs(slotStartMs, start);
        BareSource::formatMs(slotEndMs, end);
        std::snprintf(number, sizeof number, "%.17g", value);
        std::snprintf(text, sizeof text, "%.15g", value);
        const std::string id = std::to_string(varid);
        const std::string st = std::to_string(status);
        const char* values[] = {start, id.c_str(), number, text, "SENVISTA", start, end, st.c_str()};
        PQclear(exec("write" + suffix_, 8, values));
    }

    void begin() override { simple("BEGIN"); }
    void commit() override { simple("COMMIT"); }

private:
    void check(PGresult* r, ExecStatusType expected) {
        if (PQresultStatus(r) != expected) {
            const std::string message = PQresultErrorMessage(r);
            PQclear(r);
            throw std::runtime_error("bare target: " + message);
        }
    }

    void prepare(const std::string& name, const std::string& sql, const std::vector<Oid>& types) {
        ++roundTrips_;
        PGresult* r = PQprepare(conn_, name.c_str(), sql.c_str(), int(types.size()), types.data());
        check(r, PGRES_COMMAND_OK);
        PQclear(r);
    }

    PGresult* exec(const std::string& name, int n, const char* const* values) {
        ++roundTrips_;
        PGresult* r = PQexecPrepared(conn_, name.c_str(), n, values, nullptr, nullptr, 0);
        check(r, PGRES_TUPLES_OK);
        return r;
    }

    void simple(const char* sql) {
        ++roundTrips_;
        PGresult* r = PQexec(conn_, sql);
        check(r, PGRES_COMMAND_OK);
        PQclear(r);
    }

    PGconn* conn_;
    std::string suffix_;
    std::map<std::string, bool> prepared_;
};

} // namespace

int main(int argc, char** argv) {
    const char* sourceFile = BareLimitLoop::argument(argc, argv, "--source");
    const char* conninfo = BareLimitLoop::argument(argc, argv, "--pg");
    BareLimitLoop::Options o;
    std::string error;
    if (!sourceFile || !conninfo || !BareLimitLoop::parseOptions(argc, argv, o, error)) {
        std::fprintf(stderr,
                     "bench_limit_libpq: %s\nusage: bench_limit_libpq --source FILE --pg CONNINFO "
                     "[--site ID] [--collector N] --from DATE --to DATE [--backfill] [--test]\n",
                     error.empty() ? "--source and --pg are required" : error.c_str());
        return 2;
    }
    try {
        BareSource source(sourceFile);
        PgTarget target(conninfo);
        BareLimitLoop::print(BareLimitLoop::run(source, target, o));
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_limit_libpq: %s\n", e.what());
        return 1;
    }
}
