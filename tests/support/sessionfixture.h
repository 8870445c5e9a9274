#pragma once

#include "core/settings.h"
#include "link/qtserialport.h"
#include "link/simtransport.h"
#include "session/bench.h"
#include "session/instrumentsession.h"
#include "session/powersequence.h"
#include "session/recording.h"
#include "sim/supply.h"
#include "storage/database.h"
#include "storage/recordstore.h"
#include "support/testsupport.h"
#include "transports.h"

#include <QDir>

#include <functional>

namespace trq::test {

// The system's serial port of that name, opened for real.
inline SerialPort* systemPort(const QString& name) {
    auto* port = new QtSerialPort;
    port->setPortName(name);
    return port;
}

// A serial port whose instrument is a script: it answers what the test says,
// and remembers every port and rate it was opened with.
class ScriptedSerialPort final : public SerialPort {
public:
    using Script = std::function<QByteArray(const QString& port, int baud, const QByteArray&)>;
    ScriptedSerialPort(QString name, Script script, QStringList* opened = nullptr)
        : name_(std::move(name)), script_(std::move(script)), opened_(opened) {}
    void setScript(Script script) { script_ = std::move(script); }
    void setPortName(const QString& name) override { name_ = name; }
    QString portName() const override { return name_; }
    void setBaudRate(qint32 baud) override { baud_ = baud; }
    bool open() override {
        if (opened_)
            *opened_ << QStringLiteral("%1@%2").arg(name_).arg(baud_);
        return open_ = true;
    }
    void close() override { open_ = false; }
    bool isOpen() const override { return open_; }
    void write(const QByteArray& bytes) override {
        if (open_)
            input_ += script_(name_, baud_, bytes);
    }
    QByteArray readAll() override { return std::exchange(input_, {}); }
    QString errorString() const override { return {}; }
    // Bytes that arrive later, as from a slow supply.
    void arrive(const QByteArray& bytes) {
        input_ += bytes;
        emit readyRead();
    }

private:
    QString name_;
    Script script_;
    QStringList* opened_;
    int baud_ = 9600;
    bool open_ = false;
    QByteArray input_;
};

// The program's transports with the test's hands on them: simulated supplies
// without noise, answering GPIB reads at once, or whatever a test hands in.
// A test may set the supply's state before it is first asked (prepare), and
// rewrite what it answers on the serial line (rewrite: the bytes written,
// the reply).
class TestTransports final : public AppTransports {
public:
    SerialPort* createSerialPort(const QString& name) override {
        if (makeSerial)
            return makeSerial(name);
        if (rewrite && isSimulated(name)) {
            std::shared_ptr<sim::Supply> s = makeSupply(name.mid(int(qstrlen(kSimPrefix))));
            auto* port = new ScriptedSerialPort(name, {});
            port->setScript([this, s, port](const QString&, int, const QByteArray& bytes) {
                const QByteArray reply = rewrite(bytes, s->receive(bytes));
                if (!hold || !hold(bytes))
                    return reply;
                held = {port, reply};
                return QByteArray();
            });
            return port;
        }
        SerialPort* port = AppTransports::createSerialPort(name);
        if (auto* simulated = qobject_cast<SimSerialPort*>(port))
            lastSerial = simulated;
        return port;
    }
    GpibBoard* createGpibBoard(const QString& model) override {
        if (makeGpib)
            return makeGpib(model);
        GpibBoard* board = AppTransports::createGpibBoard(model);
        if (auto* simulated = qobject_cast<SimGpibBoard*>(board))
            simulated->setReadTimeoutMsec(0);
        return board;
    }
    QStringList availablePortNames() const override {
        return ports.isEmpty() ? AppTransports::availablePortNames() : ports;
    }
    std::shared_ptr<sim::Supply> makeSupply(const QString& model) override {
        std::shared_ptr<sim::Supply> s = supplyFor ? supplyFor(model) : simulatedSupply(model);
        if (s && prepare)
            prepare(*s);
        if (s)
            last = s;
        return s;
    }

    std::function<SerialPort*(const QString&)> makeSerial;
    std::function<GpibBoard*(const QString&)> makeGpib;
    std::function<void(sim::Supply&)> prepare;
    // The supply a simulated port opens; none: a new one each time.
    std::function<std::shared_ptr<sim::Supply>(const QString& model)> supplyFor;
    std::function<QByteArray(const QByteArray& written, const QByteArray& reply)> rewrite;
    // With rewrite: the answers to the lines hold() picks come only when
    // the test releases them.
    std::function<bool(const QByteArray& written)> hold;
    std::pair<QPointer<ScriptedSerialPort>, QByteArray> held;
    void release() {
        if (held.first)
            held.first->arrive(std::exchange(held.second, {}));
    }
    QStringList ports;
    // The last simulated supply made, and the last simulated serial port.
    std::shared_ptr<sim::Supply> last;
    QPointer<SimSerialPort> lastSerial;
};

// A session on a fresh database, a manual clock for the watchdog, scripted
// message boxes and quick timers; no window.
struct SessionFixture : DatabaseFixture {
    ManualClock clock;
    FastWaiter waiter{&clock};
    ScriptedPrompter prompter;
    TestTransports factory;
    TaskScheduler link{{clock, prompter}};
    std::unique_ptr<InstrumentSession> session;

