#include "session/instrumentsession.h"

#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "session/recording.h"

#include <cmath>

namespace trq {

InstrumentSession::InstrumentSession(Services s, QObject* parent)
    : QObject(parent), link_(s.link), database_(s.database), store_(s.store), prompter_(s.prompter),
      machineTypes_(s.database), connection_(s.link, s.prompter, s.transports, machineTypes_),
      state_(s.link.clock()), probe_(s.transports, s.link, s.waiter) {
    poll_.setInterval(kPollMsec);
    connect(&poll_, &QTimer::timeout, this, &InstrumentSession::pollTick);
    connect(&connection_, &SupplyConnection::stateChanged, this, &InstrumentSession::stateChanged);
    connect(&connection_, &SupplyConnection::statusText, this, &InstrumentSession::statusText);
    connect(&connection_, &SupplyConnection::modelAccepted, this, &InstrumentSession::setUpLayout);
    connect(&connection_, &SupplyConnection::onLine, this, [this] {
        queryInitialValues([this](bool cancelled) { initialValuesDone(cancelled); });
    });
    connect(&connection_, &SupplyConnection::cameBack, this,
            &InstrumentSession::resumeAfterReconnect);
    connect(&connection_, &SupplyConnection::dropped, this, &InstrumentSession::reset);
    connect(&link_, &TaskScheduler::linkFailed, this, &InstrumentSession::linkFailed);
    connect(&state_, &SupplyState::readingTaken, this, &InstrumentSession::watchLimits);
    connect(&state_, &SupplyState::readingsChanged, this, &InstrumentSession::readingsChanged);
    connect(&state_, &SupplyState::settingChanged, this, &InstrumentSession::settingChanged);
    connect(&state_, &SupplyState::overCurrentChanged, this,
            &InstrumentSession::overCurrentChanged);
    connect(&state_, &SupplyState::autoRunValuesChanged, this,
            &InstrumentSession::autoRunValuesChanged);
    connect(&state_, &SupplyState::deliveredChanged, this, &InstrumentSession::deliveredChanged);
    link_.setHost(this);
    link_.setSerialTerminator(kIdentifyLineEnd);
    recordSetup_.load();
    // Limits follow the supply that comes on line (setUpLayout); rules from
    // before they did go to the last connection's model.
    const QString adopted = LimitMonitor::adoptUnassigned(Settings::instance().lastModel());
    if (!adopted.isEmpty())
        trace(adopted);
}

InstrumentSession::~InstrumentSession() {
    // Nothing of this session may run once its teardown has begun.
    poll_.stop();
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
    const bool wasOn = outputOn();
    resyncing_ = true;
    queryInitialValues([this, wasOn](bool cancelled) {
        resyncing_ = false;
        if (cancelled || !isReady())
            return;
        checkOutput();
        afterInitialQuery();
        if (wasOn && !outputOn()) {
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
    if (state() != ConnectionState::Ready && state() != ConnectionState::Reconnecting)
        return true;
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
    checkOutput();
    afterInitialQuery();
    emit initialValuesRead();
    trace("Q Ini OK");
}

void InstrumentSession::setUpLayout() {
    const QString model = connection_.model();
    const std::optional<MachineTypeRecord> record = machineTypes_.find(model);
    profile_ = layoutProfile(record ? record->layout : 0);
    if (!profile_)
        return;
    // Readings further apart than three poll cycles are a gap.
    state_.setUp(*profile_, machineTypes_, model,
                 std::max<qint64>(5000, 3 * qint64(profile_->pollCycle.size()) * kPollMsec));
    // This supply's rules, none of a channel it lacks.
    std::vector<LimitRule> rules = LimitMonitor::load(model, connection_.serialNumber());
    std::erase_if(rules, [this](const LimitRule& r) { return r.channel > channelCount(); });
    limits_.setRules(std::move(rules));
    pollCounter_ = 0;
    modeCode_ = profile_->followsStatus ? -1 : 0;
    setsEditable_ = false;
    warningPending_ = true;
    couplingChoice_ = true;
    link_.setPollCycleLength(profile_->cycleQueries);
    link_.setPollCycleLimitMsec(0);
    if (recording_)
        recording_.release()->deleteLater();
    recording_ = std::make_unique<Recording>(*this, store_, prompter_, profile_->channels,
                                             recordingClock_, this);
    emit layoutChosen();
}

void InstrumentSession::queryInitialValues(LinkWait::Then then) {
    if (!connection_.talks() || !profile_) {
        then(false);
        return;
    }
    suspendOutput_ = true;
    queryingInitial_ = true;
    for (const QueryStep& step : profile_->initialQueries)
        ask(step);
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
            suspendOutput_ = false;
            queryingInitial_ = false;
            then(cancelled);
        });
}

void InstrumentSession::afterInitialQuery() {
    link_.setPollCycleLimitMsec(Settings::instance().readTimeSeconds() * 1000);
}

void InstrumentSession::reset() {
    wait_.abandon();
    suspendOutput_ = false;
    queryingInitial_ = false;
    connection_.close();
    poll_.stop();
    resyncing_ = false;
    if (recording_)
        recording_->engine().stop();
    emit stateChanged(state());
    // The windows go with deleteLater when they see the state change; the
    // recording they show goes after them.
    if (recording_)
        recording_.release()->deleteLater();
    profile_ = nullptr;
    state_.clear();
    limits_.setRules({}); // off line, no supply's rules apply
}

void InstrumentSession::linkFailed() {
    poll_.stop();
    state_.interruptDelivered();
    // A recording waits for the link to come back; the seconds without
    // readings record nothing.
    if (connection_.reconnects() && isReady())
        return;
    // Before any box: nothing may be recorded while the user reads it.
    if (recording_)
        recording_->engine().stop();
}

// ---- Polling -------------------------------------------------------------------

QString InstrumentSession::query(const QueryStep& step) const {
    return queryText(family(), step.operation, step.channel);
}

bool InstrumentSession::ask(const QueryStep& step) {
    return link_.enqueueQuery(query(step), this, handlerFor(step));
}

bool InstrumentSession::exchange(const QueryStep& step) {
    // The direct exchange hands over raw lines: a value must carry its unit
    // letter; the status goes whole.
    const bool voltage =
        step.operation == Operation::MeasuredVoltage || step.operation == Operation::Voltage;
    const QChar unit = voltage ? QLatin1Char('V') : QLatin1Char('A');
    const bool whole = step.operation == Operation::Status;
    ReplyHandler handler = handlerFor(step);
    return link_.exchangeNow(query(step), this, [whole, unit, handler](const QString& reply) {
        if (whole) {
            handler(reply);
        } else if (const std::optional<QString> value = readingOf(reply, unit)) {
            handler(*value);
        }
    });
}

void InstrumentSession::pollTick() {
    if (!profile_ || !isReady())
        return;
    const QueryStep& step = pollStepAt(*profile_, pollCounter_);
    // A refused query (full queue) is tried again on the next tick. The
    // direct exchange is a serial line's; over GPIB the queue pairs the
    // replies.
    const bool direct = profile_->pollsByDirectExchange && interfaceKind() == InterfaceKind::Serial;
    if (direct ? exchange(step) : ask(step))
        pollCounter_ = nextPollPosition(*profile_, pollCounter_);
}

void InstrumentSession::send(Operation operation, const CommandArgs& args) {
    link_.enqueueCommand(commandText(family(), operation, args));
}

void InstrumentSession::queryAutoRange() {
    if (!profile_ || !profile_->autoRunAndMemories)
        return;
    for (Operation op : {Operation::AutoStart, Operation::AutoEnd, Operation::AutoCycle})
        ask({op, 0});
}

void InstrumentSession::queryDelay() {
    if (profile_ && profile_->autoRunAndMemories)
        ask({Operation::AutoDelay, 0});
}

void InstrumentSession::queryMemory() {
    if (profile_ && profile_->autoRunAndMemories)
        ask({Operation::Memory, 0});
}

} // namespace trq
