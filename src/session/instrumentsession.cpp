#include "session/instrumentsession.h"

#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "session/recording.h"
#include "session/sessionsequence.h"

#include <cmath>

namespace trq {

InstrumentSession::InstrumentSession(Services s, QObject* parent)
    : QObject(parent), link_(s.link), database_(s.database), store_(s.store), prompter_(s.prompter),
      machineTypes_(s.database), connection_(s.link, s.prompter, s.transports, machineTypes_),
      state_(s.link.clock()), energy_(state_), limits_(state_, energy_),
      probe_(s.transports, s.link, s.waiter), recordingClock_(s.recordingClock),
      poll_(s.link, connection_, state_,
            [this](const QueryStep& step) { return replies_.handlerFor(step); }),
      control_({link_, connection_, state_, energy_, limits_.monitor(), prompter_, poll_.timer(),
                [this](const QueryStep& step) { return poll_.ask(step); }}),
      replies_(state_, control_, prompter_,
               [this](const QueryStep& step) { return poll_.ask(step); }),
      memories_({link_, connection_, state_, control_, wait_, poll_.timer(),
                 [this](const QueryStep& step) { return poll_.ask(step); },
                 [this](LinkWait::Then then) { queryInitialValues(std::move(then)); }}) {
    connect(&connection_, &SupplyConnection::stateChanged, this, &InstrumentSession::stateChanged);
    connect(&connection_, &SupplyConnection::statusText, this, &InstrumentSession::statusText);
    connect(&connection_, &SupplyConnection::modelAccepted, this, &InstrumentSession::setUpLayout);
    connect(&connection_, &SupplyConnection::onLine, this, [this] {
        queryInitialValues([this](bool cancelled) { initialValuesDone(cancelled); });
    });
    connect(&connection_, &SupplyConnection::cameBack, this,
            &InstrumentSession::resumeAfterReconnect);
    connect(&connection_, &SupplyConnection::dropped, this,
            [this] { reset(tr("The link to the supply was lost.")); });
    connect(&link_, &TaskScheduler::linkFailed, this, &InstrumentSession::linkFailed);
    // What observes readings: the delivered energy first, so that the limits
    // see the charge and energy with the reading that closed a step.
    connect(&state_, &SupplyState::readingTaken, &energy_, &DeliveredEnergy::take);
    connect(&state_, &SupplyState::readingTaken, &limits_, &LimitWatch::take);
    connect(&limits_, &LimitWatch::tripped, this, &InstrumentSession::limitTrip);
    connect(&state_, &SupplyState::readingsChanged, this, &InstrumentSession::readingsChanged);
    connect(&state_, &SupplyState::settingChanged, this, &InstrumentSession::settingChanged);
    connect(&state_, &SupplyState::overCurrentChanged, this,
            &InstrumentSession::overCurrentChanged);
    connect(&state_, &SupplyState::autoRunValuesChanged, this,
            &InstrumentSession::autoRunValuesChanged);
    connect(&energy_, &DeliveredEnergy::deliveredChanged, this,
            &InstrumentSession::deliveredChanged);
    connect(&control_, &SupplyControl::outputChanged, this, &InstrumentSession::outputChanged);
    connect(&control_, &SupplyControl::couplingChanged, this, &InstrumentSession::couplingChanged);
    connect(&control_, &SupplyControl::autoRunChanged, this, &InstrumentSession::autoRunChanged);
    connect(&control_, &SupplyControl::setsChanged, this, &InstrumentSession::setsChanged);
    connect(&control_, &SupplyControl::locksChanged, this, &InstrumentSession::locksChanged);
    connect(&control_, &SupplyControl::limitsChanged, this, &InstrumentSession::limitsChanged);
    link_.setHost(this);
    link_.setSerialTerminator(kIdentifyLineEnd);
    poll_.setMode(Settings::instance().pollMode());
    sequence_ = std::make_unique<SessionSequence>(*this, link_.clock(), s.waiter);
    recordSetup_.load();
    // Limits follow the supply that comes on line (setUpLayout); rules from
    // before they did go to the last connection's model.
    const QString adopted = LimitMonitor::adoptUnassigned(Settings::instance().lastModel());
    if (!adopted.isEmpty())
        trace(adopted);
}

InstrumentSession::~InstrumentSession() {
    sequence_->runner().stop(tr("The program was closed."));
    // Nothing of this session may run once its teardown has begun.
    poll_.timer().stop();
    if (recording_)
        recording_->engine().timer().stop();
    wait_.abandon();
    link_.setHost(nullptr);
    link_.clearTimeoutHandler();
}

void InstrumentSession::resumeAfterReconnect() {
    // The next point follows the seconds without readings.
    if (recording_)
        recording_->engine().markGap();
    // The supply's state is read back and shown; nothing is sent back.
    const bool wasOn = state_.outputOn();
    replies_.setResyncing(true);
    queryInitialValues([this, wasOn](bool cancelled) {
        replies_.setResyncing(false);
        if (cancelled || !isReady())
            return;
        control_.checkOutput();
        afterInitialQuery();
        if (wasOn && !state_.outputOn()) {
            // Power-cycled, most likely: nobody switches it on unasked, but
            // the user must know that nothing is measured now.
            trace("Reconnected: the supply's output is off");
            emit statusText(tr("The supply came back with its output off"));
            emit cameBackWithOutputOff();
        }
    });
}

void InstrumentSession::reportStatus(const QString& text, int msec) {
    emit statusReport(text, msec);
}

// ---- Going on line -----------------------------------------------------------

bool InstrumentSession::mayOpenAnother() {
    if (connection_.state() != ConnectionState::Ready &&
        connection_.state() != ConnectionState::Reconnecting)
        return true;
    // Its outputs-off would not leave a link closed at once.
    if (sequence_->running()) {
        prompter_.message(tr("A sequence is running on this supply: stop it first."), {},
                          Prompter::Icon::Information);
        return false;
    }
    if (prompter_.ask(text(Text::ResetAndOpen), text(Text::ReopenTitle), Prompter::Icon::Question,
                      Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return false;
    reset();
    return true;
}

void InstrumentSession::initialValuesDone(bool cancelled) {
    if (cancelled) {
        trace("QueryInitialValues cancelled");
        reset();
        return;
    }
    // A timeout during the initial query has reset everything already.
    if (!isReady() || !profile_)
        return;
    control_.checkOutput();
    afterInitialQuery();
    emit initialValuesRead();
    trace("Q Ini OK");
}

void InstrumentSession::setUpLayout() {
    const QString model = connection_.model();
    const std::optional<MachineTypeRecord> record = machineTypes_.find(model);
    profile_ = layoutProfile(record ? record->layout : 0);
    poll_.setUp(profile_);
    control_.setUp(profile_);
    memories_.setUp(profile_);
    if (!profile_)
        return;
    state_.setUp(*profile_, machineTypes_, model);
    // Readings further apart than three poll cycles are a gap.
    energy_.setUp(profile_->channels,
                  std::max<qint64>(5000, 3 * qint64(profile_->pollCycle.size()) * kPollMsec));
    // This supply's rules, none of a channel it lacks.
    std::vector<LimitRule> rules = LimitMonitor::load(model, connection_.serialNumber());
    std::erase_if(rules, [this](const LimitRule& r) { return r.channel > state_.channelCount(); });
    limits_.monitor().setRules(std::move(rules));
    link_.setPollCycleLength(profile_->cycleQueries);
    link_.setPollCycleLimitMsec(0);
    if (recording_)
        recording_.release()->deleteLater();
    recording_ = std::make_unique<Recording>(*this, store_, prompter_, profile_->channels,
                                             recordingClock_, this);
    recording_->setArchive(archive_);
    emit layoutChosen();
}

void InstrumentSession::setRecordArchive(RecordArchive* archive) {
    archive_ = archive;
    if (recording_)
        recording_->setArchive(archive);
}

void InstrumentSession::queryInitialValues(LinkWait::Then then) {
    if (!connection_.talks() || !profile_) {
        then(false);
        return;
    }
    control_.setQuerying(true);
    for (const QueryStep& step : profile_->initialQueries)
        poll_.ask(step);
    const int queued = std::max(link_.pendingQueries(), 1);
    wait_.start(
        text(Text::QueryingTitle), text(Text::QueryingInitialValues),
        [this, queued]() -> std::optional<WaitProgress> {
            const int left = link_.pendingQueries();
            if (left == 0)
                return std::nullopt;
            const auto secs =
                static_cast<long long>(std::floor(link_.maxResponseTimeSec() * left + 2));
            return WaitProgress{std::max(queued - left, 0), queued,
                                tr("Remaining about %1 secs...").arg(secs)};
        },
        [this, then = std::move(then)](bool cancelled) {
            control_.setQuerying(false);
            then(cancelled);
        });
}

void InstrumentSession::afterInitialQuery() {
    link_.setPollCycleLimitMsec(Settings::instance().readTimeSeconds() * 1000);
}

void InstrumentSession::reset(const QString& why) {
    // Its output off goes out while the link is there.
    sequence_->runner().stop(why.isEmpty() ? tr("The supply was reset.") : why);
    wait_.abandon();
    control_.setQuerying(false);
    connection_.close();
    poll_.timer().stop();
    replies_.setResyncing(false);
    if (recording_)
        recording_->engine().stop();
    emit stateChanged(connection_.state());
    // The windows go with deleteLater when they see the state change; the
    // recording they show goes after them.
    if (recording_)
        recording_.release()->deleteLater();
    profile_ = nullptr;
    poll_.setUp(nullptr);
    control_.setUp(nullptr);
    memories_.setUp(nullptr);
    state_.clear();
    energy_.setUp(0, 0);
    limits_.monitor().setRules({}); // off line, no supply's rules apply
}

void InstrumentSession::linkFailed() {
    poll_.timer().stop();
    energy_.interrupt();
    // A recording waits for the link to come back; the seconds without
    // readings record nothing.
    if (connection_.reconnects() && isReady())
        return;
    // Before any box: nothing may be recorded while the user reads it.
    if (recording_)
        recording_->engine().stop();
}

// ---- Polling -------------------------------------------------------------------

void InstrumentSession::setReadTime(int seconds) {
    link_.setPollCycleLimitMsec(seconds * 1000);
}

} // namespace trq
