// Hostile texts in every place where a setting, the target or the source hands the collector a
// name: site ids, facility names and directories, user names, tags, passwords, comments. Each one
// is kept verbatim or refused with a message that says why; none changes a statement (a canary
// table in every database stays as it was), and none can forge a line of the text log.
#include "CommonFiles/collector/CommonLastRun.h"
#include "CommonFiles/collector/CommonLastRunReadWrite.h"
#include "CommonFiles/collector/CommonVarGatherer.h"
#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/import/CommonFacilityWriter.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "custom/CustomConfiguration.h"
#include "custom/CustomSource.h"
#include "fixtures/DatabaseHost.h"
#include "fixtures/SourceDatabase.h"
#include "fixtures/TargetDatabase.h"
#include "platform/ado/AdoTypes.h"
#include "platform/ado/ConnectionString.h"
#include "platform/ado/FaultHook.h"
#include "tests/reliability/LogCapture.h"
#include "tests/reliability/ReliabilityReport.h"
#include "tests/reliability/ScratchDir.h"
#include "tests/support/PgCluster.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace {

using fixtures::Engine;

const bool pgRegistered = PgEnvironment::ensure();

struct HostileValue {
    std::string name;
    QString text;
};

QString longText() {
    QString out;
    const QString piece = QStringLiteral("Ab9'\";-_%[]{} ");
    while (out.size() < 4000)
        out += piece;
    return out.left(4000);
}

std::vector<HostileValue> hostileValues() {
    return {
        {"apostrophe", QStringLiteral("O'Brien")},
        {"double quotes", QStringLiteral("say \"hi\"")},
        {"semicolon", QStringLiteral("a;b")},
        {"statement end and comment", QStringLiteral("x'; DELETE FROM CANARY; --")},
        {"comment dashes", QStringLiteral("-- note")},
        {"brackets", QStringLiteral("[PLANT1]")},
        {"percent and underscore", QStringLiteral("100%_x")},
        {"CR LF", QStringLiteral("line1\r\nline2")},
        {"lone CR", QStringLiteral("a\rb")},
        {"NUL", QString(QStringLiteral("a")) + QChar(0) + QStringLiteral("b")},
        {"4000 characters", longText()},
        {"non-BMP characters", QString::fromUtf8("\xF0\x9F\x92\xA7 Wasser \xF0\x9D\x84\x9E")},
        {"semicolon and both quotes", QStringLiteral("a;b'c\"d")},
        {"braces", QStringLiteral("{x}")},
        {"blanks around", QStringLiteral("  padded  ")},
        {"forged log line", QStringLiteral("x\r\n12:34:56 : Import was successful.")},
    };
}

// What one hostile value did in one place.
enum class Verdict { Verbatim, Refused, Broken };

struct Outcome {
    Verdict verdict = Verdict::Broken;
    QString detail;
    static Outcome verbatim() { return {Verdict::Verbatim, {}}; }
    static Outcome refused(const QString& why) {
        return why.trimmed().isEmpty() ? Outcome{Verdict::Broken, "refused without a message"}
                                       : Outcome{Verdict::Refused, why};
    }
    static Outcome broken(const QString& why) { return {Verdict::Broken, why}; }
};

// Counts the cases of one test and reports every broken one.
class Tally {
public:
    explicit Tally(std::string place) : place_(std::move(place)) {}
    ~Tally() { reliability::reportFigure(QStringLiteral("hostile_handled"), handled_, total_); }

    // An extra promise every case must keep ("" when kept), such as: no statement text holds the
    // value.
    std::function<QString(const HostileValue&)> alsoCheck;

    void record(const std::string& component, const HostileValue& value, Outcome outcome) {
        ++total_;
        if (alsoCheck && outcome.verdict != Verdict::Broken) {
            const QString broken = alsoCheck(value);
            if (!broken.isEmpty()) outcome = Outcome::broken(broken);
        }
        if (outcome.verdict != Verdict::Broken) {
            ++handled_;
            return;
        }
        ADD_FAILURE() << place_ << " / " << component << " / " << value.name << ": "
                      << outcome.detail.toStdString();
    }
    int total() const { return total_; }

private:
    std::string place_;
    int handled_ = 0;
    int total_ = 0;
};

bool hasNul(const QString& s) {
    return s.contains(QChar(0));
}

// ---------------------------------------------------------------------------------------------
// The configuration store: every hostile value in every kind of setting, saved plain and
// enciphered and read back by a second store.

