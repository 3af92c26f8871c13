// Per-call cost of the database layer for the import's hot pair (write a slot, seek it back),
// against the same pair written directly on the bare sqlite3 and libpq APIs. One run prints both
// and their ratio, engine by engine. Usage: bench_ado [pairs-per-side] [sqlite3|libpq] (default:
// 2000 pairs, both engines). bench_ado rss [rows] reports the peak memory (VmHWM) of reading a
// readings query of that many rows (default 500000) forward-only, as the source reader does.
#include "tests/ado/AdoEngines.h"

#include "CommonFiles/foundation/OleDate.h"
#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "tests/support/PgCluster.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <stdexcept>
#include <vector>

using namespace ado;
using Clock = std::chrono::steady_clock;

namespace {

const double kBase = OleDate::fromParts(2024, 1, 1);

// The layer, used as the collector's interval access does: fresh commands for every value.
struct LayerPair {
    Connection cn;
    explicit LayerPair(const QString& cs) { cn.Open(cs); }
    void run(int i) {
        const double slot = OleDate::addMinutes(kBase, 60.0 * i);
        const double end = OleDate::addMinutes(slot, 60);
        Command w;
        w.setActiveConnection(cn);
        w.setCommandText("WRITEDDH");
        w.setCommandType(adCmdStoredProc);
        w.appendParameter(w.CreateParameter("date", adDate, adParamInput, 0, Variant::fromDate(slot)));
        w.appendParameter(w.CreateParameter("varid", adInteger, adParamInput, 0, 7));
        w.appendParameter(w.CreateParameter("value", adDouble, adParamInput, 0, i * 0.5));
        w.appendParameter(w.CreateParameter("textvalue", adVarWChar, adParamInput, 255, Variant::null()));
        w.appendParameter(w.CreateParameter("audituser", adVarChar, adParamInput, 50, "QTXDBA"));
        w.appendParameter(
            w.CreateParameter("slotstarttime", adDate, adParamInput, 0, Variant::fromDate(slot)));
        w.appendParameter(w.CreateParameter("slotendtime", adDate, adParamInput, 0, Variant::fromDate(end)));
        w.appendParameter(w.CreateParameter("status", adInteger, adParamInput, 0, 0));
        w.Execute();

        Command s;
        s.setActiveConnection(cn);
        s.setCommandText("SEEKFDDH");
        s.setCommandType(adCmdStoredProc);
        s.appendParameter(s.CreateParameter("datestamp_1", adDate, adParamInput, 0, Variant::fromDate(slot)));
        s.appendParameter(s.CreateParameter("varid_2", adInteger, adParamInput, 0, 7));
        s.appendParameter(s.CreateParameter("curvalue_3", adDouble, adParamOutput));
        s.appendParameter(s.CreateParameter("textvalue_4", adVarWChar, adParamOutput, 255));
        s.appendParameter(s.CreateParameter("varid_5", adInteger, adParamOutput));
        s.appendParameter(s.CreateParameter("audituser", adVarChar, adParamOutput, 50));
        s.appendParameter(s.CreateParameter("audittimestamp", adDate, adParamOutput));
        s.appendParameter(s.CreateParameter("datestamp_out", adDate, adParamOutput));
        s.appendParameter(
            s.CreateParameter("slotstarttime", adDate, adParamInput, 0, Variant::fromDate(slot)));
        s.appendParameter(s.CreateParameter("slotendtime", adDate, adParamInput, 0, Variant::fromDate(end)));
        s.appendParameter(s.CreateParameter("status", adInteger, adParamOutput));
        s.appendParameter(s.CreateParameter("forced", adInteger, adParamOutput));
        s.Execute();
        if (s.Parameters("varid_5").Value().isNull())
            throw std::runtime_error("layer: the written slot was not found");
    }
};

// What code on the bare APIs would write for a date: the same text, straight into a buffer.
struct DateText {
    char text[32];
    explicit DateText(double d) {
        int y, mo, dd, h, mi, s, ms;
        OleDate::toParts(d, y, mo, dd, h, mi, s, ms);
        std::snprintf(text, sizeof(text), "%04d-%02d-%02d %02d:%02d:%02d.%03d", y, mo, dd, h, mi, s, ms);
    }
    const char* constData() const { return text; }
};

// The same statements on sqlite3 directly: prepared once, dates bound as the same texts.
struct BareSqlite {
    sqlite3* db = nullptr;
    sqlite3_stmt *save = nullptr, *del = nullptr, *ins = nullptr, *rel = nullptr, *seek = nullptr;
    explicit BareSqlite(const QString& file) {
        if (sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("bare sqlite: open");
        sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON",
                     nullptr, nullptr, nullptr);
        prep("SAVEPOINT p", &save);
        prep("DELETE FROM DATADDH WHERE VARID = ?1 AND SLOTSTARTTIME >= ?2 AND SLOTSTARTTIME < ?3", &del);
        prep("INSERT INTO DATADDH (VARID, SLOTSTARTTIME, DATESTAMP, CURVALUE, TEXTVALUE, AUDITUSER, "
             "AUDITTIMESTAMP, "
             "STATUS, FORCED) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?3, ?7, 0)",
             &ins);
        prep("RELEASE p", &rel);
        prep("SELECT CURVALUE, TEXTVALUE, VARID, AUDITUSER, AUDITTIMESTAMP, DATESTAMP, STATUS, FORCED FROM "
             "DATADDH "
             "WHERE VARID = ?1 AND SLOTSTARTTIME >= ?2 AND SLOTSTARTTIME < ?3 ORDER BY SLOTSTARTTIME LIMIT 1",
             &seek);
    }
    ~BareSqlite() {
        for (sqlite3_stmt* s : {save, del, ins, rel, seek})
            sqlite3_finalize(s);
        sqlite3_close(db);
    }
    void prep(const char* sql, sqlite3_stmt** out) {
        if (sqlite3_prepare_v2(db, sql, -1, out, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    static void step(sqlite3_stmt* s) {
        while (sqlite3_step(s) == SQLITE_ROW) {
        }
        sqlite3_reset(s);
    }
    void run(int i) {
        const double slot = OleDate::addMinutes(kBase, 60.0 * i);
        const DateText start(slot);
        const DateText end(OleDate::addMinutes(slot, 60));
        step(save);
        sqlite3_bind_int(del, 1, 7);
        sqlite3_bind_text(del, 2, start.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(del, 3, end.constData(), -1, SQLITE_TRANSIENT);
        step(del);
        sqlite3_bind_int(ins, 1, 7);
        sqlite3_bind_text(ins, 2, start.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 3, start.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_double(ins, 4, i * 0.5);
        sqlite3_bind_null(ins, 5);
        sqlite3_bind_text(ins, 6, "QTXDBA", -1, SQLITE_TRANSIENT);
        sqlite3_bind_int(ins, 7, 0);
        step(ins);
        step(rel);
        sqlite3_bind_int(seek, 1, 7);
        sqlite3_bind_text(seek, 2, start.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(seek, 3, end.constData(), -1, SQLITE_TRANSIENT);
        bool found = false;
        while (sqlite3_step(seek) == SQLITE_ROW) {
            found = sqlite3_column_type(seek, 2) != SQLITE_NULL;
            for (int c = 0; c < 8; ++c)
                (void)sqlite3_column_text(seek, c);
        }
        sqlite3_reset(seek);
        if (!found) throw std::runtime_error("bare sqlite: the written slot was not found");
    }
};

// The same function calls on libpq directly: prepared once, parameters as texts.
struct BarePg {
    PGconn* conn = nullptr;
    explicit BarePg(const QString& db) {
        const QByteArray info = QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=qtxdba password=secret")
                                    .arg(PgCluster::shared().port())
                                    .arg(db)
                                    .toUtf8();
        conn = PQconnectdb(info.constData());
        if (PQstatus(conn) != CONNECTION_OK) throw std::runtime_error(PQerrorMessage(conn));
        const Oid wt[] = {1114, 23, 701, 1043, 1043, 1114, 1114, 23};
        PQclear(PQprepare(conn, "w", "SELECT * FROM writeddh($1,$2,$3,$4,$5,$6,$7,$8)", 8, wt));
        const Oid st[] = {1114, 23, 1114, 1114};
        PQclear(PQprepare(conn, "s", "SELECT * FROM seekfddh($1,$2,$3,$4)", 4, st));
    }
    ~BarePg() { PQfinish(conn); }
    void run(int i) {
        const double slot = OleDate::addMinutes(kBase, 60.0 * i);
        const DateText start(slot);
        const DateText end(OleDate::addMinutes(slot, 60));
        char value[32];
        std::snprintf(value, sizeof(value), "%.17g", i * 0.5);
        const char* wv[] = {start.constData(), "7", value, nullptr, "QTXDBA", start.constData(),
                            end.constData(),   "0"};
        PGresult* r = PQexecPrepared(conn, "w", 8, wv, nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_TUPLES_OK) throw std::runtime_error(PQresultErrorMessage(r));
        PQclear(r);
        const char* sv[] = {start.constData(), "7", start.constData(), end.constData()};
        r = PQexecPrepared(conn, "s", 4, sv, nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_TUPLES_OK || PQntuples(r) != 1 || PQgetisnull(r, 0, 2))
            throw std::runtime_error("bare libpq: the written slot was not found");
        for (int c = 0; c < PQnfields(r); ++c)
            (void)PQgetvalue(r, 0, c);
        PQclear(r);
    }
};

double cpuMicros() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Small blocks, the two sides alternating, so a burst of load from elsewhere on the machine hits
// one block pair rather than one side; the figures are medians over the blocks. Wall time is
// what an import waits; client CPU shows the layer's own work without the engine's.
void compare(const char* engine, int pairs, const std::function<void(int)>& layer,
             const std::function<void(int)>& bare) {
    const int block = 25;
    const int blocks = std::max(4, pairs / block);
    std::vector<double> wallLayer, wallBare, cpuLayer, cpuBare, ratio;
    int offset = 0;
    for (int b = -2; b < blocks; ++b) { // two warm-up blocks: caches, pages, plans
        double wall[2], cpu[2];
        for (int side = 0; side < 2; ++side) {
            const auto& f = side == 0 ? layer : bare;
            const double c0 = cpuMicros();
            const auto t0 = Clock::now();
            for (int i = 0; i < block; ++i)
                f(offset + i);
            wall[side] = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / block;
            cpu[side] = (cpuMicros() - c0) / block;
            offset += block;
        }
        if (b < 0) continue;
        wallLayer.push_back(wall[0]);
        wallBare.push_back(wall[1]);
        cpuLayer.push_back(cpu[0]);
        cpuBare.push_back(cpu[1]);
        ratio.push_back(wall[0] / wall[1]);
    }
    const double r = median(ratio);
    std::printf("%-8s wall: layer %8.2f us/pair, bare %8.2f us/pair, layer/bare %.3f (+%.1f%%) | "
                "client cpu: layer %7.2f, bare %7.2f us/pair (%d pairs a side)\n",
                engine, median(wallLayer), median(wallBare), r, (r - 1.0) * 100.0, median(cpuLayer),
                median(cpuBare), blocks * block);
}

// The process's peak resident memory so far, in MB.
double peakMb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
    return -1;
}

// Reads a TimeDate/Data query of `rows` readings into two arrays, as the source reader keeps them,
// and prints how far the peak memory grew over that of the process before the query.
int readingsRss(int rows) {
    AdoTestDatabase db(AdoEngine::Sqlite);
    db.exec("CREATE TABLE bigreadings (TimeDate DATETIME NOT NULL, Data REAL); "
            "INSERT INTO bigreadings (TimeDate, Data) WITH RECURSIVE c(i) AS (SELECT 0 UNION ALL SELECT i + 1 "
            "FROM c WHERE i < " +
            QString::number(rows - 1) +
            ") SELECT strftime('%Y-%m-%d %H:%M:%f', '2024-01-01', '+' || i || ' minutes'), i * 0.25 FROM c; "
            "CREATE INDEX bigreadings_time ON bigreadings (TimeDate)");
    Connection cn;
    cn.Open(db.connectionString());
    const double before = peakMb();
    std::vector<double> times, values;
    Recordset rs;
    rs.Open("SELECT TimeDate, Data FROM bigreadings WHERE TimeDate >= '2024-01-01' ORDER BY TimeDate", cn,
            adOpenForwardOnly, adLockReadOnly);
    while (!rs.Eof()) {
        times.push_back(rs.Fields(0).toDate());
        values.push_back(rs.Fields(1).toDouble());
        rs.MoveNext();
    }
    rs.Close();
    const double after = peakMb();
    std::printf("rss: %zu readings read forward-only; VmHWM %.1f MB before the query, %.1f MB after "
                "(+%.1f MB; the caller's two arrays hold %.1f MB)\n",
                times.size(), before, after, after - before, times.size() * 16.0 / (1024.0 * 1024.0));
    return times.size() == size_t(rows) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "rss") return readingsRss(argc > 2 ? std::max(1, std::atoi(argv[2])) : 500000);
    const int pairs = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
    const QString only = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    try {
        if (only.isEmpty() || only == "sqlite3") {
            // One database a side: a write through one connection would make the other re-read
            // its cached pages, which is not the cost being measured.
            AdoTestDatabase layerDb(AdoEngine::Sqlite), bareDb(AdoEngine::Sqlite);
            LayerPair layer(layerDb.connectionString());
            BareSqlite bare(bareDb.sqliteFolder() + "/ADOTEST.sqlite");
            compare(
                "sqlite3", pairs, [&](int i) { layer.run(i); }, [&](int i) { bare.run(i); });
        }
        if (only.isEmpty() || only == "libpq") {
            AdoTestDatabase layerDb(AdoEngine::Postgres), bareDb(AdoEngine::Postgres);
            LayerPair layer(layerDb.connectionString());
            BarePg bare(bareDb.pgDatabase());
            compare(
                "libpq", pairs / 2, [&](int i) { layer.run(i); }, [&](int i) { bare.run(i); });
        }
        PgCluster::shared().stop();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_ado: %s\n", e.what());
        return 1;
    }
    return 0;
}
