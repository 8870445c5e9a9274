#pragma once

#include "commandline.h"
#include "consolerun.h"
#include "session/recordingengine.h"

#include <QObject>
#include <QTimer>

#include <memory>

namespace trq {

class ConsolePrompter;
class LabRecords;
class ScpiServer;

// A run without windows: goes on line, optionally records for a while
// (saving the record and a CSV file), optionally serves the supply to
// scripts, and ends with an exit code that says how it went. SIGINT and
// SIGTERM end it cleanly: a running recording is stopped and kept. Whatever
// can refuse a recording is checked before anything is sent to the supply,
// and a run that ends before its recording is complete switches off an
// output it switched on.
class HeadlessRun : public QObject {
    Q_OBJECT
public:
    HeadlessRun(InstrumentSession& session, ScpiServer& server, const CommandLine& line,
                QObject* parent = nullptr);
    ~HeadlessRun() override;
    // Starts on the event loop; finished() says the exit code.
    void start();

signals:
    void finished(int exitCode);

private:
    void goOnLine();
    void stateChanged(ConnectionState state);
    void ready();
    // The checks, then the output; the recording starts once every channel
    // has a reading.
    void prepareRecording();
    void readingsArrived();
    void startRecording();
    void recordingStopped(RecordingEngine::StopReason reason);
    // --sequence; its end ends the run.
    void startSequence();
    void sequenceFinished(bool completed, const QString& message);
    void storeStatus(const QString& text);
    // Saves and writes what was recorded, as asked; false when any of it
    // failed (said).
    bool store();
    void finish(int code, const QString& text = {});
    // Once the output-off (if any) has left the link.
    void end();
    void signalled(const QString& name);
    // --database: the recording's points go on to the lab database too.
    void openLab();
    void startUpload();

    InstrumentSession& session_;
    ScpiServer& server_;
    CommandLine line_;
    bool wasReady_ = false;
    bool recording_ = false;
    bool complete_ = false;     // the recording ran its whole length
    bool switchedOn_ = false;   // this run switched the output on
    bool waitingFirst_ = false; // for every channel's first reading
    bool storeWaiting_ = false; // points wait for a busy database
    bool done_ = false;
    bool ended_ = false;
    int exitCode_ = 0;
    QTimer firstReadings_;
    LinkDrain drain_;
    std::unique_ptr<LabRecords> lab_;
    std::unique_ptr<LabReport> report_;
    StopSignals signals_;
};

} // namespace trq
