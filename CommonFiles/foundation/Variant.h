#pragma once

#include <QString>

#include <cstdint>

// The value every setting, field and reading travels as: Empty, Null, Boolean, integer, Double,
// Date (an OLE day count, see OleDate) or Text. Null means "no value" throughout the collector.
//
// Conversions follow the rules the collector's classes are written against: as text, Null and
// Empty become ""; integer conversions round halves to even and raise Overflow (6) outside the
// target range; Null raises InvalidUseOfNull (94) and non-numeric text TypeMismatch (13).
class Variant {
public:
    enum class Type { Empty, Null, Boolean, Integer, Double, Date, Text };

    Variant() = default;
    Variant(const Variant&) = default;
    Variant(Variant&&) noexcept = default;
    Variant& operator=(Variant&&) noexcept = default;
    // Only texts carry a string: Qt's out-of-line string assignment is skipped when neither side
    // holds one, which makes copying a number (every reading of every slot) a few moves.
    Variant& operator=(const Variant& other) {
        type_ = other.type_;
        i_ = other.i_;
        d_ = other.d_;
        if (!s_.isNull() || !other.s_.isNull()) s_ = other.s_;
        return *this;
    }
    Variant(bool v) : type_(Type::Boolean), i_(v ? 1 : 0) {}
    Variant(int v) : type_(Type::Integer), i_(v) {}
    Variant(std::int64_t v) : type_(Type::Integer), i_(v) {}
    Variant(double v) : type_(Type::Double), d_(v) {}
    Variant(const QString& v) : type_(Type::Text), s_(v) {}
    Variant(const char* v) : type_(Type::Text), s_(QString::fromUtf8(v)) {}

    static Variant null() {
        Variant v;
        v.type_ = Type::Null;
        return v;
    }
    static Variant fromDate(double oleDate) {
        Variant v;
        v.type_ = Type::Date;
        v.d_ = oleDate;
        return v;
    }

    Type type() const { return type_; }
    bool isEmpty() const { return type_ == Type::Empty; }
    bool isNull() const { return type_ == Type::Null; }
    bool isText() const { return type_ == Type::Text; }
    bool isDateType() const { return type_ == Type::Date; }
    bool isDouble() const { return type_ == Type::Double; }
    // The number of a Double, read without the conversion rules of toDouble.
    double doubleValue() const { return d_; }
    // IsNumeric: numbers, Booleans, Empty, and texts that hold a plain decimal number
    // (optional sign, digits with an optional point, optional exponent, blanks around).
    bool isNumeric() const;
    // IsDate: a date, or a text that OleDate::parse accepts.
    bool isDate() const;

    QString toText() const;
    double toDouble() const;
    std::int16_t toInt16() const;
    std::int32_t toInt32() const;
    bool toBool() const;
    double toDate() const;

    // Same type and same value (texts compare exactly).
    bool operator==(const Variant& other) const;
    bool operator!=(const Variant& other) const { return !(*this == other); }

    static bool isNumericText(const QString& text);
    // The number of a numeric text; false when isNumericText would say no.
    static bool parseNumber(const QString& text, double& out);
    // Nearest integer, an exact half going to the even neighbour (as a double).
    static double roundHalfEven(double x);
    // Text of a double: up to 15 significant digits, no trailing zeros.
    static QString numberText(double d);

private:
    Type type_ = Type::Empty;
    std::int64_t i_ = 0;
    double d_ = 0.0;
    QString s_;
};
