#include "link/taskscheduler.h"

#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/prompter.h"
#include "link/transport.h"

#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QTimer>

#include <cmath>
#include <tuple>

namespace trq {

namespace {

bool endsWithLineEnd(const QByteArray& text) {
    return !text.isEmpty() && (text.back() == '\n' || text.back() == '\r');
}

int advance(int index) {
    return (index + 1) % TaskScheduler::kQueueSize;
}

bool isQuery(const QString& text) {
    return text.contains(QLatin1Char('?'));
}

} // namespace

TaskScheduler::TaskScheduler(Services services, QObject* parent)
    : QObject(parent), clock_(services.clock), prompter_(services.prompter) {
    setObjectName(QStringLiteral("TaskScheduler"));
    writerTimer_.setInterval(kWriterIntervalMsec);
    connect(&writerTimer_, &QTimer::timeout, this, [this] { writerTick(writerTimer_.interval()); });
    responseTimer_.setInterval(kWriterIntervalMsec);
    exchangeTimer_.setSingleShot(true);
    exchangeTimer_.setTimerType(Qt::PreciseTimer);
    connect(&exchangeTimer_, &QTimer::timeout, this, &TaskScheduler::exchangeTimedOut);
    quietTimer_.setSingleShot(true);
    quietTimer_.setTimerType(Qt::PreciseTimer);
    connect(&quietTimer_, &QTimer::timeout, this, &TaskScheduler::runFree);
    writerTimer_.start();
}

TaskScheduler::~TaskScheduler() = default;

void TaskScheduler::setSerialPort(SerialPort* port) {
    delete serial_;
    serial_ = port;
    serialLost_ = false;
    silentQueries_ = 0;
    dropSerialExchange();
    if (serial_) {
        serial_->setParent(this);
        connect(serial_, &SerialPort::lost, this, &TaskScheduler::onSerialLost);
        connect(serial_, &SerialPort::readyRead, this, &TaskScheduler::onSerialReadyRead);
    }
}

void TaskScheduler::setGpibBoard(GpibBoard* board) {
    delete gpib_;
    gpib_ = board;
    if (gpib_) {
        gpib_->setParent(this);
        connect(gpib_, &GpibBoard::writeComplete, this, &TaskScheduler::onGpibWriteComplete);
        connect(gpib_, &GpibBoard::dataRead, this, &TaskScheduler::onGpibDataRead);
        connect(gpib_, &GpibBoard::error, this, &TaskScheduler::onGpibError);
    }
}

void TaskScheduler::setPollCycleLimitMsec(int msec) {
    cycleLimitMsec_ = std::max(msec, 0);
}

int TaskScheduler::pendingIn(int size, int insertIndex, int removeIndex) {
    return insertIndex >= removeIndex ? insertIndex - removeIndex
                                      : insertIndex + size - removeIndex;
}

bool TaskScheduler::linkOpen() const {
    // A link with neither transport chosen (off line, or a model chosen by
    // hand) takes nothing.
    return !rejectsTasks_ && transport_ != Transport::None;
}

void TaskScheduler::put(Queue& queue, int& insertIndex, int& count, Task task) {
    queue[std::size_t(insertIndex)] = std::move(task);
    insertIndex = advance(insertIndex);
    ++count;
}

bool TaskScheduler::enqueueQuery(const QString& text, QObject* receiver, ReplyHandler onReply) {
    trace(QStringLiteral("ExecQueryTask:") + QString::number(pendingQueries_));
    if (!linkOpen())
        return false;
    if (pendingQueries_ >= kMaxPending) {
        trace(QStringLiteral("Q overflowed, just dropped:") + text);
        return false;
    }
    trace(QStringLiteral("ExecQueryTask ") + text);
    Task t;
    t.text = text;
    t.expectsReply = true;
    t.receiver = receiver;
    t.hasReceiver = receiver != nullptr;
    t.onReply = std::move(onReply);
    put(queries_, queryInsert_, pendingQueries_, std::move(t));
    kick();
    return true;
}

void TaskScheduler::enqueueCommand(const QString& text) {
    if (!linkOpen())
        return;
    if (pendingCommands_ >= kMaxPending) {
        trace(QStringLiteral("C overflowed, just dropped it:") + text);
        return;
    }
    trace(QStringLiteral("ExecCmdTask ") + text);
    Task t;
    t.text = text;
    put(commands_, commandInsert_, pendingCommands_, std::move(t));
    kick();
}

bool TaskScheduler::exchangeNow(const QString& text, QObject* receiver,
                                const ReplyHandler& onReply) {
    // One exchange on the line at a time, and never ahead of a command that
    // was asked for first (a reading taken before an output change it
    // follows would mix the two states).
    if (consumerBusy_ != 0 || opMode_ != OpMode::Idle || serialExchange_ || queryInFlight_ ||
        commandInFlight_ || pendingCommands_ > 0 || !linkOpen()) {
        trace(QStringLiteral("ExecQueryTask7206 busy: ") + text);
        return true;
    }
    startSerialExchange(text, Asker::Direct, receiver, onReply);
    return true;
}

void TaskScheduler::setTimeoutHandler(QObject* receiver, std::function<void()> handler) {
    timeoutReceiver_ = receiver;
    timeoutHandler_ = std::move(handler);
}

void TaskScheduler::clearTimeoutHandler() {
    timeoutReceiver_ = nullptr;
    timeoutHandler_ = nullptr;
}

void TaskScheduler::timeOut() {
    queryInFlight_ = false;
    commandInFlight_ = false;
    if (timeoutReceiver_ && timeoutHandler_) {
        const std::function<void()> handler = timeoutHandler_;
        handler();
    }
    reset();
}

void TaskScheduler::clearQueues() {
    dropSerialExchange();
    queryInsert_ = queryRemove_ = 0;
    commandInsert_ = commandRemove_ = 0;
    pendingQueries_ = pendingCommands_ = 0;
    replies_.clear();
    lastWriteWasCommand_ = false;
    ++resetEpoch_;
}

void TaskScheduler::cancelQueuedQueries() {
    for (Task& t : queries_)
        t.cancelled = true;
}

void TaskScheduler::beginDrain() {
    rejectedBeforeDrain_ = rejectsTasks_;
    rejectsTasks_ = true;
}

void TaskScheduler::endDrain() {
    clearQueues();
    rejectsTasks_ = rejectedBeforeDrain_;
}

void TaskScheduler::reset() {
    clearQueues();
    if (gpib_)
        gpib_->reset();
    clearTimeoutHandler();
    opMode_ = OpMode::Idle;
    queryInFlight_ = false;
    commandInFlight_ = false;
    rejectsTasks_ = false;
    lastQuietMsec_ = -1;
    maxResponseMsec_ = 0;
    cycleQueries_ = 0;
    cycleSpentMsec_ = 0;
}

void TaskScheduler::timeoutWithMessage(const QString& text) {
    if (inTimeout_)
        return;
    inTimeout_ = true;
    emit linkFailed();
    if (!text.isEmpty()) {
        if (quietFailures_)
            trace(QStringLiteral("Link failure: ") + text);
        else
            prompter_.message(text);
    }
    timeOut();
    inTimeout_ = false;
}

void TaskScheduler::writerTick(int intervalMsec) {
    if (lastQuietMsec_ < 0)
        lastQuietMsec_ = qint64(clock_.nowSec() * 1000.0);

    // An answer whose time is up ends its exchange before anything new is
    // written. Its time is counted in ticks, as the poll cycle's is.
    if (serialExchange_) {
        serialExchange_->waitedMsec += intervalMsec;
        collectSerialAnswer();
    }

    // A vanished (or, counted above, silent) serial device ends like an
    // operation that never completes, but at once, before anything more is
    // written, and only between consumer runs.
    if (serialLost_ && consumerBusy_ == 0 && !inTimeout_) {
        serialLost_ = false;
        trace("Serial link lost, reset");
        timeoutWithMessage({});
        return;
    }
    // Polling fast, the line's quiet after an exchange gave up holds for
    // the tick as well.
    if (pollMode_ != PollMode::Fast || !quietTimer_.isActive())
        consume();

    const qint64 now = qint64(clock_.nowSec() * 1000.0);
    if (queryInFlight_ || commandInFlight_) {
        responseMsec_ = now - lastQuietMsec_;
        maxResponseMsec_ = std::max(maxResponseMsec_, responseMsec_);
        if (responseMsec_ > kTimeoutMsec && !inTimeout_) {
            timeoutWithMessage(QString::number(responseTimeSec()));
            return;
        }
    } else {
        lastQuietMsec_ = now;
    }
    watchPollCycle(intervalMsec);
    // Fast polling goes on from here when nothing has set it going since.
    kick();
}

void TaskScheduler::watchPollCycle(int intervalMsec) {
    if (!host_ || !host_->pollActive()) {
        cycleQueries_ = 0;
        cycleSpentMsec_ = 0;
        return;
    }
    if (cycleQueries_ < cycleLength_) {
        cycleSpentMsec_ += intervalMsec;
    } else {
        cycleQueries_ = 0;
        cycleSpentMsec_ = 0;
    }
    if (cycleLimitMsec_ <= 0) {
        cycleSpentMsec_ = 0;
    } else if (cycleSpentMsec_ > cycleLimitMsec_) {
        host_->reportStatus(tr("Read Times Failed!"), 2000);
        cycleSpentMsec_ = 0;
    }
}

void TaskScheduler::consume() {
    consumeCommand();
    consumeQuery();
}

void TaskScheduler::deliver(Task& t) {
    const QString reply = t.reply.value_or(QString());
    if (!t.onReply || (t.hasReceiver && !t.receiver)) {
        trace(QStringLiteral("no target for ") + t.text);
        return;
    }
    t.onReply(reply);
}

void TaskScheduler::consumeQuery() {
    if (commandInFlight_ || consumerBusy_ != 0)
        return;
    consumerBusy_ = 1;
    if (queryRemove_ != queryInsert_) {
        Task& t = queries_[std::size_t(queryRemove_)];
        if (transport_ == Transport::Gpib) {
            consumeGpibQuery(t);
            if (consumerBusy_ == 0) // left waiting for the transport
                return;
        } else if (transport_ == Transport::Serial) {
            consumeSerialQuery(t);
        }
    }
    consumerBusy_ -= 1;
    trace(queryConsumerRuns_ == 0 ? QStringLiteral("Q-")
                                  : QStringLiteral("Q-") + QString::number(queryConsumerRuns_));
    ++queryConsumerRuns_;
}

void TaskScheduler::consumeGpibQuery(Task& t) {
    for (;;) {
        switch (t.state) {
        case TaskState::Setup:
            trace("Q setup");
            if (t.cancelled) {
                t.state = TaskState::Finished;
                continue;
            }
            t.state = TaskState::WaitWrite;
            if (!t.expectsReply)
                continue;
            return; // a query that expects a reply is written on the next tick
        case TaskState::WaitWrite:
            if (!writeGpibQuery(t))
                return;
            continue;
        case TaskState::WaitReply:
            trace("Q waitrsp");
            if (!t.expectsReply) {
                t.state = TaskState::Finished;
                continue;
            }
            if (replies_.count() == 0)
                return;
            t.reply = replies_.pop();
            if (t.cancelled)
                trace("query paired but cancelled");
            else
                trace(QStringLiteral("query paired:'") + t.text + QStringLiteral("' '") + *t.reply +
                      QLatin1Char('\''));
            t.state = TaskState::WaitCall;
            continue;
        case TaskState::WaitCall: {
            trace("Q waitcall");
            if (t.cancelled) {
                t.state = TaskState::Finished;
                continue;
            }
            const quint64 epoch = resetEpoch_;
            deliver(t);
            trace("Q x called");
            if (epoch != resetEpoch_) // the receiver reset the link
                return;
            t.state = TaskState::Finished;
            continue;
        }
        case TaskState::Finished:
            trace("Q finished");
            finishQuery(t);
            return;
        }
    }
}

bool TaskScheduler::writeGpibQuery(Task& t) {
    trace("Q waitwrite");
    if (t.cancelled) {
        t.state = TaskState::Finished;
        return true;
    }
    if (opMode_ != OpMode::Idle) {
        // The transport is busy: the consumer gives up its turn.
        trace(QStringLiteral("OpMode ") + QString::number(int(opMode_)));
        consumerBusy_ -= 1;
        trace("QueryWaitWriteErrorWait");
        return false;
    }
    queryInFlight_ = true;
    lastWriteWasCommand_ = false;
    if (gpib_)
        gpib_->writeAsync(t.text.toLatin1());
    opMode_ = OpMode::Writing;
    trace("opmode = 1");
    t.state = TaskState::WaitReply;
    return true;
}

void TaskScheduler::consumeSerialQuery(Task& t) {
    // The exchange on the line (a direct one too) is answered first.
    if (serialExchange_)
        return;
    if (isQuery(t.text)) {
        queryInFlight_ = true;
        lastWriteWasCommand_ = false;
        // It may be answered at once; the rest follows with its answer.
        startSerialExchange(t.text, Asker::Query);
        return;
    }
    // Nothing to pair: send it as a command and go on.
    sendSerial(t.text);
    if (t.cancelled)
        replies_.clear();
    if (cycleQueries_ < cycleLength_)
        ++cycleQueries_;
    queryRemove_ = advance(queryRemove_);
    pendingQueries_ = pendingIn(kQueueSize, queryInsert_, queryRemove_);
    opMode_ = OpMode::Idle;
}

// The answer of the query at the head of the queue, or nothing when none
// came in time.
void TaskScheduler::finishSerialQuery(const QByteArray& answer) {
    Task& t = queries_[std::size_t(queryRemove_)];
    const quint64 epoch = resetEpoch_;
    replies_.feed(answer);
    if (answer.trimmed().isEmpty() || replies_.count() == 0) {
        // A lost device is reported once, by the timeout procedure.
        if (answer.trimmed().isEmpty() && !serialLost_)
            noAnswer();
    } else {
        silentQueries_ = 0;
        t.reply = replies_.pop();
        // A cancelled query's answer is of a state that has changed since.
        if (t.cancelled) {
            trace("query paired but cancelled");
        } else {
            deliver(t);
            trace("Q x called");
        }
    }
    if (epoch != resetEpoch_)
        return;
    if (t.cancelled)
        replies_.clear();
    queryInFlight_ = false;
    if (cycleQueries_ < cycleLength_)
        ++cycleQueries_;
    queryRemove_ = advance(queryRemove_);
    pendingQueries_ = pendingIn(kQueueSize, queryInsert_, queryRemove_);
}

void TaskScheduler::finishQuery(Task& t) {
    if (t.cancelled)
        replies_.clear();
    queryInFlight_ = false;
    if (cycleQueries_ < cycleLength_)
        ++cycleQueries_;
    queryRemove_ = advance(queryRemove_);
    pendingQueries_ = pendingIn(kQueueSize, queryInsert_, queryRemove_);
}

void TaskScheduler::consumeCommand() {
    if (queryInFlight_ || consumerBusy_ != 0)
        return;
    consumerBusy_ = 1;
    trace("C+");
    const quint64 epoch = resetEpoch_;
    bool running = commandRemove_ != commandInsert_;
    while (running) {
        Task& t = commands_[std::size_t(commandRemove_)];
        switch (t.state) {
        case TaskState::Setup:
            trace("C Setup");
            if (t.cancelled) {
                t.state = TaskState::Finished;
                break;
            }
            t.state = TaskState::WaitWrite;
            running = !t.expectsReply;
            break;
        case TaskState::WaitWrite:
            switch (writeCommand(t, epoch)) {
            case Step::Continue:
                break;
            case Step::Stop:
                running = false;
                break;
            case Step::Leave:
                return;
            }
            break;
        case TaskState::WaitReply:
            running = pairCommandReply(t);
            break;
        case TaskState::WaitCall:
            if (t.cancelled) {
                trace("cmd paired but cancelled");
            } else {
                deliver(t);
                if (epoch != resetEpoch_) {
                    running = false;
                    break;
                }
            }
            t.state = TaskState::Finished;
            break;
        case TaskState::Finished:
            commandRemove_ = advance(commandRemove_);
            pendingCommands_ = pendingIn(kQueueSize, commandInsert_, commandRemove_);
            commandInFlight_ = false;
            running = false;
            break;
        }
    }
    consumerBusy_ -= 1;
    trace("C-");
}

// False while the reply a command expects has not come.
bool TaskScheduler::pairCommandReply(Task& t) {
    if (!t.expectsReply) {
        t.state = TaskState::Finished;
        return true;
    }
    if (replies_.count() == 0)
        return false;
    t.reply = replies_.pop();
    trace(QStringLiteral("command paired:'") + t.text + QStringLiteral("' '") + *t.reply +
          QLatin1Char('\''));
    t.state = TaskState::WaitCall;
    return true;
}

TaskScheduler::Step TaskScheduler::writeCommand(Task& t, quint64 epoch) {
    trace("C setup");
    if (t.cancelled) {
        t.state = TaskState::Finished;
        return Step::Continue;
    }
    if (opMode_ != OpMode::Idle) {
        // The transport is busy: the consumer gives up its turn.
        trace(QStringLiteral("C OpMode ") + QString::number(int(opMode_)));
        trace("C-");
        consumerBusy_ -= 1;
        trace("CmdWaitWriteErrorWait");
        return Step::Leave;
    }
    commandInFlight_ = true;
    lastWriteWasCommand_ = true;
    trace("C WaitWrite");
    trace(t.text);
    if (transport_ == Transport::Serial) {
        opMode_ = OpMode::Writing;
        trace("C opmode = 1");
        if (!isQuery(t.text))
            sendSerial(t.text);
        else
            startSerialExchange(t.text, Asker::Command); // its answer goes to the buffer
        if (epoch != resetEpoch_)
            return Step::Stop;
    } else if (transport_ == Transport::Gpib) {
        if (gpib_)
            gpib_->writeAsync(t.text.toLatin1());
        trace("C opmode = 1");
        opMode_ = OpMode::Writing;
    }
    t.state = TaskState::WaitReply;
    return Step::Continue;
}

void TaskScheduler::writeSerial(const QString& text) {
    if (!serial_)
        return;
    const QByteArray bytes = text.toLatin1() + terminator_;
    serialBytes_ += bytes.size();
    serial_->write(bytes);
}

QByteArray TaskScheduler::readSerial() {
    if (!serial_)
        return {};
    const QByteArray bytes = serial_->readAll();
    serialBytes_ += bytes.size();
    return bytes;
}

void TaskScheduler::sendSerial(const QString& text) {
    opMode_ = OpMode::Writing;
    writeSerial(text);
    opMode_ = isQuery(text) ? OpMode::Reading : OpMode::Idle;
}

void TaskScheduler::startSerialExchange(const QString& text, Asker asker,
                                        QPointer<QObject> receiver, ReplyHandler onReply) {
    // What came unasked (a late answer to an exchange that gave up) is no
    // answer to this one.
    if (const QByteArray stale = readSerial(); !stale.isEmpty())
        trace(QStringLiteral("Serial: dropped unasked input '") +
              QString::fromLatin1(stale).trimmed() + QLatin1Char('\''));
    opMode_ = OpMode::Writing;
    writeSerial(text);
    opMode_ = OpMode::Reading;
    SerialExchange e;
    e.asker = asker;
    e.text = text;
    e.limitMsec = text == QLatin1String("*IDN?") ? kSerialIdentifyMsec : kSerialAnswerMsec;
    e.hasReceiver = receiver != nullptr;
    e.receiver = std::move(receiver);
    e.onReply = std::move(onReply);
    if (pollMode_ == PollMode::Fast) {
        e.fast = true;
        e.startedMsec = nowMsec();
        e.bytesOut = text.toLatin1().size() + terminator_.size();
        exchangeTimer_.start(std::max(wire_.timeoutMsec(text, e.bytesOut),
                                      e.limitMsec == kSerialIdentifyMsec ? e.limitMsec : 0));
    }
    serialExchange_ = std::move(e);
    collectSerialAnswer();
}

void TaskScheduler::dropSerialExchange() {
    // An answer still to come belongs to a task that is gone.
    if (!serialExchange_)
        return;
    serialExchange_.reset();
    exchangeTimer_.stop();
    opMode_ = OpMode::Idle;
}

void TaskScheduler::collectSerialAnswer() {
    if (!serialExchange_)
        return; // unasked input waits for the next write, which drops it
    SerialExchange& e = *serialExchange_;
    e.answer += readSerial();
    // Polling fast, the next question follows an answer's CR at once: the
    // LF after it may come in this exchange, and it ends nothing.
    qsizetype lead = 0;
    while (e.fast && lead < e.answer.size() && (e.answer[lead] == '\r' || e.answer[lead] == '\n'))
        ++lead;
    e.answer.remove(0, lead);
    if (e.answer.size() > ReplyBuffer::kMaxLineLength * 4)
        e.answer = e.answer.right(ReplyBuffer::kMaxLineLength * 4);
    if (endsWithLineEnd(e.answer)) {
        if (e.fast &&
            wire_.answered(e.text, e.bytesOut, e.answer.size(), nowMsec() - e.startedMsec))
            trace(QStringLiteral("Wire: %1 baud, turnaround up to %2 ms, an exchange waits its "
                                 "bytes' time and %3 ms")
                      .arg(wire_.baud())
                      .arg(wire_.turnaroundMsec(), 0, 'f', 1)
                      .arg(wire_.allowanceMsec(), 0, 'f', 0));
        return finishSerialExchange(QByteArray(e.answer));
    }
    // No answer, or one without its line end, in time: a failed exchange.
    // A fast exchange's time is its wire's (exchangeTimedOut).
    if (!e.fast && e.waitedMsec >= e.limitMsec)
        finishSerialExchange({});
}

void TaskScheduler::onSerialReadyRead() {
    const bool busy = serialExchange_.has_value();
    collectSerialAnswer();
    // Polling fast, the next step goes out with the answer's end, not a turn
    // of the event loop later.
    if (busy && !serialExchange_ && pollMode_ == PollMode::Fast)
        runFree();
}

void TaskScheduler::finishSerialExchange(const QByteArray& answer) {
    const SerialExchange e = std::move(*serialExchange_);
    serialExchange_.reset();
    exchangeTimer_.stop();
    // A failed exchange leaves the link idle too, so commands are not held back.
    opMode_ = OpMode::Idle;
    // Deliveries run as a consumer's would: a tick meanwhile takes nothing.
    ++consumerBusy_;
    switch (e.asker) {
    case Asker::Query:
        finishSerialQuery(answer);
        break;
    case Asker::Command:
        replies_.feed(answer);
        break;
    case Asker::Direct: {
        // Whatever line end the supply uses (CR LF, or LF alone) is not part
        // of the reply; of several lines the newest counts, as with every
        // reply.
        static const QRegularExpression lineEnds(QStringLiteral("[\\r\\n]+"));
        const QStringList lines = QString::fromLatin1(answer).split(lineEnds, Qt::SkipEmptyParts);
        // Silence here is silence as on the queue: told, and counted
        // towards a lost device.
        if (lines.isEmpty() && !serialLost_)
            noAnswer();
        else if (!lines.isEmpty())
            silentQueries_ = 0;
        if (!lines.isEmpty() && e.onReply && (!e.hasReceiver || e.receiver))
            e.onReply(lines.constLast());
        // A poll step like a queued query: the cycle check counts it.
        if (cycleQueries_ < cycleLength_)
            ++cycleQueries_;
        break;
    }
    }
    --consumerBusy_;
    if (e.fast) {
        // Each exchange that ended is the link at work: the watchdog measures
        // from here, as it measures from a quiet tick when polling slowly.
        lastQuietMsec_ = qint64(nowMsec());
        // Never faster than the wire: a line that answers at once (a
        // pseudo-terminal, a simulated supply) is paced as a real one of
        // its rate, so the poll never spins.
        const double early =
            wire_.bytesMsec(e.bytesOut + answer.size()) - (nowMsec() - e.startedMsec);
        if (early >= 1 && (!quietTimer_.isActive() || quietTimer_.remainingTime() < early))
            quietTimer_.start(int(std::ceil(early)));
    }
    kick();
}

void TaskScheduler::onGpibWriteComplete() {
    trace("GPIB WriteComplete");
    const Task& t = lastWriteWasCommand_ ? commands_[std::size_t(commandRemove_)]
                                         : queries_[std::size_t(queryRemove_)];
    opMode_ = OpMode::Idle;
    if (t.expectsReply && gpib_) {
        gpib_->readAsync();
        trace("GPIB ReadAsync");
        opMode_ = OpMode::Reading;
    }
    kick();
}

void TaskScheduler::onGpibDataRead(const QByteArray& bytes) {
    trace("GPIB DataRead");
    replies_.feed(bytes);
    opMode_ = OpMode::Idle;
    if (pollMode_ == PollMode::Fast) {
        lastQuietMsec_ = qint64(nowMsec());
        kick();
    }
}

void TaskScheduler::onGpibError(int number, const QString& description) {
    trace(QStringLiteral("GPIB error ") + QString::number(number) + QStringLiteral(": ") +
          description);
    timeoutWithMessage(QString::number(number));
}

void TaskScheduler::noAnswer() {
    if (!quietFailures_) {
        // Said after the exchange has returned, one box at a time: the link
        // goes on meanwhile.
        if (noAnswerShown_) {
            trace("Cannot get Data from device! (its box is up)");
            return;
        }
        noAnswerShown_ = true;
        QTimer::singleShot(0, this, [this] {
            prompter_.ask(tr("Cannot get Data from device!"), {}, Prompter::Icon::Question,
                          Prompter::Buttons::Ok);
            noAnswerShown_ = false;
        });
        return;
    }
    // Nobody reads a box while the link is to come back by itself: a supply
    // that stays silent counts as gone.
    trace("Cannot get Data from device!");
    if (++silentQueries_ >= kSilentQueriesLost) {
        silentQueries_ = 0;
        serialLost_ = true;
    }
}

void TaskScheduler::setPollMode(PollMode mode) {
    if (mode == pollMode_)
        return;
    pollMode_ = mode;
    trace(QStringLiteral("Polling: ") + pollModeName(mode));
    exchangeTimer_.stop();
    quietTimer_.stop();
    kick();
}

double TaskScheduler::nowMsec() const {
    return clock_.nowSec() * 1000.0;
}

void TaskScheduler::kick() {
    if (pollMode_ != PollMode::Fast || kickQueued_)
        return;
    kickQueued_ = true;
    QMetaObject::invokeMethod(this, &TaskScheduler::runFree, Qt::QueuedConnection);
}

bool TaskScheduler::lineFree() const {
    return !serialExchange_ && opMode_ == OpMode::Idle && !queryInFlight_ && !commandInFlight_ &&
           consumerBusy_ == 0;
}

void TaskScheduler::runFree() {
    kickQueued_ = false;
    if (inRunFree_) // its own step's events are taken up when it returns
        return;
    const QScopedValueRollback running(inRunFree_, true);
    // A stopped writer writes nothing, fast or not; a lost link and a
    // timeout are the writer tick's to handle.
    if (pollMode_ != PollMode::Fast || !writerTimer_.isActive() || quietTimer_.isActive() ||
        inTimeout_ || serialLost_ || transport_ == Transport::None)
        return;
    const auto where = [this] {
        return std::tuple(queryRemove_, commandRemove_, queries_[std::size_t(queryRemove_)].state,
                          commands_[std::size_t(commandRemove_)].state, lineFree());
    };
    const auto before = where();
    consume(); // commands first: one never waits behind more than one exchange
    if (!lineFree())
        return;
    if (pendingCommands_ > 0 || pendingQueries_ > 0) {
        // More to write: go on while it moves; what cannot move now is
        // taken up by the next event or tick.
        if (where() != before)
            kick();
        return;
    }
    if (!freeLine_ || !linkOpen())
        return;
    // The step it asks for goes out now, not a turn of the event loop later:
    // its enqueue needs no run of its own.
    kickQueued_ = true;
    freeLine_();
    kickQueued_ = false;
    const auto asked = where();
    if (lineFree() && (pendingCommands_ > 0 || pendingQueries_ > 0))
        consume();
    if (lineFree() && (pendingCommands_ > 0 || pendingQueries_ > 0) && where() != asked)
        kick();
}

void TaskScheduler::exchangeTimedOut() {
    if (!serialExchange_)
        return;
    collectSerialAnswer(); // what has come meanwhile
    if (!serialExchange_)
        return;
    trace(QStringLiteral("Serial: no answer to '%1' within %2 ms")
              .arg(serialExchange_->text)
              .arg(exchangeTimer_.interval()));
    // An answer that comes late must not be taken for the next one's: the
    // line stays quiet for as long as the answer was ever waited for, and
    // the next exchanges wait longer.
    wire_.gaveUp();
    const double waited = nowMsec() - serialExchange_->startedMsec;
    quietTimer_.start(int(std::max(wire_.allowanceMsec(), kSerialAnswerMsec - waited)));
    finishSerialExchange({});
}

void TaskScheduler::onSerialLost(const QString& reason) {
    trace(QStringLiteral("Serial lost: ") + reason);
    serialLost_ = true;
}

} // namespace trq
