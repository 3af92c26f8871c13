#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "tests/config/ConfigTestSupport.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString Frame = QStringLiteral(">>>") + QString(62, QLatin1Char('-'));

// A handful of keys with the shapes the program uses: groups, nested groups, a group key that is
// also a parent, values with blanks and markup characters, an empty value, a password.
void defineSample(QTXConfiguration& c) {
    c.DefineTree("OPTIONS", "");
    c.DefineTree("OPTIONS\\LOG_VERBOSITY", "0");
    c.DefineTree("OPTIONS\\AUTOMATED_IMPORT", "");
    c.DefineTree("OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY", "YES");
    c.DefineTree("OPTIONS\\NOIU\\LIMITFACILITY", "");
    c.DefineTree("OPTIONS\\PASSWORD_PROTECT_CONFIG", "NO");
    c.DefineTree("OPTIONS\\ENCRYPT_PROTECT_CONFIG", "NO");
    c.DefineTree("OPTIONS\\PASSWORD_PROTECT_CONFIG_PASSWORD", "70419");
    c.DefineTree("K48213", "");
    c.DefineTree("K48213\\SQL_URL", "sql.senvista.example");
    c.DefineTree("K48213\\SQL_PASSWORD", "tilvorna");
    c.DefineTree("K48213\\NOTE", "plain");
}

struct Fixture {
    explicit Fixture(int verbosity = 9) : log(verbosity) {
        config.setLogHandler(&log.log);
        config.setPath(log.dir.file("k48213.xml"));
        defineSample(config);
    }
    QString path() const { return config.path(); }
    TestLog log;
    QTXConfiguration config;
};

QByteArray configFile(const QByteArray& data,
                      const QByteArray& spec = "<spec version=\"1\" encrypted=\"False\">doc</spec>",
                      const QByteArray& root = "qtxconfigurationxml") {
    return "<?xml version=\"1.0\"?>\n<" + root + ">" + spec + "<data>" + data + "</data></" + root + ">\n";
}

TEST(QTXConfigurationTest, KeysAreNormalisedValuesAreNot) {
    QTXConfiguration c;
    c.DefineTree("  options\\log_verbosity ", " 5 ");
    c.DefineTree("OPTIONS\\LOG_VERBOSITY", "7"); // the first definition wins
    EXPECT_EQ(c.item("OPTIONS\\LOG_VERBOSITY"), " 5 ");
    EXPECT_EQ(c.item(" Options\\Log_Verbosity"), " 5 ");
    EXPECT_TRUE(c.ItemExists("options\\LOG_verbosity"));
    EXPECT_EQ(c.TreeHash().Keys(), QStringList{"OPTIONS\\LOG_VERBOSITY"});
    EXPECT_FALSE(c.ChangeWasMade());
    EXPECT_EQ(c.TreeHash().HashSize(), 4096);

    c.setItem("options\\log_verbosity", " 5 "); // the same value still counts as a change
    EXPECT_TRUE(c.ChangeWasMade());
    c.setItem("OPTIONS\\LOG_VERBOSITY", "3");
    EXPECT_EQ(c.item("OPTIONS\\LOG_VERBOSITY"), "3");

    c.setPath("  /some/where/k48213.xml  ");
    EXPECT_EQ(c.path(), "/some/where/k48213.xml");
}

TEST(QTXConfigurationTest, UndefinedKeysRaise10781AndAreNotAdded) {
    QTXConfiguration c;
    c.DefineTree("OPTIONS\\LOG_VERBOSITY", "0");
    const std::function<void()> uses[] = {
        [&] { (void)c.item(" options\\nothing "); },
        [&] { c.setItem(" options\\nothing ", "1"); },
    };
    for (const auto& use : uses) {
        try {
            use();
            ADD_FAILURE() << "no error raised";
        } catch (const AppError& e) {
            EXPECT_EQ(e.number(), 10781);
            EXPECT_EQ(e.description(), "Key does not exist in TreeHash (KB10781): OPTIONS\\NOTHING");
        }
    }
    EXPECT_FALSE(c.ItemExists("OPTIONS\\NOTHING"));
    EXPECT_FALSE(c.ItemExists(""));
    EXPECT_EQ(c.TreeHash().Count(), 1);
    EXPECT_FALSE(c.ChangeWasMade());
}

