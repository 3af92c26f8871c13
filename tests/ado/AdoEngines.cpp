#include "tests/ado/AdoEngines.h"

#include "tests/support/PgCluster.h"

#include <sqlite3.h>

#include <stdexcept>

namespace {

// READINGS has a key assigned by the database; RUNS has none, so updates find rows by value.
// DATADDH and the procedures follow the interval procedures' parameter lists.
const char* const kSqliteSchema = R"SQL(
CREATE TABLE READINGS (ID INTEGER PRIMARY KEY AUTOINCREMENT, NAME VARCHAR(50), VALUE REAL, COUNTER INTEGER,
                       STAMP DATETIME, NOTE TEXT, DATA BLOB);
CREATE TABLE RUNS (INTERFACE_ID INTEGER, FILENAME VARCHAR(50), LASTRUN DATETIME, AUDITUSER VARCHAR(50));
CREATE TABLE "USER" (USERNAME VARCHAR(50), PASSWORD VARCHAR(50));
CREATE TABLE DATADDH (VARID INTEGER, SLOTSTARTTIME DATETIME, DATESTAMP DATETIME, CURVALUE REAL, TEXTVALUE VARCHAR(255),
                      AUDITUSER VARCHAR(50), AUDITTIMESTAMP DATETIME, STATUS INTEGER, FORCED INTEGER,
                      PRIMARY KEY (VARID, SLOTSTARTTIME));
CREATE TABLE ado_procedures (name TEXT PRIMARY KEY COLLATE NOCASE, body TEXT NOT NULL);
INSERT INTO ado_procedures VALUES ('WRITEDDH',
 'DELETE FROM DATADDH WHERE VARID = :varid AND SLOTSTARTTIME >= :slotstarttime AND SLOTSTARTTIME < :slotendtime;
  INSERT INTO DATADDH (VARID, SLOTSTARTTIME, DATESTAMP, CURVALUE, TEXTVALUE, AUDITUSER, AUDITTIMESTAMP, STATUS, FORCED)
  VALUES (:varid, :slotstarttime, :date, :value, :textvalue, :audituser, :date, :status, 0);');
INSERT INTO ado_procedures VALUES ('SEEKFDDH',
 'SELECT CURVALUE AS curvalue_3, TEXTVALUE AS textvalue_4, VARID AS varid_5, AUDITUSER AS audituser,
         AUDITTIMESTAMP AS audittimestamp, DATESTAMP AS datestamp_out, STATUS AS status, FORCED AS forced
  FROM DATADDH WHERE VARID = :varid_2 AND SLOTSTARTTIME >= :slotstarttime AND SLOTSTARTTIME < :slotendtime
  ORDER BY SLOTSTARTTIME LIMIT 1');
INSERT INTO ado_procedures VALUES ('GETSERVERTIME',
 'SELECT strftime(''%Y-%m-%d %H:%M:%f'', ''now'', ''localtime'') AS date_out');
)SQL";

const char* const kPgSchema = R"SQL(
CREATE TABLE readings (id serial PRIMARY KEY, name varchar(50), value double precision, counter bigint,
                       stamp timestamp(3), note text, data bytea);
CREATE TABLE runs (interface_id integer, filename varchar(50), lastrun timestamp(3), audituser varchar(50));
CREATE TABLE "USER" (username varchar(50), password varchar(50));
CREATE TABLE dataddh (varid integer, slotstarttime timestamp(3), datestamp timestamp(3), curvalue double precision,
                      textvalue varchar(255), audituser varchar(50), audittimestamp timestamp(3), status integer,
                      forced integer, PRIMARY KEY (varid, slotstarttime));
CREATE FUNCTION writeddh(date timestamp, varid integer, value double precision, textvalue varchar, audituser varchar,
                         slotstarttime timestamp, slotendtime timestamp, status integer)
RETURNS void LANGUAGE sql AS $$
  DELETE FROM dataddh d WHERE d.varid = writeddh.varid AND d.slotstarttime >= writeddh.slotstarttime
    AND d.slotstarttime < writeddh.slotendtime;
  INSERT INTO dataddh (varid, slotstarttime, datestamp, curvalue, textvalue, audituser, audittimestamp, status, forced)
  VALUES (writeddh.varid, writeddh.slotstarttime, writeddh.date, writeddh.value, writeddh.textvalue,
          writeddh.audituser, writeddh.date, writeddh.status, 0);
$$;
CREATE FUNCTION seekfddh(datestamp_1 timestamp, varid_2 integer, OUT curvalue_3 double precision,
                         OUT textvalue_4 varchar, OUT varid_5 integer, OUT audituser varchar,
                         OUT audittimestamp timestamp, OUT datestamp_out timestamp, slotstarttime timestamp,
                         slotendtime timestamp, OUT status integer, OUT forced integer)
LANGUAGE sql STABLE AS $$
  SELECT d.curvalue, d.textvalue, d.varid, d.audituser, d.audittimestamp, d.datestamp, d.status, d.forced
  FROM dataddh d WHERE d.varid = seekfddh.varid_2 AND d.slotstarttime >= seekfddh.slotstarttime
    AND d.slotstarttime < seekfddh.slotendtime ORDER BY d.slotstarttime LIMIT 1
$$;
CREATE FUNCTION getservertime(OUT date_out timestamp) LANGUAGE sql STABLE AS $$ SELECT LOCALTIMESTAMP(3) $$;
)SQL";

int counter = 0;

} // namespace

