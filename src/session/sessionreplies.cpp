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
            readingReplied(ch, voltage, r);
        };
    case Operation::Voltage:
        return [this, ch](const QString& r) { settingRepliedText(ch, Setting::Voltage, r); };
    case Operation::Current:
        return [this, ch](const QString& r) { settingRepliedText(ch, Setting::Current, r); };
    case Operation::OverVoltage:
        return [this, ch](const QString& r) { settingRepliedText(ch, Setting::OverVoltage, r); };
    case Operation::OverCurrent:
        return [this, ch](const QString& r) { overCurrentReplied(ch, r); };
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
        return [this, op = step.operation](const QString& r) { autoValueReplied(op, r); };
    default:
        return {};
    }
}

// As first read, the supply's output, coupling and automatic run are sent
// back as the actions do; read again after a reconnect they are only shown.
void InstrumentSession::outputReplied(bool on) {
    if (!resyncing_)
        return setOutput(on);
    output_ = on;
    emit outputChanged(on);
}

void InstrumentSession::couplingReplied(Coupling mode) {
    if (!resyncing_)
        return applyCoupling(mode);
    coupling_ = mode;
    modeCode_ = int(mode);
    emit couplingChanged(mode);
    emit locksChanged();
}

void InstrumentSession::autoRunReplied(bool on) {
    if (!resyncing_)
        return setAutoRun(on);
    autoRun_ = on;
    emit autoRunChanged(on);
    emit locksChanged();
}

void InstrumentSession::blankReadings(int from, int to) {
    for (int i = std::max(from, 0); i <= to && i < channelCount(); ++i) {
        ChannelState& c = channels_[std::size_t(i)];
        c.voltage.clear();
        c.current.clear();
        c.voltageRead = c.currentRead = false;
        emit readingsChanged(i);
    }
}

void InstrumentSession::readingReplied(int ch, bool voltage, const QString& reply) {
    if (ch < 0 || ch >= channelCount())
        return;
    ++readings_;
    ChannelState& c = channels_[std::size_t(ch)];
    (voltage ? c.voltageReply : c.currentReply) = reply;
    (voltage ? c.voltageAtMsec : c.currentAtMsec) = qint64(link_.clock().nowSec() * 1000.0);
    (voltage ? c.voltage : c.current) =
        Reading(withoutUnit(reply, voltage ? QLatin1Char('V') : QLatin1Char('A')));
    if (!reply.isEmpty()) {
        (voltage ? voltageSeen_ : currentSeen_)[std::size_t(ch)] = true;
        // While the initial values are read the output's state is not known
        // yet (after a reconnect it may have changed): no measurement of it.
        (voltage ? c.voltageRead : c.currentRead) = !queryingInitial_;
    }
    // The channel that follows another in parallel has nothing of its own to
    // show: a voltage reply blanks its voltage, a current reply both.
    if (coupling_ == Coupling::Parallel && ch == profile_->parallelBlankChannel) {
        c.voltage.clear();
        if (!voltage)
            c.current.clear();
    }
    // A current reading closes a step of the integration, with the latest
    // voltage; only while the output is on.
    const qint64 at = voltage ? c.voltageAtMsec : c.currentAtMsec;
    const std::optional<double> watts = power(c.voltage, c.current);
    if (!voltage && output_ && watts) {
        c.delivered.add(at, *c.voltage.value(), *c.current.value());
        emit deliveredChanged(ch);
    }
    emit readingsChanged(ch);
    // Every reading is checked, not only recorded points; with the output
    // off there is nothing to watch.
    const std::optional<double> value = (voltage ? c.voltage : c.current).value();
    if (value && output_)
        checkLimits(ch, voltage ? Quantity::Voltage : Quantity::Current, *value, at);
    if (!voltage && watts && output_) {
        checkLimits(ch, Quantity::Power, *watts, at);
        checkLimits(ch, Quantity::Charge, c.delivered.charge(), at);
        checkLimits(ch, Quantity::Energy, c.delivered.energy(), at);
    }
}

void InstrumentSession::settingRepliedText(int ch, Setting setting, const QString& reply) {
    if (ch < 0 || ch >= channelCount())
        return;
    if (setting == Setting::Voltage && profile_->tracesSettings)
        trace(QStringLiteral("Set voltage CH") + QString::number(ch + 1) + QLatin1Char(':') +
              reply);
    if (reply.isEmpty())
        return;
    const QChar unit = setting == Setting::Current ? QLatin1Char('A') : QLatin1Char('V');
    if (const std::optional<double> v = parseNumber(withoutUnit(reply, unit))) {
        channels_[std::size_t(ch)].settings[std::size_t(setting)] = *v;
        emit settingChanged(ch, setting, *v);
    }
    settingsSeen_ = true;
}

void InstrumentSession::overCurrentReplied(int ch, const QString& reply) {
    if (ch < 0 || ch >= channelCount())
        return;
    const bool on = reply == QLatin1String("1");
    channels_[std::size_t(ch)].overCurrentProtection = on;
    emit overCurrentChanged(ch, on);
}

void InstrumentSession::autoValueReplied(Operation operation, const QString& reply) {
    QString* field = nullptr;
    switch (operation) {
    case Operation::AutoStart:
        field = &autoValues_.start;
        break;
    case Operation::AutoEnd:
        field = &autoValues_.end;
        break;
    case Operation::AutoCycle:
        field = &autoValues_.cycle;
        break;
    case Operation::AutoDelay:
        field = &autoValues_.delay;
        break;
    default:
        field = &autoValues_.memory;
        break;
    }
    *field = reply;
    emit autoRunValuesChanged();
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
    const bool couplingChanged = status.coupling && coupling_ != *status.coupling;
    if (resyncing_) {
        if (status.coupling)
            couplingReplied(*status.coupling);
        if (status.output)
            outputReplied(*status.output);
        return;
    }
    if (status.coupling)
        chooseCoupling(*status.coupling);
    if (status.output && *status.output != output_)
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
    if (r.stopsOutput() && output_)
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
        sets_ = int(*x);
        emit setsChanged(sets_);
        // The unit's configuration takes the same path as the user's choice,
        // so the panel, the menu and the coupling agree.
        const Coupling shown = sets_ == 0 ? Coupling::Independent : Coupling::Parallel;
        if (shown != coupling_ || modeCode_ != int(shown)) {
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
