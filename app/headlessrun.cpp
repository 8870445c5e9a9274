#include "headlessrun.h"

#include "automation/scpiserver.h"
#include "session/recording.h"
#include "storage/csvexport.h"

#include <QDir>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace trq {

namespace {

// The signal handler only writes the signal's number to this socket; the
// event loop reads it (the only safe way out of a handler).
int signalSockets[2] = {-1, -1};

void onSignal(int number) {
    const char byte = char(number);
    [[maybe_unused]] const auto written = ::write(signalSockets[0], &byte, 1);
}

void say(const QString& text) {
    std::fprintf(stderr, "%s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

HeadlessRun::HeadlessRun(InstrumentSession& session, ScpiServer& server, const CommandLine& line,
                         QObject* parent)
    : QObject(parent), session_(session), server_(server), line_(line) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalSockets) == 0) {
        signals_ = std::make_unique<QSocketNotifier>(signalSockets[1], QSocketNotifier::Read);
        connect(signals_.get(), &QSocketNotifier::activated, this, &HeadlessRun::signalled);
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
    connect(&session_, &InstrumentSession::stateChanged, this, &HeadlessRun::stateChanged);
    connect(&session_, &InstrumentSession::initialValuesRead, this, &HeadlessRun::ready);
}

HeadlessRun::~HeadlessRun() {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

void HeadlessRun::start() {
    QTimer::singleShot(0, this, &HeadlessRun::goOnLine);
}

void HeadlessRun::goOnLine() {
    if (line_.serve && !server_.start(*line_.serve))
        return finish(CommandLine::NoServer, server_.errorString());
    const Connection& c = *line_.connection;
    const bool opened =
        c.kind == InterfaceKind::Gpib ? session_.openGpib(c.gpib) : session_.openSerial(c.serial);
    if (!opened)
        finish(CommandLine::NoSupply, QStringLiteral("No supply: the link could not be opened."));
}

void HeadlessRun::stateChanged(ConnectionState state) {
    if (state == ConnectionState::Ready) {
        wasReady_ = true;
        return;
    }
    if (state != ConnectionState::OffLine || done_)
        return;
    if (!wasReady_)
        return finish(CommandLine::NoSupply, QStringLiteral("No supply was detected."));
    // The link failed: what was recorded so far is kept and stored.
    if (recording_)
        store();
    finish(CommandLine::LinkLost, QStringLiteral("The link to the supply was lost."));
}

void HeadlessRun::ready() {
    say(QStringLiteral("On line: %1 (%2)").arg(session_.model(), session_.interfaceDescription()));
    if (line_.recordSeconds != 0) {
        if (!startRecording())
            finish(CommandLine::NotStored);
        return;
    }
    if (!line_.serve)
        finish(CommandLine::Ok);
}

bool HeadlessRun::startRecording() {
    Recording& rec = *session_.recording();
    if (line_.outputOn)
        session_.setOutput(true);
    if (!session_.outputOn()) {
        say(QStringLiteral("The supply's output is off: nothing to record (--output-on "
                           "switches it on)."));
        return false;
    }
    if (rec.record().header().unsaved && !line_.discardUnsaved &&
        session_.store().workingCount().value_or(1) > 0) {
        say(QStringLiteral("The working table holds an unsaved recording; save it in the "
                           "program, or run with --discard-unsaved."));
        return false;
    }
    if (line_.discardUnsaved)
        rec.record().clear();
    const RecordSetup& setup = session_.recordSetup();
    rec.engine().arm(line_.recordSeconds == CommandLine::kContinuous ? RecordingEngine::kContinuous
                                                                     : line_.recordSeconds,
                     line_.scale, setup.operation);
    connect(&rec.engine(), &RecordingEngine::stopped, this, &HeadlessRun::recordingStopped,
            Qt::UniqueConnection);
    rec.parts().setHours(line_.partHours);
    rec.parts().setDescription(line_.save.value_or(QString()));
    disconnect(&rec.parts(), nullptr, this, nullptr);
    connect(&rec.parts(), &PartSaver::partSaved, this,
            [this](const QString& recNo, const QString& description) {
                say(QStringLiteral("Saved %1 as record %2.").arg(description, recNo));
            });
    connect(&rec.parts(), &PartSaver::partFailed, this, [this](const QString& error) {
        say(QStringLiteral("A record part could not be saved: %1").arg(error));
    });
    recording_ = rec.engine().start();
    if (recording_)
        say(QStringLiteral("Recording %1 at %2 per point.")
                .arg(line_.recordSeconds == CommandLine::kContinuous
                         ? QStringLiteral("until stopped")
                         : QStringLiteral("%1 s").arg(line_.recordSeconds))
                .arg(QLatin1String(kRecordScales[std::size_t(line_.scale)].text)));
    return recording_;
}

void HeadlessRun::recordingStopped(RecordingEngine::StopReason reason) {
    if (done_ || !recording_)
        return;
    switch (reason) {
    case RecordingEngine::StopReason::StoreFailed:
        recording_ = false;
        return finish(CommandLine::NotStored, QStringLiteral("The recording could not be stored."));
    case RecordingEngine::StopReason::LengthReached:
        store();
        if (!done_ && !line_.serve)
            finish(CommandLine::Ok);
        return;
    case RecordingEngine::StopReason::Stopped:
        // A failed link: the state change that follows stores what there is;
        // a script's stop: it is stored when the run ends.
        return;
    }
}

void HeadlessRun::store() {
    recording_ = false;
    Recording* rec = session_.recording();
    if (!rec)
        return;
    const int points = session_.store().workingCount().value_or(0);
    say(QStringLiteral("Recorded %1 points.").arg(points));
    if (line_.save) {
        QString error;
        const std::optional<QString> number =
            rec->record().saveAsNew(*line_.save, line_.scale, 0, &error);
        if (!number)
            return finish(CommandLine::NotStored,
                          QStringLiteral("The record could not be saved: %1").arg(error));
        say(QStringLiteral("Saved as record %1.").arg(*number));
    }
    if (!line_.csv.isEmpty()) {
        QString error;
        if (!writeExport(line_.csv, rec->channels(), session_.store(), RowOrder::BySeqNo, &error))
            return finish(CommandLine::NotStored,
                          QStringLiteral("%1 could not be written: %2")
                              .arg(QDir::toNativeSeparators(line_.csv), error));
        say(QStringLiteral("Wrote %1.").arg(QDir::toNativeSeparators(line_.csv)));
    }
}

void HeadlessRun::signalled() {
    char number = 0;
    [[maybe_unused]] const auto got = ::read(signalSockets[1], &number, 1);
    say(QStringLiteral("Stopped by %1.").arg(number == SIGINT ? "SIGINT" : "SIGTERM"));
    if (recording_) {
        // The points so far are kept, and saved as asked.
        Recording* rec = session_.recording();
        recording_ = false;
        if (rec)
            rec->stop();
        store();
    }
    finish(CommandLine::Ok);
}

void HeadlessRun::finish(int code, const QString& text) {
    if (done_)
        return;
    done_ = true;
    if (!text.isEmpty())
        say(text);
    server_.stop();
    session_.reset();
    emit finished(code);
}

} // namespace trq
