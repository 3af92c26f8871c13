#include "custom/CustomSource.h"

#include "CommonFiles/foundation/OleDate.h"
#include "platform/ado/ConnectionString.h"
#include "tests/source/SourceTestSupport.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct TagCase {
    const char* tag;
    bool valid;
    const char* train; // what SplitSourceTag gives, for the valid ones
    const char* sensor;
};

const std::vector<TagCase> kTagCases = {
    {"KQ:12:305", true, "12", "305"},
    {"KQ_12:305", true, "12", "305"},
    {"KQ 12:305", true, "12", "305"},
    {"KQ:1:1", true, "1", "1"},
    {"kq:12:305", false, "", ""},
    {"Kq:12:305", false, "", ""},
    {"KQ:12", false, "", ""},
    {"KQ::305", false, "", ""},
    {"KQ:a:305", false, "", ""},
    {"KQ:12:x", false, "", ""},
    {"KQ:12:", false, "", ""},
    {"KQ:12:305:7", false, "", ""},
    {"KQ", false, "", ""},
    {"", false, "", ""},
};

TEST(SourceTag, SyntaxTable) {
    for (const TagCase& c : kTagCases) {
        SCOPED_TRACE(std::string("tag '") + c.tag + "'");
        const QString tag = QString::fromLatin1(c.tag);
        EXPECT_EQ(CustomSource::IsValidSourceTag(tag), c.valid);
        if (!c.valid) continue;
        QString train;
        QString sensor;
        CustomSource::SplitSourceTag(tag, train, sensor);
        EXPECT_EQ(train.toStdString(), c.train);
        EXPECT_EQ(sensor.toStdString(), c.sensor);
    }
}

// One row per Validate outcome: the settings and the one message the first failing check writes.
struct ValidateCase {
    const char* name;
    QString statistic;
    Variant sourceTag;
    Variant filterTag;
    bool valid;
    QString message; // empty when valid
};

const QString kUnsupported = QStringLiteral("Validation Error : Unsupported Statistic '%1'");
const QString kEmptyTag = QStringLiteral("Validation Error : Must provide a non-empty Source Tag");
const QString kBadTag = QStringLiteral("Validation Error : Invalid Senvista Source Tag");
const QString kBadFilter = QStringLiteral("Validation Error : Invalid Senvista Filter Tag");

std::vector<ValidateCase> validateCases() {
    const Variant tag(QStringLiteral("KQ:12:305"));
    std::vector<ValidateCase> cases = {
        {"TIMEGT with an argument", "TIMEGT(5)", tag, Variant(), true, {}},
        {"TIMEEQ without argument", "TIMEEQ", tag, Variant(), true, {}},
        {"TIMELT lower case", "timelt(2.5)", tag, Variant(), true, {}},
        {"average is upper-cased when set", "average", tag, Variant(), true, {}},
        {"DIFF takes no argument", "DIFF(1000)", tag, Variant(), false, kUnsupported.arg("DIFF(1000)")},
        {"a trailing blank is kept", "average ", tag, Variant(), false, kUnsupported.arg("AVERAGE ")},
        {"empty statistic", "", tag, Variant(), false, kUnsupported.arg("")},
        {"MEDIAN is unknown", "MEDIAN", tag, Variant(), false, kUnsupported.arg("MEDIAN")},
        {"the statistic is checked before the tag", "MEDIAN", Variant(QString()), Variant(), false,
         kUnsupported.arg("MEDIAN")},
        {"empty source tag", "TOTAL", Variant(QString()), Variant(), false, kEmptyTag},
        {"never-set source tag", "TOTAL", Variant(), Variant(), false, kEmptyTag},
        {"invalid source tag", "TOTAL", Variant(QStringLiteral("kq:12:305")), Variant(), false, kBadTag},
        {"the source tag is checked before the filter tag", "TOTAL", Variant(QStringLiteral("KQ:a:305")),
         Variant(QStringLiteral("KQ:x")), false, kBadTag},
        {"null filter tag is not checked", "COUNT", tag, Variant::null(), true, {}},
        {"empty filter tag is not checked", "COUNT", tag, Variant(QString()), true, {}},
        {"valid filter tag", "COUNT", tag, Variant(QStringLiteral("KQ:12:900")), true, {}},
        {"invalid filter tag with a valid source tag", "COUNT", tag, Variant(QStringLiteral("KQ:12")), false,
         kBadFilter},
    };
    for (const char* name :
         {"AVERAGE", "TOTAL", "MINIMUM", "MAXIMUM", "RANGE", "DIFF", "FIRST", "LAST", "COUNT", "INVENTORY"})
        cases.push_back({name, QString::fromLatin1(name), tag, Variant(), true, {}});
    return cases;
}

class SourceValidate : public SourceTestBase {};

TEST_F(SourceValidate, ChecksTheStatisticThenTheTagsAndReportsTheFirstFailure) {
    for (const ValidateCase& c : validateCases()) {
        SCOPED_TRACE(c.name);
        AppLog().setVerbosity(1);
        CustomSource source;
        source.setSourceStatistic(c.statistic);
        if (!c.sourceTag.isEmpty()) source.setSourceTag(c.sourceTag.toText());
        source.setFilterTag(c.filterTag);
        EXPECT_EQ(source.Validate(), c.valid);
        const QStringList expected = c.message.isEmpty() ? QStringList() : QStringList{c.message};
        EXPECT_EQ(takeLogMessages(), expected);
    }
}

