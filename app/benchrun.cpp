#include "benchrun.h"

#include "automation/mqttfeed.h"
#include "automation/scpiserver.h"
#include "core/settings.h"
#include "session/bench.h"
#include "session/instrumentsession.h"
#include "session/labrecords.h"
#include "session/recording.h"
#include "session/sessionsequence.h"
#include "storage/benchstore.h"

#include <QDir>

#include <algorithm>
#include <cstdio>

namespace trq {

BenchRun::BenchRun(Bench& bench, Clock& clock, Waiter& waiter, const CommandLine& line,
                   QObject* parent)
    : QObject(parent), bench_(bench), clock_(clock), waiter_(waiter), line_(line),
      drain_([this] { return linksIdle(); },
             QStringLiteral("The output-off could not be confirmed on every link.")) {
    connect(&signals_, &StopSignals::stopRequested, this, &BenchRun::signalled);
    connect(&bench_, &Bench::supplyStateChanged, this, &BenchRun::supplyChanged);
    connect(&bench_, &Bench::recordingStopped, this, &BenchRun::recordingStopped);
    connect(&bench_, &Bench::powerOrderFinished, this, [](bool completed, const QString& message) {
        if (!completed && !message.isEmpty())
            say(message);
    });
    waitForFirstReadings(firstReadings_, this, [this] { startRecording(); });
    connect(&drain_, &LinkDrain::drained, this, &BenchRun::end);
}

BenchRun::~BenchRun() = default;

void BenchRun::start() {
    QTimer::singleShot(0, this, &BenchRun::goOnLine);
}

void BenchRun::goOnLine() {
    // Each supply's records and points under its name on the bench.
    if (line_.database)
        bench_.setLab(LabRecords::Options{true, *line_.database, line_.station});
    const std::size_t n = line_.supplies.size();
    wasReady_.assign(n, false);
    lost_.assign(n, false);
    switchedOn_.assign(n, false);
    for (const SupplyAddress& address : line_.supplies) {
        InstrumentSession& s = bench_.add(address);
        s.connection().setReconnect(line_.reconnect);
        if (line_.poll)
            s.poll().setMode(*line_.poll);
        const int index = bench_.size() - 1;
        connect(&s, &InstrumentSession::initialValuesRead, this, [this, index] {
            if (done_)
                return;
            InstrumentSession& on = bench_.session(index);
            say(QStringLiteral("On line: %1: %2 (%3)")
                    .arg(bench_.name(index), on.connection().model(),
                         on.connection().interfaceDescription()));
            for (int i = 0; i < bench_.size(); ++i)
                if (!bench_.session(i).isReady() || bench_.session(i).waiting())
                    return;
            if (!std::exchange(prepared_, true))
                allReady();
        });
        connect(&s, &InstrumentSession::readingsChanged, this, &BenchRun::readingsArrived);
        if (line_.mqtt) {
            // Each supply under its own name on the bench.
            auto feed = std::make_unique<MqttFeed>(s, *line_.mqtt);
            feed->setSupplyName([this, index] { return bench_.name(index); });
            connect(feed.get(), &MqttFeed::statusChanged, this, [this, index](const QString& text) {
                say(bench_.name(index) + QStringLiteral(": ") + text);
            });
            feed->start();
            feeds_.push_back(std::move(feed));
        }
        if (line_.serve) {
            // Each supply on its own port: the first on the chosen one.
            ScpiServer::Options o = *line_.serve;
            if (o.port != 0 && int(o.port) + index > 65535)
                return finish(CommandLine::NoServer,
                              QStringLiteral("No port is left for %1 after %2.")
                                  .arg(bench_.name(index))
                                  .arg(o.port));
            if (o.port != 0)
                o.port = quint16(o.port + index);
            auto server = std::make_unique<ScpiServer>(s);
            if (!server->start(o))
                return finish(CommandLine::NoServer, server->errorString());
            say(QStringLiteral("Serving %1 on port %2.")
                    .arg(bench_.name(index))
                    .arg(server->port()));
            server->setBench([this] {
                std::vector<ScpiServer::Served> served;
                for (std::size_t i = 0; i < servers_.size(); ++i)
                    served.push_back({bench_.name(int(i)), servers_[i]->port()});
                return served;
            });
            server->setBenchPower([this] { return bench_.allOutputsOn(); },
                                  [this](bool on) { return runOrderFor(on); });
            servers_.push_back(std::move(server));
        }
    }
    // Named on the command line: kept for the next start.
    if (!line_.bench.isEmpty())
        bench_.store(line_.bench);
}

void BenchRun::supplyChanged(int index) {
    if (done_ || index < 0 || std::size_t(index) >= wasReady_.size())
        return;
    const auto i = std::size_t(index);
    const ConnectionState state = bench_.session(index).connection().state();
    if (state == ConnectionState::Ready) {
        wasReady_[i] = true;
        lost_[i] = false;
        return;
    }
    if (state != ConnectionState::OffLine)
        return;
    if (!wasReady_[i])
        return finish(
            CommandLine::NoSupply,
            QStringLiteral("No supply was detected at %1.").arg(bench_.address(index).text()));
    lost_[i] = true;
    if (std::all_of(lost_.begin(), lost_.end(), [](bool b) { return b; })) {
        if (recording_)
            store();
        return finish(CommandLine::LinkLost, QStringLiteral("The link to every supply was lost."));
    }
    say(QStringLiteral("The link to %1 was lost; the other supplies go on.")
            .arg(bench_.name(index)));
}

void BenchRun::allReady() {
    if (line_.recordSeconds == 0) {
        if (line_.sequence)
            return startSequence();
        if (!line_.serve)
            finish(CommandLine::Ok);
        return;
    }
    RecordStore& first = *bench_.records().store(1);
    if (first.isReadOnly())
        return finish(CommandLine::NotStored,
                      QStringLiteral("The database %1 is open read-only: nothing can be recorded.")
                          .arg(QDir::toNativeSeparators(first.fileName())));
    if (bench_.holdsUnsavedRun()) {
        if (!line_.discardUnsaved)
            return finish(CommandLine::NotStored,
                          QStringLiteral("The working table holds an unsaved recording; save it "
                                         "in the program, or run with --discard-unsaved."));
        first.setWorkingHeader({}); // the bench then asks nothing
    }
    if (!line_.outputOn) {
        for (int i = 0; i < bench_.size(); ++i)
            if (!bench_.session(i).supply().outputOn())
                return finish(CommandLine::NotStored,
                              QStringLiteral("The output of %1 is off: nothing to record "
                                             "(--output-on switches it on).")
                                  .arg(bench_.name(i)));
        return outputsOn(true, {});
    }
    const std::optional<std::vector<PowerStep>> order = powerOrder();
    if (!order)
        return;
    // What is on already stays as it is; the order's waits stay too.
    const QStringList names = bench_.names();
    for (const PowerStep& step : *order) {
        const qsizetype i = names.indexOf(step.supply);
        if (step.supply.isEmpty() || !step.on) {
            onOrder_.push_back(step);
        } else if (i >= 0 && !bench_.session(int(i)).supply().outputOn()) {
            onOrder_.push_back(step);
            switchedOn_[std::size_t(i)] = true;
        }
    }
    sequencer_ = std::make_unique<PowerSequencer>(bench_.sequencerSupplies(), clock_, waiter_);
    connect(sequencer_.get(), &PowerSequencer::finished, this, &BenchRun::outputsOn);
    sequencer_->run(onOrder_);
}

QString BenchRun::orderText() const {
    if (line_.powerOrder.isEmpty() && !line_.bench.isEmpty())
        return Settings::instance().benchPowerOrder(line_.bench);
    return line_.powerOrder;
}

std::optional<std::vector<PowerStep>> BenchRun::powerOrder() {
    std::variant<std::vector<PowerStep>, QString> order = bench_.orderOf(orderText());
    if (const QString* why = std::get_if<QString>(&order)) {
        finish(CommandLine::BadOption, QStringLiteral("--power-order: %1").arg(*why));
        return std::nullopt;
    }
    if (!line_.powerOrder.isEmpty() && !line_.bench.isEmpty())
        Settings::instance().setBenchPowerOrder(line_.bench, line_.powerOrder);
    return std::get<std::vector<PowerStep>>(order);
}

QString BenchRun::runOrderFor(bool on) {
    if (done_)
        return QStringLiteral("the run is ending");
    if (sequencer_ && sequencer_->running())
        return QStringLiteral("a power order is running");
    return bench_.runPowerOrder(orderText(), on);
}

void BenchRun::outputsOn(bool completed, const QString& message) {
    if (done_)
        return;
    if (!completed) {
        // The order switched off what it had switched on.
        std::fill(switchedOn_.begin(), switchedOn_.end(), false);
        return finish(CommandLine::NotStored, message);
    }
    // The length counts from the first reading of every channel.
    waitingFirst_ = true;
    firstReadings_.start();
    readingsArrived();
}

void BenchRun::readingsArrived() {
    if (!waitingFirst_)
        return;
    for (int i = 0; i < bench_.size(); ++i) {
        const SupplyState& s = bench_.session(i).supply();
        if (!s.outputOn() || !s.allMeasured())
            return;
    }
    startRecording();
}

void BenchRun::startRecording() {
    if (!waitingFirst_ || done_)
        return;
    waitingFirst_ = false;
    firstReadings_.stop();
    const int ticks = line_.recordSeconds == CommandLine::kContinuous ? RecordingEngine::kContinuous
                                                                      : line_.recordSeconds;
    recording_ =
        bench_.startRecording(ticks, line_.scale, bench_.session(0).recordSetup().operation);
    if (!recording_)
        return finish(CommandLine::NotStored, QStringLiteral("The recording could not start."));
    say(QStringLiteral("Recording %1 supplies %2 at %3 per point.")
            .arg(bench_.size())
            .arg(line_.recordSeconds == CommandLine::kContinuous
                     ? QStringLiteral("until stopped")
                     : QStringLiteral("for %1 s").arg(line_.recordSeconds))
            .arg(QLatin1String(kRecordScales[std::size_t(line_.scale)].text)));
    if (line_.database) {
        const std::vector<LabRecords*> labs = bench_.labs();
        // A server away now is tried again at each save, while the points
        // wait in the local file.
        if (const std::optional<QString> why = labs.front()->openNow())
            say(QStringLiteral("lab database: %1").arg(*why));
        report_ =
            std::make_unique<LabReport>(labs, line_.station, bench_.session(0).store().fileName());
        connect(report_.get(), &LabReport::drained, this, &BenchRun::end);
        report_->start(line_.database->uri());
    }
    if (line_.sequence)
        startSequence();
}

void BenchRun::startSequence() {
    SessionSequence& sequence = bench_.session(0).sequence();
    connect(&sequence.runner(), &SequenceRunner::finished, this, &BenchRun::sequenceFinished,
            Qt::UniqueConnection);
    if (const std::optional<QString> why = sequence.run(*line_.sequence)) {
        if (recording_) {
            recording_ = false;
            bench_.stopRecording();
            store();
        }
        return finish(CommandLine::BadOption, QStringLiteral("--sequence: %1").arg(*why));
    }
    saidSequenceRunning(sequence, QStringLiteral(" on %1").arg(bench_.name(0)));
}

void BenchRun::sequenceFinished(bool completed, const QString& message) {
    if (done_)
        return;
    saidSequenceEnd(completed, message);
    bool stored = true;
    if (recording_) {
        recording_ = false;
        bench_.stopRecording();
        stored = store();
    }
    finish(sequenceExitCode(completed, stored));
}

void BenchRun::recordingStopped(bool failed) {
    if (done_ || !recording_)
        return;
    if (failed) {
        // What can still be kept is: the record where the file allows it,
        // the CSV wherever it goes.
        store();
        return finish(CommandLine::NotStored, QStringLiteral("The recording could not be stored."));
    }
    complete_ = true;
    if (!store())
        return finish(CommandLine::NotStored);
    if (!line_.serve)
        finish(CommandLine::Ok);
}

bool BenchRun::store() {
    recording_ = false;
    const std::vector<ExportedSupply> supplies = bench_.exportedRun();
    QStringList counts;
    int unstored = 0;
    for (const ExportedSupply& s : supplies) {
        counts << QStringLiteral("%1 %2").arg(s.store->workingCount().value_or(0)).arg(s.name);
        unstored += int(s.tail.size());
    }
    say(QStringLiteral("Recorded points: %1.").arg(counts.join(QStringLiteral(", "))));
    if (unstored > 0)
        say(QStringLiteral("%1 more points could not be stored in the database; the CSV has them.")
                .arg(unstored));
    bool ok = true;
    if (line_.save) {
        QString error;
        // The lab database's record of the run, or the data folder's.
        const std::optional<QString> number =
            line_.database
                ? bench_.session(0).recording()->record().saveAsNew(*line_.save, 0, &error)
                : bench_.records().saveWorking(*line_.save, &error);
        ok = saidSaved(number, error) && ok;
    }
    if (!line_.csv.isEmpty()) {
        QString error;
        const bool written = writeBenchExport(line_.csv, supplies, &error);
        ok = saidWritten(line_.csv, written, error) && ok;
    }
    return ok;
}

void BenchRun::signalled(const QString& name) {
    // A sequence stopped ends as any stopped sequence: exit 5.
    if (bench_.size() > 0 && bench_.session(0).sequence().running())
        return bench_.session(0).sequence().runner().stop(
            QStringLiteral("Stopped by %1.").arg(name));
    say(QStringLiteral("Stopped by %1.").arg(name));
    bool stored = true;
    if (recording_) {
        recording_ = false;
        bench_.stopRecording();
        stored = store();
    }
    finish(stored ? CommandLine::Ok : CommandLine::NotStored);
}

bool BenchRun::linksIdle() {
    for (int i = 0; i < bench_.size(); ++i) {
        const TaskScheduler& link = bench_.session(i).link();
        if (link.pendingCommands() != 0 || link.commandInFlight() || link.serialExchangeOpen() ||
            link.opMode() != OpMode::Idle)
            return false;
    }
    return true;
}

void BenchRun::finish(int code, const QString& text) {
    if (done_)
        return;
    done_ = true;
    exitCode_ = code;
    waitingFirst_ = false;
    firstReadings_.stop();
    if (sequencer_)
        sequencer_->stop();
    bench_.stopPowerOrder();
    // A sequence still running ends here, its outputs off.
    if (bench_.size() > 0)
        bench_.session(0).sequence().runner().stop(text);
    if (!text.isEmpty())
        say(text);
    for (const auto& server : servers_)
        server->stop();
    // A run that ends before its recording is complete leaves no output on
    // that it switched on: off in the reverse of the order that switched them
    // on, the off commands out of the links before they close.
    std::vector<PowerStep> off;
    const QStringList names = bench_.names();
    for (const PowerStep& step : reversedOff(onOrder_)) {
        const qsizetype i = names.indexOf(step.supply);
        if (step.supply.isEmpty())
            off.push_back(step);
        else if (i >= 0 && switchedOn_[std::size_t(i)] && bench_.session(int(i)).isReady() &&
                 bench_.session(int(i)).supply().outputOn())
            off.push_back(step);
    }
    while (!off.empty() && off.back().supply.isEmpty())
        off.pop_back(); // no wait after the last
    if (complete_ || std::none_of(off.begin(), off.end(),
                                  [](const PowerStep& s) { return !s.supply.isEmpty(); })) {
        // A sequence's output-off leaves the links before they close.
        for (int i = 0; i < bench_.size(); ++i) {
            const TaskScheduler& link = bench_.session(i).link();
            if (bench_.session(i).isReady() &&
                (link.pendingCommands() > 0 || link.commandInFlight()))
                return drain_.start(kOutputOffMsec);
        }
        return QTimer::singleShot(0, this, &BenchRun::end);
    }
    say(QStringLiteral("Switching the outputs off again: %1.").arg(powerOrderText(off)));
    int waits = 0;
    for (const PowerStep& step : off)
        waits += step.waitMsec;
    // The order's waits and then the links' time to send what it sent.
    drain_.giveUpAfter(kOutputOffMsec + waits);
    sequencer_ = std::make_unique<PowerSequencer>(bench_.sequencerSupplies(), clock_, waiter_);
    connect(sequencer_.get(), &PowerSequencer::finished, &drain_, &LinkDrain::watch);
    sequencer_->run(std::move(off));
}

void BenchRun::end() {
    if (ended_)
        return;
    if (report_ && !report_->isDrained())
        return report_->drain(); // then here again
    ended_ = true;
    drain_.stop();
    feeds_.clear();
    for (int i = 0; i < bench_.size(); ++i)
        bench_.session(i).reset();
    emit finished(exitCode_);
}

} // namespace trq
