#include "CommonFiles/collector/CommonLastRun.h"
#include "CommonFiles/collector/CommonLastRunReadWrite.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/NetInfo.h"
#include "CommonFiles/foundation/OleDate.h"
#include "fixtures/TargetDatabase.h"
#include "tests/collector/CollectorTestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <vector>

using CollectorTest::CountLogMessage;
using CollectorTest::Date;
using CollectorTest::SetConfig;
using CollectorTest::Text;
using fixtures::LastRunSpec;

namespace {

const QString kRoot = QStringLiteral("QTXROOT");

class CommonLastRunTest : public TargetTest {
protected:
    // The g2_server_run rows of a facility: filename, lastrun, audituser, workstation, netuser,
    // ip, localpath, audittimestamp.
    QList<QList<Variant>> RunRows(const QString& facility) {
        return target().query(kRoot,
                              QStringLiteral("SELECT filename, lastrun, audituser, workstation, netuser, ip, "
                                             "localpath, audittimestamp, interface_id FROM g2_server_run "
                                             "WHERE filename = ? ORDER BY interface_id"),
                              {Variant(facility)});
    }
    QList<QList<Variant>> CalcRows() {
        return target().query(
            kRoot,
            QStringLiteral("SELECT status, vlist, datestart, dateend, facility, audituser FROM calcqueue"));
    }
};

TEST_P(CommonLastRunTest, StartEndAndLockDatesPerFacility) {
    struct Case {
        const char* what;
        Variant lastRun;  // Empty: no g2_server_run row
        Variant lockDate; // Null: no LockDate setting
        bool service;
        const char* start;
        const char* lock;
        bool violates;
        const char* detectedLine; // "" when none is written
    };
    const Variant noRow;
    const Variant none = Variant::null();
    auto at = [](int y, int mo, int d, int h = 0, int mi = 0) {
        return Variant::fromDate(Date(y, mo, d, h, mi));
    };
    // DefaultStart 2024-03-01 00:00, DefaultEnd 2024-03-10 00:00.
    const std::vector<Case> cases = {
        {"no row and no lock date: the default start", noRow, none, true, "2024-03-01 00:00:00",
         "1970-01-01 00:00:00", false, ""},
        {"a last run later than the lock date", at(2024, 3, 5, 13, 15), at(2024, 1, 1), true,
         "2024-03-05 13:15:00", "2024-01-01 00:00:00", false, "03/05/2024 13:15:00"},
        {"a lock date later than the last run moves the start", at(2024, 3, 5, 13, 15), at(2024, 3, 7), true,
         "2024-03-07 00:00:00", "2024-03-07 00:00:00", false, "03/05/2024 13:15:00"},
        {"no row and a lock date later than the default start", noRow, at(2024, 3, 2, 6, 0), true,
         "2024-03-02 06:00:00", "2024-03-02 06:00:00", false, ""},
        {"a row without a date counts as no row", none, none, true, "2024-03-01 00:00:00",
         "1970-01-01 00:00:00", false, ""},
        {"a lock date after the end violates it", noRow, at(2024, 3, 10, 0, 1), true, "2024-03-10 00:01:00",
         "2024-03-10 00:01:00", true, ""},
        {"a lock date equal to the end does not", noRow, at(2024, 3, 10), true, "2024-03-10 00:00:00",
         "2024-03-10 00:00:00", false, ""},
        {"an empty lock date text locks nothing", noRow, Variant(""), true, "2024-03-01 00:00:00",
         "1970-01-01 00:00:00", false, ""},
        {"a lock date kept as text", noRow, Variant("2024-03-03 12:30:00"), true, "2024-03-03 12:30:00",
         "2024-03-03 12:30:00", false, ""},
        {"interactive runs read no last run", at(2024, 3, 5, 13, 15), none, false, "2024-03-01 00:00:00",
         "1970-01-01 00:00:00", false, ""},
    };
    QStringList facilities;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const QString f = QStringLiteral("F") + QString::number(i);
        facilities.append(f);
        AddFacility(f, QString(), cases[i].lockDate);
        if (!cases[i].lastRun.isEmpty())
            target().addLastRun({.interfaceId = 101, .filename = f, .lastRun = cases[i].lastRun});
    }
    // Another collector's row never counts.
    target().addLastRun({.interfaceId = 202, .filename = QStringLiteral("F0"), .lastRun = at(2024, 3, 9)});

