#pragma once

#include "protocol/replies.h"

namespace trq {

struct LayoutProfile;

// What the coupling and the automatic run leave to the user: while the
// supply runs automatically only the output, the automatic run and
// clear-protection can be used; a coupling locks some of one channel's edits.
struct ControlLocks {
    bool autoRun = false;
    int channel = -1;
    bool voltage = false, current = false, overVoltage = false, overCurrent = false;
    bool couplingChoice = true; // the unit's configuration allows a choice
    bool sets = false;          // the number of units can be edited
};

// The supply's control state the locks follow.
struct ControlState {
    Coupling coupling = Coupling::Independent;
    bool autoRun = false;
    bool couplingChoice = true;
    bool setsEditable = false;
};

// The locks of a layout (none: off line) in a control state.
ControlLocks controlLocks(const LayoutProfile* profile, const ControlState& state);

} // namespace trq
