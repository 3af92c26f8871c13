// Damaged configuration files: every one gives the outcome an operator can rely on (the read
// fails with its log line and the settings stay as they were, or, for a damaged cipher text, the
// file is accepted with every setting at its default), nothing crashes, memory stays bounded, and
// a file that failed to load is never rewritten.
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "custom/CustomConfiguration.h"
#include "platform/xml/XmlElement.h"
#include "tests/reliability/Isolated.h"
#include "tests/reliability/LogCapture.h"
#include "tests/reliability/ReliabilityReport.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

const QString LoadFailed = QStringLiteral("LoadXML() failed in QTXConfiguration.ReadConfig().");
const QString InvalidFormat = QStringLiteral("ValidateXMLFormat failed in QTXConfiguration.ReadConfig().");
const QString DecryptFailed =
    QStringLiteral("Failed to decrypt XML data in QTXConfiguration.ValidateXMLformat()");

enum class Outcome {
    Loads,           // a sound file: read, values taken from it
    LoadFails,       // ReadConfig false with the LoadXML line, settings unchanged
    FormatRejected,  // ReadConfig false with the ValidateXMLFormat line, settings unchanged
    DefaultsForData, // ReadConfig true with the decrypt line, every setting at its default
    Lenient,         // not well-formed, but read by the parser's leniency: the value as written
};

struct DamagedFile {
    std::string name;
    QByteArray content;
    Outcome outcome;
    QString key = {}; // Lenient: the key and the value the read gives
    QString value = {};
};

void defineKeys(QTXConfiguration& config) {
    DefineStartupKeys(config);
    CustomConfiguration::DefineTree(config);
}

QMap<QString, QString> snapshot(const QTXConfiguration& config) {
    QMap<QString, QString> values;
    for (const QString& key : config.TreeHash().Keys())
        values.insert(key, config.item(key));
    return values;
}

// Values that differ from every default, so a read that took them is visible.
const QMap<QString, QString> Marked = {
    {QStringLiteral("OPTIONS\\LOG_VERBOSITY"), QStringLiteral("7")},
    {QStringLiteral("K48213\\SITE_ID"), QStringLiteral("MARKED_SITE")},
    {QStringLiteral("K48213\\SQL_PASSWORD"), QStringLiteral("marked-secret")},
    {QStringLiteral("SOURCE\\RECOVERY\\ATTEMPTS"), QStringLiteral("3")},
};

QByteArray savedConfiguration(const QString& folder, bool encrypted) {
    QTXConfiguration config;
    defineKeys(config);
    for (auto it = Marked.begin(); it != Marked.end(); ++it)
        config.setItem(it.key(), it.value());
    config.setPath(folder + "/saved.xml");
    config.setEncryptData(encrypted);
    EXPECT_TRUE(config.SaveConfig());
    QFile f(folder + "/saved.xml");
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    f.close();
    QFile::remove(folder + "/saved.xml");
    return bytes;
}

QByteArray withSpec(const QByteArray& specAttributes, const QByteArray& data) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<qtxconfigurationxml><spec " + specAttributes +
           ">doc</spec><data>" + data + "</data></qtxconfigurationxml>\n";
}

QByteArray plainSpec(const QByteArray& data) {
    return withSpec("version=\"1\" encrypted=\"False\"", data);
}

QByteArray deep(int depth) {
    QByteArray open, close;
    open.reserve(depth * 4);
    close.reserve(depth * 5);
    for (int i = 0; i < depth; ++i) {
        open += "<n>";
        close += "</n>";
    }
    return plainSpec(open + close);
}

// The enciphered text of a saved file, changed by edit.
QByteArray editCipher(const QByteArray& encryptedFile, const std::function<QByteArray(QByteArray)>& edit) {
    const int start = encryptedFile.indexOf("<data>") + 6;
    const int end = encryptedFile.indexOf("</data>");
    EXPECT_GT(start, 5);
    EXPECT_GT(end, start);
    return encryptedFile.left(start) + edit(encryptedFile.mid(start, end - start)) + encryptedFile.mid(end);
}

