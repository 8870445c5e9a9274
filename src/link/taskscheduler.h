#pragma once

#include "core/pollmode.h"
#include "link/replybuffer.h"
#include "link/wiretiming.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>

namespace trq {

class Clock;
class GpibBoard;
class Prompter;
class SerialPort;

// Called with one reply line; the receiver's QPointer guards the call.
using ReplyHandler = std::function<void(const QString& reply)>;

enum class TaskState { Setup, WaitWrite, WaitReply, WaitCall, Finished };

// One queue slot. Query tasks expect one reply line; command tasks none.
struct Task {
    QString text;
    bool expectsReply = false;
    QPointer<QObject> receiver; // a destroyed receiver gets nothing
    bool hasReceiver = false;
    ReplyHandler onReply;
    std::optional<QString> reply;
    TaskState state = TaskState::Setup;
    bool cancelled = false;
};

// Which transport carries the traffic.
enum class Transport { None, Serial, Gpib };

// The state of the transport: idle, or a write or a read outstanding.
enum class OpMode { Idle = 0, Writing = 1, Reading = 2 };

// What the link needs from whoever polls it.
class LinkHost {
public:
    virtual ~LinkHost() = default;
    // Whether the poll timer runs (the poll-cycle check follows it).
    virtual bool pollActive() const = 0;
    virtual void reportStatus(const QString& text, int msec) = 0;
};

// The single owner of the instrument link: queues query and command tasks,
// writes them one at a time on the writer tick, pairs replies with queries
// and hands each to its receiver; watches for operations that never complete.
class TaskScheduler : public QObject {
    Q_OBJECT
public:
    static constexpr int kQueueSize = 200;
    static constexpr int kMaxPending = 99;
    static constexpr qint64 kTimeoutMsec = 20000;
    static constexpr int kWriterIntervalMsec = 100;
    // With quiet failures, this many unanswered serial queries in a row
    // count as a lost device.
    static constexpr int kSilentQueriesLost = 10;

    // How long a serial exchange waits for its answer's line end after the
    // write, in writer-tick time; "*IDN?" longer, as a supply may take a
    // while to identify.
    static constexpr int kSerialAnswerMsec = 200;
    static constexpr int kSerialIdentifyMsec = 350;

    struct Services {
        Clock& clock;
        Prompter& prompter;
    };

    explicit TaskScheduler(Services services, QObject* parent = nullptr);
    ~TaskScheduler() override;

    // Transports; the scheduler owns them. transport() chooses which one
    // carries the traffic.
    void setSerialPort(SerialPort* port);
    void setGpibBoard(GpibBoard* board);
    SerialPort* serialPort() const { return serial_; }
    GpibBoard* gpibBoard() const { return gpib_; }
    void setHost(LinkHost* host) { host_ = host; }
    // Failures are traced instead of shown (the link is to come back by
    // itself); linkFailed() and the timeout handler run as before.
    void setQuietFailures(bool quiet) { quietFailures_ = quiet; }
    Clock& clock() const { return clock_; }

    // Appended to every serial write: LF until a command family is chosen.
    void setSerialTerminator(const QByteArray& terminator) { terminator_ = terminator; }

    // A query whose reply goes to onReply while receiver lives. False when
    // refused (link closed, queue full).
    bool enqueueQuery(const QString& text, QObject* receiver, ReplyHandler onReply);
    void enqueueCommand(const QString& text);
    // Asks at once through the serial link, bypassing the queues; the newest
    // reply line, without its line end, goes to onReply when it has come.
    // Skipped (still true) while the line is in use or commands wait, so a
    // reading never overtakes a command asked for before it.
    bool exchangeNow(const QString& text, QObject* receiver, const ReplyHandler& onReply);

    // Called when an operation times out, before the link resets itself.
    void setTimeoutHandler(QObject* receiver, std::function<void()> handler);
    void clearTimeoutHandler();
    void timeOut();
    void clearQueues();
    void cancelQueuedQueries();
    // Before a recall: nothing new is taken while what was asked for goes
    // out; drained() says when the line is quiet, endDrain() empties the
    // queues (queries not yet asked are dropped) and takes tasks again.
    void beginDrain();
    bool drained() const {
        return !queryInFlight_ && !commandInFlight_ && !serialExchange_ && pendingCommands_ == 0;
    }
    void endDrain();
    void reset();
    void writerTick(int intervalMsec);
    void consume();

    // Writes a text without expecting an answer.
    void sendSerial(const QString& text);
    // A serial write whose answer has not come yet (nothing else is written
    // meanwhile).
    bool serialExchangeOpen() const { return serialExchange_.has_value(); }

    int pendingQueries() const { return pendingQueries_; }
    int pendingCommands() const { return pendingCommands_; }
    bool queryInFlight() const { return queryInFlight_; }
    bool commandInFlight() const { return commandInFlight_; }
    bool rejectsTasks() const { return rejectsTasks_; }
    void setRejectsTasks(bool reject) { rejectsTasks_ = reject; }
    Transport transport() const { return transport_; }
    void setTransport(Transport transport) { transport_ = transport; }
    double responseTimeSec() const { return double(responseMsec_) / 1000.0; }
    double maxResponseTimeSec() const { return double(maxResponseMsec_) / 1000.0; }
    // The poll-cycle check: answered queries per cycle, and the time a cycle
    // may take (0: no check).
    int pollCycleLength() const { return cycleLength_; }
    void setPollCycleLength(int count) { cycleLength_ = count; }
    int pollCycleLimitMsec() const { return cycleLimitMsec_; }
    void setPollCycleLimitMsec(int msec);

    OpMode opMode() const { return opMode_; }

