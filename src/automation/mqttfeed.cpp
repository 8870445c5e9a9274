#include "automation/mqttfeed.h"

#include "core/debugtrace.h"
#include "core/settings.h"
#include "session/instrumentsession.h"
#include "session/recording.h"

#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>
#include <QRegularExpression>

#include <mosquitto.h>

#include <cmath>
#include <condition_variable>
#include <mutex>

namespace trq {

struct MqttFeed::Shared {
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool finished = false;    // the thread has returned
    MqttFeed* feed = nullptr; // none once the feed has gone
    mosquitto* client = nullptr;
    std::atomic<bool> connected = false;

    ~Shared() {
        if (client)
            mosquitto_destroy(client);
    }
    // Runs f(feed) on the feed's thread, if the feed is still there.
    template <typename F> void tell(F f) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (feed)
            QMetaObject::invokeMethod(
                feed, [f, to = feed] { f(to); }, Qt::QueuedConnection);
    }
};

namespace {

// libmosquitto wants one library-wide initialisation before any client.
void initialiseLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

// A topic level must not hold the wildcard or separator characters.
QString level(QString text) {
    for (QChar c : {u'/', u'+', u'#'})
        text.replace(c, u'_');
    return text.isEmpty() ? QStringLiteral("none") : text;
}

} // namespace

MqttFeed::Options MqttFeed::Options::load() {
    const Settings& s = Settings::instance();
    Options o;
    o.enabled = s.feedEnabled();
    o.host = s.feedHost();
    o.port = s.feedPort();
    o.station = s.feedStation();
    o.user = s.feedUser();
    o.password = s.feedPassword();
    o.tls = s.feedTls();
    o.caFile = s.feedCaFile();
    o.discovery = s.feedDiscovery();
    return o;
}

void MqttFeed::Options::save() const {
    Settings& s = Settings::instance();
    s.setFeedEnabled(enabled);
    s.setFeedHost(host);
    s.setFeedPort(port);
    s.setFeedStation(station);
    s.setFeedUser(user);
    s.setFeedPassword(password);
    s.setFeedTls(tls);
    s.setFeedCaFile(caFile);
    s.setFeedDiscovery(discovery);
}

std::optional<MqttFeed::Options> MqttFeed::Options::fromText(const QString& text) {
    Options o = load();
    o.enabled = true;
    const qsizetype colon = text.lastIndexOf(u':');
    o.host = colon < 0 ? text : text.left(colon);
    if (colon >= 0) {
        bool ok = false;
        o.port = text.mid(colon + 1).toInt(&ok);
        if (!ok || o.port < 1 || o.port > 65535)
            return std::nullopt;
    }
    if (o.host.trimmed().isEmpty())
        return std::nullopt;
    return o;
}

MqttFeed::MqttFeed(InstrumentSession& session, Options options, QObject* parent)
    : QObject(parent), session_(session), options_(std::move(options)) {
    if (options_.station.trimmed().isEmpty())
        options_.station = QHostInfo::localHostName();
    connect(&session, &InstrumentSession::readingsChanged, this, &MqttFeed::publishReadings);
    connect(&session, &InstrumentSession::outputChanged, this, &MqttFeed::publishState);
    connect(&session, &InstrumentSession::couplingChanged, this, &MqttFeed::publishState);
    connect(&session, &InstrumentSession::limitTripped, this, &MqttFeed::publishLimit);
    // The pace is state too, told when it has changed by a reading a second.
    connect(&session.poll(), &SupplyPoll::rateChanged, this, [this](const PollRate& rate) {
        if (std::lround(rate.readingsPerSec) != publishedRate_)
            publishState();
    });
    connect(&session, &InstrumentSession::cameBackWithOutputOff, this, [this] {
        publish(prefix() + QStringLiteral("/event"),
                QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("output-off")},
                                          {QStringLiteral("after"), QStringLiteral("reconnect")}})
                    .toJson(QJsonDocument::Compact),
                1, false);
    });
    connect(&session, &InstrumentSession::stateChanged, this, [this](ConnectionState s) {
        if (s == ConnectionState::Reconnecting || (s == ConnectionState::OffLine && wasReady_))
            publish(
                prefix() + QStringLiteral("/event"),
                QJsonDocument(QJsonObject{{QStringLiteral("type"), QStringLiteral("link-lost")}})
                    .toJson(QJsonDocument::Compact),
                1, false);
        wasReady_ = s == ConnectionState::Ready;
        if (wasReady_)
            publishDiscovery(); // its channels are known now
        if (Recording* r = session_.recording(); r && s == ConnectionState::Ready) {
            // A new recording engine comes with each connection.
            connect(&r->engine(), &RecordingEngine::started, this, &MqttFeed::publishState,
                    Qt::UniqueConnection);
            connect(&r->engine(), &RecordingEngine::stopped, this, &MqttFeed::publishState,
                    Qt::UniqueConnection);
        }
        publishState();
    });
}

