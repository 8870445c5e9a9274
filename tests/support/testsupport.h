#pragma once

#include "core/clock.h"
#include "core/prompter.h"
#include "link/simtransport.h"
#include "link/taskscheduler.h"
#include "storage/benchstore.h"
#include "storage/database.h"
#include "storage/recordstore.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>
#include <memory>

namespace trq::sim {
class Supply;
}

namespace trq::test {

// Gives the process its own working folder, settings and runtime folders
// before anything reads them; the folder is removed at exit.
class IsolatedEnvironment {
public:
    IsolatedEnvironment();
    QString path() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

// A fresh database in a folder of its own, and its record store.
struct DatabaseFixture {
    QString folder;
    Database data;
    std::unique_ptr<RecordStore> store;
    explicit DatabaseFixture(Database::Access access = Database::Access::ReadWrite);
};

// A bench's working table as a run of these supplies from that start, as a
// bench's recording leaves it, their rows kept.
inline bool setRunSupplies(BenchStore& bench, const std::vector<RecordedSupply>& supplies,
                           const QString& startTime) {
    return bench.replaceRun(supplies, bench.startingHeader(startTime),
                            [](const RecordedSupply&, RecordStore&) { return true; });
}

// An empty folder of that name in the working folder, its absolute path.
QString freshFolder(const QString& name);
// A loopback port nothing listens on now.
quint16 freePort();
// What a statement gives: its rows, columns joined by spaces, or its error.
QStringList sqlRows(const QSqlDatabase& db, const QString& statement);
// The statement's first value as a number; -1 where it fails.
int sqlCount(const QSqlDatabase& db, const QString& statement);

// Forgets every stored setting, so a test starts from the defaults.
void clearSettings();
// A value's text in the settings file, by "section/key", as a user would
// edit it there.
QString storedText(const QString& key);
void storeText(const QString& key, const QString& text);

class ManualClock final : public Clock {
public:
    double nowSec() const override { return double(msec_) / 1000.0; }
    void advanceMsec(qint64 msec) { msec_ += msec; }
    void setMsec(qint64 msec) { msec_ = msec; }

private:
    qint64 msec_ = 1000;
};

// Waits without sleeping: the work runs on the next turn of the event loop
// with the manual clock moved on.
class FastWaiter final : public Waiter {
public:
    explicit FastWaiter(ManualClock* clock = nullptr) : clock_(clock) {}
    void after(int msec, QObject* context, std::function<void()> work) override;
    // Waits begun while frozen never end: a sequence stays in its step.
    bool frozen = false;

private:
    ManualClock* clock_;
};

// Answers message boxes from a script and records every text shown.
class ScriptedPrompter final : public Prompter {
public:
    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
    QString saveFileName(const QString& folder, const QString& filter) override;
    QString openFileName(const QString& folder, const QString& filter) override {
        return saveFileName(folder, filter);
    }
    QStringList texts;
    // The file dialog's answer (empty: cancelled) and what it was asked with.
    QString fileName;
    QStringList fileRequests;
    std::deque<Answer> answers;
    // Runs while the box would be up, as the event loop of a modal box does.
    std::function<void()> onAsk;
};

// Collects trace lines written from now on.
class TraceCapture : public QObject {
public:
    TraceCapture();
    QStringList lines;
};

class FakeHost final : public LinkHost {
public:
    bool pollActive() const override { return pollEnabled; }
    void reportStatus(const QString& text, int msec) override { reports << qMakePair(text, msec); }
    bool pollEnabled = false;
    QList<QPair<QString, int>> reports;
};

// Receives replies and counts timeouts.
class Target : public QObject {
public:
    QStringList replies;
    int timeouts = 0;
    std::function<void(const QString&)> onReply;
    ReplyHandler handler() {
        return [this](const QString& reply) {
            replies << reply;
            if (onReply)
                onReply(reply);
        };
    }
    std::function<void()> timeoutHandler() {
        return [this] { ++timeouts; };
    }
};

// A board that starts operations and never completes them.
class SilentBoard final : public GpibBoard {
public:
    bool configure(int, int) override { return true; }
    void writeAsync(const QByteArray& bytes) override { written << bytes; }
    void readAsync() override { ++reads; }
    void reset() override {}
    QString errorString() const override { return {}; }
    QList<QByteArray> written;
    int reads = 0;
};

// A client of the automation server: writes lines, reads answers.
struct Client {
    QTcpSocket socket;
    bool connect(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(3000);
    }
    void write(const QByteArray& line) {
        socket.write(line + '\n');
        socket.flush();
    }
    // The next answer line, without its line end; empty after 5 s.
    QByteArray read() {
        if (!QTest::qWaitFor([&] { return socket.canReadLine(); }, 5000))
            return {};
        QByteArray line = socket.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        return line;
    }
    QByteArray query(const QByteArray& line) {
        write(line);
        return read();
    }
    // Sends a command and waits until it has been carried out and every
    // command has left the link.
    QByteArray command(const QByteArray& line) { return query(line + ";*OPC?"); }
    QByteArray error() { return query("SYST:ERR?"); }
    // n bytes as they come; empty after 10 s without them.
    QByteArray take(qint64 n) {
        return QTest::qWaitFor([&] { return socket.bytesAvailable() >= n; }, 10000) ? socket.read(n)
                                                                                    : QByteArray();
    }
    // A definite-length block's bytes, "#<digits><length><bytes>" and its
    // line end; "(no block)" for anything else.
    QByteArray block() {
        if (take(1) != "#")
            return "(no block)";
        const QByteArray bytes = take(take(take(1).toInt()).toInt());
        return take(1) == "\n" ? bytes : QByteArray("(no block)");
    }
};

// A simulated supply without noise, and the transports that reach it.
std::shared_ptr<sim::Supply> simulatedSupply(const QString& model);
SimulatedInstrument instrumentOf(std::shared_ptr<sim::Supply> supply);
// A board that answers at once (no read timeout), configured for address 1.
SimGpibBoard* simulatedBoard(std::shared_ptr<sim::Supply> supply);

// A link on a manual clock with fast waits and scripted message boxes, its
// own writer timer stopped so the test drives every tick.
struct LinkFixture {
    ManualClock clock;
    FastWaiter waiter{&clock};
    ScriptedPrompter prompter;
    FakeHost host;
    TaskScheduler link{{clock, prompter}};
    LinkFixture() {
        link.writerTimer().stop();
        link.setHost(&host);
    }
    // One writer tick, 100 ms after the previous one.
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advanceMsec(100);
            link.writerTick(100);
            QCoreApplication::processEvents();
        }
    }
};

