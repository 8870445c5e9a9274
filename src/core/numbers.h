#pragma once

#include <QLocale>
#include <QString>

#include <optional>

namespace trq {

// Numeric format patterns: "0" a digit always written, "#" a digit written
// when significant, "." the decimal separator, anything else literal.
// Rounds half away from zero; uses the locale's decimal separator.
QString formatNumber(double value, const QString& pattern, const QLocale& locale = QLocale());
// The value's default text: up to 15 significant digits, no trailing zeros.
QString generalNumber(double value, const QLocale& locale = QLocale());
// A number as the instrument or the database wrote it ("12.340", "-0.5"),
// shown with the user's decimal mark; its digits stay as they are. Anything
// that is no such number is shown unchanged.
QString shownNumber(const QString& text, const QLocale& locale = QLocale());
// A value for the user to read: up to `significant` digits, the user's
// decimal mark, no thousands marks.
QString shownNumber(double value, int significant, const QLocale& locale = QLocale());
// A value as an instrument reads it: the pattern's rendering (the general
// text when the pattern is empty), always with a decimal point whatever the
// user's locale.
QString wireNumber(double value, const QString& pattern);

// A reply that reads as a number, or nothing (empty, letters, garbage).
std::optional<double> parseNumber(const QString& text);
// The leading numeric part of a text ("12.000V" is 12); nothing when there
// is none.
std::optional<double> leadingValue(const QString& text);
// The same, 0 when there is none.
double leadingNumber(const QString& text);
// Rounds to the nearest integer, halves to the even neighbour.
int roundHalfEven(double value);

} // namespace trq
