#pragma once

#include "commandline.h"
#include "consolerun.h"
#include "session/powersequence.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace trq {

class Bench;
class Clock;
class LabReport;
class MqttFeed;
class ScpiServer;
class Waiter;

// A run without windows over several supplies: each goes on line on its
// own link (and is served on its own port), their outputs go on in the
// bench's order, one recording takes them all, and the run ends with an
// exit code as a one-supply run does. A supply lost meanwhile leaves the
// others recording; only when every one is lost does the run end so.
class BenchRun : public QObject {
    Q_OBJECT
public:
    BenchRun(Bench& bench, Clock& clock, Waiter& waiter, const CommandLine& line,
             QObject* parent = nullptr);
    ~BenchRun() override;
    void start();

signals:
    void finished(int exitCode);

private:
    void goOnLine();
    void supplyChanged(int index);
    void allReady();
    void outputsOn(bool completed, const QString& message);
    void readingsArrived();
    void startRecording();
    void recordingStopped(bool failed);
    // --sequence on the first supply; its end ends the run.
    void startSequence();
    void sequenceFinished(bool completed, const QString& message);
    bool store();
    void signalled(const QString& name);
    void finish(int code, const QString& text = {});
    void end();
    bool linksIdle();
    // The order that switches the outputs on: given, kept with the bench,
    // or each supply in turn; nothing when it cannot be read (said).
    std::optional<std::vector<PowerStep>> powerOrder();
    // The order's text as given, else as kept with the bench (empty: each
    // supply in turn).
    QString orderText() const;
    // A script's BENCh:OUTPut: the order, or its reverse; why not, if not.
    QString runOrderFor(bool on);

    Bench& bench_;
    Clock& clock_;
    Waiter& waiter_;
    CommandLine line_;
    StopSignals signals_;
    std::vector<std::unique_ptr<ScpiServer>> servers_;
    std::vector<std::unique_ptr<MqttFeed>> feeds_; // go before the bench's sessions
    std::unique_ptr<LabReport> report_;
    std::unique_ptr<PowerSequencer> sequencer_;
    std::vector<bool> wasReady_, lost_, switchedOn_;
    std::vector<PowerStep> onOrder_; // how the outputs went on
    bool prepared_ = false;
    bool waitingFirst_ = false;
    bool recording_ = false;
    bool complete_ = false;
    bool done_ = false;
    bool ended_ = false;
    int exitCode_ = 0;
    QTimer firstReadings_;
    LinkDrain drain_;
};

} // namespace trq