TEST(HostileInput, ConfigurationStoreKeepsOrRefusesEveryValue) {
    Tally tally("configuration store");
    const QStringList keys = {
        QStringLiteral("K48213\\SITE_ID"),
        QStringLiteral("K48213\\SQL_USERNAME"),
        QStringLiteral("K48213\\SQL_PASSWORD"),
        QStringLiteral("K48213\\SQL_URL"),
        QStringLiteral("K48213\\DATA_TABLE"),
        QStringLiteral("OPTIONS\\PASSWORD_PROTECT_CONFIG_PASSWORD"),
        QStringLiteral("OPTIONS\\NOIU\\LIMITFACILITY"),
    };
    for (const HostileValue& v : hostileValues()) {
        for (const QString& key : keys) {
            for (const bool encrypted : {false, true}) {
                TempDir dir;
                LogCapture capture(9);
                QTXConfiguration config;
                config.setLogHandler(&capture.log());
                DefineStartupKeys(config);
                CustomConfiguration::DefineTree(config);
                config.setPath(dir.file("k48213.xml"));
                config.setItem(key, v.text);
                config.setEncryptData(encrypted);
                const bool saved = config.SaveConfig();
                Outcome outcome;
                if (!saved) {
                    const QStringList lines = capture.messages();
                    outcome = Outcome::refused(lines.isEmpty() ? QString() : lines.join(" / "));
                    if (QFile::exists(config.path())) outcome = Outcome::broken("a refused save left a file");
                    if (!config.ChangeWasMade()) outcome = Outcome::broken("a refused save passed for saved");
                } else {
                    QTXConfiguration again;
                    DefineStartupKeys(again);
                    CustomConfiguration::DefineTree(again);
                    again.setPath(config.path());
                    if (!again.ReadConfig())
                        outcome = Outcome::broken("the saved file does not load");
                    else if (again.item(key) != v.text)
                        outcome = Outcome::broken("read back as [" + again.item(key) + "]");
                    else
                        outcome = Outcome::verbatim();
                }
                tally.record(key.toStdString() + (encrypted ? " enciphered" : " plain"), v, outcome);
            }
        }
    }
    EXPECT_EQ(tally.total(), int(hostileValues().size()) * 7 * 2);
}

// The dump shows every setting but no password, and no value can start a line of its own.
TEST(HostileInput, ConfigurationDumpMasksPasswordsAndCannotBeForged) {
    Tally tally("configuration dump");
    for (const HostileValue& v : hostileValues()) {
        LogCapture capture(9);
        QTXConfiguration config;
        config.setLogHandler(&capture.log());
        DefineStartupKeys(config);
        CustomConfiguration::DefineTree(config);
        config.setItem("K48213\\SQL_PASSWORD", v.text);
        config.setItem("K48213\\SITE_ID", v.text);
        config.dumpConfiguration();
        const QByteArray bytes = capture.bytes();
        const int entries = capture.stampedLineCount();
        // The frame lines, the heading and one line per key.
        const int expected = 3 + int(config.TreeHash().Keys().size());
        Outcome outcome = Outcome::verbatim();
        if (entries != expected)
            outcome = Outcome::broken(QString("%1 log entries for %2 writes").arg(entries).arg(expected));
        else if (v.text.size() > 3 && bytes.contains(v.text.toUtf8()) &&
                 !capture.messages().contains("K48213\\SITE_ID : " + v.text))
            outcome = Outcome::broken("the site id was not dumped as one entry");
        // The password may only appear as part of the site id's line.
        const QString masked = "K48213\\SQL_PASSWORD : " + QTXConfiguration::MaskedValue;
        if (!capture.messages().contains(masked))
            outcome = Outcome::broken("the password line is not masked");
        tally.record("dump", v, outcome);
    }
}

// Log lines: a value with line breaks of its own stays one entry, and reads back whole.
TEST(HostileInput, LogValuesCannotForgeLines) {
    Tally tally("text log");
    for (const HostileValue& v : hostileValues()) {
        LogCapture capture(9);
        capture.log().WriteLog(QStringLiteral("Processing facility '") + v.text + QStringLiteral("' (X)"), 0);
        capture.log().WriteLog(QStringLiteral("after"), 0);
        const int entries = capture.stampedLineCount();
        Outcome outcome = Outcome::verbatim();
        if (entries != 2) outcome = Outcome::broken(QString("%1 entries for 2 writes").arg(entries));
        const QStringList lines = capture.messages();
        if (lines.isEmpty() || !lines.first().startsWith(QStringLiteral("Processing facility '")))
            outcome = Outcome::broken("the entry does not start the file");
        if (lines.isEmpty() || lines.last() != QStringLiteral("after"))
            outcome = Outcome::broken("the next entry moved");
        tally.record("WriteLog", v, outcome);
    }
}

// ---------------------------------------------------------------------------------------------
// Database components, on every engine: a target with one facility and a source with one site,
// each database holding a canary table that no statement may touch.

const QString Facility = QStringLiteral("PLANT1");
const int InterfaceId = 101;
const int VarId = 1001;

QString engineName(Engine e) {
    return e == Engine::SQLite ? QStringLiteral("SQLite") : QStringLiteral("PostgreSQL");
}

