#include "automation/scpiserver.h"

#include "automation/scpiinstrument.h"
#include "core/clock.h"
#include "core/debugtrace.h"
#include "core/settings.h"
#include "link/taskscheduler.h"
#include "session/instrumentsession.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <deque>

namespace trq {

// One connected client: its input, its instrument (error queue) and the
// answers not yet written. Each turn of the event loop runs a few of its
// lines and makes a bounded piece of a long answer, so the poll, the
// recording and the other clients keep their pace whatever it sends; it
// reads no more than it can run and makes no more than its socket takes, so
// a client that writes without end or never reads holds a bounded amount.
class ScpiClient : public QObject {
public:
    enum class Check { Fine, Idle, NotReading };

    void setBenchAnswer(std::function<QByteArray()> answer) {
        instrument_.setBenchAnswer(std::move(answer));
    }
    void setBenchPower(ScpiInstrument::BenchPower power) {
        instrument_.setBenchPower(std::move(power));
    }

    ScpiClient(QTcpSocket* socket, InstrumentSession& session, ErrorTrace* errors, QObject* parent)
        : QObject(parent), socket_(socket), session_(session), instrument_(session, errors) {
        socket_->setParent(this);
        socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // What the client sends beyond this waits in TCP's flow control.
        socket_->setReadBufferSize(kReadBuffer);
        lastActivity_ = lastWritten_ = now();
        opcTimer_.setInterval(5);
        opcTimer_.setSingleShot(true);
        connect(&opcTimer_, &QTimer::timeout, this, &ScpiClient::process);
        resume_.setInterval(0);
        resume_.setSingleShot(true);
        connect(&resume_, &QTimer::timeout, this, &ScpiClient::process);
        connect(socket_, &QTcpSocket::readyRead, this, [this] {
            lastActivity_ = now();
            process();
        });
        connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
            lastActivity_ = lastWritten_ = now();
            process();
        });
    }
    QTcpSocket* socket() const { return socket_; }
    QString peer() const {
        return socket_->peerAddress().toString() + QLatin1Char(':') +
               QString::number(socket_->peerPort());
    }
    // Called when the socket went away; the client goes once it is idle.
    void close() {
        closed_ = true;
        opcTimer_.stop();
        resume_.stop();
        if (!busy_)
            deleteLater();
    }
    // Idle: nothing asked, nothing to answer, nothing sent either way for
    // idleSec. Not reading: answers waiting and none taken for unreadSec.
    Check check(double idleSec, double unreadSec) const {
        const double t = now();
        if (socket_->bytesToWrite() > 0)
            return t - lastWritten_ >= unreadSec ? Check::NotReading : Check::Fine;
        if (!pending_.empty() || buffer_.contains('\n') || socket_->bytesAvailable() > 0)
            return Check::Fine;
        return t - lastActivity_ >= idleSec ? Check::Idle : Check::Fine;
    }

