#pragma once

#include "core/reading.h"
#include "session/energy.h"
#include "session/limits.h"

#include <QObject>

#include <vector>

namespace trq {

class SupplyState;

// Charge and energy delivered on each channel of the supply on line, taken
// in from its readings: a current reading closes a step of the integration
// with the channel's latest voltage, only while the output is on.
class DeliveredEnergy : public QObject {
    Q_OBJECT
public:
    explicit DeliveredEnergy(const SupplyState& state, QObject* parent = nullptr);

    // A supply's channels, nothing delivered yet; readings further apart
    // than longestStepMsec are a gap.
    void setUp(int channels, qint64 longestStepMsec);
    int channelCount() const { return int(counters_.size()); }
    const EnergyCounter& channel(int i) const { return counters_[std::size_t(i)]; }

    void take(int channel, trq::Quantity quantity, const trq::Reading& reading, qint64 msec);
    // Nothing is integrated across the time until the next reading.
    void interrupt();
    // Charge and energy start again from zero on every channel.
    void reset();

signals:
    void deliveredChanged(int channel);

private:
    const SupplyState& state_;
    std::vector<EnergyCounter> counters_;
};

} // namespace trq
