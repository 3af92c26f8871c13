#include "CommonFiles/target/BLOB_IO.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "platform/ado/Command.h"
#include "tests/target/TargetTestSupport.h"

#include <QFile>

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QByteArray everyByte() {
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b + QByteArray("\r\n\0end", 6);
}

struct StoredFile {
    int id = 0;
    QString dir;
    QString file;
    QByteArray bytes;
    bool dataIsNull = true;
    QString auditUser;
};

class BlobIoTest : public ::testing::TestWithParam<fixtures::Engine> {
protected:
    void SetUp() override {
        SetWriteAsUser(QString());
        site = std::make_unique<TargetSite>(GetParam());
    }

    // Every row of FILES, read through the database layer (binary-safe), in id order.
    QList<StoredFile> files() {
        ado::Connection cn = site->openRoot();
        ado::Recordset rs = cn.Execute(
            QStringLiteral("SELECT ID, DIRNAME, FILENAME, FILEDATA, AUDITUSER FROM FILES ORDER BY ID"));
        QList<StoredFile> out;
        while (!rs.Eof()) {
            const Variant data = rs.Fields(QStringLiteral("FILEDATA"));
            out.append({rs.Fields(QStringLiteral("ID")).toInt32(),
                        rs.Fields(QStringLiteral("DIRNAME")).toText(),
                        rs.Fields(QStringLiteral("FILENAME")).toText(), data.toText().toLatin1(),
                        data.isNull(), rs.Fields(QStringLiteral("AUDITUSER")).toText()});
            rs.MoveNext();
        }
        cn.Close();
        return out;
    }

    TempDir local;
    std::unique_ptr<TargetSite> site;
};

TEST_P(BlobIoTest, StoresUpperCasedPairsAndReplacesInPlace) {
    RunMode mode(true);
    RecordingPresenter boxes;
    const QString path = local.file(QStringLiteral("help.chm"));
    writeBytes(path, everyByte());

    QString firstId;
    ASSERT_TRUE(BLOBUploadFile(path, QStringLiteral("defs/k48213"), QStringLiteral("help.chm"), firstId));
    QList<StoredFile> rows = files();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(firstId, QString::number(rows[0].id));
    EXPECT_EQ(rows[0].dir, QStringLiteral("DEFS/K48213"));
    EXPECT_EQ(rows[0].file, QStringLiteral("HELP.CHM"));
    EXPECT_EQ(rows[0].bytes, everyByte());
    EXPECT_EQ(rows[0].auditUser, QStringLiteral("VIA_K48213"));

    // A second pair gets a row and an id of its own, as the database assigned it.
    writeBytes(path, QByteArray("browser"));
    std::int32_t otherId = -5;
    ASSERT_TRUE(
        BLOBPutFile(path, QStringLiteral("DEFS/K48213"), QStringLiteral("browser.dll"), false, otherId));
    rows = files();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(otherId, rows[1].id);
    EXPECT_NE(otherId, firstId.toInt());

    // The same pair again, in another letter case: one row, its id, the new bytes.
    writeBytes(path, QByteArray("second version"));
    QString againId;
    ASSERT_TRUE(BLOBUploadFile(path, QStringLiteral("Defs/K48213"), QStringLiteral("HELP.chm"), againId));
    EXPECT_EQ(againId, firstId);
    rows = files();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].bytes, QByteArray("second version"));
    EXPECT_EQ(rows[1].bytes, QByteArray("browser"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
}

TEST_P(BlobIoTest, EmptyFileStoresZeroLengthData) {
    RunMode mode(true);
    const QString path = local.file(QStringLiteral("empty.bin"));
    writeBytes(path, QByteArray());
    std::int32_t id = -5;
    ASSERT_TRUE(BLOBPutFile(path, QStringLiteral("d"), QStringLiteral("empty.bin"), true, id));
    const QList<StoredFile> rows = files();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].id, id);
    EXPECT_FALSE(rows[0].dataIsNull);
    EXPECT_TRUE(rows[0].bytes.isEmpty());
    // Asked to, the local file is gone afterwards.
    EXPECT_FALSE(QFile::exists(path));
}

