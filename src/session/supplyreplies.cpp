// Where the supply's replies go, and what those that call for an action do.
#include "session/supplyreplies.h"

#include "core/debugtrace.h"
#include "core/prompter.h"
#include "protocol/replies.h"
#include "session/supplycontrol.h"
#include "session/supplystate.h"

#include <QTimer>

namespace trq {

SupplyReplies::SupplyReplies(SupplyState& state, SupplyControl& control, Prompter& prompter,
                             std::function<bool(const QueryStep&)> ask, QObject* parent)
    : QObject(parent), state_(state), control_(control), prompter_(prompter), ask_(std::move(ask)) {
}

ReplyHandler SupplyReplies::handlerFor(const QueryStep& step) {
    const int ch = step.channel - 1;
    switch (step.operation) {
    case Operation::MeasuredVoltage:
    case Operation::MeasuredCurrent:
        return [this, ch, voltage = step.operation == Operation::MeasuredVoltage,
                epoch = control_.outputEpoch()](const QString& r) {
            // Asked before the output changed: a reading of the state before.
            if (epoch != control_.outputEpoch())
                return trace(QStringLiteral("Reading from before the output changed, dropped: ") +
                             r);
            // While the initial values are read the output's state is not
            // known yet (after a reconnect it may have changed): no
            // measurement of it.
            state_.readingReplied(ch, voltage, r, !control_.querying());
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
        return [this](const QString& r) { control_.unitReplied(r); };
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
void SupplyReplies::outputReplied(bool on) {
    if (resyncing_)
        control_.showOutput(on);
    else
        control_.setOutput(on);
}

void SupplyReplies::couplingReplied(Coupling mode) {
    if (resyncing_)
        control_.showCoupling(mode);
    else
        control_.applyCoupling(mode);
}

void SupplyReplies::autoRunReplied(bool on) {
    if (resyncing_)
        control_.showAutoRun(on);
    else
        control_.setAutoRun(on);
}

void SupplyReplies::errorReplied(const QString& reply) {
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
    control_.setOutput(false);
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

void SupplyReplies::statusReplied(const QString& reply) {
    if (reply.isEmpty())
        return;
    const LegacyStatus status = decodeStatus(reply);
    if (!status.readable) {
        // A short or garbled line must not switch a live supply.
        trace(QStringLiteral("STATUS? reply not eight flags, ignored: '") + reply +
              QLatin1Char('\''));
        return;
    }
    const bool couplingChanged = status.coupling && state_.coupling() != *status.coupling;
    if (resyncing_) {
        if (status.coupling)
            couplingReplied(*status.coupling);
        if (status.output)
            outputReplied(*status.output);
        return;
    }
    if (status.coupling)
        control_.chooseCoupling(*status.coupling);
    if (status.output && *status.output != state_.outputOn())
        control_.switchOutput(*status.output);
    if (couplingChanged) {
        // The settings follow the new coupling: ask for them again, channels
        // 1 and 2, then 3 and 4.
        for (const auto& pair : {std::pair{1, 2}, std::pair{3, 4}})
            for (Operation op : {Operation::Voltage, Operation::Current})
                for (int n : {pair.first, pair.second})
                    if (n <= state_.channelCount())
                        ask_({op, n});
    }
}

} // namespace trq