    // Fast polling: a task goes out as soon as the line is free instead of on
    // the writer tick, and a serial exchange waits only for its bytes' time
    // and the supply's turnaround. Specified polling is untouched by it.
    void setPollMode(PollMode mode);
    PollMode pollMode() const { return pollMode_; }
    // Asked for the next poll step whenever, polling fast, the line is free
    // and nothing waits.
    void setFreeLineHandler(std::function<void()> handler) { freeLine_ = std::move(handler); }
    // The serial line's rate, for the exchanges' times.
    void setLineRate(int baud) { wire_.setBaud(baud); }
    const WireTiming& wire() const { return wire_; }
    // Bytes written and read on the serial line so far.
    qint64 serialBytes() const { return serialBytes_; }

    QTimer& writerTimer() { return writerTimer_; }
    // The response-wait timer the record setup switches; it has no work.
    QTimer& responseTimer() { return responseTimer_; }

signals:
    // The link has failed (timeout, lost device, GPIB error): emitted before
    // anything is shown to the user, so recording and polling stop at once.
    void linkFailed();

private:
    using Queue = std::array<Task, kQueueSize>;

    static int pendingIn(int size, int insertIndex, int removeIndex);
    void consumeQuery();
    void consumeCommand();
    void consumeGpibQuery(Task& t);
    // False when the transport is busy and the consumer left.
    bool writeGpibQuery(Task& t);
    enum class Step { Continue, Stop, Leave };
    Step writeCommand(Task& t, quint64 epoch);
    bool pairCommandReply(Task& t);
    void consumeSerialQuery(Task& t);
    void finishSerialQuery(const QByteArray& answer);
    void finishQuery(Task& t);
    void deliver(Task& t);
    static void put(Queue& queue, int& insertIndex, int& count, Task task);
    bool linkOpen() const;
    void writeSerial(const QString& text);
    QByteArray readSerial();
    // The serial exchange: the write, then the answer collected as it comes
    // (readyRead, each tick) until its line end or its time is up. Nothing
    // waits for it: the event loop goes on meanwhile.
    enum class Asker { Query, Command, Direct };
    void startSerialExchange(const QString& text, Asker asker, QPointer<QObject> receiver = {},
                             ReplyHandler onReply = {});
    void collectSerialAnswer();
    void onSerialReadyRead();
    void dropSerialExchange();
    void finishSerialExchange(const QByteArray& answer);
    void onGpibWriteComplete();
    void onGpibDataRead(const QByteArray& bytes);
    void onGpibError(int number, const QString& description);
    void onSerialLost(const QString& reason);
    void noAnswer();
    void watchPollCycle(int intervalMsec);
    // Runs a timeout once; nested ticks while its message is shown skip it.
    void timeoutWithMessage(const QString& text);
    // Polling fast: the free line's work on the next turn of the event loop
    // (posted once, however often asked); an answer's end and the quiet's end
    // run it at once. It never runs inside itself.
    void kick();
    void runFree();
    bool lineFree() const;
    void exchangeTimedOut();
    double nowMsec() const;

    Clock& clock_;
    Prompter& prompter_;
    LinkHost* host_ = nullptr;
    SerialPort* serial_ = nullptr;
    GpibBoard* gpib_ = nullptr;
    QByteArray terminator_ = "\n";

    Queue queries_;
    Queue commands_;
    int queryInsert_ = 0, queryRemove_ = 0;
    int commandInsert_ = 0, commandRemove_ = 0;
    int pendingQueries_ = 0;
    int pendingCommands_ = 0;
    bool queryInFlight_ = false;
    bool commandInFlight_ = false;
    bool rejectsTasks_ = false;
    bool rejectedBeforeDrain_ = false;
    Transport transport_ = Transport::None;
    qint64 responseMsec_ = 0;
    qint64 maxResponseMsec_ = 0;
    qint64 lastQuietMsec_ = -1;
    int cycleLength_ = 0;
    qint32 cycleLimitMsec_ = 0; // 32 bits: read times up to 120 s
    int cycleQueries_ = 0;
    int cycleSpentMsec_ = 0;
    int consumerBusy_ = 0;

    OpMode opMode_ = OpMode::Idle;
    bool lastWriteWasCommand_ = false;
    ReplyBuffer replies_;
    QPointer<QObject> timeoutReceiver_;
    std::function<void()> timeoutHandler_;

    // Bumped by every queue reset, so a consumer that let events run (a
    // delivery, a serial wait, a message box) sees that its task is gone.
    quint64 resetEpoch_ = 0;
    int queryConsumerRuns_ = 0;
    bool serialLost_ = false;
    bool quietFailures_ = false;
    int silentQueries_ = 0;
    bool inTimeout_ = false;
    bool noAnswerShown_ = false;

    struct SerialExchange {
        Asker asker = Asker::Query;
        QString text;
        int waitedMsec = 0; // writer-tick time since the write
        int limitMsec = kSerialAnswerMsec;
        QByteArray answer;
        QPointer<QObject> receiver; // the direct exchange's
        bool hasReceiver = false;
        ReplyHandler onReply;
        bool fast = false; // started polling fast: timed by its wire
        double startedMsec = 0;
        qint64 bytesOut = 0;
    };
    std::optional<SerialExchange> serialExchange_;

    PollMode pollMode_ = PollMode::Specified;
    std::function<void()> freeLine_;
    WireTiming wire_;
    qint64 serialBytes_ = 0;
    bool kickQueued_ = false;
    bool inRunFree_ = false;
    QTimer exchangeTimer_; // a fast exchange's deadline
    QTimer quietTimer_;    // a late answer's time, or the rest of a fast exchange's wire time

    QTimer writerTimer_;
    QTimer responseTimer_;
};

} // namespace trq