TEST(QTXConfigurationTest, PlainRoundTripKeepsEveryValueAndTheLayout) {
    Fixture f;
    f.config.setItem("OPTIONS\\LOG_VERBOSITY", "4");
    f.config.setItem("OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY", "NO");
    f.config.setItem("K48213\\SQL_URL", "");
    f.config.setItem("K48213\\NOTE", "  a <b> & \"c\"  ");
    ASSERT_TRUE(f.config.SaveConfig());
    EXPECT_FALSE(f.config.ChangeWasMade());

    XmlElement root;
    ASSERT_TRUE(root.LoadXmlFile(f.path()));
    EXPECT_EQ(root.name(), "qtxconfigurationxml");
    ASSERT_EQ(root.children().size(), 2);
    EXPECT_EQ(root.children()[0].name(), "spec");
    EXPECT_EQ(root.children()[1].name(), "data");
    EXPECT_EQ(root.firstChild("spec").text(), QTXConfiguration::DocumentationAddress);
    EXPECT_TRUE(QTXConfiguration::DocumentationAddress.endsWith("/instantkb/article.aspx?id=10770"));
    EXPECT_TRUE(readFile(f.path()).contains("<spec version=\"1\" encrypted=\"False\">"));
    EXPECT_TRUE(readFile(f.path()).contains("<SQL_URL />"));
    const XmlElement data = root.firstChild("data");
    EXPECT_EQ(valueInFile(data, "OPTIONS\\LOG_VERBOSITY"), "4");
    EXPECT_EQ(valueInFile(data, "OPTIONS\\NOIU\\LIMITFACILITY"), "");
    EXPECT_EQ(valueInFile(data, "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY"), "NO");

    // Another store with other defaults reads every value back.
    QTXConfiguration other;
    other.setPath(f.path());
    for (const QString& key : f.config.TreeHash().Keys())
        other.DefineTree(key, "default of " + key);
    ASSERT_TRUE(other.ReadConfig());
    EXPECT_FALSE(other.ChangeWasMade());
    for (const QString& key : f.config.TreeHash().Keys())
        EXPECT_EQ(other.item(key), f.config.item(key)) << key.toStdString();
}

TEST(QTXConfigurationTest, EncipheredRoundTripRestoresEveryValue) {
    Fixture f;
    f.config.setItem("K48213\\SQL_PASSWORD", "s3cret-value");
    f.config.setItem("K48213\\NOTE", "visible only when deciphered");
    f.config.setEncryptData(true);
    ASSERT_TRUE(f.config.SaveConfig());
    const QByteArray bytes = readFile(f.path());
    EXPECT_TRUE(bytes.contains("<spec version=\"1\" encrypted=\"True\">"));
    for (const char* plain : {"s3cret-value", "visible only", "OPTIONS", "SQL_PASSWORD", "K48213"})
        EXPECT_FALSE(bytes.contains(plain)) << plain;
    XmlElement root;
    ASSERT_TRUE(root.LoadXmlFile(f.path()));
    EXPECT_EQ(root.firstChild("data").countChildren(), 0);

    QTXConfiguration other;
    other.setPath(f.path());
    defineSample(other);
    ASSERT_TRUE(other.ReadConfig()); // reading follows the file's marker, not EncryptData
    for (const QString& key : f.config.TreeHash().Keys())
        EXPECT_EQ(other.item(key), f.config.item(key)) << key.toStdString();
}

struct RejectedFile {
    const char* name;
    QByteArray content;
};

TEST(QTXConfigurationTest, InvalidLayoutsAreRejected) {
    const QByteArray data = "<OPTIONS><LOG_VERBOSITY>5</LOG_VERBOSITY></OPTIONS>";
    const RejectedFile cases[] = {
        {"root name in another letter case",
         configFile(data, "<spec version=\"1\" encrypted=\"False\"/>", "QTXConfigurationXML")},
        {"another root", configFile(data, "<spec version=\"1\" encrypted=\"False\"/>", "configuration")},
        {"two data",
         "<qtxconfigurationxml><spec version=\"1\"/><data>" + data + "</data><data/></qtxconfigurationxml>"},
        {"no data", "<qtxconfigurationxml><spec version=\"1\"/></qtxconfigurationxml>"},
        {"two spec", "<qtxconfigurationxml><spec version=\"1\"/><spec version=\"1\"/><data>" + data +
                         "</data></qtxconfigurationxml>"},
        {"no spec", "<qtxconfigurationxml><data>" + data + "</data></qtxconfigurationxml>"},
        {"version 2", configFile(data, "<spec version=\"2\" encrypted=\"False\"/>")},
        {"no version", configFile(data, "<spec encrypted=\"False\"/>")},
    };
    for (const auto& c : cases) {
        Fixture f;
        writeFile(f.path(), c.content);
        EXPECT_FALSE(f.config.ReadConfig()) << c.name;
        EXPECT_TRUE(f.log.contains("ValidateXMLFormat failed in QTXConfiguration.ReadConfig().")) << c.name;
        EXPECT_EQ(f.config.item("OPTIONS\\LOG_VERBOSITY"), "0") << c.name;
        EXPECT_EQ(readFile(f.path()), c.content) << c.name;
    }
    // The accepted form for contrast: the same data with a valid spec.
    Fixture ok;
    writeFile(ok.path(), configFile(data));
    EXPECT_TRUE(ok.config.ReadConfig());
    EXPECT_EQ(ok.config.item("OPTIONS\\LOG_VERBOSITY"), "5");
}