    ado::Connection root = OpenRoot();
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const QString f = facilities[static_cast<int>(i)];
        SCOPED_TRACE(c.what);
        CollectorTest::StartNewLog();
        SetRunAsNTService(c.service);
        CommonLastRun run;
        run.setDefaultStart(Date(2024, 3, 1));
        run.setDefaultEnd(Date(2024, 3, 10));
        ASSERT_TRUE(run.ReadVeskDRAQ(101, root));
        ASSERT_TRUE(run.ReadVeskDRAQFacilLockDates(f));
        EXPECT_EQ(Text(run.startdate(f)), c.start);
        EXPECT_EQ(Text(run.startdate(f.toLower())), c.start) << "facility names are upper-cased";
        EXPECT_EQ(Text(run.enddate(f)), "2024-03-10 00:00:00");
        EXPECT_EQ(Text(run.LockDate(f)), c.lock);
        EXPECT_EQ(run.ViolatesLockDate(f), c.violates);
        const QStringList detected =
            CollectorTest::LogMessages().filter(QStringLiteral(" was detected to be "));
        if (QString::fromLatin1(c.detectedLine).isEmpty()) {
            // Only the facility's own row could have been logged; none is wanted for it.
            EXPECT_TRUE(detected.filter(QStringLiteral("facility ") + f + QStringLiteral(" ")).isEmpty());
        } else {
            EXPECT_EQ(detected.count(QStringLiteral("Last Run Date for facility ") + f +
                                     QStringLiteral(" was detected to be ") +
                                     QString::fromLatin1(c.detectedLine)),
                      1);
        }
        if (!c.service) {
            EXPECT_TRUE(detected.isEmpty());
        }
    }
    root.Close();
}

TEST_P(CommonLastRunTest, LockDatesOfSeveralFacilities) {
    AddFacility(QStringLiteral("F1"), QString(), Variant::fromDate(Date(2024, 2, 1)));
    AddFacility(QStringLiteral("F2"), QString(), Variant::fromDate(Date(2024, 2, 2)));
    AddFacility(QStringLiteral("F3"), QString(), Variant("not a date"));

    CommonLastRun all;
    EXPECT_TRUE(all.ReadVeskDRAQFacilLockDates(QStringLiteral("F1~F2")));
    EXPECT_EQ(Text(all.LockDate(QStringLiteral("F1"))), "2024-02-01 00:00:00");
    EXPECT_EQ(Text(all.LockDate(QStringLiteral("f2"))), "2024-02-02 00:00:00");
    EXPECT_EQ(Text(all.LockDate(QStringLiteral("F9"))), "1899-12-30 00:00:00") << "not read: the zero date";

    CommonLastRun broken;
    EXPECT_FALSE(broken.ReadVeskDRAQFacilLockDates(QStringLiteral("F1~NOSUCH~F2")));
    EXPECT_EQ(Text(broken.LockDate(QStringLiteral("F1"))), "2024-02-01 00:00:00")
        << "read before the failure";
    EXPECT_EQ(Text(broken.LockDate(QStringLiteral("F2"))), "1899-12-30 00:00:00") << "never reached";

    CommonLastRun unreadable;
    EXPECT_FALSE(unreadable.ReadVeskDRAQFacilLockDates(QStringLiteral("F3")));

    CommonLastRun empty;
    EXPECT_TRUE(empty.ReadVeskDRAQFacilLockDates(QString())) << "no facility, nothing to read";
}

TEST_P(CommonLastRunTest, PersistingRecordsTheHostAndLeavesTheRunsStart) {
    FakeClock clock(Date(2024, 3, 6, 8, 30));
    AddFacility(QStringLiteral("PLANT1"));
    AddFacility(QStringLiteral("PLANT2"));
    target().addLastRun({.interfaceId = 101,
                         .filename = QStringLiteral("PLANT2"),
                         .lastRun = Variant::fromDate(Date(2024, 3, 1)),
                         .auditUser = "SOMEONE"});
    SetWriteAsUser(QStringLiteral("OPERATOR"));
    AppNetInfo().GetNetInfo();
    ado::Connection root = OpenRoot();
    CommonLastRun run;
    run.setDefaultStart(Date(2024, 3, 2));
    run.setDefaultEnd(Date(2024, 3, 6, 8, 0));
    ASSERT_TRUE(run.ReadVeskDRAQ(101, root));
    root.Close();

    for (const char* f : {"PLANT1", "PLANT2"}) {
        const QString facility = QString::fromLatin1(f);
        SCOPED_TRACE(f);
        const double before = run.startdate(facility);
        ASSERT_TRUE(run.PersistLastRunDate(101, facility, Date(2024, 3, 6, 8, 0)));
        const QList<QList<Variant>> rows = RunRows(facility);
        ASSERT_EQ(rows.size(), 1) << "a new row, or the existing one updated";
        const QList<Variant>& r = rows[0];
        EXPECT_EQ(Text(r[1].toDate()), "2024-03-06 08:00:00");
        EXPECT_EQ(r[2].toText(), "OPERATOR");
        EXPECT_EQ(r[3].toText(), AppNetInfo().WorkStation());
        EXPECT_EQ(r[4].toText(), AppNetInfo().NetUser());
        EXPECT_EQ(r[5].toText(), AppNetInfo().IPAddrs());
        EXPECT_EQ(r[6].toText(), CollectorTest::ApplicationFolder());
        EXPECT_EQ(Text(r[7].toDate()), "2024-03-06 08:30:00");
        EXPECT_EQ(CountLogMessage(QStringLiteral("Updated Last Run Date for facility ") + facility +
                                  QStringLiteral(" to 03/06/2024 08:00:00")),
                  1);
        EXPECT_EQ(run.startdate(facility), before) << "the run's own dates stay as read";
    }
    EXPECT_TRUE(CalcRows().isEmpty()) << "SUBMIT_CALC_REQUEST is NO";

    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER"), QString());
    EXPECT_FALSE(run.PersistLastRunDate(101, QStringLiteral("PLANT1"), Date(2024, 3, 7)));
}

