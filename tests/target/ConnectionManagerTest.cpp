#include "CommonFiles/target/ConnectionManager.h"

#include "CommonFiles/target/TargetConnection.h"
#include "platform/ado/Connection.h"
#include "tests/target/TargetTestSupport.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kPsiFalse = QStringLiteral("Persist Security Info=False");
const QString kTail = QStringLiteral("OLE DB Services =-2;Application Name=48213;");

struct StringCase {
    const char* name;
    std::int16_t type;
    bool persist;
    const char* customization;
    bool replace;
    const char* user;
    QString result;
    QString templ;
};

void PrintTo(const StringCase& c, std::ostream* os) {
    *os << c.name;
}

class ConnectionStringTable : public ::testing::TestWithParam<StringCase> {};

TEST_P(ConnectionStringTable, BuildsResultAndTemplate) {
    const StringCase& c = GetParam();
    ConnectionManager m;
    ASSERT_TRUE(m.Init(c.type, QStringLiteral(" PROV "), QStringLiteral(" SRV1 "),
                       QString::fromUtf8(c.customization), c.persist, 15, 30));
    m.setDataSourceReplace(c.replace);
    EXPECT_EQ(m.BuildConnectionString(QString::fromUtf8(c.user)), c.result);
    EXPECT_EQ(m.TemplateCnnString(), c.templ);
}

const QString kSqlRootTemplate = "Provider=PROV;Data Source=SRV1;" + kPsiFalse +
                                 ";Initial Catalog=@@@;User ID=QTXDBA;Password=###;" + kTail;

