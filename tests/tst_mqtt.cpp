// The lab feed against a real broker: Debian's mosquitto started on a
// loopback port of its own, read with mosquitto_sub as a lab would.
#include "automation/mqttfeed.h"
#include "support/sessionfixture.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpSocket>

#include <unistd.h>

using namespace trq;
using namespace trq::test;

namespace {

// A broker for one test, on its own port; with a user and password, it
// lets in no one else.
struct Broker {
    quint16 port = freePort();
    QProcess process;
    bool start(const QString& user = {}, const QString& password = {}) {
        QFile conf(QStringLiteral("broker%1.conf").arg(port));
        if (!conf.open(QIODevice::WriteOnly))
            return false;
        QString text = QStringLiteral("listener %1 127.0.0.1\n").arg(port);
        // Run as root, mosquitto turns into its own user, who may not read
        // the test's folder.
        if (geteuid() == 0)
            text += QStringLiteral("user root\n");
        if (user.isEmpty()) {
            text += QStringLiteral("allow_anonymous true\n");
        } else {
            const QString passwords =
                QFileInfo(QStringLiteral("passwords%1").arg(port)).absoluteFilePath();
            if (QProcess::execute(
                    QStringLiteral("/usr/bin/mosquitto_passwd"),
                    {QStringLiteral("-c"), QStringLiteral("-b"), passwords, user, password}) != 0)
                return false;
            text += QStringLiteral("allow_anonymous false\npassword_file %1\n").arg(passwords);
        }
        conf.write(text.toUtf8());
        conf.close();
        process.start(QStringLiteral("/usr/sbin/mosquitto"),
                      {QStringLiteral("-c"), conf.fileName()});
        return process.waitForStarted(5000) &&
               QTest::qWaitFor(
                   [this] {
                       QTcpSocket s;
                       s.connectToHost(QHostAddress::LocalHost, port);
                       return s.waitForConnected(200);
                   },
                   10000);
    }
    void stop() {
        process.terminate();
        process.waitForFinished(5000);
    }
    ~Broker() { stop(); }
};

struct Message {
    QString topic;
    QByteArray payload;
    int qos = 0;
    bool retained = false;
};

// Everything published under powertrq/, as a lab dashboard sees it:
// mosquitto_sub, with each message's QoS and retain flag.
class Subscriber {
public:
    explicit Subscriber(quint16 port, const QString& filter = QStringLiteral("powertrq/#")) {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        // Line-buffered, so each line is read as it is printed.
        process_.start(QStringLiteral("/usr/bin/stdbuf"),
                       {QStringLiteral("-oL"), QStringLiteral("/usr/bin/mosquitto_sub"),
                        QStringLiteral("-d"), QStringLiteral("-h"), QStringLiteral("127.0.0.1"),
                        QStringLiteral("-p"), QString::number(port), QStringLiteral("-t"), filter,
                        QStringLiteral("-q"), QStringLiteral("1"), QStringLiteral("-F"),
                        QStringLiteral("MSG\\t%t\\t%q\\t%r\\t%p")});
        // Subscribed once the broker has acknowledged it (the -d lines).
        connected_ = process_.waitForStarted(5000) &&
                     QTest::qWaitFor([this] { return read().contains("received SUBACK"); }, 10000);
    }
    ~Subscriber() {
        process_.terminate();
        process_.waitForFinished(5000);
    }
    bool connected() const { return connected_; }
    // The messages on a topic, or on every topic that ends so ("*/event").
    std::vector<Message> on(const QString& topic) {
        read();
        std::vector<Message> found;
        for (const QByteArray& line : output_.split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            const QString t = QString::fromUtf8(f.value(1));
            if (f.size() >= 5 && f[0] == "MSG" &&
                (t == topic || (topic.startsWith(u'*') && t.endsWith(topic.mid(1)))))
                found.push_back({t, f.mid(4).join('\t'), f[2].toInt(), f[3] == "1"});
        }
        return found;
    }

private:
    const QByteArray& read() {
        output_ += process_.readAll();
        return output_;
    }
    QProcess process_;
    QByteArray output_;
    bool connected_ = false;
};

MqttFeed::Options options(quint16 port) {
    MqttFeed::Options o;
    o.enabled = true;
    o.host = QStringLiteral("127.0.0.1");
    o.port = port;
    o.station = QStringLiteral("bench7");
    return o;
}

QJsonObject json(const QByteArray& payload) {
    return QJsonDocument::fromJson(payload).object();
}

} // namespace

