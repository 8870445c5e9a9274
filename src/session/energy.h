#pragma once

#include <QtGlobal>

namespace trq {

// Charge and energy delivered on one channel: the current and the power
// (voltage × current) integrated over time, trapezoid by trapezoid between
// readings. Readings further apart than the longest step are a gap: nothing
// is integrated across it, no value is invented for it.
class EnergyCounter {
public:
    EnergyCounter() = default;
    explicit EnergyCounter(qint64 longestStepMsec) : longestStep_(longestStepMsec) {}

    // A reading at msec (any monotonic time).
    void add(qint64 msec, double volts, double amps);
    // The next reading starts afresh (the output went off, the link was lost).
    void interrupt() { lastMsec_ = -1; }
    void reset();

    double charge() const { return ampHours_; }  // [Ah]
    double energy() const { return wattHours_; } // [Wh]

private:
    qint64 longestStep_ = 5000;
    qint64 lastMsec_ = -1;
    double lastAmps_ = 0;
    double lastWatts_ = 0;
    double ampHours_ = 0;
    double wattHours_ = 0;
};

inline void EnergyCounter::add(qint64 msec, double volts, double amps) {
    const double watts = volts * amps;
    const qint64 step = msec - lastMsec_;
    if (lastMsec_ >= 0 && step > 0 && step <= longestStep_) {
        const double hours = double(step) / 3'600'000.0;
        ampHours_ += (lastAmps_ + amps) / 2.0 * hours;
        wattHours_ += (lastWatts_ + watts) / 2.0 * hours;
    }
    lastMsec_ = msec;
    lastAmps_ = amps;
    lastWatts_ = watts;
}

inline void EnergyCounter::reset() {
    ampHours_ = wattHours_ = 0;
    lastMsec_ = -1;
}

} // namespace trq
