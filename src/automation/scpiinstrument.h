#pragma once

#include "automation/scpi.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace trq {

class Clock;
class InstrumentSession;

// An answer too long to be made at once (weeks of recorded points): made
// and handed out a piece at a time, as the client's socket takes it.
class LongAnswer {
public:
    virtual ~LongAnswer() = default;
    enum class Step { More, Done, Failed };
    // Appends at most room bytes to out, working until the deadline at
    // most. Failed: nothing was sent and error() says why; Done: the answer
    // is complete, error() may say it is not what was asked for.
    virtual Step next(QByteArray* out, qint64 room, const QDeadlineTimer& deadline) = 0;
    scpi::Error error() const { return error_; }
    QString errorDetail() const { return errorDetail_; }

protected:
    scpi::Error error_ = scpi::Error::None;
    QString errorDetail_;
};

// Traces each distinct error line at once, and its repeats within the
// next second as one line with their count: a script looping on an error
// must not fill the trace and the console.
class ErrorTrace : public QObject {
public:
    explicit ErrorTrace(const Clock& clock, QObject* parent = nullptr);
    ~ErrorTrace() override;
    void note(const QString& line);

private:
    void flush(bool all);
    struct Seen {
        double since = 0; // when it was last traced
        int repeats = 0;  // not traced since
    };
    const Clock& clock_;
    QHash<QString, Seen> seen_;
    QTimer timer_;
};

// The supply on line as one standard SCPI instrument, whatever its command
// family: one client's error queue and the normalised command set, carried
// out through the session exactly as the windows' own actions are.
class ScpiInstrument {
public:
    // The most set commands the link may hold for scripts; more is a queue
    // overflow, so the windows and the poll always find room.
    static constexpr int kCommandLimit = 50;
    static constexpr std::size_t kErrorQueueSize = 16;

    // One line of output, or the *OPC? answer that waits until every command
    // sent so far has left the link, or a long answer made as it is sent.
    struct Output {
        QByteArray text;
        bool afterLinkQuiet = false;
        std::unique_ptr<LongAnswer> stream;
    };

    // Errors are traced through errorTrace when given, else each one.
    explicit ScpiInstrument(InstrumentSession& session, ErrorTrace* errorTrace = nullptr);

    // Runs one line; the answers of its queries, in order.
    std::vector<Output> execute(const QByteArray& line);
    // Queues an error, as the error query reports it.
    void pushError(scpi::Error error, const QString& detail = {});
    QString popError();
    std::size_t errorCount() const { return errors_.size(); }
    // The answer to SYSTem:BENCh?: every supply served, with its port.
    void setBenchAnswer(std::function<QByteArray()> answer) { benchAnswer_ = std::move(answer); }
    // BENCh:OUTPut: every output on (query), and the bench's power order
    // (on) or its reverse (off), started; why not where it cannot start.
    struct BenchPower {
        std::function<bool()> allOn;
        std::function<QString(bool on)> run;
    };
    void setBenchPower(BenchPower power) { benchPower_ = std::move(power); }

private:
    struct Call {
        int channel = 0; // 0: the command named none
        bool query = false;
        QStringList parameters;
    };
    struct Result {
        scpi::Error error = scpi::Error::None;
        QString detail;
        QByteArray reply;
        bool afterLinkQuiet = false;
        std::unique_ptr<LongAnswer> stream;
    };
    static Result fail(scpi::Error error, const QString& detail = {}) {
        Result r;
        r.error = error;
        r.detail = detail;
        return r;
    }
    static Result answer(const QByteArray& reply) {
        Result r;
        r.reply = reply;
        return r;
    }
    using Handler = std::function<Result(ScpiInstrument&, const Call&)>;
    enum class Needs { Nothing, Supply, Protection, ClearProtection, AutoRun };
    // One row of the command set: its header, whether it answers a query,
    // takes a setting, what it needs of the supply, and what it does.
    struct Command {
        scpi::Pattern pattern;
        bool query;
        bool set;
        Needs needs;
        Handler run;
    };
    static const std::vector<Command>& commands();

    Result runUnit(const scpi::Unit& unit);
    std::optional<scpi::Error> unavailable(Needs needs) const;
    bool linkFull() const;
    // The channel a call names, 1-based; nothing (with the error) when out
    // of range.
    std::optional<int> channelOf(const Call& call, Result* result, bool fromParameter) const;

    Result identify(const Call&);
    Result setting(const Call& call, int setting);
    Result overCurrent(const Call& call);
    // An ON|OFF setting and its query.
    Result onOff(const Call& call, bool now, const std::function<void(bool)>& set);
    Result output(const Call& call);
    Result benchOutput(const Call& call);
    Result coupling(const Call& call);
    Result measure(const Call& call, int quantity);
    Result measureAll(const Call& call);
    Result measureAge(const Call& call);
    Result memory(const Call& call, bool save);
    Result autoRun(const Call& call);
    Result recordStart(const Call& call);
    Result recordStop(const Call& call);
    Result recordSave(const Call& call);
    Result recordLength(const Call& call);
    Result recordData(const Call& call);
    Result sequenceLoad(const Call& call, bool file);
    Result sequenceRun(const Call& call);
    Result sequenceState(const Call& call);

    InstrumentSession& session_;
    ErrorTrace* errorTrace_;
    std::function<QByteArray()> benchAnswer_;
    BenchPower benchPower_;
    std::deque<QString> errors_;
};

} // namespace trq
