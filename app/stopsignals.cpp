#include "stopsignals.h"

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace trq {

namespace {

// The handler only writes the signal's number to this socket; the event
// loop reads it (the only safe way out of a handler).
int signalSockets[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    if (signalSockets[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) != 0)
        return;
    notifier_ = std::make_unique<QSocketNotifier>(signalSockets[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
        char number = 0;
        [[maybe_unused]] const auto got = ::read(signalSockets[1], &number, 1);
        emit stopRequested(number == SIGINT ? QStringLiteral("SIGINT") : QStringLiteral("SIGTERM"));
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

StopSignals::~StopSignals() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

} // namespace trq
