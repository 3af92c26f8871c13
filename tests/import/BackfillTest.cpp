// The backfill mode: each variable's slots written inside one target transaction, on SQLite and on
// PostgreSQL, with every rule of the normal import and a whole-variable redo after a failure.
#include "tests/import/ImportRunSupport.h"

#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/import/CommonImport.h"
#include "CommonFiles/startup/CommonGlobals.h"
#include "custom/CustomSource.h"
#include "platform/ado/AdoTypes.h"
#include "platform/ado/FaultHook.h"
#include "tests/support/PgCluster.h"

#include <cmath>
#include <functional>
#include <vector>

using fixtures::StoredValueSpec;
using fixtures::VariableSpec;
using fixtures::VarTypeCode::Daily;
using fixtures::VarTypeCode::Hourly;
using writertest::CountLogMessage;
using writertest::Date;
using writertest::LogMessages;
using writertest::SetConfig;

namespace {

const QString Site = QStringLiteral("SITE1");
const QString Table = QStringLiteral("SITE1_DATA");
const QString Plant1 = QStringLiteral("PLANT1");
const QString Plant2 = QStringLiteral("PLANT2");

VariableSpec Var(int varid, const QString& name, const QString& type, const QString& tag) {
    VariableSpec v;
    v.varid = varid;
    v.varnum = varid;
    v.name = name;
    v.vartype = type;
    v.units = QStringLiteral("u");
    v.decplaces = 2.0;
    v.scadatag = tag;
    v.statistic = QStringLiteral("AVERAGE");
    v.interfaceId = ImportRunFixture::CollectorId;
    if (type == Daily) {
        v.starttime = Variant::fromDate(OleDate::fromParts(1899, 12, 30, 0, 0));
        v.stoptime = Variant::fromDate(OleDate::fromParts(1899, 12, 30, 23, 59));
    }
    return v;
}

// What a run leaves behind that the two modes must agree on.
struct RunResult {
    QStringList rows;     // every value row of both facilities
    QStringList outcomes; // the per-slot outcome lines, in the order they were logged
    QStringList counters; // the "# of ..." lines of the statistics block
    ImportOutcome outcome = ImportOutcome::NotRun;
};

QStringList Counters() {
    QStringList out;
    for (const QString& m : LogMessages())
        if (m.startsWith(QStringLiteral(" # of "))) out.append(m);
    return out;
}

QStringList Outcomes() {
    QStringList out;
    for (const QString& m : LogMessages())
        if (m.startsWith(QStringLiteral("Wrote ")) || m.startsWith(QStringLiteral("Approval Level of Data")))
            out.append(m);
    return out;
}

int Counter(const QStringList& counters, const QString& label) {
    for (const QString& c : counters)
        if (c.startsWith(QStringLiteral(" ") + label)) return c.section('\t', 1).toInt();
    return -1;
}

QStringList WithCounter(QStringList counters, const QString& label, int value) {
    for (QString& c : counters)
        if (c.startsWith(QStringLiteral(" ") + label))
            c = c.section('\t', 0, 0) + '\t' + QString::number(value);
    return counters;
}

} // namespace

// Two facilities over two days of one-minute readings: PLANT1 is locked until 06:00 of the first
// day and holds a reviewer's approved row (status 3, above the variables' level 1); PLANT2 is
// open. Hourly and daily variables.
class BackfillTest : public ImportRunFixture {
public:
    void SetUp() override {
        ImportRunFixture::SetUp();
        Build();
    }

    void TearDown() override {
        ado::setFaultHook({});
        CommonImport::SetBackfill(false);
        ImportRunFixture::TearDown();
    }

    // A fresh target and source with the scenario, and a fresh log.
    void Build() {
        SharedSourceReader().reset();
        target_.emplace(fixtures::TargetDatabase::create(host_));
        source_.emplace(fixtures::SourceDatabase::create(host_));
        writertest::StartNewLog();

        fixtures::CollectorSpec c;
        c.interfaceId = CollectorId;
        c.name = QStringLiteral("North");
        target().addCollector(c);
        target().addFacility(
            {Plant1, QStringLiteral("Plant One"), Variant::null(), Variant::fromDate(Date(2024, 2, 29, 6))});
        target().addFacility(
            {Plant2, QStringLiteral("Plant Two"), Variant::null(), Variant::fromDate(Date(2024, 2, 1))});
        for (const QString& f : {Plant1, Plant2})
            for (int id = 0; id <= 3; ++id)
                target().addApprovalLevel(f, id);
        target().addVariables(Plant1, {Var(101, "Hour of day", Hourly, "KQ:1:101"),
                                       Var(102, "Constant", Hourly, "KQ:1:102"),
                                       Var(103, "Hour of day - daily", Daily, "KQ:1:101")});
        target().addVariable(Plant2, Var(201, "Constant", Hourly, "KQ:1:102"));
        target().storeValue(Plant1, QStringLiteral("H"),
                            StoredValueSpec{102, Date(2024, 3, 1, 10), 99.0, Variant::null(), 3, 0,
                                            QStringLiteral("JSMITH"), Variant::null()});

        source().addSite(Site, Table);
        std::vector<fixtures::Reading> hour, constant;
        for (int m = 0; m < 2 * 1440; ++m) {
            const double t = OleDate::addMinutes(Date(2024, 2, 29), m);
            hour.push_back({t, double((m / 60) % 24) + 0.125, false});
            constant.push_back({t, 2.3456, false});
        }
        source().addReadings(Table, 1, 101, hour);
        source().addReadings(Table, 1, 102, constant);
        PointConfigurationAt(Site);
    }