class HostileDatabaseTest : public ::testing::TestWithParam<Engine> {
protected:
    static void SetUpTestSuite() {
        static TempDir home;
        qputenv("K48213_HOME", home.path().toUtf8());
        static const bool keys = [] {
            DefineStartupKeys(AppConfig());
            CustomConfiguration::DefineTree(AppConfig());
            AppMsgBox().setLogHandler(&AppLog());
            AppMsgBox().setSilentOperation(true);
            return true;
        }();
        (void)keys;
    }

    void SetUp() override {
        // Every statement the layer sends: a value must travel as a parameter, never as text.
        ado::setFaultHook([this](const ado::CallInfo& call) {
            if (call.kind != ado::CallInfo::Open) statements_.append(call.text);
        });
        if (GetParam() == Engine::SQLite) {
            folder_ = std::make_unique<ScratchDir>();
            host_ = fixtures::DatabaseHost::sqliteFolder(folder_->path());
        } else {
            PgCluster& pg = PgCluster::shared();
            if (!pg.running()) pg.start();
            host_ = fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg.port(), pg.superuser());
        }
        target_.emplace(fixtures::TargetDatabase::create(host_));
        target_->addFacility({Facility, QStringLiteral("Plant One"), Variant::null(),
                              Variant::fromDate(OleDate::fromParts(2000, 1, 1))});
        target_->addCollector({.interfaceId = InterfaceId, .name = QStringLiteral("North")});
        target_->addVariable(Facility, {.varid = VarId,
                                        .varnum = 1,
                                        .name = QStringLiteral("Flow"),
                                        .scadatag = QStringLiteral("KQ:12:305"),
                                        .interfaceId = InterfaceId});
        source_.emplace(fixtures::SourceDatabase::create(host_));
        source_->addSite(QStringLiteral("NW01"), QStringLiteral("NW01_DATA"));
        std::vector<fixtures::Reading> readings;
        for (int m = 0; m < 60; m += 10)
            readings.push_back({OleDate::fromParts(2024, 3, 1, 10, m), double(m), false});
        source_->addReadings(QStringLiteral("NW01_DATA"), 12, 305, readings);

        for (const QString& catalog : {QStringLiteral("QTXROOT"), Facility})
            target_->exec(catalog, canaryScript());
        source_->exec(canaryScript());

