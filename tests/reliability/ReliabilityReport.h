#pragma once

#include <QString>

// The reliability figures a test run contributes to the summary of tools/reliability. Each call
// appends one line "name handled total" to the file named by $K48213_RELIABILITY_REPORT; the tool
// adds the lines of every run up. Without the variable nothing is written, so ctest runs leave
// no trace.
namespace reliability {

// True when $K48213_RELIABILITY_FULL is set: the soak of tools/reliability, where tests widen their
// tables (every truncation offset, every call of an import, more kills).
bool fullMode();

void reportFigure(const QString& name, long long handled, long long total);

} // namespace reliability
