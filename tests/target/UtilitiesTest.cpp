#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/RoundTo.h"
#include "CommonFiles/foundation/TimeUtils.h"
#include "CommonFiles/target/GetLocationPath.h"
#include "CommonFiles/target/SyncServerTime.h"
#include "platform/help/HelpTopic.h"
#include "tests/support/FakeClock.h"
#include "tests/target/TargetTestSupport.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <limits>

namespace {

const QString kFacility = QStringLiteral("PLANT1");

class LocationPathTest : public ::testing::TestWithParam<fixtures::Engine> {
protected:
    void SetUp() override {
        site = std::make_unique<TargetSite>(GetParam());
        site->target().addFacility({kFacility, QStringLiteral("One")});
        auto& t = site->target();
        t.addLocation(kFacility, 1, QStringLiteral("Plant"), Variant::null());
        t.addLocation(kFacility, 2, QStringLiteral("Basin"), 1);
        t.addLocation(kFacility, 3, QStringLiteral("Pump"), 2);
        t.addLocation(kFacility, 4, QStringLiteral("Orphan"), 99);
        t.addLocation(kFacility, 10, QStringLiteral("Loop A"), 11);
        t.addLocation(kFacility, 11, QStringLiteral("Loop B"), 10);
        cn = site->openFacility(kFacility);
    }
    void TearDown() override { cn.Close(); }

    std::unique_ptr<TargetSite> site;
    ado::Connection cn;
};

TEST_P(LocationPathTest, WalksToTheRoot) {
    LogCapture log;
    struct Case {
        const char* id;
        const char* path;
    };
    for (const Case& c : {Case{"3", "Plant\\Basin\\Pump"}, Case{" 2 ", "Plant\\Basin"}, Case{"1", "Plant"},
                          Case{"4", "Orphan"}, Case{"99", ""}, Case{"0", ""}, Case{"", ""}, Case{"-1", ""},
                          Case{"10", "Loop B\\Loop A"}}) {
        SCOPED_TRACE(c.id);
        EXPECT_EQ(GetLocationPath(QString::fromUtf8(c.id), cn), QString::fromUtf8(c.path));
    }
    EXPECT_TRUE(log.messages().isEmpty()) << log.all().toStdString();
}

TEST_P(LocationPathTest, HostileIdsAndFailuresGiveEmptyAndALogLine) {
    LogCapture log;
    for (const char* id : {"3 OR 1=1", "1; DROP TABLE LOCATION", "'"}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(GetLocationPath(QString::fromUtf8(id), cn), QString());
    }
    EXPECT_EQ(site->target().query(kFacility, QStringLiteral("SELECT LOCID FROM LOCATION")).size(), 6);
    QStringList lines = log.messages();
    ASSERT_EQ(lines.size(), 3);
    for (const QString& line : lines)
        EXPECT_TRUE(line.startsWith(QStringLiteral("Error found in Util.GetLocationPath. Error: 13\n")))
            << line.toStdString();

    cn.Close();
    EXPECT_EQ(GetLocationPath(QStringLiteral("3"), cn), QString());
    lines = log.messages();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Error found in Util.GetLocationPath. Error: 3709\n")))
        << lines[3].toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, LocationPathTest, kEngines, engineName);

class SyncServerTimeTest : public ::testing::TestWithParam<fixtures::Engine> {
protected:
    void SetUp() override {
        TimeUtils::SetServerClockOffset(0);
        site = std::make_unique<TargetSite>(GetParam());
    }
    void TearDown() override { TimeUtils::SetServerClockOffset(0); }

    // Makes GETSERVERTIME answer a fixed time (an SQL expression of the engine), or null.
    void serverAnswers(const QString& sqliteExpr, const QString& pgExpr) {
        if (site->isSqlite())
            site->target().exec(QStringLiteral("QTXROOT"), "UPDATE ado_procedures SET body = 'SELECT " +
                                                               QString(sqliteExpr).replace("'", "''") +
                                                               " AS date_out' WHERE name = 'GETSERVERTIME'");
        else
            site->target().exec(
                QStringLiteral("QTXROOT"),
                "CREATE OR REPLACE FUNCTION getservertime(OUT date_out timestamp) LANGUAGE sql AS $$ "
                "SELECT " +
                    pgExpr + " $$");
    }

