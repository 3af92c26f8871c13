#include "platform/xml/XmlElement.h"
#include "tests/config/ConfigTestSupport.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <unistd.h>

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// A small tree with the shapes the configuration file uses: attributes in order, nested groups,
// texts that need escaping, a text of blanks and an empty element.
XmlElement sampleTree() {
    XmlElement root("qtxconfigurationxml");
    XmlElement spec = root.appendChild("spec");
    spec.addAttribute("version", "1");
    spec.addAttribute("encrypted", "False");
    spec.setText("http://example.invalid/doc");
    XmlElement data = root.appendChild("data");
    XmlElement options = data.appendChild("OPTIONS");
    options.appendChild("LOG_VERBOSITY").setText("3");
    options.appendChild("ODD").setText("a < b & \"c\" > 'd'");
    options.appendChild("BLANKS").setText("   ");
    options.appendChild("UNICODE").setText(QString::fromUtf8("Grüße \xE2\x82\xAC"));
    options.appendChild("EMPTY");
    XmlElement group = data.appendChild("SOURCE");
    group.appendChild("CACHE").appendChild("ENABLED").setText("TRUE");
    return root;
}

void expectSampleContent(const XmlElement& root) {
    ASSERT_FALSE(root.isNull());
    EXPECT_EQ(root.name(), "qtxconfigurationxml");
    const XmlElement spec = root.firstChild("spec");
    EXPECT_EQ(spec.countAttributes("version", "1"), 1);
    EXPECT_EQ(spec.countAttributes("encrypted", "False"), 1);
    EXPECT_EQ(spec.text(), "http://example.invalid/doc");
    const XmlElement options = root.firstChild("data").firstChild("OPTIONS");
    EXPECT_EQ(options.firstChild("LOG_VERBOSITY").text(), "3");
    EXPECT_EQ(options.firstChild("ODD").text(), "a < b & \"c\" > 'd'");
    EXPECT_EQ(options.firstChild("BLANKS").text(), "   ");
    EXPECT_EQ(options.firstChild("UNICODE").text(), QString::fromUtf8("Grüße \xE2\x82\xAC"));
    EXPECT_FALSE(options.firstChild("EMPTY").isNull());
    EXPECT_EQ(options.firstChild("EMPTY").text(), "");
    EXPECT_EQ(root.firstChild("data").firstChild("SOURCE").firstChild("CACHE").firstChild("ENABLED").text(),
              "TRUE");
}

TEST(XmlElementTest, ElementOperations) {
    XmlElement e("node");
    EXPECT_FALSE(e.setName("1bad"));
    EXPECT_FALSE(e.setName("has space"));
    EXPECT_FALSE(e.setName(""));
    EXPECT_EQ(e.name(), "node");
    EXPECT_TRUE(e.setName("renamed"));
    EXPECT_EQ(e.name(), "renamed");

    e.addAttribute("a", "1");
    e.addAttribute("a", "1");
    e.addAttribute("b", "1");
    EXPECT_EQ(e.countAttributes("a", "1"), 2);
    EXPECT_EQ(e.countAttributes("a", "2"), 0);
    EXPECT_TRUE(e.setAttributeValue("b", "2"));
    EXPECT_EQ(e.attributeValue("b"), "2");
    EXPECT_FALSE(e.setAttributeValue("missing", "x"));

    e.appendChild("child").setText("one");
    e.appendChild("child").setText("two");
    e.appendChild("other");
    EXPECT_EQ(e.countChildren("child"), 2);
    EXPECT_EQ(e.countChildren(), 3);
    EXPECT_EQ(e.firstChild("child").text(), "one");
    EXPECT_TRUE(e.firstChild("absent").isNull());
    EXPECT_TRUE(e.appendChild("not a name").isNull());

    // A separately built element keeps working as a handle into the document it was appended to.
    XmlElement loose("loose");
    loose.appendChild("inner").setText("x");
    ASSERT_TRUE(e.appendChild(loose));
    loose.firstChild("inner").setText("changed");
    EXPECT_EQ(e.firstChild("loose").firstChild("inner").text(), "changed");

    XmlElement t("t");
    t.setText("value");
    t.setText("");
    EXPECT_EQ(t.toXmlText().trimmed(), "<t />");
}

