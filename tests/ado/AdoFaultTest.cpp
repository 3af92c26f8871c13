// Lost servers, timeouts and locked files: errors with a number and a description, never a hang.
#include "tests/ado/AdoEngines.h"

#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "tests/support/PgCluster.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ado;

namespace {

const bool pgRegistered = PgEnvironment::ensure();

class AdoServerLossTest : public ::testing::TestWithParam<AdoEngine> {};

TEST_P(AdoServerLossTest, StoppedServerGivesAnErrorAndANewOpenWorksAfterRestart) {
    AdoTestDatabase db(GetParam());
    Connection cn;
    cn.setConnectionTimeout(5);
    cn.Open(db.connectionString());
    EXPECT_EQ(cn.Execute("SELECT COUNT(*) FROM readings").Fields(0).toInt32(), 0);

    PgCluster::shared().stop();
    try {
        cn.Execute("SELECT COUNT(*) FROM readings");
        ADD_FAILURE() << "no error from a stopped server";
    } catch (const AdoError& e) {
        EXPECT_NE(e.number(), 0);
        EXPECT_FALSE(e.description().isEmpty());
        ASSERT_EQ(cn.Errors().size(), 1);
        EXPECT_EQ(cn.Errors()[0].number, e.number());
    }
    EXPECT_EQ(cn.State(), adStateClosed);
    cn.Close();

    // Opening while the server is down fails cleanly as well.
    EXPECT_THROW(cn.Open(), AdoError);
    EXPECT_EQ(cn.State(), adStateClosed);

    PgCluster::shared().start();
    cn.Open();
    EXPECT_EQ(cn.State(), adStateOpen);
    cn.Execute("INSERT INTO readings (name) VALUES ('after restart')");
    EXPECT_EQ(cn.Execute("SELECT COUNT(*) FROM readings").Fields(0).toInt32(), 1);
}

TEST_P(AdoServerLossTest, StatementBeyondTheCommandTimeoutFails) {
    AdoTestDatabase db(GetParam());
    Connection cn;
    cn.setCommandTimeout(1);
    cn.Open(db.connectionString());
    try {
        cn.Execute("SELECT pg_sleep(20)");
        ADD_FAILURE() << "the statement ran past its timeout";
    } catch (const AdoError& e) {
        EXPECT_TRUE(e.description().contains("57014") ||
                    e.description().contains("cancel", Qt::CaseInsensitive) ||
                    e.description().contains("timeout", Qt::CaseInsensitive))
            << e.description().toStdString();
    }
    EXPECT_EQ(cn.State(), adStateOpen);
    EXPECT_EQ(cn.Execute("SELECT 1").Fields(0).toInt32(), 1);
}

INSTANTIATE_TEST_SUITE_P(Servers, AdoServerLossTest,
                         ::testing::Values(AdoEngine::Postgres, AdoEngine::OdbcPostgres),
                         [](const ::testing::TestParamInfo<AdoEngine>& info) {
                             return engineName(info.param).toStdString();
                         });

// A server that accepts the connection but never answers: Open gives up after ConnectionTimeout.
TEST(AdoTimeouts, ConnectionTimeoutBoundsOpenOnASilentServer) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    Connection cn;
    cn.setConnectionTimeout(2);
    try {
        cn.Open(QStringLiteral("Provider=PostgreSQL;Data Source=127.0.0.1:%1;Initial Catalog=x;User ID=u")
                    .arg(ntohs(addr.sin_port)));
        ADD_FAILURE() << "opened";
    } catch (const AdoError& e) {
        EXPECT_EQ(e.number(), LayerError::ConnectionFailed);
        EXPECT_TRUE(e.description().contains("timeout", Qt::CaseInsensitive))
            << e.description().toStdString();
    }
    ::close(fd);
}

TEST(AdoTimeouts, SqliteWaitsForALockOnlyAsLongAsTheCommandTimeout) {
    AdoTestDatabase db(AdoEngine::Sqlite);
    Connection holder, writer;
    holder.Open(db.connectionString());
    writer.setCommandTimeout(1);
    writer.Open(db.connectionString());
    holder.BeginTrans();
    holder.Execute("INSERT INTO READINGS (NAME) VALUES ('held')");
    try {
        writer.Execute("INSERT INTO READINGS (NAME) VALUES ('blocked')");
        ADD_FAILURE() << "wrote through a lock";
    } catch (const AdoError& e) {
        EXPECT_EQ(e.number() & 0xff, 5) << e.description().toStdString(); // SQLITE_BUSY
    }
    holder.CommitTrans();
    writer.Execute("INSERT INTO READINGS (NAME) VALUES ('after')");
    EXPECT_EQ(writer.Execute("SELECT COUNT(*) FROM READINGS").Fields(0).toInt32(), 2);
}

