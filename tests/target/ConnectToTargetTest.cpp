#include "CommonFiles/target/TargetConnection.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "platform/ado/Connection.h"
#include "tests/target/TargetTestSupport.h"

#include <QRegularExpression>

namespace {

class RecordingSink : public ActivitySink {
public:
    RecordingSink() { SetActivitySink(this); }
    ~RecordingSink() override { SetActivitySink(nullptr); }
    int lineCount() const override { return int(lines.size()); }
    void appendLine(const QString& line) override { lines.append(line); }
    void clearLines() override { lines.clear(); }
    QStringList lines;
};

// Stands in for the main window's connection window: records how it is used and, in modal use,
// opens the connection as the window does when it is activated.
class RecordingProgressUi : public ConnectProgressUi {
public:
    RecordingProgressUi() { SetConnectProgressUi(this); }
    ~RecordingProgressUi() override { SetConnectProgressUi(nullptr); }
    bool connectModal(ado::Connection& cn, QString& errorText, QObject*) override {
        calls << QStringLiteral("modal");
        return OpenWithActivityLines(cn, errorText);
    }
    void showNotice(QObject*) override { calls << QStringLiteral("show"); }
    void hideNotice() override { calls << QStringLiteral("hide"); }
    QStringList calls;
};

class ConnectToTargetTest : public ::testing::TestWithParam<fixtures::Engine> {
protected:
    void SetUp() override {
        site = std::make_unique<TargetSite>(GetParam());
        site->target().addFacility({QStringLiteral("PLANT1"), QStringLiteral("One")});
    }

    // A connection configured for a facility; "NOPE" has no database.
    ado::Connection configured(const QString& facility) {
        ConnectionManager m;
        EXPECT_TRUE(InitTargetConnectionManager(m));
        ado::Connection cn;
        m.ConfigCnn4FACILITY(cn, facility);
        return cn;
    }

    // The error text a direct open of the same connection reports.
    QString directOpenError(const QString& facility) {
        ado::Connection cn = configured(facility);
        try {
            cn.Open();
        } catch (const ado::AdoError& e) {
            return e.text();
        }
        return QStringLiteral("<opened>");
    }

    QString connectingLine() const {
        return "Connecting to Vesk DRAQ server '" + site->host().dataSource() + "' ...";
    }

