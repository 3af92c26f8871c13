#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/Variant.h"

#include <gtest/gtest.h>

namespace {

struct NumericCase {
    const char* text;
    bool numeric;
};

TEST(VariantTest, IsNumericTable) {
    const NumericCase cases[] = {
        {"0", true},      {"12", true},       {"-3.5", true},   {"+.5", true},    {" 7 ", true},
        {"2.", true},     {"1e3", true},      {"1.5E-2", true}, {"", false},      {" ", false},
        {"abc", false},   {"1,5", false},     {"1e", false},    {"--1", false},   {"1 2", false},
        {".", false},     {"0x10", false},    {"12a", false},   {"e5", false},    {"1e+", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Variant(c.text).isNumeric(), c.numeric) << "text '" << c.text << "'";
    EXPECT_TRUE(Variant().isNumeric()); // Empty counts as 0
    EXPECT_FALSE(Variant::null().isNumeric());
    EXPECT_FALSE(Variant::fromDate(45000.5).isNumeric());
    EXPECT_TRUE(Variant(true).isNumeric());
}

struct IntCase {
    Variant value;
    int expected; // ignored when overflow
    bool overflow;
};

TEST(VariantTest, Int16ConversionRoundsHalvesToEvenAndOverflows) {
    const IntCase cases[] = {
        {Variant("2.5"), 2, false},   {Variant("3.5"), 4, false},    {Variant(-2.5), -2, false},
        {Variant(0.5), 0, false},     {Variant(1.5), 2, false},      {Variant("2.4999"), 2, false},
        {Variant("32767"), 32767, false}, {Variant("32767.4"), 32767, false}, {Variant("32767.5"), 0, true},
        {Variant(-32768.0), -32768, false}, {Variant("-32769"), 0, true}, {Variant(40000), 0, true},
        {Variant(), 0, false},        {Variant(true), -1, false},
    };
    for (const auto& c : cases) {
        if (c.overflow) {
            try {
                (void)c.value.toInt16();
                ADD_FAILURE() << "no overflow for " << c.value.toText().toStdString();
            } catch (const AppError& e) {
                EXPECT_EQ(e.number(), AppError::Overflow);
            }
        } else {
            EXPECT_EQ(c.value.toInt16(), c.expected) << c.value.toText().toStdString();
        }
    }
}

TEST(VariantTest, Int32AndErrors) {
    EXPECT_EQ(Variant("2147483647").toInt32(), 2147483647);
    EXPECT_THROW((void)Variant(2147483648.0).toInt32(), AppError);
    try {
        (void)Variant("abc").toInt32();
        FAIL();
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), AppError::TypeMismatch);
    }
    try {
        (void)Variant::null().toDouble();
        FAIL();
    } catch (const AppError& e) {
        EXPECT_EQ(e.number(), AppError::InvalidUseOfNull);
    }
}

TEST(VariantTest, TextForms) {
    EXPECT_EQ(Variant::null().toText(), QString());
    EXPECT_EQ(Variant().toText(), QString());
    EXPECT_EQ(Variant(4.75).toText(), "4.75");
    EXPECT_EQ(Variant(19.0).toText(), "19");
    EXPECT_EQ(Variant(0.1 + 0.2).toText(), "0.3");
    EXPECT_EQ(Variant(true).toText(), "True");
    EXPECT_EQ(Variant::fromDate(OleDate::fromParts(2024, 3, 1)).toText(), "03/01/2024");
    EXPECT_EQ(Variant::fromDate(OleDate::fromParts(2024, 3, 1, 13, 5, 9)).toText(), "03/01/2024 13:05:09");
}

TEST(VariantTest, BooleanConversion) {
    EXPECT_TRUE(Variant("true").toBool());
    EXPECT_FALSE(Variant("FALSE").toBool());
    EXPECT_TRUE(Variant("-1").toBool());
    EXPECT_FALSE(Variant("0").toBool());
    EXPECT_THROW((void)Variant("YES").toBool(), AppError);
}

TEST(OleDateTest, PartsAndEpoch) {
    EXPECT_EQ(OleDate::fromParts(1899, 12, 30), 0.0);
    EXPECT_EQ(OleDate::fromParts(1900, 1, 1), 2.0);
    EXPECT_EQ(OleDate::fromParts(2024, 3, 1), 45352.0);
    double d = OleDate::fromParts(2024, 2, 29, 23, 59, 59, 999);
    EXPECT_EQ(OleDate::year(d), 2024);
    EXPECT_EQ(OleDate::month(d), 2);
    EXPECT_EQ(OleDate::day(d), 29);
    EXPECT_EQ(OleDate::hour(d), 23);
    EXPECT_EQ(OleDate::second(d), 59);
    EXPECT_EQ(OleDate::datePart(d), OleDate::fromParts(2024, 2, 29));
    // Negative day counts keep a positive time of day.
    EXPECT_EQ(OleDate::hour(-1.25), 6);
    EXPECT_EQ(OleDate::day(-1.25), 29);
}

TEST(OleDateTest, MinuteSumsDoNotDrift) {
    // Twenty-four additions of one hour land exactly on the next midnight.
    double start = OleDate::fromParts(2024, 3, 1);
    double t = start;
    for (int i = 0; i < 24; ++i) t = OleDate::addMinutes(t, 60);
    EXPECT_EQ(t, OleDate::fromParts(2024, 3, 2));
    // Plain double sums of 1/24 do drift; normalising repairs them.
    double raw = start;
    for (int i = 0; i < 24; ++i) raw += 1.0 / 24.0;
    EXPECT_EQ(OleDate::normalize(raw), OleDate::fromParts(2024, 3, 2));
}

TEST(OleDateTest, FormatsAndParse) {
    double d = OleDate::fromParts(2026, 12, 8, 21, 15, 3);
    EXPECT_EQ(OleDate::toMmDdYyyyHhNnSs(d), "12/08/2026 21:15:03");
    EXPECT_EQ(OleDate::toConfigText(d), "12-08-2026 21:15:03");
    EXPECT_EQ(OleDate::toLogFileStamp(d), "12_08_2026__21_15_03");
    EXPECT_EQ(OleDate::toIsoMs(OleDate::addSeconds(d, 0.25)), "2026-12-08 21:15:03.250");
    struct {
        const char* text;
        double expected;
    } cases[] = {
        {"12-08-2026 21:15:03", d},
        {"12/08/2026 21:15:03", d},
        {"2026-12-08 21:15:03", d},
        {"2026-12-08T21:15:03", d},
        {"2026/12/08 21:15:03", d},
        {"12/8/2026 9:15:03 PM", d},
        {"12/08/2026", OleDate::fromParts(2026, 12, 8)},
        {"2026-12-08 21:15:03.500", OleDate::addSeconds(d, 0.5)},
        {"06:00", OleDate::fromMs(6 * 3600000LL)},
    };
    for (const auto& c : cases) {
        double out = -1;
        EXPECT_TRUE(OleDate::parse(c.text, out)) << c.text;
        EXPECT_EQ(out, c.expected) << c.text;
    }
    double out;
    for (const char* bad : {"", "13/01/2026", "02/30/2026", "2026-12-08 25:00", "tomorrow", "12/08/26"})
        EXPECT_FALSE(OleDate::parse(bad, out)) << bad;
    EXPECT_EQ(OleDate::toGeneralDate(OleDate::fromMs(6 * 3600000LL)), "06:00:00");
}

} // namespace
