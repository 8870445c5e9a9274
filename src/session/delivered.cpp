#include "session/delivered.h"

#include "session/supplystate.h"

namespace trq {

DeliveredEnergy::DeliveredEnergy(const SupplyState& state, QObject* parent)
    : QObject(parent), state_(state) {}

void DeliveredEnergy::setUp(int channels, qint64 longestStepMsec) {
    counters_.assign(std::size_t(std::max(channels, 0)), EnergyCounter(longestStepMsec));
}

void DeliveredEnergy::take(int ch, Quantity quantity, const Reading&, qint64 msec) {
    if (quantity != Quantity::Current || ch < 0 || ch >= channelCount() ||
        ch >= state_.channelCount() || !state_.outputOn())
        return;
    // The channel's readings as kept: a channel that follows another in
    // parallel has none of its own, and delivers nothing.
    const ChannelState& c = state_.channel(ch);
    if (!power(c.voltage, c.current))
        return;
    counters_[std::size_t(ch)].add(msec, *c.voltage.value(), *c.current.value());
    emit deliveredChanged(ch);
}

void DeliveredEnergy::interrupt() {
    for (EnergyCounter& c : counters_)
        c.interrupt();
}

void DeliveredEnergy::reset() {
    for (int i = 0; i < channelCount(); ++i) {
        counters_[std::size_t(i)].reset();
        emit deliveredChanged(i);
    }
}

} // namespace trq
