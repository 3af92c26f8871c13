#include "CommonFiles/foundation/VarTypeFunctions.h"

#include "CommonFiles/foundation/OleDate.h"

#include <cstring>
#include <initializer_list>

namespace VarTypeFunctions {

namespace {

enum class Family { None, Daily, FourHourly, Hourly, Min30, Min15, Min5, Min1, Seconds };

struct Marker {
    Family family;
    const char* text;
};

constexpr Marker kPCT{Family::Daily, "PCT"};
constexpr Marker k4GE{Family::FourHourly, "4GE"};
constexpr Marker kHNB{Family::Hourly, "HNB"};
constexpr Marker k3WQ{Family::Min30, "3WQ"};
constexpr Marker kFVX{Family::Min15, "FVX"};
constexpr Marker k5YR{Family::Min5, "5YR"};
constexpr Marker k1SA{Family::Min1, "1SA"};
constexpr Marker k908{Family::Seconds, "908"};

// code.contains(marker), written out: type codes are a dozen characters and this is asked
// several times for every slot, where the general search's setup cost more than the search.
bool has(const QString& code, const char* marker) {
    const qsizetype m = qsizetype(std::strlen(marker));
    const QChar* s = code.constData();
    for (qsizetype i = 0; i + m <= code.size(); ++i) {
        qsizetype k = 0;
        while (k < m && s[i + k].unicode() == char16_t(static_cast<unsigned char>(marker[k])))
            ++k;
        if (k == m) return true;
    }
    return false;
}

Family firstOf(const QString& code, std::initializer_list<Marker> order) {
    for (const Marker& m : order)
        if (has(code, m.text)) return m.family;
    return Family::None;
}

Family nameFamily(const QString& code) {
    return firstOf(code, {kPCT, k4GE, kHNB, k3WQ, kFVX, k5YR, k1SA, k908});
}
Family tableFamily(const QString& code) {
    return firstOf(code, {kHNB, kFVX, k1SA, k5YR, k3WQ, k4GE, kPCT, k908});
}
Family alignFamily(const QString& code) {
    return firstOf(code, {k4GE, kPCT, kHNB, k3WQ, kFVX, k5YR, k1SA, k908});
}

} // namespace

bool IsDaily(const QString& code) {
    return has(code, kPCT.text);
}
bool Is4Hourly(const QString& code) {
    return has(code, k4GE.text);
}
bool IsHourly(const QString& code) {
    return has(code, kHNB.text);
}
bool Is30Minute(const QString& code) {
    return has(code, k3WQ.text);
}
bool Is15Minute(const QString& code) {
    return has(code, kFVX.text);
}
bool Is5Minute(const QString& code) {
    return has(code, k5YR.text);
}
bool Is1Minute(const QString& code) {
    return has(code, k1SA.text);
}
bool IsSeconds(const QString& code) {
    return has(code, k908.text);
}

bool IsParameter(const QString& code) {
    return has(code, "P4H3F519");
}
bool IsTextParameter(const QString& code) {
    return has(code, "TEBQXRA8");
}
bool IsCalculated(const QString& code) {
    return has(code, "CGNWVYS0");
}

QString VarKindName(const QString& code) {
    if (IsParameter(code)) return QStringLiteral("Parameter");
    if (IsTextParameter(code)) return QStringLiteral("Text Parameter");
    if (IsCalculated(code)) return QStringLiteral("Calculated");
    return QStringLiteral("Parameter");
}

QString IntervalName(const QString& code) {
    switch (nameFamily(code)) {
    case Family::FourHourly:
        return QStringLiteral("4 Hours");
    case Family::Hourly:
        return QStringLiteral("Hour");
    case Family::Min30:
        return QStringLiteral("30 Minutes");
    case Family::Min15:
        return QStringLiteral("15 Minutes");
    case Family::Min5:
        return QStringLiteral("5 Minutes");
    case Family::Min1:
        return QStringLiteral("Minute");
    case Family::Seconds:
        return QStringLiteral("Second");
    case Family::Daily:
    case Family::None:
        break;
    }
    return QStringLiteral("Day");
}

QString DataTableName(const QString& code) {
    switch (tableFamily(code)) {
    case Family::FourHourly:
        return QStringLiteral("DATADD4");
    case Family::Hourly:
        return QStringLiteral("DATADDH");
    case Family::Min30:
        return QStringLiteral("DATADD3");
    case Family::Min15:
        return QStringLiteral("DATADDF");
    case Family::Min5:
        return QStringLiteral("DATADD5");
    case Family::Min1:
        return QStringLiteral("DATADD1");
    case Family::Seconds:
        return QStringLiteral("DATADDX");
    case Family::Daily:
    case Family::None:
        break;
    }
    return QStringLiteral("DATATBL");
}

std::int16_t IntervalsPerDay(const QString& code) {
    switch (tableFamily(code)) {
    case Family::FourHourly:
        return 6;
    case Family::Hourly:
        return 24;
    case Family::Min30:
        return 48;
    case Family::Min15:
        return 96;
    case Family::Min5:
        return 288;
    case Family::Min1:
        return 1440;
    case Family::Seconds:
        return 0;
    case Family::Daily:
    case Family::None:
        break;
    }
    return 1;
}

double AlignToSlot(double date, const QString& code) {
    const double d = OleDate::normalize(date);
    const double f = OleDate::datePart(d);
    const int h = OleDate::hour(d);
    const int m = OleDate::minute(d);
    const int s = OleDate::second(d);
    double r = f;
    switch (alignFamily(code)) {
    case Family::FourHourly:
        r = f + (h / 4) * (1.0 / 6.0);
        break;
    case Family::Hourly:
        r = f + h * (1.0 / 24.0);
        break;
    case Family::Min30:
        r = f + h * (1.0 / 24.0) + (m / 30) * (1.0 / 48.0);
        break;
    case Family::Min15:
        r = f + h * (1.0 / 24.0) + (m / 15) * (1.0 / 96.0);
        break;
    case Family::Min5:
        r = f + h * (1.0 / 24.0) + (m / 5) * (1.0 / 288.0);
        break;
    case Family::Min1:
        r = f + h * (1.0 / 24.0) + m * (1.0 / 1440.0);
        break;
    case Family::Seconds:
        r = f + h * (1.0 / 24.0) + m * (1.0 / 1440.0) + s * (1.0 / 86400.0);
        break;
    case Family::Daily:
    case Family::None:
        break;
    }
    return OleDate::normalize(r);
}

double AlignToSlotTZ(double date, const QString& code, double offsetMinutes) {
    switch (alignFamily(code)) {
    case Family::Daily:
        return OleDate::addMinutes(OleDate::datePart(OleDate::normalize(date)), -offsetMinutes);
    case Family::None:
        return OleDate::addMinutes(OleDate::datePart(OleDate::normalize(date)), offsetMinutes);
    default:
        return AlignToSlot(date, code);
    }
}

} // namespace VarTypeFunctions