TEST(QTXConfigurationTest, UnknownElementsAreReadPastAndDroppedAtTheNextSave) {
    Fixture f;
    writeFile(f.path(), configFile("<OPTIONS><LOG_VERBOSITY>3</LOG_VERBOSITY><STRAY>x</STRAY></OPTIONS>"
                                   "<TARGET><UNITCONVERT><ENABLED>TRUE</ENABLED></UNITCONVERT></TARGET>"
                                   "<ELSEWHERE/>"));
    ASSERT_TRUE(f.config.ReadConfig());
    EXPECT_EQ(f.config.item("OPTIONS\\LOG_VERBOSITY"), "3");
    EXPECT_FALSE(f.config.ItemExists("TARGET\\UNITCONVERT\\ENABLED"));
    EXPECT_FALSE(f.config.ItemExists("OPTIONS\\STRAY"));
    EXPECT_THROW((void)f.config.item("TARGET\\UNITCONVERT\\ENABLED"), AppError);
    ASSERT_TRUE(f.config.SaveConfig());
    const QStringList paths = elementPathsOfFile(f.path());
    EXPECT_TRUE(paths.contains("OPTIONS\\LOG_VERBOSITY"));
    for (const char* gone : {"OPTIONS\\STRAY", "TARGET", "TARGET\\UNITCONVERT\\ENABLED", "ELSEWHERE"})
        EXPECT_FALSE(paths.contains(gone)) << gone;
}

TEST(QTXConfigurationTest, EmptyElementGivesEmptyTextMissingElementKeepsDefault) {
    Fixture f;
    writeFile(f.path(),
              configFile("<K48213><SQL_URL/><SQL_PASSWORD></SQL_PASSWORD><NOTE>   </NOTE></K48213>"));
    ASSERT_TRUE(f.config.ReadConfig());
    EXPECT_EQ(f.config.item("K48213\\SQL_URL"), "");
    EXPECT_EQ(f.config.item("K48213\\SQL_PASSWORD"), "");
    EXPECT_EQ(f.config.item("K48213\\NOTE"), "   ");
    EXPECT_EQ(f.config.item("OPTIONS\\LOG_VERBOSITY"), "0"); // no element: the default stays
    EXPECT_EQ(f.config.item("OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY"), "YES");

    ASSERT_TRUE(f.config.SaveConfig());
    XmlElement root;
    ASSERT_TRUE(root.LoadXmlFile(f.path()));
    const XmlElement data = root.firstChild("data");
    EXPECT_EQ(valueInFile(data, "OPTIONS\\LOG_VERBOSITY"), "0");
    EXPECT_EQ(valueInFile(data, "OPTIONS\\AUTOMATED_IMPORT\\SCHEDULE\\DAILY"), "YES");
    EXPECT_EQ(valueInFile(data, "K48213\\SQL_URL"), "");
    EXPECT_EQ(valueInFile(data, "K48213\\NOTE"), "   ");
}

QByteArray encipheredFile(const QString& key, bool damage) {
    XmlElement data("data");
    data.appendChild("OPTIONS").appendChild("LOG_VERBOSITY").setText("7");
    data.Encipher(key);
    QString text = data.text();
    if (damage) text[10] = text[10] == u'A' ? u'B' : u'A';
    return configFile(text.toUtf8(), "<spec version=\"1\" encrypted=\"True\">doc</spec>");
}

