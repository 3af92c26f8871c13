#include "tests/service/ServiceTestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <ostream>

namespace {

QString sourceTree() {
    const QString fromEnv = qEnvironmentVariable("K48213_SOURCE_DIR");
    return fromEnv.isEmpty() ? QStringLiteral(K48213_SOURCE_TREE) : fromEnv;
}

void writeExecutable(const QString& path, const QByteArray& content) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    ASSERT_TRUE(f.setPermissions(f.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup));
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Lists every file below `root`, relative to it, sorted.
QStringList filesBelow(const QString& root) {
    QStringList out;
    QDir dir(root);
    if (!dir.exists()) return out;
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo& e : entries) {
        if (e.isDir())
            for (const QString& sub : filesBelow(e.filePath()))
                out.append(e.fileName() + "/" + sub);
        else
            out.append(e.fileName());
    }
    out.sort();
    return out;
}

// A built tree and a PATH whose systemctl, useradd and chown only record that they were called:
// the real ones would change this machine.
class Installer {
public:
    Installer() {
        QDir().mkpath(dir.file("build"));
        QDir().mkpath(dir.file("bin"));
        writeExecutable(dir.file("build/k48213"), "#!/bin/sh\necho collector\n");
        writeExecutable(dir.file("build/k48213ctl"), "#!/bin/sh\necho control\n");
        for (const char* tool : {"systemctl", "useradd", "chown"})
            writeExecutable(dir.file(QStringLiteral("bin/") + tool),
                            QByteArray("#!/bin/sh\necho \"$(basename \"$0\") $*\" >> \"") +
                                dir.file("calls").toUtf8() + "\"\n");
    }

    int run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("PATH", dir.file("bin") + ":" + env.value("PATH"));
        env.remove("DESTDIR");
        p.setProcessEnvironment(env);
        p.start("bash",
                QStringList{sourceTree() + "/packaging/install.sh", "--build-dir", dir.file("build")} + args);
        EXPECT_TRUE(p.waitForFinished(120000));
        output = QString::fromUtf8(p.readAllStandardOutput());
        errors = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QString calls() const { return QString::fromUtf8(readAll(dir.file("calls"))); }

    TempDir dir;
    QString output;
    QString errors;
};

TEST(Packaging, StagedInstallPutsTheExecutablesTheUnitAndTheApplicationFolderInPlace) {
    Installer inst;
    const QString stage = inst.dir.file("stage");
    ASSERT_EQ(inst.run({"--destdir", stage, "--prefix", "/opt/k48213", "--home", "/srv/k48213", "--user",
                        "collector"}),
              0)
        << inst.errors.toStdString();

    const QStringList files = filesBelow(stage);
    EXPECT_TRUE(files.contains("opt/k48213/k48213")) << files.join(", ").toStdString();
    EXPECT_TRUE(files.contains("opt/k48213/k48213ctl"));
    EXPECT_TRUE(files.contains("etc/systemd/system/k48213.service"));
    EXPECT_TRUE(QFileInfo(stage + "/srv/k48213/log").isDir());
    EXPECT_TRUE(QFileInfo(stage + "/opt/k48213/k48213").isExecutable());
    EXPECT_EQ(readAll(stage + "/opt/k48213/k48213"), QByteArray("#!/bin/sh\necho collector\n"));
    for (const QString& f : files)
        EXPECT_FALSE(f.contains(".k48213.service.")) << "temporary file left: " << f.toStdString();

    const QString unit = QString::fromUtf8(readAll(stage + "/etc/systemd/system/k48213.service"));
    const QStringList lines = unit.split('\n');
    // The unit names the final paths, never the staging folder.
    EXPECT_TRUE(lines.contains("ExecStart=/opt/k48213/k48213 NTSERVICE")) << unit.toStdString();
    EXPECT_TRUE(lines.contains("Environment=\"K48213_HOME=/srv/k48213\""));
    EXPECT_TRUE(lines.contains("WorkingDirectory=/srv/k48213"));
    EXPECT_TRUE(lines.contains("User=collector"));
    EXPECT_TRUE(lines.contains("Restart=on-failure"));
    EXPECT_TRUE(lines.contains("KillSignal=SIGTERM"));
    EXPECT_FALSE(unit.contains(stage));
    EXPECT_FALSE(QRegularExpression("@[A-Z]+@").match(unit).hasMatch()) << "placeholder left in the unit";
    EXPECT_EQ(unit.count("ExecStart="), 1);

    EXPECT_EQ(inst.calls(), QString()) << "a staged install creates no account and reloads nothing";
}

