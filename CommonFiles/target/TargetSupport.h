#pragma once

#include <QString>

// Helpers shared by the target access classes (internal to the target library).

// "number - description" of the exception being handled: an AppError (the database layer's
// AdoError included) gives its own number; any other failure is reported as number 0.
// Call only inside a catch block.
QString CurrentErrorText();

// The text without leading and trailing blanks (spaces only, as stored texts are padded).
QString TrimBlanks(const QString& text);

// The instant rounded to the nearest whole second.
double RoundToSecond(double date);
