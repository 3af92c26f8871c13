#include "CommonFiles/foundation/OleDate.h"

#include <QDate>
#include <QTime>

#include <cmath>
#include <functional>

namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil algorithm).
constexpr std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t yy = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yy + (m <= 2));
}

// constexpr: dates built during static initialisation (tables of constants) need it already set.
constexpr std::int64_t kEpochDays = daysFromCivil(1899, 12, 30); // day 0 of the OLE count
constexpr std::int64_t kMsPerDay = 86400000;

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

QString two(int v) { return QString::number(v).rightJustified(2, QLatin1Char('0')); }
QString four(int v) { return QString::number(v).rightJustified(4, QLatin1Char('0')); }

struct Cursor {
    const QString& s;
    int i = 0;
    void blanks() {
        while (i < s.size() && s[i].isSpace()) ++i;
    }
    bool end() const { return i >= s.size(); }
    bool digits(int minLen, int maxLen, int& out) {
        int start = i, v = 0;
        while (i < s.size() && i - start < maxLen && s[i].isDigit()) v = v * 10 + s[i++].digitValue();
        if (i - start < minLen) {
            i = start;
            return false;
        }
        out = v;
        return true;
    }
    bool ch(QChar c) {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    bool oneOf(const char* set, QChar& got) {
        if (i < s.size()) {
            for (const char* p = set; *p; ++p)
                if (s[i] == QLatin1Char(*p)) {
                    got = s[i++];
                    return true;
                }
        }
        return false;
    }
};

bool validDate(int y, int m, int d) { return QDate::isValid(y, m, d); }

// hh:mm[:ss[.fff]] [AM|PM]
bool parseTime(Cursor& c, int& h, int& mi, int& sec, int& ms) {
    h = mi = sec = ms = 0;
    if (!c.digits(1, 2, h) || !c.ch(QLatin1Char(':')) || !c.digits(2, 2, mi)) return false;
    if (c.ch(QLatin1Char(':'))) {
        if (!c.digits(2, 2, sec)) return false;
        if (c.ch(QLatin1Char('.')) || c.ch(QLatin1Char(','))) {
            int start = c.i, frac = 0, n = 0;
            while (!c.end() && c.s[c.i].isDigit()) {
                if (n < 3) {
                    frac = frac * 10 + c.s[c.i].digitValue();
                    ++n;
                }
                ++c.i;
            }
            if (c.i == start) return false;
            while (n < 3) {
                frac *= 10;
                ++n;
            }
            ms = frac;
        }
    }
    c.blanks();
    if (!c.end()) {
        QString rest = c.s.mid(c.i).trimmed().toUpper();
        if (rest == QLatin1String("AM") || rest == QLatin1String("PM")) {
            if (h < 1 || h > 12) return false;
            if (rest == QLatin1String("AM") && h == 12) h = 0;
            if (rest == QLatin1String("PM") && h != 12) h += 12;
            c.i = c.s.size();
        } else if (rest == QLatin1String("Z")) {
            c.i = c.s.size();
        }
    }
    return h < 24 && mi < 60 && sec < 60;
}

std::function<double()>& clockSource() {
    static std::function<double()> source;
    return source;
}

} // namespace