TEST(Packaging, DryRunChangesNothingAndShowsTheSteps) {
    Installer inst;
    const QString stage = inst.dir.file("stage");
    ASSERT_EQ(inst.run({"--dry-run", "--destdir", stage}), 0) << inst.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(stage));
    EXPECT_TRUE(inst.output.contains("ExecStart=/opt/k48213/k48213 NTSERVICE")) << inst.output.toStdString();
    EXPECT_TRUE(inst.output.contains("User=k48213"));
    EXPECT_TRUE(inst.output.contains(stage + "/opt/k48213/k48213"));
    EXPECT_EQ(inst.calls(), QString());

    Installer live; // without a staging folder the dry run lists the systemd step too
    ASSERT_EQ(live.run({"--dry-run", "--prefix", "/opt/k48213-dry-run-test"}), 0)
        << live.errors.toStdString();
    EXPECT_TRUE(live.output.contains("systemctl daemon-reload")) << live.output.toStdString();
    EXPECT_FALSE(QFileInfo::exists("/opt/k48213-dry-run-test"));
    EXPECT_EQ(live.calls(), QString()) << "nothing was run";
}

// systemd's own parser reads the unit as written: every directive known and every value valid.
TEST(Packaging, TheInstalledUnitPassesSystemdVerification) {
    const QString analyze = QStandardPaths::findExecutable("systemd-analyze");
    if (analyze.isEmpty()) GTEST_SKIP() << "systemd-analyze is not installed";
    Installer inst;
    const QString stage = inst.dir.file("stage");
    // The executables stay where they were built, so ExecStart names a file that exists.
    ASSERT_EQ(inst.run({"--destdir", stage, "--prefix", inst.dir.file("build"), "--home", "/srv/k48213"}), 0)
        << inst.errors.toStdString();
    QProcess p;
    p.start(analyze, {"verify", stage + "/etc/systemd/system/k48213.service"});
    ASSERT_TRUE(p.waitForFinished(120000));
    const QString complaints = QString::fromUtf8(p.readAllStandardError() + p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(complaints, QString());
}

struct RefusedCase {
    const char* name;
    QStringList args;
    const char* message;
};
void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class RefusedInstall : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedInstall, StopsBeforeWritingAnything) {
    const RefusedCase& c = GetParam();
    Installer inst;
    const QString stage = inst.dir.file("stage");
    EXPECT_NE(inst.run(QStringList{"--destdir", stage} + c.args), 0);
    EXPECT_TRUE(inst.errors.contains(c.message)) << inst.errors.toStdString();
    EXPECT_FALSE(QFileInfo::exists(stage));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedInstall,
    ::testing::Values(
        RefusedCase{"RelativePrefix", {"--prefix", "opt/k48213"}, "--prefix must be a plain absolute path"},
        RefusedCase{"BlankInHome", {"--home", "/srv/k 48213"}, "--home must be a plain absolute path"},
        RefusedCase{"SpecifierInHome", {"--home", "/srv/%h"}, "--home must be a plain absolute path"},
        RefusedCase{"ParentInPrefix", {"--prefix", "/opt/../etc"}, "--prefix must be a plain absolute path"},
        RefusedCase{"AccountWithBlank", {"--user", "root k48213"}, "--user is not a valid account name"},
        RefusedCase{"UnknownOption", {"--force"}, "unknown option: --force"},
        RefusedCase{"NothingBuilt", {"--build-dir", "/nonexistent-k48213-build"}, "no built k48213"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
