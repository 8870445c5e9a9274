#pragma once

#include "session/sequence.h"

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>
#include <set>
#include <vector>

namespace trq {

class Clock;
class InstrumentSession;
class Waiter;

// A sequence run on the supply of a session, and on the other supplies of
// its bench that steps name: settings go out through each supply's link,
// end conditions read each supply's readings. A lost link or a limit that
// tripped on any of them stops it, every output it set off; it never
// resumes by itself.
class SessionSequence : public QObject {
    Q_OBJECT
public:
    SessionSequence(InstrumentSession& session, const Clock& clock, Waiter& waiter,
                    QObject* parent = nullptr);

    // How a bench's other supplies are found by name (none: a supply alone).
    using Peers = std::function<InstrumentSession*(const QString& name)>;
    void setPeers(Peers peers) { peers_ = std::move(peers); }

    // Kept for a run: why the supplies on line cannot run it, or nothing.
    // Not while one runs.
    std::optional<QString> load(Sequence sequence);
    bool loaded() const { return loaded_; }
    // The sequence kept, checked against the supplies first: why it cannot
    // run, or nothing when it has started.
    std::optional<QString> run(bool holdAtEnd = false);
    std::optional<QString> run(Sequence sequence, bool holdAtEnd = false);
    SequenceRunner& runner() { return runner_; }
    const SequenceRunner& runner() const { return runner_; }
    // As loaded; a run may hold some steps longer (see notice()).
    const Sequence& sequence() const { return sequence_; }
    // The steps a run held longer than written, as the link cannot change
    // its settings faster; empty when none.
    const QString& notice() const { return notice_; }
    bool running() const;
    // A run is going that sets or watches that supply.
    bool controls(const InstrumentSession& session) const;

signals:
    // A run started with steps held longer than written.
    void noticed(const QString& text);

private:
    SequenceRunner::Target target();
    InstrumentSession* sessionOf(const QString& supply) const;
    std::optional<QString> check(const Sequence& sequence, SequencePlan::Values* start) const;
    // The other supplies' lost links and limits stop the run too.
    void watchPeers();
    void sessionStateChanged(InstrumentSession& session, const QString& name, bool ready);
    void outputOff(InstrumentSession& session);

    InstrumentSession& session_;
    Peers peers_;
    Sequence sequence_;
    // What runs: the sequence with its dwells as the link can keep them.
    Sequence running_;
    bool loaded_ = false;
    QString notice_;
    // The supplies a run sets or watches, by name ("" the session's own).
    struct Involved {
        QString name;
        QPointer<InstrumentSession> session;
    };
    std::vector<Involved> involved_;
    std::vector<QMetaObject::Connection> peerWatch_;
    // Links lost before their output could go off: it goes off when each
    // comes back.
    std::set<InstrumentSession*> offOwed_;
    std::vector<QPointer<InstrumentSession>> offWatched_;
    SequenceRunner runner_;
};

} // namespace trq
