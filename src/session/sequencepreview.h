#pragma once

#include "session/sequence.h"

#include <QString>

#include <cstddef>
#include <vector>

namespace trq {

// The set values a run plans for each channel over time, to draw before it
// runs.
struct SequencePreview {
    struct Trace {
        QString supply; // empty: the supply running it
        int channel = 1;
        bool current = false;
        // Seconds from the run's start; each value holds until the next.
        std::vector<double> seconds, values;
    };
    std::vector<Trace> traces; // by supply and channel, the voltage first
    qint64 endMs = 0;
    // A condition may end a step or the run sooner than drawn.
    bool conditional = false;
    // The run is longer than a preview follows: it ends at endMs.
    bool cut = false;
};

// Every step drawn for its whole dwell, from the values the channels start
// with; a long run's points thinned to about maxPoints a trace (each time
// slice keeps its lowest, highest and last value).
SequencePreview sequencePreview(const Sequence& sequence, qint64 tickMs,
                                const SequencePlan::Values& start, std::size_t maxPoints = 3000);

} // namespace trq
