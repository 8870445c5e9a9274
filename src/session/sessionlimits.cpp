// The limits the session watches on every reading.
#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"
#include "session/instrumentsession.h"
#include "session/recording.h"

#include <QTimer>

namespace trq {

void InstrumentSession::watchLimits(int ch, Quantity quantity, const Reading& reading,
                                    qint64 msec) {
    // With the output off there is nothing to watch.
    const std::optional<double> value = reading.value();
    if (value && state_.outputOn())
        checkLimits(ch, quantity, *value, msec);
    if (quantity != Quantity::Current || ch >= state_.channelCount())
        return;
    const ChannelState& c = state_.channel(ch);
    const std::optional<double> watts = power(c.voltage, c.current);
    if (watts && state_.outputOn()) {
        checkLimits(ch, Quantity::Power, *watts, msec);
        checkLimits(ch, Quantity::Charge, c.delivered.charge(), msec);
        checkLimits(ch, Quantity::Energy, c.delivered.energy(), msec);
    }
}

void InstrumentSession::checkLimits(int ch, Quantity quantity, double value, qint64 msec) {
    for (const LimitTrip& trip : limits_.check(ch + 1, quantity, value, msec))
        limitTrip(trip);
}

void InstrumentSession::limitTrip(const LimitTrip& trip) {
    const LimitRule& r = trip.rule;
    trace(QStringLiteral("Limit: CH%1 %2 %3 beyond %4, %5")
              .arg(r.channel)
              .arg(trip.value)
              .arg(unitOf(r.quantity))
              .arg(trip.bound)
              .arg(textOf(r.action)));
    // Kept with the recording before anything stops it.
    if (recording_ && recording_->engine().isRecording())
        recording_->addEvent(trip);
    // At once: the output-off is on the wire with the next writer tick, and
    // nothing waits for anyone to read a message.
    if (r.stopsOutput() && state_.outputOn())
        control_.setOutput(false);
    if (r.stopsRecording() && recording_)
        recording_->stop();
    emit limitTripped(trip);
}

void InstrumentSession::setLimitRules(std::vector<LimitRule> rules) {
    limits_.setRules(std::move(rules));
    emit limitsChanged();
}

void InstrumentSession::storeLimitRules(std::vector<LimitRule> rules) {
    if (!profile_)
        return;
    LimitMonitor::store(connection_.model(), connection_.serialNumber(), rules);
    setLimitRules(std::move(rules));
}

} // namespace trq
