#pragma once

#include "session/sequence.h"

namespace trq {

// Sequences to start from, on one channel; each ends with the output off.

// steps levels from `from` to `to` volts, each held dwellS.
Sequence staircaseSequence(int channel, double from, double to, int steps, double dwellS,
                           double current);
// From `from` to `to` volts in rampS, then held as long.
Sequence rampSequence(int channel, double from, double to, double rampS, double current);
// The output on for onS and off for offS, cycles times.
Sequence cyclingSequence(int channel, double voltage, double current, double onS, double offS,
                         int cycles);
// A cell's charge: a constant current up to endVoltage, then the constant
// voltage until the current has fallen below cutoffCurrent; each phase
// lasts at most longestH hours.
Sequence chargeSequence(int channel, double current, double endVoltage, double cutoffCurrent,
                        double longestH);

} // namespace trq