namespace OleDate {

std::int64_t toMs(double d) {
    if (d >= 0 && d < 1e8) {
        // llround of a non-negative product below 2^53 without the library call (every reading's
        // stamp comes through here): its fraction is exact, and a half rounds up as llround does.
        const double x = d * MsPerDay;
        const auto whole = static_cast<std::int64_t>(x);
        return whole + (x - static_cast<double>(whole) >= 0.5 ? 1 : 0);
    }
    // Negative day counts keep the time of day as a positive fraction (-1.25 is 1899-12-29 06:00).
    double whole = std::trunc(d);
    double linear = d >= 0 ? d : whole + std::fabs(d - whole);
    return std::llround(linear * MsPerDay);
}

double fromMs(std::int64_t ms) {
    if (ms >= 0) return static_cast<double>(ms) / MsPerDay;
    std::int64_t dayNo = floorDiv(ms, kMsPerDay);
    std::int64_t inDay = ms - dayNo * kMsPerDay;
    return static_cast<double>(dayNo) - static_cast<double>(inDay) / MsPerDay;
}

double normalize(double d) { return fromMs(toMs(d)); }

double fromParts(int year, int month, int day, int hour, int minute, int second, int msec) {
    std::int64_t days = daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochDays;
    std::int64_t ms = days * kMsPerDay + ((hour * 60LL + minute) * 60LL + second) * 1000LL + msec;
    return fromMs(ms);
}

void toParts(double d, int& y, int& mo, int& dd, int& h, int& mi, int& s, int& ms) {
    std::int64_t total = toMs(d);
    std::int64_t dayNo = floorDiv(total, kMsPerDay);
    std::int64_t inDay = total - dayNo * kMsPerDay;
    civilFromDays(dayNo + kEpochDays, y, mo, dd);
    h = static_cast<int>(inDay / 3600000);
    mi = static_cast<int>(inDay / 60000 % 60);
    s = static_cast<int>(inDay / 1000 % 60);
    ms = static_cast<int>(inDay % 1000);
}

double fromDateTime(const QDateTime& dt) {
    QDate date = dt.date();
    QTime t = dt.time();
    return fromParts(date.year(), date.month(), date.day(), t.hour(), t.minute(), t.second(), t.msec());
}

QDateTime toDateTime(double d) {
    int y, mo, dd, h, mi, s, ms;
    toParts(d, y, mo, dd, h, mi, s, ms);
    return QDateTime(QDate(y, mo, dd), QTime(h, mi, s, ms));
}

void setClockSource(std::function<double()> source) { clockSource() = std::move(source); }

double now() {
    if (clockSource()) return normalize(clockSource()());
    return fromDateTime(QDateTime::currentDateTime());
}

double addMinutes(double d, double minutes) { return fromMs(toMs(d) + std::llround(minutes * 60000.0)); }
double addSeconds(double d, double seconds) { return fromMs(toMs(d) + std::llround(seconds * 1000.0)); }
double addDays(double d, double days) { return fromMs(toMs(d) + std::llround(days * MsPerDay)); }

double datePart(double d) {
    std::int64_t dayNo = floorDiv(toMs(d), kMsPerDay);
    return static_cast<double>(dayNo);
}

#define OLE_PART(name, field)                                                                      \
    int name(double d) {                                                                           \
        int y, mo, dd, h, mi, s, ms;                                                               \
        toParts(d, y, mo, dd, h, mi, s, ms);                                                       \
        return field;                                                                              \
    }
OLE_PART(year, y)
OLE_PART(month, mo)
OLE_PART(day, dd)
OLE_PART(hour, h)
OLE_PART(minute, mi)
OLE_PART(second, s)
#undef OLE_PART

int weekday(double d) {
    std::int64_t dayNo = floorDiv(toMs(d), kMsPerDay); // day 0 (1899-12-30) was a Saturday
    return static_cast<int>(((dayNo % 7) + 7 + 6) % 7) + 1;
}

QString toMmDdYyyyHhNnSs(double d) {
    int y, mo, dd, h, mi, s, ms;
    toParts(d, y, mo, dd, h, mi, s, ms);
    return two(mo) + '/' + two(dd) + '/' + four(y) + ' ' + two(h) + ':' + two(mi) + ':' + two(s);
}

QString toConfigText(double d) {
    int y, mo, dd, h, mi, s, ms;
    toParts(d, y, mo, dd, h, mi, s, ms);
    return two(mo) + '-' + two(dd) + '-' + four(y) + ' ' + two(h) + ':' + two(mi) + ':' + two(s);
}

QString toLogFileStamp(double d) {
    int y, mo, dd, h, mi, s, ms;
    toParts(d, y, mo, dd, h, mi, s, ms);
    return two(mo) + '_' + two(dd) + '_' + four(y) + "__" + two(h) + '_' + two(mi) + '_' + two(s);
}

QString toGeneralDate(double d) {
    int y, mo, dd, h, mi, s, ms;
    toParts(d, y, mo, dd, h, mi, s, ms);
    QString date = two(mo) + '/' + two(dd) + '/' + four(y);
    QString time = two(h) + ':' + two(mi) + ':' + two(s);
    std::int64_t total = toMs(d);
    bool midnight = total % kMsPerDay == 0;
    if (datePart(d) == 0.0 && !midnight) return time;
    return midnight ? date : date + ' ' + time;
}

QString toIsoMs(double d) {
    int y, mo, dd, h, mi, s, ms;
    toParts(d, y, mo, dd, h, mi, s, ms);
    return four(y) + '-' + two(mo) + '-' + two(dd) + ' ' + two(h) + ':' + two(mi) + ':' + two(s) + '.' +
           QString::number(ms).rightJustified(3, QLatin1Char('0'));
}

QString format(double d, const QString& pattern) {
    if (pattern == QLatin1String("mm/dd/yyyy HH:nn:ss") || pattern == QLatin1String("mm/dd/yyyy hh:mm:ss"))
        return toMmDdYyyyHhNnSs(d);
    if (pattern == QLatin1String("MM-dd-yyyy HH:mm:ss")) return toConfigText(d);
    if (pattern == QLatin1String("mm_dd_yyyy__hh_nn_ss")) return toLogFileStamp(d);
    if (pattern == QLatin1String("mm/dd/yyyy HH:nn")) return toMmDdYyyyHhNnSs(d).left(16);
    if (pattern == QLatin1String("hh:mm:ss")) return toMmDdYyyyHhNnSs(d).mid(11);
    return toGeneralDate(d);
}

bool parse(const QString& text, double& out) {
    Cursor c{text};
    c.blanks();
    int a = 0, b = 0, y = 0, mo = 0, dd = 0, h = 0, mi = 0, s = 0, ms = 0;
    int start = c.i;
    QChar sep;
    if (c.digits(4, 4, a) && c.oneOf("-/", sep)) {
        // yyyy-MM-dd or yyyy/MM/dd, optionally followed by a time
        y = a;
        if (!c.digits(1, 2, mo) || !c.ch(sep) || !c.digits(1, 2, dd)) return false;
        if (!validDate(y, mo, dd)) return false;
        if (!c.end() && (c.s[c.i] == QLatin1Char('T') || c.s[c.i].isSpace())) {
            ++c.i;
            c.blanks();
            if (!c.end() && !parseTime(c, h, mi, s, ms)) return false;
        }
    } else {
        c.i = start;
        if (c.digits(1, 2, a) && c.oneOf("-/", sep)) {
            mo = a;
            if (!c.digits(1, 2, b) || !c.ch(sep) || !c.digits(4, 4, y)) return false;
            dd = b;
            if (!validDate(y, mo, dd)) return false;
            c.blanks();
            if (!c.end() && !parseTime(c, h, mi, s, ms)) return false;
        } else {
            c.i = start;
            if (!parseTime(c, h, mi, s, ms)) return false;
            c.blanks();
            if (!c.end()) return false;
            out = fromMs(((h * 60LL + mi) * 60LL + s) * 1000LL + ms);
            return true;
        }
    }
    c.blanks();
    if (!c.end()) return false;
    out = fromParts(y, mo, dd, h, mi, s, ms);
    return true;
}

} // namespace OleDate
