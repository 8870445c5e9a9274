#include "core/pollmode.h"

namespace trq {

QString pollModeName(PollMode mode) {
    return mode == PollMode::Fast ? QStringLiteral("fast") : QStringLiteral("specified");
}

std::optional<PollMode> pollModeNamed(const QString& name) {
    for (const PollMode mode : {PollMode::Specified, PollMode::Fast})
        if (name == pollModeName(mode))
            return mode;
    return std::nullopt;
}

} // namespace trq
