#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

struct mosquitto;

namespace trq {

class InstrumentSession;
struct LimitTrip;

// Publishes the session's live readings and events to the lab's MQTT broker:
//   powertrq/<station>/<model>/<channel>/{voltage,current,power}  plain numbers, QoS 0
//   powertrq/<station>/<model>/state   {"online":…,"output":…,"mode":…,"recording":…}, retained
//   powertrq/<station>/<model>/event   {"type":"limit",…} or {"type":"link-lost"}, QoS 1
//   homeassistant/{sensor,binary_sensor}/<id>/config   where asked, retained
// The client runs on a thread of its own: a broker that is down or slow
// never holds up the link or the windows, it only costs reconnect attempts
// and a status note; and the feed goes within a moment whatever the broker
// does (a connect the system gives up only after minutes is left behind).
class MqttFeed : public QObject {
    Q_OBJECT
public:
    // How long the feed waits for its thread when it goes (the program's exit,
    // the dialog's OK).
    static constexpr int kStopMsec = 500;

    struct Options {
        QString host;
        int port = 1883;
        QString station; // default: this machine's name
        QString user, password;
        bool tls = false;
        QString caFile; // with tls: the broker's CA; none: the system's
        // Home Assistant's MQTT discovery: a sensor per channel and
        // quantity and the output as a binary sensor, announced retained.
        bool discovery = false;

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
    bool isConnected() const;
    QString statusText() const { return status_; }
    // The topic prefix, "powertrq/<station>/<model>", or the supply's name
    // on a bench in place of the model, so that two supplies of one model
    // never share a topic.
    QString prefix() const;
    void setSupplyName(std::function<QString()> name) { supplyName_ = std::move(name); }
    // Messages handed to the client so far (not necessarily delivered).
    quint64 published() const { return published_; }

signals:
    void statusChanged(const QString& text);

private:
    void publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    void publishReadings(int channel);
    void publishState();
    void publishDiscovery();
    void publishLimit(const LimitTrip& trip);
    void setStatus(const QString& text);
    void connectedChanged(bool connected, int code);

    // What the feed and its client's thread share; it lasts as long as
    // either of them.
    struct Shared;
    static void runClient(std::shared_ptr<Shared> shared, QByteArray host, int port);

    InstrumentSession& session_;
    Options options_;
    std::shared_ptr<Shared> shared_;
    mosquitto* client_ = nullptr; // owned by shared_
    std::thread thread_;
    QString status_;
    bool refused_ = false; // the broker's last answer was a refusal
    quint64 published_ = 0;
    bool wasReady_ = false;
    long publishedRate_ = -1; // readings per second in the retained state
    std::function<QString()> supplyName_;
};

} // namespace trq
