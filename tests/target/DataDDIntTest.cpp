#include "CommonFiles/target/DataDDInt.h"

#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/OleDate.h"
#include "tests/target/TargetTestSupport.h"

namespace {

const QString kFacility = QStringLiteral("PLANT1");

struct Family {
    std::int32_t intervals;
    const char* suffix;
    std::int32_t minutes;
};

const Family kFamilies[] = {{6, "4", 240}, {24, "H", 60}, {48, "3", 30},
                            {96, "F", 15}, {288, "5", 5}, {1440, "1", 1}};

double at(int h, int m, int s = 0, int ms = 0) {
    return OleDate::fromParts(2024, 3, 5, h, m, s, ms);
}

// Outputs a seek may fill, preset to values no row holds so that "untouched" is visible.
struct SeekOutputs {
    double dateStamp = -7;
    double value = -7;
    QString text = QStringLiteral("untouched");
    QString auditUser = QStringLiteral("untouched");
    double auditTimestamp = -7;
    std::int32_t status = -7;
    std::int32_t forced = -7;

    void seek(DataDDInt& dd, double slotStart, std::int32_t varId) {
        dd.SeekData(slotStart, varId, dateStamp, value, text, &auditUser, &auditTimestamp, &status, &forced);
    }
    bool untouched() const {
        return dateStamp == -7 && value == -7 && text == QStringLiteral("untouched") &&
               auditUser == QStringLiteral("untouched") && auditTimestamp == -7 && status == -7 &&
               forced == -7;
    }
};

class DataDDIntTest : public ::testing::TestWithParam<fixtures::Engine> {
protected:
    void SetUp() override {
        SetWriteAsUser(QString());
        site = std::make_unique<TargetSite>(GetParam());
        site->target().addFacility({kFacility, QStringLiteral("One")});
        cn = site->openFacility(kFacility);
    }
    void TearDown() override { cn.Close(); }

    std::unique_ptr<TargetSite> site;
    ado::Connection cn;
};

TEST_P(DataDDIntTest, WriteThenSeekEveryFamily) {
    for (const Family& f : kFamilies) {
        SCOPED_TRACE(f.suffix);
        DataDDInt dd;
        dd.ConnectTo(cn, f.intervals);
        EXPECT_EQ(dd.Suffix(), QString::fromLatin1(f.suffix));
        EXPECT_EQ(dd.GetMinutesPerInterval(), f.minutes);
        EXPECT_EQ(dd.GetCurrentIntervalsInDay(), f.intervals);

        const double slot = dd.GetSlotStartDateTime(at(10, 47, 13));
        const double stamp = OleDate::addSeconds(slot, 1);
        dd.WriteData(slot, stamp, 501, 12.25, QStringLiteral("txt"), 2);
        SeekOutputs o;
        o.seek(dd, slot, 501);
        ASSERT_FALSE(dd.NoMatch());
        EXPECT_EQ(o.value, 12.25);
        EXPECT_EQ(OleDate::toMs(o.dateStamp), OleDate::toMs(stamp));
        EXPECT_EQ(o.text, QStringLiteral("txt"));
        EXPECT_EQ(o.auditUser, QStringLiteral("VIA_K48213"));
        EXPECT_GT(o.auditTimestamp, 0);
        EXPECT_EQ(o.status, 2);
        EXPECT_EQ(o.forced, 0);

        // The row lives in the family's own table, keyed by the slot start.
        const auto rows =
            site->target().query(kFacility, "SELECT curvalue, slotstarttime FROM DATADD" +
                                                QString::fromLatin1(f.suffix) + " WHERE varid = 501");
        ASSERT_EQ(rows.size(), 1);
        EXPECT_EQ(OleDate::toMs(rows[0][1].toDate()), OleDate::toMs(slot));

        // The next slot is empty: no match, outputs as they were.
        SeekOutputs empty;
        empty.seek(dd, OleDate::addMinutes(slot, f.minutes), 501);
        EXPECT_TRUE(dd.NoMatch());
        EXPECT_TRUE(empty.untouched());

        dd.DeleteData(slot, 501);
        SeekOutputs gone;
        gone.seek(dd, slot, 501);
        EXPECT_TRUE(dd.NoMatch());
        EXPECT_TRUE(gone.untouched());
    }
}

TEST_P(DataDDIntTest, StoredBlankPaddedTextsComeBackTrimmed) {
    const double slot = at(10, 0);
    site->target().storeValue(kFacility, QStringLiteral("H"),
                              {.varid = 502,
                               .date = slot,
                               .value = 3.5,
                               .text = QStringLiteral("  padded text   "),
                               .status = 1,
                               .forced = 1,
                               .auditUser = QStringLiteral(" ADMIN  "),
                               .auditTimestamp = Variant::null()});
    DataDDInt dd;
    dd.ConnectTo(cn, 24);
    SeekOutputs o;
    o.seek(dd, slot, 502);
    ASSERT_FALSE(dd.NoMatch());
    EXPECT_EQ(o.text, QStringLiteral("padded text"));
    EXPECT_EQ(o.auditUser, QStringLiteral("ADMIN"));
    EXPECT_EQ(o.auditTimestamp, 0.0); // null stamp
    EXPECT_EQ(o.forced, 1);

    // A null text reads as empty; optional outputs not asked for stay out of it.
    site->target().storeValue(kFacility, QStringLiteral("H"), {.varid = 503, .date = slot, .value = 1.0});
    double stamp = -1, value = -1;
    QString text = QStringLiteral("x");
    dd.SeekData(slot, 503, stamp, value, text);
    EXPECT_FALSE(dd.NoMatch());
    EXPECT_EQ(text, QString());
    EXPECT_EQ(value, 1.0);

    // A found row without a value cannot be read as a number.
    site->target().storeValue(kFacility, QStringLiteral("H"),
                              {.varid = 504, .date = slot, .text = QStringLiteral("t")});
    try {
        dd.SeekData(slot, 504, stamp, value, text);
        ADD_FAILURE() << "a null value was read as a number";
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), AppError::InvalidUseOfNull);
    }
}

