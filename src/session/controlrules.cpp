#include "session/controlrules.h"

#include "protocol/layoutprofile.h"

namespace trq {

ControlLocks controlLocks(const LayoutProfile* profile, const ControlState& state) {
    ControlLocks l;
    l.autoRun = state.autoRun;
    l.couplingChoice = state.couplingChoice;
    l.sets = state.setsEditable;
    if (!profile)
        return l;
    l.channel = profile->coupledChannel;
    if (state.coupling == Coupling::Parallel) {
        l.voltage = l.current = l.overVoltage = true;
        l.overCurrent = profile->parallelLocksOverCurrent;
    } else if (state.coupling == Coupling::Tracking) {
        l.voltage = l.overVoltage = true;
    }
    return l;
}

} // namespace trq
