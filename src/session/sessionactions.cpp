// What the user (or a script) can do with the supply on line.
#include "core/clock.h"
#include "core/numbers.h"
#include "session/instrumentsession.h"

#include <cmath>

namespace trq {

bool InstrumentSession::readingsCurrent() const {
    if (!profile_ || !poll_.isActive() || channelCount() == 0)
        return false;
    const qint64 now = qint64(link_.clock().nowSec() * 1000.0);
    // Two cycles: a queue that lags behind the poll a little is no silence.
    const qint64 longest = 2 * qint64(profile_->pollCycle.size()) * kPollMsec + 1000;
    return state_.allReadSince(now - longest);
}

ControlLocks InstrumentSession::locks() const {
    return controlLocks(profile_, {coupling(), autoRun(), couplingChoice_, setsEditable_});
}

void InstrumentSession::setOutput(bool on) {
    if (!isReady())
        return;
    if (on != outputOn() && !queryingInitial_) {
        // What was read before is of the other state: nothing of it counts
        // as a reading of this one.
        ++outputEpoch_;
        state_.forgetMeasured();
    }
    state_.setOutput(on);
    if (on) {
        // Switched on by hand: what tripped before has been seen.
        limits_.acknowledge();
        emit limitsChanged();
    }
    emit outputChanged(on);
    send(Operation::Output, {1, {}, on ? 1 : 0});
    checkOutput();
}

void InstrumentSession::toggleOutput() {
    setOutput(!outputOn());
}

void InstrumentSession::switchOutput(bool on) {
    setOutput(on);
    if (profile_ && profile_->outputSwitchBlanksFrom >= 0)
        state_.blankReadings(profile_->outputSwitchBlanksFrom, channelCount() - 1);
}

void InstrumentSession::checkOutput() {
    if (!isReady() || suspendOutput_)
        return;
    if (interfaceKind() == InterfaceKind::TestingMode) {
        state_.blankReadings(0, channelCount() - 1);
        return;
    }
    if (!connection_.talks())
        return;
    if (outputOn()) {
        poll_.start();
    } else {
        // Polling stops with the output, and no channel shows a reading;
        // nothing is integrated across the time it is off.
        state_.interruptDelivered();
        // Switched on again, a limit still crossed trips again.
        limits_.rearm();
        poll_.stop();
        link_.cancelQueuedQueries();
        state_.blankReadings(0, channelCount() - 1);
    }
}

void InstrumentSession::applyCoupling(Coupling mode) {
    if (!isReady())
        return;
    static constexpr Operation kCommand[] = {Operation::Independent, Operation::Tracking,
                                             Operation::Parallel};
    send(kCommand[int(mode)], {1, {}, sets()});
    // Polls queued before the change must not overwrite the displays after
    // it; during the initial query every answer is still wanted.
    if (!queryingInitial_)
        link_.cancelQueuedQueries();
    state_.setCoupling(mode);
    if (profile_)
        state_.blankReadings(0, profile_->couplingChangeBlanks - 1);
    emit couplingChanged(mode);
    emit locksChanged();
}

void InstrumentSession::chooseCoupling(Coupling mode, bool askFirst) {
    if (!profile_)
        return;
    if (profile_->followsStatus) {
        // Sent only when it changes; a change always ends with the output off.
        if (modeCode_ != int(mode)) {
            if (mode != Coupling::Independent)
                link_.cancelQueuedQueries();
            applyCoupling(mode);
            if (outputOn())
                switchOutput(false);
        }
        modeCode_ = int(mode);
        return;
    }
    if (!profile_->warnsBeforeCoupling) {
        applyCoupling(mode);
        return;
    }
    // The unit takes parallel and series as a number of sets, and 0 sets is
    // independent: a coupled choice goes out with one set at least, so the
    // panel never shows a coupling the unit was not told.
    auto atLeastOneSet = [this] {
        if (sets() < 1) {
            state_.setSets(1);
            emit setsChanged(sets());
        }
    };
    switch (mode) {
    case Coupling::Independent:
        applyCoupling(mode);
        setsEditable_ = false;
        break;
    case Coupling::Parallel: {
        // The first choice asks for the unit's own configuration afterwards.
        const bool firstChoice = warningPending_;
        if (firstChoice && !acceptWarning(askFirst))
            return;
        setsEditable_ = true;
        atLeastOneSet();
        applyCoupling(mode);
        if (firstChoice)
            ask({Operation::Sets, 0});
        break;
    }
    case Coupling::Tracking:
        if (!acceptWarning(askFirst))
            return;
        setsEditable_ = true;
        atLeastOneSet();
        applyCoupling(mode);
        break;
    }
    modeCode_ = int(mode);
    emit locksChanged();
}

void InstrumentSession::setSets(int sets) {
    if (sets == this->sets())
        return;
    state_.setSets(sets);
    if (sets == 0)
        chooseCoupling(Coupling::Independent);
    else if (isReady() && coupling() != Coupling::Independent)
        applyCoupling(coupling()); // the unit is told the new number
}

void InstrumentSession::clearProtection() {
    if (isReady())
        send(Operation::ClearProtection);
}

void InstrumentSession::setAutoRun(bool on) {
    if (!isReady())
        return;
    send(Operation::AutoRun, {1, {}, on ? 1 : 0});
    state_.setAutoRun(on);
    if (!on) {
        // Back from the automatic run, the coupling is sent again.
        if (profile_)
            state_.blankReadings(0, profile_->couplingChangeBlanks - 1);
        applyCoupling(coupling());
    }
    emit autoRunChanged(on);
    emit locksChanged();
}

void InstrumentSession::toggleAutoRun() {
    setAutoRun(!autoRun());
}

bool InstrumentSession::setSetting(int ch, Setting setting, double value) {
    if (!isReady() || ch < 0 || ch >= channelCount())
        return true;
    if (profile_->editsWaitForReadings) {
        if (!state_.repliedFor(ch, setting))
            return false;
    }
    static constexpr Operation kCommand[] = {Operation::Voltage, Operation::Current,
                                             Operation::OverVoltage};
    const double scale = std::pow(10.0, kEditDecimals);
    value = std::round(value * scale) / scale;
    send(kCommand[int(setting)],
         {ch + 1, wireNumber(value, QLatin1String(profile_->valuePattern)), 0});
    state_.setSetting(ch, setting, value);
    return true;
}

void InstrumentSession::setOverCurrentProtection(int ch, bool on) {
    if (!isReady() || ch < 0 || ch >= channelCount())
        return;
    send(Operation::OverCurrent, {ch + 1, {}, on ? 1 : 0});
    state_.setOverCurrent(ch, on);
}

void InstrumentSession::saveMemory(int memory) {
    if (!isReady())
        return;
    send(Operation::SaveMemory, {1, {}, memory});
    queryMemory();
}

void InstrumentSession::recallMemory(int memory) {
    if (!isReady() || waiting())
        return;
    // The output goes off first; what the memory holds is read back whole.
    setOutput(false);
    poll_.stop();
    link_.beginDrain();
    wait_.start(
        tr("Recall"), tr("Waiting Last Response..."),
        [this]() -> std::optional<WaitProgress> {
            // Commands already asked for still go out (the output-off);
            // queued queries are dropped.
            return link_.drained() ? std::nullopt : std::optional<WaitProgress>(WaitProgress{});
        },
        [this, memory](bool) {
            // The queues go whether it drained or was cancelled.
            link_.endDrain();
            send(Operation::RecallMemory, {1, {}, memory});
            queryInitialValues([this](bool) { recallDone(); });
        });
}

void InstrumentSession::recallDone() {
    if (!isReady()) // reset while the initial query ran
        return;
    if (outputOn())
        poll_.start();
    else
        poll_.stop();
    checkOutput();
    queryMemory();
}

void InstrumentSession::setDelay(int delay) {
    if (!isReady())
        return;
    send(Operation::AutoDelay, {1, {}, delay});
    queryDelay();
}

void InstrumentSession::setAutoRange(int start, int end, int cycle) {
    if (!isReady())
        return;
    send(Operation::AutoStart, {1, {}, start});
    send(Operation::AutoEnd, {1, {}, end});
    send(Operation::AutoCycle, {1, {}, cycle});
    queryAutoRange();
}

void InstrumentSession::setLimitRules(std::vector<LimitRule> rules) {
    limits_.setRules(std::move(rules));
    emit limitsChanged();
}

void InstrumentSession::storeLimitRules(std::vector<LimitRule> rules) {
    if (!profile_)
        return;
    LimitMonitor::store(model(), serialNumber(), rules);
    setLimitRules(std::move(rules));
}

void InstrumentSession::setLinkActivity(const LinkActivity& activity) {
    const std::pair<QTimer*, bool> clocks[] = {{&poll_, activity.polling},
                                               {&link_.responseTimer(), activity.responseWait},
                                               {&link_.writerTimer(), activity.writing}};
    for (const auto& [timer, on] : clocks) {
        if (on)
            timer->start();
        else
            timer->stop();
    }
}

void InstrumentSession::setReadTime(int seconds) {
    link_.setPollCycleLimitMsec(seconds * 1000);
}

} // namespace trq