TEST(AdoTimeouts, SqliteStatementRunningPastTheCommandTimeoutIsInterrupted) {
    AdoTestDatabase db(AdoEngine::Sqlite);
    Connection cn;
    cn.setCommandTimeout(1);
    cn.Open(db.connectionString());
    try {
        cn.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n) SELECT MAX(i) FROM n");
        ADD_FAILURE() << "ran forever";
    } catch (const AdoError& e) {
        EXPECT_TRUE(e.description().contains("timeout", Qt::CaseInsensitive))
            << e.description().toStdString();
    }
    EXPECT_EQ(cn.Execute("SELECT 1").Fields(0).toInt32(), 1);
}

TEST(AdoSqlite, OpenSetsJournalSynchronousAndForeignKeys) {
    AdoTestDatabase db(AdoEngine::Sqlite);
    Connection cn;
    cn.Open(db.connectionString());
    struct Case {
        const char* pragma;
        Variant expected;
    };
    const Case cases[] = {{"PRAGMA journal_mode", Variant("wal")},
                          {"PRAGMA synchronous", Variant(1)},
                          {"PRAGMA foreign_keys", Variant(1)}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pragma);
        EXPECT_EQ(cn.Execute(c.pragma).Fields(0), c.expected);
    }
}

// A forward-only read decodes its cells on a path of its own (numbers and stamps stored without
// a Variant, a stamp's day kept from the row before): every cell must read as the static read
// gives it, including texts that only look like stamps of the same day.
TEST(AdoSqlite, ForwardOnlyReadDecodesEveryCellAsTheStaticReadDoes) {
    AdoTestDatabase db(AdoEngine::Sqlite);
    Connection cn;
    cn.Open(db.connectionString());
    const char* const stamps[] = {
        "2024-03-01 10:15:30.250", "2024-03-01 10:16:30.250", "2024-03-01 10:61:30.250",
        "2024-03-01 1/:15:30.250", "2024-03-01T10:15:30.250", "2024-03-01 23:59:60.999",
        "2024-03-01 24:00:00.000", "2024-03-02 00:00:00.000", "2024-03-02 00:00",
        "2024-03-02 00:00:00",     "2024-03-02 00:00:00.2505", "2024-03-02 00:00:00.5+01:00",
        "2024-13-02 00:00:00.000", "1899-12-29 18:00:00.000", "not a date",
        "2024-03-02 00:00:00.00x", nullptr};
    int n = 0;
    for (const char* stamp : stamps) {
        Command c;
        c.setActiveConnection(cn);
        c.setCommandText("INSERT INTO READINGS (NAME, VALUE, COUNTER, STAMP) VALUES ('r', ?, ?, ?)");
        c.appendParameter(c.CreateParameter("v", adDouble, adParamInput, 0,
                                            n % 3 == 0 ? Variant::null() : Variant(n * 1.5)));
        c.appendParameter(c.CreateParameter("c", adInteger, adParamInput, 0, Variant(n)));
        c.appendParameter(c.CreateParameter("s", adVarChar, adParamInput, 40,
                                            stamp ? Variant(stamp) : Variant::null()));
        c.Execute();
        ++n;
    }
    const char* const sql = "SELECT STAMP, VALUE, COUNTER, NAME FROM READINGS ORDER BY ID";
    Recordset whole;
    whole.Open(sql, cn, adOpenStatic, adLockReadOnly);
    Recordset streamed;
    streamed.Open(sql, cn, adOpenForwardOnly, adLockReadOnly);
    int rows = 0;
    for (; !whole.Eof(); whole.MoveNext(), streamed.MoveNext(), ++rows) {
        ASSERT_FALSE(streamed.Eof());
        for (int f = 0; f < whole.FieldCount(); ++f) {
            SCOPED_TRACE(testing::Message() << "row " << rows << " field " << f);
            const Variant expected = whole.Fields(f);
            EXPECT_EQ(streamed.Fields(f), expected);
            double number = -1;
            EXPECT_EQ(streamed.FieldNumber(f, number), expected.type());
            if (expected.isDateType() || expected.type() == Variant::Type::Double) {
                EXPECT_EQ(number, expected.toDouble());
            }
        }
    }
    EXPECT_TRUE(streamed.Eof());
    EXPECT_EQ(rows, n);
    // The stamps that are not stamps stay texts on both paths; the valid ones are dates.
    Recordset again;
    again.Open(sql, cn, adOpenStatic, adLockReadOnly);
    EXPECT_TRUE(again.Fields(0).isDateType());
    again.MoveNext();
    again.MoveNext();
    EXPECT_TRUE(again.Fields(0).isText());
}