    std::unique_ptr<TargetSite> site;
};

TEST_P(ConnectToTargetTest, ServiceModeOpensSilently) {
    RunMode mode(true);
    LogCapture log;
    RecordingSink sink;
    RecordingProgressUi ui;
    for (bool useDialog : {false, true}) {
        ado::Connection cn = configured(QStringLiteral("PLANT1"));
        QString error = QStringLiteral("untouched");
        EXPECT_TRUE(ConnectToTarget(cn, error, useDialog));
        EXPECT_EQ(cn.State(), ado::adStateOpen);
        EXPECT_EQ(error, QStringLiteral("untouched"));
        cn.Close();
    }
    ado::Connection bad = configured(QStringLiteral("NOPE"));
    QString error;
    EXPECT_FALSE(ConnectToTarget(bad, error, false));
    EXPECT_EQ(error, directOpenError(QStringLiteral("NOPE")));
    EXPECT_TRUE(log.messages().isEmpty()) << log.all().toStdString();
    EXPECT_TRUE(sink.lines.isEmpty());
    EXPECT_TRUE(ui.calls.isEmpty());
}

TEST_P(ConnectToTargetTest, InteractiveOpenLogsAroundTheNotice) {
    RunMode mode(false);
    LogCapture log;
    RecordingSink sink;
    RecordingProgressUi ui;
    ado::Connection cn = configured(QStringLiteral("PLANT1"));
    QString error;
    ASSERT_TRUE(ConnectToTarget(cn, error, false));
    EXPECT_EQ(cn.State(), ado::adStateOpen);
    EXPECT_EQ(ui.calls, (QStringList{QStringLiteral("show"), QStringLiteral("hide")}));
    const QStringList expected{connectingLine(), QStringLiteral("Connection to Vesk DRAQ was established.")};
    EXPECT_EQ(log.messages(), expected);
    EXPECT_EQ(sink.lines, expected);
}

TEST_P(ConnectToTargetTest, InteractiveFailureGivesTheErrorText) {
    RunMode mode(false);
    LogCapture log;
    RecordingProgressUi ui;
    ado::Connection cn = configured(QStringLiteral("NOPE"));
    QString error;
    EXPECT_FALSE(ConnectToTarget(cn, error, false));
    EXPECT_EQ(error, directOpenError(QStringLiteral("NOPE")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+ - \\S")).match(error).hasMatch())
        << error.toStdString();
    EXPECT_EQ(ui.calls, (QStringList{QStringLiteral("show"), QStringLiteral("hide")}));
    EXPECT_EQ(log.messages(),
              (QStringList{connectingLine(), QStringLiteral("Failed to Connect to Vesk DRAQ.")}));
    EXPECT_FALSE(error.contains(QStringLiteral("kvesk")));
    EXPECT_FALSE(log.all().contains(QStringLiteral("kvesk")));
}

TEST_P(ConnectToTargetTest, DialogVariantGoesThroughTheConnectionWindow) {
    RunMode mode(false);
    LogCapture log;
    RecordingSink sink;
    {
        RecordingProgressUi ui;
        ado::Connection cn = configured(QStringLiteral("NOPE"));
        QString error;
        EXPECT_FALSE(ConnectToTarget(cn, error, true));
        EXPECT_EQ(ui.calls, QStringList{QStringLiteral("modal")});
        EXPECT_EQ(error, directOpenError(QStringLiteral("NOPE")));
    }
    // Without a window the connection opens the same way: activity lines, no text log.
    ado::Connection cn = configured(QStringLiteral("PLANT1"));
    QString error;
    EXPECT_TRUE(ConnectToTarget(cn, error, true));
    EXPECT_EQ(cn.State(), ado::adStateOpen);
    EXPECT_EQ(sink.lines,
              (QStringList{connectingLine(), QStringLiteral("Failed to Connect to Vesk DRAQ."),
                           connectingLine(), QStringLiteral("Connection to Vesk DRAQ was established.")}));
    EXPECT_TRUE(log.messages().isEmpty()) << log.all().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, ConnectToTargetTest, kEngines, engineName);

TEST(InitTargetConnectionManager, ReadsTheSettingsAndSetsTheType) {
    TargetSite site(fixtures::Engine::SQLite);
    QTXConfiguration& config = AppConfig();
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS"),
                   QStringLiteral(" Encrypt=no "));
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_TIMEOUT"), QStringLiteral("12"));
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_COMMAND_TIMEOUT"), QStringLiteral("34"));
    ConnectionManager m;
    ASSERT_TRUE(InitTargetConnectionManager(m));
    EXPECT_EQ(TargetDbType(), 2);
    EXPECT_EQ(m.DbType(), 2);
    EXPECT_EQ(m.DB_PROVIDER(), QStringLiteral("SQLNCLI"));
    EXPECT_EQ(m.DB_DATASOURCE(), site.host().dataSource());
    EXPECT_EQ(m.DB_CUSTOMIZATION(), QStringLiteral("Encrypt=no"));
    EXPECT_EQ(m.CONNECTION_TIMEOUT_s(), 12);
    EXPECT_EQ(m.COMMAND_TIMEOUT_s(), 34);

    // The type is taken whatever Init says; an invalid one fails Init.
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE"), QStringLiteral("3"));
    ConnectionManager refused;
    EXPECT_FALSE(InitTargetConnectionManager(refused));
    EXPECT_EQ(TargetDbType(), 3);
    EXPECT_EQ(SqlDateLiteral(OleDate::fromParts(2009, 3, 5, 13, 15)), QString());

    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE"), QStringLiteral("two"));
    EXPECT_FALSE(InitTargetConnectionManager(refused));
    EXPECT_EQ(TargetDbType(), 0);

    site.configure(2);
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE"), QStringLiteral("   "));
    EXPECT_FALSE(InitTargetConnectionManager(refused));
    EXPECT_EQ(TargetDbType(), 2);
    site.configure(2);
}

struct LiteralCase {
    const char* name;
    std::int16_t type;
    double date;
    const char* expected;
};

void PrintTo(const LiteralCase& c, std::ostream* os) {
    *os << c.name;
}

class SqlDateLiteralTable : public ::testing::TestWithParam<LiteralCase> {};

TEST_P(SqlDateLiteralTable, FormatsForTheDialect) {
    const LiteralCase& c = GetParam();
    SetTargetDbType(c.type);
    EXPECT_EQ(SqlDateLiteral(c.date), QString::fromUtf8(c.expected));
    SetTargetDbType(0);
}

INSTANTIATE_TEST_SUITE_P(
    TargetConnection, SqlDateLiteralTable,
    ::testing::Values(
        LiteralCase{"OracleAfternoon", 1, OleDate::fromParts(2009, 3, 5, 13, 15),
                    "TO_DATE('05-Mar-2009 01:15:00 PM','dd-Mon-yyyy HH:MI:SS AM')"},
        LiteralCase{"OracleMidnight", 1, OleDate::fromParts(2009, 12, 31),
                    "TO_DATE('31-Dec-2009 12:00:00 AM','dd-Mon-yyyy HH:MI:SS AM')"},
        LiteralCase{"OracleNoon", 1, OleDate::fromParts(2010, 1, 2, 12, 0, 59),
                    "TO_DATE('02-Jan-2010 12:00:59 PM','dd-Mon-yyyy HH:MI:SS AM')"},
        LiteralCase{"SqlServerAfternoon", 2, OleDate::fromParts(2009, 3, 5, 13, 15), "'2009-03-05 13:15:00'"},
        LiteralCase{"SqlServerMidnight", 2, OleDate::fromParts(2009, 3, 5), "'2009-03-05 00:00:00'"},
        LiteralCase{"SqlServerRoundsToTheSecond", 2, OleDate::fromParts(2009, 3, 5, 23, 59, 59, 600),
                    "'2009-03-06 00:00:00'"},
        LiteralCase{"OtherType", 0, OleDate::fromParts(2009, 3, 5), ""}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
