#pragma once

#include <QByteArray>
#include <QLocale>
#include <QString>

#include <array>
#include <optional>

namespace trq {

// The three command families, chosen from the machine type.
enum class CommandFamily { Legacy, Scpi1, Scpi3 };

// "TRQ" first, then "DNB", else the three-channel SCPI family; case-sensitive.
CommandFamily familyOf(const QString& machineType);

// The query texts of the family in use and the serial line end. Per-channel
// arrays are indexed by channel number minus one.
struct QueryTable {
    QString IdnQuery;
    std::array<QString, 4> MeasVoltQuery, MeasCurrQuery, SetVoltQuery, SetCurrQuery;
    std::array<QString, 3> OvpQuery, OcpQuery;
    QString OutputStateQuery, CouplingQuery, AutoStateQuery, AutoStartQuery, AutoEndQuery,
        AutoCycleQuery, AutoDelayQuery, MemoryQuery, ErrorQuery, StatusQuery;
    QByteArray LineEnd = "\n";
};

// Each builder writes only its family's fields; the others keep their text.
void BuildLegacyQueries(QueryTable& table);
void BuildScpi1Queries(QueryTable& table);
void BuildScpi3Queries(QueryTable& table);
void BuildQueries(QueryTable& table, const QString& machineType);

// Set commands, composed at the point of sending.
enum class SetCommand {
    Voltage,     // n, v
    Current,     // n, v
    OverVoltage, // n, v
    OverCurrent, // n, on
    OutputOn,
    OutputOff,
    Independent,
    Parallel, // sets
    Tracking, // sets
    ClearProtection,
    SaveMemory,   // m
    RecallMemory, // m
    AutoStart,    // m
    AutoEnd,      // m
    AutoCycle,    // count
    AutoDelay,    // delay in 100 ms
    AutoRunOn,
    AutoRunOff,
};

// The pattern of a set command in a family: "{n}" channel number, "{v}" value
// text, "{i}" integer argument. Empty when the family has no such command.
QString commandPattern(CommandFamily family, SetCommand command);

struct CommandArgs {
    int channel = 1;
    QString value;
    int number = 0;
};
QString composeCommand(CommandFamily family, SetCommand command, const CommandArgs& args);

// Numeric format patterns: "0" a digit always written, "#" a digit written
// when significant, "." the decimal separator, anything else literal.
// Rounds half away from zero; uses the locale's decimal separator.
QString formatNumber(double value, const QString& pattern, const QLocale& locale = QLocale());
// The value's default text: up to 15 significant digits, no trailing zeros.
QString generalNumber(double value, const QLocale& locale = QLocale());

// A reply that reads as a number, or nothing (empty, letters, garbage).
std::optional<double> parseNumber(const QString& text);
// The leading numeric part of a text; 0 when there is none.
double leadingNumber(const QString& text);

// A value as an instrument reads it: the pattern's rendering (the general
// text when the pattern is empty), always with a decimal point whatever the
// user's locale.
QString wireNumber(double value, const QString& pattern);

// ":SYST:ERR?": an error-queue answer is a whole number, a comma and a text.
// Only such an answer with a number other than 0 is an instrument error;
// anything else (line noise, a stray reply) is no answer at all.
enum class ErrorReply { NoError, Error, Unreadable };
ErrorReply readErrorReply(const QString& reply);

enum class Coupling { Independent = 0, Tracking = 1, Parallel = 2 };

// The legacy "STATUS?" reply read by position after blanks are removed. Only
// a reply of exactly eight flag digits is read; anything else is unreadable
// and changes nothing.
struct LegacyStatus {
    bool readable = false;
    std::optional<Coupling> coupling;
    std::optional<bool> output;
};
LegacyStatus decodeStatus(const QString& reply);

// The coupling query's reply: "0" independent, "2" parallel, else tracking.
Coupling couplingFromReply(const QString& reply);

} // namespace trq
