#include "CommonFiles/import/CommonFacilityWriter.h"

#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/VarTypeFunctions.h"
#include "fixtures/TargetDatabase.h"
#include "tests/import/WriterTestSupport.h"
#include "tests/support/FakeClock.h"
#include "tests/support/PgCluster.h"

#include <QRegularExpression>
#include <QString>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using fixtures::Engine;
using fixtures::StoredValueSpec;
namespace Code = fixtures::VarTypeCode;
using writertest::CountLogMessage;
using writertest::CountLogMessagesStartingWith;
using writertest::Date;
using writertest::LogMessages;
using writertest::SetConfig;
using writertest::Text;

namespace {

const QString WritingLine = QStringLiteral("Writing DD Value to database.");
const QString OpenFailurePrefix = QStringLiteral("Unable to Open Connection to Vesk DRAQ. Error : ");
const QString DataSourceKey = QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE");

// A stored row read back: daily rows have no slot start.
struct Row {
    QString slotStart;
    QString dateStamp;
    double value = 0;
    QString text;
    int status = 0;
    QString auditUser;
};

// The interval table suffix of a code, "" for the daily table.
QString suffixOf(const QString& varType) {
    if (CommonFacilityWriter::IsDailyHome(varType)) return QString();
    switch (VarTypeFunctions::IntervalsPerDay(varType)) {
    case 6:
        return QStringLiteral("4");
    case 48:
        return QStringLiteral("3");
    case 96:
        return QStringLiteral("F");
    case 288:
        return QStringLiteral("5");
    case 1440:
        return QStringLiteral("1");
    default:
        return QStringLiteral("H");
    }
}

QString textOf(const Variant& v) {
    return v.isNull() ? QString() : v.toText();
}

} // namespace

class FacilityWriterTest : public WriterTest {
public:
    void SetUp() override {
        WriterTest::SetUp();
        writer_.emplace();
        writer_->setfacilID(Facility);
        writer_->setLockDate(Date(2009, 3, 1));
    }
    void TearDown() override {
        writer_.reset();
        WriterTest::TearDown();
    }

    CommonFacilityWriter& writer() { return *writer_; }

    // Every row of the variable in its home table (the daily table or the type's interval table).
    QList<Row> stored(const QString& varType, int varid) {
        const QString suffix = suffixOf(varType);
        QList<Row> out;
        if (suffix.isEmpty()) {
            for (const auto& r :
                 rows(QStringLiteral("select datestamp, curvalue, textvalue, status, audituser from "
                                     "DATATBL where varid = ? order by datestamp"),
                      {varid}))
                out.append(
                    {QString(), Text(r[0]), r[1].toDouble(), textOf(r[2]), r[3].toInt32(), textOf(r[4])});
        } else {
            for (const auto& r :
                 rows("select slotstarttime, datestamp, curvalue, textvalue, status, audituser from "
                      "DATADD" +
                          suffix + " where varid = ? order by slotstarttime",
                      {varid}))
                out.append(
                    {Text(r[0]), Text(r[1]), r[2].toDouble(), textOf(r[3]), r[4].toInt32(), textOf(r[5])});
        }
        return out;
    }

    void storeRow(const QString& varType, int varid, double date, double value, int status) {
        StoredValueSpec spec;
        spec.varid = varid;
        spec.date = date;
        spec.value = value;
        spec.status = status;
        target().storeValue(Facility, suffixOf(varType), spec);
    }

    void expectFlags(bool logical, bool physical, bool refused, double stamp) {
        EXPECT_EQ(writer().PerfromedLogicalWrite, logical);
        EXPECT_EQ(writer().PerfromedPhysicalWrite, physical);
        EXPECT_EQ(writer().ApprovalLevelDisabledWrite, refused);
        EXPECT_EQ(Text(writer().PerfromedWriteDateStamp), Text(stamp));
        EXPECT_FALSE(writer().PerformedAINFOfieldsLogicalWrite);
        EXPECT_FALSE(writer().PerformedAINFOfieldsPhysicalWrite);
    }

    std::optional<CommonFacilityWriter> writer_;
};

