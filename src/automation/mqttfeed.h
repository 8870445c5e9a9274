#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;

namespace trq {

class InstrumentSession;
struct LimitTrip;

// Publishes the session's live readings and events to the lab's MQTT broker:
//   powertrq/<station>/<model>/<channel>/{voltage,current,power}  plain numbers, QoS 0
//   powertrq/<station>/<model>/state   {"online":…,"output":…,"mode":…,"recording":…}, retained
//   powertrq/<station>/<model>/event   {"type":"limit",…} or {"type":"link-lost"}, QoS 1
// The client runs on libmosquitto's own thread: a broker that is down or
// slow never holds up the link or the windows, it only costs reconnect
// attempts and a status note.
class MqttFeed : public QObject {
    Q_OBJECT
public:
    struct Options {
        QString host;
        int port = 1883;
        QString station; // default: this machine's name
        QString user, password;
        bool tls = false;
        QString caFile; // with tls: the broker's CA; none: the system's

        static constexpr const char* kSection = "MQTT";
        bool enabled = false;
        static Options load();
        void save() const;
        // "HOST[:PORT]", as on the command line.
        static std::optional<Options> fromText(const QString& text);
    };

    MqttFeed(InstrumentSession& session, Options options, QObject* parent = nullptr);
    ~MqttFeed() override;

    // Starts connecting (in the background); false when the client could not
    // be set up at all (said in statusText()).
    bool start();
    bool isConnected() const { return connected_; }
    QString statusText() const { return status_; }
    // The topic prefix, "powertrq/<station>/<model>".
    QString prefix() const;
    // Messages handed to the client so far (not necessarily delivered).
    quint64 published() const { return published_; }

signals:
    void statusChanged(const QString& text);

private:
    void publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    void publishReadings(int channel);
    void publishState();
    void publishLimit(const LimitTrip& trip);
    void setStatus(const QString& text);
    void connectedChanged(bool connected, int code);
    // The client's thread: connects, retries with a growing pause while the
    // broker is away, then runs the client's own loop.
    void run();

    InstrumentSession& session_;
    Options options_;
    mosquitto* client_ = nullptr;
    std::atomic<bool> connected_ = false;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    QString status_;
    bool refused_ = false; // the broker's last answer was a refusal
    quint64 published_ = 0;
    bool wasReady_ = false;
};

} // namespace trq
