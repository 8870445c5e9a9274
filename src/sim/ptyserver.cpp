#include "sim/ptyserver.h"

#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace trq::sim {

PtyServer::PtyServer(Responder responder, QObject* parent)
    : QObject(parent), responder_(std::move(responder)) {
    dueTimer_.setSingleShot(true);
    dueTimer_.setTimerType(Qt::PreciseTimer);
    connect(&dueTimer_, &QTimer::timeout, this, &PtyServer::answerWhenDue);
}

void PtyServer::setPace(int baud, double turnaroundMsec) {
    paceBaud_ = std::max(baud, 0);
    turnaroundNs_ = qint64(turnaroundMsec * 1e6);
    wireClock_.start();
    wireFreeNs_ = 0;
}

void PtyServer::answerWhenDue() {
    // Timers count whole milliseconds: the rest of the last one is slept
    // here, so that the pace is the wire's and not the timer's.
    while (!due_.empty() && due_.front().atNs - wireClock_.nsecsElapsed() < 1'000'000) {
        if (const qint64 rest = due_.front().atNs - wireClock_.nsecsElapsed(); rest > 0)
            std::this_thread::sleep_for(std::chrono::nanoseconds(rest));
        writeRaw(due_.front().bytes);
        due_.pop_front();
    }
    if (!due_.empty())
        dueTimer_.start(int((due_.front().atNs - wireClock_.nsecsElapsed()) / 1'000'000));
}

PtyServer::~PtyServer() {
    close();
}

bool PtyServer::open() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        master_ = slave_ = -1;
        return false;
    }
    termios tio{};
    ::tcgetattr(master_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(master_, TCSANOW, &tio);
    ::tcgetattr(slave_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave_, TCSANOW, &tio);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    // A program started meanwhile must not inherit the ends: closing them
    // here is the unplugging, and a copy in a child would keep the line up.
    for (int fd : {master_, slave_})
        ::fcntl(fd, F_SETFD, ::fcntl(fd, F_GETFD) | FD_CLOEXEC);
    slavePath_ = QString::fromLocal8Bit(name);
    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyServer::onReadable);
    writeNotifier_ = new QSocketNotifier(master_, QSocketNotifier::Write, this);
    writeNotifier_->setEnabled(false);
    connect(writeNotifier_, &QSocketNotifier::activated, this, &PtyServer::flushOutbox);
    return true;
}

void PtyServer::close() {
    delete notifier_;
    notifier_ = nullptr;
    delete writeNotifier_;
    writeNotifier_ = nullptr;
    outbox_.clear();
    due_.clear();
    dueTimer_.stop();
    if (master_ >= 0)
        ::close(master_);
    if (slave_ >= 0)
        ::close(slave_);
    master_ = slave_ = -1;
}

void PtyServer::writeRaw(const QByteArray& bytes) {
    if (!bytes.isEmpty())
        emit sent(bytes);
    outbox_ += bytes;
    flushOutbox();
}

void PtyServer::flushOutbox() {
    while (master_ >= 0 && !outbox_.isEmpty()) {
        const ssize_t n = ::write(master_, outbox_.constData(), std::size_t(outbox_.size()));
        if (n > 0) {
            outbox_.remove(0, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break; // the client has not read yet: go on when it has
        }
    }
    if (writeNotifier_)
        writeNotifier_->setEnabled(!outbox_.isEmpty());
}

void PtyServer::onReadable() {
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(master_, buf, sizeof buf);
        if (n <= 0) // the slave fd stays open here, so no EIO storm when a client leaves
            return;
        const QByteArray bytes(buf, n);
        emit received(bytes);
        if (!responder_)
            continue;
        const QByteArray answer = responder_(bytes);
        if (paceBaud_ <= 0) {
            writeRaw(answer);
            continue;
        }
        // The question's last byte arrives after its wire time; the answer
        // starts a turnaround later (or when the previous one has gone) and
        // is complete after its own wire time.
        const qint64 byteNs = 10'000'000'000LL / paceBaud_;
        const qint64 asked = wireClock_.nsecsElapsed() + n * byteNs;
        if (answer.isEmpty())
            continue;
        const qint64 done = std::max(asked + turnaroundNs_, wireFreeNs_) + answer.size() * byteNs;
        wireFreeNs_ = done;
        due_.push_back({done, answer});
        if (!dueTimer_.isActive())
            answerWhenDue();
    }
}

} // namespace trq::sim
