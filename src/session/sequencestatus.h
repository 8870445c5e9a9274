#pragma once

#include "session/sequence.h"

#include <QCoreApplication>
#include <QString>

namespace trq {

class Prompter;
class SessionSequence;

// What the windows say of a sequence in control of a supply, and what a
// user's own change of that supply does meanwhile.
class SequenceStatus {
    Q_DECLARE_TR_FUNCTIONS(SequenceStatus)
public:
    // "Step 3 of 20, cycle 2/10, 0:01:23 elapsed, 0:05:00 left".
    static QString progress(const SequenceRunner& runner);
    static QString state(SequenceRunner::State state);
    // "Sequence running: step 3 of 20"; empty while none runs.
    static QString statusLine(const SequenceRunner& runner);
    static QString duration(qint64 ms);

    // A change of the supply by hand while a sequence is in control: the
    // run pauses and the user is asked whether to stop it; yes stops it
    // (its outputs off), no lets it go on. The change is made in neither
    // case, as it was meant for a supply in a state the answer changes:
    // true only where no sequence is in control.
    // (sequence: the one in control; none, the change is made.)
    static bool userMayChange(SessionSequence* sequence, Prompter& prompter);
};

} // namespace trq