// The lock date protects every day and slot before it; the lock date itself is open.
TEST_P(FacilityWriterTest, LockDateRefusesEarlierDaysAndSlotsAndWritesFromTheLockDateOn) {
    struct Case {
        const char* name;
        QString varType;
        double date;
        bool refused;
        double stamp;
    };
    const Case cases[] = {
        {"day before the lock date", Code::Daily, Date(2009, 2, 28), true, Date(2009, 2, 28)},
        {"late on the day before", Code::Daily, Date(2009, 2, 28, 23, 59, 59), true, Date(2009, 2, 28)},
        {"the lock date itself", Code::Daily, Date(2009, 3, 1), false, Date(2009, 3, 1)},
        {"later on the lock date", Code::Daily, Date(2009, 3, 1, 18, 30), false, Date(2009, 3, 1)},
        {"last hour before the lock date", Code::Hourly, Date(2009, 2, 28, 23, 59), true,
         Date(2009, 2, 28, 23)},
        {"first hour of the lock date", Code::Hourly, Date(2009, 3, 1, 0, 0), false, Date(2009, 3, 1)},
        {"15 minutes before the lock date", Code::FifteenMinute, Date(2009, 2, 28, 23, 45), true,
         Date(2009, 2, 28, 23, 45)},
    };
    int varid = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++varid;
        ASSERT_TRUE(writer().WriteToVeskDRAQ(c.varType, varid, c.date, 4.5, QStringLiteral("4.5"), 1));
        expectFlags(!c.refused, !c.refused, c.refused, c.stamp);
        const QList<Row> r = stored(c.varType, varid);
        if (c.refused) {
            EXPECT_TRUE(r.isEmpty());
        } else {
            ASSERT_EQ(r.size(), 1);
            EXPECT_EQ(r[0].dateStamp, Text(c.stamp));
            EXPECT_DOUBLE_EQ(r[0].value, 4.5);
        }
    }
}

// An interval value lands on the start of the slot that holds it, which is also its stamp; daily
// values land on midnight.
TEST_P(FacilityWriterTest, ValueIsWrittenAtTheStartOfItsSlotWithTheApprovalLevelAsStatus) {
    struct Case {
        const char* name;
        QString varType;
        double date;
        double slotStart;
        QString text;
    };
    const Case cases[] = {
        {"hourly 10:37", Code::Hourly, Date(2009, 3, 5, 10, 37), Date(2009, 3, 5, 10),
         QStringLiteral("7.25")},
        {"4-hourly 03:59", Code::FourHourly, Date(2009, 3, 5, 3, 59), Date(2009, 3, 5, 0),
         QStringLiteral("7.25")},
        {"30-minute 10:37", Code::ThirtyMinute, Date(2009, 3, 5, 10, 37), Date(2009, 3, 5, 10, 30),
         QStringLiteral("7.25")},
        {"15-minute 10:44:59", Code::FifteenMinute, Date(2009, 3, 5, 10, 44, 59), Date(2009, 3, 5, 10, 30),
         QStringLiteral("7.25")},
        {"5-minute 10:37", Code::FiveMinute, Date(2009, 3, 5, 10, 37), Date(2009, 3, 5, 10, 35),
         QStringLiteral("7.25")},
        {"1-minute 10:37:30", Code::OneMinute, Date(2009, 3, 5, 10, 37, 30), Date(2009, 3, 5, 10, 37),
         QStringLiteral("7.25")},
        {"daily 10:37", Code::Daily, Date(2009, 3, 5, 10, 37), Date(2009, 3, 5), QStringLiteral("7.25")},
        {"daily text parameter", Code::DailyText, Date(2009, 3, 5, 6), Date(2009, 3, 5),
         QStringLiteral("pump on")},
        // A code without interval marker counts as daily everywhere; its home is the daily table.
        {"code without interval marker", QStringLiteral("XYZ_P4H3F519"), Date(2009, 3, 5, 10, 37),
         Date(2009, 3, 5), QStringLiteral("7.25")},
    };
    SetWriteAsUser(QStringLiteral("NORTH_SITE"));
    int varid = 200;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++varid;
        ASSERT_TRUE(writer().WriteToVeskDRAQ(c.varType, varid, c.date, 7.25, c.text, 2));
        expectFlags(true, true, false, c.slotStart);
        const QList<Row> r = stored(c.varType, varid);
        ASSERT_EQ(r.size(), 1);
        if (!suffixOf(c.varType).isEmpty()) {
            EXPECT_EQ(r[0].slotStart, Text(c.slotStart));
        }
        EXPECT_EQ(r[0].dateStamp, Text(c.slotStart));
        EXPECT_DOUBLE_EQ(r[0].value, 7.25);
        EXPECT_EQ(r[0].text, c.text);
        EXPECT_EQ(r[0].status, 2);
        EXPECT_EQ(r[0].auditUser, QStringLiteral("NORTH_SITE"));
    }
    EXPECT_EQ(CountLogMessage(WritingLine), 6); // one per interval value, none for daily ones
}