        setConfig("VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE", "2");
        setConfig("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER", "SQLNCLI");
        setConfig("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE", host_.dataSource());
        setConfig("VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS", "");
        setConfig("OPTIONS\\NOIU\\LIMITFACILITY", "");
        setConfig("OPTIONS\\AUTOMATED_IMPORT\\SUBMIT_CALC_REQUEST", "NO");
        setConfig("K48213\\SQL_URL", host_.dataSource());
        setConfig("K48213\\SQL_USERNAME", "username");
        setConfig("K48213\\SQL_PASSWORD", "tilvorna");
        setConfig("K48213\\SITE_ID", "NW01");
        setConfig("K48213\\DATA_TABLE", "");
        SetRunAsNTService(true);
        SetWriteAsUser(QString());
    }

    void TearDown() override {
        ado::setFaultHook({});
        SetRunAsNTService(false);
        SetWriteAsUser(QString());
        AppLog().closeLog();
        AppLog().setEnabled(false);
    }

    // The first statement whose text holds the value, as a failure; "" when none does.
    QString pastedInto(const HostileValue& v) const {
        if (v.text.trimmed().size() < 3) return {};
        for (const QString& statement : statements_)
            if (statement.contains(v.text))
                return QStringLiteral("the value is part of a statement: ") + statement.left(200);
        return {};
    }
    std::string place(const char* what) const {
        return what + (" on " + engineName(GetParam()).toStdString());
    }
    // Every case of the tally also checks that no statement holds the value.
    void watch(Tally& t) {
        t.alsoCheck = [this](const HostileValue& v) { return pastedInto(v); };
    }

    static QString canaryScript() {
        return QStringLiteral("CREATE TABLE CANARY (ID INTEGER, NOTE VARCHAR(40));"
                              "INSERT INTO CANARY (ID, NOTE) VALUES (1, 'intact');");
    }
    static void setConfig(const char* key, const QString& value) {
        AppConfig().setItem(QString::fromLatin1(key), value);
    }

    // Every database still holds its canary row, and the tables the program reads are unchanged.
    QString damage() {
        QStringList out;
        auto check = [&](const QString& where, const QList<QList<Variant>>& rows) {
            if (rows.size() != 1 || rows[0].size() != 2 || rows[0][0].toInt32() != 1 ||
                rows[0][1].toText() != QLatin1String("intact"))
                out << where + " canary changed";
        };
        check("root", target_->query("QTXROOT", "SELECT ID, NOTE FROM CANARY"));
        check("facility", target_->query(Facility, "SELECT ID, NOTE FROM CANARY"));
        check("source", source_->query("SELECT ID, NOTE FROM CANARY"));
        if (source_->query("SELECT COUNT(*) FROM SYSTEMS")[0][0].toInt32() < 1) out << "SYSTEMS emptied";
        if (target_->query("QTXROOT", "SELECT COUNT(*) FROM Facility")[0][0].toInt32() < 1)
            out << "Facility emptied";
        if (target_->query(Facility, "SELECT COUNT(*) FROM VarDesc")[0][0].toInt32() != 1)
            out << "VarDesc changed";
        return out.join("; ");
    }

    // AppLog() in a fresh folder; its messages since.
    void startLog() {
        AppLog().closeLog();
        logDir_ = std::make_unique<TempDir>();
        AppLog().setLogPath(logDir_->path());
        AppLog().setLogHandleFile(logDir_->file("handle"));
        AppLog().setBufferLength(1);
        AppLog().setVerbosity(9);
        AppLog().setEnabled(true);
    }
    QStringList logMessages() {
        AppLog().closeLog();
        QStringList out;
        for (const QString& name : QDir(logDir_->path()).entryList({"*.log"}, QDir::Files, QDir::Name)) {
            QFile f(logDir_->file(name));
            if (!f.open(QIODevice::ReadOnly)) continue;
            for (const QString& line : QString::fromUtf8(f.readAll()).split("\r\n", Qt::SkipEmptyParts))
                out << line.mid(11);
        }
        return out;
    }
    // Entries that begin with a time stamp, however a reader splits lines.
    int logEntries() {
        AppLog().closeLog();
        int n = 0;
        static const QRegularExpression stamp(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d : "));
        static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
        for (const QString& name : QDir(logDir_->path()).entryList({"*.log"}, QDir::Files, QDir::Name)) {
            QFile f(logDir_->file(name));
            if (!f.open(QIODevice::ReadOnly)) continue;
            for (const QString& line : QString::fromUtf8(f.readAll()).split(breaks))
                if (stamp.match(line).hasMatch()) ++n;
        }
        return n;
    }
    // The failure lines among the messages (the refusal's reason).
    QString failureText(const QStringList& lines) {
        QStringList out;
        for (const QString& l : lines)
            if (l.contains("rror") || l.contains("Unable") || l.contains("Refused") ||
                l.contains("Invalid") || l.contains("failed") || l.contains("too long"))
                out << l;
        return out.join(" / ");
    }

    // Log entries of a last-run update and of a limited gathering, for a name without surprises.
    int persistEntries(const QString& facility, double when) {
        startLog();
        CommonLastRun lastRun;
        EXPECT_TRUE(lastRun.PersistLastRunDate(InterfaceId, facility, when));
        return logEntries();
    }
    int gatherEntries(const QString& limit) {
        setConfig("OPTIONS\\NOIU\\LIMITFACILITY", limit);
        startLog();
        ado::Connection rootCn = openRoot();
        CommonVarGatherer gatherer;
        EXPECT_TRUE(gatherer.ReadVeskDRAQ(InterfaceId, rootCn));
        rootCn.Close();
        setConfig("OPTIONS\\NOIU\\LIMITFACILITY", "");
        return logEntries();
    }

    ado::Connection openRoot() {
        ConnectionManager manager;
        EXPECT_TRUE(InitTargetConnectionManager(manager));
        ado::Connection cn;
        manager.ConfigCnn4QTXROOT(cn);
        cn.Open();
        return cn;
    }

    std::unique_ptr<ScratchDir> folder_;
    std::unique_ptr<TempDir> logDir_;
    fixtures::DatabaseHost host_;
    std::optional<fixtures::TargetDatabase> target_;
    std::optional<fixtures::SourceDatabase> source_;
    QStringList statements_;
};

const double SlotStart = OleDate::fromParts(2024, 3, 1, 10, 0);
const double SlotEnd = OleDate::fromParts(2024, 3, 1, 11, 0);
constexpr double ExpectedAverage = 25.0; // readings 0, 10, ..., 50

// The site id names the site's SYSTEMS row: a site whose id is the hostile text is found by it
// and read; where the engine cannot hold the text, the read fails with its reason in the log.
TEST_P(HostileDatabaseTest, SiteIdsAreLookedUpVerbatim) {
    Tally tally(place("site id"));
    watch(tally);
    for (const HostileValue& v : hostileValues()) {
        startLog();
        // Where the engine cannot keep the id (its length, a NUL), the reader must refuse it.
        bool stored = false;
        try {
            source_->addSystemRow(v.text, QStringLiteral("NW01_DATA"));
            for (const QList<Variant>& row : source_->query("SELECT SystemID FROM SYSTEMS"))
                if (row[0].toText() == v.text) stored = true;
        } catch (const std::exception&) {
        }
        setConfig("K48213\\SITE_ID", v.text);
        setConfig("K48213\\DATA_TABLE", "");
        Outcome outcome;
        {
            CustomSource reader;
            reader.setSourceTag(QStringLiteral("KQ:12:305"));
            reader.setSourceStatistic(QStringLiteral("AVERAGE"));
            reader.setStartdate(SlotStart);
            reader.setEnddate(SlotEnd);
            bool error = false;
            const Variant value = reader.GetDoubleResult(error);
            const QStringList lines = logMessages();
            if (error)
                outcome = Outcome::broken("connection error");
            else if (!value.isNull() && value.toDouble() == ExpectedAverage && stored)
                outcome = AppConfig().item("K48213\\DATA_TABLE") == "NW01_DATA"
                              ? Outcome::verbatim()
                              : Outcome::broken("table not remembered");
            else if (value.isNull() && !stored)
                outcome = Outcome::refused(failureText(lines));
            else
                outcome = Outcome::broken("value " + value.toText() +
                                          (stored ? " for a stored id" : " for an id the engine refused"));
        }
        const QString dmg = damage();
        if (!dmg.isEmpty()) outcome = Outcome::broken(dmg);
        tally.record("SYSTEMS lookup", v, outcome);
    }
}

