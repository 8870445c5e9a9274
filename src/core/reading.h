#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace trq {

// One measured value as the supply sent it: the text (shown and stored as it
// came) and its number, read once, where the reply arrives. Every user of a
// reading takes the number from here, so no two of them can read the same
// reply differently.
class Reading {
public:
    Reading() = default;
    explicit Reading(QString text);

    const QString& text() const { return text_; }
    // Nothing when empty or when the text holds no number.
    std::optional<double> value() const { return value_; }
    bool isEmpty() const { return text_.isEmpty(); }
    void clear() { *this = Reading(); }
    bool operator==(const Reading&) const = default;

private:
    QString text_;
    std::optional<double> value_;
};

// The power of a voltage and a current reading; nothing unless both have a
// number.
inline std::optional<double> power(const Reading& voltage, const Reading& current) {
    if (!voltage.value() || !current.value())
        return std::nullopt;
    return *voltage.value() * *current.value();
}

} // namespace trq
