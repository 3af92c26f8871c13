#include "CommonFiles/import/CommonUnitConvert.h"

#include "CommonFiles/config/QTXConfiguration.h"
#include "tests/import/WriterTestSupport.h"

#include <QList>
#include <QPair>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>

using writertest::CountLogMessage;
using writertest::CountLogMessagesStartingWith;
using writertest::LogMessages;

namespace {

const QString Micro = QString(QChar(0x00B5));
const QString AddedPrefix = QStringLiteral("UnitConverter : Added '");
const QString ConvertedPrefix = QStringLiteral("UnitConverter: Converted ");

using Settings = QList<QPair<QString, QString>>;

QString slot(int n, const char* field) {
    return CommonUnitConvert::SlotKey(n, QString::fromLatin1(field));
}

// A slot of its own (29 and up are free in the default table).
Settings conversion(int n, const QString& from, const QString& factor, const QString& to,
                    const QString& enabled = QStringLiteral("TRUE")) {
    return {{slot(n, "ENABLED"), enabled},
            {slot(n, "FROMUNIT"), from},
            {slot(n, "FACTOR"), factor},
            {slot(n, "TOUNIT"), to}};
}

class UnitConvertTest : public ::testing::Test {
protected:
    void SetUp() override {
        writertest::InitProcess();
        writertest::StartNewLog();
    }

    // A converter over a fresh store holding the default subtree changed by the settings, loaded.
    CommonUnitConvert& loaded(const Settings& settings = {}) {
        converter_.reset();
        config_ = QTXConfiguration();
        converter_.emplace(config_);
        converter_->DefineTree();
        for (const auto& [key, value] : settings)
            config_.setItem(key, value);
        converter_->Init();
        return *converter_;
    }

    QTXConfiguration config_;
    std::optional<CommonUnitConvert> converter_;
};

} // namespace

TEST_F(UnitConvertTest, DefineTreeHoldsTheDefaultTable) {
    struct Row {
        int n;
        const char* from; // UTF-8
        const char* factor;
        const char* to;
    };
    const Row table[] = {
        {1, "ng/l", "0.000001", "mg/l"},      {2, "mcg/l", "0.001", "mg/l"},
        {3, "ug/l", "0.001", "mg/l"},         {4, "\xC2\xB5g/l", "0.001", "mg/l"},
        {5, "mg/l", "1000", "mcg/l"},         {6, "mg/l", "1000", "ug/l"},
        {7, "mg/l", "1000", "\xC2\xB5g/l"},   {8, "mcg/kg", "0.001", "mg/kg"},
        {9, "ug/kg", "0.001", "mg/kg"},       {10, "\xC2\xB5g/kg", "0.001", "mg/kg"},
        {11, "mg/kg", "1000", "mcg/kg"},      {12, "mg/kg", "1000", "mcg/kg"},
        {13, "mg/kg", "1000", "ug/kg"},       {14, "mg/kg", "1000", "\xC2\xB5g/kg"},
        {15, "ppb", "0.001", "ppm"},          {16, "ppm", "1000", "ppb"},
        {17, "cfu/1ml", "0.01", "cfu/100ml"}, {18, "cfu/100ml", "100", "cfu/1ml"},
        {19, "degf", "-1", "degc"},           {20, "deg.f", "-1", "degc"},
        {21, "degreesf", "-1", "degc"},       {22, "degreef", "-1", "degc"},
        {23, "degreef.", "-1", "degc"},       {24, "degc", "-2", "degf"},
        {25, "deg.c", "-2", "degf"},          {26, "degreesc", "-2", "degf"},
        {27, "degreec", "-2", "degf"},        {28, "degreec.", "-2", "degf"},
    };
    CommonUnitConvert converter(config_);
    converter.DefineTree();
    EXPECT_EQ(config_.item(QStringLiteral("TARGET\\UNITCONVERT\\ENABLED")), QStringLiteral("TRUE"));
    for (const Row& r : table) {
        SCOPED_TRACE(r.n);
        EXPECT_EQ(config_.item(slot(r.n, "ENABLED")), QStringLiteral("TRUE"));
        EXPECT_EQ(config_.item(slot(r.n, "FROMUNIT")), QString::fromUtf8(r.from));
        EXPECT_EQ(config_.item(slot(r.n, "FACTOR")), QString::fromUtf8(r.factor));
        EXPECT_EQ(config_.item(slot(r.n, "TOUNIT")), QString::fromUtf8(r.to));
    }
    EXPECT_EQ(config_.item(slot(4, "FROMUNIT")).at(0).unicode(), 0x00B5);
    for (int n = 29; n <= 100; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(config_.item(slot(n, "ENABLED")), QStringLiteral("FALSE"));
        EXPECT_EQ(config_.item(slot(n, "FROMUNIT")), QString());
        EXPECT_EQ(config_.item(slot(n, "FACTOR")), QStringLiteral("1"));
        EXPECT_EQ(config_.item(slot(n, "TOUNIT")), QString());
    }
    EXPECT_FALSE(config_.ItemExists(slot(101, "ENABLED")));
    EXPECT_EQ(config_.TreeHash().Count(), 1 + 100 * 4);

    // A second definition keeps what the store holds.
    config_.setItem(slot(3, "FACTOR"), QStringLiteral("0.002"));
    converter.DefineTree();
    EXPECT_EQ(config_.item(slot(3, "FACTOR")), QStringLiteral("0.002"));
}

