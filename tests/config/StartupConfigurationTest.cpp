#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/LoadStartupConfiguration.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "custom/CustomConfiguration.h"
#include "tests/config/ConfigTestSupport.h"
#include "tests/support/FakeClock.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <map>

namespace {

struct KeyDefault {
    const char* key;
    const char* value; // nullptr: a date computed at start-up
};

// Every key start-up defines, in definition order, with its documented default.
const KeyDefault StartupKeys[] = {
    {"OPTIONS", ""},
    {"OPTIONS\\INSTANCE_SERVICE_NAME", "Vesk_DRAQ_K48213_Interface"},
    {"OPTIONS\\REFRESH_STATUS_SECONDS", "1"},
    {"OPTIONS\\REFRESH_LOG_SECONDS", "2"},
    {"OPTIONS\\REFRESH_LOGSIZE", "4096"},
    {"OPTIONS\\LOG_VERBOSITY", "0"},
    {"OPTIONS\\KEEP_LOGS_FOR", "30"},
    {"OPTIONS\\ENCRYPT_PROTECT_CONFIG", "NO"},
    {"OPTIONS\\PASSWORD_PROTECT_CONFIG", "NO"},
    {"OPTIONS\\PASSWORD_PROTECT_CONFIG_PASSWORD", "70419"},
    {"OPTIONS\\PASSWORD_PROTECT_INTERACTIVE_IMPORT", "NO"},
    {"OPTIONS\\AUTOMATED_IMPORT", ""},
    {"OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE", ""},
    {"OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY", "YES"},
    {"OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY_HOUR", "0"},
    {"OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY_MINUTE", "1"},
    {"OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\HOURLY", "NO"},
    {"OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\HOURLY_MINUTE", "1"},
    {"OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\MINUTELY", "NO"},
    {"OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\MINUTELY_MINUTE", "10"},
    {"OPTIONS\\AUTOMATED_IMPORT\\SUBMIT_CALC_REQUEST", "YES"},
    {"OPTIONS\\AUTOMATED_IMPORT\\REAL_OPERATION_MODE", "YES"},
    {"OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN", nullptr},
    {"OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE", "0"},
    {"OPTIONS\\PERFORMANCE\\THROTTLE", "FALSE"},
    {"OPTIONS\\PERFORMANCE\\POLL_WAIT", "500"},
    {"OPTIONS\\PERFORMANCE\\MSG_BEFORE", "TRUE"},
    {"OPTIONS\\PERFORMANCE\\MSG_AFTER", "TRUE"},
    {"OPTIONS\\NOIU\\ASKFORDATES\\HIDE_UI", "FALSE"},
    {"OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE", nullptr},
    {"OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE", nullptr},
    {"OPTIONS\\NOIU\\LIMITFACILITY", ""},
    {"SOURCE", ""},
    {"SOURCE\\RECOVERY", ""},
    {"SOURCE\\RECOVERY\\ATTEMPTS", "6"},
    {"SOURCE\\RECOVERY\\SECONDS", "10"},
    {"SOURCE\\STATICCOMMONIMPORT", "FALSE"},
    {"SOURCE\\CACHE", ""},
    {"SOURCE\\CACHE\\ENABLED", "TRUE"},
    {"SOURCE\\CACHE\\LIMIT_BY_DATAPOINTS", "TRUE"},
    {"SOURCE\\CACHE\\LIMIT_BY_DAYS", "TRUE"},
    {"SOURCE\\CACHE\\LIMIT_BY_BYTES", "TRUE"},
    {"SOURCE\\CACHE\\LIMIT_BY_DATAPOINTS_SETPOINT", "60480"},
    {"SOURCE\\CACHE\\LIMIT_BY_DAYS_SETPOINT", "14"},
    {"SOURCE\\CACHE\\LIMIT_BY_BYTES_SETPOINT", "483840"},
    {"TARGET", ""},
    {"TARGET\\RECOVERY", ""},
    {"TARGET\\RECOVERY\\ATTEMPTS", "6"},
    {"TARGET\\RECOVERY\\SECONDS", "10"},
    {"VESKDRAQ", ""},
    {"VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE", "2"},
    {"VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER", "SQLNCLI"},
    {"VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE", "type_in_name_of_your_datasource"},
    {"VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS", ""},
    {"VESKDRAQ\\VESKDRAQ_CONNECTION_TIMEOUT", "15"},
    {"VESKDRAQ\\VESKDRAQ_CONNECTION_COMMAND_TIMEOUT", "30"},
    {"VESKDRAQ\\G2_SERVER_INTERFACE_ID", "0"},
    {"VESKDRAQ\\G2_INDIRECT_TYPE", "FALSE"},
    {"K48213", ""},
    {"K48213\\SITE_ID", "SITEID"},
    {"K48213\\SQL_USERNAME", "username"},
    {"K48213\\SQL_PASSWORD", "tilvorna"},
    {"K48213\\SQL_URL", "sql.senvista.example"},
    {"K48213\\DATA_TABLE", ""},
};

// One start-up on its own objects: a real log and a silent message-box handler writing to it.
struct Startup {
    explicit Startup(const QString& folder) : path(folder + "/k48213.xml") {
        log.log.setVerbosity(0);
        box.setLogHandler(&log.log);
        box.setSilentOperation(true);
        config.setLogHandler(&log.log);
    }
    bool run() {
        return LoadStartupConfiguration(config, log.log, box, path, &CustomConfiguration::DefineTree);
    }

