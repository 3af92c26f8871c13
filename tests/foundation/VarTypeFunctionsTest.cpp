#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/VarTypeFunctions.h"
#include "tests/foundation/QtPrinters.h"

#include <gtest/gtest.h>

namespace {

using namespace VarTypeFunctions;

struct CodeCase {
    const char* code;
    const char* flags; // the families whose markers it holds: D 4 H 3 F 5 1 S
    const char* intervalName;
    const char* table;
    int perDay;
};

TEST(VarTypeFunctionsTest, DerivationsTakeTheFirstMarkerInTheirOwnOrder) {
    const CodeCase cases[] = {
        {"PCTP4H3F519", "D", "Day", "DATATBL", 1},
        {"4GE", "4", "4 Hours", "DATADD4", 6},
        {"xxHNBxx", "H", "Hour", "DATADDH", 24},
        {"3WQ", "3", "30 Minutes", "DATADD3", 48},
        {"FVX", "F", "15 Minutes", "DATADDF", 96},
        {"5YR", "5", "5 Minutes", "DATADD5", 288},
        {"1SA", "1", "Minute", "DATADD1", 1440},
        {"908", "S", "Second", "DATADDX", 0}, // unsupported: rejected at validation
        {"", "", "Day", "DATATBL", 1},
        {"pct hnb", "", "Day", "DATATBL", 1}, // markers are case-sensitive
        {"PCTHNB", "DH", "Day", "DATADDH", 24},
        {"4GE_PCT", "D4", "Day", "DATADD4", 6},
        {"3WQ1SA", "31", "30 Minutes", "DATADD1", 1440},
        {"5YRFVX", "F5", "15 Minutes", "DATADDF", 96},
        {"908HNB", "HS", "Hour", "DATADDH", 24},
        {"908PCT", "DS", "Day", "DATATBL", 1},
    };
    for (const auto& c : cases) {
        const QString code = QString::fromLatin1(c.code);
        const QString flags = QString::fromLatin1(c.flags);
        EXPECT_EQ(IsDaily(code), flags.contains('D')) << c.code;
        EXPECT_EQ(Is4Hourly(code), flags.contains('4')) << c.code;
        EXPECT_EQ(IsHourly(code), flags.contains('H')) << c.code;
        EXPECT_EQ(Is30Minute(code), flags.contains('3')) << c.code;
        EXPECT_EQ(Is15Minute(code), flags.contains('F')) << c.code;
        EXPECT_EQ(Is5Minute(code), flags.contains('5')) << c.code;
        EXPECT_EQ(Is1Minute(code), flags.contains('1')) << c.code;
        EXPECT_EQ(IsSeconds(code), flags.contains('S')) << c.code;
        EXPECT_EQ(IntervalName(code), c.intervalName) << c.code;
        EXPECT_EQ(DataTableName(code), c.table) << c.code;
        EXPECT_EQ(IntervalsPerDay(code), c.perDay) << c.code;
    }
}

TEST(VarTypeFunctionsTest, KindMarkers) {
    const struct {
        const char* code;
        bool parameter, text, calculated;
        const char* kind;
    } cases[] = {
        {"HNBP4H3F519", true, false, false, "Parameter"},
        {"PCTTEBQXRA8", false, true, false, "Text Parameter"},
        {"CGNWVYS0", false, false, true, "Calculated"},
        {"HNB", false, false, false, "Parameter"},
        {"TEBQXRA8CGNWVYS0", false, true, true, "Text Parameter"},
        {"CGNWVYS0P4H3F519", true, false, true, "Parameter"},
        {"tebqxra8", false, false, false, "Parameter"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsParameter(c.code), c.parameter) << c.code;
        EXPECT_EQ(IsTextParameter(c.code), c.text) << c.code;
        EXPECT_EQ(IsCalculated(c.code), c.calculated) << c.code;
        EXPECT_EQ(VarKindName(c.code), c.kind) << c.code;
    }
}

double at(int h, int m, int s = 0, int ms = 0, int day = 5) {
    return OleDate::fromParts(2025, 3, day, h, m, s, ms);
}

struct AlignCase {
    const char* name;
    double date;
    const char* code;
    double expected;
};

TEST(VarTypeFunctionsTest, AlignToSlotGivesTheStartOfTheHoldingInterval) {
    const double day = OleDate::fromParts(2025, 3, 5);
    const AlignCase cases[] = {
        {"15-minute inside", at(10, 44, 59), "FVX", at(10, 30)},
        {"15-minute on the boundary", at(10, 45), "FVX", at(10, 45)},
        {"boundary built from a double sum", day + 43 * (1.0 / 96.0), "FVX", at(10, 45)},
        {"a hair below the boundary rounds onto it", at(10, 45) - 1e-10, "FVX", at(10, 45)},
        {"4-hourly late evening", at(23, 59), "4GE", at(20, 0)},
        {"4-hourly early", at(3, 59, 59), "4GE", at(0, 0)},
        {"4-hourly on the boundary", at(8, 0), "4GE", at(8, 0)},
        {"hourly", at(23, 59, 59, 999), "HNB", at(23, 0)},
        {"30-minute first half", at(10, 29, 59), "3WQ", at(10, 0)},
        {"30-minute second half", at(10, 30), "3WQ", at(10, 30)},
        {"5-minute", at(10, 44, 59), "5YR", at(10, 40)},
        {"1-minute ignores seconds", at(10, 44, 59, 600), "1SA", at(10, 44)},
        {"seconds ignore milliseconds", at(10, 44, 59, 600), "908", at(10, 44, 59)},
        {"daily", at(10, 44), "PCT", day},
        {"no marker", at(23, 59, 59), "XYZ", day},
        {"alignment order puts 4GE before PCT", at(13, 0), "PCT4GE", at(12, 0)},
        {"alignment order puts PCT before HNB", at(13, 30), "HNBPCT", day},
        {"alignment order puts 3WQ before 1SA", at(13, 44), "1SA3WQ", at(13, 30)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OleDate::toMs(AlignToSlot(c.date, c.code)), OleDate::toMs(c.expected))
            << c.name << ": got " << OleDate::toIsoMs(AlignToSlot(c.date, c.code)).toStdString();
}

TEST(VarTypeFunctionsTest, AlignToSlotResultsAreNormalised) {
    for (int slot = 0; slot < 96; ++slot) {
        const double start = OleDate::fromParts(2025, 3, 5) + slot * (1.0 / 96.0);
        const double aligned = AlignToSlot(OleDate::addMinutes(start, 7), "FVX");
        EXPECT_EQ(aligned, OleDate::normalize(aligned)) << slot;
        EXPECT_EQ(aligned, OleDate::normalize(start)) << slot;
    }
}

TEST(VarTypeFunctionsTest, AlignToSlotTZMovesOnlyTheDailyBoundary) {
    const struct {
        const char* code;
        double offset;
        double date;
        double expected;
    } cases[] = {
        {"PCT", 60, at(0, 0), at(23, 0, 0, 0, 4)},
        {"PCT", 60, at(12, 34), at(23, 0, 0, 0, 4)},
        {"PCT", 60, at(23, 59, 59), at(23, 0, 0, 0, 4)},
        {"PCT", -120, at(12, 0), at(2, 0)},
        {"", 60, at(0, 0), at(1, 0)},
        {"XYZ", 60, at(23, 59), at(1, 0)},
        {"XYZ", -30, at(6, 0), at(23, 30, 0, 0, 4)},
        {"HNB", 60, at(12, 34), at(12, 0)},
        {"FVX", 60, at(12, 34), at(12, 30)},
        {"4GE", 60, at(12, 34), at(12, 0)},
        {"PCT", 0, at(12, 34), at(0, 0)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(OleDate::toMs(AlignToSlotTZ(c.date, c.code, c.offset)), OleDate::toMs(c.expected))
            << c.code << " offset " << c.offset << " at " << OleDate::toIsoMs(c.date).toStdString()
            << ": got " << OleDate::toIsoMs(AlignToSlotTZ(c.date, c.code, c.offset)).toStdString();
}

} // namespace
