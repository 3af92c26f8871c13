// k48213ctl run as a process over demo folders it creates itself: exit codes, the activity it
// prints, and what its commands change in the target.
#include "fixtures/DatabaseHost.h"
#include "fixtures/TargetDatabase.h"
#include "tests/support/TempDir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct Result {
    int code = -1;
    QString out;
};

QString CtlPath() {
    return qEnvironmentVariable("K48213_BINARY_DIR", QStringLiteral(".")) + QStringLiteral("/k48213ctl");
}

Result Ctl(const QStringList& args) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("K48213_HOME"));
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(CtlPath(), args);
    if (!p.waitForFinished(300000)) {
        p.kill();
        p.waitForFinished();
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromLocal8Bit(p.readAll())};
}

int CountRows(const QString& folder, const QString& facility, const QString& table,
              const QString& where = {}) {
    auto target = fixtures::TargetDatabase::attach(fixtures::DatabaseHost::sqliteFolder(folder + "/target"));
    return target
        .query(facility, "select count(*) from " + table +
                             " where audituser <> 'JSMITH' and audituser <> "
                             "'OPERATOR'" +
                             where)[0][0]
        .toInt32();
}

QString LastRuns(const QString& folder) {
    auto target = fixtures::TargetDatabase::attach(fixtures::DatabaseHost::sqliteFolder(folder + "/target"));
    QStringList out;
    for (const auto& r :
         target.query("QTXROOT", "select FILENAME, LASTRUN from g2_server_run order by FILENAME"))
        out.append(r[0].toText() + "=" + (r[1].isNull() ? QString() : r[1].toText().left(16)));
    return out.join(",");
}

} // namespace

class CtlCommandTest : public ::testing::Test {
public:
    // A one-day demo plant ending at a fixed midnight, so fixed-range runs are quick.
    void CreateDemo(const QStringList& extra = {"--end", "2024-03-03"}) {
        const Result r = Ctl(QStringList{"demo", "create", dir_.path(), "--days", "1"} + extra);
        ASSERT_EQ(r.code, 0) << r.out.toStdString();
        ASSERT_TRUE(r.out.contains("Demo folder")) << r.out.toStdString();
    }
    TempDir dir_;
};

TEST_F(CtlCommandTest, ServiceProtocolImportPrintsTheActivityAndRecordsLastRuns) {
    CreateDemo({}); // the data ends at today's midnight: the range runs from yesterday to now
    const Result r = Ctl({"--home", dir_.path(), "import"});
    EXPECT_EQ(r.code, 0) << r.out.toStdString();
    for (const char* line : {"Import started.", "Session Statistics :", "Import was successful.",
                             "Processing facility 'North Water Treatment Plant' (NORTHWTP)"})
        EXPECT_TRUE(r.out.contains(line)) << line;
    EXPECT_TRUE(
        QRegularExpression("Wrote \\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d  NORTHWTP:6\t").match(r.out).hasMatch());
    EXPECT_GT(CountRows(dir_.path(), "NORTHWTP", "DATADDH"), 0);
    const QString lastRuns = LastRuns(dir_.path());
    EXPECT_TRUE(lastRuns.contains("NORTHWTP=")) << lastRuns.toStdString();
    EXPECT_FALSE(lastRuns.contains("NORTHWTP=,")) << lastRuns.toStdString();

    const Result shown = Ctl({"--home", dir_.path(), "lastrun", "show"});
    EXPECT_EQ(shown.code, 0);
    EXPECT_TRUE(shown.out.contains("Last runs of collector 101:"));
    EXPECT_TRUE(
        QRegularExpression("NORTHWTP +\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d").match(shown.out).hasMatch())
        << shown.out.toStdString();

    const Result written = Ctl({"--home", dir_.path(), "show-written"});
    EXPECT_EQ(written.code, 0);
    EXPECT_TRUE(written.out.contains("Influent Flow - Hourly Average")) << written.out.toStdString();
    EXPECT_TRUE(QRegularExpression("\\n[1-9]\\d* value\\(s\\) written by the collector.")
                    .match(written.out)
                    .hasMatch());
}

