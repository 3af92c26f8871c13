#pragma once

#include <QString>

#include <stdexcept>

// A numbered error, as the collector's components raise and report them ("number - description").
// Thrown only where a component is documented to raise; everything else returns its failure.
class AppError : public std::runtime_error {
public:
    AppError(int number, const QString& description)
        : std::runtime_error(description.toStdString()), number_(number), description_(description) {}

    int number() const { return number_; }
    const QString& description() const { return description_; }
    // "number - description", the form every failure line and error text uses.
    QString text() const { return QString::number(number_) + " - " + description_; }

    // The run-time error numbers the value conversions use.
    static constexpr int Overflow = 6;
    static constexpr int TypeMismatch = 13;
    static constexpr int InvalidUseOfNull = 94;
    static constexpr int InvalidArgument = 5;

private:
    int number_;
    QString description_;
};
