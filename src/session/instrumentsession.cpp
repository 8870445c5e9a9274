#include "session/instrumentsession.h"

#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "link/transport.h"
#include "link/transportfactory.h"
#include "session/recording.h"

#include <cmath>

namespace trq {

InstrumentSession::InstrumentSession(Services s, QObject* parent)
    : QObject(parent), link_(s.link), database_(s.database), store_(s.store), prompter_(s.prompter),
      transports_(s.transports), machineTypes_(s.database), probe_(s.transports, s.link, s.waiter) {
    poll_.setInterval(kPollMsec);
    connect(&poll_, &QTimer::timeout, this, &InstrumentSession::pollTick);
    detection_.setInterval(kDetectionTimeoutMsec);
    detection_.setSingleShot(true);
    connect(&detection_, &QTimer::timeout, this, [this] {
        // Only a detection still running can time out.
        if (state_ == ConnectionState::Detecting)
            failDetection();
    });
    // The rest of a detection runs after the link's delivery has returned.
    handOver_.setInterval(kDetectionHandOverMsec);
    handOver_.setSingleShot(true);
    connect(&handOver_, &QTimer::timeout, this, &InstrumentSession::finishDetection);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &InstrumentSession::attemptReconnect);
    connect(&link_, &TaskScheduler::linkFailed, this, &InstrumentSession::linkFailed);
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
    detection_.stop();
    handOver_.stop();
    retry_.stop();
    if (recording_)
        recording_->engine().timer().stop();
    wait_.abandon();
    link_.setHost(nullptr);
    link_.clearTimeoutHandler();
}

QString InstrumentSession::interfaceText(InterfaceKind kind) {
    switch (kind) {
    case InterfaceKind::Serial:
        return QStringLiteral("RS232");
    case InterfaceKind::Gpib:
        return QStringLiteral("GPIB");
    case InterfaceKind::TestingMode:
        return QStringLiteral("Menu");
    case InterfaceKind::None:
        break;
    }
    return {};
}

InterfaceKind InstrumentSession::interfaceFromText(const QString& text) {
    for (InterfaceKind k : {InterfaceKind::Serial, InterfaceKind::Gpib, InterfaceKind::TestingMode})
        if (text == interfaceText(k))
            return k;
    return InterfaceKind::None;
}

QString InstrumentSession::interfaceDescription() const {
    switch (kind_) {
    case InterfaceKind::TestingMode:
        return tr("Testing mode");
    case InterfaceKind::Serial:
        return tr("RS-232 %1BPS / 8bits/None/1bits").arg(serialTarget_.baud);
    case InterfaceKind::Gpib:
        return tr("Interface: GPIB;Address:") +
               (gpibAddress_ >= 0 ? QStringLiteral(" ") : QString()) +
               QString::number(gpibAddress_);
    case InterfaceKind::None:
        break;
    }
    return {};
}

void InstrumentSession::reportStatus(const QString& text, int msec) {
    emit statusReport(text, msec);
}

// ---- Going on line -----------------------------------------------------------