struct DamagedFile {
    const char* name;
    QByteArray content;
    bool readSucceeds;
    const char* logLine; // the line that says what happened
};

TEST(QTXConfigurationTest, DamagedFilesGiveTheDocumentedResult) {
    const QByteArray good = configFile("<OPTIONS><LOG_VERBOSITY>7</LOG_VERBOSITY></OPTIONS>");
    QByteArray garbage;
    for (int i = 0; i < 2048; ++i)
        garbage += char((i * 131 + 7) % 256);
    QByteArray huge = "<qtxconfigurationxml><spec version=\"1\"/><data><PAD>";
    huge += QByteArray(XmlElement::MaxFileBytes, 'x');
    huge += "</PAD></data></qtxconfigurationxml>";
    QByteArray large = "<qtxconfigurationxml><spec version=\"1\"/><data>";
    while (large.size() < 3 * 1024 * 1024)
        large += "<UNKNOWN_ELEMENT>filler text of an old release</UNKNOWN_ELEMENT>\n";
    large += "<OPTIONS><LOG_VERBOSITY>7</LOG_VERBOSITY></OPTIONS></data></qtxconfigurationxml>";

    const QString loadFailed = "LoadXML() failed in QTXConfiguration.ReadConfig().";
    const QString decryptFailed = "Failed to decrypt XML data in QTXConfiguration.ValidateXMLformat()";
    const DamagedFile cases[] = {
        {"truncated", good.left(good.size() / 2), false,
         "LoadXML() failed in QTXConfiguration.ReadConfig()."},
        {"not XML", "LOG_VERBOSITY=7\n", false, "LoadXML() failed in QTXConfiguration.ReadConfig()."},
        {"empty", "", false, "LoadXML() failed in QTXConfiguration.ReadConfig()."},
        {"binary garbage", garbage, false, "LoadXML() failed in QTXConfiguration.ReadConfig()."},
        {"above the size limit", huge, false, "LoadXML() failed in QTXConfiguration.ReadConfig()."},
        {"non-UTF-8 bytes", configFile("<OPTIONS><LOG_VERBOSITY>7\xFF\xFE</LOG_VERBOSITY></OPTIONS>"), false,
         "LoadXML() failed in QTXConfiguration.ReadConfig()."},
        {"damaged cipher text", encipheredFile("7qRv2Kx9mT", true), true,
         "Failed to decrypt XML data in QTXConfiguration.ValidateXMLformat()"},
        {"another key", encipheredFile("0123456789", false), true,
         "Failed to decrypt XML data in QTXConfiguration.ValidateXMLformat()"},
        {"marked enciphered but plain",
         configFile("<OPTIONS><LOG_VERBOSITY>7</LOG_VERBOSITY></OPTIONS>",
                    "<spec version=\"1\" encrypted=\"True\"/>"),
         true, "Failed to decrypt XML data in QTXConfiguration.ValidateXMLformat()"},
    };
    for (const auto& c : cases) {
        Fixture f;
        writeFile(f.path(), c.content);
        EXPECT_EQ(f.config.ReadConfig(), c.readSucceeds) << c.name;
        EXPECT_TRUE(f.log.contains(c.logLine)) << c.name;
        EXPECT_EQ(f.config.item("OPTIONS\\LOG_VERBOSITY"), "0") << c.name; // the defaults stay in force
        EXPECT_EQ(readFile(f.path()), c.content) << c.name;                // reading never rewrites the file
        if (!c.readSucceeds) {
            const QStringList lines = f.log.messages();
            const qsizetype at =
                lines.indexOf("DocumentRoot.LoadXmlFile returned 0 in QTXConfiguration.LoadXML()");
            ASSERT_GE(at, 1) << c.name;
            ASSERT_GT(lines.size(), at + 4) << c.name;
            EXPECT_EQ(lines[at - 1], Frame) << c.name;
            EXPECT_EQ(lines[at + 1], "    Details:") << c.name;
            EXPECT_FALSE(lines[at + 2].isEmpty()) << c.name;
            EXPECT_EQ(lines[at + 3], Frame) << c.name;
            EXPECT_EQ(lines[at + 4], loadFailed) << c.name;
        }
    }
    // A large file of an older release with many unknown elements still reads.
    Fixture f;
    writeFile(f.path(), large);
    EXPECT_TRUE(f.config.ReadConfig());
    EXPECT_EQ(f.config.item("OPTIONS\\LOG_VERBOSITY"), "7");
    EXPECT_FALSE(f.log.contains(decryptFailed));
}

