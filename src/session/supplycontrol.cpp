// What the user (or a script) can do with the supply on line.
#include "session/supplycontrol.h"

#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"
#include "link/taskscheduler.h"
#include "session/delivered.h"
#include "session/supplyconnection.h"

#include <QTimer>

#include <cmath>

namespace trq {

SupplyControl::SupplyControl(Parts p, QObject* parent)
    : QObject(parent), link_(p.link), connection_(p.connection), state_(p.state), energy_(p.energy),
      limits_(p.limits), prompter_(p.prompter), poll_(p.poll), ask_(std::move(p.ask)) {}

void SupplyControl::setUp(const LayoutProfile* profile) {
    profile_ = profile;
    if (!profile) // off line: the last choices stay until the next supply
        return;
    modeCode_ = profile->followsStatus ? -1 : 0;
    setsEditable_ = false;
    warningPending_ = true;
    couplingChoice_ = true;
}

void SupplyControl::send(Operation operation, const CommandArgs& args) {
    link_.enqueueCommand(commandText(connection_.family(), operation, args));
}

ControlLocks SupplyControl::locks() const {
    return controlLocks(profile_,
                        {state_.coupling(), state_.autoRun(), couplingChoice_, setsEditable_});
}

void SupplyControl::setOutput(bool on) {
    if (!connection_.isReady())
        return;
    if (on != state_.outputOn() && !queryingInitial_) {
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

void SupplyControl::showOutput(bool on) {
    state_.setOutput(on);
    emit outputChanged(on);
}

void SupplyControl::showCoupling(Coupling mode) {
    state_.setCoupling(mode);
    modeCode_ = int(mode);
    emit couplingChanged(mode);
    emit locksChanged();
}

void SupplyControl::showAutoRun(bool on) {
    state_.setAutoRun(on);
    emit autoRunChanged(on);
    emit locksChanged();
}

void SupplyControl::toggleOutput() {
    setOutput(!state_.outputOn());
}

void SupplyControl::switchOutput(bool on) {
    setOutput(on);
    if (profile_ && profile_->outputSwitchBlanksFrom >= 0)
        state_.blankReadings(profile_->outputSwitchBlanksFrom, state_.channelCount() - 1);
}

void SupplyControl::checkOutput() {
    if (!connection_.isReady() || queryingInitial_)
        return;
    if (connection_.interfaceKind() == InterfaceKind::TestingMode) {
        state_.blankReadings(0, state_.channelCount() - 1);
        return;
    }
    if (!connection_.talks())
        return;
    if (state_.outputOn()) {
        poll_.start();
    } else {
        // Polling stops with the output, and no channel shows a reading;
        // nothing is integrated across the time it is off.
        energy_.interrupt();
        // Switched on again, a limit still crossed trips again.
        limits_.rearm();
        poll_.stop();
        link_.cancelQueuedQueries();
        state_.blankReadings(0, state_.channelCount() - 1);
    }
}

void SupplyControl::applyCoupling(Coupling mode) {
    if (!connection_.isReady())
        return;
    static constexpr Operation kCommand[] = {Operation::Independent, Operation::Tracking,
                                             Operation::Parallel};
    send(kCommand[int(mode)], {1, {}, state_.sets()});
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

void SupplyControl::chooseCoupling(Coupling mode, bool askFirst) {
    if (!profile_)
        return;
    if (profile_->followsStatus) {
        // Sent only when it changes; a change always ends with the output off.
        if (modeCode_ != int(mode)) {
            if (mode != Coupling::Independent)
                link_.cancelQueuedQueries();
            applyCoupling(mode);
            if (state_.outputOn())
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
        if (state_.sets() < 1) {
            state_.setSets(1);
            emit setsChanged(state_.sets());
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
            ask_({Operation::Sets, 0});
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

void SupplyControl::setSets(int sets) {
    if (sets == state_.sets())
        return;
    state_.setSets(sets);
    if (sets == 0)
        chooseCoupling(Coupling::Independent);
    else if (connection_.isReady() && state_.coupling() != Coupling::Independent)
        applyCoupling(state_.coupling()); // the unit is told the new number
}

void SupplyControl::clearProtection() {
    if (connection_.isReady())
        send(Operation::ClearProtection);
}

void SupplyControl::setAutoRun(bool on) {
    if (!connection_.isReady())
        return;
    send(Operation::AutoRun, {1, {}, on ? 1 : 0});
    state_.setAutoRun(on);
    if (!on) {
        // Back from the automatic run, the coupling is sent again.
        if (profile_)
            state_.blankReadings(0, profile_->couplingChangeBlanks - 1);
        applyCoupling(state_.coupling());
    }
    emit autoRunChanged(on);
    emit locksChanged();
}

void SupplyControl::toggleAutoRun() {
    setAutoRun(!state_.autoRun());
}

bool SupplyControl::setSetting(int ch, Setting setting, double value) {
    if (!connection_.isReady() || ch < 0 || ch >= state_.channelCount())
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

void SupplyControl::setOverCurrentProtection(int ch, bool on) {
    if (!connection_.isReady() || ch < 0 || ch >= state_.channelCount())
        return;
    send(Operation::OverCurrent, {ch + 1, {}, on ? 1 : 0});
    state_.setOverCurrent(ch, on);
}

bool SupplyControl::acceptWarning(bool askFirst) {
    if (!warningPending_ || !askFirst)
        return true;
    const bool yes = prompter_.ask(tr("If you want to use the Parallel or Series feature, read the "
                                      "Parallel/Series Operation chapter of User Manual first."),
                                   {}, Prompter::Icon::Question,
                                   Prompter::Buttons::YesNo) == Prompter::Answer::Yes;
    if (yes)
        warningPending_ = false;
    return yes;
}

void SupplyControl::unitReplied(const QString& reply) {
    couplingChoice_ = true;
    const std::optional<double> x = parseNumber(reply);
    if (x && (*x == 0 || *x == 1 || *x == 2)) {
        state_.setSets(int(*x));
        emit setsChanged(state_.sets());
        // The unit's configuration takes the same path as the user's choice,
        // so the panel, the menu and the coupling agree.
        const Coupling shown = state_.sets() == 0 ? Coupling::Independent : Coupling::Parallel;
        if (shown != state_.coupling() || modeCode_ != int(shown)) {
            if (shown == Coupling::Independent) {
                chooseCoupling(Coupling::Independent);
            } else {
                setsEditable_ = true;
                applyCoupling(Coupling::Parallel);
                modeCode_ = int(Coupling::Parallel);
            }
        }
    } else if (x && (*x == 3 || *x == 4)) {
        // A configuration this panel does not change.
        couplingChoice_ = false;
    }
    emit locksChanged();
}

} // namespace trq
