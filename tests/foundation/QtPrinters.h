#pragma once

#include <QString>

#include <ostream>

// Readable failure messages for Qt texts (lists print element by element through this).
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