QByteArray utf16(const QByteArray& utf8) {
    const QString text = QString::fromUtf8(utf8);
    QByteArray out("\xFF\xFE", 2);
    out.append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
    return out;
}

QByteArray flipByteAt(QByteArray text, int index) {
    const char c = text[index];
    text[index] = c == 'A' ? 'B' : 'A';
    return text;
}

std::vector<DamagedFile> damagedFiles(const QByteArray& plain, const QByteArray& encrypted) {
    std::vector<DamagedFile> cases = {
        // Controls: sound files that must load.
        {"sound plain file", plain, Outcome::Loads},
        {"sound enciphered file", encrypted, Outcome::Loads},
        {"byte order mark", "\xEF\xBB\xBF" + plain, Outcome::Loads},
        {"CR LF line ends", QByteArray(plain).replace("\n", "\r\n"), Outcome::Loads},

        {"empty file", "", Outcome::LoadFails},
        {"only a byte order mark", "\xEF\xBB\xBF", Outcome::LoadFails},
        {"only a declaration", "<?xml version=\"1.0\"?>", Outcome::LoadFails},
        {"plain words", "OPTIONS LOG_VERBOSITY = 7", Outcome::LoadFails},
        {"JSON", "{\"qtxconfigurationxml\": {\"spec\": 1}}", Outcome::LoadFails},
        {"an INI file", "[OPTIONS]\r\nLOG_VERBOSITY=7\r\n", Outcome::LoadFails},
        {"unclosed root", plain.left(plain.lastIndexOf("</qtxconfigurationxml>")), Outcome::LoadFails},
        {"mismatched end tag", QByteArray(plain).replace("</data>", "</date>"), Outcome::LoadFails},
        {"two roots", plain + "<qtxconfigurationxml/>", Outcome::LoadFails},
        // The parser reads past these, taking the text as written; none of them comes from our own
        // writer, and none changes another setting.
        {"text after the root", plain + "trailing words", Outcome::Lenient, "K48213\\SITE_ID", "MARKED_SITE"},
        {"character reference to NUL", plainSpec("<K48213><SITE_ID>12&#0;34</SITE_ID></K48213>"),
         Outcome::Lenient, "K48213\\SITE_ID", "12"},
        {"unescaped ampersand", plainSpec("<K48213><SITE_ID>a & b</SITE_ID></K48213>"), Outcome::Lenient,
         "K48213\\SITE_ID", "a & b"},
        {"undeclared entity", plainSpec("<K48213><SITE_ID>&lol;</SITE_ID></K48213>"), Outcome::Lenient,
         "K48213\\SITE_ID", "&lol;"},
        {"unescaped less-than", plainSpec("<K48213><SITE_ID>a < b</SITE_ID></K48213>"), Outcome::LoadFails},

        {"root name in other case", QByteArray(plain).replace("qtxconfigurationxml", "QTXConfigurationXML"),
         Outcome::FormatRejected},
        {"another root", QByteArray(plain).replace("qtxconfigurationxml", "configuration"),
         Outcome::FormatRejected},
        {"namespace prefix on the root",
         QByteArray(plain).replace("qtxconfigurationxml", "k:qtxconfigurationxml"), Outcome::FormatRejected},
        {"no spec", QByteArray(plain).replace("<spec", "<spek").replace("</spec>", "</spek>"),
         Outcome::FormatRejected},
        {"no data", QByteArray(plain).replace("<data>", "<date>").replace("</data>", "</date>"),
         Outcome::FormatRejected},
        {"two data elements",
         QByteArray(plain).replace("</qtxconfigurationxml>", "<data/></qtxconfigurationxml>"),
         Outcome::FormatRejected},
        {"two spec elements",
         QByteArray(plain).replace("</qtxconfigurationxml>", "<spec version=\"1\"/></qtxconfigurationxml>"),
         Outcome::FormatRejected},
        {"version 2", QByteArray(plain).replace("version=\"1\"", "version=\"2\""), Outcome::FormatRejected},
        {"version missing", QByteArray(plain).replace("version=\"1\"", "revision=\"1\""),
         Outcome::FormatRejected},
        {"version 01", QByteArray(plain).replace("version=\"1\"", "version=\"01\""), Outcome::FormatRejected},

        {"nesting beyond the limit", deep(XmlElement::MaxDepth + 10), Outcome::LoadFails},
        {"nesting of 200000 levels", deep(200000), Outcome::LoadFails},
        {"entity expansion",
         "<?xml version=\"1.0\"?><!DOCTYPE qtxconfigurationxml [<!ENTITY a \"aaaaaaaaaaaaaaaa\">"
         "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;&b;&b;\">"
         "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\"><!ENTITY e \"&d;&d;&d;&d;&d;&d;&d;&d;&d;&d;\">]>"
         "<qtxconfigurationxml><spec version=\"1\" encrypted=\"False\">doc</spec><data><K48213><SITE_ID>"
         "&e;&e;&e;&e;&e;&e;&e;&e;</SITE_ID></K48213></data></qtxconfigurationxml>",
         Outcome::LoadFails},
        {"external entity",
         "<!DOCTYPE qtxconfigurationxml [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><qtxconfigurationxml>"
         "<spec version=\"1\" encrypted=\"False\">doc</spec><data><K48213><SITE_ID>&x;</SITE_ID></K48213>"
         "</data></qtxconfigurationxml>",
         Outcome::LoadFails},

        {"Latin-1 byte", plainSpec("<K48213><SITE_ID>caf\xE9</SITE_ID></K48213>"), Outcome::LoadFails},
        {"overlong UTF-8", plainSpec("<K48213><SITE_ID>\xC0\xAF</SITE_ID></K48213>"), Outcome::LoadFails},
        {"encoded surrogate", plainSpec("<K48213><SITE_ID>\xED\xA0\x80</SITE_ID></K48213>"),
         Outcome::LoadFails},
        {"beyond U+10FFFF", plainSpec("<K48213><SITE_ID>\xF4\x90\x80\x80</SITE_ID></K48213>"),
         Outcome::LoadFails},
        {"cut multi-byte sequence", plainSpec("<K48213><SITE_ID>\xE2\x82</SITE_ID></K48213>"),
         Outcome::LoadFails},
        {"NUL inside a value", plainSpec(QByteArray("<K48213><SITE_ID>a\0b</SITE_ID></K48213>", 39)),
         Outcome::LoadFails},
        {"UTF-16 with byte order mark", utf16(plain), Outcome::LoadFails},

        {"damaged cipher text",
         editCipher(encrypted, [](QByteArray t) { return flipByteAt(t, t.size() / 2); }),
         Outcome::DefaultsForData},
        {"damaged nonce", editCipher(encrypted, [](QByteArray t) { return flipByteAt(t, 2); }),
         Outcome::DefaultsForData},
        {"truncated cipher text", editCipher(encrypted, [](QByteArray t) { return t.left(t.size() / 2); }),
         Outcome::DefaultsForData},
        {"cipher text cut to a few bytes", editCipher(encrypted, [](QByteArray t) { return t.left(8); }),
         Outcome::DefaultsForData},
        {"cipher text not base64",
         editCipher(encrypted, [](QByteArray) { return QByteArray("!!not*base64!!"); }),
         Outcome::DefaultsForData},
        {"cipher text empty", editCipher(encrypted, [](QByteArray) { return QByteArray(); }),
         Outcome::DefaultsForData},
        {"plain data marked enciphered",
         QByteArray(plain).replace("encrypted=\"False\"", "encrypted=\"True\""), Outcome::DefaultsForData},
        {"cipher text of another key",
         [&] {
             XmlElement data("data");
             data.appendChild("K48213").appendChild("SITE_ID").setText("FOREIGN");
             data.Encipher("0123456789");
             return withSpec("version=\"1\" encrypted=\"True\"", data.text().toUtf8());
         }(),
         Outcome::DefaultsForData},
    };
    // Truncation at many offsets: every prefix that lacks the end of the root is unloadable.
    const int end = plain.lastIndexOf("</qtxconfigurationxml>") + int(qstrlen("</qtxconfigurationxml>"));
    // The soak cuts at every byte; the quick run at every byte of the head and a spread after it.
    const int step = reliability::fullMode() ? 1 : 29;
    for (int offset = 0; offset < end; offset += (offset < 64 ? 1 : step))
        cases.push_back(
            {"plain file cut at byte " + std::to_string(offset), plain.left(offset), Outcome::LoadFails});
    const int encEnd = encrypted.lastIndexOf("</qtxconfigurationxml>");
    for (int offset = encrypted.indexOf("<data>"); offset < encEnd;
         offset += reliability::fullMode() ? 1 : 97)
        cases.push_back({"enciphered file cut at byte " + std::to_string(offset), encrypted.left(offset),
                         Outcome::LoadFails});
    return cases;
}