    RunResult Run(bool backfill, bool test = false) {
        CommonImport::SetBackfill(backfill);
        SetConfig(QStringLiteral("OPTIONS\\NOIU\\ASKFORDATES\\FIX_STARTDATE"),
                  OleDate::toConfigText(Date(2024, 2, 29)));
        SetConfig(QStringLiteral("OPTIONS\\NOIU\\ASKFORDATES\\FIX_ENDDATE"),
                  OleDate::toConfigText(Date(2024, 3, 2)));
        SetRunAsNTService(false);
        ImportAll(test);
        CommonImport::SetBackfill(false);
        RunResult r;
        r.rows = ValueRows(Plant1) + ValueRows(Plant2);
        r.outcomes = Outcomes();
        r.counters = Counters();
        r.outcome = LastImportOutcome();
        return r;
    }

    // The normal import's result on a fresh scenario, then a fresh scenario for the run under test.
    RunResult Reference(bool test = false) {
        const RunResult r = Run(false, test);
        Build();
        return r;
    }
};

TEST_P(BackfillTest, WritesWhatTheNormalImportWritesWithTheSameLinesAndCounts) {
    struct Case {
        const char* name;
        bool test;
    };
    int probes = 0;
    ado::setFaultHook([&](const ado::CallInfo& call) {
        if (call.text == QLatin1String("select count(id) from approvalini")) ++probes;
    });
    for (const Case& c : {Case{"real run", false}, Case{"test mode", true}}) {
        SCOPED_TRACE(c.name);
        probes = 0;
        const RunResult normal = Reference(c.test);
        // A normal run probes the target connection before every value it hands the writer.
        EXPECT_EQ(probes, 134);
        probes = 0;
        ASSERT_EQ(normal.outcome, ImportOutcome::Succeeded);
        // The scenario exercises every rule: PLANT1's range starts at its lock date (06:00), its
        // hourly variables write 42 and 41 slots (the approved row is refused), the daily one
        // writes the second day and is refused the first by the lock date; PLANT2 writes 48.
        ASSERT_EQ(Counter(normal.counters, "# of Logical Write Transactions   : "), 132);
        ASSERT_EQ(Counter(normal.counters, "# of Skipped Write Transactions   : "), 2);

        const RunResult backfill = Run(true, c.test);
        // A backfill probes it once per variable, when the variable's transaction begins.
        EXPECT_EQ(probes, 4);
        EXPECT_EQ(backfill.outcome, ImportOutcome::Succeeded);
        EXPECT_EQ(backfill.rows, normal.rows);
        EXPECT_EQ(backfill.outcomes, normal.outcomes);
        EXPECT_EQ(backfill.counters, normal.counters);
        if (c.test) {
            EXPECT_EQ(backfill.rows.size(), 1); // only the approved row stored beforehand
        }
        Build();
    }
}

// A write that fails inside a variable (the fault hook makes the layer fail the call as a lost
// connection would) undoes the variable's writes so far; after the recovery wait the whole variable
// is written again, each slot once, and the counters and lines count each slot once.
TEST_P(BackfillTest, AFailureInsideAVariableRollsItBackAndRedoesItOnce) {
    struct Case {
        const char* name;
        const char* failingCall; // procedure or statement the hook fails once
        int nth;                 // its n-th call in PLANT1
        int extraWrites;         // write calls beyond the normal run's: the redone ones and the failed one
    };
    int normalWrites = 0;
    ado::setFaultHook([&](const ado::CallInfo& call) {
        if (call.text == QLatin1String("WRITEDDH")) ++normalWrites;
    });
    const RunResult normal = Reference();
    for (const Case& c :
         {Case{"tenth write", "WRITEDDH", 10, 10}, Case{"commit of the second variable", "COMMIT", 2, 41},
          Case{"seek of the daily variable", "seekddatevarid", 1, 0}}) {
        SCOPED_TRACE(c.name);
        int calls = 0;
        int writes = 0;
        bool failed = false;
        ado::setFaultHook([&](const ado::CallInfo& call) {
            if (call.text == QLatin1String("WRITEDDH")) ++writes;
            if (call.catalog.compare(Plant1, Qt::CaseInsensitive) != 0 ||
                call.text != QLatin1String(c.failingCall))
                return;
            if (!failed && ++calls == c.nth) {
                failed = true;
                throw ado::AdoError(-1, QStringLiteral("simulated lost connection"));
            }
        });
        const RunResult backfill = Run(true);
        ado::setFaultHook({});
        ASSERT_TRUE(failed);
        // The variable was written again from its first slot, not resumed at the failed one.
        EXPECT_EQ(writes, normalWrites + c.extraWrites);

        EXPECT_EQ(backfill.outcome, ImportOutcome::Succeeded);
        EXPECT_EQ(backfill.rows, normal.rows);
        EXPECT_EQ(backfill.outcomes, normal.outcomes);
        EXPECT_EQ(backfill.counters, WithCounter(normal.counters, "# of Target Connection Failures   : ", 1));
        EXPECT_EQ(CountLogMessage(
                      QStringLiteral("Connection error occured while communicating with Vesk DRAQ. Will "
                                     "attempt to re-connect to source for 6 times")),
                  1);
        Build();
    }
}