TEST_F(CtlCommandTest, FixedRangeRunsAndTheirOptions) {
    struct Case {
        const char* name;
        QStringList args;
        int hourlyRows;      // DATADDH rows of NORTHWTP after the run
        int dailyRows;       // DATATBL rows of NORTHWTP after the run
        const char* printed; // a line the run prints
    };
    // NORTHWTP over 00:00 to 06:00: four hourly variables of six slots (the pump-start count has
    // three hours with a start), and the 06:00-to-06:00 plant day that ends at the range end.
    const QList<Case> cases{
        {"fixed range",
         {"--from", "2024-03-02 00:00", "--to", "2024-03-02 06:00"},
         6 + 6 + 3 + 6,
         1,
         "Import was successful."},
        {"test mode",
         {"--test", "--from", "2024-03-02 00:00", "--to", "2024-03-02 06:00"},
         0,
         0,
         "Import was successful."},
        {"chosen variables",
         {"--from", "2024-03-02 00:00", "--to", "2024-03-02 06:00", "--vars", "northwtp~1006,NORTHWTP~1007"},
         6 + 6,
         0,
         "User selected 2 variable(s) in 1 facility(s) that are linked to Collector 101"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateDemo();
        const Result r = Ctl(QStringList{"--home", dir_.path(), "import"} + c.args);
        EXPECT_EQ(r.code, 0) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(c.printed)) << r.out.toStdString();
        EXPECT_EQ(CountRows(dir_.path(), "NORTHWTP", "DATADDH"), c.hourlyRows);
        EXPECT_EQ(CountRows(dir_.path(), "NORTHWTP", "DATATBL"), c.dailyRows);
        // An operator's run never records last runs.
        EXPECT_EQ(LastRuns(dir_.path()), "");
    }
}

TEST_F(CtlCommandTest, FailuresExitNonZero) {
    struct Case {
        const char* name;
        QStringList args;
        int code;
        const char* printed;
    };
    // A folder without a configuration gets the defaults, whose target cannot be reached.
    const QList<Case> cases{
        {"unreachable target", {"--home", dir_.path(), "import"}, 1, "TITLE= Failed to connect to Vesk DRAQ"},
        {"unreachable target test",
         {"--home", dir_.path(), "test-target"},
         1,
         "Connection to Vesk DRAQ failed."},
        {"unknown command", {"--home", dir_.path(), "frobnicate"}, 2, "usage: k48213ctl"},
        {"half a range",
         {"--home", dir_.path(), "import", "--from", "2024-03-02"},
         2,
         "--from and --to go together"},
        {"bad date",
         {"--home", dir_.path(), "lastrun", "set", "NORTHWTP", "yesterday"},
         2,
         "not a date: yesterday"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Result r = Ctl(c.args);
        EXPECT_EQ(r.code, c.code) << r.out.toStdString();
        EXPECT_TRUE(r.out.contains(c.printed)) << r.out.toStdString();
    }
}

TEST_F(CtlCommandTest, LastRunSetIsShownAndUsedByTheNextServiceRun) {
    CreateDemo({});
    const Result set = Ctl({"--home", dir_.path(), "lastrun", "set", "southwwtp", "2001-01-01 00:00"});
    ASSERT_EQ(set.code, 0) << set.out.toStdString();
    EXPECT_TRUE(set.out.contains("Last run of SOUTHWWTP set to 01/01/2001 00:00:00"));
    const Result shown = Ctl({"--home", dir_.path(), "lastrun", "show"});
    EXPECT_TRUE(QRegularExpression("SOUTHWWTP +01/01/2001 00:00:00").match(shown.out).hasMatch())
        << shown.out.toStdString();
    const Result tested = Ctl({"--home", dir_.path(), "test-source"});
    EXPECT_EQ(tested.code, 0) << tested.out.toStdString();
    EXPECT_TRUE(tested.out.contains("Connection to source succeeded: 2 site(s) in SYSTEMS."));
    EXPECT_TRUE(tested.out.contains("Password=###")); // the source password is never printed
}
