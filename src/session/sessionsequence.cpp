#include "session/sessionsequence.h"

#include "session/instrumentsession.h"
#include "session/limits.h"
#include "session/recording.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace trq {

namespace {

// How often the link takes a setting: one a writer tick; polling fast over
// a serial line, one an exchange, with a poll query's exchange between two.
qint64 settingMsec(TaskScheduler& link) {
    if (link.pollMode() != PollMode::Fast || link.transport() != Transport::Serial)
        return link.writerTimer().interval();
    constexpr int kCommandBytes = 16, kQueryBytes = 8;
    const WireTiming& wire = link.wire();
    return std::max<qint64>(1, qint64(std::ceil(wire.bytesMsec(kCommandBytes + kQueryBytes +
                                                               WireTiming::kTypicalAnswerBytes) +
                                                2 * wire.turnaroundMsec())));
}

} // namespace

SessionSequence::SessionSequence(InstrumentSession& session, const Clock& clock, Waiter& waiter,
                                 QObject* parent)
    : QObject(parent), session_(session), runner_(target(), clock, waiter) {
    connect(&session_, &InstrumentSession::readingsChanged, &runner_,
            [this] { runner_.readingsArrived(); });
    connect(&session_, &InstrumentSession::stateChanged, &runner_, [this](ConnectionState state) {
        sessionStateChanged(session_, {}, state == ConnectionState::Ready);
        if (state == ConnectionState::OffLine)
            offOwed_.erase(&session_); // closed: whatever opens it next starts afresh
    });
    connect(&session_, &InstrumentSession::limitTripped, &runner_,
            [this] { runner_.stop(tr("A limit tripped.")); });
    // Each step's change is kept with a recording running, like a limit's.
    connect(&runner_, &SequenceRunner::stepStarted, this, [this](int step) {
        Recording* recording = session_.recording();
        if (!recording || !recording->engine().isRecording())
            return;
        const SequenceRunner::Progress p = runner_.progress();
        QString text = tr("Step %1 (%2 of %3)").arg(step + 1).arg(p.stepsRun).arg(p.stepsTotal);
        for (const SequenceCursor::BlockPass& b : p.passes)
            text += QStringLiteral(", %1 %2/%3").arg(b.path).arg(b.pass).arg(b.passes);
        recording->addStepEvent(step + 1, text + QStringLiteral(": ") + running_.describe(step));
    });
    connect(&runner_, &SequenceRunner::finished, this, [this] {
        for (const QMetaObject::Connection& c : peerWatch_)
            disconnect(c);
        peerWatch_.clear();
    });
}

void SessionSequence::sessionStateChanged(InstrumentSession& session, const QString& name,
                                          bool ready) {
    if (ready) {
        if (offOwed_.erase(&session))
            session.control().setOutput(false);
        return;
    }
    if (name.isEmpty())
        runner_.stop(tr("The link to the supply was lost."));
    else
        runner_.stop(tr("The link to %1 was lost.").arg(name));
}

void SessionSequence::outputOff(InstrumentSession& session) {
    if (session.isReady())
        session.control().setOutput(false);
    else
        offOwed_.insert(&session);
}

InstrumentSession* SessionSequence::sessionOf(const QString& supply) const {
    if (supply.isEmpty())
        return &session_;
    return peers_ ? peers_(supply) : nullptr;
}

SequenceRunner::Target SessionSequence::target() {
    using Q = EndCondition::Quantity;
    return {[this] {
                for (const Involved& s : involved_) {
                    if (!s.session)
                        return tr("%1 was removed from the bench").arg(s.name);
                    if (!s.session->isReady())
                        return s.name.isEmpty() ? tr("is off line")
                                                : tr("%1 is off line").arg(s.name);
                }
                return QString();
            },
            [this](const PlannedSet& set) {
                InstrumentSession* s = sessionOf(set.supply);
                // A setting the link's queue has no room for would be lost.
                if (!s || s->link().pendingCommands() >= TaskScheduler::kMaxPending - 2)
                    return false;
                if (set.what == PlannedSet::What::Output) {
                    s->control().setOutput(set.value != 0);
                    return true;
                }
                return s->control().setSetting(
                    set.channel - 1,
                    set.what == PlannedSet::What::Voltage ? Setting::Voltage : Setting::Current,
                    set.value);
            },
            [this](Q q, const QString& supply, int channel) -> std::optional<double> {
                const InstrumentSession* s = sessionOf(supply);
                const int c = channel - 1;
                if (!s || c < 0 || c >= s->supply().channelCount())
                    return std::nullopt;
                const ChannelState& state = s->supply().channel(c);
                switch (q) {
                case Q::Voltage:
                    return state.voltageRead ? state.voltage.value() : std::nullopt;
                case Q::Current:
                    return state.currentRead ? state.current.value() : std::nullopt;
                case Q::Charge:
                case Q::Energy:
                    if (c >= s->energy().channelCount())
                        return std::nullopt;
                    return q == Q::Charge ? s->energy().channel(c).charge()
                                          : s->energy().channel(c).energy();
                case Q::Elapsed:
                    break;
                }
                return std::nullopt;
            },
            [this] {
                for (const Involved& s : involved_)
                    if (s.session)
                        outputOff(*s.session);
            }};
}

bool SessionSequence::controls(const InstrumentSession& session) const {
    return running() && std::any_of(involved_.begin(), involved_.end(),
                                    [&](const Involved& s) { return s.session == &session; });
}

bool SessionSequence::running() const {
    return runner_.state() == SequenceRunner::State::Running ||
           runner_.state() == SequenceRunner::State::Paused;
}

