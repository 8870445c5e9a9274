#include "headlessrun.h"

#include "automation/scpiserver.h"
#include "session/labrecords.h"
#include "session/recording.h"
#include "session/sessionsequence.h"
#include "storage/csvexport.h"

#include <QDir>
#include <QTimer>

#include <cstdio>

namespace trq {

HeadlessRun::HeadlessRun(InstrumentSession& session, ScpiServer& server, const CommandLine& line,
                         QObject* parent)
    : QObject(parent), session_(session), server_(server), line_(line),
      drain_(
          [this] {
              const TaskScheduler& link = session_.link();
              return link.pendingCommands() == 0 && !link.commandInFlight() &&
                     !link.serialExchangeOpen() && link.opMode() == OpMode::Idle;
          },
          QStringLiteral("The output-off could not be confirmed on the link.")) {
    connect(&signals_, &StopSignals::stopRequested, this, &HeadlessRun::signalled);
    connect(&session_, &InstrumentSession::stateChanged, this, &HeadlessRun::stateChanged);
    connect(&session_, &InstrumentSession::initialValuesRead, this, &HeadlessRun::ready);
    connect(&session_, &InstrumentSession::readingsChanged, this, &HeadlessRun::readingsArrived);
    connect(&session_, &InstrumentSession::cameBackWithOutputOff, this, [] {
        say(QStringLiteral("The supply came back with its output off: the recording goes on and "
                           "marks a gap until the output is on again."));
    });
    waitForFirstReadings(firstReadings_, this, [this] { startRecording(); });
    connect(&drain_, &LinkDrain::drained, this, &HeadlessRun::end);
}

HeadlessRun::~HeadlessRun() = default;

void HeadlessRun::start() {
    QTimer::singleShot(0, this, &HeadlessRun::goOnLine);
}

void HeadlessRun::goOnLine() {
    if (line_.serve && !server_.start(*line_.serve))
        return finish(CommandLine::NoServer, server_.errorString());
    const Connection& c = *line_.connection;
    const bool opened = c.kind == InterfaceKind::Gpib ? session_.connection().openGpib(c.gpib)
                                                      : session_.connection().openSerial(c.serial);
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
    if (done_)
        return;
    say(QStringLiteral("On line: %1 (%2)")
            .arg(session_.connection().model(), session_.connection().interfaceDescription()));
    if (line_.recordSeconds != 0)
        return prepareRecording();
    if (line_.sequence)
        return startSequence();
    if (!line_.serve)
        finish(CommandLine::Ok);
}

void HeadlessRun::startSequence() {
    SessionSequence& sequence = session_.sequence();
    connect(&sequence.runner(), &SequenceRunner::finished, this, &HeadlessRun::sequenceFinished,
            Qt::UniqueConnection);
    if (const std::optional<QString> why = sequence.run(*line_.sequence)) {
        if (recording_) {
            recording_ = false;
            session_.recording()->stop();
            store();
        }
        return finish(CommandLine::BadOption, QStringLiteral("--sequence: %1").arg(*why));
    }
    saidSequenceRunning(sequence);
}

void HeadlessRun::sequenceFinished(bool completed, const QString& message) {
    if (done_)
        return;
    saidSequenceEnd(completed, message);
    bool stored = true;
    if (recording_) {
        recording_ = false;
        session_.recording()->stop();
        stored = store();
    }
    complete_ = completed;
    finish(sequenceExitCode(completed, stored));
}

void HeadlessRun::prepareRecording() {
    Recording& rec = *session_.recording();
    // Whatever can refuse the run is asked before anything is sent.
    if (rec.record().header().unsaved && !line_.discardUnsaved &&
        session_.store().workingCount().value_or(1) > 0)
        return finish(CommandLine::NotStored,
                      QStringLiteral("The working table holds an unsaved recording; save it in "
                                     "the program, or run with --discard-unsaved."));
    if (session_.store().isReadOnly())
        return finish(CommandLine::NotStored,
                      QStringLiteral("The database %1 is open read-only: nothing can be recorded.")
                          .arg(QDir::toNativeSeparators(session_.store().fileName())));
    if (line_.outputOn && !session_.supply().outputOn()) {
        session_.control().setOutput(true);
        switchedOn_ = session_.supply().outputOn();
    }
    if (!session_.supply().outputOn())
        return finish(CommandLine::NotStored,
                      QStringLiteral("The supply's output is off: nothing to record (--output-on "
                                     "switches it on)."));
    // The length counts from the first reading of every channel: the
    // seconds before it would be no points.
    waitingFirst_ = true;
    firstReadings_.start();
    readingsArrived();
}

void HeadlessRun::readingsArrived() {
    if (waitingFirst_ && session_.supply().allMeasured())
        startRecording();
}

void HeadlessRun::startRecording() {
    if (!waitingFirst_ || done_)
        return;
    waitingFirst_ = false;
    firstReadings_.stop();
    Recording& rec = *session_.recording();
    if (line_.discardUnsaved)
        rec.record().clear();
    const RecordSetup& setup = session_.recordSetup();
    rec.engine().arm(line_.recordSeconds == CommandLine::kContinuous ? RecordingEngine::kContinuous
                                                                     : line_.recordSeconds,
                     line_.scale, setup.operation);
    connect(&rec.engine(), &RecordingEngine::stopped, this, &HeadlessRun::recordingStopped,
            Qt::UniqueConnection);
    connect(&rec.engine(), &RecordingEngine::storeStatus, this, &HeadlessRun::storeStatus,
            Qt::UniqueConnection);
    rec.parts().setHours(line_.partHours);
    rec.parts().setDescription(line_.save.value_or(QString()));
    disconnect(&rec.parts(), nullptr, this, nullptr);
    connect(&rec.parts(), &PartSaver::partSaved, this,
            [](const QString& recNo, const QString& description) {
                say(QStringLiteral("Saved %1 as record %2.").arg(description, recNo));
            });
    connect(&rec.parts(), &PartSaver::partFailed, this, [](const QString& error) {
        say(QStringLiteral("A record part could not be saved: %1").arg(error));
    });
    if (line_.database)
        openLab();
    recording_ = rec.engine().start();
    if (!recording_)
        return finish(CommandLine::NotStored, QStringLiteral("The recording could not start."));
    say(QStringLiteral("Recording %1 at %2 per point.")
            .arg(line_.recordSeconds == CommandLine::kContinuous
                     ? QStringLiteral("until stopped")
                     : QStringLiteral("%1 s").arg(line_.recordSeconds))
            .arg(QLatin1String(kRecordScales[std::size_t(line_.scale)].text)));
    if (line_.database)
        startUpload();
    if (line_.sequence)
        startSequence();
}

void HeadlessRun::openLab() {
    lab_ = std::make_unique<LabRecords>(session_,
                                        LabRecords::Options{true, *line_.database, line_.station});
    // The records go to the lab; a server away now is tried again at each
    // save, while the points wait in the local file.
    if (const std::optional<QString> why = lab_->openNow())
        say(QStringLiteral("lab database: %1").arg(*why));
}

void HeadlessRun::startUpload() {
    report_ = std::make_unique<LabReport>(std::vector<LabRecords*>{lab_.get()}, line_.station,
                                          session_.store().fileName());
    connect(report_.get(), &LabReport::drained, this, &HeadlessRun::end);
    report_->start(line_.database->uri());
}

void HeadlessRun::recordingStopped(RecordingEngine::StopReason reason) {
    if (done_ || !recording_)
        return;
    switch (reason) {
    case RecordingEngine::StopReason::StoreFailed: {
        // Whatever can still be kept is: the record where the file allows
        // it, the CSV wherever it goes.
        store();
        return finish(CommandLine::NotStored, QStringLiteral("The recording could not be stored."));
    }
    case RecordingEngine::StopReason::LengthReached:
        complete_ = true;
        if (!store())
            return finish(CommandLine::NotStored);
        if (!line_.serve)
            finish(CommandLine::Ok);
        return;
    case RecordingEngine::StopReason::Stopped:
        // A failed link: the state change that follows stores what there is;
        // a script's stop: it is stored when the run ends.
        return;
    }
}

void HeadlessRun::storeStatus(const QString& text) {
    if (text.isEmpty()) {
        if (std::exchange(storeWaiting_, false))
            say(QStringLiteral("The database takes points again."));
    } else if (!std::exchange(storeWaiting_, true)) {
        say(text); // once, not every second it lasts
    }
}

bool HeadlessRun::store() {
    recording_ = false;
    Recording* rec = session_.recording();
    if (!rec)
        return false;
    const std::deque<SampleRow>& waiting = rec->engine().unstoredPoints();
    const QList<SampleRow> unstored(waiting.begin(), waiting.end());
    const int points = session_.store().workingCount().value_or(rec->engine().pointCount());
    say(unstored.isEmpty() ? QStringLiteral("Recorded %1 points.").arg(points)
                           : QStringLiteral("Recorded %1 points; %2 more could not be stored in "
                                            "the database.")
                                 .arg(points)
                                 .arg(unstored.size()));
    bool ok = true;
    if (line_.save) {
        QString error;
        const std::optional<QString> number = rec->record().saveAsNew(*line_.save, 0, &error);
        ok = saidSaved(number, error) && ok;
    }
    if (!line_.csv.isEmpty()) {
        QString error;
        const bool written = writeExport(line_.csv, rec->channels(), session_.store(),
                                         RowOrder::BySeqNo, &error, unstored);
        ok = saidWritten(line_.csv, written, error) && ok;
    }
    return ok;
}

void HeadlessRun::signalled(const QString& name) {
    // A sequence stopped ends as any stopped sequence: exit 5.
    if (session_.sequence().running())
        return session_.sequence().runner().stop(QStringLiteral("Stopped by %1.").arg(name));
    say(QStringLiteral("Stopped by %1.").arg(name));
    bool stored = true;
    if (recording_) {
        // The points so far are kept, and saved as asked.
        Recording* rec = session_.recording();
        recording_ = false;
        if (rec)
            rec->stop();
        stored = store();
    }
    finish(stored ? CommandLine::Ok : CommandLine::NotStored);
}

void HeadlessRun::finish(int code, const QString& text) {
    if (done_)
        return;
    done_ = true;
    exitCode_ = code;
    waitingFirst_ = false;
    firstReadings_.stop();
    if (!text.isEmpty())
        say(text);
    server_.stop();
    // A sequence still running (a recording that reached its length) ends
    // here, its outputs off.
    session_.sequence().runner().stop(text);
    // A run that ends before its recording is complete leaves no output on
    // that it switched on; the off command leaves the link before it closes.
    if (switchedOn_ && !complete_ && session_.isReady() && session_.supply().outputOn()) {
        session_.control().setOutput(false);
        say(QStringLiteral("Switched the output off again."));
    }
    // A sequence's output-off too: closing the link would drop it.
    if (session_.isReady() &&
        (session_.link().pendingCommands() > 0 || session_.link().commandInFlight())) {
        drain_.start(kOutputOffMsec);
        return;
    }
    // Outside whatever delivery or signal called this.
    QTimer::singleShot(0, this, &HeadlessRun::end);
}

void HeadlessRun::end() {
    if (ended_)
        return;
    if (report_ && !report_->isDrained())
        return report_->drain(); // then here again
    ended_ = true;
    drain_.stop();
    session_.reset();
    emit finished(exitCode_);
}

} // namespace trq
