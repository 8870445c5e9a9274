#include "ui/numedit.h"

#include "core/numbers.h"

#include <algorithm>

namespace trq {

NumEdit::NumEdit(QWidget* parent) : QDoubleSpinBox(parent) {
    setDecimals(3);
    setKeyboardTracking(false);
    setAccelerated(true);
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    connect(this, &QDoubleSpinBox::valueChanged, this, [this](double v) {
        const double before = previous_;
        previous_ = v;
        emit valueChangedFrom(v, before);
    });
}

void NumEdit::setLimits(double minimum, double maximum) {
    floor_ = minimum;
    limit_ = maximum;
    const QSignalBlocker block(this);
    setRange(minimum, maximum);
}

void NumEdit::setValueQuietly(double value) {
    const QSignalBlocker block(this);
    setValue(value);
    previous_ = this->value();
}

void NumEdit::showReplied(double value) {
    const QSignalBlocker block(this);
    // Widen the shown range so a reply outside the limits is not clamped
    // (and never sent back clamped); the user still edits within them.
    setRange(std::min(floor_, value), std::max(limit_, value));
    setValue(value);
    previous_ = this->value();
}

void NumEdit::stepBy(int steps) {
    const double target = std::clamp(value() + steps * singleStep(), floor_, limit_);
    if (target != value())
        setValue(target);
}

QString NumEdit::textFromValue(double value) const {
    if (format_.isEmpty())
        return QDoubleSpinBox::textFromValue(value);
    QString text = formatNumber(value, format_, locale());
    if (text.startsWith(locale().decimalPoint()))
        text.prepend(QLatin1Char('0'));
    return text;
}

double NumEdit::valueFromText(const QString& text) const {
    bool ok = false;
    const double v = locale().toDouble(text.trimmed(), &ok);
    return ok ? v : value();
}

QValidator::State NumEdit::validate(QString& text, int&) const {
    const QString t = text.trimmed();
    if (t.isEmpty() || t == locale().decimalPoint())
        return QValidator::Intermediate;
    bool ok = false;
    const double v = locale().toDouble(t, &ok);
    if (!ok) {
        // Letters never get in; a half-typed number may.
        for (const QChar c : t)
            if (!c.isDigit() && c != locale().decimalPoint())
                return QValidator::Invalid;
        return QValidator::Intermediate;
    }
    if (v < floor_)
        return QValidator::Invalid;
    return v > limit_ ? QValidator::Intermediate : QValidator::Acceptable;
}

} // namespace trq
