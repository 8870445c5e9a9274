#include "automation/scpi.h"

#include <QLocale>

#include <cmath>

namespace trq::scpi {

QString errorText(Error error, const QString& detail) {
    const char* text = "No error";
    switch (error) {
    case Error::None:
        break;
    case Error::Command:
        text = "Command error";
        break;
    case Error::Syntax:
        text = "Syntax error";
        break;
    case Error::DataType:
        text = "Data type error";
        break;
    case Error::ParameterNotAllowed:
        text = "Parameter not allowed";
        break;
    case Error::MissingParameter:
        text = "Missing parameter";
        break;
    case Error::UndefinedHeader:
        text = "Undefined header";
        break;
    case Error::HeaderSuffixOutOfRange:
        text = "Header suffix out of range";
        break;
    case Error::SettingsConflict:
        text = "Settings conflict";
        break;
    case Error::DataOutOfRange:
        text = "Data out of range";
        break;
    case Error::HardwareMissing:
        text = "Hardware missing";
        break;
    case Error::DeviceSpecific:
        text = "Device-specific error";
        break;
    case Error::QueueOverflow:
        text = "Queue overflow";
        break;
    case Error::InputBufferOverrun:
        text = "Input buffer overrun";
        break;
    }
    QString message = QLatin1String(text);
    if (!detail.isEmpty())
        message += QLatin1Char(';') + detail;
    message.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QString::number(int(error)) + QStringLiteral(",\"") + message + QLatin1Char('"');
}

namespace {

// Splits a unit's text into its header and parameters; false on a syntax
// error.
bool parseUnit(const QString& text, Unit* unit) {
    const QString trimmed = text.trimmed();
    qsizetype space = 0;
    while (space < trimmed.size() && !trimmed.at(space).isSpace())
        ++space;
    QString header = trimmed.left(space);
    if (header.endsWith(QLatin1Char('?'))) {
        unit->query = true;
        header.chop(1);
    }
    if (header.startsWith(QLatin1Char(':')))
        header.remove(0, 1);
    if (header.isEmpty() || header.contains(QLatin1Char('?')) ||
        header.contains(QLatin1String("::")) || header.endsWith(QLatin1Char(':')))
        return false;
    for (const QChar c : std::as_const(header))
        if (!(c.isLetterOrNumber() || c == QLatin1Char(':') || c == QLatin1Char('*') ||
              c == QLatin1Char('_')) ||
            c.unicode() > 0x7e)
            return false;
    unit->header = header;
    const QString rest = trimmed.mid(space).trimmed();
    if (rest.isEmpty())
        return true;
    // Parameters are separated by commas outside quotes.
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QChar c = rest.at(i);
        if (c == QLatin1Char('"')) {
            if (quoted && i + 1 < rest.size() && rest.at(i + 1) == QLatin1Char('"')) {
                current += c; // a doubled quote inside a string
                ++i;
            } else {
                quoted = !quoted;
            }
        } else if (c == QLatin1Char(',') && !quoted) {
            unit->parameters << current.trimmed();
            current.clear();
        } else {
            current += c;
        }
    }
    unit->parameters << current.trimmed();
    for (const QString& p : std::as_const(unit->parameters))
        if (p.isEmpty())
            return false;
    return true;
}

} // namespace

Line parseLine(const QByteArray& bytes) {
    Line line;
    const QString text = QString::fromLatin1(bytes);
    QString current;
    bool quoted = false;
    QStringList pieces;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        if (c == QLatin1Char(';') && !quoted) {
            pieces << current;
            current.clear();
        } else {
            current += c;
        }
    }
    pieces << current;
    if (quoted) {
        line.error = Error::Syntax;
        return line;
    }
    for (const QString& piece : std::as_const(pieces)) {
        if (piece.trimmed().isEmpty())
            continue; // "A;;B" and a trailing ";" are harmless
        Unit unit;
        if (!parseUnit(piece, &unit)) {
            line.units.clear();
            line.error = Error::Syntax;
            return line;
        }
        line.units.push_back(unit);
    }
    return line;
}

Pattern::Pattern(const char* text) {
    QString pattern = QString::fromLatin1(text);
    if (pattern.startsWith(QLatin1Char('*'))) {
        common_ = true;
        nodes_.push_back({pattern.toUpper(), pattern.toUpper(), false, false});
        return;
    }
    // "[SOURce:]VOLTage#[:LEVel]": optional parts sit in brackets.
    bool optional = false;
    QString node;
    auto finish = [&] {
        if (node.isEmpty())
            return;
        Node n;
        n.suffix = node.endsWith(QLatin1Char('#'));
        if (n.suffix)
            node.chop(1);
        n.longForm = node.toUpper();
        for (const QChar c : std::as_const(node))
            if (c.isUpper() || c.isDigit())
                n.shortForm += c;
        n.optional = optional;
        nodes_.push_back(n);
        node.clear();
    };
    for (const QChar c : std::as_const(pattern)) {
        if (c == QLatin1Char('[')) {
            finish();
            optional = true;
        } else if (c == QLatin1Char(']')) {
            finish();
            optional = false;
        } else if (c == QLatin1Char(':')) {
            finish();
        } else {
            node += c;
        }
    }
    finish();
}

bool Pattern::matchNode(const Node& node, const QString& input, int* channel) {
    qsizetype digits = input.size();
    while (digits > 0 && input.at(digits - 1).isDigit())
        --digits;
    const QString word = input.left(digits).toUpper();
    if (word != node.shortForm && word != node.longForm)
        return false;
    if (digits == input.size())
        return true;
    if (!node.suffix)
        return false;
    bool ok = false;
    const int named = input.mid(digits).toInt(&ok);
    // A second designation must name the same channel as the first.
    if (!ok || named < 1 || (*channel != 0 && *channel != named))
        *channel = kBadChannel;
    else
        *channel = named;
    return true;
}

bool Pattern::matchFrom(std::size_t node, const QStringList& input, qsizetype at,
                        int* channel) const {
    if (node == nodes_.size())
        return at == input.size();
    const Node& n = nodes_[node];
    if (n.optional && matchFrom(node + 1, input, at, channel))
        return true;
    int suffix = *channel;
    if (at < input.size() && matchNode(n, input.at(at), &suffix) &&
        matchFrom(node + 1, input, at + 1, &suffix)) {
        *channel = suffix;
        return true;
    }
    return false;
}

std::optional<int> Pattern::match(const QString& header) const {
    if (common_)
        return header.toUpper() == nodes_.front().longForm ? std::optional<int>(0) : std::nullopt;
    QStringList input = header.split(QLatin1Char(':'));
    int channel = 0;
    // A leading "CHANnel<n>" names the channel for the rest.
    static const Node kChannel{QStringLiteral("CHAN"), QStringLiteral("CHANNEL"), false, true};
    if (input.size() > 1 && matchNode(kChannel, input.front(), &channel) && channel != 0)
        input.removeFirst();
    else
        channel = 0;
    if (!matchFrom(0, input, 0, &channel))
        return std::nullopt;
    return channel;
}

std::optional<double> number(const QString& text) {
    bool ok = false;
    const double v = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<bool> boolean(const QString& text) {
    const QString t = text.trimmed().toUpper();
    if (t == QLatin1String("ON") || t == QLatin1String("1"))
        return true;
    if (t == QLatin1String("OFF") || t == QLatin1String("0"))
        return false;
    return std::nullopt;
}

QByteArray block(const QByteArray& bytes) {
    const QByteArray length = QByteArray::number(bytes.size());
    return '#' + QByteArray::number(length.size()) + length + bytes;
}

} // namespace trq::scpi