// The connection keeps each statement's columns with the prepared statement; a schema change
// makes SQLite prepare it again, and the next read must show the table as it now is.
TEST(AdoSqlite, CachedStatementShowsTheColumnsOfASchemaChangedSinceItsLastRun) {
    AdoTestDatabase db(AdoEngine::Sqlite);
    Connection cn;
    cn.Open(db.connectionString());
    cn.Execute("CREATE TABLE WIDE (A INTEGER)");
    cn.Execute("INSERT INTO WIDE (A) VALUES (1)");
    const char* const sql = "SELECT * FROM WIDE";
    EXPECT_EQ(cn.Execute(sql).FieldCount(), 1);
    cn.Execute("ALTER TABLE WIDE ADD COLUMN B TEXT DEFAULT 'b'");
    Recordset after = cn.Execute(sql);
    ASSERT_EQ(after.FieldCount(), 2);
    EXPECT_EQ(after.FieldName(1), QStringLiteral("B"));
    EXPECT_EQ(after.Fields("b").toText(), QStringLiteral("b"));
    EXPECT_EQ(cn.Execute(sql).FieldCount(), 2);
}

TEST(AdoSqlite, ProcedureBodyChangedThroughTheConnectionIsSeen) {
    AdoTestDatabase db(AdoEngine::Sqlite);
    Connection cn;
    cn.Open(db.connectionString());
    auto call = [&] {
        Command c;
        c.setActiveConnection(cn);
        c.setCommandText("answer");
        c.setCommandType(adCmdStoredProc);
        c.appendParameter(c.CreateParameter("x", adInteger, adParamInput, 0, 20));
        c.appendParameter(c.CreateParameter("Result", adInteger, adParamOutput));
        c.Execute();
        return c.Parameters("result").Value();
    };
    cn.Execute("INSERT INTO ado_procedures VALUES ('ANSWER', 'SELECT :x + 1 AS result')");
    EXPECT_EQ(call(), Variant(21));
    Command upd;
    upd.setActiveConnection(cn);
    upd.setCommandText("UPDATE ado_procedures SET body = ? WHERE name = ?");
    upd.appendParameter(
        upd.CreateParameter("b", adVarChar, adParamInput, 0, "SELECT 1 AS other; SELECT :X * 2 AS RESULT"));
    upd.appendParameter(upd.CreateParameter("n", adVarChar, adParamInput, 0, "answer"));
    upd.Execute();
    EXPECT_EQ(call(), Variant(40));
}

} // namespace

namespace {

// How each server path matches outputs: libpq by column name, psqlODBC by position (the order of
// the function's OUT parameters must follow the command's output parameters, as the reference
// functions do).
TEST(AdoOutputMatching, LibpqByNameOdbcByPosition) {
    for (AdoEngine engine : {AdoEngine::Postgres, AdoEngine::OdbcPostgres}) {
        SCOPED_TRACE(engineName(engine).toStdString());
        AdoTestDatabase db(engine);
        db.exec("CREATE FUNCTION swapped(a integer, OUT y integer, OUT x integer) LANGUAGE sql AS "
                "$$ SELECT a + 1, a + 2 $$");
        Connection cn;
        cn.Open(db.connectionString());
        Command c;
        c.setActiveConnection(cn);
        c.setCommandText("swapped");
        c.setCommandType(adCmdStoredProc);
        c.appendParameter(c.CreateParameter("a", adInteger, adParamInput, 0, 10));
        c.appendParameter(c.CreateParameter("x", adInteger, adParamOutput));
        c.appendParameter(c.CreateParameter("y", adInteger, adParamOutput));
        c.Execute();
        if (engine == AdoEngine::Postgres) {
            EXPECT_EQ(c.Parameters("x").Value(), Variant(12));
            EXPECT_EQ(c.Parameters("y").Value(), Variant(11));
        } else {
            EXPECT_EQ(c.Parameters("x").Value(), Variant(11));
            EXPECT_EQ(c.Parameters("y").Value(), Variant(12));
        }
    }
}

} // namespace
