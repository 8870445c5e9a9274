#pragma once

#include "protocol/commands.h"

#include <span>

namespace trq {

// One question of a poll cycle or of the initial query: an operation's
// query for a channel (1-based; ignored by operations without one).
struct QueryStep {
    Operation operation;
    int channel = 1;
};

// A limit the panel keeps whatever the machine-type record says.
struct FixedLimit {
    int channel; // 1-based
    double maxVolt;
    double maxCurr;
};

// What sets one front-panel layout apart: its channels and controls, how it
// polls and reads its supply, and what the menus offer with it. The session
// and the windows read these rows; none of them tests a layout number.
struct LayoutProfile {
    int layout;
    int channels;

    // Polling: the steps of one cycle, taken one per poll tick; the counter
    // wraps here (not always a whole number of cycles). The link's cycle
    // check counts cycleQueries answered queries per cycle.
    std::span<const QueryStep> pollCycle;
    int pollCounterWrap;
    int cycleQueries;
    // Polled through the link's direct serial exchange instead of its queue.
    bool pollsByDirectExchange;
    // Asked once on line, before the panel is shown.
    std::span<const QueryStep> initialQueries;

    // How a set value is written: a number pattern, empty for the general
    // text.
    const char* valuePattern;

    // Controls the panel has.
    bool protection;         // over-voltage edit and over-current switch
    bool clearProtection;    // the clear-protection button and action
    bool autoRunAndMemories; // automatic run, its range, delay, memories
    bool couplingMenu;       // the coupling items of the Action menu
    bool sets;               // the number of units working together
    const char* trackCaption;
    std::span<const FixedLimit> fixedLimits;

    // Coupling: the channel whose edits a parallel or tracking coupling
    // locks (0-based), and whether parallel locks its over-current switch
    // too; the channel whose readings stay blank in parallel (-1: none).
    int coupledChannel;
    bool parallelLocksOverCurrent;
    int parallelBlankChannel;
    // How many channels (from the first) a coupling change blanks.
    int couplingChangeBlanks;
    // The first channel the output switch blanks when the user turns it
    // (-1: none).
    int outputSwitchBlanksFrom;

    // Single-channel units: a warning before the first parallel or series
    // choice, then the unit's own configuration is asked for.
    bool warnsBeforeCoupling;
    // The current and over-voltage edits go out only once readings came in.
    bool editsWaitForReadings;
    // Setting replies are traced.
    bool tracesSettings;
    // The status reply drives coupling and output; a coupling is sent only
    // when it changes and ends with the output off.
    bool followsStatus;

    // What the menus and the toolbar offer on line.
    bool gpib;
    bool graph;
};

// The profile of a layout number, or nothing for an unknown one.
const LayoutProfile* layoutProfile(int layout);

// The poll step at a position of the counter, and the position after it: the
// counter wraps at the profile's wrap, mid-cycle where the two disagree, as
// the supplies have always been polled.
const QueryStep& pollStepAt(const LayoutProfile& profile, int position);
int nextPollPosition(const LayoutProfile& profile, int position);

} // namespace trq
