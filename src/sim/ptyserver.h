#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <QElapsedTimer>
#include <QTimer>

#include <deque>
#include <functional>

class QSocketNotifier;

namespace trq::sim {

// Serves an instrument on a pseudo-terminal: any serial client opens
// slavePath() and talks to it as to a real port.
class PtyServer : public QObject {
    Q_OBJECT
public:
    // Takes the bytes the client wrote and returns the bytes to answer.
    using Responder = std::function<QByteArray(const QByteArray&)>;

    explicit PtyServer(Responder responder, QObject* parent = nullptr);
    ~PtyServer() override;

    bool open();
    // Closes both ends, as when an adapter is unplugged.
    void close();
    bool isOpen() const { return master_ >= 0; }
    QString slavePath() const { return slavePath_; }
    QString errorString() const { return error_; }

    // Sends bytes to the client as if the instrument had written them.
    void writeRaw(const QByteArray& bytes);
    void setResponder(Responder responder) { responder_ = std::move(responder); }
    // Answers as over a real wire: each byte, the question's and the
    // answer's, takes 10 bits at baud, and the instrument needs turnaround
    // between the question's end and the answer. 0 answers at once.
    void setPace(int baud, double turnaroundMsec);

signals:
    void received(const QByteArray& bytes);
    // Bytes written to the client (with --pace, when their wire time is up).
    void sent(const QByteArray& bytes);

private:
    void onReadable();
    void flushOutbox();
    void answerWhenDue();

    Responder responder_;
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString error_;
    QSocketNotifier* notifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray outbox_;
    int paceBaud_ = 0;
    qint64 turnaroundNs_ = 0;
    QElapsedTimer wireClock_;
    qint64 wireFreeNs_ = 0; // when the answer direction is free again
    struct Due {
        qint64 atNs;
        QByteArray bytes;
    };
    std::deque<Due> due_;
    QTimer dueTimer_{this}; // a child: it goes with the server to another thread
};

} // namespace trq::sim
