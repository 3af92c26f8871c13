#include "CommonFiles/foundation/Variant.h"

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/OleDate.h"

#include <cmath>
#include <limits>

namespace {

[[noreturn]] void typeMismatch() { throw AppError(AppError::TypeMismatch, QStringLiteral("Type mismatch")); }
[[noreturn]] void invalidNull() { throw AppError(AppError::InvalidUseOfNull, QStringLiteral("Invalid use of Null")); }
[[noreturn]] void overflow() { throw AppError(AppError::Overflow, QStringLiteral("Overflow")); }

std::int64_t toIntegerIn(const Variant& v, double lo, double hi) {
    double d = v.type() == Variant::Type::Integer ? static_cast<double>(v.toDouble()) : v.toDouble();
    if (std::isnan(d)) overflow();
    double r = Variant::roundHalfEven(d);
    if (r < lo || r > hi) overflow();
    return static_cast<std::int64_t>(r);
}

} // namespace

bool Variant::parseNumber(const QString& text, double& out) {
    const QChar* p = text.constData();
    const QChar* end = p + text.size();
    while (p < end && p->isSpace()) ++p;
    while (end > p && (end - 1)->isSpace()) --end;
    if (p == end) return false;
    const QChar* q = p;
    if (*q == QLatin1Char('+') || *q == QLatin1Char('-')) ++q;
    int intDigits = 0, fracDigits = 0;
    while (q < end && q->unicode() >= '0' && q->unicode() <= '9') ++q, ++intDigits;
    if (q < end && *q == QLatin1Char('.')) {
        ++q;
        while (q < end && q->unicode() >= '0' && q->unicode() <= '9') ++q, ++fracDigits;
    }
    if (intDigits + fracDigits == 0) return false;
    if (q < end && (*q == QLatin1Char('e') || *q == QLatin1Char('E'))) {
        ++q;
        if (q < end && (*q == QLatin1Char('+') || *q == QLatin1Char('-'))) ++q;
        int expDigits = 0;
        while (q < end && q->unicode() >= '0' && q->unicode() <= '9') ++q, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (q != end) return false;
    QByteArray ascii = QStringView(p, end).toLatin1();
    bool ok = false;
    double d = ascii.toDouble(&ok);
    if (!ok || !std::isfinite(d)) return false;
    out = d;
    return true;
}

bool Variant::isNumericText(const QString& text) {
    double ignored;
    return parseNumber(text, ignored);
}

double Variant::roundHalfEven(double x) { return std::nearbyint(x); } // default rounding mode: to even

QString Variant::numberText(double d) {
    if (d == 0.0) return QStringLiteral("0");
    QString s = QString::number(d, 'g', 15);
    s.replace(QLatin1Char('e'), QLatin1Char('E'));
    return s;
}

bool Variant::isNumeric() const {
    switch (type_) {
    case Type::Empty:
    case Type::Boolean:
    case Type::Integer:
    case Type::Double:
        return true;
    case Type::Text:
        return isNumericText(s_);
    default:
        return false;
    }
}

bool Variant::isDate() const {
    if (type_ == Type::Date) return true;
    if (type_ != Type::Text) return false;
    double ignored;
    return OleDate::parse(s_, ignored);
}

QString Variant::toText() const {
    switch (type_) {
    case Type::Empty:
    case Type::Null:
        return QString();
    case Type::Boolean:
        return i_ ? QStringLiteral("True") : QStringLiteral("False");
    case Type::Integer:
        return QString::number(i_);
    case Type::Double:
        return numberText(d_);
    case Type::Date:
        return OleDate::toGeneralDate(d_);
    case Type::Text:
        return s_;
    }
    return QString();
}

double Variant::toDouble() const {
    switch (type_) {
    case Type::Empty:
        return 0.0;
    case Type::Null:
        invalidNull();
    case Type::Boolean:
        return i_ ? -1.0 : 0.0;
    case Type::Integer:
        return static_cast<double>(i_);
    case Type::Double:
    case Type::Date:
        return d_;
    case Type::Text: {
        double d;
        if (!parseNumber(s_, d)) typeMismatch();
        return d;
    }
    }
    typeMismatch();
}

std::int16_t Variant::toInt16() const {
    if (type_ == Type::Integer) {
        if (i_ < std::numeric_limits<std::int16_t>::min() || i_ > std::numeric_limits<std::int16_t>::max()) overflow();
        return static_cast<std::int16_t>(i_);
    }
    return static_cast<std::int16_t>(toIntegerIn(*this, -32768.0, 32767.0));
}

std::int32_t Variant::toInt32() const {
    if (type_ == Type::Integer) {
        if (i_ < std::numeric_limits<std::int32_t>::min() || i_ > std::numeric_limits<std::int32_t>::max()) overflow();
        return static_cast<std::int32_t>(i_);
    }
    return static_cast<std::int32_t>(toIntegerIn(*this, -2147483648.0, 2147483647.0));
}

bool Variant::toBool() const {
    switch (type_) {
    case Type::Empty:
        return false;
    case Type::Null:
        invalidNull();
    case Type::Boolean:
    case Type::Integer:
        return i_ != 0;
    case Type::Double:
    case Type::Date:
        return d_ != 0.0;
    case Type::Text: {
        QString t = s_.trimmed();
        if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0) return true;
        if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0) return false;
        double d;
        if (parseNumber(t, d)) return d != 0.0;
        typeMismatch();
    }
    }
    typeMismatch();
}

double Variant::toDate() const {
    switch (type_) {
    case Type::Empty:
        return 0.0;
    case Type::Null:
        invalidNull();
    case Type::Date:
    case Type::Double:
        return d_;
    case Type::Integer:
        return static_cast<double>(i_);
    case Type::Boolean:
        return i_ ? -1.0 : 0.0;
    case Type::Text: {
        double d;
        if (OleDate::parse(s_, d)) return d;
        if (parseNumber(s_, d)) return d;
        typeMismatch();
    }
    }
    typeMismatch();
}

bool Variant::operator==(const Variant& o) const {
    if (type_ != o.type_) return false;
    switch (type_) {
    case Type::Empty:
    case Type::Null:
        return true;
    case Type::Boolean:
    case Type::Integer:
        return i_ == o.i_;
    case Type::Double:
    case Type::Date:
        return d_ == o.d_;
    case Type::Text:
        return s_ == o.s_;
    }
    return false;
}
