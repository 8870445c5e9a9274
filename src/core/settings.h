#pragma once

#include "core/language.h"
#include "core/pollmode.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace trq {

// The per-user settings of the application "TRQ-1-0" (the registry on
// Windows, a file elsewhere), one typed value per setting. Every value is
// kept as text under the same sections and keys as ever; one that is
// unreadable or out of its range reads as its default, said once in the
// trace. A setter tells its change only when the value changes.
class Settings : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kApplication = "TRQ-1-0";
    // Bounds of stored numbers that the parts using them share.
    static constexpr int kMaxRecordDays = 31; // more than any scale records
    static constexpr int kRecordScaleCount = 10;
    static constexpr int kPointOperationCount = 3;
    static constexpr int kMaxPartHours = 24 * 7; // a week
    static constexpr int kMaxLimitRules = 100;
    static constexpr int kMaxBenchSupplies = 16;
    static constexpr quint16 kDefaultServerPort = 5025;
    static constexpr int kDefaultIdleMinutes = 10;
    static constexpr int kMaxIdleMinutes = 24 * 60;

    // The program's settings.
    static Settings& instance();
    // Forgets every value (tests start from first-run settings).
    static void clear();

    // ---- The last connection, opened again by the on-line button
    QString lastInterface() const; // as the session reads its interface kind
    void setLastInterface(const QString& name);
    QString lastModel() const;
    void setLastModel(const QString& model);
    bool reconnect() const;
    void setReconnect(bool on);
    int readTimeSeconds() const; // how long a poll cycle may take
    void setReadTimeSeconds(int seconds);
    PollMode pollMode() const;
    void setPollMode(PollMode mode);

    // ---- Serial port
    QString serialPortName() const;
    void setSerialPortName(const QString& name);
    int serialPortNumber() const; // n of "COMn"
    void setSerialPortNumber(int number);
    int serialPortIndex() const; // in the dialog's list
    void setSerialPortIndex(int index);
    int serialBaud() const;
    void setSerialBaud(int baud);
    int serialBaudIndex() const; // in the dialog's list
    void setSerialBaudIndex(int index);

    // ---- GPIB
    // The boards and addresses the dialog lists and the command line takes.
    static constexpr int kLastGpibBoard = 10;
    static constexpr int kLastGpibAddress = 30;
    int gpibBoard() const;
    void setGpibBoard(int board);
    int gpibAddress() const;
    void setGpibAddress(int address);
    QString gpibSimulatedModel() const; // empty: a real instrument
    void setGpibSimulatedModel(const QString& model);

    // ---- The supply's memories, delay and automatic run, as last asked for
    int autoStartMemory() const;
    void setAutoStartMemory(int memory);
    int autoEndMemory() const;
    void setAutoEndMemory(int memory);
    int autoCycle() const;
    void setAutoCycle(int cycles);
    int delay() const;
    void setDelay(int delay);
    int memory() const;
    void setMemory(int memory);

    // ---- Recording
    int recordDays() const;
    void setRecordDays(int days);
    int recordHours() const;
    void setRecordHours(int hours);
    int recordMinutes() const;
    void setRecordMinutes(int minutes);
    int recordSeconds() const;
    void setRecordSeconds(int seconds);
    int recordScale() const;
    void setRecordScale(int scale);
    int recordOperation() const; // PointOperation
    void setRecordOperation(int operation);
    bool recordContinuous() const;
    void setRecordContinuous(bool on);
    int recordPartHours() const; // 0: no parts
    void setRecordPartHours(int hours);
    // A channel's (1 to 4) colour on the graph: 24 bits, red in the low
    // byte, as decimal text; empty: the channel's own.
    QString channelColour(int channel) const;
    void setChannelColour(int channel, const QString& colour);
    // The three timers' periods as typed; "0" stops a timer.
    QString waitingTime() const;
    void setWaitingTime(const QString& msec);
    QString roundTime() const;
    void setRoundTime(const QString& msec);
    QString writerTime() const;
    void setWriterTime(const QString& msec);

    // ---- The automation server
    bool serverEnabled() const;
    void setServerEnabled(bool on);
    int serverPort() const; // 0: any free port
    void setServerPort(int port);
    bool serverRemote() const;
    void setServerRemote(bool on);
    int serverIdleMinutes() const;
    void setServerIdleMinutes(int minutes);

    // ---- The lab feed
    bool feedEnabled() const;
    void setFeedEnabled(bool on);
    QString feedHost() const;
    void setFeedHost(const QString& host);
    int feedPort() const;
    void setFeedPort(int port);
    QString feedStation() const;
    void setFeedStation(const QString& station);
    QString feedUser() const;
    void setFeedUser(const QString& user);
    QString feedPassword() const;
    void setFeedPassword(const QString& password);
    bool feedTls() const;
    void setFeedTls(bool on);
    QString feedCaFile() const;
    void setFeedCaFile(const QString& path);
    bool feedDiscovery() const;
    void setFeedDiscovery(bool on);

    // ---- The lab database as the record store (the address holds no
    // password: libpq reads it from its own files)
    bool labEnabled() const;
    void setLabEnabled(bool on);
    QString labAddress() const;
    void setLabAddress(const QString& uri);
    QString labStation() const;
    void setLabStation(const QString& station);

    // ---- Limits: a supply's rules as texts (LimitRule), by its model and,
    // where it gives one, its serial number; none when it has no list of
    // its own. The empty model holds the rules kept before they belonged to
    // a supply. At most kMaxLimitRules are read; none given forgets the list.
    std::optional<QStringList> limitRules(const QString& model, const QString& serial = {}) const;
    void setLimitRules(const QString& model, const QString& serial,
                       const std::optional<QStringList>& rules);

    // ---- Benches: each a named list of its supplies (as their command-line
    // addresses), opened again at the next start; none given forgets one.
    QStringList benchNames() const;
    std::optional<QStringList> benchSupplies(const QString& name) const;
    void setBenchSupplies(const QString& name, const std::optional<QStringList>& supplies);
    QString lastBench() const;
    void setLastBench(const QString& name);
    // The bench's power order as its user wrote it ("logic on, 200 ms, rail
    // on"); empty: none kept.
    QString benchPowerOrder(const QString& name) const;
    void setBenchPowerOrder(const QString& name, const QString& order);

    // ---- Windows
    std::optional<Language> language() const; // none: the system's decides
    void setLanguage(std::optional<Language> language);
    bool toolbarCaptions() const;
    void setToolbarCaptions(bool on);