class TestMqtt : public QObject {
    Q_OBJECT
private slots:
    void init() { clearSettings(); }

    // Readings as plain numbers per channel, the state retained, a limit
    // trip as an event with QoS 1.
    void readingsStateAndEvents() {
        Broker broker;
        QVERIFY(broker.start());
        SessionFixture f;
        MqttFeed feed(*f.session, options(broker.port));
        QVERIFY(feed.start());
        QTRY_VERIFY_WITH_TIMEOUT(feed.isConnected(), 10000);
        QTRY_VERIFY(feed.statusText().startsWith(QStringLiteral("MQTT: publishing to 127.0.0.1:")));
        Subscriber dashboard(broker.port);
        QVERIFY(dashboard.connected());
        // A first connection that finds no supply is no lost link.
        f.factory.makeSerial = [](const QString& name) {
            return new ScriptedSerialPort(
                name, [](const QString&, int, const QByteArray&) { return QByteArray(); });
        };
        f.session->connection().setDetectionTimeout(300);
        QVERIFY(f.session->connection().openSerial({QStringLiteral("COM9"), 9600}));
        QTRY_COMPARE(f.session->connection().state(), ConnectionState::OffLine);
        f.prompter.texts.clear();
        f.factory.makeSerial = {};
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.instrument().channel(1).vset = 6;
        f.instrument().channel(1).iset = 2;
        f.session->control().setOutput(true);
        const auto on = [&](const char* topic) {
            return dashboard.on(QStringLiteral("powertrq/bench7/PSQ-3323/") + QLatin1String(topic));
        };
        QTRY_VERIFY_WITH_TIMEOUT(!on("1/power").empty(), 10000);
        QTRY_VERIFY(on("1/voltage").back().payload == "6.000");
        // 6 V into the supply's 10 ohm load; the current of the same poll
        // may arrive just after the voltage.
        QTRY_VERIFY(on("1/current").back().payload.toDouble() > 0.5);
        const Message current = on("1/current").back();
        QCOMPARE(current.qos, 0);
        QTRY_VERIFY(std::abs(on("1/power").back().payload.toDouble() -
                             6.0 * current.payload.toDouble()) < 0.01);
        QTRY_VERIFY(!on("state").empty());
        const QJsonObject state = json(on("state").back().payload);
        QCOMPARE(state.value(QStringLiteral("online")).toBool(), true);
        QCOMPARE(state.value(QStringLiteral("output")).toBool(), true);
        QCOMPARE(state.value(QStringLiteral("mode")).toString(), QStringLiteral("INDEP"));
        QCOMPARE(state.value(QStringLiteral("recording")).toBool(), false);
        // The poll's pace is state too, told once it is known (a second
        // has passed on the link's clock).
        QTRY_VERIFY((f.clock.advanceMsec(100), json(on("state").back().payload)
                                                       .value(QStringLiteral("rate"))
                                                       .toObject()
                                                       .value(QStringLiteral("readings_per_s"))
                                                       .toDouble() > 0));

        // A dashboard that comes later gets the state at once: retained.
        Subscriber late(broker.port);
        QTRY_VERIFY(!late.on(QStringLiteral("powertrq/bench7/PSQ-3323/state")).empty());
        QVERIFY(late.on(QStringLiteral("powertrq/bench7/PSQ-3323/state")).front().retained);

        // Every event with QoS 1, none kept: a limit trip, a lost link
        // (once), and a supply back but switched off by a power cycle.
        QJsonObject last;
        const auto event = [&](std::size_t n, const char* type) {
            QTRY_VERIFY_WITH_TIMEOUT(on("event").size() == n, 10000);
            QCOMPARE(dashboard.on(QStringLiteral("*/event")).size(), n);
            const Message m = on("event").back();
            QCOMPARE(m.qos, 1);
            QVERIFY(!m.retained);
            last = json(m.payload);
            QCOMPARE(last.value(QStringLiteral("type")).toString(), QLatin1String(type));
        };
        f.session->storeLimitRules(
            {{1, Quantity::Current, std::nullopt, 0.1, 0, LimitAction::Log}});
        event(1, "limit");
        QCOMPARE(last.value(QStringLiteral("channel")).toInt(), 1);
        QCOMPARE(last.value(QStringLiteral("quantity")).toString(), QStringLiteral("A"));
        QCOMPARE(last.value(QStringLiteral("limit")).toDouble(), 0.1);
        f.factory.lastSerial->unplug();
        event(2, "link-lost");
        emit f.session->cameBackWithOutputOff();
        event(3, "output-off");
        QCOMPARE(last.value(QStringLiteral("after")).toString(), QStringLiteral("reconnect"));
    }