// Tags are checked before any statement is built; an invalid one is refused with its line.
// Checked before any engine is involved: once, on the embedded database.
class HostileSettingsTest : public HostileDatabaseTest {};

TEST_P(HostileSettingsTest, TagsAndTableNamesAreRefusedBeforeAnyStatement) {
    Tally tally(place("tags"));
    watch(tally);
    for (const HostileValue& v : hostileValues()) {
        struct Place {
            std::string name;
            std::function<void(CustomSource&)> set;
            QString expected;
        };
        const Place places[] = {
            {"source tag", [&](CustomSource& r) { r.setSourceTag(v.text); },
             "Validation Error : Invalid Senvista Source Tag"},
            {"source tag suffix", [&](CustomSource& r) { r.setSourceTag("KQ:12:305" + v.text); },
             "Validation Error : Invalid Senvista Source Tag"},
            {"filter tag",
             [&](CustomSource& r) {
                 r.setSourceTag(QStringLiteral("KQ:12:305"));
                 r.setFilterTag(Variant(v.text));
             },
             "Validation Error : Invalid Senvista Filter Tag"},
            {"statistic",
             [&](CustomSource& r) {
                 r.setSourceTag(QStringLiteral("KQ:12:305"));
                 r.setSourceStatistic(v.text);
             },
             "Validation Error : Unsupported Statistic '"},
        };
        for (const Place& place : places) {
            startLog();
            CustomSource reader;
            reader.setSourceStatistic(QStringLiteral("AVERAGE"));
            place.set(reader);
            const bool valid = reader.Validate();
            const QStringList lines = logMessages();
            Outcome outcome;
            bool lineFound = false;
            for (const QString& l : lines)
                if (l.startsWith(place.expected)) lineFound = true;
            if (valid)
                outcome = Outcome::broken("accepted");
            else if (!lineFound)
                outcome = Outcome::broken("refused without its line: " + lines.join(" / "));
            else
                outcome = Outcome::refused(place.expected);
            const QString dmg = damage();
            if (!dmg.isEmpty()) outcome = Outcome::broken(dmg);
            tally.record(place.name, v, outcome);
        }

        // A configured readings table that is not a plain name never reaches a statement.
        startLog();
        setConfig("K48213\\SITE_ID", "NW01");
        setConfig("K48213\\DATA_TABLE", v.text);
        Outcome outcome;
        {
            CustomSource reader;
            reader.setSourceTag(QStringLiteral("KQ:12:305"));
            reader.setSourceStatistic(QStringLiteral("AVERAGE"));
            reader.setStartdate(SlotStart);
            reader.setEnddate(SlotEnd);
            bool error = false;
            const Variant value = reader.GetDoubleResult(error);
            const QStringList lines = logMessages();
            const QString why = failureText(lines);
            // The setting is trimmed first; blanks around a plain name leave a table that does
            // not exist, which the read reports like any failed query.
            const bool plain = CustomSource::IsPlainTableName(v.text.trimmed());
            const QString expected = plain ? QStringLiteral("Execution Error occured reading source data")
                                           : QStringLiteral("not a plain table name");
            if (!value.isNull())
                outcome = Outcome::broken("read from table [" + v.text + "]");
            else if (!why.contains(expected))
                outcome = Outcome::broken("no refusal line: " + lines.join(" / "));
            else
                outcome = Outcome::refused(why);
            if (logEntries() != lines.size()) outcome = Outcome::broken("the refusal line was split");
        }
        setConfig("K48213\\DATA_TABLE", "");
        const QString dmg = damage();
        if (!dmg.isEmpty()) outcome = Outcome::broken(dmg);
        tally.record("DATA_TABLE", v, outcome);
    }
}