bool InstrumentSession::mayOpenAnother() {
    if (state_ != ConnectionState::Ready && state_ != ConnectionState::Reconnecting)
        return true;
    if (prompter_.ask(text(Text::ResetAndOpen), text(Text::ReopenTitle), Prompter::Icon::Question,
                      Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return false;
    reset();
    return true;
}

bool InstrumentSession::openSerial(const SerialSettings& settings) {
    std::unique_ptr<SerialPort> port(transports_.createSerialPort(settings.port));
    port->setBaudRate(settings.baud);
    if (!port->open()) {
        // Nothing is sent anywhere else.
        const QString reason = port->errorString();
        trace(QStringLiteral("Cannot open ") + settings.port + QStringLiteral(": ") + reason);
        // The usual first-day problem on Linux: say what to do about it.
        const QString text =
            port->permissionDenied()
                ? tr("The serial port %1 cannot be opened: you have no permission to "
                     "use it. Serial ports belong to the group \"dialout\"; join it "
                     "with\n\n    sudo adduser %2 dialout\n\nthen log out and in "
                     "again.")
                      .arg(settings.port, qEnvironmentVariable("USER", QStringLiteral("$USER")))
                : tr("The serial port %1 cannot be opened: %2")
                      .arg(settings.port, reason.isEmpty() ? tr("unknown error") : reason);
        prompter_.message(text, {}, Prompter::Icon::Warning);
        return false;
    }
    link_.setSerialPort(port.release());
    serialTarget_ = settings;
    beginDetection(InterfaceKind::Serial, {});
    return true;
}

bool InstrumentSession::openGpib(const GpibSettings& settings) {
    GpibBoard* board = transports_.createGpibBoard(settings.simulatedModel);
    link_.setGpibBoard(board);
    gpibAddress_ = settings.address;
    gpibTarget_ = settings;
    if (!board->configure(settings.board, settings.address)) {
        // Without a driver there is nothing to detect on.
        prompter_.message(board->errorString(), {}, Prompter::Icon::Warning);
        return false;
    }
    beginDetection(InterfaceKind::Gpib, {});
    return true;
}

void InstrumentSession::openTestingMode(const QString& model) {
    beginDetection(InterfaceKind::TestingMode, model);
}

void InstrumentSession::beginDetection(InterfaceKind kind, const QString& model) {
    link_.clearQueues();
    link_.clearTimeoutHandler();
    state_ = ConnectionState::Detecting;
    kind_ = kind;
    serialNumber_.clear(); // a model chosen by hand has none
    emit stateChanged(state_);
    if (kind == InterfaceKind::TestingMode) {
        model_ = model;
        accept();
        return;
    }
    link_.setTransport(kind == InterfaceKind::Gpib ? Transport::Gpib : Transport::Serial);
    // Identify with LF whatever the previous supply's family used.
    link_.setSerialTerminator(kIdentifyLineEnd);
    link_.setTimeoutHandler(this, [this] {
        failDetection();
        emit statusText(text(Text::Timeout));
    });
    link_.enqueueQuery(queryText(family_, Operation::Identify), this,
                       [this](const QString& answer) { identified(answer); });
    detection_.start();
    emit statusText(text(Text::GettingMachineType));
}

void InstrumentSession::identified(const QString& answer) {
    emit statusText(answer);
    link_.clearTimeoutHandler();
    model_ = parseModel(answer);
    serialNumber_ = parseSerialNumber(answer);
    handOver_.start();
}

void InstrumentSession::finishDetection() {
    // The detection may have failed meanwhile (its timer, or a reset).
    if (state_ != ConnectionState::Detecting)
        return;
    if (machineTypes_.offeredModels().contains(model_))
        accept();
    else
        failDetection();
}

void InstrumentSession::failDetection() {
    detection_.stop();
    prompter_.message(text(Text::DetectionTimedOut));
    reset();
    endDetection();
}

void InstrumentSession::endDetection() {
    link_.clearQueues();
    link_.clearTimeoutHandler();
}

void InstrumentSession::accept() {
    detection_.stop();
    family_ = familyOf(model_);
    link_.setSerialTerminator(lineEnd(family_));
    state_ = ConnectionState::Ready;
    Settings::instance().setLastInterface(interfaceText(kind_));
    Settings::instance().setLastModel(model_);
    endDetection();
    setUpLayout();
    // A model chosen by hand sends nothing.
    link_.setRejectsTasks(kind_ != InterfaceKind::Serial && kind_ != InterfaceKind::Gpib);
    emit stateChanged(state_);
    queryInitialValues([this](bool cancelled) { initialValuesDone(cancelled); });
}

void InstrumentSession::initialValuesDone(bool cancelled) {
    if (cancelled) {
        trace("QueryInitialValues cancelled");
        reset();
        return;
    }
    // A timeout during the initial query has reset everything already.
    if (state_ != ConnectionState::Ready || !profile_)
        return;
    checkOutput();
    afterInitialQuery();
    emit initialValuesRead();
    trace("Q Ini OK");
}

void InstrumentSession::setUpLayout() {
    link_.setTimeoutHandler(this, [this] { operationTimedOut(); });
    const std::optional<MachineTypeRecord> record = machineTypes_.find(model_);
    profile_ = layoutProfile(record ? record->layout : 0);
    if (!profile_)
        return;
    channels_.assign(std::size_t(profile_->channels), ChannelState{});
    voltageSeen_.assign(channels_.size(), false);
    currentSeen_.assign(channels_.size(), false);
    for (int n = 1; n <= profile_->channels; ++n) {
        const MachineTypeRecord r = machineTypes_.forChannel(model_, n);
        ChannelState& c = channels_[std::size_t(n - 1)];
        c.limits = {EditLimits{r.maxVolt, r.stepVolt, r.fmtVolt},
                    EditLimits{r.maxCurr, r.stepCurr, r.fmtCurr},
                    EditLimits{r.maxOvp, r.stepOvp, r.fmtOvp}};
        // In the supply's own form, as its replies come: the windows show
        // them in the user's locale, the feed and the records as they are.
        c.voltage = Reading(wireNumber(0, QStringLiteral("0") + r.fmtVolt));
        c.current = Reading(wireNumber(0, QStringLiteral("0") + r.fmtCurr));
        // Readings further apart than three poll cycles are a gap.
        c.delivered.setLongestStep(
            std::max<qint64>(5000, 3 * qint64(profile_->pollCycle.size()) * kPollMsec));
    }
    for (const FixedLimit& f : profile_->fixedLimits) {
        ChannelState& c = channels_[std::size_t(f.channel - 1)];
        c.limits[std::size_t(Setting::Voltage)].maximum = f.maxVolt;
        c.limits[std::size_t(Setting::Current)].maximum = f.maxCurr;
    }
    readings_ = 0;
    // This supply's rules, none of a channel it lacks.
    std::vector<LimitRule> rules = LimitMonitor::load(model_, serialNumber_);
    std::erase_if(rules, [this](const LimitRule& r) { return r.channel > channelCount(); });
    limits_.setRules(std::move(rules));
    output_ = false;
    autoRun_ = false;
    coupling_ = Coupling::Independent;
    autoValues_ = {};
    pollCounter_ = 0;
    modeCode_ = profile_->followsStatus ? -1 : 0;
    sets_ = 0;
    setsEditable_ = false;
    warningPending_ = true;
    couplingChoice_ = true;
    settingsSeen_ = false;
    link_.setPollCycleLength(profile_->cycleQueries);
    link_.setPollCycleLimitMsec(0);
    if (recording_)
        recording_.release()->deleteLater();
    recording_ = std::make_unique<Recording>(*this, store_, prompter_, profile_->channels,
                                             recordingClock_, this);
    emit layoutChosen();
}

void InstrumentSession::queryInitialValues(LinkWait::Then then) {
    if ((kind_ != InterfaceKind::Serial && kind_ != InterfaceKind::Gpib) || !profile_) {
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
    link_.reset();
    kind_ = InterfaceKind::None;
    state_ = ConnectionState::OffLine;
    poll_.stop();
    handOver_.stop();
    retry_.stop();
    resyncing_ = false;
    if (recording_)
        recording_->engine().stop();
    emit stateChanged(state_);
    // The windows go with deleteLater when they see the state change; the
    // recording they show goes after them.
    if (recording_)
        recording_.release()->deleteLater();
    profile_ = nullptr;
    channels_.clear();
    limits_.setRules({}); // off line, no supply's rules apply
}

void InstrumentSession::operationTimedOut() {
    if (reconnect_ && state_ == ConnectionState::Ready &&
        (kind_ == InterfaceKind::Serial || kind_ == InterfaceKind::Gpib)) {
        startReconnecting();
        return;
    }
    prompter_.message(text(Text::OperationTimedOut), text(Text::TimeoutTitle));
    reset();
}

void InstrumentSession::linkFailed() {
    poll_.stop();
    for (ChannelState& c : channels_)
        c.delivered.interrupt();
    // A recording waits for the link to come back; the seconds without
    // readings record nothing.
    if (reconnect_ && state_ == ConnectionState::Ready)
        return;
    // Before any box: nothing may be recorded while the user reads it.
    if (recording_)
        recording_->engine().stop();
}

// ---- Polling -------------------------------------------------------------------

QString InstrumentSession::query(const QueryStep& step) const {
    return queryText(family_, step.operation, step.channel);
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
    if (!profile_ || state_ != ConnectionState::Ready)
        return;
    const QueryStep& step = pollStepAt(*profile_, pollCounter_);
    // A refused query (full queue) is tried again on the next tick. The
    // direct exchange is a serial line's; over GPIB the queue pairs the
    // replies.
    const bool direct = profile_->pollsByDirectExchange && kind_ == InterfaceKind::Serial;
    if (direct ? exchange(step) : ask(step))
        pollCounter_ = nextPollPosition(*profile_, pollCounter_);
}

void InstrumentSession::send(Operation operation, const CommandArgs& args) {
    link_.enqueueCommand(commandText(family_, operation, args));
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
