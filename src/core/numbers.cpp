#include "core/numbers.h"

#include <QRegularExpression>

#include <cmath>

namespace trq {

QString formatNumber(double value, const QString& pattern, const QLocale& locale) {
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    const QString intPart = point < 0 ? pattern : pattern.left(point);
    const QString fracPart = point < 0 ? QString() : pattern.mid(point + 1);
    auto count = [](const QString& s, QChar c) { return int(s.count(c)); };
    const int minInt = count(intPart, QLatin1Char('0'));
    const int minFrac = count(fracPart, QLatin1Char('0'));
    const int maxFrac = minFrac + count(fracPart, QLatin1Char('#'));

    // Round half away from zero at maxFrac decimals, on the decimal text.
    const double scale = std::pow(10.0, maxFrac);
    double rounded = std::round(std::abs(value) * scale) / scale;
    QString digits = QString::number(rounded, 'f', maxFrac);
    QString whole = digits.section(QLatin1Char('.'), 0, 0);
    QString frac = digits.section(QLatin1Char('.'), 1, 1);
    while (frac.size() > minFrac && frac.endsWith(QLatin1Char('0')))
        frac.chop(1);
    if (whole == QLatin1String("0") && minInt == 0)
        whole.clear();
    while (whole.size() < minInt)
        whole.prepend(QLatin1Char('0'));

    QString out;
    if (value < 0 && rounded != 0)
        out += locale.negativeSign();
    // Literal text before the first digit placeholder is kept in place.
    const qsizetype firstDigit = pattern.indexOf(QRegularExpression(QStringLiteral("[0#.]")));
    if (firstDigit > 0)
        out += pattern.left(firstDigit);
    out += whole;
    if (point >= 0)
        out += locale.decimalPoint() + frac;
    return out;
}

QString generalNumber(double value, const QLocale& locale) {
    return shownNumber(value, 15, locale);
}

QString shownNumber(const QString& text, const QLocale& locale) {
    const QString mark = locale.decimalPoint();
    if (mark == QLatin1String(".") || !parseNumber(text))
        return text;
    QString shown = text;
    shown.replace(QLatin1Char('.'), mark);
    return shown;
}

QString shownNumber(double value, int significant, const QLocale& locale) {
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'g', significant);
}

std::optional<double> parseNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<double> leadingValue(const QString& text) {
    // Most texts are plain numbers: read them without the expression, which
    // costs a microsecond a value when a long recording is redrawn.
    bool plain = false;
    const double value = text.toDouble(&plain);
    if (plain && std::isfinite(value))
        return value;
    static const QRegularExpression number(
        QStringLiteral("^\\s*[-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?"));
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const double leading = m.captured().trimmed().toDouble();
    return std::isfinite(leading) ? std::optional<double>(leading) : std::nullopt;
}

double leadingNumber(const QString& text) {
    return leadingValue(text).value_or(0.0);
}

QString wireNumber(double value, const QString& pattern) {
    return pattern.isEmpty() ? generalNumber(value, QLocale::c())
                             : formatNumber(value, pattern, QLocale::c());
}

int roundHalfEven(double value) {
    return int(std::nearbyint(value)); // the default rounding mode: to nearest, ties to even
}

} // namespace trq
