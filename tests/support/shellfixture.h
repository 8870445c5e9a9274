#pragma once

#include "link/dlgqueryinitial.h"
#include "link/simlink.h"
#include "link/transportfactory.h"
#include "panels/frontpanel.h"
#include "shell/dataform.h"
#include "shell/mdiform1.h"
#include "shell/settings.h"
#include "sim/supply.h"
#include "support/testsupport.h"

#include <QAbstractSpinBox>
#include <QDir>
#include <QLineEdit>

#include <functional>

namespace trq::test {

// A serial port whose instrument is a script: it answers what the test says,
// and remembers every port and rate it was opened with.
class ScriptedSerialPort final : public SerialPort {
public:
    using Script = std::function<QByteArray(const QString& port, int baud, const QByteArray&)>;
    ScriptedSerialPort(QString name, Script script, QStringList* opened = nullptr)
        : name_(std::move(name)), script_(std::move(script)), opened_(opened) {}
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
    int baud() const { return baud_; }

private:
    QString name_;
    Script script_;
    QStringList* opened_;
    int baud_ = 9600;
    bool open_ = false;
    QByteArray input_;
};

// Transports for the shell tests: simulated ones by default, or whatever a
// test hands in; remembers the simulated supplies it made. A test may set the
// supply's state before it is first asked (prepare), and rewrite what it
// answers on the serial line (rewrite: the bytes written, the reply).
class TestFactory final : public TransportFactory {
public:
    SerialPort* createSerialPort(const QString& name) override {
        if (makeSerial)
            return makeSerial(name);
        if (rewrite && isSimulated(name)) {
            rewritten = sim::Supply::create(name.mid(int(qstrlen(kSimPrefix))));
            if (prepare)
                prepare(*rewritten);
            return new ScriptedSerialPort(name,
                                          [this](const QString&, int, const QByteArray& bytes) {
                                              return rewrite(bytes, rewritten->receive(bytes));
                                          });
        }
        SerialPort* port = TransportFactory::createSerialPort(name);
        if (auto* sim = qobject_cast<SimSerialPort*>(port)) {
            sim->supply().setNoise(0);
            if (prepare)
                prepare(sim->supply());
            lastSerial = sim;
        }
        return port;
    }
    GpibBoard* createGpibBoard(const QString& model) override {
        if (makeGpib)
            return makeGpib(model);
        GpibBoard* board = TransportFactory::createGpibBoard(model);
        if (auto* sim = qobject_cast<SimGpibBoard*>(board)) {
            sim->supply().setNoise(0);
            sim->setReadTimeoutMsec(0);
            if (prepare)
                prepare(sim->supply());
            lastGpib = sim;
        }
        return board;
    }
    QStringList availablePortNames() const override {
        return ports.isEmpty() ? TransportFactory::availablePortNames() : ports;
    }
    std::function<SerialPort*(const QString&)> makeSerial;
    std::function<GpibBoard*(const QString&)> makeGpib;
    std::function<void(sim::Supply&)> prepare;
    std::function<QByteArray(const QByteArray& written, const QByteArray& reply)> rewrite;
    std::unique_ptr<sim::Supply> rewritten;
    QStringList ports;
    QPointer<SimSerialPort> lastSerial;
    QPointer<SimGpibBoard> lastGpib;
};

// A main window on a fresh database, a manual clock for the watchdog,
// scripted message boxes and quick timers.
struct ShellFixture {
    ManualClock clock;
    FastWaiter waiter{&clock};
    ScriptedPrompter prompter;
    TestFactory factory;
    DataForm data;
    CommTasker tasker{{clock, waiter, prompter}};
    std::unique_ptr<MDIForm1> main;

    ShellFixture() {
        static int count = 0;
        const QString folder =
            QDir::current().absoluteFilePath(QStringLiteral("db%1").arg(++count));
        QDir().mkpath(folder);
        DataForm::create(folder + QStringLiteral("/mtype.mdb"));
        data.open(folder);
        tasker.WriterTimer().setInterval(5);
        main =
            std::make_unique<MDIForm1>(MDIForm1::Services{tasker, data, prompter, waiter, factory});
        main->queryInitialDialog()->CheckTimer().setInterval(5);
        main->GetMachineTypeTimer().setInterval(MDIForm1::kDetectionTimeoutMsec);
        main->show();
    }

    // Goes on line with a simulated supply the way the command line does.
    bool onLineSerial(const QString& model) {
        Settings::SaveSetting(QStringLiteral("RS232"), QStringLiteral("PortName"),
                              QStringLiteral("SIM:") + model);
        main->Setup(QStringLiteral("RS232"), {}, true);
        return settle();
    }
    bool onLineGpib(const QString& model) {
        Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Simulated"), model);
        main->Setup(QStringLiteral("GPIB"), {}, true);
        return settle();
    }
    // On line, and what the initial query set off has gone out.
    bool settle() {
        return QTest::qWaitFor([&] { return readyOrFailed(); }, 5000) &&
               main->MainFormState == MDIForm1::kReady && waitReceived();
    }
    bool readyOrFailed() const {
        return (main->MainFormState == MDIForm1::kReady && main->OperatorForm &&
                main->OperatorForm->isVisible()) ||
               !prompter.texts.isEmpty() || main->MainFormState == MDIForm1::kOffLine;
    }
    sim::Supply& instrument() {
        if (factory.rewritten)
            return *factory.rewritten;
        return factory.lastSerial ? factory.lastSerial->supply() : factory.lastGpib->supply();
    }
    // Waits until the instrument has taken at least n lines since the last
    // take, or until the link is idle when n is 0.
    bool waitReceived(int n = 0) {
        return QTest::qWaitFor([&] {
            if (n > 0)
                return int(instrument().received.size()) >= n;
            return tasker.QueryTaskCount() == 0 && tasker.CmdTaskCount() == 0 &&
                   !tasker.IsQueryPending() && !tasker.IsCommandPending();
        });
    }
    // Types a value into an edit as the user does: select, type, Enter.
    static void type(QAbstractSpinBox* edit, const QString& text) {
        QLineEdit* line = edit->findChild<QLineEdit*>();
        line->selectAll();
        QTest::keyClicks(line, text);
        QTest::keyClick(line, Qt::Key_Return);
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

} // namespace trq::test
