// What the session makes of each reply of its supply.
#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"
#include "session/instrumentsession.h"
#include "session/recording.h"

#include <QTimer>

namespace trq {

ReplyHandler InstrumentSession::handlerFor(const QueryStep& step) {
    const int ch = step.channel - 1;
    switch (step.operation) {
    case Operation::MeasuredVoltage:
    case Operation::MeasuredCurrent:
        return [this, ch, voltage = step.operation == Operation::MeasuredVoltage,
                epoch = outputEpoch_](const QString& r) {
            // Asked before the output changed: a reading of the state before.
            if (epoch != outputEpoch_)
                return trace(QStringLiteral("Reading from before the output changed, dropped: ") +
                             r);
            // While the initial values are read the output's state is not
            // known yet (after a reconnect it may have changed): no
            // measurement of it.
            state_.readingReplied(ch, voltage, r, !queryingInitial_);
        };
    case Operation::Voltage:
        return [this, ch](const QString& r) { state_.settingReplied(ch, Setting::Voltage, r); };
    case Operation::Current:
        return [this, ch](const QString& r) { state_.settingReplied(ch, Setting::Current, r); };
    case Operation::OverVoltage:
        return [this, ch](const QString& r) { state_.settingReplied(ch, Setting::OverVoltage, r); };
    case Operation::OverCurrent:
        return [this, ch](const QString& r) { state_.overCurrentReplied(ch, r); };
    case Operation::Output:
        return [this](const QString& r) { outputReplied(r != QLatin1String("0")); };
    case Operation::Coupling:
        return [this](const QString& r) { couplingReplied(couplingFromReply(r)); };
    case Operation::AutoRun:
        return [this](const QString& r) { autoRunReplied(r != QLatin1String("0")); };
    case Operation::Error:
        return [this](const QString& r) { errorReplied(r); };
    case Operation::Status:
        return [this](const QString& r) { statusReplied(r); };
    case Operation::Sets:
        return [this](const QString& r) { setsReplied(r); };
    case Operation::AutoStart:
    case Operation::AutoEnd:
    case Operation::AutoCycle:
    case Operation::AutoDelay:
    case Operation::Memory:
        return [this, op = step.operation](const QString& r) { state_.autoValueReplied(op, r); };
    default:
        return {};
    }
}

// As first read, the supply's output, coupling and automatic run are sent
// back as the actions do; read again after a reconnect they are only shown.
void InstrumentSession::outputReplied(bool on) {
    if (!resyncing_)
        return setOutput(on);
    state_.setOutput(on);
    emit outputChanged(on);
}

void InstrumentSession::couplingReplied(Coupling mode) {
    if (!resyncing_)
        return applyCoupling(mode);
    state_.setCoupling(mode);
    modeCode_ = int(mode);
    emit couplingChanged(mode);
    emit locksChanged();
}

void InstrumentSession::autoRunReplied(bool on) {
    if (!resyncing_)
        return setAutoRun(on);
    state_.setAutoRun(on);
    emit autoRunChanged(on);
    emit locksChanged();
}

void InstrumentSession::errorReplied(const QString& reply) {
    switch (readErrorReply(reply)) {
    case ErrorReply::NoError:
        return;
    case ErrorReply::Unreadable:
        trace(QStringLiteral("Error query: not an error-queue answer, ignored: '") + reply +
              QLatin1Char('\''));
        return;
    case ErrorReply::Error:
        break;
    }
    // The reply arrives inside the link's delivery: the off command is queued
    // now and the box waits until the delivery has returned, so the command
    // reaches the supply on the next writer tick, not after the user's OK.
    setOutput(false);
    if (errorShown_) {
        trace(QStringLiteral("Error detected while its box is up: '") + reply + QLatin1Char('\''));
        return;
    }
    errorShown_ = true;
    QTimer::singleShot(0, this, [this, reply] {
        prompter_.message(tr("Error detected: '%1'").arg(reply));
        errorShown_ = false;
    });
}

void InstrumentSession::statusReplied(const QString& reply) {
    if (reply.isEmpty())
        return;
    const LegacyStatus status = decodeStatus(reply);
    if (!status.readable) {
        // A short or garbled line must not switch a live supply.
        trace(QStringLiteral("STATUS? reply not eight flags, ignored: '") + reply +
              QLatin1Char('\''));
        return;
    }
    const bool couplingChanged = status.coupling && coupling() != *status.coupling;
    if (resyncing_) {
        if (status.coupling)
            couplingReplied(*status.coupling);
        if (status.output)
            outputReplied(*status.output);
        return;
    }
    if (status.coupling)
        chooseCoupling(*status.coupling);
    if (status.output && *status.output != outputOn())
        switchOutput(*status.output);
    if (couplingChanged) {
        // The settings follow the new coupling: ask for them again, channels
        // 1 and 2, then 3 and 4.
        for (const auto& pair : {std::pair{1, 2}, std::pair{3, 4}})
            for (Operation op : {Operation::Voltage, Operation::Current})
                for (int n : {pair.first, pair.second})
                    if (n <= channelCount())
                        ask({op, n});
    }
}

void InstrumentSession::watchLimits(int ch, Quantity quantity, const Reading& reading,
                                    qint64 msec) {
    // With the output off there is nothing to watch.
    const std::optional<double> value = reading.value();
    if (value && outputOn())
        checkLimits(ch, quantity, *value, msec);
    if (quantity != Quantity::Current || ch >= channelCount())
        return;
    const ChannelState& c = channel(ch);
    const std::optional<double> watts = power(c.voltage, c.current);
    if (watts && outputOn()) {
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
    if (r.stopsOutput() && outputOn())
        setOutput(false);
    if (r.stopsRecording() && recording_)
        recording_->stop();
    emit limitTripped(trip);
}

bool InstrumentSession::acceptWarning(bool askFirst) {
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

void InstrumentSession::setsReplied(const QString& reply) {
    couplingChoice_ = true;
    const std::optional<double> x = parseNumber(reply);
    if (x && (*x == 0 || *x == 1 || *x == 2)) {
        state_.setSets(int(*x));
        emit setsChanged(sets());
        // The unit's configuration takes the same path as the user's choice,
        // so the panel, the menu and the coupling agree.
        const Coupling shown = sets() == 0 ? Coupling::Independent : Coupling::Parallel;
        if (shown != coupling() || modeCode_ != int(shown)) {
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
