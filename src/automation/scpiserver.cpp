#include "automation/scpiserver.h"

#include "automation/scpiinstrument.h"
#include "core/debugtrace.h"
#include "core/settings.h"
#include "link/taskscheduler.h"
#include "session/instrumentsession.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <deque>

namespace trq {

// One connected client: its input buffer, its instrument (error queue) and
// the answers not yet written.
class ScpiClient : public QObject {
public:
    ScpiClient(QTcpSocket* socket, InstrumentSession& session, QObject* parent)
        : QObject(parent), socket_(socket), session_(session), instrument_(session) {
        socket_->setParent(this);
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        opcTimer_.setInterval(5);
        opcTimer_.setSingleShot(true);
        connect(&opcTimer_, &QTimer::timeout, this, &ScpiClient::process);
        connect(socket_, &QTcpSocket::readyRead, this, &ScpiClient::read);
    }
    QTcpSocket* socket() const { return socket_; }
    // Called when the socket went away; the client goes once it is idle.
    void close() {
        closed_ = true;
        opcTimer_.stop();
        if (!busy_)
            deleteLater();
    }

private:
    void read() {
        buffer_ += socket_->readAll();
        process();
    }
    // Runs the complete lines in order; a command that lets events run (a
    // recall's wait) is never re-entered by the next line.
    void process() {
        if (busy_ || closed_)
            return;
        busy_ = true;
        while (!closed_ && flush()) {
            const QByteArray line = nextLine();
            if (line.isNull())
                break;
            for (ScpiInstrument::Output& out : instrument_.execute(line))
                pending_.push_back(std::move(out));
        }
        busy_ = false;
        if (closed_)
            deleteLater();
    }
    // The next complete line without its line end; a null array when none
    // is complete. Overlong lines are dropped with an overrun error.
    QByteArray nextLine() {
        for (;;) {
            const qsizetype lf = buffer_.indexOf('\n');
            if (discarding_) {
                if (lf < 0) {
                    buffer_.clear();
                    return {};
                }
                buffer_.remove(0, lf + 1);
                discarding_ = false;
                continue;
            }
            if (lf < 0) {
                if (buffer_.size() > ScpiServer::kMaxLine) {
                    instrument_.pushError(scpi::Error::InputBufferOverrun);
                    buffer_.clear();
                    discarding_ = true;
                }
                return {};
            }
            QByteArray line = buffer_.left(lf);
            buffer_.remove(0, lf + 1);
            if (line.size() > ScpiServer::kMaxLine) {
                instrument_.pushError(scpi::Error::InputBufferOverrun);
                continue;
            }
            if (line.endsWith('\r'))
                line.chop(1);
            return line.isNull() ? QByteArray("") : line;
        }
    }
    // Writes the answers that are ready; false while *OPC? waits for the link.
    bool flush() {
        while (!pending_.empty()) {
            const ScpiInstrument::Output& out = pending_.front();
            if (out.afterLinkQuiet && linkBusy()) {
                opcTimer_.start();
                return false;
            }
            readingWait_.invalidate();
            if (socket_->state() == QAbstractSocket::ConnectedState)
                socket_->write(out.text + '\n');
            pending_.pop_front();
        }
        return true;
    }
    // *OPC? waits until every command has left the link and, with the
    // output on, every channel has a reading of the present state (bounded:
    // a supply that never answers does not hold the client for ever).
    bool linkBusy() {
        const TaskScheduler& link = session_.link();
        if (!session_.isReady())
            return false;
        if (link.pendingCommands() > 0 || link.commandInFlight())
            return true;
        if (!session_.outputOn() || session_.allMeasured())
            return false;
        if (!readingWait_.isValid())
            readingWait_.start();
        return !readingWait_.hasExpired(kReadingWaitMsec);
    }

