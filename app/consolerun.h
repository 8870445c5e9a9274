#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace trq {

class LabRecords;
class SessionSequence;

// SIGINT and SIGTERM as a Qt signal on the event loop, for as long as it
// lives: a run without windows ends cleanly on either.
class StopSignals : public QObject {
    Q_OBJECT
public:
    explicit StopSignals(QObject* parent = nullptr);
    ~StopSignals() override;

signals:
    // "SIGINT" or "SIGTERM".
    void stopRequested(const QString& name);

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

// How long a recording waits for the first reading of every channel, and an
// output-off for the links, before going on without.
inline constexpr int kFirstReadingsMsec = 10000;
inline constexpr int kOutputOffMsec = 3000;

// The wait for every channel's first reading: once it is up, start runs
// anyway, from the first complete reading on.
void waitForFirstReadings(QTimer& timer, QObject* context, std::function<void()> start);

// A line on stderr, at once: a run without windows tells its user there.
void say(const QString& text);
// Say how saving the record and writing the CSV went; false when it failed.
bool saidSaved(const std::optional<QString>& number, const QString& error);
bool saidWritten(const QString& path, bool written, const QString& error);
// Say that --sequence runs (where: " on NAME" or nothing), and which steps
// are held longer than written.
void saidSequenceRunning(const SessionSequence& sequence, const QString& where = {});
// Say how --sequence ended; whether it completed.
bool saidSequenceEnd(bool completed, const QString& message);
// A run's exit code once its sequence has ended: stopped, or completed with
// its recording stored or not.
int sequenceExitCode(bool completed, bool stored);

// Waits until the commands sent last (an output-off) have left the links
// before a run closes them, or gives up after a while and says so.
class LinkDrain : public QObject {
    Q_OBJECT
public:
    // idle: nothing waits on any link; notConfirmed: what is said on giving up.
    LinkDrain(std::function<bool()> idle, QString notConfirmed, QObject* parent = nullptr);
    // Watches from now until drained() or the time is up.
    void start(int timeoutMsec) {
        giveUpAfter(timeoutMsec);
        watch();
    }
    // The time from now, and the watching of the links once what is to
    // leave them has been sent.
    void giveUpAfter(int timeoutMsec) { deadline_.start(timeoutMsec); }
    void watch() { poll_.start(); }
    void stop();

signals:
    void drained();

private:
    std::function<bool()> idle_;
    QString notConfirmed_;
    QTimer poll_, deadline_;
};

// A run's lab database as its user is told of it: where the points go,
// when they wait and when the server takes them again. At the end it sends
// the last of them, waiting a few seconds at most.
class LabReport : public QObject {
    Q_OBJECT
public:
    // labs: every supply's; file: where waiting points stay.
    LabReport(std::vector<LabRecords*> labs, const QString& station, const QString& file,
              QObject* parent = nullptr);
    // Says where the points go and watches them from now.
    void start(const QString& uri);
    // Their last points; then drained().
    void drain();
    bool isDrained() const { return drained_; }

signals:
    void drained();

private:
    qint64 waiting() const;

    std::vector<LabRecords*> labs_;
    QString station_, file_;
    bool held_ = false; // said that points wait
    bool drained_ = false;
    QTimer drain_;
    QElapsedTimer drainTime_;
};

} // namespace trq