// A stored row is protected by its status: a lower approval level is refused, an equal or higher
// one overwrites it whatever it holds.
TEST_P(FacilityWriterTest, StoredStatusAboveTheApprovalLevelRefusesTheValue) {
    struct Case {
        const char* name;
        QString varType;
        int storedStatus;
        int approval;
        bool refused;
    };
    const Case cases[] = {
        {"daily status 3, approval 2", Code::Daily, 3, 2, true},
        {"daily status 3, approval 3", Code::Daily, 3, 3, false},
        {"daily status 3, approval 4", Code::Daily, 3, 4, false},
        {"daily status 0, approval 1", Code::Daily, 0, 1, false},
        {"hourly status 3, approval 2", Code::Hourly, 3, 2, true},
        {"hourly status 3, approval 3", Code::Hourly, 3, 3, false},
        {"15-minute status 2, approval 1", Code::FifteenMinute, 2, 1, true},
    };
    const double when = Date(2009, 3, 5, 10);
    int varid = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++varid;
        const double slot = VarTypeFunctions::AlignToSlot(when, c.varType);
        storeRow(c.varType, varid, slot, 1.0, c.storedStatus);
        ASSERT_TRUE(writer().WriteToVeskDRAQ(c.varType, varid, when, 9.0, QStringLiteral("9"), c.approval));
        expectFlags(!c.refused, !c.refused, c.refused, slot);
        const QList<Row> r = stored(c.varType, varid);
        ASSERT_EQ(r.size(), 1);
        EXPECT_DOUBLE_EQ(r[0].value, c.refused ? 1.0 : 9.0);
        EXPECT_EQ(r[0].status, c.refused ? c.storedStatus : c.approval);
    }
}

// Test mode takes every decision of a real run, the seek included, but writes nothing.
TEST_P(FacilityWriterTest, TestModeDecidesAsARealRunButWritesNothing) {
    struct Case {
        const char* name;
        QString varType;
        std::optional<int> storedStatus;
        double date;
        bool refused;
    };
    const Case cases[] = {
        {"hourly, empty slot", Code::Hourly, std::nullopt, Date(2009, 3, 5, 10, 37), false},
        {"daily, empty day", Code::Daily, std::nullopt, Date(2009, 3, 5), false},
        {"hourly, protected row", Code::Hourly, 3, Date(2009, 3, 5, 10, 37), true},
        {"daily, protected row", Code::Daily, 3, Date(2009, 3, 5), true},
        {"hourly, open row", Code::Hourly, 1, Date(2009, 3, 5, 10, 37), false},
        {"hourly, before the lock date", Code::Hourly, std::nullopt, Date(2009, 2, 5, 10, 37), true},
    };
    writer().setTestMode(true);
    int varid = 400;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++varid;
        const double slot = VarTypeFunctions::AlignToSlot(c.date, c.varType);
        if (c.storedStatus) storeRow(c.varType, varid, slot, 1.0, *c.storedStatus);
        ASSERT_TRUE(writer().WriteToVeskDRAQ(c.varType, varid, c.date, 9.0, QStringLiteral("9"), 2));
        expectFlags(!c.refused, false, c.refused, slot);
        const QList<Row> r = stored(c.varType, varid);
        ASSERT_EQ(r.size(), c.storedStatus ? 1 : 0);
        if (c.storedStatus) {
            EXPECT_DOUBLE_EQ(r[0].value, 1.0);
        }
    }
    EXPECT_EQ(CountLogMessage(WritingLine), 0);

    writer().setTestMode(false);
    ASSERT_TRUE(
        writer().WriteToVeskDRAQ(Code::Hourly, 401, Date(2009, 3, 5, 10, 37), 9.0, QStringLiteral("9"), 2));
    EXPECT_EQ(CountLogMessage(WritingLine), 1);
    EXPECT_EQ(stored(Code::Hourly, 401).size(), 1);
}