    QTcpSocket* socket_;
    InstrumentSession& session_;
    ScpiInstrument instrument_;
    QByteArray buffer_;
    std::deque<ScpiInstrument::Output> pending_;
    QTimer opcTimer_;
    static constexpr qint64 kReadingWaitMsec = 10000;
    QElapsedTimer readingWait_;
    bool discarding_ = false;
    bool busy_ = false;
    bool closed_ = false;
};

ScpiServer::Options ScpiServer::storedOptions(bool* enabled) {
    const QString section = QLatin1String(kSection);
    Options o;
    o.port = quint16(Settings::integer(section, QStringLiteral("Port"), kDefaultPort));
    o.remote = Settings::integer(section, QStringLiteral("Remote"), 0) != 0;
    if (enabled)
        *enabled = Settings::integer(section, QStringLiteral("Enabled"), 0) != 0;
    return o;
}

void ScpiServer::storeOptions(const Options& options, bool enabled) {
    const QString section = QLatin1String(kSection);
    Settings::setInteger(section, QStringLiteral("Port"), options.port);
    Settings::setInteger(section, QStringLiteral("Remote"), options.remote ? 1 : 0);
    Settings::setInteger(section, QStringLiteral("Enabled"), enabled ? 1 : 0);
}

ScpiServer::ScpiServer(InstrumentSession& session, QObject* parent)
    : QObject(parent), session_(session) {}

ScpiServer::~ScpiServer() {
    stop();
}

bool ScpiServer::start(const Options& options) {
    stop();
    options_ = options;
    const QList<QHostAddress> addresses =
        options.remote ? QList<QHostAddress>{QHostAddress::Any}
                       : QList<QHostAddress>{QHostAddress::LocalHost, QHostAddress::LocalHostIPv6};
    quint16 port = options.port;
    for (const QHostAddress& address : addresses) {
        auto server = std::make_unique<QTcpServer>();
        if (!server->listen(address, port)) {
            // A machine without IPv6 still serves on IPv4.
            if (address == QHostAddress::LocalHostIPv6 && !servers_.empty())
                continue;
            error_ = tr("The automation server cannot listen on port %1: %2")
                         .arg(port)
                         .arg(server->errorString());
            servers_.clear();
            trace(error_);
            emit statusChanged();
            return false;
        }
        port = server->serverPort(); // the port chosen for the first, also for the second
        QTcpServer* raw = server.get();
        connect(raw, &QTcpServer::newConnection, this, [this, raw] { accept(raw); });
        servers_.push_back(std::move(server));
    }
    port_ = port;
    error_.clear();
    trace(statusText());
    if (options.remote)
        emit warning(tr("The automation server accepts remote clients on port %1: "
                        "anyone on the network can switch outputs.")
                         .arg(port_));
    emit statusChanged();
    return true;
}

void ScpiServer::stop() {
    for (ScpiClient* c : clients_) {
        c->socket()->disconnect(this);
        c->socket()->abort();
        c->close();
    }
    clients_.clear();
    const bool was = !servers_.empty();
    servers_.clear();
    port_ = 0;
    if (was)
        emit statusChanged();
}

void ScpiServer::accept(QTcpServer* server) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        if (int(clients_.size()) >= kMaxClients) {
            trace(tr("Automation server: client refused, %1 connected").arg(kMaxClients));
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto* client = new ScpiClient(socket, session_, this);
        clients_.push_back(client);
        connect(socket, &QTcpSocket::disconnected, this, [this, client] { forget(client); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, client] { forget(client); });
        emit statusChanged();
    }
}

void ScpiServer::forget(ScpiClient* client) {
    const auto it = std::find(clients_.begin(), clients_.end(), client);
    if (it == clients_.end())
        return;
    clients_.erase(it);
    client->socket()->disconnect(this);
    client->close();
    emit statusChanged();
}

QString ScpiServer::statusText() const {
    if (servers_.empty())
        return {};
    const QString where = options_.remote ? tr("all addresses") : tr("127.0.0.1 and ::1");
    return tr("Automation server on %1, port %2, %3 client%4")
        .arg(where)
        .arg(port_)
        .arg(clients_.size())
        .arg(clients_.size() == 1 ? QString() : tr("s"));
}

} // namespace trq