TEST_P(DataDDIntTest, SetStatusWritesOnlyWhenTheStatusDiffers) {
    const double slot = at(10, 30);
    site->target().storeValue(
        kFacility, QStringLiteral("3"),
        {.varid = 505, .date = slot, .value = 9.0, .text = QStringLiteral("keep"), .status = 1});
    DataDDInt dd;
    dd.ConnectTo(cn, 48);
    // Any time inside the slot addresses it.
    dd.SetStatus(at(10, 44, 59), 505, 1);
    SeekOutputs same;
    same.seek(dd, slot, 505);
    EXPECT_EQ(same.auditUser, QStringLiteral("ADMIN")); // not rewritten

    dd.SetStatus(at(10, 44, 59), 505, 3);
    SeekOutputs changed;
    changed.seek(dd, slot, 505);
    EXPECT_EQ(changed.status, 3);
    EXPECT_EQ(changed.auditUser, QStringLiteral("VIA_K48213"));
    EXPECT_EQ(changed.value, 9.0);
    EXPECT_EQ(changed.text, QStringLiteral("keep"));
    EXPECT_EQ(OleDate::toMs(changed.dateStamp), OleDate::toMs(slot));

    // An empty slot gets no row; a failure is swallowed, while the other members raise it.
    dd.SetStatus(at(12, 0), 505, 3);
    EXPECT_EQ(
        site->target().query(kFacility, QStringLiteral("SELECT varid FROM DATADD3 WHERE varid = 505")).size(),
        1);
    cn.Close();
    EXPECT_NO_THROW(dd.SetStatus(at(10, 44), 505, 4));
    EXPECT_THROW(dd.WriteData(slot, slot, 505, 1.0, QString(), 4), ado::AdoError);
    EXPECT_THROW(same.seek(dd, slot, 505), ado::AdoError);
}

TEST_P(DataDDIntTest, SetForcedFlagsTheSlot) {
    const double slot = at(10, 45);
    site->target().storeValue(kFacility, QStringLiteral("F"), {.varid = 506, .date = slot, .value = 2.0});
    DataDDInt dd;
    dd.ConnectTo(cn, 96);
    dd.SetForced(at(10, 59, 59), 506, 1);
    SeekOutputs o;
    o.seek(dd, slot, 506);
    EXPECT_EQ(o.forced, 1);
    EXPECT_EQ(o.auditUser, QStringLiteral("VIA_K48213"));
}

