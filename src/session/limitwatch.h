#pragma once

#include "core/reading.h"
#include "session/limits.h"

#include <QObject>

namespace trq {

class DeliveredEnergy;
class SupplyState;

// The limits checked on every reading of the supply on line: the reading
// itself and, with a current, the channel's power and what it has
// delivered. Only while the output is on; a limit that trips is told, its
// action is the session's.
class LimitWatch : public QObject {
    Q_OBJECT
public:
    LimitWatch(const SupplyState& state, const DeliveredEnergy& energy, QObject* parent = nullptr);

    LimitMonitor& monitor() { return monitor_; }
    const LimitMonitor& monitor() const { return monitor_; }

    void take(int channel, trq::Quantity quantity, const trq::Reading& reading, qint64 msec);

signals:
    void tripped(const trq::LimitTrip& trip);

private:
    void check(int channel, Quantity quantity, double value, qint64 msec);

    const SupplyState& state_;
    const DeliveredEnergy& energy_;
    LimitMonitor monitor_;
};

} // namespace trq