TEST(XmlElementTest, SaveAndLoadRoundTrip) {
    TempDir dir;
    const QString path = dir.file("round.xml");
    XmlElement root = sampleTree();
    ASSERT_TRUE(root.SaveXML(path)) << root.lastError().toStdString();
    const QByteArray bytes = readBytes(path);
    EXPECT_TRUE(bytes.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_TRUE(bytes.contains("<spec version=\"1\" encrypted=\"False\">"));
    EXPECT_TRUE(bytes.contains("<EMPTY />"));

    XmlElement loaded;
    ASSERT_TRUE(loaded.LoadXmlFile(path)) << loaded.lastError().toStdString();
    expectSampleContent(loaded);

    // Saving what was read gives the same file again.
    const QString again = dir.file("again.xml");
    ASSERT_TRUE(loaded.SaveXML(again));
    EXPECT_EQ(readBytes(again), bytes);
}

TEST(XmlElementTest, EncipheredRoundTrip) {
    TempDir dir;
    const QString path = dir.file("sealed.xml");
    XmlElement root = sampleTree();
    XmlElement data = root.firstChild("data");
    ASSERT_TRUE(data.Encipher("k3Y-t3xt!0"));
    EXPECT_EQ(data.countChildren(), 0);
    ASSERT_TRUE(root.SaveXML(path));
    const QByteArray bytes = readBytes(path);
    for (const char* plain : {"LOG_VERBOSITY", "OPTIONS",
                              "Gr\xC3\xBC\xC3\x9F"
                              "e",
                              "ENABLED"})
        EXPECT_FALSE(bytes.contains(plain)) << plain;

    XmlElement loaded;
    ASSERT_TRUE(loaded.LoadXmlFile(path));
    XmlElement sealed = loaded.firstChild("data");
    ASSERT_TRUE(sealed.Decipher("k3Y-t3xt!0")) << sealed.lastError().toStdString();
    expectSampleContent(loaded);

    // The same content enciphered twice differs (fresh nonce each time).
    XmlElement a = sampleTree().firstChild("data");
    XmlElement b = sampleTree().firstChild("data");
    ASSERT_TRUE(a.Encipher("k"));
    ASSERT_TRUE(b.Encipher("k"));
    EXPECT_NE(a.text(), b.text());
}

struct CipherDamage {
    const char* name;
    std::function<QString(const QString&)> damage; // from the good cipher text
    const char* key;
    const char* errorPart;
};

TEST(XmlElementTest, DamagedCipherTextOrWrongKeyFailsAndKeepsElement) {
    XmlElement good = sampleTree().firstChild("data");
    ASSERT_TRUE(good.Encipher("right-key!"));
    const QString cipher = good.text();
    const CipherDamage cases[] = {
        {"wrong key", [](const QString& c) { return c; }, "wrong-key!", "authentication"},
        {"one character changed",
         [](const QString& c) {
             QString d = c;
             d[d.size() / 2] = d[d.size() / 2] == u'A' ? u'B' : u'A';
             return d;
         },
         "right-key!", "authentication"},
        {"truncated", [](const QString& c) { return c.left(c.size() / 2 / 4 * 4); }, "right-key!",
         "authentication"},
        {"too short", [](const QString&) { return QString("AAAA"); }, "right-key!", "too short"},
        {"not base64", [](const QString& c) { return c + "*#"; }, "right-key!", "base64"},
        {"empty", [](const QString&) { return QString(); }, "right-key!", "too short"},
    };
    for (const auto& c : cases) {
        XmlElement e("data");
        e.setText(c.damage(cipher));
        const QString before = e.toXmlText();
        EXPECT_FALSE(e.Decipher(c.key)) << c.name;
        EXPECT_TRUE(e.lastError().contains(c.errorPart)) << c.name << ": " << e.lastError().toStdString();
        EXPECT_EQ(e.toXmlText(), before) << c.name;
    }
    XmlElement plain = sampleTree().firstChild("data");
    EXPECT_FALSE(plain.Decipher("right-key!"));
    EXPECT_EQ(plain.firstChild("OPTIONS").firstChild("LOG_VERBOSITY").text(), "3");
}

QByteArray nested(int depth) {
    QByteArray b;
    for (int i = 0; i < depth; ++i)
        b += "<a>";
    for (int i = 0; i < depth; ++i)
        b += "</a>";
    return b;
}

QByteArray bigValid(qint64 atLeast) {
    QByteArray b = "<root>";
    const QByteArray item = "<item name=\"x\">some value text</item>\n";
    while (b.size() < atLeast)
        b += item;
    return b + "</root>";
}

struct HostileFile {
    const char* name;
    QByteArray content;
    const char* errorPart; // nullptr: the file must load
};

TEST(XmlElementTest, HostileFilesAreRefusedCleanly) {
    const QByteArray good = "<root><v>1</v></root>";
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += char((i * 7919 + 13) % 256);
    const HostileFile cases[] = {
        {"truncated", good.left(good.size() - 5), "Not well-formed"},
        {"not XML", "just some words, no markup", "Not well-formed"},
        {"empty", "", "Not well-formed"},
        {"binary garbage", garbage, "UTF-8"},
        {"latin-1 bytes", "<root><v>caf\xE9</v></root>", "UTF-8"},
        {"overlong UTF-8", "<root><v>\xC0\xAF</v></root>", "UTF-8"},
        {"UTF-16 surrogate in UTF-8", "<root><v>\xED\xA0\x80</v></root>", "UTF-8"},
        {"embedded NUL", QByteArray("<root><v>a\0b</v></root>", 22), "UTF-8"},
        {"two roots", "<a/><b/>", "one root element"},
        {"entity expansion",
         "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;\">]>"
         "<r>&b;&b;&b;&b;</r>",
         "Document type"},
        {"external entity", "<!DOCTYPE r [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><r>&x;</r>",
         "Document type"},
        {"deep nesting", nested(100000), "nested deeper"},
        {"nesting at the limit", nested(XmlElement::MaxDepth), nullptr},
        {"above the size limit", bigValid(XmlElement::MaxFileBytes + 1), "exceeds the limit"},
        {"multi-megabyte but within the limit", bigValid(4 * 1024 * 1024), nullptr},
        {"UTF-8 byte order mark", "\xEF\xBB\xBF<root/>", nullptr},
    };
    TempDir dir;
    for (const auto& c : cases) {
        const QString path = dir.file("hostile.xml");
        writeBytes(path, c.content);
        XmlElement e("keep");
        e.appendChild("mine").setText("unchanged");
        const bool ok = e.LoadXmlFile(path);
        if (!c.errorPart) {
            EXPECT_TRUE(ok) << c.name << ": " << e.lastError().toStdString();
            continue;
        }
        EXPECT_FALSE(ok) << c.name;
        EXPECT_TRUE(e.lastError().contains(c.errorPart)) << c.name << ": " << e.lastError().toStdString();
        EXPECT_FALSE(e.lastError().isEmpty()) << c.name;
        EXPECT_EQ(e.name(), "keep") << c.name;
        EXPECT_EQ(e.firstChild("mine").text(), "unchanged") << c.name;
    }
    XmlElement e;
    EXPECT_FALSE(e.LoadXmlFile(dir.file("missing.xml")));
    EXPECT_TRUE(e.lastError().contains("No file")) << e.lastError().toStdString();
    EXPECT_FALSE(e.LoadXmlFile(dir.path()));
}

TEST(XmlElementTest, SaveReplacesTheFileInsteadOfRewritingIt) {
    TempDir dir;
    const QString path = dir.file("cfg.xml");
    XmlElement first("first");
    ASSERT_TRUE(first.SaveXML(path));
    const QByteArray firstBytes = readBytes(path);
    // A second name for the old file: a writer that rewrote the file in place would change it too.
    ASSERT_EQ(::link(QFile::encodeName(path).constData(), QFile::encodeName(dir.file("old.xml")).constData()),
              0);
    ASSERT_TRUE(sampleTree().SaveXML(path));
    EXPECT_EQ(readBytes(dir.file("old.xml")), firstBytes);
    XmlElement loaded;
    ASSERT_TRUE(loaded.LoadXmlFile(path));
    expectSampleContent(loaded);
}

TEST(XmlElementTest, FailedSaveLeavesThePreviousFileIntact) {
    TempDir dir;
    const QString path = dir.file("cfg.xml");
    ASSERT_TRUE(sampleTree().SaveXML(path));
    const QByteArray before = readBytes(path);

    XmlElement big = sampleTree();
    XmlElement data = big.firstChild("data");
    for (int i = 0; i < 2000; ++i)
        data.appendChild("FILLER").setText("a value long enough to need several kB");
    bool saved = true;
    {
        FileSizeLimit limit(512);
        saved = big.SaveXML(path);
    }
    EXPECT_FALSE(saved);
    EXPECT_FALSE(big.lastError().isEmpty());
    EXPECT_EQ(readBytes(path), before);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"cfg.xml"}); // no temporary file left

    // A folder that does not exist cannot receive the file.
    XmlElement e("x");
    EXPECT_FALSE(e.SaveXML(dir.file("no/such/folder/cfg.xml")));
    EXPECT_FALSE(e.lastError().isEmpty());
}

} // namespace
