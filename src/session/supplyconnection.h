#pragma once

#include "protocol/commands.h"
#include "session/supplyinterface.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

#include <vector>

namespace trq {

class MachineTypes;
class Prompter;
class TaskScheduler;
class TransportFactory;

// Reconnecting: the link was lost and is being opened again; the supply's
// state and the recording wait for it.
enum class ConnectionState { OffLine, Detecting, Ready, Reconnecting };

// The link to one supply: opening a serial port, a GPIB address or the
// testing mode, identifying the model on it, and opening a lost link again
// with a backoff. What the supply's state makes of it is the session's: it
// hears of an accepted model, of the link back on line and of the end by
// signals.
class SupplyConnection : public QObject {
    Q_OBJECT
public:
    static constexpr int kDetectionTimeoutMsec = 7500;
    static constexpr int kDetectionHandOverMsec = 100;

    SupplyConnection(TaskScheduler& link, Prompter& prompter, TransportFactory& transports,
                     const MachineTypes& machineTypes, QObject* parent = nullptr);

    ConnectionState state() const { return state_; }
    bool isReady() const { return state_ == ConnectionState::Ready; }
    InterfaceKind interfaceKind() const { return kind_; }
    // An instrument is on the other end (not the testing mode).
    bool talks() const { return kind_ == InterfaceKind::Serial || kind_ == InterfaceKind::Gpib; }
    QString model() const { return model_; }
    CommandFamily family() const { return family_; }
    // The serial number the supply identified with (empty: none given).
    QString serialNumber() const { return serialNumber_; }
    QString interfaceDescription() const;
    // Where the supply on line is reached, as a bench keeps it; none in the
    // testing mode, off line, or for a simulated GPIB instrument.
    std::optional<SupplyAddress> address() const;

    // Opens a serial port by its name and detects the supply on it; a port
    // that cannot be opened is reported and nothing is sent anywhere.
    bool openSerial(const SerialSettings& settings);
    bool openGpib(const GpibSettings& settings);
    // A model's panel without an instrument.
    void openTestingMode(const QString& model);
    // Off line: the link goes; the session tells of the new state.
    void close();

    // A lost link is opened again (same port or address) instead of ending
    // the connection; off by default.
    void setReconnect(bool on);
    bool reconnects() const { return reconnect_; }
    // Whether an accepted supply becomes the next start's choice (the
    // settings' interface and model); a bench's supplies do not.
    void setKeepsChoice(bool keep) { keepsChoice_ = keep; }
    // Waits before each attempt: 1 s, 2 s, 5 s, then every 10 s.
    void setReconnectDelays(std::vector<int> msec) { retryDelays_ = std::move(msec); }
    // How long a detection may take (a slow bus may need longer).
    void setDetectionTimeout(int msec) { detection_.setInterval(msec); }
    int reconnectAttempts() const { return attempt_; }

signals:
    void stateChanged(trq::ConnectionState state);
    // A model was accepted and the state is Ready, not yet told: the session
    // sets up its layout.
    void modelAccepted();
    // After the accepted model's Ready: the initial values may be read.
    void onLine();
    // The lost link came back to the same supply, and is Ready.
    void cameBack();
    // The connection has ended (a failed detection, a timeout, another
    // supply after a reconnect): the session goes off line.
    void dropped();
    void statusText(const QString& text);

private:
    void beginDetection(InterfaceKind kind, const QString& model);
    void identified(const QString& answer);
    void finishDetection();
    void failDetection();
    void endDetection();
    void accept();
    void operationTimedOut();
    // Reconnecting.
    void startReconnecting();
    void attemptReconnect();
    bool reopenLink();
    void reidentified(const QString& answer);
    void retryLater();
    void resume();

    TaskScheduler& link_;
    Prompter& prompter_;
    TransportFactory& transports_;
    const MachineTypes& machineTypes_;

    ConnectionState state_ = ConnectionState::OffLine;
    InterfaceKind kind_ = InterfaceKind::None;
    QString model_;
    CommandFamily family_ = CommandFamily::ThreeChannelScpi;
    int gpibAddress_ = 0;
    SerialSettings serialTarget_;
    GpibSettings gpibTarget_;
    QString serialNumber_;
    bool keepsChoice_ = true;

    bool reconnect_ = false;
    std::vector<int> retryDelays_{1000, 2000, 5000, 10000};
    int attempt_ = 0;
    QTimer retry_;
    QTimer detection_;
    QTimer handOver_;
};

} // namespace trq
