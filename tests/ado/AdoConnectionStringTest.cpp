#include "platform/ado/ConnectionString.h"

#include "platform/ado/AdoTypes.h"
#include "platform/ado/Connection.h"
#include "tests/support/TempDir.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using namespace ado;

namespace {

struct ParseCase {
    const char* name;
    const char* text;
    ConnectionString::Engine engine;
    const char* dataSource;
    const char* catalog;
    const char* user;
};

TEST(AdoConnectionString, KeysBlanksAndProvidersPickTheEngine) {
    using E = ConnectionString::Engine;
    const ParseCase cases[] = {
        {"sql server form",
         "Provider=SQLNCLI;Persist Security Info=False;Data Source=srv;Initial Catalog=FAC1;"
         "User ID=QTXDBA;Password=pw;OLE DB Services =-2;Application Name=48213;",
         E::Odbc, "srv", "FAC1", "QTXDBA"},
        {"oracle form",
         "Provider=OraOLEDB.Oracle;Persist Security Info=True;Data Source=TNS1;User ID=FAC1;Password=pw;"
         "OLE DB Services =-2;Application Name=48213;",
         E::Odbc, "TNS1", "", "FAC1"},
        {"keys in any case and blanks",
         "provider = sqloledb.1 ; DATA SOURCE = host ;initial catalog=db;USER id=u", E::Odbc, "host", "db",
         "u"},
        {"sqlite data source wins over provider",
         "Provider=SQLNCLI;Data Source=sqlite:/tmp/x;Initial Catalog=QTXROOT", E::Sqlite, "sqlite:/tmp/x",
         "QTXROOT", ""},
        {"postgresql data source wins over provider",
         "Provider=OraOLEDB.Oracle;Data Source=postgresql://127.0.0.1:5433;User ID=FAC1", E::Postgres,
         "postgresql://127.0.0.1:5433", "", "FAC1"},
        {"own provider names", "Provider=SQLite;Data Source=/tmp/y;User ID=FAC2", E::Sqlite, "/tmp/y", "",
         "FAC2"},
        {"postgresql provider", "Provider=PostgreSQL;Data Source=db.example:6000;Initial Catalog=QTXROOT",
         E::Postgres, "db.example:6000", "QTXROOT", ""},
        {"empty values", "Provider=SQLNCLI;Data Source=;Initial Catalog=;User ID=QTXDBA;Password=;", E::Odbc,
         "", "", "QTXDBA"},
        {"odbc driver pass-through", "Driver={PostgreSQL Unicode};Server=h;Database=d;UID=u", E::Odbc, "h",
         "d", "u"},
        {"quoted value with semicolon", "Provider=SQLite;Data Source=\"/tmp/a;b\";User ID=X", E::Sqlite,
         "/tmp/a;b", "", "X"},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        const ConnectionString cs = ConnectionString::parse(c.text);
        EXPECT_EQ(cs.engine(), c.engine);
        EXPECT_EQ(cs.dataSource(), c.dataSource);
        EXPECT_EQ(cs.catalog(), c.catalog);
        EXPECT_EQ(cs.userId(), c.user);
    }
}

TEST(AdoConnectionString, PostgresHostAndPort) {
    struct Case {
        const char* ds;
        const char* host;
        int port;
    };
    const Case cases[] = {{"postgresql://127.0.0.1:5433", "127.0.0.1", 5433},
                          {"postgresql://dbhost", "dbhost", 5432},
                          {"postgresql://dbhost:6000/", "dbhost", 6000},
                          {"dbhost:7000", "dbhost", 7000}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ds);
        const ConnectionString cs =
            ConnectionString::parse(QStringLiteral("Provider=PostgreSQL;Data Source=%1").arg(c.ds));
        EXPECT_EQ(cs.pgHost(), c.host);
        EXPECT_EQ(cs.pgPort(), c.port);
    }
}

