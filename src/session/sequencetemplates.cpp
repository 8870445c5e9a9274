#include "session/sequencetemplates.h"

#include <algorithm>
#include <cmath>

namespace trq {

namespace {

constexpr double kChargeMarginVolt = 0.02;

qint64 msOf(double seconds) {
    return qint64(std::ceil(std::max(0.0, seconds) * 1000.0 - 1e-6));
}

using Value = std::optional<double>;

SequenceStep stepOf(int channel, Value volts, Value amps, std::optional<bool> output, double dwellS,
                    bool ramp = false) {
    ChannelSetting set;
    set.channel = channel;
    set.voltage = volts;
    set.current = amps;
    set.output = output;
    SequenceStep step;
    step.channels.push_back(set);
    step.dwellMs = msOf(dwellS);
    step.ramp = ramp;
    return step;
}

SequenceStep off(int channel) {
    return stepOf(channel, std::nullopt, std::nullopt, false, 0);
}

// Held for holdS: above (or equal) the value, or below it.
EndCondition conditionOf(EndCondition::Quantity quantity, int channel, bool above, bool orEqual,
                         double value, double holdS) {
    EndCondition c;
    c.quantity = quantity;
    c.channel = channel;
    c.above = above;
    c.orEqual = orEqual;
    c.value = value;
    c.holdMs = msOf(holdS);
    return c;
}

} // namespace

Sequence staircaseSequence(int channel, double from, double to, int steps, double dwellS,
                           double current) {
    Sequence s;
    steps = std::max(steps, 1);
    for (int k = 0; k < steps; ++k) {
        const double volts = steps == 1 ? to : from + (to - from) * k / (steps - 1);
        s.steps.push_back(stepOf(channel, volts, k == 0 ? Value(current) : std::nullopt,
                                 k == 0 ? std::optional(true) : std::nullopt, dwellS));
    }
    s.steps.push_back(off(channel));
    return s;
}

Sequence rampSequence(int channel, double from, double to, double rampS, double current) {
    Sequence s;
    s.steps.push_back(stepOf(channel, from, current, true, 0));
    s.steps.push_back(stepOf(channel, to, std::nullopt, std::nullopt, rampS, true));
    s.steps.push_back(stepOf(channel, std::nullopt, std::nullopt, std::nullopt, rampS));
    s.steps.push_back(off(channel));
    return s;
}

Sequence cyclingSequence(int channel, double voltage, double current, double onS, double offS,
                         int cycles) {
    Sequence s;
    s.steps.push_back(stepOf(channel, voltage, current, std::nullopt, 0));
    s.steps.push_back(stepOf(channel, std::nullopt, std::nullopt, true, onS));
    s.steps.push_back(off(channel));
    s.steps.back().dwellMs = msOf(offS);
    const QString block = QStringLiteral("cycle");
    s.steps[1].block = s.steps[2].block = block;
    if (cycles > 1)
        s.repeats[block] = cycles;
    return s;
}

Sequence chargeSequence(int channel, double current, double endVoltage, double cutoffCurrent,
                        double longestH) {
    using Q = EndCondition::Quantity;
    Sequence s;
    // The voltage set is the limit the constant current charges up to. In
    // constant voltage the reading sits at the set value only within the
    // supply's read-back error: the phase ends 20 mV short of it, which the
    // next step, setting nothing, does not feel.
    s.steps.push_back(stepOf(channel, endVoltage, current, true, longestH * 3600));
    s.steps.back().until = conditionOf(Q::Voltage, channel, true, true,
                                       std::max(endVoltage - kChargeMarginVolt, 0.0), 2);
    s.steps.push_back(stepOf(channel, std::nullopt, std::nullopt, std::nullopt, longestH * 3600));
    s.steps.back().until = conditionOf(Q::Current, channel, false, false, cutoffCurrent, 30);
    s.steps.push_back(off(channel));
    return s;
}

} // namespace trq
