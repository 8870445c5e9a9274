#include "session/sessionsequence.h"

#include "session/instrumentsession.h"

#include <utility>

namespace trq {

SessionSequence::SessionSequence(InstrumentSession& session, const Clock& clock, Waiter& waiter,
                                 QObject* parent)
    : QObject(parent), session_(session), runner_(target(), clock, waiter) {
    connect(&session_, &InstrumentSession::readingsChanged, &runner_,
            [this] { runner_.readingsArrived(); });
    connect(&session_, &InstrumentSession::stateChanged, &runner_, [this](ConnectionState state) {
        if (state == ConnectionState::Ready) {
            if (std::exchange(offOwed_, false))
                session_.control().setOutput(false);
            return;
        }
        runner_.stop(tr("The link to the supply was lost."));
        if (state == ConnectionState::OffLine)
            offOwed_ = false; // closed: whatever opens it next starts afresh
    });
    connect(&session_, &InstrumentSession::limitTripped, &runner_,
            [this] { runner_.stop(tr("A limit tripped.")); });
}

SequenceRunner::Target SessionSequence::target() {
    using Q = EndCondition::Quantity;
    return {[this] { return session_.isReady() ? QString() : tr("is off line"); },
            [this](const PlannedSet& set) {
                // A setting the link's queue has no room for would be lost.
                if (session_.link().pendingCommands() >= TaskScheduler::kMaxPending - 2)
                    return false;
                if (set.what == PlannedSet::What::Output) {
                    session_.control().setOutput(set.value != 0);
                    return true;
                }
                return session_.control().setSetting(
                    set.channel - 1,
                    set.what == PlannedSet::What::Voltage ? Setting::Voltage : Setting::Current,
                    set.value);
            },
            [this](Q q, int channel) -> std::optional<double> {
                const int c = channel - 1;
                if (c < 0 || c >= session_.supply().channelCount())
                    return std::nullopt;
                const ChannelState& s = session_.supply().channel(c);
                switch (q) {
                case Q::Voltage:
                    return s.voltageRead ? s.voltage.value() : std::nullopt;
                case Q::Current:
                    return s.currentRead ? s.current.value() : std::nullopt;
                case Q::Charge:
                case Q::Energy:
                    if (c >= session_.energy().channelCount())
                        return std::nullopt;
                    return q == Q::Charge ? session_.energy().channel(c).charge()
                                          : session_.energy().channel(c).energy();
                case Q::Elapsed:
                    break;
                }
                return std::nullopt;
            },
            [this] {
                if (session_.isReady())
                    session_.control().setOutput(false);
                else
                    offOwed_ = true;
            }};
}

bool SessionSequence::running() const {
    return runner_.state() == SequenceRunner::State::Running ||
           runner_.state() == SequenceRunner::State::Paused;
}

std::optional<QString> SessionSequence::check(const Sequence& sequence,
                                              SequencePlan::Values* start) const {
    if (!session_.isReady())
        return tr("The supply is off line.");
    const SupplyState& supply = session_.supply();
    SequenceLimits limits;
    limits.channels = supply.channelCount();
    for (int c = 0; c < std::min(limits.channels, 4); ++c) {
        const ChannelState& s = supply.channel(c);
        const auto i = std::size_t(c);
        limits.maxVolt[i] = s.limits[std::size_t(Setting::Voltage)].maximum;
        limits.maxCurr[i] = s.limits[std::size_t(Setting::Current)].maximum;
        if (start)
            (*start)[i] = {s.settings[std::size_t(Setting::Voltage)],
                           s.settings[std::size_t(Setting::Current)]};
    }
    return sequence.refusal(limits);
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

std::optional<QString> SessionSequence::run(bool holdAtEnd) {
    if (running())
        return tr("A sequence runs already.");
    if (!loaded_)
        return tr("No sequence is loaded.");
    SequencePlan::Values start{};
    if (std::optional<QString> why = check(sequence_, &start))
        return why;
    // A ramp's increments come as fast as the link writes them: one command
    // a writer tick, so an increment of several values takes several.
    int perIncrement = 1;
    for (const SequenceStep& st : sequence_.steps)
        if (st.ramp) {
            int values = 0;
            for (const ChannelSetting& set : st.channels)
                values += (set.voltage ? 1 : 0) + (set.current ? 1 : 0);
            perIncrement = std::max(perIncrement, values);
        }
    runner_.run(sequence_, qint64(session_.link().writerTimer().interval()) * perIncrement, start,
                holdAtEnd);
    return std::nullopt;
}

} // namespace trq
