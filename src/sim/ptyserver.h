#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

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

signals:
    void received(const QByteArray& bytes);

private:
    void onReadable();
    void flushOutbox();

    Responder responder_;
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString error_;
    QSocketNotifier* notifier_ = nullptr;
    QSocketNotifier* writeNotifier_ = nullptr;
    QByteArray outbox_;
};

} // namespace trq::sim
