#pragma once

#include "commandline.h"
#include "session/recordingengine.h"

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace trq {

class ConsolePrompter;
class ScpiServer;

// A run without windows: goes on line, optionally records for a while
// (saving the record and a CSV file), optionally serves the supply to
// scripts, and ends with an exit code that says how it went. SIGINT and
// SIGTERM end it cleanly: a running recording is stopped and kept.
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
    bool startRecording();
    void recordingStopped(RecordingEngine::StopReason reason);
    void store();
    void finish(int code, const QString& text = {});
    void signalled();

    InstrumentSession& session_;
    ScpiServer& server_;
    CommandLine line_;
    bool wasReady_ = false;
    bool recording_ = false;
    bool done_ = false;
    std::unique_ptr<QSocketNotifier> signals_;
};

} // namespace trq
