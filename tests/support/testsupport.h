#pragma once

#include "link/clock.h"
#include "link/commtasker.h"
#include "shell/prompter.h"

#include <QApplication>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <deque>

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

class ManualClock final : public Clock {
public:
    double nowSec() const override { return double(msec_) / 1000.0; }
    void advanceMsec(qint64 msec) { msec_ += msec; }
    void setMsec(qint64 msec) { msec_ = msec; }

private:
    qint64 msec_ = 1000;
};

// Waits without sleeping: moves the manual clock and lets events run, and
// remembers each wait so tests can check what the exchange waited for.
class FastWaiter final : public Waiter {
public:
    explicit FastWaiter(ManualClock* clock = nullptr) : clock_(clock) {}
    void wait(int msec) override;
    void letEventsRun() override;
    QList<int> waits;

private:
    ManualClock* clock_;
};

// Answers message boxes from a script and records every text shown.
class ScriptedPrompter final : public Prompter {
public:
    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
    QString saveFileName(const QString& folder, const QString& filter) override;
    bool preparePrinter(QPrinter& printer) override { return onPrint ? onPrint(printer) : false; }
    QStringList texts;
    // The file dialog's answer (empty: cancelled) and what it was asked with.
    QString fileName;
    QStringList fileRequests;
    std::function<bool(QPrinter&)> onPrint;
    std::deque<Answer> answers;
    // Runs while the box would be up, as the event loop of a modal box does.
    std::function<void()> onAsk;
};

// Collects trace lines written from now on.
class TraceCapture : public QObject {
public:
    TraceCapture();
    QStringList lines;
    // Lines from the first that equals `from`, inclusive.
    QStringList since(const QString& from) const;
};

class FakeHost final : public LinkHost {
public:
    bool isPollTimerEnabled() const override { return pollEnabled; }
    void ReportStatus(const QString& text, int msec) override { reports << qMakePair(text, msec); }
    bool pollEnabled = false;
    QList<QPair<QString, int>> reports;
};

// Receives replies by procedure name (call type 1) and counts timeouts.
class Target : public QObject {
    Q_OBJECT
public:
    QStringList replies;
    int timeouts = 0;
    std::function<void(const QString&)> onReply;
public slots:
    void Take(const QString& reply) {
        replies << reply;
        if (onReply)
            onReply(reply);
    }
    void OperationTimeout() { ++timeouts; }
};

// A tasker on a manual clock with fast waits and scripted message boxes, its
// own writer timer stopped so the test drives every tick.
struct TaskerFixture {
    ManualClock clock;
    FastWaiter waiter{&clock};
    ScriptedPrompter prompter;
    FakeHost host;
    CommTasker tasker{{clock, waiter, prompter}};
    TaskerFixture() {
        tasker.WriterTimer().stop();
        tasker.setLinkHost(&host);
    }
    // One writer tick, 100 ms after the previous one.
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advanceMsec(100);
            tasker.DoWriterTimer(100);
            QCoreApplication::processEvents();
        }
    }
};

// Runs act on the next modal dialog of type Dialog once it is up.
template <typename Dialog> void onNextModal(std::function<void(Dialog*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start();
}

} // namespace trq::test

#define TRQ_TEST_MAIN(TestObject)                                                                  \
    int main(int argc, char* argv[]) {                                                             \
        trq::test::IsolatedEnvironment env;                                                        \
        QApplication app(argc, argv);                                                              \
        TestObject tc;                                                                             \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