// The source account: user name and password reach the connection string as given, or the
// string is refused as a whole.
TEST_P(HostileSettingsTest, SourceCredentialsReachTheConnectionStringVerbatim) {
    Tally tally(place("source credentials"));
    watch(tally);
    for (const HostileValue& v : hostileValues()) {
        for (const char* key : {"K48213\\SQL_USERNAME", "K48213\\SQL_PASSWORD", "K48213\\SQL_URL"}) {
            setConfig("K48213\\SQL_USERNAME", "username");
            setConfig("K48213\\SQL_PASSWORD", "tilvorna");
            setConfig("K48213\\SQL_URL", host_.dataSource());
            setConfig(key, v.text);
            CustomSource reader;
            const QString text = reader.GenerateSourceConnString(false);
            Outcome outcome;
            try {
                const ado::ConnectionString cs = ado::ConnectionString::parse(text);
                const QString got = QString(key).endsWith("USERNAME")   ? cs.userId()
                                    : QString(key).endsWith("PASSWORD") ? cs.password()
                                                                        : cs.dataSource();
                if (got != v.text)
                    outcome = Outcome::broken("parsed as [" + got + "]");
                else if (cs.catalog() != "VIRev" || cs.provider() != "SQLOLEDB.1")
                    outcome = Outcome::broken("another key was changed");
                else
                    outcome = Outcome::verbatim();
            } catch (const ado::AdoError& e) {
                outcome = Outcome::refused(e.description());
            }
            // The masked form never shows the password.
            if (QString(key).endsWith("PASSWORD") && v.text.size() > 2 &&
                reader.GenerateSourceConnString(true).contains(v.text))
                outcome = Outcome::broken("password in the masked string");
            tally.record(key, v, outcome);
        }
    }
    setConfig("K48213\\SQL_USERNAME", "username");
    setConfig("K48213\\SQL_PASSWORD", "tilvorna");
    setConfig("K48213\\SQL_URL", host_.dataSource());
}

// Facility names come from the target's Facility table. One that cannot be a database name never
// reaches a connection string; its rows in the root tables are still kept and found verbatim.
TEST_P(HostileDatabaseTest, FacilityNamesAreKeptVerbatimOrRefused) {
    Tally tally(place("facility names"));
    watch(tally);
    for (const HostileValue& v : hostileValues()) {
        ConnectionManager manager;
        ASSERT_TRUE(InitTargetConnectionManager(manager));
        const QString text = manager.BuildConnectionString(v.text);
        Outcome outcome;
        if (text.isEmpty())
            outcome = Outcome::refused("not a database name");
        else
            outcome = ado::ConnectionString::parse(text).catalog() == v.text.toUpper()
                          ? Outcome::verbatim()
                          : Outcome::broken("catalog of [" + text + "]");
        tally.record("facility connection string", v, outcome);

        // The last-run row of such a facility (the last-run viewer writes and reads one).
        startLog();
        ado::Connection root = openRoot();
        CommonLastRunReadWrite rw;
        const double when = OleDate::fromParts(2024, 3, 1, 6, 0);
        const bool written = rw.SetLastRunDate(v.text, when, root, InterfaceId);
        // The viewer shows the connection's error when the write returns False.
        const QString why = root.Errors().isEmpty() ? QString() : root.Errors().first().description;
        double back = 0;
        const bool read = written && rw.ReadLastRunInfo(v.text, root, back, InterfaceId);
        root.Close();
        if (written && read && back == when && rw.FacilityID() == v.text)
            outcome = Outcome::verbatim();
        else if (!written)
            outcome = Outcome::refused(why);
        else
            outcome = Outcome::broken("read back [" + rw.FacilityID() + "]");
        const QString dmg = damage();
        if (!dmg.isEmpty()) outcome = Outcome::broken(dmg);
        tally.record("g2_server_run row", v, outcome);

        // The service's record of a facility's run, and its log line: as many log entries as for
        // a plain name.
        const int plainEntries = persistEntries(QStringLiteral("PLAIN1"), when);
        startLog();
        CommonLastRun lastRun;
        const bool persisted = lastRun.PersistLastRunDate(InterfaceId, v.text, when);
        const int entries = logEntries();
        if (persisted) {
            const auto rows = target_->query(
                "QTXROOT", "SELECT LASTRUN FROM g2_server_run WHERE filename = ?", {Variant(v.text)});
            outcome = rows.size() == 1 ? Outcome::verbatim() : Outcome::broken("row not found by its name");
            if (entries != plainEntries)
                outcome = Outcome::broken(
                    QString("%1 log entries, %2 for a plain name").arg(entries).arg(plainEntries));
        } else {
            // Documented to fail without a line of its own; the import then logs its warning.
            outcome =
                Outcome::refused(GetParam() == Engine::PostgreSQL
                                     ? QStringLiteral("False, and the import's 'WARNING : Unable to persist "
                                                      "Last Run Date'")
                                     : QString());
        }
        const QString dmg2 = damage();
        if (!dmg2.isEmpty()) outcome = Outcome::broken(dmg2);
        tally.record("PersistLastRunDate", v, outcome);

        // A facility limit names one facility: the gathering query compares it as a value.
        const int plainGatherEntries = gatherEntries(QStringLiteral("NOSUCHPLANT"));
        setConfig("OPTIONS\\NOIU\\LIMITFACILITY", v.text);
        startLog();
        {
            ado::Connection rootCn = openRoot();
            CommonVarGatherer gatherer;
            const bool ok = gatherer.ReadVeskDRAQ(InterfaceId, rootCn);
            const QString why = rootCn.Errors().isEmpty() ? QString() : rootCn.Errors().first().description;
            rootCn.Close();
            const int facilities =
                gatherer.FacilID2FacilNameHash() ? gatherer.FacilID2FacilNameHash()->Count() : -1;
            if (!ok)
                outcome = Outcome::refused(why);
            else if (facilities != 0)
                outcome = Outcome::broken(QString("%1 facilities gathered").arg(facilities));
            else
                outcome = Outcome::verbatim();
            if (logEntries() != plainGatherEntries)
                outcome = Outcome::broken(
                    QString("%1 log entries, %2 for a plain name").arg(logEntries()).arg(plainGatherEntries));
        }
        setConfig("OPTIONS\\NOIU\\LIMITFACILITY", "");
        const QString dmg3 = damage();
        if (!dmg3.isEmpty()) outcome = Outcome::broken(dmg3);
        tally.record("LIMITFACILITY", v, outcome);
    }
}