// A file the test wrote, with a modification time in the past, so that any rewrite shows.
struct PlantedFile {
    QString path;
    QByteArray bytes;
    QDateTime modified;

    PlantedFile(const QString& p, const QByteArray& content) : path(p), bytes(content) {
        QFile::remove(path);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        EXPECT_EQ(f.write(content), content.size());
        f.close();
        modified = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5));
        QFile touch(path);
        EXPECT_TRUE(touch.open(QIODevice::ReadWrite));
        EXPECT_TRUE(touch.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    // The same bytes, the same time stamp, the same inode kind: nothing wrote to it.
    bool untouched() const {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return false;
        return f.readAll() == bytes && QFileInfo(path).lastModified() == modified;
    }
};

// What a read of one damaged file did, as a list of broken promises ("" when it held).
QString checkOutcome(const DamagedFile& c, const QString& folder) {
    LogCapture capture(9);
    QTXConfiguration config;
    config.setLogHandler(&capture.log());
    defineKeys(config);
    const QMap<QString, QString> defaults = snapshot(config);
    config.setPath(folder + "/k48213.xml");

    QStringList problems;
    // A store that already holds values from an earlier read, as the service's store does when it
    // re-reads the file before a scheduled import.
    if (c.outcome == Outcome::LoadFails || c.outcome == Outcome::FormatRejected) {
        for (auto it = Marked.begin(); it != Marked.end(); ++it)
            config.setItem(it.key(), it.value());
        config.setChangeWasMade(false);
    }
    const QMap<QString, QString> before = snapshot(config);

    const PlantedFile file(config.path(), c.content);
    const bool read = config.ReadConfig();
    const QStringList lines = capture.messages();

    switch (c.outcome) {
    case Outcome::Loads:
        if (!read) problems << "not read";
        for (auto it = Marked.begin(); it != Marked.end(); ++it)
            if (config.item(it.key()) != it.value()) problems << "value of " + it.key() + " not taken";
        break;
    case Outcome::LoadFails:
    case Outcome::FormatRejected: {
        const QString expected = c.outcome == Outcome::LoadFails ? LoadFailed : InvalidFormat;
        if (read) problems << "read succeeded";
        if (!lines.contains(expected)) problems << "no line \"" + expected + "\"";
        if (snapshot(config) != before) problems << "settings changed";
        if (config.ChangeWasMade()) problems << "marked as changed";
        break;
    }
    case Outcome::Lenient:
        if (!read) problems << "not read";
        if (config.item(c.key) != c.value) problems << "value " + config.item(c.key);
        break;
    case Outcome::DefaultsForData:
        if (!read) problems << "not read";
        if (!lines.contains(DecryptFailed)) problems << "no decrypt line";
        if (snapshot(config) != defaults) problems << "settings not at their defaults";
        break;
    }
    if (!file.untouched()) problems << "file rewritten";
    const QStringList left = QDir(folder).entryList(QDir::Files | QDir::Hidden);
    if (left != QStringList{QStringLiteral("k48213.xml")}) problems << "files left: " + left.join(',');
    return problems.join("; ");
}