    // Where asked (never by default), the supply is announced to Home
    // Assistant: a sensor per channel and quantity reading its topic, the
    // output as a binary sensor, each retained so a dashboard that comes
    // later finds them.
    void homeAssistantFindsTheSupply() {
        QCOMPARE(MqttFeed::Options::load().discovery, false);
        Broker broker;
        QVERIFY(broker.start());
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        MqttFeed::Options o = options(broker.port);
        o.discovery = true;
        MqttFeed feed(*f.session, o);
        QVERIFY(feed.start());
        QTRY_VERIFY_WITH_TIMEOUT(feed.isConnected(), 10000);
        Subscriber ha(broker.port, QStringLiteral("homeassistant/#"));
        QVERIFY(ha.connected());
        const QString sensor =
            QStringLiteral("homeassistant/sensor/powertrq_bench7_PSQ_3323_ch2_current/config");
        QTRY_VERIFY(ha.on(QStringLiteral("*/config")).size() == 3 * 3 + 1);
        const Message current = ha.on(sensor).back();
        QVERIFY(current.retained);
        QCOMPARE(json(current.payload).value(QStringLiteral("state_topic")).toString(),
                 QStringLiteral("powertrq/bench7/PSQ-3323/2/current"));
        QCOMPARE(json(current.payload).value(QStringLiteral("unit_of_measurement")).toString(),
                 QStringLiteral("A"));
        const QJsonObject output =
            json(ha.on(QStringLiteral(
                           "homeassistant/binary_sensor/powertrq_bench7_PSQ_3323_output/config"))
                     .back()
                     .payload);
        QCOMPARE(output.value(QStringLiteral("state_topic")).toString(),
                 QStringLiteral("powertrq/bench7/PSQ-3323/state"));
        QCOMPARE(output.value(QStringLiteral("device")).toObject().value(QStringLiteral("model")),
                 QJsonValue(QStringLiteral("PSQ-3323")));
    }

    // Two supplies of one model on a bench publish under their own names,
    // never on one topic.
    void aBenchsSuppliesKeepTheirOwnTopics() {
        Broker broker;
        QVERIFY(broker.start());
        BenchFixture b({"logic=sim:PSQ-3323", "sim:PSQ-3323", "sim:PSQ-3323"});
        QVERIFY(b.allReady());
        std::vector<std::unique_ptr<MqttFeed>> feeds;
        for (int i = 0; i < b.bench.size(); ++i) {
            feeds.push_back(std::make_unique<MqttFeed>(b.bench.session(i), options(broker.port)));
            feeds.back()->setSupplyName([&b, i] { return b.bench.name(i); });
            QVERIFY(feeds.back()->start());
        }
        Subscriber dashboard(broker.port);
        QVERIFY(dashboard.connected());
        for (int i = 0; i < b.bench.size(); ++i) {
            b.instruments.at(std::size_t(i))->channel(1).vset = 1 + i;
            b.bench.session(i).control().setOutput(true);
        }
        for (const char* name : {"logic", "PSQ-3323", "PSQ-3323 _2"})
            QTRY_VERIFY_WITH_TIMEOUT(
                !dashboard.on(QStringLiteral("powertrq/bench7/%1/1/voltage").arg(name)).empty(),
                10000);
        QTRY_COMPARE(
            dashboard.on(QStringLiteral("powertrq/bench7/PSQ-3323 _2/1/voltage")).back().payload,
            QByteArray("3.000"));
        QTRY_COMPARE(
            dashboard.on(QStringLiteral("powertrq/bench7/PSQ-3323/1/voltage")).back().payload,
            QByteArray("2.000"));
    }

