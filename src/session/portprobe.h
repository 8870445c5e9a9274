#pragma once

#include <QList>
#include <QObject>
#include <QStringList>

#include <memory>

namespace trq {

class SerialPort;
class TaskScheduler;
class TransportFactory;
class Waiter;

struct ProbeResult {
    bool found = false;
    int port = -1; // indexes into what was probed
    int rate = -1;
    QString answer; // the identification, as the supply sent it
};

// Looks for a supply on serial ports: each rate in turn on every port, the
// port listed last first, asking "*IDN?" and giving each the time to answer.
// Runs on timers and the port's signals; the link's own port is closed
// first, as it would not open twice.
class PortProbe : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnswerMsec = 1500;

    PortProbe(TransportFactory& factory, TaskScheduler& link, Waiter& waiter,
              QObject* parent = nullptr);
    ~PortProbe() override;

    // Those of the names whose port opens now.
    QStringList openable(const QStringList& names);
    void start(const QStringList& ports, const QList<qint32>& rates);
    void cancel();
    bool running() const { return running_; }

signals:
    void progressed(int done, int total);
    void finished(const trq::ProbeResult& result);

private:
    void tryNext();
    void ask();
    void collect();
    void timeUp(quint64 attempt);
    void answered();
    void conclude(const QByteArray& answer);
    void closePort();
    void releaseLink();

    TransportFactory& factory_;
    TaskScheduler& link_;
    Waiter& waiter_;
    QStringList ports_;
    QList<qint32> rates_;
    int rate_ = 0, port_ = 0, done_ = 0;
    bool running_ = false;
    bool askedAgain_ = false;
    // Counts questions, so a time-up of an answered one is ignored.
    quint64 attempt_ = 0;
    QByteArray answer_;
    std::unique_ptr<SerialPort> serial_;
};

} // namespace trq
