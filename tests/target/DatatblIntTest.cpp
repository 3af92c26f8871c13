#include "CommonFiles/target/CommentsInt.h"
#include "CommonFiles/target/DatatblInt.h"

#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/OleDate.h"
#include "tests/target/TargetTestSupport.h"

namespace {

const QString kFacility = QStringLiteral("PLANT1");
const double kDay = OleDate::fromParts(2024, 3, 5);

struct DayOutputs {
    double value = -7;
    QString text = QStringLiteral("untouched");
    QString auditUser = QStringLiteral("untouched");
    double auditTimestamp = -7;
    std::int32_t forced = -7;
    std::int32_t status = -7;

    void seek(DatatblInt& t, double date, std::int32_t varId) {
        t.SeekDateVarId(date, varId, value, text, &auditUser, &auditTimestamp, &forced, &status);
    }
};

class DatatblIntTest : public ::testing::TestWithParam<fixtures::Engine> {
protected:
    void SetUp() override {
        SetWriteAsUser(QString());
        site = std::make_unique<TargetSite>(GetParam());
        site->target().addFacility({kFacility, QStringLiteral("One")});
        cn = site->openFacility(kFacility);
        daily.Connect(cn);
    }
    void TearDown() override { cn.Close(); }

    std::unique_ptr<TargetSite> site;
    ado::Connection cn;
    DatatblInt daily;
};

TEST_P(DatatblIntTest, WriteSeekForceAndDelete) {
    EXPECT_TRUE(DatatblInt().NoMatch());
    daily.WriteData(kDay, 601, 42.5, QStringLiteral("note"), 2);
    DayOutputs o;
    o.seek(daily, kDay, 601);
    ASSERT_FALSE(daily.NoMatch());
    EXPECT_EQ(o.value, 42.5);
    EXPECT_EQ(o.text, QStringLiteral("note"));
    EXPECT_EQ(o.auditUser, QStringLiteral("VIA_K48213"));
    EXPECT_GT(o.auditTimestamp, 0);
    EXPECT_EQ(o.forced, 0);
    EXPECT_EQ(o.status, 2);

    daily.SetForced(kDay, 601, 1);
    DayOutputs forced;
    forced.seek(daily, kDay, 601);
    EXPECT_EQ(forced.forced, 1);

    // The written user follows the import's write-as user.
    SetWriteAsUser(QStringLiteral("OPERATOR7"));
    daily.WriteData(kDay, 601, 43.0, QString(), 3);
    SetWriteAsUser(QString());
    DayOutputs rewritten;
    rewritten.seek(daily, kDay, 601);
    EXPECT_EQ(rewritten.value, 43.0);
    EXPECT_EQ(rewritten.text, QString());
    EXPECT_EQ(rewritten.auditUser, QStringLiteral("OPERATOR7"));
    EXPECT_EQ(
        site->target().query(kFacility, QStringLiteral("SELECT varid FROM DATATBL WHERE varid = 601")).size(),
        1);

    daily.deletedtbl(kDay, 601);
    DayOutputs gone;
    gone.seek(daily, kDay, 601);
    EXPECT_TRUE(daily.NoMatch());
    EXPECT_TRUE(site->target()
                    .query(kFacility, QStringLiteral("SELECT varid FROM DATATBL WHERE varid = 601"))
                    .isEmpty());
}

TEST_P(DatatblIntTest, SeekOfAnEmptyDayLeavesOutputsButForced) {
    DayOutputs o;
    o.seek(daily, kDay, 602);
    EXPECT_TRUE(daily.NoMatch());
    EXPECT_EQ(o.forced, 0);
    EXPECT_EQ(o.value, -7);
    EXPECT_EQ(o.text, QStringLiteral("untouched"));
    EXPECT_EQ(o.auditUser, QStringLiteral("untouched"));
    EXPECT_EQ(o.auditTimestamp, -7);
    EXPECT_EQ(o.status, -7);
}

TEST_P(DatatblIntTest, StoredTextsAreTrimmedAndNullsRead) {
    site->target().storeValue(kFacility, QString(),
                              {.varid = 603,
                               .date = kDay,
                               .value = 1.5,
                               .text = QStringLiteral("   left and right  "),
                               .status = 4,
                               .forced = 1,
                               .auditUser = QStringLiteral("  ADMIN ")});
    site->target().storeValue(kFacility, QString(), {.varid = 604, .date = kDay, .value = 2.5});
    DayOutputs padded;
    // Any time of the day addresses its row.
    padded.seek(daily, OleDate::addMinutes(kDay, 600), 603);
    ASSERT_FALSE(daily.NoMatch());
    EXPECT_EQ(padded.text, QStringLiteral("left and right"));
    EXPECT_EQ(padded.auditUser, QStringLiteral("ADMIN"));
    EXPECT_EQ(padded.auditTimestamp, 0.0);
    EXPECT_EQ(padded.forced, 1);
    EXPECT_EQ(padded.status, 4);

    double value = -1;
    QString text = QStringLiteral("x");
    daily.SeekDateVarId(kDay, 604, value, text);
    EXPECT_FALSE(daily.NoMatch());
    EXPECT_EQ(value, 2.5);
    EXPECT_EQ(text, QString());
}

TEST_P(DatatblIntTest, SetStatusWritesOnlyWhenTheStatusDiffers) {
    site->target().storeValue(
        kFacility, QString(),
        {.varid = 605, .date = kDay, .value = 8.0, .text = QStringLiteral("kept"), .status = 1});
    daily.SetStatus(kDay, 605, 1);
    DayOutputs same;
    same.seek(daily, kDay, 605);
    EXPECT_EQ(same.auditUser, QStringLiteral("ADMIN"));

    daily.SetStatus(kDay, 605, 2);
    DayOutputs changed;
    changed.seek(daily, kDay, 605);
    EXPECT_EQ(changed.status, 2);
    EXPECT_EQ(changed.value, 8.0);
    EXPECT_EQ(changed.text, QStringLiteral("kept"));
    EXPECT_EQ(changed.auditUser, QStringLiteral("VIA_K48213"));

    // No row: nothing written. Unlike the interval twin, failures are raised.
    daily.SetStatus(OleDate::addDays(kDay, 1), 605, 2);
    EXPECT_EQ(
        site->target().query(kFacility, QStringLiteral("SELECT varid FROM DATATBL WHERE varid = 605")).size(),
        1);
    cn.Close();
    EXPECT_THROW(daily.SetStatus(kDay, 605, 3), ado::AdoError);
}

TEST_P(DatatblIntTest, CommentsWriteAndDelete) {
    CommentsInt comments;
    comments.Connect(cn);
    comments.WriteData(kDay, 606, QStringLiteral("daily note"));
    comments.WriteData(kDay, 606, QStringLiteral("daily note, revised"));
    auto rows = site->target().query(
        kFacility, QStringLiteral("SELECT comment, audituser FROM DATATBL_C WHERE varid = 606"));
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0][0].toText(), QStringLiteral("daily note, revised"));
    EXPECT_EQ(rows[0][1].toText(), QStringLiteral("VIA_K48213"));

    // Daily comments are not read back through this class.
    QString comment = QStringLiteral("untouched"), user = QStringLiteral("untouched");
    double stamp = -7;
    comments.Seekcmts(kDay, 606, comment, user, stamp);
    EXPECT_TRUE(comments.NoMatch());
    EXPECT_EQ(comment, QStringLiteral("untouched"));
    EXPECT_EQ(user, QStringLiteral("untouched"));
    EXPECT_EQ(stamp, -7);

    EXPECT_THROW(comments.WriteData(kDay, 606, QString(2001, QLatin1Char('c'))), ado::AdoError);
    comments.deletecmts(kDay, 606);
    EXPECT_TRUE(site->target()
                    .query(kFacility, QStringLiteral("SELECT comment FROM DATATBL_C WHERE varid = 606"))
                    .isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Engines, DatatblIntTest, kEngines, engineName);

} // namespace