TEST_P(DataDDIntTest, SeekNextWalksTheRowsOfARange) {
    DataDDInt dd;
    dd.ConnectTo(cn, 288);
    for (int i = 0; i < 3; ++i)
        site->target().storeValue(kFacility, QStringLiteral("5"),
                                  {.varid = 507,
                                   .date = at(10, 5 * i),
                                   .value = double(i + 1),
                                   .text = QStringLiteral(" t%1 ").arg(i + 1),
                                   .status = i});
    struct Case {
        int nth;
        bool found;
        double value;
    };
    for (const Case& c : {Case{2, true, 2.0}, Case{0, true, 1.0}, Case{-3, true, 1.0}, Case{3, true, 3.0},
                          Case{4, false, -7}}) {
        SCOPED_TRACE(c.nth);
        SeekOutputs o;
        dd.SeekNext(at(10, 0), at(10, 15), 507, o.dateStamp, o.value, o.text, c.nth, &o.auditUser,
                    &o.auditTimestamp, &o.status, &o.forced);
        EXPECT_EQ(dd.NoMatch(), !c.found);
        EXPECT_EQ(o.value, c.value);
        if (c.found) {
            EXPECT_EQ(o.text, QStringLiteral("t%1").arg(int(c.value)));
            EXPECT_EQ(o.status, int(c.value) - 1);
            EXPECT_EQ(OleDate::toMs(o.dateStamp), OleDate::toMs(at(10, 5 * (int(c.value) - 1))));
        } else {
            EXPECT_TRUE(o.untouched());
        }
    }
    // The range end is exclusive.
    SeekOutputs o;
    dd.SeekNext(at(10, 0), at(10, 10), 507, o.dateStamp, o.value, o.text, 3);
    EXPECT_TRUE(dd.NoMatch());
}

TEST_P(DataDDIntTest, CommentsEveryFamily) {
    for (const Family& f : kFamilies) {
        SCOPED_TRACE(f.suffix);
        DataDDInt dd;
        dd.ConnectTo(cn, f.intervals);
        const double slot = dd.GetSlotStartDateTime(at(15, 59, 59));
        dd.WriteComment(slot, slot, 508, QStringLiteral("pump serviced"));
        QString comment = QStringLiteral("untouched");
        QString user = QStringLiteral("untouched");
        double stamp = -7;
        dd.SeekComment(slot, 508, comment, &user, &stamp);
        ASSERT_FALSE(dd.NoMatch());
        EXPECT_EQ(comment, QStringLiteral("pump serviced"));
        EXPECT_EQ(user, QStringLiteral("VIA_K48213"));
        EXPECT_GT(stamp, 0);

        // An empty stored comment is no comment.
        dd.WriteComment(slot, slot, 508, QString());
        comment = QStringLiteral("untouched");
        dd.SeekComment(slot, 508, comment);
        EXPECT_TRUE(dd.NoMatch());
        EXPECT_EQ(comment, QStringLiteral("untouched"));

        dd.WriteComment(slot, slot, 508, QStringLiteral("again"));
        dd.DeleteComment(slot, 508);
        dd.SeekComment(slot, 508, comment);
        EXPECT_TRUE(dd.NoMatch());
        EXPECT_TRUE(site->target()
                        .query(kFacility, "SELECT varid FROM DATADD" + QString::fromLatin1(f.suffix) +
                                              "_C WHERE varid = 508")
                        .isEmpty());
    }
}

TEST_P(DataDDIntTest, OneIntervalPerDayUsesTheHourlyProceduresWithADaySlot) {
    DataDDInt dd;
    dd.ConnectTo(cn, 1);
    EXPECT_EQ(dd.Suffix(), QStringLiteral("H"));
    EXPECT_EQ(dd.GetMinutesPerInterval(), 1440);
    const double day = OleDate::fromParts(2024, 3, 5);
    EXPECT_EQ(dd.GetSlotStartDateTime(at(17, 12)), day);
    // A row anywhere in the day is found by the day's slot.
    site->target().storeValue(kFacility, QStringLiteral("H"),
                              {.varid = 509, .date = at(17, 0), .value = 4.0});
    SeekOutputs o;
    o.seek(dd, day, 509);
    EXPECT_FALSE(dd.NoMatch());
    EXPECT_EQ(o.value, 4.0);
}

