#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <functional>

// Dates as the collector keeps them: days since 1899-12-30 00:00 as a double, the fraction being
// the time of day, local time unless a caller says UTC.
//
// Every computed instant is normalised to the nearest millisecond. Plain double sums drift by one
// unit in the last place, which would drop the slot whose window ends exactly at a range end, or a
// reading stamped exactly on a slot boundary; normalising after every step makes equal instants
// compare equal.
namespace OleDate {

constexpr double MsPerDay = 86400000.0;

// The instant rounded to the millisecond.
double normalize(double d);
// Milliseconds since the epoch of the day count (for exact comparisons and keys).
std::int64_t toMs(double d);
double fromMs(std::int64_t ms);

double fromParts(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int msec = 0);
// Splits a (normalised) date into its calendar parts.
void toParts(double d, int& year, int& month, int& day, int& hour, int& minute, int& second, int& msec);

double fromDateTime(const QDateTime& dt); // the wall-clock reading of dt, in dt's own zone
QDateTime toDateTime(double d);           // local time
double now();                             // local wall clock

double addMinutes(double d, double minutes);
double addSeconds(double d, double seconds);
double addDays(double d, double days);

double datePart(double d); // midnight of the day
int year(double d);
int month(double d);
int day(double d);
int hour(double d);
int minute(double d);
int second(double d);
int weekday(double d); // 1 = Sunday .. 7 = Saturday

// Fixed formats. Patterns use the classic letters: yyyy, mm (month; minutes after h/H), dd, hh/HH
// (24-hour), nn (minutes), ss. Supported exactly: the forms the collector prints.
QString format(double d, const QString& pattern);
QString toMmDdYyyyHhNnSs(double d);  // "mm/dd/yyyy HH:nn:ss", activity lines
QString toConfigText(double d);      // "MM-dd-yyyy HH:mm:ss", configuration texts
QString toLogFileStamp(double d);    // "mm_dd_yyyy__hh_nn_ss", log file names
QString toGeneralDate(double d);     // "MM/dd/yyyy HH:mm:ss"; time left out at midnight, date at day 0
QString toIsoMs(double d);           // "yyyy-MM-dd HH:mm:ss.zzz", the SQLite text form

// Accepts the general date and configuration forms (month first, "/" or "-"), ISO 8601
// ("yyyy-MM-dd[ T]HH:mm[:ss[.zzz]]"), "yyyy/MM/dd HH:mm:ss", and a bare time of day.
bool parse(const QString& text, double& out);

// Tests and tools replace the wall clock; an empty function restores it.
void setClockSource(std::function<double()> source);

} // namespace OleDate