INSTANTIATE_TEST_SUITE_P(
    ConnectionManager, ConnectionStringTable,
    ::testing::Values(
        StringCase{"SqlServerRoot", 2, false, "", false, "QTXROOT",
                   "Provider=PROV;" + kPsiFalse +
                       ";Data Source=SRV1;Initial Catalog=QTXROOT;User ID=QTXDBA;Password=kvesk;" + kTail,
                   kSqlRootTemplate},
        StringCase{"SqlServerFacilityUpperCased", 2, false, "", false, "plant1",
                   "Provider=PROV;" + kPsiFalse +
                       ";Data Source=SRV1;Initial Catalog=PLANT1;User ID=QTXDBA;Password=kvesk;" + kTail,
                   kSqlRootTemplate},
        StringCase{"OracleFacilityIsItsOwnAccount", 1, false, "", false, "Plant1",
                   "Provider=PROV;" + kPsiFalse + ";Data Source=SRV1;User ID=PLANT1;Password=kvesk;" + kTail,
                   "Provider=PROV;Data Source=SRV1;" + kPsiFalse + ";User ID=@@@;Password=###;" + kTail},
        StringCase{
            "PersistSecurityInfoTrue", 1, true, "", false, "QTXROOT",
            "Provider=PROV;Persist Security Info=True;Data Source=SRV1;User ID=QTXROOT;Password=kvesk;" +
                kTail,
            "Provider=PROV;Data Source=SRV1;Persist Security Info=True;User ID=@@@;Password=###;" + kTail},
        StringCase{"CustomizationFollowsTheLastSemicolon", 2, false, "  Packet Size=4096;Encrypt=no  ", false,
                   "QTXROOT",
                   "Provider=PROV;" + kPsiFalse +
                       ";Data Source=SRV1;Initial Catalog=QTXROOT;User ID=QTXDBA;Password=kvesk;" + kTail +
                       "Packet Size=4096;Encrypt=no",
                   kSqlRootTemplate + "Packet Size=4096;Encrypt=no"},
        StringCase{"LowerCaseRootNeverUsesTheMap", 2, false, "", true, "qtxroot",
                   "Provider=PROV;" + kPsiFalse +
                       ";Data Source=SRV1;Initial Catalog=QTXROOT;User ID=QTXDBA;Password=kvesk;" + kTail,
                   kSqlRootTemplate},
        StringCase{"FacilityMissingFromTheMapHasNoDataSource", 2, false, "", true, "PLANT9",
                   "Provider=PROV;" + kPsiFalse +
                       ";Data Source=;Initial Catalog=PLANT9;User ID=QTXDBA;Password=kvesk;" + kTail,
                   "Provider=PROV;Data Source=;" + kPsiFalse +
                       ";Initial Catalog=@@@;User ID=QTXDBA;Password=###;" + kTail},
        // Names that could add keys of their own or name another file never become a string;
        // the template keeps the form it had (none yet).
        StringCase{"SemicolonInFacilityRefused", 2, false, "", false, "PLANT1;Initial Catalog=QTXROOT", "",
                   ""},
        StringCase{"QuoteInFacilityRefused", 1, false, "", false, "PLANT1'--", "", ""},
        StringCase{"PathInFacilityRefused", 2, false, "", false, "../QTXROOT", "", ""},
        StringCase{"EmptyFacilityRefused", 2, false, "", false, "", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct InitCase {
    const char* name;
    std::int16_t type;
    const char* provider;
    const char* dataSource;
};

void PrintTo(const InitCase& c, std::ostream* os) {
    *os << c.name;
}

class InitRefusal : public ::testing::TestWithParam<InitCase> {};

TEST_P(InitRefusal, KeepsThePreviousSettings) {
    const InitCase& c = GetParam();
    ConnectionManager m;
    ASSERT_TRUE(
        m.Init(2, QStringLiteral("SQLNCLI"), QStringLiteral("SRV1"), QStringLiteral("X=1"), false, 15, 30));
    EXPECT_FALSE(m.Init(c.type, QString::fromUtf8(c.provider), QString::fromUtf8(c.dataSource),
                        QStringLiteral("Y=2"), true, 1, 2));
    EXPECT_EQ(m.DbType(), 2);
    EXPECT_EQ(m.DB_PROVIDER(), QStringLiteral("SQLNCLI"));
    EXPECT_EQ(m.DB_DATASOURCE(), QStringLiteral("SRV1"));
    EXPECT_EQ(m.DB_CUSTOMIZATION(), QStringLiteral("X=1"));
    EXPECT_EQ(m.CONNECTION_TIMEOUT_s(), 15);
    EXPECT_EQ(m.COMMAND_TIMEOUT_s(), 30);
}

INSTANTIATE_TEST_SUITE_P(ConnectionManager, InitRefusal,
                         ::testing::Values(InitCase{"BlankProvider", 1, "  ", "SRV2"},
                                           InitCase{"EmptyDataSource", 1, "OraOLEDB.Oracle", ""},
                                           InitCase{"TypeZero", 0, "P", "D"},
                                           InitCase{"TypeThree", 3, "P", "D"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectionManager, InitTrimsAndConfiguresConnections) {
    ConnectionManager m;
    EXPECT_EQ(m.DbType(), DbTypeOracle);
    EXPECT_EQ(m.password(), QStringLiteral("kvesk"));
    ASSERT_TRUE(m.Init(2, QStringLiteral(" SQLNCLI "), QStringLiteral(" SRV1\t"), QStringLiteral(" A=1 "),
                       false, 7, 9));
    EXPECT_EQ(m.DB_PROVIDER(), QStringLiteral("SQLNCLI"));
    EXPECT_EQ(m.DB_DATASOURCE(), QStringLiteral("SRV1"));
    EXPECT_EQ(m.DB_CUSTOMIZATION(), QStringLiteral("A=1"));

    ado::Connection cn;
    m.ConfigCnn4FACILITY(cn, QStringLiteral("  plant1  "));
    EXPECT_EQ(cn.CursorLocation(), ado::adUseClient);
    EXPECT_EQ(cn.ConnectionTimeout(), 7);
    EXPECT_EQ(cn.CommandTimeout(), 9);
    EXPECT_EQ(cn.Property(QStringLiteral("Initial Catalog")), QStringLiteral("PLANT1"));
    EXPECT_EQ(cn.Property(QStringLiteral("Data Source")), QStringLiteral("SRV1"));

    // Reconfiguring for a refused name must not leave the earlier string to be opened.
    m.ConfigCnn4FACILITY(cn, QStringLiteral("PLANT1;Initial Catalog=QTXROOT"));
    EXPECT_EQ(cn.ConnectionString(), QString());
}

struct QuotingCase {
    const char* name;
    const char* value;
    const char* expected;
};

void PrintTo(const QuotingCase& c, std::ostream* os) {
    *os << c.name;
}

class DataSourceQuoting : public ::testing::TestWithParam<QuotingCase> {};

TEST_P(DataSourceQuoting, KeepsTheValueOneKey) {
    const QuotingCase& c = GetParam();
    EXPECT_EQ(ConnectionManager::connectionStringValue(QString::fromUtf8(c.value)),
              QString::fromUtf8(c.expected));
}

INSTANTIATE_TEST_SUITE_P(ConnectionManager, DataSourceQuoting,
                         ::testing::Values(QuotingCase{"Plain", "server\\inst,1433", "server\\inst,1433"},
                                           QuotingCase{"Semicolon", "srv;Initial Catalog=QTXROOT",
                                                       "\"srv;Initial Catalog=QTXROOT\""},
                                           QuotingCase{"SemicolonAndDoubleQuote", "s\"rv;x=1", "'s\"rv;x=1'"},
                                           QuotingCase{"LeadingQuote", "'srv", "\"'srv\""},
                                           QuotingCase{"LeadingBrace", "{srv}", "\"{srv}\""},
                                           QuotingCase{"BothQuotesAndSemicolon", "a'b\";c=1", "\"a'b\"\";c=1\""}),
                         [](const auto& info) { return std::string(info.param.name); });

// Against the reference target: the replacement map, and hostile names and directories.
class ConnectionManagerDb : public ::testing::TestWithParam<fixtures::Engine> {
protected:
    void SetUp() override { site = std::make_unique<TargetSite>(GetParam()); }
    std::unique_ptr<TargetSite> site;
};

TEST_P(ConnectionManagerDb, RefreshDsHASHMapsEveryFacilityToItsTrimmedDirectory) {
    site->target().addFacility(
        {QStringLiteral("PLANT1"), QStringLiteral("One"), QStringLiteral("  srv-a  ")});
    site->target().addFacility({QStringLiteral("PLANT2"), QStringLiteral("Two"), Variant::null()});
    ConnectionManager m;
    ASSERT_TRUE(InitTargetConnectionManager(m));
    ado::Connection root = site->openRoot();
    // Without the switch nothing is read.
    EXPECT_TRUE(m.RefreshDsHASH(root));
    EXPECT_TRUE(m.BuildConnectionString(QStringLiteral("PLANT1"))
                    .contains(";Data Source=" + site->host().dataSource() + ";"));

    m.setDataSourceReplace(true);
    ASSERT_TRUE(m.RefreshDsHASH(root));
    EXPECT_TRUE(m.BuildConnectionString(QStringLiteral("plant1")).contains(";Data Source=srv-a;"));
    EXPECT_TRUE(m.BuildConnectionString(QStringLiteral("PLANT2")).contains(";Data Source=;"));
    EXPECT_TRUE(m.BuildConnectionString(QStringLiteral("QTXROOT"))
                    .contains(";Data Source=" + site->host().dataSource() + ";"));
    root.Close();
    // A closed connection cannot be read.
    EXPECT_FALSE(m.RefreshDsHASH(root));
}

TEST_P(ConnectionManagerDb, BothDatabaseTypesOpenTheirFacility) {
    site->target().addFacility({QStringLiteral("PLANT1"), QStringLiteral("One")});
    site->target().addVariable(QStringLiteral("PLANT1"), {.varid = 77, .name = QStringLiteral("Flow")});
    for (int type : {1, 2}) {
        SCOPED_TRACE(type);
        site->configure(type);
        ado::Connection cn = site->openFacility(QStringLiteral("plant1"));
        ado::Recordset rs = cn.Execute(QStringLiteral("select name from VarDesc where varid = 77"));
        ASSERT_FALSE(rs.Eof());
        EXPECT_EQ(rs.Fields(0).toText(), QStringLiteral("Flow"));
        cn.Close();
    }
}

TEST_P(ConnectionManagerDb, HostileFacilityIdsReachNoOtherDatabase) {
    site->target().addFacility({QStringLiteral("PLANT1"), QStringLiteral("One")});
    const QStringList hostile{
        QStringLiteral("PLANT1;Initial Catalog=QTXROOT"),
        QStringLiteral("X;User ID=QTXROOT"),
        QStringLiteral("PLANT1' OR '1'='1"),
        QStringLiteral("../QTXROOT"),
        QStringLiteral("QTXROOT/../QTXROOT"),
        QStringLiteral("PLANT1\";Data Source=sqlite:/tmp"),
    };
    for (int type : {1, 2}) {
        site->configure(type);
        for (const QString& id : hostile) {
            SCOPED_TRACE(id.toStdString());
            ConnectionManager m;
            ASSERT_TRUE(InitTargetConnectionManager(m));
            ado::Connection cn;
            m.ConfigCnn4FACILITY(cn, id);
            EXPECT_THROW(cn.Open(), ado::AdoError);
            EXPECT_EQ(cn.State(), ado::adStateClosed);
        }
    }
    if (site->isSqlite()) {
        // Nothing was created beside the reference files.
        const QStringList files =
            QDir(site->host().folder()).entryList({QStringLiteral("*.sqlite")}, QDir::Files);
        EXPECT_EQ(files, (QStringList{QStringLiteral("PLANT1.sqlite"), QStringLiteral("QTXROOT.sqlite")}));
    }
}

TEST_P(ConnectionManagerDb, HostileDirectoryStaysOneDataSource) {
    // A directory that tries to add keys: quoted, it stays the data source and reaches no
    // database; with both quote kinds the enclosing quote is doubled inside, and it stays whole.
    const QString injected = site->host().dataSource() + ";Initial Catalog=QTXROOT;User ID=QTXROOT";
    site->target().addFacility({QStringLiteral("PLANT1"), QStringLiteral("One"), injected});
    site->target().addFacility(
        {QStringLiteral("PLANT2"), QStringLiteral("Two"), QStringLiteral("a'b\";Initial Catalog=QTXROOT")});
    ConnectionManager m;
    ASSERT_TRUE(InitTargetConnectionManager(m));
    m.setDataSourceReplace(true);
    ado::Connection root = site->openRoot();
    ASSERT_TRUE(m.RefreshDsHASH(root));
    root.Close();

    ado::Connection one;
    m.ConfigCnn4FACILITY(one, QStringLiteral("PLANT1"));
    EXPECT_EQ(one.Property(QStringLiteral("Data Source")), injected);
    EXPECT_EQ(one.Property(QStringLiteral("Initial Catalog")), QStringLiteral("PLANT1"));
    EXPECT_EQ(one.Property(QStringLiteral("User ID")), QStringLiteral("QTXDBA"));
    EXPECT_THROW(one.Open(), ado::AdoError);

    ado::Connection two;
    m.ConfigCnn4FACILITY(two, QStringLiteral("PLANT2"));
    EXPECT_EQ(two.Property(QStringLiteral("Data Source")), QStringLiteral("a'b\";Initial Catalog=QTXROOT"));
    EXPECT_EQ(two.Property(QStringLiteral("Initial Catalog")), QStringLiteral("PLANT2"));
    EXPECT_THROW(two.Open(), ado::AdoError);
}

INSTANTIATE_TEST_SUITE_P(Engines, ConnectionManagerDb, kEngines, engineName);

} // namespace