    QString path;
    TestLog log;
    QTXmsgBoxHandler box;
    QTXConfiguration config;
};

QByteArray optionsFile(const QString& verbosity, const QString& keepDays, const QString& encrypt = "NO") {
    auto element = [](const char* name, const QString& text) {
        return text.isEmpty() ? QByteArray("<") + name + "/>"
                              : "<" + QByteArray(name) + ">" + text.toUtf8() + "</" + name + ">";
    };
    return "<qtxconfigurationxml><spec version=\"1\" encrypted=\"False\">doc</spec><data><OPTIONS>" +
           element("LOG_VERBOSITY", verbosity) + element("KEEP_LOGS_FOR", keepDays) +
           element("ENCRYPT_PROTECT_CONFIG", encrypt) + "</OPTIONS></data></qtxconfigurationxml>";
}

// The element order a file must have: each key's elements in the order of their first
// appearance when the keys are enumerated by the store's hash table (4096 buckets).
QStringList expectedElementOrder() {
    KeyedHash<QString> hash;
    hash.SetSize(4096, 0, 0);
    for (const auto& k : StartupKeys)
        hash.Add(k.key, "");
    QStringList order;
    for (const QString& key : hash.Keys()) {
        const QStringList segments = key.split('\\');
        for (qsizetype n = 1; n <= segments.size(); ++n) {
            const QString path = segments.mid(0, n).join('\\');
            if (!order.contains(path)) order.append(path);
        }
    }
    // Document order is depth first: a parent's later children come right after its earlier ones.
    QStringList documentOrder;
    std::function<void(const QString&)> visit = [&](const QString& parent) {
        for (const QString& path : order) {
            const qsizetype cut = path.lastIndexOf('\\');
            const QString up = cut < 0 ? QString() : path.left(cut);
            if (up != parent) continue;
            documentOrder.append(path);
            visit(path);
        }
    };
    visit(QString());
    return documentOrder;
}

TEST(StartupConfigurationTest, FirstStartCreatesEveryKeyAndASecondStartReadsItBack) {
    FakeClock clock(OleDate::fromParts(2024, 3, 1, 10, 20, 30));
    TempDir app;
    Startup first(app.path());
    ASSERT_TRUE(first.run());

    const std::map<QString, QString> dates = {
        {"OPTIONS\\AUTOMATED_IMPORT\\DEFAULT_LAST_RUN", "02-29-2024 00:00:00"},
        {"OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE", "02-29-2024 10:20:30"},
        {"OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE", "03-01-2024 10:20:30"},
    };
    EXPECT_EQ(first.config.TreeHash().Count(), int(std::size(StartupKeys)));

    XmlElement root;
    ASSERT_TRUE(root.LoadXmlFile(first.path)) << root.lastError().toStdString();
    const XmlElement data = root.firstChild("data");
    for (const auto& k : StartupKeys) {
        const QString expected = k.value ? QString(k.value) : dates.at(k.key);
        EXPECT_EQ(valueInFile(data, k.key), expected) << k.key;
        EXPECT_EQ(first.config.item(k.key), expected) << k.key;
    }
    const QStringList paths = elementPathsOfFile(first.path);
    EXPECT_EQ(paths, expectedElementOrder());
    // The hash order, not the definition order: worked out by hand from the packed-word hash.
    QStringList topLevel;
    for (const XmlElement& e : data.children())
        topLevel.append(e.name());
    EXPECT_EQ(topLevel, (QStringList{"TARGET", "SOURCE", "OPTIONS", "K48213", "VESKDRAQ"}));
    QStringList source;
    for (const XmlElement& e : data.firstChild("K48213").children())
        source.append(e.name());
    EXPECT_EQ(source, (QStringList{"DATA_TABLE", "SQL_USERNAME", "SQL_URL", "SITE_ID", "SQL_PASSWORD"}));
    EXPECT_EQ(first.config.TreeHash().Keys().mid(0, 3),
              (QStringList{"TARGET\\RECOVERY\\ATTEMPTS", "SOURCE\\CACHE\\ENABLED",
                           "SOURCE\\CACHE\\LIMIT_BY_DATAPOINTS"}));
    for (const QString& p : paths) {
        EXPECT_FALSE(p.contains("UNITCONVERT")) << p.toStdString();
        EXPECT_FALSE(p.contains("AINFO")) << p.toStdString();
    }
    EXPECT_FALSE(first.config.ItemExists("TARGET\\UNITCONVERT\\ENABLED"));
    EXPECT_FALSE(first.config.ItemExists("TARGET\\AINFO\\ENABLED"));

    const QStringList lines = first.log.messages();
    const QStringList expectedStart = {
        "Configuration file does not exist at " + first.path,
        "Attempting to create a default configuration file...",
        "Default configuration file successfully created.",
        "[Log Verbosity is set to 0, Log Date is 03/01/2024]",
        "Logs in '" + first.log.log.LogPath() + "' will be removed after they are older than 30 days.",
    };
    EXPECT_EQ(lines.mid(0, 5), expectedStart);
    EXPECT_TRUE(first.config.ChangeWasMade()); // the write-backs count as changes
    EXPECT_FALSE(first.config.EncryptData());

    // A day later the file's values win over freshly computed defaults, and nothing is rewritten.
    const QByteArray fileBefore = readFile(first.path);
    clock.advanceMinutes(24 * 60);
    Startup second(app.path());
    ASSERT_TRUE(second.run());
    for (const auto& k : StartupKeys)
        EXPECT_EQ(second.config.item(k.key), first.config.item(k.key)) << k.key;
    EXPECT_EQ(readFile(first.path), fileBefore);
    EXPECT_FALSE(second.log.contains("Configuration file does not exist at " + second.path));
}

struct Normalisation {
    const char* verbosityText;
    int verbosity;
    const char* keepText;
    int keepDays;
};

TEST(StartupConfigurationTest, VerbosityAndRetentionAreNormalisedAndWrittenBack) {
    const Normalisation cases[] = {
        {"12", 9, "3", 7},           {"-3", 0, "5000", 1000},    {"abc", 0, "", 30},
        {"2.5", 2, "365.5", 366},    {"3.5", 4, "364.5", 364},   {"0.5", 0, "7", 7},
        {"9.5", 9, "1000.4", 1000},  {" 4 ", 4, " 60 ", 60},     {"", 0, "x", 30},
        {"40000", 9, "40000", 1000}, {"-40000", 0, "-70000", 7}, {"1e1", 9, "2E2", 200},
        {"1e400", 0, "1e400", 30},   {"5", 5, "30", 30},         {"-0.5", 0, "6.5", 7},
        {"1,5", 0, "0x10", 30},
    };
    for (const auto& c : cases) {
        TempDir app;
        Startup s(app.path());
        writeFile(s.path, optionsFile(c.verbosityText, c.keepText));
        ASSERT_TRUE(s.run()) << c.verbosityText;
        EXPECT_EQ(s.config.item("OPTIONS\\LOG_VERBOSITY"), QString::number(c.verbosity)) << c.verbosityText;
        EXPECT_EQ(s.log.log.Verbosity(), c.verbosity) << c.verbosityText;
        EXPECT_EQ(s.config.item("OPTIONS\\KEEP_LOGS_FOR"), QString::number(c.keepDays)) << c.keepText;
        EXPECT_EQ(s.log.log.RetentionDays(), c.keepDays) << c.keepText;
        EXPECT_TRUE(s.log.messages()
                        .filter("[Log Verbosity is set to " + QString::number(c.verbosity) + ",")
                        .size() == 1)
            << c.verbosityText;
        EXPECT_TRUE(s.log.contains("Logs in '" + s.log.log.LogPath() +
                                   "' will be removed after they are older than " +
                                   QString::number(c.keepDays) + " days."))
            << c.keepText;
        EXPECT_TRUE(s.config.ChangeWasMade());
        EXPECT_EQ(NormalizedStartupOption(c.verbosityText, 0, 0, 9), c.verbosity) << c.verbosityText;
        EXPECT_EQ(NormalizedStartupOption(c.keepText, 30, 7, 1000), c.keepDays) << c.keepText;
    }
}

struct EncryptionCase {
    const char* text;
    bool enciphered;
};

TEST(StartupConfigurationTest, EncryptionFlagAndTheNextSave) {
    const EncryptionCase cases[] = {{"yes", true},   {"YES", true}, {"Yes", true}, {"Y", false},
                                    {"TRUE", false}, {"NO", false}, {"", false}};
    for (const auto& c : cases) {
        TempDir app;
        Startup s(app.path());
        writeFile(s.path, optionsFile("0", "30", c.text));
        ASSERT_TRUE(s.run());
        EXPECT_EQ(s.config.EncryptData(), c.enciphered) << c.text;
        ASSERT_TRUE(SaveConfigurationIfChanged(s.config)) << c.text;
        EXPECT_EQ(readFile(s.path).contains("encrypted=\"True\""), c.enciphered) << c.text;
        EXPECT_EQ(readFile(s.path).contains("LOG_VERBOSITY"), !c.enciphered) << c.text;

        Startup again(app.path());
        ASSERT_TRUE(again.run()) << c.text;
        EXPECT_FALSE(
            again.log.contains("Failed to decrypt XML data in QTXConfiguration.ValidateXMLformat()"));
        EXPECT_EQ(again.config.item("OPTIONS\\ENCRYPT_PROTECT_CONFIG"), c.text);
        EXPECT_EQ(again.config.item("K48213\\SQL_PASSWORD"), "tilvorna");
    }
}

struct Unreadable {
    const char* name;
    QByteArray content; // written to the file unless missingFolder
    bool missingFolder;
};

TEST(StartupConfigurationTest, UnreadableFileEndsStartUpWithTheSilentBox) {
    const Unreadable cases[] = {
        {"not XML", "this is not a configuration", false},
        {"wrong root", "<configuration><spec version=\"1\"/><data/></configuration>", false},
        {"version 2", "<qtxconfigurationxml><spec version=\"2\"/><data/></qtxconfigurationxml>", false},
        {"folder missing, file cannot be created", "", true},
    };
    for (const auto& c : cases) {
        TempDir app;
        Startup s(c.missingFolder ? app.file("gone") : app.path());
        if (!c.missingFolder) writeFile(s.path, c.content);
        EXPECT_FALSE(s.run()) << c.name;
        const QStringList lines = s.log.messages();
        const QStringList block = {
            "=============================== SILENT QTXMSGBOX ===============================",
            "PROMPT= Unable to read configuration at " + s.path,
            "BUTTONS= 48",
            "TITLE= Unable to start Vesk_DRAQ_K48213_Interface",
            "ANSWER= OK",
            QString(77, '='),
        };
        ASSERT_GE(lines.size(), block.size()) << c.name;
        EXPECT_EQ(lines.mid(lines.size() - block.size()), block) << c.name; // the last lines of the run
        EXPECT_TRUE(lines.filter("[Log Verbosity is set to").isEmpty()) << c.name;
        if (!c.missingFolder) {
            EXPECT_EQ(readFile(s.path), c.content) << c.name;
        }
    }
}

TEST(StartupConfigurationTest, ProcessWideStartUpUsesTheApplicationFolder) {
    TempDir app;
    qputenv("K48213_HOME", app.path().toUtf8());
    EXPECT_EQ(StartupConfigurationPath(), AppDirectory() + "/" + ExecutableBaseName() + ".xml");
    EXPECT_TRUE(StartupConfigurationPath().startsWith(app.path() + "/"));
    AppLog().setLogPath(app.file("log"));
    AppLog().setLogHandleFile(app.file("handle"));
    AppLog().setBufferLength(1);
    AppLog().setEnabled(true);

    int hookCalls = 0;
    const bool loaded = LoadStartupConfiguration([&](QTXConfiguration& config) {
        ++hookCalls;
        EXPECT_EQ(&config, &AppConfig());
        EXPECT_TRUE(config.ItemExists("VESKDRAQ\\G2_INDIRECT_TYPE")); // the common keys come first
        CustomConfiguration::DefineTree(config);
    });
    EXPECT_TRUE(loaded);
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(AppConfig().path(), StartupConfigurationPath());
    EXPECT_TRUE(QFileInfo::exists(StartupConfigurationPath()));
    EXPECT_EQ(AppConfig().item("K48213\\SITE_ID"), "SITEID");
    EXPECT_EQ(AppLog().Verbosity(), 0);
    AppLog().closeLog();
    AppLog().setEnabled(false);
    qunsetenv("K48213_HOME");
}

} // namespace