TEST(QTXConfigurationTest, MissingFileIsCreatedWithTheDefaultsAndRead) {
    Fixture f;
    f.config.setEncryptData(true); // the default file is never enciphered
    ASSERT_TRUE(f.config.ReadConfig());
    const QStringList expected = {
        "Configuration file does not exist at " + f.path(),
        "Attempting to create a default configuration file...",
        "Default configuration file successfully created.",
    };
    const QStringList lines = f.log.messages();
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.mid(0, 3), expected);
    EXPECT_TRUE(readFile(f.path()).contains("encrypted=\"False\""));
    EXPECT_TRUE(readFile(f.path()).contains("<SQL_URL>sql.senvista.example</SQL_URL>"));

    const QString unwritable[] = {"", f.log.dir.file("no/such/folder/k48213.xml")};
    for (const QString& path : unwritable) {
        Fixture g;
        g.config.setPath(path);
        EXPECT_FALSE(g.config.ReadConfig()) << path.toStdString();
        EXPECT_TRUE(
            g.log.contains("Unable to create default configuration file in QTXConfiguration.ReadConfig()."));
        EXPECT_FALSE(g.log.contains("Default configuration file successfully created."));
        EXPECT_TRUE(g.log.contains("XMLTree.SaveXML returned 0 in QTXConfiguration.SaveXML()"));
    }
}

TEST(QTXConfigurationTest, FailedSaveKeepsTheChangeAndThePreviousFile) {
    Fixture f;
    ASSERT_TRUE(f.config.SaveConfig());
    const QByteArray before = readFile(f.path());

    f.config.setItem("K48213\\NOTE", QString(20000, QLatin1Char('n')));
    bool saved = true;
    {
        FileSizeLimit full(8192); // the document needs more, the few log lines need less
        saved = f.config.SaveConfig();
    }
    EXPECT_FALSE(saved);
    EXPECT_TRUE(f.config.ChangeWasMade());
    EXPECT_EQ(readFile(f.path()), before);
    const QStringList lines = f.log.messages();
    const qsizetype at = lines.indexOf("XMLTree.SaveXML returned 0 in QTXConfiguration.SaveXML()");
    ASSERT_GE(at, 1);
    ASSERT_GT(lines.size(), at + 3);
    EXPECT_EQ(lines[at - 1], Frame);
    EXPECT_EQ(lines[at + 1], "    Details:");
    EXPECT_EQ(lines[at + 3], Frame);

    // The next save that can write clears the change.
    ASSERT_TRUE(f.config.SaveConfig());
    EXPECT_FALSE(f.config.ChangeWasMade());
    QTXConfiguration reread;
    reread.setPath(f.path());
    defineSample(reread);
    ASSERT_TRUE(reread.ReadConfig());
    EXPECT_EQ(reread.item("K48213\\NOTE").size(), 20000);
}

TEST(QTXConfigurationTest, DumpFollowsVerbosityAndMasksPasswords) {
    for (int verbosity : {0, 1, 2, 5}) {
        Fixture f(verbosity);
        f.config.setItem("K48213\\SQL_PASSWORD", "do-not-log-me");
        f.config.dumpConfiguration();
        const QStringList lines = f.log.messages();
        if (verbosity <= 1) {
            EXPECT_FALSE(lines.contains("Configuration Settings :")) << verbosity;
            continue;
        }
        const QStringList keys = f.config.TreeHash().Keys();
        ASSERT_EQ(lines.size(), keys.size() + 3) << verbosity;
        EXPECT_EQ(lines.first(), Frame);
        EXPECT_EQ(lines[1], "Configuration Settings :");
        EXPECT_EQ(lines.last(), Frame);
        for (qsizetype i = 0; i < keys.size(); ++i) {
            const bool secret =
                QStringList{"OPTIONS\\PASSWORD_PROTECT_CONFIG_PASSWORD", "K48213\\SQL_PASSWORD"}
                    .contains(keys[i]);
            const QString shown = secret ? QString("********") : f.config.item(keys[i]);
            EXPECT_EQ(lines[i + 2], keys[i] + " : " + shown);
        }
        EXPECT_TRUE(lines.contains("K48213\\SQL_PASSWORD : ********"));
        EXPECT_TRUE(lines.contains("OPTIONS\\PASSWORD_PROTECT_CONFIG_PASSWORD : ********"));
        EXPECT_TRUE(lines.contains("K48213\\SQL_URL : sql.senvista.example"));
        // The YES/NO switches that merely mention passwords stay readable.
        EXPECT_TRUE(lines.contains("OPTIONS\\PASSWORD_PROTECT_CONFIG : " + f.config.item("OPTIONS\\PASSWORD_PROTECT_CONFIG")));
        for (const QString& line : lines) {
            EXPECT_FALSE(line.contains("do-not-log-me"));
            EXPECT_FALSE(line.contains("70419"));
        }
    }
    EXPECT_TRUE(QTXConfiguration::isSecretKey("k48213\\sql_password"));
    EXPECT_FALSE(QTXConfiguration::isSecretKey("PASSWORD\\SITE_ID"));
    EXPECT_FALSE(QTXConfiguration::isSecretKey("OPTIONS\\PASSWORD_PROTECT_INTERACTIVE_IMPORT"));
}