TEST_P(BlobIoTest, MissingFileGivesFalseWithoutAMessage) {
    RunMode mode(false);
    RecordingPresenter boxes;
    std::int32_t id = 77;
    EXPECT_FALSE(BLOBPutFile(local.file(QStringLiteral("nope.chm")), QStringLiteral("D"), QStringLiteral("F"),
                             true, id));
    EXPECT_EQ(id, 77);
    QString idText = QStringLiteral("9");
    EXPECT_FALSE(BLOBUploadFile(local.file(QStringLiteral("nope.chm")), QStringLiteral("D"),
                                QStringLiteral("F"), idText));
    EXPECT_EQ(idText, QStringLiteral("-1"));
    EXPECT_TRUE(boxes.boxes.isEmpty());
    EXPECT_TRUE(files().isEmpty());
}

TEST_P(BlobIoTest, HostileNamesAreStoredAsTheyAre) {
    RunMode mode(true);
    const QString path = local.file(QStringLiteral("x.bin"));
    writeBytes(path, QByteArray("one"));
    std::int32_t keep = 0;
    ASSERT_TRUE(BLOBPutFile(path, QStringLiteral("KEEP"), QStringLiteral("ME"), false, keep));

    const QStringList names{QStringLiteral("a' OR '1'='1"), QStringLiteral("x'; DELETE FROM FILES; --"),
                            QStringLiteral("KEEP' AND FILENAME='ME")};
    for (const QString& name : names) {
        SCOPED_TRACE(name.toStdString());
        writeBytes(path, name.toUtf8());
        std::int32_t id = 0;
        ASSERT_TRUE(BLOBPutFile(path, name, name, false, id));
        EXPECT_NE(id, keep);
    }
    const QList<StoredFile> rows = files();
    ASSERT_EQ(rows.size(), 1 + names.size());
    EXPECT_EQ(rows[0].id, keep);
    EXPECT_EQ(rows[0].bytes, QByteArray("one"));
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(rows[i + 1].dir, names[i].toUpper());
        EXPECT_EQ(rows[i + 1].file, names[i].toUpper());
        EXPECT_EQ(rows[i + 1].bytes, names[i].toUtf8());
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, BlobIoTest, kEngines, engineName);

TEST(BlobIo, UnusableSettingsAndUnreachableTargetAreReported) {
    TargetSite site(fixtures::Engine::SQLite);
    RunMode mode(false);
    RecordingPresenter boxes;
    LogCapture log;
    TempDir local;
    const QString path = local.file(QStringLiteral("f.bin"));
    writeBytes(path, QByteArray("x"));

    AppConfig().setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE"), QStringLiteral("3"));
    std::int32_t id = 5;
    EXPECT_FALSE(BLOBPutFile(path, QStringLiteral("D"), QStringLiteral("F"), false, id));
    ASSERT_EQ(boxes.boxes.size(), 1);
    EXPECT_EQ(boxes.boxes[0].prompt, QStringLiteral("Unable to init Vesk DRAQ Connection Manager"));
    EXPECT_EQ(boxes.boxes[0].buttons, 48);

    site.configure(2);
    AppConfig().setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE"),
                        "sqlite:" + local.file(QStringLiteral("no-such-folder")));
    QString idText;
    EXPECT_FALSE(BLOBUploadFile(path, QStringLiteral("D"), QStringLiteral("F"), idText));
    EXPECT_EQ(idText, QStringLiteral("-1"));
    ASSERT_EQ(boxes.boxes.size(), 2);
    EXPECT_TRUE(boxes.boxes[1].prompt.startsWith(QStringLiteral("Error :\n3709 - ")))
        << boxes.boxes[1].prompt.toStdString();
    EXPECT_EQ(boxes.boxes[1].title, QStringLiteral("Failed to connect to Vesk DRAQ"));
    EXPECT_EQ(boxes.boxes[1].buttons, 48);
    EXPECT_FALSE(boxes.boxes[1].prompt.contains(QStringLiteral("kvesk")));
    EXPECT_TRUE(log.messages().contains(QStringLiteral("Failed to Connect to Vesk DRAQ.")));
    EXPECT_EQ(id, 5);
    site.configure(2);
}

TEST(BlobIo, DeleteLocalFileIgnoresEveryError) {
    TempDir dir;
    const QString path = dir.file(QStringLiteral("gone.txt"));
    writeBytes(path, QByteArray("x"));
    DeleteLocalFile(path);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_NO_THROW(DeleteLocalFile(path));
    EXPECT_NO_THROW(DeleteLocalFile(QString()));
}

} // namespace
