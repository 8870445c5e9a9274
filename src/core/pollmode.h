#pragma once

#include <QString>

#include <optional>

namespace trq {

// How the supply is polled. Specified: one poll step per 166 ms and one task
// per writer tick, as the supplies have always been driven. Fast: the next
// exchange goes out as soon as the previous one has ended, at the wire's pace.
enum class PollMode { Specified, Fast };

// The names the command line and the settings use: "specified", "fast".
QString pollModeName(PollMode mode);
std::optional<PollMode> pollModeNamed(const QString& name);

} // namespace trq
