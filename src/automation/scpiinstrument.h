#pragma once

#include "automation/scpi.h"

#include <QObject>

#include <deque>
#include <functional>
#include <vector>

namespace trq {

class InstrumentSession;

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
    // sent so far has left the link.
    struct Output {
        QByteArray text;
        bool afterLinkQuiet = false;
    };

    explicit ScpiInstrument(InstrumentSession& session);

    // Runs one line; the answers of its queries, in order.
    std::vector<Output> execute(const QByteArray& line);
    // Queues an error, as the error query reports it.
    void pushError(scpi::Error error, const QString& detail = {});
    QString popError();
    std::size_t errorCount() const { return errors_.size(); }

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

    InstrumentSession& session_;
    std::deque<QString> errors_;
};

} // namespace trq
