#pragma once

#include <QString>

#include <cstdint>

namespace ado {

// Small scanners over SQL text that respect quotes and comments. Internal to the database layer.
namespace SqlText {

// Replaces each '?' placeholder outside literals, quoted names and comments by $1, $2, ...;
// count receives the number of placeholders.
QString numberPlaceholders(const QString& sql, int& count);

// The table of a single-table SELECT ("SELECT * FROM FILES WHERE ..." → FILES, quotes kept as
// written: "USER" stays quoted). Empty when the FROM clause names more than one table, a join or
// a subquery.
QString singleTable(const QString& sql);

// A name that may be pasted into SQL: letters, digits, '_' and '$', optionally schema-qualified
// with '.', or one double-quoted name without quotes inside.
bool isSafeIdentifier(const QString& name);

// True when the text holds more than one statement (a ';' outside quotes followed by more text).
bool isScript(const QString& sql);

// True when the text mentions the word (case-insensitive, as a whole word).
bool mentions(const QString& sql, const QString& word);

} // namespace SqlText

// Timestamps in the text form "yyyy-MM-dd[ T]HH:mm:ss[.fraction][zone]", read without
// QDateTime (it is far too slow for every row). Zone suffixes are ignored: values are local.
namespace TimestampText {
bool parse(const char* text, int length, double& oleDate);
bool parse(const QString& text, double& oleDate);
QString format(double oleDate); // OleDate::toIsoMs
// The same text written into out (23 characters, no terminator); returns 23.
int formatTo(double oleDate, char* out);
QByteArray formatLatin1(double oleDate);
} // namespace TimestampText

// TimestampText::parse for the rows of one result read in turn: consecutive stamps mostly share
// their day, whose day number is kept instead of worked out again for every row.
class TimestampReader {
public:
    bool parse(const char* text, int length, double& oleDate);

private:
    char day_[10] = {};
    std::int64_t dayMs_ = 0;
    bool haveDay_ = false;
};

} // namespace ado