TEST_P(DataDDIntTest, OverlongTextsAreRejectedNotCut) {
    DataDDInt dd;
    dd.ConnectTo(cn, 24);
    const double slot = at(10, 0);
    EXPECT_THROW(dd.WriteData(slot, slot, 510, 1.0, QString(256, QLatin1Char('x')), 0), ado::AdoError);
    EXPECT_THROW(dd.WriteComment(slot, slot, 510, QString(2001, QLatin1Char('x'))), ado::AdoError);
    dd.WriteData(slot, slot, 510, 1.0, QString(255, QLatin1Char('x')), 0);
    dd.WriteComment(slot, slot, 510, QString(2000, QLatin1Char('x')));
    SeekOutputs o;
    o.seek(dd, slot, 510);
    EXPECT_EQ(o.text.size(), 255);
    QString comment;
    dd.SeekComment(slot, 510, comment);
    EXPECT_EQ(comment.size(), 2000);
}

TEST_P(DataDDIntTest, MissingProceduresRaise) {
    site->target().exec(kFacility, site->isSqlite()
                                       ? QStringLiteral("DELETE FROM ado_procedures WHERE name = 'SEEKFDDH'")
                                       : QStringLiteral("DROP FUNCTION seekfddh"));
    DataDDInt dd;
    dd.ConnectTo(cn, 24);
    SeekOutputs o;
    EXPECT_THROW(o.seek(dd, at(10, 0), 1), ado::AdoError);
    EXPECT_TRUE(o.untouched());
}

INSTANTIATE_TEST_SUITE_P(Engines, DataDDIntTest, kEngines, engineName);

struct SlotCase {
    const char* name;
    std::int32_t intervals;
    double in;
    double expected;
};

void PrintTo(const SlotCase& c, std::ostream* os) {
    *os << c.name;
}

class SlotStartTable : public ::testing::TestWithParam<SlotCase> {};

TEST_P(SlotStartTable, MapsToTheSlotStart) {
    const SlotCase& c = GetParam();
    DataDDInt dd;
    dd.ConnectTo(ado::Connection(), c.intervals);
    EXPECT_EQ(OleDate::toMs(dd.GetSlotStartDateTime(c.in)), OleDate::toMs(c.expected))
        << OleDate::toIsoMs(dd.GetSlotStartDateTime(c.in)).toStdString();
}

const double kMidnight6 = OleDate::fromParts(2024, 3, 6);

INSTANTIATE_TEST_SUITE_P(
    DataDDInt, SlotStartTable,
    ::testing::Values(
        SlotCase{"Min15Before", 96, at(10, 44, 59), at(10, 30)},
        SlotCase{"Min15On", 96, at(10, 45), at(10, 45)}, SlotCase{"FourHourlyBefore", 6, at(3, 59), at(0, 0)},
        SlotCase{"FourHourlyOn", 6, at(4, 0), at(4, 0)}, SlotCase{"FourHourlyLate", 6, at(23, 59), at(20, 0)},
        SlotCase{"HourlyDropsSeconds", 24, at(10, 59, 59, 999), at(10, 0)},
        SlotCase{"Min30", 48, at(10, 31), at(10, 30)}, SlotCase{"Min5", 288, at(10, 9, 59), at(10, 5)},
        SlotCase{"Min1", 1440, at(10, 9, 59), at(10, 9)},
        SlotCase{"OtherCountIsTheDay", 7, at(10, 9), OleDate::fromParts(2024, 3, 5)},
        SlotCase{"PointFourBeforeMidnightIsNextDay", 96, at(23, 59, 59, 600), kMidnight6},
        SlotCase{"PointSixBeforeMidnightStays", 96, at(23, 59, 59, 400), at(23, 45)},
        SlotCase{"PointFourBeforeMidnightHourly", 24, at(23, 59, 59, 600), kMidnight6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataDDInt, RefusesAnIntervalCountBelowOne) {
    DataDDInt dd;
    EXPECT_TRUE(dd.NoMatch());
    EXPECT_EQ(dd.GetCurrentIntervalsInDay(), -1);
    EXPECT_THROW(dd.ConnectTo(ado::Connection(), 0), AppError);
    EXPECT_EQ(dd.GetCurrentIntervalsInDay(), -1);
}

} // namespace