signals:
    void lastInterfaceChanged(const QString& name);
    void lastModelChanged(const QString& model);
    void reconnectChanged(bool on);
    void readTimeSecondsChanged(int seconds);
    void pollModeChanged(trq::PollMode mode);
    void serialPortNameChanged(const QString& name);
    void serialPortNumberChanged(int number);
    void serialPortIndexChanged(int index);
    void serialBaudChanged(int baud);
    void serialBaudIndexChanged(int index);
    void gpibBoardChanged(int board);
    void gpibAddressChanged(int address);
    void gpibSimulatedModelChanged(const QString& model);
    void autoStartMemoryChanged(int memory);
    void autoEndMemoryChanged(int memory);
    void autoCycleChanged(int cycles);
    void delayChanged(int delay);
    void memoryChanged(int memory);
    void recordDaysChanged(int days);
    void recordHoursChanged(int hours);
    void recordMinutesChanged(int minutes);
    void recordSecondsChanged(int seconds);
    void recordScaleChanged(int scale);
    void recordOperationChanged(int operation);
    void recordContinuousChanged(bool on);
    void recordPartHoursChanged(int hours);
    void channelColourChanged(int channel, const QString& colour);
    void waitingTimeChanged(const QString& msec);
    void roundTimeChanged(const QString& msec);
    void writerTimeChanged(const QString& msec);
    void serverEnabledChanged(bool on);
    void serverPortChanged(int port);
    void serverRemoteChanged(bool on);
    void serverIdleMinutesChanged(int minutes);
    void feedEnabledChanged(bool on);
    void feedHostChanged(const QString& host);
    void feedPortChanged(int port);
    void feedStationChanged(const QString& station);
    void feedUserChanged(const QString& user);
    void feedPasswordChanged(const QString& password);
    void feedTlsChanged(bool on);
    void feedCaFileChanged(const QString& path);
    void feedDiscoveryChanged(bool on);
    void labEnabledChanged(bool on);
    void labAddressChanged(const QString& uri);
    void labStationChanged(const QString& station);
    void limitRulesChanged(const QString& model, const QString& serial);
    void benchChanged(const QString& name);
    void lastBenchChanged(const QString& name);
    void languageChanged(std::optional<Language> language);
    void toolbarCaptionsChanged(bool on);

private:
    Settings() = default;
};

} // namespace trq