TEST_F(SourceValidate, MessagesAreLevelOne) {
    AppLog().setVerbosity(0);
    CustomSource source;
    source.setSourceStatistic(QStringLiteral("MEDIAN"));
    EXPECT_FALSE(source.Validate());
    EXPECT_EQ(takeLogMessages(), QStringList());
}

class SourceConnectionString : public SourceTestBase {};

TEST_F(SourceConnectionString, BuiltFromTheSourceKeysAndMaskedOnRequest) {
    setSetting("K48213\\SQL_URL", "postgresql://127.0.0.1:5999");
    setSetting("K48213\\SQL_USERNAME", "reader");
    setSetting("K48213\\SQL_PASSWORD", "s3cret");
    CustomSource source;
    EXPECT_EQ(source.GenerateSourceConnString(false),
              QStringLiteral(
                  "Provider=SQLOLEDB.1;Persist Security Info=True;Data Source=postgresql://127.0.0.1:5999;"
                  "Initial Catalog=VIRev;User ID=reader;Password=s3cret;Application Name=48213;"));
    EXPECT_EQ(source.GenerateSourceConnString(true),
              QStringLiteral(
                  "Provider=SQLOLEDB.1;Persist Security Info=True;Data Source=postgresql://127.0.0.1:5999;"
                  "Initial Catalog=VIRev;User ID=reader;Password=###;Application Name=48213;"));
}

TEST_F(SourceConnectionString, DefaultsOfTheSourceKeys) {
    CustomSource source;
    EXPECT_EQ(
        source.GenerateSourceConnString(false),
        QStringLiteral("Provider=SQLOLEDB.1;Persist Security Info=True;Data Source=sql.senvista.example;"
                       "Initial Catalog=VIRev;User ID=username;Password=tilvorna;Application Name=48213;"));
}

// Values that would end the key early or run into the next one are quoted, so the layer reads
// back exactly what the settings hold.
TEST_F(SourceConnectionString, ValuesWithSeparatorsSurviveTheRoundTrip) {
    struct Case {
        const char* name;
        QString password;
    };
    const std::vector<Case> cases = {
        {"plain", "tilvorna"},
        {"semicolon", "a;b"},
        {"semicolon and double quote", "x\";Data Source=elsewhere"},
        {"leading quote", "'quoted"},
        {"leading brace", "{braced}x"},
        {"blanks around", " padded "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        setSetting("K48213\\SQL_PASSWORD", c.password);
        CustomSource source;
        const auto parsed = ado::ConnectionString::parse(source.GenerateSourceConnString(false));
        EXPECT_EQ(parsed.password(), c.password);
        EXPECT_EQ(parsed.dataSource(), QStringLiteral("sql.senvista.example"));
        EXPECT_EQ(parsed.value(QStringLiteral("Application Name")), QStringLiteral("48213"));
        EXPECT_FALSE(source.GenerateSourceConnString(true).contains(c.password));
    }
}

TEST(SourceQueryLine, DescribesTheParametersTabSeparated) {
    CustomSource source;
    source.setSourceTag(QStringLiteral("KQ:12:305"));
    source.setSourceStatistic(QStringLiteral("timegt(4)"));
    source.setStartdate(OleDate::fromParts(2026, 3, 1, 5, 0, 0));
    source.setEnddate(OleDate::fromParts(2026, 3, 1, 6, 0, 0));
    source.setLowRangeFilter(Variant(0.5));
    source.setHighRangeFilter(Variant::null());
    source.setDeadBand(Variant(2));
    source.setFilterTag(Variant(QStringLiteral("KQ:12:900")));
    source.setFilterOp(Variant(QStringLiteral("CYCLESTO")));
    source.setFilterValue(Variant(1.0));
    EXPECT_EQ(source.LogCustomSourceQuery(),
              QStringLiteral("[SourceTag:] KQ:12:305\t[SourceStat:] TIMEGT(4)\t"
                             "[Date >= :] 03/01/2026 05:00:00 [ AND Date < :] 03/01/2026 06:00:00\t"
                             "[LowRange:] 0.5\t[HighRange:] \t[DeadBand:] 2\t[FilterTag:] KQ:12:900\t"
                             "[FilterOp:] CYCLESTO\t[FilterValue:] 1"));
}

TEST(SourceQueryLine, FreshReaderPrintsNullsAsEmptyText) {
    CustomSource source;
    EXPECT_EQ(source.LogCustomSourceQuery(),
              QStringLiteral("[SourceTag:] \t[SourceStat:] \t"
                             "[Date >= :] 12/30/1899 00:00:00 [ AND Date < :] 12/30/1899 00:00:00\t"
                             "[LowRange:] \t[HighRange:] \t[DeadBand:] \t[FilterTag:] \t[FilterOp:] \t"
                             "[FilterValue:] "));
    EXPECT_FALSE(source.HoldLastRunDate());
}

} // namespace