MqttFeed::~MqttFeed() {
    if (!shared_)
        return;
    {
        const std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stopping = true;
        shared_->feed = nullptr; // nothing is told to this feed any more
    }
    shared_->wake.notify_all();
    if (client_)
        mosquitto_disconnect(client_); // ends the client's loop
    if (!thread_.joinable())
        return;
    bool finished = false;
    {
        std::unique_lock<std::mutex> lock(shared_->mutex);
        finished = shared_->wake.wait_for(lock, std::chrono::milliseconds(kStopMsec),
                                          [this] { return shared_->finished; });
    }
    // A connect stuck in the system's own wait is left behind: the thread
    // ends with it and takes the client along.
    if (finished) {
        thread_.join();
    } else {
        trace(QStringLiteral("MQTT: the client's connect is still waiting; left behind"));
        thread_.detach();
    }
}

bool MqttFeed::isConnected() const {
    return shared_ && shared_->connected;
}

void MqttFeed::runClient(std::shared_ptr<Shared> s, QByteArray host, int port) {
    int pause = 1;
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(s->mutex);
            if (s->stopping)
                break;
        }
        // Blocking here (name lookup, connect) costs only this thread.
        if (mosquitto_connect(s->client, host.constData(), port, 30) == MOSQ_ERR_SUCCESS) {
            pause = 1;
            // Reconnects by itself after a loss; returns once disconnected
            // on purpose.
            mosquitto_loop_forever(s->client, 1000, 1);
        } else {
            s->tell([](MqttFeed* feed) { feed->connectedChanged(false, -1); });
        }
        std::unique_lock<std::mutex> lock(s->mutex);
        s->wake.wait_for(lock, std::chrono::seconds(pause), [&s] { return s->stopping; });
        pause = std::min(pause * 2, 30);
    }
    {
        const std::lock_guard<std::mutex> lock(s->mutex);
        s->finished = true;
    }
    s->wake.notify_all();
}

bool MqttFeed::start() {
    initialiseLibrary();
    shared_ = std::make_shared<Shared>();
    shared_->feed = this;
    client_ = shared_->client = mosquitto_new(nullptr, true, shared_.get());
    if (!client_) {
        setStatus(tr("MQTT: the client could not be made"));
        return false;
    }
    // Called on the client's thread: handed to this object's thread.
    mosquitto_connect_callback_set(client_, [](mosquitto*, void* shared, int rc) {
        auto* s = static_cast<Shared*>(shared);
        // rc is the broker's answer: 0 welcome, else why it refused.
        s->connected = rc == 0;
        s->tell([rc](MqttFeed* feed) { feed->connectedChanged(rc == 0, rc); });
    });
    // Here rc is no broker answer but the client's own error code: a lost
    // connection, told as such.
    mosquitto_disconnect_callback_set(client_, [](mosquitto*, void* shared, int) {
        auto* s = static_cast<Shared*>(shared);
        s->connected = false;
        s->tell([](MqttFeed* feed) { feed->connectedChanged(false, 0); });
    });
    mosquitto_threaded_set(client_, true);
    mosquitto_reconnect_delay_set(client_, 1, 30, true);
    mosquitto_max_inflight_messages_set(client_, 100);
    if (!options_.user.isEmpty())
        mosquitto_username_pw_set(
            client_, options_.user.toUtf8().constData(),
            options_.password.isEmpty() ? nullptr : options_.password.toUtf8().constData());
    if (options_.tls) {
        const QByteArray ca = options_.caFile.toLocal8Bit();
        if (mosquitto_tls_set(client_, ca.isEmpty() ? nullptr : ca.constData(),
                              ca.isEmpty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr,
                              nullptr) != MOSQ_ERR_SUCCESS) {
            setStatus(tr("MQTT: TLS could not be set up"));
            return false;
        }
    }
    thread_ = std::thread(&MqttFeed::runClient, shared_, options_.host.toUtf8(), options_.port);
    setStatus(tr("MQTT: connecting to %1:%2").arg(options_.host).arg(options_.port));
    return true;
}

