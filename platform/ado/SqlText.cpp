#include "platform/ado/SqlText.h"

#include "CommonFiles/foundation/OleDate.h"

#include <QRegularExpression>

#include <cmath>
#include <cstring>

namespace ado {

namespace {

// Skips a literal, quoted name or comment starting at i; returns the index after it, or i when
// nothing is skipped.
int skipQuoted(const QString& s, int i) {
    const int n = int(s.size());
    const QChar c = s[i];
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
        const QChar close = c == '[' ? QChar(']') : c;
        int j = i + 1;
        while (j < n) {
            if (s[j] == close) {
                if (j + 1 < n && s[j + 1] == close && close != ']') {
                    j += 2;
                    continue;
                }
                return j + 1;
            }
            ++j;
        }
        return n;
    }
    if (c == '-' && i + 1 < n && s[i + 1] == '-') {
        int j = int(s.indexOf('\n', i));
        return j < 0 ? n : j + 1;
    }
    if (c == '/' && i + 1 < n && s[i + 1] == '*') {
        int j = int(s.indexOf("*/", i + 2));
        return j < 0 ? n : j + 2;
    }
    return i;
}

} // namespace

QString SqlText::numberPlaceholders(const QString& sql, int& count) {
    count = 0;
    if (!sql.contains('?')) return sql;
    QString out;
    out.reserve(sql.size() + 16);
    const int n = int(sql.size());
    int i = 0;
    while (i < n) {
        const int after = skipQuoted(sql, i);
        if (after != i) {
            out += QStringView(sql).mid(i, after - i);
            i = after;
            continue;
        }
        if (sql[i] == '?') {
            out += '$' + QString::number(++count);
        } else {
            out += sql[i];
        }
        ++i;
    }
    return out;
}

QString SqlText::singleTable(const QString& sql) {
    // Blank out literals and comments so keywords inside them do not count.
    QString s;
    s.reserve(sql.size());
    const int n = int(sql.size());
    for (int i = 0; i < n;) {
        const int after = skipQuoted(sql, i);
        if (after != i) {
            if (sql[i] == '"' || sql[i] == '[' || sql[i] == '`')
                s += QStringView(sql).mid(i, after - i); // quoted names stay
            else
                s += QString(after - i, ' ');
            i = after;
        } else {
            s += sql[i++];
        }
    }
    static const QRegularExpression fromRe(QStringLiteral("\\bfrom\\b"),
                                           QRegularExpression::CaseInsensitiveOption);
    const auto m = fromRe.match(s);
    if (!m.hasMatch()) return {};
    QString rest = s.mid(m.capturedEnd()).trimmed();
    static const QRegularExpression endRe(
        QStringLiteral("\\b(where|order|group|having|limit|union|for|fetch|offset)\\b"),
        QRegularExpression::CaseInsensitiveOption);
    const auto e = endRe.match(rest);
    if (e.hasMatch()) rest = rest.left(e.capturedStart());
    rest = rest.trimmed();
    while (rest.endsWith(';'))
        rest.chop(1);
    rest = rest.trimmed();
    if (rest.contains(',') || rest.contains('(') || mentions(rest, QStringLiteral("join"))) return {};
    // Allow "TABLE alias" / "TABLE AS alias": the table is the first word.
    static const QRegularExpression space_(QStringLiteral("\\s"));
    const int space = int(rest.indexOf(space_));
    const QString table = space < 0 ? rest : rest.left(space);
    return isSafeIdentifier(table) ? table : QString();
}

bool SqlText::isSafeIdentifier(const QString& name) {
    static const QRegularExpression plain(
        QStringLiteral("^[A-Za-z_][A-Za-z0-9_$]*(\\.[A-Za-z_][A-Za-z0-9_$]*)?$"));
    static const QRegularExpression quoted(QStringLiteral("^\"[^\"]+\"$"));
    return plain.match(name).hasMatch() || quoted.match(name).hasMatch();
}

bool SqlText::isScript(const QString& sql) {
    const int n = int(sql.size());
    bool sawSemicolon = false;
    for (int i = 0; i < n;) {
        const int after = skipQuoted(sql, i);
        if (after != i) {
            if (sawSemicolon && (sql[i] == '\'' || sql[i] == '"')) return true;
            i = after;
            continue;
        }
        if (sql[i] == ';')
            sawSemicolon = true;
        else if (sawSemicolon && !sql[i].isSpace())
            return true;
        ++i;
    }
    return false;
}

bool SqlText::mentions(const QString& sql, const QString& word) {
    // Runs before every statement, so no regular expression: a plain search, then a look at the
    // characters on either side of each hit.
    if (word.isEmpty()) return false;
    const auto isWordChar = [](QChar c) { return c.isLetterOrNumber() || c == u'_'; };
    for (qsizetype at = sql.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
         at = sql.indexOf(word, at + 1, Qt::CaseInsensitive)) {
        const qsizetype end = at + word.size();
        const bool startsWord = at == 0 || !isWordChar(sql.at(at - 1)) || !isWordChar(word.front());
        const bool endsWord = end == sql.size() || !isWordChar(sql.at(end)) || !isWordChar(word.back());
        if (startsWord && endsWord) return true;
    }
    return false;
}

namespace {
inline bool digits(const char* p, int count, int& out) {
    int v = 0;
    for (int i = 0; i < count; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        v = v * 10 + (p[i] - '0');
    }
    out = v;
    return true;
}
} // namespace

