#pragma once

#include "session/sequence.h"

#include <QObject>

#include <optional>

namespace trq {

class Clock;
class InstrumentSession;
class Waiter;

// A sequence run on the supply of a session: its settings go out through
// the supply's link, its end conditions read the supply's readings. A lost
// link or a limit that tripped stops it, the output off; it never resumes
// by itself.
class SessionSequence : public QObject {
    Q_OBJECT
public:
    SessionSequence(InstrumentSession& session, const Clock& clock, Waiter& waiter,
                    QObject* parent = nullptr);

    // Kept for a run: why the supply on line cannot run it, or nothing.
    // Not while one runs.
    std::optional<QString> load(Sequence sequence);
    bool loaded() const { return loaded_; }
    // The sequence kept, checked against the supply on line first: why it
    // cannot run, or nothing when it has started.
    std::optional<QString> run(bool holdAtEnd = false);
    std::optional<QString> run(Sequence sequence, bool holdAtEnd = false);
    SequenceRunner& runner() { return runner_; }
    const Sequence& sequence() const { return sequence_; }
    bool running() const;

private:
    SequenceRunner::Target target();
    std::optional<QString> check(const Sequence& sequence, SequencePlan::Values* start) const;

    InstrumentSession& session_;
    Sequence sequence_;
    bool loaded_ = false;
    // The link was lost before the output could go off: it goes off when
    // the link comes back.
    bool offOwed_ = false;
    SequenceRunner runner_;
};

} // namespace trq
