#pragma once

#include "core/settings.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QTcpServer;

namespace trq {

class ErrorTrace;
class InstrumentSession;
class ScpiClient;

// The supply on line as a raw-socket SCPI instrument: lines in, one line per
// query out, through the same session and link as the windows. Loopback
// only unless remote clients are allowed.
class ScpiServer : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = Settings::kDefaultServerPort;
    static constexpr int kMaxClients = 8;
    static constexpr qsizetype kMaxLine = 4096;
    // A client that leaves its answers unread this long is closed: it holds
    // a place and what was made for it.
    static constexpr int kUnreadSec = 30;
    static constexpr int kDefaultIdleMinutes = Settings::kDefaultIdleMinutes;
    static constexpr int kMaxIdleMinutes = Settings::kMaxIdleMinutes;

    struct Options {
        quint16 port = kDefaultPort; // 0: any free port
        bool remote = false;
        // A client that has sent nothing and been sent nothing this long is
        // closed, so forgotten connections do not lock the others out.
        int idleMinutes = kDefaultIdleMinutes;
    };
    static Options storedOptions(bool* enabled);
    static void storeOptions(const Options& options, bool enabled);

    explicit ScpiServer(InstrumentSession& session, QObject* parent = nullptr);
    ~ScpiServer() override;

    // Listens; false with the reason in errorString(). Already listening
    // there, only the idle time changes and the clients stay.
    bool start(const Options& options);
    void stop();
    bool isListening() const { return !servers_.empty(); }
    quint16 port() const { return port_; }
    const Options& options() const { return options_; }
    QString errorString() const { return error_; }
    int clientCount() const { return int(clients_.size()); }
    // Every supply served beside this one, as SYSTem:BENCh? lists them;
    // none: this one alone.
    struct Served {
        QString name;
        quint16 port = 0;
    };
    void setBench(std::function<std::vector<Served>()> bench) { bench_ = std::move(bench); }
    // "logic",5025,"PSQ-3323",5026
    QByteArray benchAnswer() const;
    // What BENCh:OUTPut does; none: it is refused.
    void setBenchPower(std::function<bool()> allOn, std::function<QString(bool on)> run) {
        benchAllOn_ = std::move(allOn);
        benchRun_ = std::move(run);
    }
    // "Automation server on 127.0.0.1:5025, 1 client", or "" when stopped.
    QString statusText() const;

signals:
    void statusChanged();
    // Said once when remote clients are allowed: anyone on the network can
    // switch outputs.
    void warning(const QString& text);

private:
    void accept(QTcpServer* server);
    void forget(ScpiClient* client);
    // Closes the clients idle too long and those not reading their answers.
    void sweep();

    InstrumentSession& session_;
    Options options_;
    quint16 port_ = 0;
    QString error_;
    std::vector<std::unique_ptr<QTcpServer>> servers_;
    std::vector<ScpiClient*> clients_;
    std::unique_ptr<ErrorTrace> errorTrace_;
    QTimer sweep_;
    std::function<std::vector<Served>()> bench_;
    std::function<bool()> benchAllOn_;
    std::function<QString(bool)> benchRun_;
};

} // namespace trq