// Slot 12 repeats slot 11's pair, so the default table gives 27 conversions, each logged once.
TEST_F(UnitConvertTest, InitLoadsTheEnabledConversionsAndLogsEachOnce) {
    CommonUnitConvert& converter = loaded();
    EXPECT_TRUE(converter.Active());
    EXPECT_EQ(converter.ConversionCount(), 27);
    EXPECT_EQ(CountLogMessagesStartingWith(AddedPrefix), 27);
    EXPECT_EQ(CountLogMessage(
                  QStringLiteral("UnitConverter : Added 'mg/kg -> 1000 -> mcg/kg' as a valid conversion.")),
              1);
    EXPECT_EQ(
        CountLogMessage(QStringLiteral("UnitConverter : Added 'degf -> -1 -> degc' as a valid conversion.")),
        1);
    EXPECT_EQ(
        CountLogMessage(AddedPrefix + Micro + QStringLiteral("g/l -> 0.001 -> mg/l' as a valid conversion.")),
        1);
}

TEST_F(UnitConvertTest, ConvertsByTheTableAndPassesEverythingElseUnchanged) {
    struct Case {
        const char* name;
        Settings settings;
        double value;
        QString from;
        QString to;
        double expected;
        bool converted; // a "Converted" line is logged
    };
    const Case cases[] = {
        {"ug/l to mg/l", {}, 250, "ug/l", "mg/l", 0.25, true},
        {"blanks and upper case", {}, 250, "UG / L", "mg/l", 0.25, true},
        {"micro sign", {}, 250, Micro + "g/l", "MG/L", 0.25, true},
        {"ng/l to mg/l", {}, 5, "ng/l", "mg/l", 0.000005, true},
        {"mg/kg to mcg/kg (slot 11)", {}, 1.5, "mg/kg", "mcg/kg", 1500, true},
        {"cfu/1ml to cfu/100ml", {}, 300, "cfu/1ml", "cfu/100ml", 3, true},
        {"degF to degC", {}, 212, "degF", "degC", 100, true},
        {"degc to degf", {}, 100, "degc", "degf", 212, true},
        {"deg.c to degf", {}, -40, "deg.c", "degf", -40, true},
        {"same unit", {}, 42, "mg/l", "MG/L", 42, false},
        {"pair not in the table", {}, 42, "mg/l", "ppm", 42, false},
        {"only the reverse pair", {}, 42, "mg/l", "ng/l", 42, false},
        {"empty from unit", {}, 42, "", "mg/l", 42, false},
        {"blank to unit", {}, 42, "mg/l", "   ", 42, false},
        {"converter disabled", {{"TARGET\\UNITCONVERT\\ENABLED", "FALSE"}}, 250, "ug/l", "mg/l", 250, false},
        {"converter enabled in lower case",
         {{"TARGET\\UNITCONVERT\\ENABLED", "true"}},
         250,
         "ug/l",
         "mg/l",
         250,
         false},
        {"slot disabled", conversion(3, "ug/l", "0.001", "mg/l", "FALSE"), 250, "ug/l", "mg/l", 250, false},
        {"slot enabled in lower case", conversion(3, "ug/l", "0.001", "mg/l", "True"), 250, "ug/l", "mg/l",
         250, false},
        {"factor that is not a number counts as 1", conversion(29, "gal", "abc", "usgal"), 5, "gal", "usgal",
         5, true},
        {"empty factor counts as 1", conversion(29, "gal", "", "usgal"), 5, "gal", "usgal", 5, true},
        {"factor 0", conversion(29, "spill", "0", "none"), 5, "spill", "none", 0, true},
        {"own multiplication", conversion(29, "Mgal / d", "3.785", "ML/d"), 2, "mgal/d", "ml/d", 7.57, true},
        {"first definition of a pair wins", conversion(29, "ug/l", "5", "mg/l"), 250, "ug/l", "mg/l", 0.25,
         true},
        {"later slot of a disabled pair",
         [] {
             Settings s = conversion(3, "ug/l", "0.001", "mg/l", "FALSE");
             s.append(conversion(29, "ug/l", "0.002", "mg/l"));
             return s;
         }(),
         250, "ug/l", "mg/l", 0.5, true},
        {"negative factor rounding to -1", conversion(29, "f", "-1.4", "c"), 212, "f", "c", 100, true},
        {"negative factor -2.5 rounds to -2", conversion(29, "c", "-2.5", "f"), 100, "c", "f", 212, true},
        {"negative factor -3 is discarded", conversion(29, "x", "-3", "y"), 7, "x", "y", 7, false},
        {"negative factor rounding to 0 is discarded", conversion(29, "x", "-0.4", "y"), 7, "x", "y", 7,
         false},
        {"empty unit in an enabled slot is discarded", conversion(29, "", "2", "y"), 7, "", "y", 7, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writertest::StartNewLog();
        CommonUnitConvert& converter = loaded(c.settings);
        const double result = converter.GetConvertedResult(c.value, c.from, c.to);
        EXPECT_NEAR(result, c.expected, 1e-9 * std::max(1.0, std::abs(c.expected)));
        EXPECT_EQ(CountLogMessagesStartingWith(ConvertedPrefix), c.converted ? 1 : 0)
            << LogMessages().join('\n').toStdString();
    }
}

TEST_F(UnitConvertTest, LogLinesNameTheNormalisedUnitsAndNumbers) {
    CommonUnitConvert& converter = loaded(conversion(29, "gal", "abc", "usgal"));
    converter.GetConvertedResult(250, QStringLiteral("UG / L"), QStringLiteral("mg/l"));
    converter.GetConvertedResult(212, QStringLiteral("degF"), QStringLiteral("degC"));
    EXPECT_EQ(CountLogMessage(QStringLiteral("UnitConverter: Converted 250 [ug/l] to 0.25 [mg/l]")), 1);
    EXPECT_EQ(CountLogMessage(QStringLiteral("UnitConverter: Converted 212 [degf] to 100 [degc]")), 1);
    EXPECT_EQ(
        CountLogMessage(QStringLiteral("UnitConverter : Added 'gal -> 1 -> usgal' as a valid conversion.")),
        1);
}

TEST_F(UnitConvertTest, NormalizeUnitLowersAndDropsBlanks) {
    struct Case {
        QString unit;
        QString expected;
    };
    const Case cases[] = {
        {"mg/l", "mg/l"}, {"MG / L", "mg/l"}, {"  Deg. F  ", "deg.f"},
        {"", ""},         {"   ", ""},        {Micro + "G/L", Micro + "g/l"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CommonUnitConvert::NormalizeUnit(c.unit), c.expected) << c.unit.toStdString();
}

// Settings edited after a first Init take effect at the next one.
TEST_F(UnitConvertTest, InitAgainLoadsTheCurrentSettings) {
    CommonUnitConvert& converter = loaded();
    EXPECT_NEAR(converter.GetConvertedResult(250, "ug/l", "mg/l"), 0.25, 1e-12);
    config_.setItem(slot(3, "FACTOR"), QStringLiteral("0.002"));
    converter.Init();
    EXPECT_NEAR(converter.GetConvertedResult(250, "ug/l", "mg/l"), 0.5, 1e-12);
    config_.setItem(QStringLiteral("TARGET\\UNITCONVERT\\ENABLED"), QStringLiteral("FALSE"));
    converter.Init();
    EXPECT_FALSE(converter.Active());
    EXPECT_EQ(converter.ConversionCount(), 0);
    EXPECT_DOUBLE_EQ(converter.GetConvertedResult(250, "ug/l", "mg/l"), 250);
}

// Without its subtree (start-up does not define it) the converter stays inactive and says why.
TEST_F(UnitConvertTest, InitWithoutTheSubtreeLeavesTheConverterInactive) {
    CommonUnitConvert converter(config_);
    converter.Init();
    EXPECT_FALSE(converter.Active());
    EXPECT_DOUBLE_EQ(converter.GetConvertedResult(250, "ug/l", "mg/l"), 250);
    EXPECT_EQ(CountLogMessagesStartingWith(QString::number(QTXConfiguration::KeyDoesNotExist) + " - "), 1)
        << LogMessages().join('\n').toStdString();

    // Not loaded yet: inactive, values pass.
    CommonUnitConvert fresh(config_);
    EXPECT_FALSE(fresh.Active());
    EXPECT_DOUBLE_EQ(fresh.GetConvertedResult(212, "degf", "degc"), 212);
}
