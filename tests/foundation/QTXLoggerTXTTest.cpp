#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "tests/foundation/LogTestSupport.h"
#include "tests/foundation/QtPrinters.h"
#include "tests/support/FakeClock.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

const double kDec8At211503 = OleDate::fromParts(2026, 12, 8, 21, 15, 3);

// A logger as start-up sets it up, writing into a temporary folder.
struct LogFolder {
    TempDir dir;
    QTXLoggerTXT log;
    explicit LogFolder(const QString& postfix = QStringLiteral("_ntservice")) {
        log.setLogPath(dir.file("log"));
        log.setLogHandleFile(dir.file("k48213.log_handle"));
        log.setPostfix(postfix);
        log.setBufferLength(1);
        log.setEnabled(true);
    }
    QStringList files() const { return QDir(dir.file("log")).entryList(QDir::Files, QDir::Name); }
};

void writeFile(const QString& path, qint64 size, double modified) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(size));
    ASSERT_TRUE(f.setFileTime(OleDate::toDateTime(modified), QFileDevice::FileModificationTime));
}

TEST(QTXLoggerTXTTest, FileIsNamedAfterTheMomentItOpensAndLinesEndInCrLf) {
    FakeClock clock(kDec8At211503);
    LogFolder f;
    f.log.setPrefix(QStringLiteral("svc_"));
    EXPECT_EQ(f.log.currentFileName(), QString());
    f.log.WriteLog(QStringLiteral("first"), 0);
    clock.advanceSeconds(62);
    f.log.WriteLog(QStringLiteral("two\r\nlines"), 0);

    const QString expected = f.dir.file("log/svc_12_08_2026__21_15_03_ntservice.log");
    EXPECT_EQ(f.log.currentFileName(), expected);
    QFile file(expected);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    // The second line of a message is a continuation, never a line of its own.
    EXPECT_EQ(file.readAll(), QByteArray("21:15:03 : first\r\n21:16:05 : two\r\n         | lines\r\n"));
    EXPECT_EQ(f.files(), QStringList{"svc_12_08_2026__21_15_03_ntservice.log"});
}

struct LevelCase {
    int verbosity;
    int level;
    bool written;
};

TEST(QTXLoggerTXTTest, LevelsAreClampedThenComparedWithVerbosity) {
    const LevelCase cases[] = {
        {9, 12, true}, {0, -1, true}, {0, 0, true}, {0, 1, false},  {3, 3, true},
        {3, 4, false}, {8, 9, false}, {9, 9, true}, {2, 10, false}, {-1, 0, false},
    };
    for (const auto& c : cases) {
        FakeClock clock(kDec8At211503);
        LogFolder f;
        f.log.setVerbosity(static_cast<std::int16_t>(c.verbosity));
        f.log.WriteLog(QStringLiteral("message"), c.level);
        const QStringList lines = ReadLogMessages(f.log.currentFileName());
        EXPECT_EQ(lines == QStringList{"message"}, c.written)
            << "verbosity " << c.verbosity << " level " << c.level;
        EXPECT_EQ(f.files().size(), 1) << "the first call opens the file whatever its level";
    }
}

TEST(QTXLoggerTXTTest, DisabledLogCreatesNoFile) {
    FakeClock clock(kDec8At211503);
    LogFolder f;
    f.log.setEnabled(false);
    f.log.setLogHandleAssertion(true);
    for (int level : {0, 5, 9})
        f.log.WriteLog(QStringLiteral("nothing"), level);
    f.log.AssertVerbosity();
    EXPECT_TRUE(f.files().isEmpty());
    EXPECT_FALSE(QFile::exists(f.dir.file("k48213.log_handle")));
    EXPECT_EQ(f.log.currentFileName(), QString());
}