TEST(AdoConnectionString, OdbcStringsForTheTargetProviders) {
    qputenv("K48213_ODBC_DRIVER_SQLSERVER", "FreeTDS");
    qputenv("K48213_ODBC_DRIVER_ORACLE", "Oracle 21 ODBC driver");
    struct Case {
        const char* text;
        const char* odbc;
    };
    const Case cases[] = {
        {"Provider=SQLNCLI;Persist Security Info=False;Data Source=srv\\inst;Initial Catalog=FAC1;User "
         "ID=QTXDBA;"
         "Password=\"p;w\";OLE DB Services =-2;Application Name=48213;TDS_Version=7.4",
         "Driver={FreeTDS};Server=srv\\inst;Database=FAC1;UID=QTXDBA;PWD={p;w};APP=48213;TDS_Version=7.4"},
        {"Provider=MSOLEDBSQL;Data Source=srv;Initial Catalog=QTXROOT",
         "Driver={FreeTDS};Server=srv;Database=QTXROOT;"
         "Trusted_Connection=yes"},
        {"Provider=OraOLEDB.Oracle;Data Source=TNS1;User ID=FAC1;Password=x=y;OLE DB Services =-2",
         "Driver={Oracle 21 ODBC driver};DBQ=TNS1;UID=FAC1;PWD={x=y}"},
        {"Provider=ODBC;Driver={SQLite3};Database=/tmp/a.db", "Driver={SQLite3};Database=/tmp/a.db"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ConnectionString::parse(c.text).odbcString(), c.odbc);
    }
    qunsetenv("K48213_ODBC_DRIVER_SQLSERVER");
    qunsetenv("K48213_ODBC_DRIVER_ORACLE");
}

// Open failures that an operator must be able to read.
TEST(AdoConnectionString, OpenFailuresAreClearErrors) {
    TempDir dir;
    struct Case {
        const char* name;
        QString text;
        int number;
        const char* mentions;
    };
    const Case cases[] = {
        {"unknown provider", "Provider=Jet.OLEDB.4.0;Data Source=x", LayerError::UnknownProvider,
         "Jet.OLEDB.4.0"},
        {"no provider", "Data Source=x;User ID=y", LayerError::UnknownProvider, "Provider"},
        {"segment without '='", "Provider=SQLite;garbage;Data Source=x", LayerError::BadConnectionString,
         "garbage"},
        {"unterminated quote", "Provider=SQLite;Data Source=\"abc", LayerError::BadConnectionString, "quote"},
        {"missing sqlite folder", "Provider=SQLite;Data Source=" + dir.file("nowhere") + ";User ID=FAC1",
         LayerError::ConnectionFailed, "does not exist"},
        {"missing sqlite database",
         "Provider=SQLNCLI;Data Source=sqlite:" + dir.path() + ";Initial Catalog=NOSUCH",
         LayerError::ConnectionFailed, "NOSUCH"},
        {"sqlite without a name", "Provider=SQLite;Data Source=" + dir.path(),
         LayerError::BadConnectionString, "Initial Catalog"},
        {"bad postgres port", "Provider=PostgreSQL;Data Source=h:99999;User ID=u",
         LayerError::BadConnectionString, "port"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Connection cn;
        cn.setConnectionString(c.text);
        try {
            cn.Open();
            ADD_FAILURE() << "opened";
        } catch (const AdoError& e) {
            EXPECT_EQ(e.number(), c.number);
            EXPECT_TRUE(e.description().contains(c.mentions)) << e.description().toStdString();
            ASSERT_EQ(cn.Errors().size(), 1);
            EXPECT_EQ(cn.Errors()[0].number, c.number);
        }
        EXPECT_EQ(cn.State(), adStateClosed);
    }
    // A wrong name never leaves an empty database behind.
    EXPECT_FALSE(QFileInfo::exists(dir.file("NOSUCH.sqlite")));
}

} // namespace