std::optional<QString> SessionSequence::check(const Sequence& sequence,
                                              SequencePlan::Values* start) const {
    std::map<QString, SequenceLimits> bench;
    QStringList names = sequence.supplies();
    names.prepend(QString());
    for (const QString& name : names) {
        const InstrumentSession* s = sessionOf(name);
        if (!s)
            continue; // refused below, naming the step
        if (!s->isReady())
            return name.isEmpty() ? tr("The supply is off line.")
                                  : tr("The supply %1 is off line.").arg(name);
        const SupplyState& supply = s->supply();
        SequenceLimits& limits = bench[name];
        limits.channels = supply.channelCount();
        for (int c = 0; c < std::min(limits.channels, 4); ++c) {
            const ChannelState& state = supply.channel(c);
            const auto i = std::size_t(c);
            limits.maxVolt[i] = state.limits[std::size_t(Setting::Voltage)].maximum;
            limits.maxCurr[i] = state.limits[std::size_t(Setting::Current)].maximum;
            if (start)
                (*start)[name][i] = {state.settings[std::size_t(Setting::Voltage)],
                                     state.settings[std::size_t(Setting::Current)]};
        }
        // The user's upper limits on what a setting makes the supply show.
        for (const LimitRule& rule : s->limits().rules()) {
            const auto c = std::size_t(rule.channel - 1);
            if (!rule.upper || c >= 4)
                continue;
            std::optional<double>* user = rule.quantity == Quantity::Voltage   ? &limits.userVolt[c]
                                          : rule.quantity == Quantity::Current ? &limits.userCurr[c]
                                                                               : nullptr;
            if (user)
                *user = std::min(user->value_or(*rule.upper), *rule.upper);
        }
    }
    return sequence.refusal(bench);
}

std::optional<QString> SessionSequence::load(Sequence sequence) {
    if (running())
        return tr("A sequence runs already.");
    // Off line it is checked when it runs.
    if (session_.isReady())
        if (std::optional<QString> why = check(sequence, nullptr))
            return why;
    sequence_ = std::move(sequence);
    loaded_ = true;
    return std::nullopt;
}

std::optional<QString> SessionSequence::run(Sequence sequence, bool holdAtEnd) {
    if (std::optional<QString> why = load(std::move(sequence)))
        return why;
    return run(holdAtEnd);
}

void SessionSequence::watchPeers() {
    for (const Involved& s : involved_) {
        if (s.name.isEmpty() || !s.session)
            continue;
        InstrumentSession* peer = s.session.data();
        const QString name = s.name;
        peerWatch_.push_back(connect(peer, &InstrumentSession::readingsChanged, &runner_,
                                     [this] { runner_.readingsArrived(); }));
        peerWatch_.push_back(connect(peer, &InstrumentSession::stateChanged, &runner_,
                                     [this, peer, name](ConnectionState state) {
                                         sessionStateChanged(*peer, name,
                                                             state == ConnectionState::Ready);
                                     }));
        peerWatch_.push_back(
            connect(peer, &InstrumentSession::limitTripped, &runner_,
                    [this, name] { runner_.stop(tr("A limit of %1 tripped.").arg(name)); }));
        // Its owed output-off is sent when it comes back, after the run too.
        std::erase_if(offWatched_, [](const QPointer<InstrumentSession>& p) { return !p; });
        if (std::find(offWatched_.begin(), offWatched_.end(), peer) == offWatched_.end()) {
            offWatched_.push_back(peer);
            connect(peer, &InstrumentSession::stateChanged, this,
                    [this, peer](ConnectionState state) {
                        if (state == ConnectionState::Ready && offOwed_.erase(peer))
                            peer->control().setOutput(false);
                    });
        }
    }
}

std::optional<QString> SessionSequence::run(bool holdAtEnd) {
    if (running())
        return tr("A sequence runs already.");
    if (!loaded_)
        return tr("No sequence is loaded.");
    SequencePlan::Values start;
    if (std::optional<QString> why = check(sequence_, &start))
        return why;
    involved_ = {{QString(), &session_}};
    for (const QString& name : sequence_.supplies())
        if (InstrumentSession* s = sessionOf(name); s && s != &session_)
            involved_.push_back({name, s});
    // One command goes out a writer tick: a ramp's increment of several
    // values takes several, and a step holds at least as long as its
    // settings take to go out.
    qint64 tick = 1;
    for (const Involved& s : involved_)
        tick = std::max(tick, settingMsec(s.session->link()));
    running_ = sequence_;
    QStringList longer;
    qint64 perIncrement = 1;
    for (std::size_t i = 0; i < running_.steps.size(); ++i) {
        SequenceStep& st = running_.steps[i];
        qint64 values = 0, switches = 0;
        for (const ChannelSetting& set : st.channels) {
            values += (set.voltage ? 1 : 0) + (set.current ? 1 : 0);
            switches += set.output ? 1 : 0;
        }
        if (st.ramp)
            perIncrement = std::max(perIncrement, values);
        const qint64 least = tick * std::max<qint64>(1, st.ramp ? values : values + switches);
        if (st.dwellMs > 0 && st.dwellMs < least) {
            st.dwellMs = least;
            longer << QString::number(i + 1);
        }
    }
    notice_ = longer.isEmpty()
                  ? QString()
                  : tr("Held longer than written, as the link changes one setting every %2 "
                       "ms: step %1.")
                        .arg(longer.size() > 8 ? longer.mid(0, 8).join(QStringLiteral(", ")) +
                                                     QStringLiteral(", …")
                                               : longer.join(QStringLiteral(", ")))
                        .arg(tick);
    watchPeers();
    runner_.run(running_, tick * perIncrement, start, holdAtEnd);
    if (!notice_.isEmpty())
        emit noticed(notice_);
    return std::nullopt;
}

} // namespace trq