TEST_P(CommonLastRunTest, CalculationRequests) {
    struct Case {
        const char* what;
        const char* submit;
        const char* shift;
        const char* dateStart; // "" when nothing is queued
    };
    // The facility's start in this run is its last run, 2024-03-05 13:15.
    const std::vector<Case> cases = {
        {"shifted back an hour from the start's midnight", "YES", "-60", "2024-03-04 23:00:00"},
        {"no shift: the start's midnight", "YES", "0", "2024-03-05 00:00:00"},
        {"shifted forward", "YES", "90", "2024-03-05 01:30:00"},
        {"yes in lower case queues nothing", "yes", "-60", ""},
        {"NO queues nothing", "NO", "0", ""},
    };
    AddFacility(QStringLiteral("PLANT1"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CollectorTest::StartNewLog();
        target().exec(kRoot, QStringLiteral("DELETE FROM calcqueue; DELETE FROM g2_server_run;"));
        target().addLastRun({.interfaceId = 101,
                             .filename = QStringLiteral("PLANT1"),
                             .lastRun = Variant::fromDate(Date(2024, 3, 5, 13, 15))});
        SetConfig(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\SUBMIT_CALC_REQUEST"),
                  QString::fromLatin1(c.submit));
        SetConfig(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE"),
                  QString::fromLatin1(c.shift));
        ado::Connection root = OpenRoot();
        CommonLastRun run;
        run.setDefaultStart(Date(2024, 3, 1));
        run.setDefaultEnd(Date(2024, 3, 6, 8, 0));
        ASSERT_TRUE(run.ReadVeskDRAQ(101, root));
        root.Close();
        ASSERT_TRUE(run.PersistLastRunDate(101, QStringLiteral("PLANT1"), Date(2024, 3, 6, 8, 0)));

        const QList<QList<Variant>> rows = CalcRows();
        const QStringList submitted =
            CollectorTest::LogMessages().filter(QStringLiteral("Submitted Calc Request"));
        if (QString::fromLatin1(c.dateStart).isEmpty()) {
            EXPECT_TRUE(rows.isEmpty());
            EXPECT_TRUE(submitted.isEmpty());
            continue;
        }
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(rows[0][0].toInt32(), 0);
        EXPECT_EQ(rows[0][1].toText(), "");
        EXPECT_EQ(Text(rows[0][2].toDate()), c.dateStart);
        EXPECT_EQ(Text(rows[0][3].toDate()), "2024-03-06 08:00:00");
        EXPECT_EQ(rows[0][4].toText(), "PLANT1");
        EXPECT_EQ(rows[0][5].toText(), GetWriteAsUser());
        const double start = Variant(QString::fromLatin1(c.dateStart)).toDate();
        EXPECT_EQ(submitted,
                  QStringList{QStringLiteral("Submitted Calc Request for facility PLANT1 for dates from ") +
                              OleDate::toMmDdYyyyHhNnSs(start) + QStringLiteral(" to 03/06/2024 08:00:00")});
    }
}

TEST_P(CommonLastRunTest, FacilityNamesNeverWidenAStatement) {
    AddFacility(QStringLiteral("PLANT1"));
    AddFacility(QStringLiteral("PLANT2"));
    for (const char* f : {"PLANT1", "PLANT2"})
        target().addLastRun({.interfaceId = 101,
                             .filename = QString::fromLatin1(f),
                             .lastRun = Variant::fromDate(Date(2024, 3, 1))});
    const QString hostile = QStringLiteral("PLANT1' OR '1'='1");
    CommonLastRun run;
    ASSERT_TRUE(run.PersistLastRunDate(101, hostile, Date(2024, 3, 9)));
    ado::Connection root = OpenRoot();
    CommonLastRunReadWrite rw;
    rw.setInterfaceID(101);
    EXPECT_TRUE(rw.SetLastRunDate(QStringLiteral("PLANT2' OR 'a'='a"), Date(2024, 3, 8), root, 0));
    double lastRun = 0;
    EXPECT_FALSE(rw.ReadLastRunInfo(QStringLiteral("X' OR 'a'='a"), root, lastRun, 0));
    root.Close();
    for (const char* f : {"PLANT1", "PLANT2"}) {
        const QList<QList<Variant>> rows = RunRows(QString::fromLatin1(f));
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(Text(rows[0][1].toDate()), "2024-03-01 00:00:00") << f << " is untouched";
    }
    EXPECT_EQ(RunRows(hostile).size(), 1) << "the odd name is a facility name like any other";
}

TEST_P(CommonLastRunTest, ReadAndWriteOneRowForTheViewer) {
    AddFacility(QStringLiteral("PLANT1"));
    target().addLastRun({.interfaceId = 101,
                         .filename = QStringLiteral("PLANT1"),
                         .lastRun = Variant::fromDate(Date(2024, 3, 5, 13, 15)),
                         .auditUser = "ADMIN",
                         .workstation = "WS1",
                         .netUser = Variant::null(),
                         .ip = "10.0.0.5",
                         .localPath = "/opt/k48213"});
    target().addLastRun(
        {.interfaceId = 101, .filename = QStringLiteral("PLANT3"), .lastRun = Variant::null()});
    ado::Connection root = OpenRoot();

    CommonLastRunReadWrite rw;
    double lastRun = 0;
    EXPECT_FALSE(rw.ReadLastRunInfo(QStringLiteral("PLANT1"), root, lastRun, 0)) << "no interface id at all";
    EXPECT_FALSE(rw.SetLastRunDate(QStringLiteral("PLANT1"), Date(2024, 3, 6), root, 0));

    ASSERT_TRUE(rw.ReadLastRunInfo(QStringLiteral("PLANT1"), root, lastRun, 101));
    EXPECT_EQ(Text(lastRun), "2024-03-05 13:15:00");
    EXPECT_EQ(rw.LastRun(), "03/05/2024 13:15:00");
    EXPECT_EQ(rw.AuditUser(), "ADMIN");
    EXPECT_EQ(rw.FacilityID(), "PLANT1");
    EXPECT_EQ(rw.WorkStation(), "WS1");
    EXPECT_EQ(rw.NetUser(), "") << "null column";
    EXPECT_EQ(rw.IP(), "10.0.0.5");
    EXPECT_EQ(rw.LocalPath(), "/opt/k48213");

    rw.setInterfaceID(101);
    EXPECT_FALSE(rw.ReadLastRunInfo(QStringLiteral("PLANT2"), root, lastRun, 0)) << "no row";
    EXPECT_FALSE(rw.ReadLastRunInfo(QStringLiteral("PLANT3"), root, lastRun, 0)) << "a row without a date";
    EXPECT_FALSE(rw.ReadLastRunInfo(QStringLiteral("PLANT1"), root, lastRun, 202)) << "the argument wins";

    ASSERT_TRUE(rw.SetLastRunDate(QStringLiteral("PLANT1"), Date(2024, 3, 7, 1, 2), root, 0));
    ASSERT_TRUE(rw.SetLastRunDate(QStringLiteral("PLANT2"), Date(2024, 3, 8), root, 0));
    ASSERT_TRUE(rw.SetLastRunDate(QStringLiteral("PLANT1"), Date(2024, 2, 1), root, 202));
    root.Close();

    const QList<QList<Variant>> plant1 = RunRows(QStringLiteral("PLANT1"));
    ASSERT_EQ(plant1.size(), 2);
    EXPECT_EQ(Text(plant1[0][1].toDate()), "2024-03-07 01:02:00");
    EXPECT_EQ(plant1[0][2].toText(), "ADMIN") << "the audit columns are not touched";
    EXPECT_EQ(plant1[0][3].toText(), "WS1");
    EXPECT_EQ(plant1[1][8].toInt32(), 202);
    EXPECT_EQ(Text(plant1[1][1].toDate()), "2024-02-01 00:00:00");
    const QList<QList<Variant>> plant2 = RunRows(QStringLiteral("PLANT2"));
    ASSERT_EQ(plant2.size(), 1);
    EXPECT_EQ(Text(plant2[0][1].toDate()), "2024-03-08 00:00:00");
    EXPECT_TRUE(plant2[0][2].isNull());
}

INSTANTIATE_TEST_SUITE_P(Engines, CommonLastRunTest,
                         ::testing::Values(fixtures::Engine::SQLite, fixtures::Engine::PostgreSQL),
                         CollectorTest::EngineName);

} // namespace
