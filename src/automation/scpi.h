#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace trq::scpi {

// SCPI-99 error numbers the server reports, with their standard texts.
enum class Error {
    None = 0,
    Command = -100,
    Syntax = -102,
    DataType = -104,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    HeaderSuffixOutOfRange = -114,
    SettingsConflict = -221,
    DataOutOfRange = -222,
    HardwareMissing = -241,
    DeviceSpecific = -300,
    QueueOverflow = -350,
    InputBufferOverrun = -363,
};

// The error queue's entry: "<number>,\"<text>[;<detail>]\"".
QString errorText(Error error, const QString& detail = {});

// One program message unit of a line: its header, whether it is a query,
// and its parameters (strings without their quotes).
struct Unit {
    QString header;
    bool query = false;
    QStringList parameters;
};

// A line split at the semicolons outside quoted strings. An unbalanced
// quote or an empty header is a syntax error for the whole line.
struct Line {
    std::vector<Unit> units;
    Error error = Error::None;
};
Line parseLine(const QByteArray& line);

// A command header pattern such as "[SOURce:]VOLTage#[:LEVel]": upper-case
// letters are the short form, brackets mark optional nodes, "#" a node that
// may carry a channel suffix ("VOLT2"). A leading "CHANnel<n>" node, or a
// suffix, names the channel; matching ignores case.
class Pattern {
public:
    // A header naming no channel that can exist: a zero, a number too long
    // to read, or two different channels ("CHAN2:VOLT3").
    static constexpr int kBadChannel = -1;

    explicit Pattern(const char* text);
    // The channel named in the header (0: none, kBadChannel), or nothing on
    // no match.
    std::optional<int> match(const QString& header) const;

private:
    struct Node {
        QString shortForm;
        QString longForm;
        bool optional = false;
        bool suffix = false;
    };
    bool matchFrom(std::size_t node, const QStringList& input, qsizetype at, int* channel) const;
    static bool matchNode(const Node& node, const QString& input, int* channel);
    std::vector<Node> nodes_;
    bool common_ = false;
};

// A decimal number ("5", "+1.25", "1e1"); nothing for anything else.
std::optional<double> number(const QString& text);
// "ON", "OFF", "1", "0"; nothing for anything else.
std::optional<bool> boolean(const QString& text);
// A definite-length block: "#<digits><length><bytes>".
QByteArray block(const QByteArray& bytes);

} // namespace trq::scpi