// SaveConfigurationIfChanged reports through LogActivity, which writes AppLog(); the test points
// that log at its own folder for as long as it runs.
class AppLogInFolder {
public:
    AppLogInFolder() {
        AppLog().setLogPath(dir.file("log"));
        AppLog().setLogHandleFile(dir.file("handle"));
        AppLog().setBufferLength(1);
        AppLog().setVerbosity(0);
        AppLog().setEnabled(true);
    }
    ~AppLogInFolder() {
        AppLog().closeLog();
        AppLog().setEnabled(false);
        SetConfigPasswordPrompt({});
    }
    QString contents() const { return QString::fromUtf8(readFile(AppLog().currentFileName())); }
    TempDir dir;
};

struct SaveCase {
    const char* name;
    bool changed;
    const char* passwordProtect;
    const char* encrypt;
    int prompt; // -1 none registered, 0 answers "go on", 1 answers "cancelled"
    bool expectedResult;
    bool expectPrompt;
    bool expectSaved;
    bool expectEnciphered;
};

TEST(QTXConfigurationTest, SaveConfigurationIfChanged) {
    const SaveCase cases[] = {
        {"nothing changed", false, "YES", "NO", 1, true, false, false, false},
        {"changed, no protection", true, "NO", "NO", 1, true, false, true, false},
        {"password asked and given", true, "YES", "NO", 0, true, true, true, false},
        {"password prompt cancelled", true, "YES", "NO", 1, false, true, false, false},
        {"no prompt registered", true, "YES", "NO", -1, true, false, true, false},
        {"lower-case yes asks nothing", true, "yes", "NO", 1, true, false, true, false},
        {"lower-case yes enciphers", true, "NO", "yes", -1, true, false, true, true},
        {"Y does not encipher", true, "NO", "Y", -1, true, false, true, false},
    };
    for (const auto& c : cases) {
        AppLogInFolder appLog;
        Fixture f;
        f.config.setItem("OPTIONS\\PASSWORD_PROTECT_CONFIG", c.passwordProtect);
        f.config.setItem("OPTIONS\\ENCRYPT_PROTECT_CONFIG", c.encrypt);
        f.config.setChangeWasMade(c.changed);
        int prompts = 0;
        if (c.prompt >= 0)
            SetConfigPasswordPrompt([&prompts, cancel = c.prompt == 1] {
                ++prompts;
                return cancel;
            });
        EXPECT_EQ(SaveConfigurationIfChanged(f.config), c.expectedResult) << c.name;
        EXPECT_EQ(prompts, c.expectPrompt ? 1 : 0) << c.name;
        EXPECT_EQ(QFileInfo::exists(f.path()), c.expectSaved) << c.name;
        EXPECT_EQ(f.config.ChangeWasMade(), c.changed && !c.expectSaved) << c.name;
        EXPECT_EQ(appLog.contents().contains(" : Configuration saved to " + f.path() + "\r\n"), c.expectSaved)
            << c.name;
        if (c.expectSaved) {
            EXPECT_EQ(readFile(f.path()).contains("encrypted=\"True\""), c.expectEnciphered) << c.name;
        }
    }
}

TEST(QTXConfigurationTest, AppConfigWritesToAppLog) {
    EXPECT_EQ(AppConfig().LogHandler(), &AppLog());
    EXPECT_EQ(&AppConfig(), &AppConfig());
    EXPECT_EQ(AppConfig().TreeHash().HashSize(), 4096);
}

} // namespace