// A facility's directory replaces the data source of its connection: as given, or not at all.
TEST_P(HostileDatabaseTest, FacilityDirectoriesReachTheConnectionStringVerbatim) {
    Tally tally(place("facility directories"));
    watch(tally);
    for (const HostileValue& v : hostileValues()) {
        Outcome outcome;
        bool stored = false;
        try {
            target_->run("QTXROOT", "UPDATE Facility SET directory = ? WHERE filename = ?",
                         {Variant(v.text), Variant(Facility)});
            stored = target_->query("QTXROOT", "SELECT directory FROM Facility")[0][0].toText() == v.text;
        } catch (const std::exception&) {
        }
        if (!stored) {
            // The engine cannot keep such a directory (its length, a NUL): nothing of it reaches
            // the collector.
            tally.record("replacement data source", v, Outcome::refused(QStringLiteral("not storable")));
            continue;
        }
        ado::Connection root = openRoot();
        ConnectionManager manager;
        ASSERT_TRUE(InitTargetConnectionManager(manager));
        manager.setDataSourceReplace(true);
        const bool refreshed = manager.RefreshDsHASH(root);
        root.Close();
        const QString text = manager.BuildConnectionString(Facility);
        try {
            const ado::ConnectionString cs = ado::ConnectionString::parse(text);
            if (!refreshed)
                outcome = Outcome::broken("map not read");
            else if (cs.dataSource() == v.text.trimmed())
                outcome = Outcome::verbatim();
            else if (cs.dataSource().isEmpty())
                outcome = Outcome::refused("the directory cannot be written into a connection string");
            else
                outcome = Outcome::broken("data source [" + cs.dataSource() + "]");
            if (cs.catalog() != Facility || cs.userId() != "QTXDBA")
                outcome = Outcome::broken("keys changed: " + text);
        } catch (const ado::AdoError& e) {
            outcome = Outcome::refused(e.description());
        }
        const QString dmg = damage();
        if (!dmg.isEmpty()) outcome = Outcome::broken(dmg);
        tally.record("replacement data source", v, outcome);
    }
}