private:
    static constexpr int kLinesPerTurn = 8;
    static constexpr int kTurnMsec = 5;
    static constexpr qint64 kReadBuffer = 64 * 1024;
    // Answers are made while less than this waits to be written.
    static constexpr qint64 kHighWater = 256 * 1024;

    double now() const { return session_.link().clock().nowSec(); }

    // Runs lines in order while their answers can be written, a few per
    // turn; a command that lets events run is never re-entered by the next
    // line.
    void process() {
        if (busy_ || closed_)
            return;
        busy_ = true;
        const QDeadlineTimer deadline(kTurnMsec);
        int lines = 0;
        while (!closed_ && flush(deadline)) {
            // A recall or the initial query runs: the next line waits for
            // it, as a script's next line waits for the supply.
            if (session_.waiting()) {
                opcTimer_.start();
                break;
            }
            if (lines == kLinesPerTurn || deadline.hasExpired()) {
                if (buffer_.contains('\n') || socket_->bytesAvailable() > 0)
                    resume_.start();
                break;
            }
            const QByteArray line = nextLine();
            if (line.isNull())
                break;
            ++lines;
            lastActivity_ = now();
            for (ScpiInstrument::Output& out : instrument_.execute(line))
                pending_.push_back(std::move(out));
        }
        busy_ = false;
        if (closed_)
            deleteLater();
    }
    // The next complete line without its line end; a null array when none
    // is complete. The socket is read only while no line is complete.
    // Overlong lines are dropped with an overrun error.
    QByteArray nextLine() {
        for (;;) {
            const qsizetype lf = buffer_.indexOf('\n');
            if (lf < 0) {
                if (discarding_) {
                    buffer_.clear();
                } else if (buffer_.size() > ScpiServer::kMaxLine) {
                    instrument_.pushError(scpi::Error::InputBufferOverrun);
                    buffer_.clear();
                    discarding_ = true;
                }
                if (socket_->bytesAvailable() == 0)
                    return {};
                buffer_ += socket_->read(ScpiServer::kMaxLine);
                continue;
            }
            if (discarding_) {
                buffer_.remove(0, lf + 1);
                discarding_ = false;
                continue;
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
    // Writes the answers that are ready; false while *OPC? waits for the
    // link, the socket holds enough, or a long answer is being made.
    bool flush(const QDeadlineTimer& deadline) {
        while (!pending_.empty()) {
            ScpiInstrument::Output& out = pending_.front();
            if (out.afterLinkQuiet && linkBusy()) {
                opcTimer_.start();
                return false;
            }
            readingWait_.invalidate();
            const qint64 room = kHighWater - socket_->bytesToWrite();
            if (room <= 0)
                return false; // bytesWritten goes on
            if (out.stream) {
                QByteArray piece;
                const LongAnswer::Step step = out.stream->next(&piece, room, deadline);
                send(piece);
                if (step == LongAnswer::Step::More) {
                    if (socket_->bytesToWrite() < kHighWater)
                        resume_.start();
                    return false;
                }
                if (out.stream->error() != scpi::Error::None)
                    instrument_.pushError(out.stream->error(), out.stream->errorDetail());
            } else {
                send(out.text + '\n');
            }
            pending_.pop_front();
        }
        return true;
    }
    void send(const QByteArray& bytes) {
        if (bytes.isEmpty() || socket_->state() != QAbstractSocket::ConnectedState)
            return;
        if (socket_->bytesToWrite() == 0)
            lastWritten_ = now(); // from now on the client is expected to read
        socket_->write(bytes);
    }
    // *OPC? waits until every command has left the link and, with the
    // output on, every channel has a reading of the present state (bounded:
    // a supply that never answers does not hold the client for ever).
    bool linkBusy() {
        const TaskScheduler& link = session_.link();
        if (!session_.isReady())
            return false;
        if (session_.waiting() || link.pendingCommands() > 0 || link.commandInFlight())
            return true;
        if (!session_.supply().outputOn() || session_.supply().allMeasured())
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
    QTimer resume_; // the rest of the work, next turn
    static constexpr qint64 kReadingWaitMsec = 10000;
    QElapsedTimer readingWait_;
    double lastActivity_ = 0; // bytes either way, or a line run
    double lastWritten_ = 0;  // bytes taken by the client
    bool discarding_ = false;
    bool busy_ = false;
    bool closed_ = false;
};

ScpiServer::Options ScpiServer::storedOptions(bool* enabled) {
    const Settings& s = Settings::instance();
    Options o;
    o.port = quint16(s.serverPort());
    o.remote = s.serverRemote();
    o.idleMinutes = s.serverIdleMinutes();
    if (enabled)
        *enabled = s.serverEnabled();
    return o;
}

void ScpiServer::storeOptions(const Options& options, bool enabled) {
    Settings& s = Settings::instance();
    s.setServerPort(options.port);
    s.setServerRemote(options.remote);
    s.setServerIdleMinutes(std::clamp(options.idleMinutes, 1, kMaxIdleMinutes));
    s.setServerEnabled(enabled);
}

ScpiServer::ScpiServer(InstrumentSession& session, QObject* parent)
    : QObject(parent), session_(session),
      errorTrace_(std::make_unique<ErrorTrace>(session.link().clock())) {
    sweep_.setInterval(500);
    connect(&sweep_, &QTimer::timeout, this, &ScpiServer::sweep);
}

ScpiServer::~ScpiServer() {
    stop();
}

bool ScpiServer::start(const Options& options) {
    if (isListening() && (options.port == options_.port || options.port == port_) &&
        options.remote == options_.remote) {
        options_ = options;
        return true;
    }
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
    sweep_.start();
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
    sweep_.stop();
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
            // Said before closing, so the script's next read shows why.
            socket->write(
                scpi::errorText(scpi::Error::DeviceSpecific,
                                QStringLiteral("too many clients, %1 connected").arg(kMaxClients))
                    .toLatin1() +
                '\n');
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            socket->disconnectFromHost();
            continue;
        }
        auto* client = new ScpiClient(socket, session_, errorTrace_.get(), this);
        client->setBenchAnswer([this] { return benchAnswer(); });
        if (benchRun_)
            client->setBenchPower({benchAllOn_, benchRun_});
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

void ScpiServer::sweep() {
    const std::vector<ScpiClient*> clients = clients_;
    for (ScpiClient* c : clients) {
        switch (c->check(options_.idleMinutes * 60.0, kUnreadSec)) {
        case ScpiClient::Check::Fine:
            continue;
        case ScpiClient::Check::Idle:
            trace(tr("Automation server: client %1 closed after %2 minutes without a command")
                      .arg(c->peer())
                      .arg(options_.idleMinutes));
            c->socket()->disconnectFromHost();
            break;
        case ScpiClient::Check::NotReading:
            trace(tr("Automation server: client %1 closed, it left its answers unread for %2 s")
                      .arg(c->peer())
                      .arg(kUnreadSec));
            c->socket()->abort();
            break;
        }
        forget(c);
    }
}

QByteArray ScpiServer::benchAnswer() const {
    std::vector<Served> served;
    if (bench_)
        served = bench_();
    else
        served.push_back(
            {session_.isReady() ? session_.connection().model() : QStringLiteral("NONE"), port_});
    QByteArrayList fields;
    for (const Served& s : served) {
        // A string answer: quoted, a quote inside doubled.
        QByteArray name = s.name.toUtf8();
        name.replace('"', "\"\"");
        fields << '"' + name + '"' << QByteArray::number(s.port);
    }
    return fields.join(',');
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