    explicit SessionFixture(RecordingClock* recordingClock = nullptr) {
        link.writerTimer().setInterval(5);
        session = std::make_unique<InstrumentSession>(InstrumentSession::Services{
            link, data, *store, prompter, factory, waiter, recordingClock});
        QObject::connect(session.get(), &InstrumentSession::initialValuesRead,
                         [this] { initialValuesRead = true; });
        QObject::connect(session.get(), &InstrumentSession::stateChanged,
                         [this] { initialValuesRead = false; });
        LinkWait* wait = &session->linkWait();
        QObject::connect(wait, &LinkWait::started, [this, wait] { waitTitles << wait->title(); });
    }
    bool initialValuesRead = false;
    // The titles of the waits the session ran.
    QStringList waitTitles;

    // Replies the supply gives instead of its own to the lines that start
    // with a key, with the line end it uses; the serial path only, and in
    // effect from the next connection on. The list may change at any time.
    QList<QPair<QByteArray, QByteArray>> overrides;
    void overrideReplies() {
        factory.rewrite = [this](const QByteArray& written, const QByteArray& reply) {
            qsizetype end = reply.size();
            while (end > 0 && (reply[end - 1] == '\r' || reply[end - 1] == '\n'))
                --end;
            for (const auto& [start, text] : std::as_const(overrides))
                if (written.startsWith(start))
                    return text + (end < reply.size() ? reply.mid(end) : QByteArray("\n"));
            return reply;
        };
    }

    // Goes on line with a simulated supply the way the stored settings do.
    bool onLineSerial(const QString& model, qint32 baud = 9600) {
        Settings::instance().setSerialPortName(QLatin1String(AppTransports::kSimPrefix) + model);
        session->connection().openSerial({QLatin1String(AppTransports::kSimPrefix) + model, baud});
        return settle();
    }
    bool onLineGpib(const QString& model) {
        session->connection().openGpib({0, 1, model});
        return settle();
    }
    // On line (or failed), and what the initial query set off has gone out.
    bool settle() {
        return QTest::qWaitFor([&] { return readyOrFailed(); }, 5000) && session->isReady() &&
               waitReceived();
    }
    bool readyOrFailed() const {
        return ((session->isReady() && initialValuesRead) || !prompter.texts.isEmpty() ||
                session->connection().state() == ConnectionState::OffLine) &&
               !session->waiting();
    }
    sim::Supply& instrument() { return *factory.last; }
    // The poll stopped and what was asked for gone out.
    bool quiet() {
        session->poll().setLinkActivity({.polling = false});
        return waitReceived();
    }
    // Waits until the instrument has taken at least n lines since the last
    // take, or until the link is idle and the session waits for nothing when
    // n is 0.
    bool waitReceived(int n = 0) {
        return QTest::qWaitFor([&] {
            if (n > 0)
                return int(instrument().received.size()) >= n;
            return link.pendingQueries() == 0 && link.pendingCommands() == 0 &&
                   !link.queryInFlight() && !link.commandInFlight() && !session->waiting();
        });
    }
    // Commands the instrument took since the last call.
    QStringList takeReceived() {
        auto& r = instrument().received;
        QStringList out;
        for (const QString& s : r)
            out << s;
        r.clear();
        return out;
    }
};

// Simulated supplies on a bench of their own, each on its own link.
struct BenchFixture : DatabaseFixture {
    ManualClock clock;
    FastWaiter waiter{&clock};
    ScriptedPrompter prompter;
    TestTransports factory;
    std::vector<sim::Supply*> instruments; // in the order added
    trq::Bench bench{{clock, data, prompter, factory, waiter}};

    explicit BenchFixture(const QStringList& addresses) {
        factory.prepare = [this](sim::Supply& s) { instruments.push_back(&s); };
        for (const QString& address : addresses) {
            InstrumentSession& s = bench.add(std::get<SupplyAddress>(parseSupplyAddress(address)));
            s.link().writerTimer().setInterval(5);
            s.poll().timer().setInterval(5);
        }
    }
    bool allReady() {
        return QTest::qWaitFor(
            [&] {
                for (int i = 0; i < bench.size(); ++i)
                    if (!bench.session(i).isReady() || bench.session(i).waiting())
                        return false;
                return true;
            },
            10000);
    }
    void unplug(int index) {
        qobject_cast<SimSerialPort*>(bench.session(index).link().serialPort())->unplug();
    }
    std::vector<PowerStep> order(const QString& text) {
        return std::get<std::vector<PowerStep>>(parsePowerOrder(text, bench.names()));
    }
    std::pair<bool, QString> runOrder(const QString& text) {
        PowerSequencer sequencer(bench.sequencerSupplies(), clock, waiter);
        QSignalSpy finished(&sequencer, &PowerSequencer::finished);
        sequencer.run(std::get<std::vector<PowerStep>>(parsePowerOrder(text, bench.names())));
        if (finished.isEmpty() && !finished.wait(5000))
            return {false, QStringLiteral("(did not finish)")};
        return {finished.first().at(0).toBool(), finished.first().at(1).toString()};
    }
};

} // namespace trq::test