    // No broker: the session polls on as before and the feed says so; a
    // broker that comes up later is found by the feed's own retries, one
    // that goes away is waited for the same way.
    void aMissingBrokerCostsNothing() {
        const quint16 port = freePort();
        SessionFixture f;
        MqttFeed feed(*f.session, options(port));
        QVERIFY(feed.start());
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->control().setOutput(true);
        const quint64 before = f.session->supply().readingCount();
        QTRY_VERIFY_WITH_TIMEOUT(f.session->supply().readingCount() > before + 5, 10000);
        QVERIFY(!feed.isConnected());
        QTRY_VERIFY(feed.statusText().startsWith(QStringLiteral("MQTT: no broker at 127.0.0.1:")));
        QVERIFY(f.prompter.texts.isEmpty());

        Broker broker;
        broker.port = port;
        const QString voltage = QStringLiteral("powertrq/bench7/PSQ-3323/1/voltage");
        for (const char* when : {"comes", "comes back"}) {
            QVERIFY2(broker.start(), when);
            Subscriber dashboard(port);
            QTRY_VERIFY_WITH_TIMEOUT(feed.isConnected(), 40000);
            QTRY_VERIFY_WITH_TIMEOUT(!dashboard.on(voltage).empty(), 10000);
            // The state is there again for whoever subscribes after a return.
            QTRY_VERIFY(!dashboard.on(QStringLiteral("powertrq/bench7/PSQ-3323/state")).empty());
            broker.stop();
            QTRY_VERIFY_WITH_TIMEOUT(!feed.isConnected(), 10000);
            QTRY_VERIFY(feed.statusText().contains(QStringLiteral("connection lost")));
            const quint64 meanwhile = f.session->supply().readingCount();
            QTRY_VERIFY_WITH_TIMEOUT(f.session->supply().readingCount() > meanwhile + 5, 10000);
        }
        QVERIFY(f.prompter.texts.isEmpty());
    }

    // Wrong credentials are told as a refusal, not as a missing broker, and
    // cost the session nothing; the right ones are let in.
    void aBrokerThatRefusesTheCredentials() {
        Broker broker;
        QVERIFY(broker.start(QStringLiteral("lab"), QStringLiteral("right")));
        SessionFixture f;
        QVERIFY(f.onLineSerial(QStringLiteral("PSQ-3323")));
        f.session->control().setOutput(true);
        MqttFeed::Options o = options(broker.port);
        o.user = QStringLiteral("lab");
        o.password = QStringLiteral("wrong");
        {
            MqttFeed feed(*f.session, o);
            QVERIFY(feed.start());
            QTRY_VERIFY_WITH_TIMEOUT(
                feed.statusText().contains(QStringLiteral("refused the connection")), 10000);
            QVERIFY2(feed.statusText().contains(QStringLiteral("not authori")),
                     qPrintable(feed.statusText()));
            const quint64 before = f.session->supply().readingCount();
            QTRY_VERIFY_WITH_TIMEOUT(f.session->supply().readingCount() > before + 5, 10000);
            QVERIFY(!feed.isConnected());
            // Still the refusal, not the line the broker closed after it.
            QVERIFY2(feed.statusText().contains(QStringLiteral("refused the connection")),
                     qPrintable(feed.statusText()));
        }
        o.password = QStringLiteral("right");
        MqttFeed feed(*f.session, o);
        QVERIFY(feed.start());
        QTRY_VERIFY_WITH_TIMEOUT(feed.isConnected(), 10000);
        QVERIFY(f.prompter.texts.isEmpty());
    }

    void commandLineText_data() {
        columns<QString, QString, int>("text", "host", "port");
        row("host", "broker.lab", "broker.lab", 1883);
        row("host and port", "10.0.0.5:1884", "10.0.0.5", 1884);
        row("no host", ":1884", "", 0);
        row("bad port", "broker.lab:99999", "", 0);
    }
    void commandLineText() {
        auto [text, host, port] = fetch<QString, QString, int>("text", "host", "port");
        const std::optional<MqttFeed::Options> o = MqttFeed::Options::fromText(text);
        QCOMPARE(o.has_value(), !host.isEmpty());
        if (o) {
            QCOMPARE(o->host, host);
            QCOMPARE(o->port, port);
        }
    }
};

TRQ_TEST_MAIN(TestMqtt)
#include "tst_mqtt.moc"
