// What the session does when a limit trips, and the rules it keeps.
#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"
#include "session/instrumentsession.h"
#include "session/recording.h"

#include <QTimer>

namespace trq {

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

void InstrumentSession::storeLimitRules(std::vector<LimitRule> rules) {
    if (!profile_)
        return;
    LimitMonitor::store(connection_.model(), connection_.serialNumber(), rules);
    limits_.monitor().setRules(std::move(rules));
    emit limitsChanged();
}

} // namespace trq