QString engineName(AdoEngine e) {
    switch (e) {
    case AdoEngine::Sqlite:
        return "Sqlite";
    case AdoEngine::Postgres:
        return "Postgres";
    case AdoEngine::OdbcPostgres:
        return "OdbcPostgres";
    case AdoEngine::OdbcSqlite:
        return "OdbcSqlite";
    }
    return {};
}

bool engineHasProcedures(AdoEngine e) {
    return e != AdoEngine::OdbcSqlite;
}

bool engineIsPostgres(AdoEngine e) {
    return e == AdoEngine::Postgres || e == AdoEngine::OdbcPostgres;
}

AdoTestDatabase::AdoTestDatabase(AdoEngine engine) : engine_(engine) {
    if (engineIsPostgres(engine)) {
        PgCluster& pg = PgCluster::shared();
        pg.start();
        static bool roleMade = false;
        if (!roleMade) {
            pg.createRole("qtxdba", "secret");
            roleMade = true;
        }
        pgDatabase_ = QStringLiteral("adotest_%1").arg(++counter);
        pg.createDatabase(pgDatabase_);
        pg.exec(pgDatabase_, kPgSchema);
        if (engine == AdoEngine::Postgres)
            connectionString_ = QStringLiteral("Provider=SQLNCLI;Persist Security Info=False;Data Source=%1;"
                                               "Initial Catalog=%2;User ID=QTXDBA;Password=secret;"
                                               "OLE DB Services =-2;Application Name=48213;")
                                    .arg(pg.connectionDataSource(), pgDatabase_.toUpper());
        else
            connectionString_ =
                QStringLiteral("Provider=ODBC;Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%1;"
                               "Database=%2;UID=qtxdba;PWD=secret")
                    .arg(pg.port())
                    .arg(pgDatabase_);
    } else {
        dir_ = std::make_unique<TempDir>();
        sqliteFile_ = dir_->file("ADOTEST.sqlite");
        exec(kSqliteSchema);
        if (engine == AdoEngine::Sqlite)
            connectionString_ =
                QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=False;Data Source=sqlite:%1;"
                               "Initial Catalog=ADOTEST;User ID=QTXDBA;Password=secret")
                    .arg(dir_->path());
        else
            connectionString_ = QStringLiteral("Provider=ODBC;Driver=SQLite3;Database=%1").arg(sqliteFile_);
    }
}

AdoTestDatabase::~AdoTestDatabase() = default;

void AdoTestDatabase::exec(const QString& sql) const {
    if (engineIsPostgres(engine_)) {
        PgCluster::shared().exec(pgDatabase_, sql);
        return;
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(sqliteFile_.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) != SQLITE_OK)
        throw std::runtime_error("cannot create the SQLite test database");
    char* err = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err);
    const std::string msg = err ? err : "";
    sqlite3_free(err);
    sqlite3_close(db);
    if (rc != SQLITE_OK) throw std::runtime_error("SQLite setup failed: " + msg);
}