// User names written into the target's audit columns, and comments: stored as given, or the
// write fails with the engine's reason in the log.
TEST_P(HostileDatabaseTest, WriteAsUsersAndCommentsAreStoredVerbatim) {
    Tally tally(place("audit users and comments"));
    watch(tally);
    double day = OleDate::fromParts(2024, 3, 1);
    for (const HostileValue& v : hostileValues()) {
        day = OleDate::addDays(day, 1);
        startLog();
        SetWriteAsUser(v.text);
        Outcome outcome;
        {
            CommonFacilityWriter writer;
            writer.setfacilID(Facility);
            writer.setLockDate(OleDate::fromParts(2000, 1, 1));
            const bool ok =
                writer.WriteToVeskDRAQ(fixtures::VarTypeCode::Daily, VarId, day, 2.5, QString(), 1);
            const QStringList lines = logMessages();
            const auto rows =
                target_->query(Facility, "SELECT audituser FROM DATATBL WHERE varid = ? AND datestamp = ?",
                               {Variant(VarId), Variant::fromDate(day)});
            if (ok && rows.size() == 1 && rows[0][0].toText() == v.text)
                outcome = Outcome::verbatim();
            else if (!ok && rows.isEmpty())
                outcome =
                    Outcome::refused(failureText(lines).isEmpty() ? lines.join(" / ") : failureText(lines));
            else
                outcome = Outcome::broken(QString("write %1, %2 rows, user [%3]")
                                              .arg(ok)
                                              .arg(rows.size())
                                              .arg(rows.isEmpty() ? QString() : rows[0][0].toText()));
            writer.DestroyConnection();
        }
        SetWriteAsUser(QString());
        QString dmg = damage();
        if (!dmg.isEmpty()) outcome = Outcome::broken(dmg);
        tally.record("write-as user", v, outcome);

        startLog();
        {
            CommonFacilityWriter writer;
            writer.setfacilID(Facility);
            writer.setLockDate(OleDate::fromParts(2000, 1, 1));
            const bool ok = writer.WriteCOMtoVeskDRAQ(fixtures::VarTypeCode::Daily, VarId, day, v.text);
            const auto rows =
                target_->query(Facility, "SELECT comment FROM DATATBL_C WHERE varid = ? AND datestamp = ?",
                               {Variant(VarId), Variant::fromDate(day)});
            const QString expected = CommonFacilityWriter::CutComment(v.text);
            if (ok && rows.size() == 1 && rows[0][0].toText() == expected)
                outcome = Outcome::verbatim();
            else if (!ok && rows.isEmpty())
                outcome = Outcome::refused("the comment write failed");
            else
                outcome = Outcome::broken(QString("write %1, %2 rows, comment [%3]")
                                              .arg(ok)
                                              .arg(rows.size())
                                              .arg(rows.isEmpty() ? QString() : rows[0][0].toText()));
            writer.DestroyConnection();
        }
        dmg = damage();
        if (!dmg.isEmpty()) outcome = Outcome::broken(dmg);
        tally.record("comment", v, outcome);
    }
}

std::string engineLabel(const ::testing::TestParamInfo<Engine>& info) {
    return engineName(info.param).toStdString();
}

INSTANTIATE_TEST_SUITE_P(Engines, HostileDatabaseTest, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         engineLabel);
INSTANTIATE_TEST_SUITE_P(Embedded, HostileSettingsTest, ::testing::Values(Engine::SQLite), engineLabel);

// A folder whose name is hostile holds the application's files like any other: the
// configuration file, the log and an embedded target database (named in a connection string).
TEST(HostileInput, FolderNamesHoldTheProgramsFiles) {
    Tally tally("folder names");
    ScratchDir parent;
    for (const HostileValue& v : hostileValues()) {
        const QString folder = parent.path() + "/" + v.text;
        if (hasNul(v.text) || v.text.toUtf8().size() > 255 || v.text.contains('/') ||
            !QDir().mkpath(folder)) {
            // The file system refuses the name itself; nothing of ours is involved.
            tally.record("folder", v, Outcome::refused("the file system cannot name a folder so"));
            continue;
        }
        Outcome outcome = Outcome::verbatim();
        {
            LogCapture capture(9);
            QTXConfiguration config;
            config.setLogHandler(&capture.log());
            DefineStartupKeys(config);
            config.setPath(folder + "/k48213.xml");
            if (!config.ReadConfig() || !QFile::exists(folder + "/k48213.xml"))
                outcome = Outcome::broken("configuration not created in the folder");
            config.setItem("OPTIONS\\LOG_VERBOSITY", "5");
            if (!config.SaveConfig()) outcome = Outcome::broken("configuration not saved in the folder");
        }
        {
            QTXLoggerTXT log;
            log.setLogPath(folder + "/log");
            log.setLogHandleFile(folder + "/k48213.log_handle");
            log.setLogHandleAssertion(true);
            log.setBufferLength(1);
            log.setEnabled(true);
            log.WriteLog("written", 0);
            const QString file = log.currentFileName();
            log.closeLog();
            if (file.isEmpty() || !file.startsWith(folder + "/log/") || !QFile::exists(file))
                outcome = Outcome::broken("log not written in the folder");
            QFile handle(folder + "/k48213.log_handle");
            if (!handle.open(QIODevice::ReadOnly) ||
                QString::fromUtf8(handle.readAll()) != QDir::toNativeSeparators(file) + "\r\n")
                outcome = Outcome::broken("log handle does not name the file");
        }
        {
            const auto host = fixtures::DatabaseHost::sqliteFolder(folder);
            auto target = fixtures::TargetDatabase::create(host);
            ConnectionManager manager;
            manager.Init(DbTypeSqlServer, "SQLNCLI", host.dataSource(), QString(), false, 5, 5);
            ado::Connection cn;
            manager.ConfigCnn4QTXROOT(cn);
            try {
                cn.Open();
                cn.Execute("SELECT COUNT(*) FROM Facility");
                cn.Close();
            } catch (const ado::AdoError& e) {
                // The data source setting is trimmed, so a folder named with blanks around is not
                // found: refused, saying which folder it looked for.
                outcome = v.text != v.text.trimmed() && e.description().contains("does not exist")
                              ? Outcome::refused(e.description())
                              : Outcome::broken("embedded target not opened: " + e.description());
            }
        }
        tally.record("folder", v, outcome);
    }
}

} // namespace
