#pragma once

#include <QDoubleSpinBox>

namespace trq {

// A numeric edit with a display format pattern. It reports each change of
// its value with the value it had before, and only when the user has
// finished typing (Enter, focus change, or the up and down buttons).
class NumEdit : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit NumEdit(QWidget* parent = nullptr);

    void setFormat(const QString& pattern) { format_ = pattern; }
    // The range the user may set; a replied value may lie outside it.
    void setLimits(double minimum, double maximum);
    double lowest() const { return floor_; }
    double limit() const { return limit_; }
    // Sets the value without reporting a change.
    void setValueQuietly(double value);
    // Shows a value as the instrument replied it, unclamped and unsent.
    void showReplied(double value);
    const QString& format() const { return format_; }

    QString textFromValue(double value) const override;
    double valueFromText(const QString& text) const override;
    QValidator::State validate(QString& text, int& pos) const override;
    void stepBy(int steps) override;

signals:
    void valueChangedFrom(double value, double previous);

private:
    QString format_;
    double previous_ = 0;
    double floor_ = 0;
    double limit_ = 99.99;
};

} // namespace trq
