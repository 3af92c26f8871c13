#pragma once

#include <QString>

#include <cstdint>

// What a target variable's type code says about it. The code is a text from the target holding
// one interval marker ("PCT" daily, "4GE" 4-hourly, "HNB" hourly, "3WQ" 30-minute, "FVX"
// 15-minute, "5YR" 5-minute, "1SA" 1-minute, "908" seconds) and one kind marker ("P4H3F519"
// parameter, "TEBQXRA8" text parameter, "CGNWVYS0" calculated), found by case-sensitive substring
// search. A code with no interval marker is treated as daily.
//
// Where a code carries several interval markers, each derivation takes the first match in its own
// order, and the orders differ: interval name PCT 4GE HNB 3WQ FVX 5YR 1SA 908; data table and
// intervals per day HNB FVX 1SA 5YR 3WQ 4GE PCT 908; slot alignment 4GE PCT HNB 3WQ FVX 5YR 1SA 908.
namespace VarTypeFunctions {

bool IsDaily(const QString& code);
bool Is4Hourly(const QString& code);
bool IsHourly(const QString& code);
bool Is30Minute(const QString& code);
bool Is15Minute(const QString& code);
bool Is5Minute(const QString& code);
bool Is1Minute(const QString& code);
bool IsSeconds(const QString& code);

bool IsParameter(const QString& code);
bool IsTextParameter(const QString& code);
bool IsCalculated(const QString& code);

QString VarKindName(const QString& code);   // "Parameter", "Text Parameter", "Calculated"
QString IntervalName(const QString& code);  // "Day", "4 Hours", "Hour", ..., "Second"
QString DataTableName(const QString& code); // "DATATBL", "DATADD4", "DATADDH", ..., "DATADDX"
// 1, 6, 24, 48, 96, 288 or 1440. The seconds family's 86400 intervals do not fit the 16-bit
// result and no slot manager cuts seconds slots, so it answers 0, "unsupported": validation
// rejects such a variable instead of importing it wrongly.
std::int16_t IntervalsPerDay(const QString& code);

// The start of the interval that holds the date (normalised to the millisecond).
double AlignToSlot(double date, const QString& code);
// As AlignToSlot for sub-daily codes; a daily code's midnight moves back by the offset minutes,
// and a code without interval marker's midnight moves forward by them.
double AlignToSlotTZ(double date, const QString& code, double offsetMinutes);

} // namespace VarTypeFunctions