QString MqttFeed::prefix() const {
    return QStringLiteral("powertrq/%1/%2")
        .arg(level(options_.station),
             level(supplyName_ ? supplyName_() : session_.connection().model()));
}

void MqttFeed::publish(const QString& topic, const QByteArray& payload, int qos, bool retain) {
    if (!client_)
        return;
    // Readings are worth nothing late: without a broker they are dropped;
    // state and events wait in the client's queue for the next connection.
    if (qos == 0 && !retain && !isConnected())
        return;
    const QByteArray t = topic.toUtf8();
    if (mosquitto_publish(client_, nullptr, t.constData(), int(payload.size()), payload.constData(),
                          qos, retain) == MOSQ_ERR_SUCCESS)
        ++published_;
}

void MqttFeed::publishReadings(int channel) {
    // Readings are dropped without a broker: nothing to build then.
    if (!isConnected() || channel < 0 || channel >= session_.supply().channelCount())
        return;
    const ChannelState& c = session_.supply().channel(channel);
    const std::optional<double> watts = power(c.voltage, c.current);
    if (!watts)
        return;
    const QString base = prefix() + QStringLiteral("/%1/").arg(channel + 1);
    publish(base + QStringLiteral("voltage"), c.voltage.text().trimmed().toUtf8(), 0, false);
    publish(base + QStringLiteral("current"), c.current.text().trimmed().toUtf8(), 0, false);
    publish(base + QStringLiteral("power"), QByteArray::number(*watts, 'g', 6), 0, false);
}

namespace {

// Readings per second and the wire's limit (null: none known), rounded as
// the status bar shows them.
QJsonObject rateObject(const PollRate& rate) {
    return {{QStringLiteral("readings_per_s"), std::round(rate.readingsPerSec * 10) / 10},
            {QStringLiteral("wire_limit"),
             rate.wireLimit > 0 ? QJsonValue(std::round(rate.wireLimit * 10) / 10) : QJsonValue()}};
}

} // namespace

void MqttFeed::publishState() {
    if (session_.connection().model().isEmpty())
        return;
    Recording* r = session_.recording();
    publishedRate_ = std::lround(session_.poll().rate().readingsPerSec);
    const QJsonObject state{
        {QStringLiteral("online"), session_.isReady()},
        {QStringLiteral("output"), session_.isReady() && session_.supply().outputOn()},
        {QStringLiteral("mode"), QLatin1String(couplingWord(session_.supply().coupling()))},
        {QStringLiteral("recording"), r != nullptr && r->engine().isRecording()},
        {QStringLiteral("rate"), rateObject(session_.poll().rate())}};
    publish(prefix() + QStringLiteral("/state"),
            QJsonDocument(state).toJson(QJsonDocument::Compact), 1, true);
}

void MqttFeed::publishLimit(const LimitTrip& trip) {
    const QJsonObject event{{QStringLiteral("type"), QStringLiteral("limit")},
                            {QStringLiteral("channel"), trip.rule.channel},
                            {QStringLiteral("quantity"), unitOf(trip.rule.quantity)},
                            {QStringLiteral("value"), trip.value},
                            {QStringLiteral("limit"), trip.bound},
                            {QStringLiteral("action"), textOf(trip.rule.action)}};
    publish(prefix() + QStringLiteral("/event"),
            QJsonDocument(event).toJson(QJsonDocument::Compact), 1, false);
}

