#include "session/limitwatch.h"

#include "session/delivered.h"
#include "session/supplystate.h"

namespace trq {

LimitWatch::LimitWatch(const SupplyState& state, const DeliveredEnergy& energy, QObject* parent)
    : QObject(parent), state_(state), energy_(energy) {}

void LimitWatch::take(int ch, Quantity quantity, const Reading& reading, qint64 msec) {
    // With the output off there is nothing to watch.
    if (!state_.outputOn())
        return;
    if (const std::optional<double> value = reading.value())
        check(ch, quantity, *value, msec);
    if (quantity != Quantity::Current || ch >= state_.channelCount() ||
        ch >= energy_.channelCount())
        return;
    const ChannelState& c = state_.channel(ch);
    // A trip above may have switched the output off already.
    const std::optional<double> watts = power(c.voltage, c.current);
    if (watts && state_.outputOn()) {
        check(ch, Quantity::Power, *watts, msec);
        check(ch, Quantity::Charge, energy_.channel(ch).charge(), msec);
        check(ch, Quantity::Energy, energy_.channel(ch).energy(), msec);
    }
}

void LimitWatch::check(int ch, Quantity quantity, double value, qint64 msec) {
    for (const LimitTrip& trip : monitor_.check(ch + 1, quantity, value, msec))
        emit tripped(trip);
}

} // namespace trq
