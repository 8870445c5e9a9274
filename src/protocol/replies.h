#pragma once

#include <QString>

#include <optional>

namespace trq {

// How the channels of a supply work together.
enum class Coupling { Independent = 0, Tracking = 1, Parallel = 2 };
// Its short word for scripts and dashboards: "INDEP", "TRAC", "PAR".
const char* couplingWord(Coupling coupling);

// ":SYST:ERR?": an error-queue answer is a whole number, a comma and a text.
// Only such an answer with a number other than 0 is an instrument error;
// anything else (line noise, a stray reply) is no answer at all.
enum class ErrorReply { NoError, Error, Unreadable };
ErrorReply readErrorReply(const QString& reply);

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

// A reply without its trailing unit letter ("12.000V" -> "12.000").
QString withoutUnit(QString text, QChar unit);

// The direct exchange's reading: a value and its unit letter, 2 to 7
// characters; the value without the letter, or nothing.
std::optional<QString> readingOf(const QString& reply, QChar unit);

} // namespace trq