TEST(QTXLoggerTXTTest, LogHandleNamesEachNewFileOnlyWhenAsserted) {
    FakeClock clock(kDec8At211503);
    {
        LogFolder f;
        f.log.WriteLog(QStringLiteral("interactive"), 0);
        EXPECT_FALSE(QFile::exists(f.dir.file("k48213.log_handle")));
    }
    LogFolder f;
    f.log.setLogHandleAssertion(true);
    f.log.WriteLog(QStringLiteral("service"), 0);
    const QString first = f.log.currentFileName();
    EXPECT_EQ(ReadLogLines(f.dir.file("k48213.log_handle")), QStringList{first});
    f.log.closeLog();
    clock.advanceSeconds(5);
    f.log.WriteLog(QStringLiteral("again"), 0);
    ASSERT_NE(f.log.currentFileName(), first);
    EXPECT_EQ(ReadLogLines(f.dir.file("k48213.log_handle")), QStringList{f.log.currentFileName()});
}

TEST(QTXLoggerTXTTest, MidnightStartsANewFileThatNamesThePreviousOne) {
    FakeClock clock(OleDate::fromParts(2026, 12, 8, 23, 59, 58));
    LogFolder f;
    f.log.setLogHandleAssertion(true);
    f.log.WriteLog(QStringLiteral("before midnight"), 0);
    const QString before = f.log.currentFileName();
    clock.set(OleDate::fromParts(2026, 12, 9, 0, 0, 5));
    f.log.WriteLog(QStringLiteral("after midnight"), 0);
    f.log.WriteLog(QStringLiteral("and on"), 0);

    const QString after = f.log.currentFileName();
    EXPECT_EQ(after, f.dir.file("log/12_09_2026__00_00_05_ntservice.log"));
    EXPECT_EQ(ReadLogLines(before), QStringList{"23:59:58 : before midnight"});
    EXPECT_EQ(ReadLogLines(after), (QStringList{"00:00:05 : Previous log file for this session = " + before,
                                                "00:00:05 : after midnight", "00:00:05 : and on"}));
    EXPECT_EQ(ReadLogLines(f.dir.file("k48213.log_handle")), QStringList{after});
}

TEST(QTXLoggerTXTTest, ADayChangeAboveTheVerbosityStillRollsOverOnTheNextWrittenLine) {
    FakeClock clock(OleDate::fromParts(2026, 12, 8, 23, 0, 0));
    LogFolder f;
    f.log.WriteLog(QStringLiteral("kept"), 0);
    const QString before = f.log.currentFileName();
    clock.set(OleDate::fromParts(2026, 12, 9, 1, 0, 0));
    f.log.WriteLog(QStringLiteral("too detailed"), 5);
    EXPECT_EQ(f.log.currentFileName(), before); // nothing written, nothing rolled
    f.log.WriteLog(QStringLiteral("next"), 0);
    EXPECT_EQ(ReadLogMessages(f.log.currentFileName()),
              (QStringList{"Previous log file for this session = " + before, "next"}));
}

TEST(QTXLoggerTXTTest, BufferedLinesReachTheDiskWhenTheLogCloses) {
    FakeClock clock(kDec8At211503);
    LogFolder f;
    f.log.setBufferLength(1024);
    f.log.WriteLog(QStringLiteral("held"), 0);
    const QString path = f.log.currentFileName();
    EXPECT_EQ(QFileInfo(path).size(), 0);
    f.log.closeLog();
    EXPECT_EQ(f.log.currentFileName(), QString());
    EXPECT_EQ(ReadLogMessages(path), QStringList{"held"});
}

TEST(QTXLoggerTXTTest, ALineBatchReachesTheDiskInOneWriteAtItsOutermostEnd) {
    FakeClock clock(kDec8At211503);
    LogFolder f; // buffer length 1: every line on its own reaches the disk at once
    f.log.WriteLog(QStringLiteral("before"), 0);
    const QString path = f.log.currentFileName();
    f.log.BeginLineBatch();
    f.log.WriteLog(QStringLiteral("first"), 0);
    f.log.BeginLineBatch();
    f.log.WriteLog(QStringLiteral("second"), 0);
    f.log.EndLineBatch();
    EXPECT_EQ(ReadLogMessages(path), QStringList{"before"}) << "an inner end writes nothing";
    f.log.WriteLog(QStringLiteral("third"), 0);
    f.log.EndLineBatch();
    EXPECT_EQ(ReadLogMessages(path), (QStringList{"before", "first", "second", "third"}));
    f.log.EndLineBatch(); // one end too many changes nothing
    f.log.WriteLog(QStringLiteral("after"), 0);
    EXPECT_EQ(ReadLogMessages(path).last(), QStringLiteral("after")) << "unbatched lines are written at once again";
}