// The commands among the lines a supply received (queries end in "?").
inline QStringList commandsOnly(const QStringList& received) {
    QStringList out;
    for (const QString& s : received)
        if (!s.endsWith(QLatin1Char('?')))
            out << s;
    return out;
}

// One test data column per name, of the matching type.
template <typename... T, typename... N> void columns(N... names) {
    (QTest::addColumn<T>(names), ...);
}
// The current row's values of the named columns.
template <typename... T, typename... N> std::tuple<T...> fetch(N... names) {
    return {*static_cast<T*>(QTest::qData(names, qMetaTypeId<T>()))...};
}
// One test data row of the given values.
template <typename... V> void row(const char* name, V... values) {
    (QTest::newRow(name) << ... << values);
}

// CPU seconds this process has used, user and system: a busy loop shows.
double cpuSeconds();

} // namespace trq::test

// Model tests run without widgets; window tests link the support library
// that defines TRQ_TEST_WIDGETS.
#ifdef TRQ_TEST_WIDGETS
#include <QApplication>
#define TRQ_TEST_APP QApplication
#else
#define TRQ_TEST_APP QCoreApplication
#endif

#define TRQ_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char* argv[]) {                                                             \
        trq::test::IsolatedEnvironment env;                                                        \
        TRQ_TEST_APP app(argc, argv);                                                              \
        TestObject tc;                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