// When the recovery attempts run out inside a variable, the run stops and that variable keeps
// nothing of the attempt: the variables before it are complete, it has only the rows it had.
TEST_P(BackfillTest, RecoveryThatRunsOutLeavesNoPartialVariable) {
    const RunResult normal = Reference();
    SetConfig(QStringLiteral("TARGET\\RECOVERY\\ATTEMPTS"), QStringLiteral("1"));
    bool armed = false;
    CommonImport::SetProgressHook([&](const CommonImport::Progress& p) {
        if (p.variable == QLatin1String("Constant") && p.facility == Plant1 && p.slotsDone == 20)
            armed = true;
    });
    ado::setFaultHook([&](const ado::CallInfo& call) {
        if (armed && call.text == QLatin1String("WRITEDDH"))
            throw ado::AdoError(-1, QStringLiteral("simulated lost connection"));
    });
    const RunResult backfill = Run(true);
    ado::setFaultHook({});
    ASSERT_TRUE(armed);

    EXPECT_EQ(backfill.outcome, ImportOutcome::Failed);
    EXPECT_EQ(CountLogMessage(QStringLiteral("Unable to connect to Vesk DRAQ.")), 1);
    EXPECT_EQ(Rows(Plant1, QStringLiteral("DATADDH"), 101).size(), 42);
    EXPECT_EQ(Rows(Plant1, QStringLiteral("DATADDH"), 102),
              QStringList{QStringLiteral("2024-03-01 10:00:00=99")});
    EXPECT_TRUE(Rows(Plant2, QStringLiteral("DATADDH"), 201).isEmpty());
    // Only the first variable's slots were logged as written.
    QStringList firstVariable;
    for (const QString& line : normal.outcomes)
        if (line.contains(QStringLiteral("PLANT1:101\t"))) firstVariable.append(line);
    EXPECT_EQ(backfill.outcomes, firstVariable);
    EXPECT_EQ(Counter(backfill.counters, "# of Logical Write Transactions   : "), 42);
}

// A real loss on PostgreSQL: the server restarts in the middle of a variable. The transaction dies
// with the connection; the redo after the recovery wait writes the whole variable once.
TEST_P(BackfillTest, ServerRestartInsideAVariableIsRedoneWholeOnPostgres) {
    if (!onPostgres()) GTEST_SKIP() << "the server restart needs the PostgreSQL cluster";
    const RunResult normal = Reference();
    bool restarted = false;
    CommonImport::SetProgressHook([&](const CommonImport::Progress& p) {
        if (!restarted && p.facility == Plant1 && p.variable == QLatin1String("Constant") &&
            p.slotsDone == 20) {
            restarted = true;
            PgCluster::shared().restart();
        }
    });
    const RunResult backfill = Run(true);
    ASSERT_TRUE(restarted);

    EXPECT_EQ(backfill.outcome, ImportOutcome::Succeeded);
    EXPECT_EQ(backfill.rows, normal.rows);
    EXPECT_EQ(backfill.outcomes, normal.outcomes);
    EXPECT_GE(Counter(backfill.counters, "# of Target Connection Failures   : "), 1);
    EXPECT_EQ(Counter(backfill.counters, "# of Logical Write Transactions   : "),
              Counter(normal.counters, "# of Logical Write Transactions   : "));
    EXPECT_EQ(Counter(backfill.counters, "# of Physical Write Transactions  : "),
              Counter(normal.counters, "# of Physical Write Transactions  : "));
}

INSTANTIATE_TEST_SUITE_P(Engines, BackfillTest,
                         ::testing::Values(fixtures::Engine::SQLite, fixtures::Engine::PostgreSQL),
                         writertest::EngineName);