TEST(ConfigDamage, EveryDamagedFileGivesTheDocumentedOutcome) {
    TempDir work;
    const QByteArray plain = savedConfiguration(work.path(), false);
    const QByteArray encrypted = savedConfiguration(work.path(), true);
    ASSERT_FALSE(plain.isEmpty());
    ASSERT_TRUE(encrypted.contains("encrypted=\"True\""));

    int damaged = 0;
    int handled = 0;
    for (const DamagedFile& c : damagedFiles(plain, encrypted)) {
        TempDir folder;
        const QString problems = checkOutcome(c, folder.path());
        EXPECT_EQ(problems.toStdString(), "") << c.name;
        if (c.outcome == Outcome::Loads || c.outcome == Outcome::Lenient) continue;
        ++damaged;
        if (problems.isEmpty()) ++handled;
    }
    EXPECT_GT(damaged, 200);
    reliability::reportFigure(QStringLiteral("configs_rejected"), handled, damaged);
}

// Files that are not regular files, or far too big: refused before anything is read into memory.
TEST(ConfigDamage, HugeAndSpecialFilesAreRefusedWithBoundedMemory) {
    struct Case {
        std::string name;
        std::function<void(const QString&)> make;
    };
    const Case cases[] = {
        {"100 MB sparse file",
         [](const QString& path) {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             ASSERT_TRUE(f.resize(100LL * 1024 * 1024));
         }},
        {"100 MB file that starts like a configuration",
         [](const QString& path) {
             QFile f(path);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(plainSpec("<K48213><SITE_ID>"));
             ASSERT_TRUE(f.resize(100LL * 1024 * 1024));
         }},
        {"a folder", [](const QString& path) { ASSERT_TRUE(QDir().mkpath(path)); }},
        {"a named pipe",
         [](const QString& path) { ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0); }},
        {"a link to /dev/zero",
         [](const QString& path) { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path)); }},
    };
    int handled = 0;
    for (const Case& c : cases) {
        TempDir folder;
        const QString path = folder.file("k48213.xml");
        c.make(path);
        const QFileInfo before(path);
        const reliability::IsolatedResult r = reliability::runIsolated([&] {
            LogCapture capture(9);
            QTXConfiguration config;
            config.setLogHandler(&capture.log());
            defineKeys(config);
            const QMap<QString, QString> defaults = snapshot(config);
            config.setPath(path);
            if (config.ReadConfig()) return 1;
            if (!capture.contains(LoadFailed)) return 2;
            if (snapshot(config) != defaults) return 3;
            return 0;
        });
        const QFileInfo after(path);
        EXPECT_TRUE(r.exited) << c.name << " ended by signal " << r.signal;
        EXPECT_EQ(r.exitCode, 0) << c.name;
        // Refused before reading: far less than the file's size.
        EXPECT_LT(r.peakGrowthKb, 32 * 1024) << c.name;
        EXPECT_EQ(after.size(), before.size()) << c.name;
        EXPECT_EQ(after.lastModified(), before.lastModified()) << c.name;
        EXPECT_EQ(after.isSymLink(), before.isSymLink()) << c.name;
        if (r.exited && r.exitCode == 0 && r.peakGrowthKb < 32 * 1024 && after.size() == before.size())
            ++handled;
    }
    reliability::reportFigure(QStringLiteral("configs_rejected"), handled, std::size(cases));
}

// The largest file the loader accepts: read, with memory a small multiple of its size.
TEST(ConfigDamage, LargestAcceptedFileLoadsWithBoundedMemory) {
    TempDir folder;
    const QString path = folder.file("k48213.xml");
    QByteArray filler;
    const QByteArray element = "<UNKNOWN_SETTING>some operator note</UNKNOWN_SETTING>";
    while (filler.size() + element.size() < XmlElement::MaxFileBytes - 4096)
        filler += element;
    const QByteArray content = plainSpec("<K48213><SITE_ID>BIG</SITE_ID></K48213>" + filler);
    ASSERT_LE(content.size(), XmlElement::MaxFileBytes);
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        ASSERT_EQ(f.write(content), content.size());
    }
    const reliability::IsolatedResult r = reliability::runIsolated([&] {
        QTXConfiguration config;
        defineKeys(config);
        config.setPath(path);
        if (!config.ReadConfig()) return 1;
        return config.item("K48213\\SITE_ID") == "BIG" ? 0 : 2;
    });
    EXPECT_TRUE(r.exited) << "signal " << r.signal;
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_LT(r.peakGrowthKb, 8 * (XmlElement::MaxFileBytes / 1024)) << "kB for a 16 MB file";
}

} // namespace