void MqttFeed::publishDiscovery() {
    if (!options_.discovery || !session_.isReady())
        return;
    // Ids of letters, digits and underscores only, the same at every start.
    auto id = [](QString text) {
        return text.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_]")),
                            QStringLiteral("_"));
    };
    const QString supply = supplyName_ ? supplyName_() : session_.connection().model();
    const QString device = id(QStringLiteral("powertrq_%1_%2").arg(options_.station, supply));
    const QJsonObject deviceInfo{
        {QStringLiteral("identifiers"), QJsonArray{device}},
        {QStringLiteral("name"), QStringLiteral("%1 (%2)").arg(supply, options_.station)},
        {QStringLiteral("model"), session_.connection().model()},
        {QStringLiteral("serial_number"), session_.connection().serialNumber()}};
    struct Kind {
        const char* quantity;
        const char* unit;
    };
    static const Kind kKinds[] = {{"voltage", "V"}, {"current", "A"}, {"power", "W"}};
    for (int c = 1; c <= session_.supply().channelCount(); ++c)
        for (const Kind& k : kKinds) {
            const QString quantity = QLatin1String(k.quantity);
            const QString object = QStringLiteral("%1_ch%2_%3").arg(device).arg(c).arg(quantity);
            publish(QStringLiteral("homeassistant/sensor/%1/config").arg(object),
                    QJsonDocument(
                        QJsonObject{{QStringLiteral("name"),
                                     QStringLiteral("CH%1 %2").arg(c).arg(quantity)},
                                    {QStringLiteral("unique_id"), object},
                                    {QStringLiteral("state_topic"),
                                     prefix() + QStringLiteral("/%1/%2").arg(c).arg(quantity)},
                                    {QStringLiteral("unit_of_measurement"), QLatin1String(k.unit)},
                                    {QStringLiteral("device_class"), quantity},
                                    {QStringLiteral("state_class"), QStringLiteral("measurement")},
                                    {QStringLiteral("device"), deviceInfo}})
                        .toJson(QJsonDocument::Compact),
                    1, true);
        }
    const QString output = device + QStringLiteral("_output");
    publish(QStringLiteral("homeassistant/binary_sensor/%1/config").arg(output),
            QJsonDocument(
                QJsonObject{{QStringLiteral("name"), QStringLiteral("Output")},
                            {QStringLiteral("unique_id"), output},
                            {QStringLiteral("state_topic"), prefix() + QStringLiteral("/state")},
                            {QStringLiteral("value_template"),
                             QStringLiteral("{{ 'ON' if value_json.output else 'OFF' }}")},
                            {QStringLiteral("device_class"), QStringLiteral("power")},
                            {QStringLiteral("device"), deviceInfo}})
                .toJson(QJsonDocument::Compact),
            1, true);
}

void MqttFeed::connectedChanged(bool connected, int code) {
    // A refusal is followed by the broker closing the line: the refusal is
    // what the user needs to read.
    if (!connected && code == 0 && refused_)
        return;
    refused_ = code > 0;
    if (connected) {
        setStatus(tr("MQTT: publishing to %1:%2").arg(options_.host).arg(options_.port));
        publishDiscovery();
        publishState();
    } else if (code > 0) { // wrong credentials, say: the lab's admin must act
        setStatus(tr("MQTT: the broker at %1:%2 refused the connection (%3), trying again")
                      .arg(options_.host)
                      .arg(options_.port)
                      .arg(QString::fromUtf8(mosquitto_connack_string(code))));
    } else {
        setStatus(tr("MQTT: no broker at %1:%2 (%3), trying again")
                      .arg(options_.host)
                      .arg(options_.port)
                      .arg(code < 0 ? tr("not reachable") : tr("connection lost")));
    }
}

void MqttFeed::setStatus(const QString& text) {
    if (text == status_)
        return;
    status_ = text;
    trace(text);
    emit statusChanged(text);
}

} // namespace trq
