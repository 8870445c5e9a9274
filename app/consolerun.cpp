#include "consolerun.h"

#include "commandline.h"
#include "session/labrecords.h"
#include "session/sessionsequence.h"

#include <QDir>

#include <cstdio>

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

void say(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

void waitForFirstReadings(QTimer& timer, QObject* context, std::function<void()> start) {
    timer.setSingleShot(true);
    timer.setInterval(kFirstReadingsMsec);
    QObject::connect(&timer, &QTimer::timeout, context, [start = std::move(start)] {
        say(QStringLiteral("Not every channel has a reading yet; recording from the first "
                           "complete one."));
        start();
    });
}

bool saidSaved(const std::optional<QString>& number, const QString& error) {
    say(number ? QStringLiteral("Saved as record %1.").arg(*number)
               : QStringLiteral("The record could not be saved: %1").arg(error));
    return number.has_value();
}

bool saidSequenceEnd(bool completed, const QString& message) {
    say(completed ? QStringLiteral("The sequence has completed.")
                  : QStringLiteral("The sequence was stopped: %1").arg(message));
    return completed;
}

void saidSequenceRunning(const SessionSequence& sequence, const QString& where) {
    say(QStringLiteral("Running the sequence%1 (%2 steps).")
            .arg(where)
            .arg(sequence.sequence().steps.size()));
    if (!sequence.notice().isEmpty())
        say(sequence.notice());
}

int sequenceExitCode(bool completed, bool stored) {
    return !completed ? CommandLine::SequenceStopped
           : stored   ? CommandLine::Ok
                      : CommandLine::NotStored;
}

bool saidWritten(const QString& path, bool written, const QString& error) {
    say(written ? QStringLiteral("Wrote %1.").arg(QDir::toNativeSeparators(path))
                : QStringLiteral("%1 could not be written: %2")
                      .arg(QDir::toNativeSeparators(path), error));
    return written;
}

LinkDrain::LinkDrain(std::function<bool()> idle, QString notConfirmed, QObject* parent)
    : QObject(parent), idle_(std::move(idle)), notConfirmed_(std::move(notConfirmed)) {
    poll_.setInterval(20);
    connect(&poll_, &QTimer::timeout, this, [this] {
        if (idle_()) {
            stop();
            emit drained();
        }
    });
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        say(notConfirmed_);
        stop();
        emit drained();
    });
}

void LinkDrain::stop() {
    poll_.stop();
    deadline_.stop();
}

LabReport::LabReport(std::vector<LabRecords*> labs, const QString& station, const QString& file,
                     QObject* parent)
    : QObject(parent), labs_(std::move(labs)), station_(station), file_(file) {
    drain_.setInterval(100);
    connect(&drain_, &QTimer::timeout, this, [this] {
        constexpr int kLastPointsMsec = 5000;
        for (LabRecords* lab : labs_)
            lab->upload().sendNow();
        const qint64 left = waiting();
        if (left > 0 && drainTime_.elapsed() < kLastPointsMsec)
            return;
        drain_.stop();
        if (left > 0)
            say(QStringLiteral("lab database: %1 points waiting; they stay in %2 and go with "
                               "the next run that reaches the server.")
                    .arg(left)
                    .arg(QDir::toNativeSeparators(file_)));
        else
            say(QStringLiteral("The lab database has every point."));
        drained_ = true;
        emit drained();
    });
}

qint64 LabReport::waiting() const {
    return LabRecords::waiting(labs_);
}

void LabReport::start(const QString& uri) {
    for (LabRecords* lab : labs_) {
        lab->upload().sendNow();
        connect(&lab->upload(), &LabUpload::progressed, this, [this, lab] {
            if (lab->held()) {
                // Once, not every batch it lasts.
                if (!std::exchange(held_, true))
                    say(QStringLiteral("lab database: %1 points waiting (%2)")
                            .arg(waiting())
                            .arg(lab->upload().problem()));
            } else if (!LabRecords::anyHeld(labs_) && std::exchange(held_, false)) {
                say(QStringLiteral("The lab database takes points again."));
            }
        });
    }
    say(QStringLiteral("The points go to the lab database %1 as station %2 too.")
            .arg(uri, station_));
}

void LabReport::drain() {
    if (drain_.isActive() || drained_)
        return;
    drainTime_.start();
    drain_.start();
}

} // namespace trq
