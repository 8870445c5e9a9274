// The bytes each layout sends for one scripted session, over the serial and
// the GPIB path, against the traces kept in tests/data/golden. The script
// works the windows as a user does (menus, toolbar, panel controls), so the
// traces hold whatever the program is made of. TRQ_UPDATE_GOLDEN=1 rewrites
// the traces; a change that alters them must say why.
#include "support/shellfixture.h"
#include "ui/frontpanel.h"
#include "ui/numedit.h"

#include <QAbstractButton>
#include <QFile>
#include <QPushButton>
#include <QSpinBox>

using namespace trq;
using namespace trq::test;

namespace {

// A transport that keeps every byte string written to it.
class TapSerial final : public SerialPort {
public:
    TapSerial(SerialPort* inner, QByteArrayList* log) : inner_(inner), log_(log) {
        inner_->setParent(this);
        connect(inner_, &SerialPort::lost, this, &SerialPort::lost);
    }
    void setPortName(const QString& name) override { inner_->setPortName(name); }
    QString portName() const override { return inner_->portName(); }
    void setBaudRate(qint32 baud) override { inner_->setBaudRate(baud); }
    bool open() override { return inner_->open(); }
    void close() override { inner_->close(); }
    bool isOpen() const override { return inner_->isOpen(); }
    void write(const QByteArray& bytes) override {
        *log_ << bytes;
        inner_->write(bytes);
    }
    QByteArray readAll() override { return inner_->readAll(); }
    QString errorString() const override { return inner_->errorString(); }

private:
    SerialPort* inner_;
    QByteArrayList* log_;
};

class TapGpib final : public GpibBoard {
public:
    TapGpib(GpibBoard* inner, QByteArrayList* log) : inner_(inner), log_(log) {
        inner_->setParent(this);
        connect(inner_, &GpibBoard::writeComplete, this, &GpibBoard::writeComplete);
        connect(inner_, &GpibBoard::dataRead, this, &GpibBoard::dataRead);
        connect(inner_, &GpibBoard::error, this, &GpibBoard::error);
    }
    bool configure(int board, int address) override { return inner_->configure(board, address); }
    void writeAsync(const QByteArray& bytes) override {
        *log_ << bytes;
        inner_->writeAsync(bytes);
    }
    void readAsync() override { inner_->readAsync(); }
    void reset() override { inner_->reset(); }
    QString errorString() const override { return inner_->errorString(); }

private:
    GpibBoard* inner_;
    QByteArrayList* log_;
};

QString escaped(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        if (c == '\r')
            out += QStringLiteral("\\r");
        else if (c == '\n')
            out += QStringLiteral("\\n");
        else if (c == '\\')
            out += QStringLiteral("\\\\");
        else if (c < 0x20 || c > 0x7e)
            out += QStringLiteral("\\x%1").arg(uchar(c), 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return out;
}

// Works the windows as a user does and keeps what went to the supply.
struct Script {
    ShellFixture f;
    QByteArrayList sent;

    Script() {
        f.factory.makeSerial = [this](const QString& name) {
            SerialPort* inner = f.factory.AppTransports::createSerialPort(name);
            if (!qobject_cast<SimSerialPort*>(inner))
                return inner; // a system port the dialog only lists
            return static_cast<SerialPort*>(new TapSerial(inner, &sent));
        };
        f.factory.makeGpib = [this](const QString& model) {
            GpibBoard* inner = f.factory.AppTransports::createGpibBoard(model);
            qobject_cast<SimGpibBoard*>(inner)->setReadTimeoutMsec(0);
            return new TapGpib(inner, &sent);
        };
    }

    QWidget* panel() const { return f.main->panel(); }
    QAction* action(const QString& text) const {
        for (QAction* a : f.main->findChildren<QAction*>())
            if (a->text() == text && a->isEnabled())
                return a;
        return nullptr;
    }
    template <typename T> T* control(const QString& text) const {
        for (T* w : panel()->findChildren<T*>())
            if (w->text() == text)
                return w;
        return nullptr;
    }
    // Lets the link finish what the last step queued; no poll runs meanwhile.
    void settle() { QVERIFY(f.quiet()); }
    void trigger(const QString& text) {
        if (QAction* a = action(text)) {
            a->trigger();
            settle();
        }
    }
    void click(const QString& text) {
        if (auto* b = control<QAbstractButton>(text)) {
            QTest::mouseClick(b, Qt::LeftButton);
            settle();
        }
    }
    // The next small dialog takes this number and OK.
    void answer(int value) {
        onNextModal<QDialog>([value](QDialog* d) {
            for (QSpinBox* edit : d->findChildren<QSpinBox*>())
                edit->setValue(value);
            d->accept();
        });
    }
    void poll(int times) {
        for (int i = 0; i < times; ++i) {
            f.session->poll().tick();
            settle();
        }
    }

    void run(const QString& model, bool gpib) {
        QVERIFY(gpib ? f.onLineGpib(model) : f.onLineSerial(model));
        settle();
        trigger(QStringLiteral("&Output"));
        poll(2 * f.link.pollCycleLength() + 3);
        // Each channel's edits in their order, then its over-current switch
        // on and off again.
        const FrontPanel* p = f.panel();
        for (int n = 0; n < p->channelCount(); ++n)
            for (auto [edit, value] : {std::pair{p->voltageEdit(n), "1.5"},
                                       {p->currentEdit(n), "0.5"},
                                       {p->overVoltageEdit(n), "20"}})
                if (edit) {
                    ShellFixture::type(edit, QLatin1String(value));
                    settle();
                }
        for (int n = 0; n < p->channelCount(); ++n)
            for (int i = 0; i < 2 && p->overCurrentSwitch(n); ++i) {
                QTest::mouseClick(p->overCurrentSwitch(n), Qt::LeftButton);
                settle();
            }
        trigger(QStringLiteral("&Output"));
        if (QAction* output = f.main->toolButton(MainWindow::Button::Output); output->isEnabled()) {
            output->trigger();
            settle();
        }
        for (const char* mode : {"PARALLEL", "TRACK", "SERIES", "INDEP"})
            click(QLatin1String(mode));
        if (action(QStringLiteral("&Save Memory"))) {
            answer(2);
            trigger(QStringLiteral("&Save Memory"));
            answer(2);
            action(QStringLiteral("&Recall Memory"))->trigger();
            QTRY_VERIFY(!f.main->recallTimer().isActive() && !QApplication::activeModalWidget());
            settle();
            answer(5);
            trigger(QStringLiteral("&Delay"));
            answer(3);
            trigger(QStringLiteral("&Auto Mode..."));
            trigger(QStringLiteral("Auto &Run"));
            trigger(QStringLiteral("Auto &Run"));
        }
        click(QStringLiteral("Clear Protection"));
        trigger(QStringLiteral("&Clear Error of Protection"));
        trigger(QStringLiteral("&Output"));
        f.session->reset();
    }
};

} // namespace

class TestGolden : public QObject {
    Q_OBJECT
private slots:
    void wireTraceOfAScriptedSession_data() {
        columns<QString, bool>("model", "gpib");
        for (const char* model : {"PSQ-3323", "SPQ-3610DNB", "TRQ-3302", "TRQ-7206S"})
            for (bool gpib : {false, true})
                QTest::addRow("%s %s", model, gpib ? "gpib" : "serial") << model << gpib;
    }
    void wireTraceOfAScriptedSession() {
        QFETCH(QString, model);
        QFETCH(bool, gpib);
        Script script;
        script.run(model, gpib);
        QStringList trace;
        for (const QByteArray& bytes : script.sent)
            trace << escaped(bytes);
        const QString path =
            QStringLiteral(GOLDEN_DIR "/%1-%2.txt")
                .arg(model, gpib ? QStringLiteral("gpib") : QStringLiteral("serial"));
        QFile file(path);
        if (qEnvironmentVariableIntValue("TRQ_UPDATE_GOLDEN")) {
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write((trace.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
            return;
        }
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        const QStringList golden =
            QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(trace, golden); // names the first line that differs
    }
};

TRQ_TEST_MAIN(TestGolden)
#include "tst_golden.moc"
