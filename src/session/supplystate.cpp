// What the supply's replies say, kept per channel.
#include "session/supplystate.h"

#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/numbers.h"
#include "session/machinetypes.h"

#include <algorithm>

namespace trq {

SupplyState::SupplyState(const Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {}

void SupplyState::setUp(const LayoutProfile& profile, const MachineTypes& types,
                        const QString& model) {
    profile_ = &profile;
    channels_.assign(std::size_t(profile.channels), ChannelState{});
    voltageSeen_.assign(channels_.size(), false);
    currentSeen_.assign(channels_.size(), false);
    for (int n = 1; n <= profile.channels; ++n) {
        const MachineTypeRecord r = types.forChannel(model, n);
        ChannelState& c = channels_[std::size_t(n - 1)];
        c.limits = {EditLimits{r.maxVolt, r.stepVolt, r.fmtVolt},
                    EditLimits{r.maxCurr, r.stepCurr, r.fmtCurr},
                    EditLimits{r.maxOvp, r.stepOvp, r.fmtOvp}};
        // In the supply's own form, as its replies come: the windows show
        // them in the user's locale, the feed and the records as they are.
        c.voltage = Reading(wireNumber(0, QStringLiteral("0") + r.fmtVolt));
        c.current = Reading(wireNumber(0, QStringLiteral("0") + r.fmtCurr));
    }
    for (const FixedLimit& f : profile.fixedLimits) {
        ChannelState& c = channels_[std::size_t(f.channel - 1)];
        c.limits[std::size_t(Setting::Voltage)].maximum = f.maxVolt;
        c.limits[std::size_t(Setting::Current)].maximum = f.maxCurr;
    }
    readings_ = 0;
    output_ = false;
    autoRun_ = false;
    coupling_ = Coupling::Independent;
    autoValues_ = {};
    sets_ = 0;
    settingsSeen_ = false;
}

bool SupplyState::allMeasured() const {
    return std::all_of(channels_.begin(), channels_.end(),
                       [](const ChannelState& c) { return c.measured(); });
}

bool SupplyState::allReadSince(qint64 sinceMsec) const {
    return std::all_of(channels_.begin(), channels_.end(), [&](const ChannelState& c) {
        return c.voltageAtMsec >= 0 && c.currentAtMsec >= 0 && c.voltageAtMsec >= sinceMsec &&
               c.currentAtMsec >= sinceMsec;
    });
}

bool SupplyState::repliedFor(int ch, Setting setting) const {
    return settingsSeen_ && (setting != Setting::Current || currentSeen_[std::size_t(ch)]) &&
           (setting != Setting::OverVoltage || voltageSeen_[std::size_t(ch)]);
}

void SupplyState::readingReplied(int ch, bool voltage, const QString& reply, bool measures) {
    if (!has(ch))
        return;
    ChannelState& c = channels_[std::size_t(ch)];
    (voltage ? c.voltageReply : c.currentReply) = reply;
    (voltage ? c.voltageAtMsec : c.currentAtMsec) = qint64(clock_.nowSec() * 1000.0);
    (voltage ? c.voltage : c.current) =
        Reading(withoutUnit(reply, voltage ? QLatin1Char('V') : QLatin1Char('A')));
    if (!reply.isEmpty()) {
        ++readings_; // an empty reply is no reading
        (voltage ? voltageSeen_ : currentSeen_)[std::size_t(ch)] = true;
        (voltage ? c.voltageRead : c.currentRead) = measures;
    }
    // The channel that follows another in parallel has nothing of its own to
    // show: a voltage reply blanks its voltage, a current reply both.
    if (coupling_ == Coupling::Parallel && ch == profile_->parallelBlankChannel) {
        c.voltage.clear();
        if (!voltage)
            c.current.clear();
    }
    const qint64 at = voltage ? c.voltageAtMsec : c.currentAtMsec;
    emit readingsChanged(ch);
    if (has(ch)) // not reset by what the windows did with it
        emit readingTaken(ch, voltage ? Quantity::Voltage : Quantity::Current,
                          voltage ? c.voltage : c.current, at);
}

void SupplyState::settingReplied(int ch, Setting setting, const QString& reply) {
    if (!has(ch))
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

void SupplyState::overCurrentReplied(int ch, const QString& reply) {
    if (has(ch))
        setOverCurrent(ch, reply == QLatin1String("1"));
}

void SupplyState::autoValueReplied(Operation operation, const QString& reply) {
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

void SupplyState::setSetting(int ch, Setting setting, double value) {
    channels_[std::size_t(ch)].settings[std::size_t(setting)] = value;
    emit settingChanged(ch, setting, value);
}

void SupplyState::setOverCurrent(int ch, bool on) {
    channels_[std::size_t(ch)].overCurrentProtection = on;
    emit overCurrentChanged(ch, on);
}

void SupplyState::forgetMeasured() {
    for (ChannelState& c : channels_)
        c.voltageRead = c.currentRead = false;
}

void SupplyState::blankReadings(int from, int to) {
    for (int i = std::max(from, 0); i <= to && i < channelCount(); ++i) {
        ChannelState& c = channels_[std::size_t(i)];
        c.voltage.clear();
        c.current.clear();
        c.voltageRead = c.currentRead = false;
        emit readingsChanged(i);
    }
}

} // namespace trq