    std::unique_ptr<TargetSite> site;
};

TEST_P(SyncServerTimeTest, TheRealClockIsInStep) {
    ado::Connection cn = site->openRoot();
    TimeUtils::SetServerClockOffset(99);
    EXPECT_TRUE(SyncServerTime(cn));
    EXPECT_LE(std::abs(TimeUtils::ServerClockOffset()), 1);
}

TEST_P(SyncServerTimeTest, OffsetIsTheWholeSecondsToTheServer) {
    FakeClock clock(OleDate::fromParts(2024, 3, 5, 10, 0, 0, 300));
    serverAnswers(QStringLiteral("'2024-03-05 11:02:05.100'"),
                  QStringLiteral("TIMESTAMP '2024-03-05 11:02:05.100'"));
    ado::Connection cn = site->openRoot();
    ASSERT_TRUE(SyncServerTime(cn));
    EXPECT_EQ(TimeUtils::ServerClockOffset(), 3725);
    EXPECT_EQ(OleDate::toMs(TimeUtils::ServerNow()),
              OleDate::toMs(OleDate::fromParts(2024, 3, 5, 11, 2, 5, 300)));
    cn.Close();

    // A server behind the local clock, through the connection of its own.
    serverAnswers(QStringLiteral("'2024-03-05 09:59:00.000'"),
                  QStringLiteral("TIMESTAMP '2024-03-05 09:59:00'"));
    ASSERT_TRUE(SyncServerTime());
    EXPECT_EQ(TimeUtils::ServerClockOffset(), -60);
}

TEST_P(SyncServerTimeTest, NoDateOrNoProcedureKeepsTheOffset) {
    TimeUtils::SetServerClockOffset(42);
    serverAnswers(QStringLiteral("NULL"), QStringLiteral("NULL::timestamp"));
    ado::Connection cn = site->openRoot();
    EXPECT_FALSE(SyncServerTime(cn));
    EXPECT_EQ(TimeUtils::ServerClockOffset(), 42);
    site->target().exec(QStringLiteral("QTXROOT"),
                        site->isSqlite()
                            ? QStringLiteral("DELETE FROM ado_procedures WHERE name = 'GETSERVERTIME'")
                            : QStringLiteral("DROP FUNCTION getservertime"));
    EXPECT_FALSE(SyncServerTime(cn));
    EXPECT_EQ(TimeUtils::ServerClockOffset(), 42);
    cn.Close();
    EXPECT_FALSE(SyncServerTime(cn));
    EXPECT_EQ(TimeUtils::ServerClockOffset(), 42);
}

INSTANTIATE_TEST_SUITE_P(Engines, SyncServerTimeTest, kEngines, engineName);

struct RoundCase {
    const char* name;
    double value;
    int decimals;
    double expected;
};

void PrintTo(const RoundCase& c, std::ostream* os) {
    *os << c.name;
}

class RoundToTable : public ::testing::TestWithParam<RoundCase> {};

TEST_P(RoundToTable, RoundsHalfAwayFromZeroOnTheDecimal) {
    const RoundCase& c = GetParam();
    const double r = RoundTo(c.value, std::int16_t(c.decimals));
    if (std::isnan(c.expected)) {
        EXPECT_TRUE(std::isnan(r));
    } else {
        EXPECT_EQ(r, c.expected);
        EXPECT_EQ(std::signbit(r), std::signbit(c.expected));
    }
}

INSTANTIATE_TEST_SUITE_P(
    RoundTo, RoundToTable,
    ::testing::Values(RoundCase{"TwoPointSixSevenFive", 2.675, 2, 2.68},
                      RoundCase{"OnePointZeroZeroFive", 1.005, 2, 1.01},
                      RoundCase{"NegativeOnePointZeroZeroFive", -1.005, 2, -1.01},
                      RoundCase{"MinusTwoAndAHalf", -2.5, 0, -3.0}, RoundCase{"AHalf", 0.5, 0, 1.0},
                      RoundCase{"TwoAndAHalfAwayNotEven", 2.5, 0, 3.0},
                      RoundCase{"PointTwoEightFive", 0.285, 2, 0.29},
                      RoundCase{"FifteenDigitsDecide", 1.4999999999999998, 0, 2.0},
                      RoundCase{"BelowTheHalf", 1.0049, 2, 1.0}, RoundCase{"Plain", 1234.5678, 2, 1234.57},
                      RoundCase{"NoDecimalsLeft", 7.0, 3, 7.0}, RoundCase{"Zero", 0.0, 2, 0.0},
                      RoundCase{"SmallNegativeIsPlainZero", -0.004, 2, 0.0},
                      RoundCase{"ToTens", 125.0, -1, 130.0}, RoundCase{"ToHundreds", -1249.9, -2, -1200.0},
                      RoundCase{"LargeButFits", 123456789012345678.9, 2, 123456789012346000.0},
                      RoundCase{"TooLargeUnchanged", 123456789012345678.9, 12, 123456789012345678.9},
                      RoundCase{"FarTooLargeUnchanged", 1e300, 0, 1e300},
                      // 15 digits times 10^26 overflows 128 bits: the value stays, it does not wrap.
                      RoundCase{"TooLargeForThe128BitProductUnchanged", 1.6632176453885095e+28, 12,
                                1.6632176453885095e+28},
                      RoundCase{"ManyDecimalsOnAWholeNumberUnchanged", 6682044052939344.0, 23,
                                6682044052939344.0},
                      RoundCase{"TooManyDecimalsUnchanged", 0.1234567890123456789, 29, 0.1234567890123456789},
                      RoundCase{"TinyRoundsToZero", 1e-20, 2, 0.0},
                      RoundCase{"Infinity", std::numeric_limits<double>::infinity(), 2,
                                std::numeric_limits<double>::infinity()},
                      RoundCase{"NotANumber", std::numeric_limits<double>::quiet_NaN(), 2,
                                std::numeric_limits<double>::quiet_NaN()}),
    [](const auto& info) { return std::string(info.param.name); });

class HelpTopicTest : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("K48213_HOME", home.path().toUtf8());
        QDir(home.path()).mkpath(QStringLiteral("help"));
        QFile page(home.file(QStringLiteral("help/1002.html")));
        ASSERT_TRUE(page.open(QIODevice::WriteOnly));
        page.write("<html></html>");
        SetHelpOpener([this](const QString& file) {
            opened << file;
            return openerResult;
        });
    }
    void TearDown() override {
        SetHelpOpener({});
        qunsetenv("K48213_HOME");
    }

    TempDir home;
    QStringList opened;
    bool openerResult = true;
};

TEST_F(HelpTopicTest, OpensThePageBesideTheProgram) {
    EXPECT_TRUE(ShowHelpTopic(QStringLiteral("1002")));
    EXPECT_EQ(opened, QStringList{home.file(QStringLiteral("help/1002.html"))});
    // A browser that cannot be started is a failure the dialog reports.
    openerResult = false;
    EXPECT_FALSE(ShowHelpTopic(QStringLiteral("1002")));
}

TEST_F(HelpTopicTest, MissingOrHostileTopicsOpenNothing) {
    QFile outside(home.file(QStringLiteral("secret.html")));
    ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
    outside.close();
    for (const char* topic : {"9999", "../secret", "..", "help/../secret", "/etc/passwd", "  ", ""}) {
        SCOPED_TRACE(topic);
        EXPECT_FALSE(ShowHelpTopic(QString::fromUtf8(topic)));
    }
    EXPECT_TRUE(opened.isEmpty());
    EXPECT_EQ(HelpTopicFile(QStringLiteral("../secret")), QString());
    EXPECT_EQ(HelpTopicFile(QStringLiteral("CONN_TEST")), home.file(QStringLiteral("help/CONN_TEST.html")));
}

} // namespace