// Without a facility, or with a lock date that was never read, nothing is written and nothing is
// logged; the flags of the previous write are cleared all the same.
TEST_P(FacilityWriterTest, MissingFacilityOrZeroLockDateWritesNothing) {
    struct Case {
        const char* name;
        QString facility;
        double lockDate;
    };
    const Case cases[] = {
        {"zero lock date", Facility, 0.0},
        {"empty facility", QString(), Date(2009, 3, 1)},
        {"blank facility", QStringLiteral("   "), Date(2009, 3, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writer().setfacilID(Facility);
        writer().setLockDate(Date(2009, 3, 1));
        ASSERT_TRUE(
            writer().WriteToVeskDRAQ(Code::Daily, 500, Date(2009, 2, 1), 1.0, QStringLiteral("1"), 1));
        ASSERT_TRUE(writer().ApprovalLevelDisabledWrite);
        writertest::StartNewLog();

        writer().DestroyConnection();
        writer().setfacilID(c.facility);
        writer().setLockDate(c.lockDate);
        EXPECT_FALSE(
            writer().WriteToVeskDRAQ(Code::Daily, 501, Date(2009, 3, 5), 1.0, QStringLiteral("1"), 1));
        expectFlags(false, false, false, 0.0);
        EXPECT_FALSE(
            writer().WriteToVeskDRAQ(Code::Hourly, 502, Date(2009, 3, 5, 10), 1.0, QStringLiteral("1"), 1));
        EXPECT_FALSE(writer().WriteCOMtoVeskDRAQ(Code::Daily, 501, Date(2009, 3, 5), QStringLiteral("note")));
        EXPECT_TRUE(stored(Code::Daily, 501).isEmpty());
        EXPECT_TRUE(stored(Code::Hourly, 502).isEmpty());
        EXPECT_TRUE(LogMessages().isEmpty()) << LogMessages().join('\n').toStdString();
    }
}

// The connection opened by the first write serves every later one until DestroyConnection; the
// next write then opens a new one from the settings as they are at that moment.
TEST_P(FacilityWriterTest, DestroyConnectionMakesTheNextWriteOpenANewConnection) {
    const QString reachable = host().dataSource();
    const QString unreachable = onPostgres()
                                    ? QStringLiteral("postgresql://127.0.0.1:1")
                                    : QStringLiteral("sqlite:") + folder_->file(QStringLiteral("missing"));
    ASSERT_TRUE(writer().WriteToVeskDRAQ(Code::Daily, 600, Date(2009, 3, 5), 1.0, QStringLiteral("1"), 1));
    EXPECT_TRUE(writer().ConnectionAlive());

    SetConfig(DataSourceKey, unreachable);
    ASSERT_TRUE(writer().WriteToVeskDRAQ(Code::Daily, 600, Date(2009, 3, 6), 2.0, QStringLiteral("2"), 1));
    EXPECT_EQ(CountLogMessagesStartingWith(OpenFailurePrefix), 0);

    writer().DestroyConnection();
    EXPECT_FALSE(writer().ConnectionAlive());
    EXPECT_FALSE(writer().WriteToVeskDRAQ(Code::Daily, 600, Date(2009, 3, 7), 3.0, QStringLiteral("3"), 1));
    EXPECT_EQ(CountLogMessagesStartingWith(OpenFailurePrefix), 1);
    expectFlags(false, false, false, 0.0);

    SetConfig(DataSourceKey, reachable);
    writer().DestroyConnection();
    ASSERT_TRUE(writer().WriteToVeskDRAQ(Code::Daily, 600, Date(2009, 3, 8), 4.0, QStringLiteral("4"), 1));

    const QList<Row> r = stored(Code::Daily, 600);
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r[0].dateStamp, Text(Date(2009, 3, 5)));
    EXPECT_EQ(r[1].dateStamp, Text(Date(2009, 3, 6)));
    EXPECT_EQ(r[2].dateStamp, Text(Date(2009, 3, 8)));
}

// Each failure gives False and its own words: an open failure at level 1, a database error as
// "number - description" at level 0, unusable settings silently.
TEST_P(FacilityWriterTest, FailuresGiveFalseWithTheirLogLines) {
    struct Case {
        const char* name;
        std::function<void(FacilityWriterTest&)> setup;
        QString varType;
        QString expectedPrefix; // "" for no line at all
    };
    const Case cases[] = {
        {"facility database missing",
         [](FacilityWriterTest& t) { t.writer().setfacilID(QStringLiteral("NOPLANT")); }, Code::Daily,
         OpenFailurePrefix},
        {"facility name that cannot be a database",
         [](FacilityWriterTest& t) { t.writer().setfacilID(QStringLiteral("PLANT1;Data Source=x")); },
         Code::Daily, OpenFailurePrefix},
        {"connection settings unusable",
         [](FacilityWriterTest&) {
             SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER"), "  ");
         },
         Code::Daily, QString()},
        {"daily table gone",
         [](FacilityWriterTest& t) {
             t.target().exec(Facility, t.onPostgres() ? "DROP TABLE datatbl CASCADE" : "DROP TABLE DATATBL");
         },
         Code::Daily, QStringLiteral("number - description")},
        {"interval table gone",
         [](FacilityWriterTest& t) {
             t.target().exec(Facility, t.onPostgres() ? "DROP TABLE dataddh CASCADE" : "DROP TABLE DATADDH");
         },
         Code::Hourly, QStringLiteral("number - description")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writertest::StartNewLog();
        writer_.emplace();
        writer().setfacilID(Facility);
        writer().setLockDate(Date(2009, 3, 1));
        c.setup(*this);
        EXPECT_FALSE(
            writer().WriteToVeskDRAQ(c.varType, 700, Date(2009, 3, 5, 10), 1.0, QStringLiteral("1"), 1));
        expectFlags(false, false, false, 0.0);
        const QStringList log = LogMessages();
        if (c.expectedPrefix.isEmpty()) {
            EXPECT_TRUE(log.isEmpty()) << log.join('\n').toStdString();
        } else if (c.expectedPrefix == QLatin1String("number - description")) {
            ASSERT_EQ(log.size(), 1) << log.join('\n').toStdString();
            EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+ - .+")).match(log[0]).hasMatch())
                << log[0].toStdString();
        } else {
            ASSERT_EQ(log.size(), 1) << log.join('\n').toStdString();
            EXPECT_TRUE(log[0].startsWith(c.expectedPrefix)) << log[0].toStdString();
            EXPECT_GT(log[0].size(), c.expectedPrefix.size());
        }
        SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER"), QStringLiteral("SQLNCLI"));
    }
}

// Comments are cut to 2000 characters, honour the lock date and test mode, and are stored at
// midnight or at the slot start.
TEST_P(FacilityWriterTest, CommentsAreCutTo2000CharactersAndHonourTheLockDate) {
    struct Case {
        const char* name;
        QString varType;
        double date;
        int length;
        bool testMode;
        bool refused;
        double stamp;
    };
    const Case cases[] = {
        {"daily, 2500 characters", Code::Daily, Date(2009, 3, 5, 14), 2500, false, false, Date(2009, 3, 5)},
        {"hourly, 2500 characters", Code::Hourly, Date(2009, 3, 5, 10, 37), 2500, false, false,
         Date(2009, 3, 5, 10)},
        {"hourly, 2000 characters", Code::Hourly, Date(2009, 3, 5, 11, 5), 2000, false, false,
         Date(2009, 3, 5, 11)},
        {"daily, before the lock date", Code::Daily, Date(2009, 2, 27), 10, false, true, Date(2009, 2, 27)},
        {"hourly, before the lock date", Code::Hourly, Date(2009, 2, 27, 10, 37), 10, false, true,
         Date(2009, 2, 27, 10)},
        {"daily, test mode", Code::Daily, Date(2009, 3, 9), 10, true, false, Date(2009, 3, 9)},
        {"hourly, test mode", Code::Hourly, Date(2009, 3, 9, 10), 10, true, false, Date(2009, 3, 9, 10)},
    };
    int varid = 800;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ++varid;
        QString comment;
        for (int i = 0; i < c.length; ++i)
            comment.append(QChar(u'a' + i % 26));
        writer().setTestMode(c.testMode);
        ASSERT_TRUE(writer().WriteCOMtoVeskDRAQ(c.varType, varid, c.date, comment));
        expectFlags(!c.refused, !c.refused && !c.testMode, c.refused, c.stamp);

        const bool daily = CommonFacilityWriter::IsDailyHome(c.varType);
        const QList<QList<Variant>> r =
            rows(daily ? QStringLiteral("select datestamp, comment from DATATBL_C where varid = ?")
                       : QStringLiteral("select slotstarttime, comment from DATADDH_C where varid = ?"),
                 {varid});
        if (c.refused || c.testMode) {
            EXPECT_TRUE(r.isEmpty());
            continue;
        }
        ASSERT_EQ(r.size(), 1);
        EXPECT_EQ(Text(r[0][0]), Text(c.stamp));
        EXPECT_EQ(r[0][1].toText(), comment.left(2000));
    }
}

// A comment is never cut inside a character that takes two UTF-16 units.
TEST(FacilityWriterComment, CutNeverSplitsASurrogatePair) {
    struct Case {
        const char* name;
        QString comment;
        qsizetype expectedLength;
    };
    const QString pair = QString::fromUtf8("\xF0\x9F\x92\xA7"); // one character outside the BMP
    const Case cases[] = {
        {"short comment unchanged", QStringLiteral("level check"), 11},
        {"exactly 2000 units", QString(2000, u'x'), 2000},
        {"2001 units", QString(2001, u'x'), 2000},
        {"pair across the limit", QString(1999, u'x') + pair + QStringLiteral("yy"), 1999},
        {"pair just inside the limit", QString(1998, u'x') + pair + QStringLiteral("yy"), 2000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const QString cut = CommonFacilityWriter::CutComment(c.comment);
        EXPECT_EQ(cut.size(), c.expectedLength);
        EXPECT_TRUE(c.comment.startsWith(cut));
        EXPECT_FALSE(cut.back().isHighSurrogate());
    }
}

// The entry goes to the given logbook when it exists, else to the default one, else to 0; a blank
// comment writes nothing.
TEST_P(FacilityWriterTest, LogbookEntryFallsBackToTheDefaultLogbook) {
    struct Case {
        const char* name;
        int logbookId;
        int defaultId;
        QString comment;
        bool testMode;
        std::optional<int> expectedLbid; // none: no entry
    };
    const Case cases[] = {
        {"known logbook", 7, 8, QStringLiteral("pump 2 serviced"), false, 7},
        {"unknown logbook, known default", 99, 8, QStringLiteral("filter washed"), false, 8},
        {"unknown logbook and default", 99, 98, QStringLiteral("valve swapped"), false, 0},
        {"blank comment", 7, 8, QStringLiteral("   "), false, std::nullopt},
        {"test mode", 7, 8, QStringLiteral("dry run"), true, std::nullopt},
    };
    FakeClock clock(Date(2009, 3, 6, 8, 15, 30));
    SetWriteAsUser(QStringLiteral("NORTH_SITE"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        target().exec(Facility, QStringLiteral("DELETE FROM logbookentries"));
        writer().setTestMode(c.testMode);
        ASSERT_TRUE(writer().WriteToLogbook(c.logbookId, Date(2009, 3, 5), Date(2009, 3, 5, 9, 30), c.comment,
                                            c.defaultId));
        const QList<QList<Variant>> r = rows(QStringLiteral(
            "select lbid, comment, timestamp, datestamp, audituser, audittimestamp from logbookentries"));
        if (!c.expectedLbid) {
            EXPECT_TRUE(r.isEmpty());
            continue;
        }
        ASSERT_EQ(r.size(), 1);
        EXPECT_EQ(r[0][0].toInt32(), *c.expectedLbid);
        EXPECT_EQ(r[0][1].toText(), c.comment);
        EXPECT_EQ(Text(r[0][2]), Text(Date(2009, 3, 5, 9, 30)));
        EXPECT_EQ(Text(r[0][3]), Text(Date(2009, 3, 5)));
        EXPECT_EQ(r[0][4].toText(), QStringLiteral("NORTH_SITE"));
        EXPECT_EQ(Text(r[0][5]), Text(Date(2009, 3, 6, 8, 15, 30)));
    }
    EXPECT_EQ(CountLogMessagesStartingWith(QStringLiteral("Error in WriteToLogbook: ")), 0);
}

TEST_P(FacilityWriterTest, LogbookWriteErrorIsLoggedAndGivesFalse) {
    target().exec(Facility, QStringLiteral("DROP TABLE logbookentries"));
    EXPECT_FALSE(
        writer().WriteToLogbook(7, Date(2009, 3, 5), Date(2009, 3, 5, 9, 30), QStringLiteral("note"), 8));
    const QStringList log = LogMessages();
    ASSERT_EQ(log.size(), 1) << log.join('\n').toStdString();
    EXPECT_TRUE(
        QRegularExpression(QStringLiteral("^Error in WriteToLogbook: \\d+ - .+")).match(log[0]).hasMatch())
        << log[0].toStdString();
}

// Additional-information values are not stored by this release: the value is written, the fields
// are not reported as written, and the failure shows at level 9 only after a write that happened.
TEST_P(FacilityWriterTest, AdditionalInformationIsNotReportedAsWritten) {
    const QString ainfoLine =
        QStringLiteral("CommonFacilityWriter.WriteToVeskDRAQ() : WriteToVeskDRAQainfo returned "
                       "failure during write of Additional Info Fields");
    KeyedHash<QString> none;
    KeyedHash<QString> one;
    one.Add(QStringLiteral("FIELD1"), QStringLiteral("north"));
    struct Case {
        const char* name;
        const KeyedHash<QString>* values;
        double date;
        bool lineExpected;
    };
    const Case cases[] = {
        {"no table", nullptr, Date(2009, 3, 5), false},
        {"empty table", &none, Date(2009, 3, 6), false},
        {"one value", &one, Date(2009, 3, 7), true},
        {"one value, refused by the lock date", &one, Date(2009, 2, 7), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writertest::StartNewLog();
        ASSERT_TRUE(
            writer().WriteToVeskDRAQ(Code::Daily, 900, c.date, 1.0, QStringLiteral("1"), 1, c.values));
        EXPECT_FALSE(writer().PerformedAINFOfieldsLogicalWrite);
        EXPECT_FALSE(writer().PerformedAINFOfieldsPhysicalWrite);
        EXPECT_EQ(CountLogMessage(ainfoLine), c.lineExpected ? 1 : 0);
    }
    EXPECT_EQ(stored(Code::Daily, 900).size(), 3);
}

INSTANTIATE_TEST_SUITE_P(Engines, FacilityWriterTest, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         writertest::EngineName);

// A server that goes away leaves a dead connection: writes give False without a log line until
// the import's recovery destroys it, after which the next write opens a new one.
class FacilityWriterServerLossTest : public FacilityWriterTest {};

TEST_P(FacilityWriterServerLossTest, DeadConnectionGivesFalseUntilDestroyed) {
    PgCluster& pg = PgCluster::shared();
    struct Restart {
        PgCluster& pg;
        ~Restart() {
            if (!pg.running()) pg.start();
        }
    } restartAtEnd{pg};

    const auto write = [&](int hour) {
        return writer().WriteToVeskDRAQ(Code::Hourly, 1000, Date(2009, 3, 5, hour), hour,
                                        QString::number(hour), 1);
    };
    ASSERT_TRUE(write(10));
    writertest::StartNewLog();

    pg.stop();
    EXPECT_FALSE(writer().ConnectionAlive());
    EXPECT_FALSE(write(11));
    expectFlags(false, false, false, 0.0);

    // The server is back, but the writer does not reopen a dead connection by itself.
    pg.start();
    EXPECT_FALSE(write(11));
    EXPECT_TRUE(LogMessages().isEmpty()) << LogMessages().join('\n').toStdString();
    writer().DestroyConnection();
    ASSERT_TRUE(write(11));

    // Destroyed while the server is down: the new connection cannot be opened.
    pg.stop();
    writer().DestroyConnection();
    EXPECT_FALSE(write(12));
    EXPECT_EQ(CountLogMessagesStartingWith(OpenFailurePrefix), 1);
    pg.start();
    writer().DestroyConnection();
    ASSERT_TRUE(write(12));

    const QList<Row> r = stored(Code::Hourly, 1000);
    ASSERT_EQ(r.size(), 3);
    EXPECT_EQ(r[2].slotStart, Text(Date(2009, 3, 5, 12)));
}

INSTANTIATE_TEST_SUITE_P(Engines, FacilityWriterServerLossTest, ::testing::Values(Engine::PostgreSQL),
                         writertest::EngineName);