TEST(QTXLoggerTXTTest, AssertVerbosityNamesTheLevelAndTheDay) {
    FakeClock clock(kDec8At211503);
    LogFolder f;
    f.log.setVerbosity(3);
    f.log.AssertVerbosity();
    EXPECT_EQ(ReadLogMessages(f.log.currentFileName()),
              QStringList{"[Log Verbosity is set to 3, Log Date is 12/08/2026]"});
}

TEST(QTXLoggerTXTTest, UnusableLogFolderLosesMessagesAndRecovers) {
    FakeClock clock(kDec8At211503);
    TempDir dir;
    QFile blocker(dir.file("not-a-folder"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QTXLoggerTXT log;
    log.setLogHandleFile(dir.file("missing/k48213.log_handle"));
    log.setLogHandleAssertion(true);
    log.setLogPath(dir.file("not-a-folder/log")); // cannot be created: ignored
    log.setEnabled(true);
    log.setBufferLength(1);
    log.WriteLog(QStringLiteral("lost"), 0);
    log.LSM_Init(7);
    log.LSM_Run();
    EXPECT_EQ(log.currentFileName(), QString());

    log.setLogPath(dir.file("log")); // the next call tries again
    log.WriteLog(QStringLiteral("kept"), 0);
    EXPECT_EQ(ReadLogMessages(log.currentFileName()), QStringList{"kept"});
}

TEST(QTXLoggerTXTTest, LsmInitClampsTheDaysAndAnnouncesThem) {
    const struct {
        int days;
        int kept;
    } cases[] = {{3, 7}, {-5, 7}, {7, 7}, {30, 30}, {1000, 1000}, {5000, 1000}};
    for (const auto& c : cases) {
        FakeClock clock(kDec8At211503);
        LogFolder f;
        f.log.LSM_Init(c.days);
        EXPECT_EQ(f.log.RetentionDays(), c.kept);
        EXPECT_EQ(ReadLogMessages(f.log.currentFileName()),
                  QStringList{"Logs in '" + f.dir.file("log") +
                              "' will be removed after they are older than " + QString::number(c.kept) +
                              " days."});
    }
}

TEST(QTXLoggerTXTTest, LsmRunRemovesOldFilesOfAnyKindOncePerClockHour) {
    FakeClock clock(OleDate::fromParts(2026, 12, 8, 21, 10, 0));
    LogFolder f;
    const double now = clock.now();
    f.log.WriteLog(QStringLiteral("start"), 0);
    const QString log = f.dir.file("log/");
    writeFile(log + "11_28_2026__08_00_00_ntservice.log", 2048, OleDate::addDays(now, -10));
    writeFile(log + "notes.txt", 1024, OleDate::addDays(now, -10));
    writeFile(log + ".hidden", 512, OleDate::addDays(now, -8));
    writeFile(log + "recent.log", 4096, OleDate::addDays(now, -3));
    writeFile(log + "just-inside.log", 10, OleDate::addMinutes(OleDate::addDays(now, -7), 1));
    ASSERT_TRUE(QDir(log).mkdir("old-folder"));
    f.log.LSM_Init(7);
    f.log.LSM_Run();

    EXPECT_FALSE(QFile::exists(log + "11_28_2026__08_00_00_ntservice.log"));
    EXPECT_FALSE(QFile::exists(log + "notes.txt"));
    EXPECT_FALSE(QFile::exists(log + ".hidden"));
    EXPECT_TRUE(QFile::exists(log + "recent.log"));
    EXPECT_TRUE(QFile::exists(log + "just-inside.log"));
    EXPECT_TRUE(QFileInfo(log + "old-folder").isDir());
    EXPECT_TRUE(QFile::exists(f.log.currentFileName()));
    QStringList messages = ReadLogMessages(f.log.currentFileName());
    ASSERT_EQ(messages.size(), 3);
    EXPECT_EQ(messages[2], "Removed 3 logs. Freed 3.50 kB of disk space.");

    // Later in the same clock hour: no pass, even for a file that has become old.
    writeFile(log + "late.log", 100, OleDate::addDays(now, -9));
    clock.set(OleDate::fromParts(2026, 12, 8, 21, 59, 59));
    f.log.LSM_Run();
    EXPECT_TRUE(QFile::exists(log + "late.log"));
    // The next clock hour runs a pass.
    clock.set(OleDate::fromParts(2026, 12, 8, 22, 0, 0));
    f.log.LSM_Run();
    EXPECT_FALSE(QFile::exists(log + "late.log"));
    EXPECT_FALSE(QFile::exists(log + "just-inside.log")); // older than seven days by now
    messages = ReadLogMessages(f.log.currentFileName());
    ASSERT_EQ(messages.size(), 4);
    EXPECT_EQ(messages[3], "Removed 2 logs. Freed 0.11 kB of disk space.");
}

TEST(QTXLoggerTXTTest, LsmRunWritesNothingWhenNothingIsOldOrBeforeInit) {
    FakeClock clock(kDec8At211503);
    LogFolder f;
    writeFile(f.dir.file("log/old.log"), 10, OleDate::addDays(clock.now(), -30));
    f.log.LSM_Run(); // not armed
    EXPECT_TRUE(QFile::exists(f.dir.file("log/old.log")));
    EXPECT_EQ(f.log.currentFileName(), QString());

    QFile::remove(f.dir.file("log/old.log"));
    writeFile(f.dir.file("log/new.log"), 10, clock.now());
    f.log.LSM_Init(7);
    f.log.LSM_Run();
    EXPECT_EQ(ReadLogMessages(f.log.currentFileName()).size(), 1); // the LSM_Init line only
}

TEST(QTXLoggerTXTTest, FreedSpaceIsGroupedWithTwoDecimals) {
    const struct {
        qint64 bytes;
        const char* text;
    } cases[] = {
        {0, "0.00"},
        {512, "0.50"},
        {1023, "1.00"},
        {1024 * 999, "999.00"},
        {1024 * 1000, "1,000.00"},
        {1234567890, "1,205,632.71"},
    };
    for (const auto& c : cases) {
        FakeClock clock(kDec8At211503);
        LogFolder f;
        writeFile(f.dir.file("log/old.bin"), c.bytes, OleDate::addDays(clock.now(), -100));
        f.log.LSM_Init(7);
        f.log.LSM_Run();
        EXPECT_EQ(ReadLogMessages(f.log.currentFileName()).value(1),
                  QString("Removed 1 logs. Freed %1 kB of disk space.").arg(c.text));
    }
}

TEST(QTXLoggerTXTTest, FileHelpers) {
    TempDir dir;
    const double stamp = OleDate::fromParts(2025, 3, 5, 10, 44, 59);
    writeFile(dir.file("a.log"), 4294967306LL, stamp); // sparse: 4 GiB + 10 bytes
    EXPECT_EQ(OleDate::toMs(QTXLoggerTXT::GetLastModifiedFileTime(dir.file("a.log"))), OleDate::toMs(stamp));
    EXPECT_EQ(QTXLoggerTXT::GetFileSizeInBytes(dir.file("a.log")), 10); // the low 32 bits
    EXPECT_EQ(QTXLoggerTXT::GetFileSizeInBytes(dir.file("missing")), 0);
    EXPECT_TRUE(QTXLoggerTXT::KillFileAndDiscardError(dir.file("a.log")));
    EXPECT_FALSE(QFile::exists(dir.file("a.log")));
    EXPECT_FALSE(QTXLoggerTXT::KillFileAndDiscardError(dir.file("a.log")));
}

} // namespace