namespace {

// "yyyy-MM-dd", the least a stamp holds.
bool parseDay(const char* t, int len, int& y, int& mo, int& d) {
    return len >= 10 && digits(t, 4, y) && t[4] == '-' && digits(t + 5, 2, mo) && t[7] == '-' &&
           digits(t + 8, 2, d) && mo >= 1 && mo <= 12 && d >= 1 && d <= 31;
}

// What follows the day: "[ T]HH:mm[:ss[.fraction]][zone]", all optional; ms since midnight.
bool parseTimeOfDay(const char* t, int len, std::int64_t& msOfDay) {
    int h = 0, mi = 0, s = 0, ms = 0;
    int i = 10;
    if (i < len && (t[i] == ' ' || t[i] == 'T')) {
        if (len < i + 6 || !digits(t + i + 1, 2, h) || t[i + 3] != ':' || !digits(t + i + 4, 2, mi))
            return false;
        i += 6;
        if (i < len && t[i] == ':') {
            if (len < i + 3 || !digits(t + i + 1, 2, s)) return false;
            i += 3;
            if (i < len && (t[i] == '.' || t[i] == ',')) {
                // Milliseconds from the first three digits, rounded half up on the fourth.
                ++i;
                int digitsRead = 0;
                for (; i < len && t[i] >= '0' && t[i] <= '9'; ++i, ++digitsRead) {
                    if (digitsRead < 3)
                        ms = ms * 10 + (t[i] - '0');
                    else if (digitsRead == 3 && t[i] >= '5')
                        ++ms;
                }
                for (int k = digitsRead; k < 3; ++k)
                    ms *= 10;
            }
        }
    }
    // The rest may be a zone ("+01", "Z", "+05:30"): the value is the wall-clock reading.
    if (i < len && !(t[i] == '+' || t[i] == '-' || t[i] == 'Z' || t[i] == ' ')) return false;
    if (h > 23 || mi > 59 || s > 60) return false;
    msOfDay = ((h * 60LL + mi) * 60LL + s) * 1000LL + ms;
    return true;
}

} // namespace

bool TimestampText::parse(const char* t, int len, double& oleDate) {
    int y, mo, d;
    std::int64_t msOfDay = 0;
    if (!parseDay(t, len, y, mo, d) || !parseTimeOfDay(t, len, msOfDay)) return false;
    oleDate = OleDate::fromParts(y, mo, d, 0, 0, 0, int(msOfDay));
    return true;
}

bool TimestampReader::parse(const char* t, int len, double& oleDate) {
    // "yyyy-MM-dd HH:mm:ss.zzz" on the day of the row before: the form the engines write, read
    // without the general scanner.
    if (len == 23 && haveDay_ && t[10] == ' ' && t[13] == ':' && t[16] == ':' && t[19] == '.' &&
        std::memcmp(t, day_, sizeof day_) == 0) {
        unsigned bad = 0;
        const auto digit = [&](int at) {
            const unsigned v = unsigned(t[at]) - unsigned('0');
            bad |= unsigned(v > 9);
            return int(v);
        };
        const int h = digit(11) * 10 + digit(12);
        const int mi = digit(14) * 10 + digit(15);
        const int s = digit(17) * 10 + digit(18);
        const int ms = digit(20) * 100 + digit(21) * 10 + digit(22);
        if (!bad && h <= 23 && mi <= 59 && s <= 60) {
            oleDate = OleDate::fromMs(dayMs_ + ((h * 60LL + mi) * 60LL + s) * 1000LL + ms);
            return true;
        }
    }
    std::int64_t msOfDay = 0;
    if (len < 10 || !parseTimeOfDay(t, len, msOfDay)) return false;
    if (!haveDay_ || std::memcmp(t, day_, sizeof day_) != 0) {
        int y, mo, d;
        if (!parseDay(t, len, y, mo, d)) return false;
        dayMs_ = OleDate::toMs(OleDate::fromParts(y, mo, d, 0, 0, 0, 0));
        std::memcpy(day_, t, sizeof day_);
        haveDay_ = true;
    }
    oleDate = OleDate::fromMs(dayMs_ + msOfDay);
    return true;
}

bool TimestampText::parse(const QString& text, double& oleDate) {
    const QByteArray b = text.toLatin1();
    return parse(b.constData(), int(b.size()), oleDate);
}

QString TimestampText::format(double oleDate) {
    return OleDate::toIsoMs(oleDate);
}

int TimestampText::formatTo(double oleDate, char* out) {
    int y, mo, d, h, mi, s, ms;
    OleDate::toParts(oleDate, y, mo, d, h, mi, s, ms);
    if (y < 0 || y > 9999) {
        const QByteArray t = OleDate::toIsoMs(oleDate).toLatin1().left(23);
        std::memcpy(out, t.constData(), size_t(t.size()));
        return int(t.size());
    }
    auto two = [](char* p, int v) {
        p[0] = char('0' + v / 10);
        p[1] = char('0' + v % 10);
    };
    two(out, y / 100);
    two(out + 2, y % 100);
    out[4] = '-';
    two(out + 5, mo);
    out[7] = '-';
    two(out + 8, d);
    out[10] = ' ';
    two(out + 11, h);
    out[13] = ':';
    two(out + 14, mi);
    out[16] = ':';
    two(out + 17, s);
    out[19] = '.';
    out[20] = char('0' + ms / 100);
    two(out + 21, ms % 100);
    return 23;
}

QByteArray TimestampText::formatLatin1(double oleDate) {
    char buf[32];
    const int n = formatTo(oleDate, buf);
    return QByteArray(buf, n);
}

} // namespace ado
