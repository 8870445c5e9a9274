#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace trq::sim {

// The three command families the application speaks.
enum class Family { Scpi3, Scpi1, Legacy };

struct ChannelLimits {
    double maxVolt;
    double maxCurr;
    double loadOhm; // resistive load on the output
};

struct ModelInfo {
    const char* model;
    Family family;
    std::span<const ChannelLimits> channels;
};

// Models that can be simulated, one per command family and channel count.
std::span<const ModelInfo> simulatedModels();
const ModelInfo* findModel(const QString& model);
QStringList simulatedModelNames();
const char* lineEnd(Family family);

class Supply;

// Fields parsed from a command line: <n> integers and at most one <v> value.
struct Args {
    std::array<int, 2> n{};
    double v = 0;
};

// One row of a family's command table. A pattern is the command text with
// <n> for an integer (channel, memory, switch) and <v> for a decimal value.
struct CommandEntry {
    const char* pattern;
    std::function<std::optional<QString>(Supply&, const Args&)> run;
};

struct CompiledCommand {
    QRegularExpression re;
    int intCount = 0;
    bool hasValue = false;
    const CommandEntry* entry = nullptr;
};

std::span<const CommandEntry> commandTable(Family family);

// A programmable DC supply as seen from its remote interface: it takes
// command lines, keeps settings, memories and an error queue, and answers
// queries. Measured values follow the settings through a resistive load.
class Supply {
public:
    struct Channel {
        double vset = 0;
        double iset = 0;
        double ovp = 0;
        bool ocp = false;
        double loadOhm = 10;
        const ChannelLimits* limits = nullptr;
    };
    struct Memory {
        std::vector<Channel> channels;
        int coupling = 0;
    };

    static constexpr int kMemories = 100;
    static constexpr int kMaxErrors = 20;
    static constexpr int kMaxLineLength = 256;

    explicit Supply(const ModelInfo& info);
    static std::unique_ptr<Supply> create(const QString& model);

    const ModelInfo& info() const { return info_; }
    Family family() const { return info_.family; }
    QString model() const { return QString::fromLatin1(info_.model); }
    QString identity() const;
    const char* replyEnd() const { return lineEnd(info_.family); }

    // Serial side: bytes as they arrive; returns the replies with line ends.
    QByteArray receive(const QByteArray& bytes);
    // Message side (GPIB): one whole message; returns the reply with its line
    // end, or nothing.
    QByteArray execute(const QString& line);

    // Instrument state, for the command handlers and for tests.
    int channelCount() const { return int(channels_.size()); }
    Channel& channel(int n) { return channels_.at(std::size_t(n - 1)); }
    const Channel& channel(int n) const { return channels_.at(std::size_t(n - 1)); }
    bool output = false;
    bool tripped = false;
    int coupling = 0; // 0 independent, 1 parallel, 2 tracking (series)
    int sets = 0;     // single-channel "SYST:CONF:MSL"
    int autoStart = 0, autoEnd = 0, autoCycle = 0, autoDelay = 0;
    bool autoRun = false;
    int lastMemory = 0;
    std::array<std::optional<Memory>, kMemories> memories;
    std::vector<QString> received; // every command line taken, newest last
    int serialNumber = 20260001;   // in the identity

    // A rechargeable cell on channel 1 in place of its resistor, to show a
    // constant-current, constant-voltage charge: its open-circuit voltage
    // rises from 3.0 V empty to 4.2 V full behind its internal resistance.
    struct Cell {
        double capacityAh = 0.05;
        double chargeAh = 0;
        double ohm = 0.2;
        double openVolt() const { return 3.0 + 1.2 * std::clamp(chargeAh / capacityAh, 0.0, 1.0); }
    };
    void setCell(const Cell& cell);

    double measuredVolt(int n) const;
    double measuredCurr(int n) const;
    void setNoise(double fraction) { noise_ = fraction; }
    void pushError(int code, const char* text);
    QString popError();
    bool validChannel(int n) const { return n >= 1 && n <= channelCount(); }
    // Applies over-voltage and over-current protection after a change.
    void checkProtection();
    void saveMemory(int m);
    bool recallMemory(int m);

private:
    std::optional<QString> dispatch(const QString& line);
    double jitter(double full) const;

    const ModelInfo& info_;
    std::vector<Channel> channels_;
    std::vector<CompiledCommand> commands_;
    std::deque<QString> errors_;
    QByteArray pending_; // partial input line
    bool discarding_ = false;
    double noise_ = 0;
    mutable quint32 noiseState_ = 12345;
    // The cell charges between the questions that measure it.
    mutable std::optional<Cell> cell_;
    mutable QElapsedTimer cellClock_;
    double cellCurrent() const;
};

} // namespace trq::sim
