#include "CommonFiles/foundation/NetInfo.h"
#include "CommonFiles/startup/ProgramEntryPoint.h"
#include "tests/foundation/LogTestSupport.h"
#include "tests/foundation/QtPrinters.h"
#include "tests/support/TempDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

struct ModeCase {
    QStringList arguments;
    bool service;
};

TEST(ProgramEntryPointTest, OnlyASingleNtserviceArgumentSelectsServiceMode) {
    const ModeCase cases[] = {
        {{"NTSERVICE"}, true},
        {{"ntservice"}, true},
        {{"NtService"}, true},
        {{}, false},
        {{""}, false},
        {{"NTSERVICE", "extra"}, false},
        {{"extra", "NTSERVICE"}, false},
        {{" NTSERVICE"}, false},
        {{"NTSERVICE "}, false},
        {{"NTSERVIC"}, false},
        {{"NTSERVICES"}, false},
        {{"/NTSERVICE"}, false},
        {{"-NTSERVICE"}, false},
        {{QString::fromUtf8("nt\xC5\xBF"
                            "ervice")},
         false}, // long s upper-cases to S in Unicode
        {{"NT SERVICE"}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsServiceCommandLine(c.arguments), c.service)
            << '"' << c.arguments.join("\" \"").toStdString() << '"';
}

TEST(ProgramEntryPointTest, StartupBlockTexts) {
    NetInfo host;
    const QStringList before = StartupBlock(host);
    ASSERT_EQ(before.size(), 5);
    EXPECT_EQ(before[0], "Vesk DRAQ Direct Server-Side Interface to Senvista Database");
    EXPECT_EQ(before[1], "Vesk_DRAQ_K48213_Interface version 1.1.0 (Build 165)");
    EXPECT_EQ(before[2], "Build Numbers : 165 (Application)  66 (Type) 149 (Platform)");
    EXPECT_EQ(before[3], "ID: 48213");
    EXPECT_EQ(before[4], "Running on ");
    host.GetNetInfo();
    EXPECT_EQ(StartupBlock(host)[4], "Running on " + host.AllTextDump());
}

struct ProgramRun {
    bool exited = false; // false: still running with its block written, and stopped by the test
    int exitCode = -1;
    QStringList logFiles;
};

// Runs the program in its own application folder until it ends, or, once a mode start keeps it
// running, until its log holds the start-up block.
ProgramRun runProgram(const TempDir& home, const QStringList& arguments) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("K48213_HOME", home.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home.path());
    p.start(QStringLiteral(K48213_EXECUTABLE), arguments);
    ProgramRun r;
    auto logFiles = [&] { return QDir(home.file("log")).entryList(QDir::Files, QDir::Name); };
    QElapsedTimer patience;
    patience.start();
    while (!p.waitForFinished(50)) {
        const QStringList files = logFiles();
        const bool blockWritten = files.size() == 1 && ReadLogLines(home.file("log/" + files[0])).size() >= 5;
        if (blockWritten || patience.hasExpired(60000)) {
            p.kill();
            p.waitForFinished();
            r.logFiles = logFiles();
            return r;
        }
    }
    r.exited = true;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.logFiles = logFiles();
    return r;
}

QStringList expectedBlock() {
    NetInfo host;
    host.GetNetInfo();
    return StartupBlock(host);
}

TEST(ProgramEntryPointTest, ServiceStartWritesTheBlockAndPublishesTheLog) {
    TempDir home;
    const ProgramRun r = runProgram(home, {"ntservice"});
    EXPECT_TRUE(!r.exited || r.exitCode == 0) << "exit code " << r.exitCode;
    ASSERT_EQ(r.logFiles.size(), 1);
    EXPECT_TRUE(QRegularExpression("^\\d\\d_\\d\\d_\\d{4}__\\d\\d_\\d\\d_\\d\\d_ntservice\\.log$")
                    .match(r.logFiles[0])
                    .hasMatch())
        << r.logFiles[0].toStdString();
    const QString path = home.file("log/" + r.logFiles[0]);
    const QStringList lines = ReadLogLines(path);
    ASSERT_GE(lines.size(), 5);
    for (const QString& line : lines.mid(0, 5))
        EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d : ").match(line).hasMatch())
            << line.toStdString();
    EXPECT_EQ(ReadLogMessages(path).mid(0, 5), expectedBlock());
    EXPECT_EQ(ReadLogLines(home.file("k48213.log_handle")), QStringList{path});
}

TEST(ProgramEntryPointTest, InteractiveStartLogsWithoutALogHandle) {
    const QStringList commandLines[] = {{}, {"NTSERVICE", "now"}};
    for (const QStringList& arguments : commandLines) {
        TempDir home;
        const ProgramRun r = runProgram(home, arguments);
        EXPECT_TRUE(!r.exited || r.exitCode == 0) << "exit code " << r.exitCode;
        ASSERT_EQ(r.logFiles.size(), 1) << arguments.join(' ').toStdString();
        EXPECT_TRUE(r.logFiles[0].endsWith("_interactive.log")) << r.logFiles[0].toStdString();
        EXPECT_EQ(ReadLogMessages(home.file("log/" + r.logFiles[0])).mid(0, 5), expectedBlock());
        EXPECT_FALSE(QFile::exists(home.file("k48213.log_handle")));
    }
}

} // namespace
