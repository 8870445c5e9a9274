#include "sim/supply.h"

#include <algorithm>
#include <cmath>

namespace trq::sim {

namespace {

constexpr ChannelLimits kScpi3Channels[] = {{32.0, 3.2, 10.0}, {32.0, 3.2, 20.0}, {6.0, 3.2, 5.0}};
constexpr ChannelLimits kScpi1Channels[] = {{36.0, 10.0, 6.0}};
constexpr ChannelLimits kLegacy2Channels[] = {{30.0, 3.0, 10.0}, {30.0, 3.0, 20.0}};
constexpr ChannelLimits kLegacy4Channels[] = {
    {30.0, 6.0, 10.0}, {30.0, 6.0, 20.0}, {10.0, 3.0, 5.0}, {5.0, 1.0, 5.0}};

constexpr ModelInfo kModels[] = {
    {"PSQ-3323", Family::Scpi3, kScpi3Channels},
    {"SPQ-3610DNB", Family::Scpi1, kScpi1Channels},
    {"TRQ-3302", Family::Legacy, kLegacy2Channels},
    {"TRQ-7206S", Family::Legacy, kLegacy4Channels},
};

using Reply = std::optional<QString>;
const Reply kNoReply = std::nullopt;

QString fixed3(double v) {
    return QString::number(v, 'f', 3);
}

Reply rangeError(Supply& s) {
    s.pushError(-222, "Data out of range");
    return kNoReply;
}

Reply setVolt(Supply& s, int n, double v) {
    if (!s.validChannel(n) || v < 0 || v > s.channel(n).limits->maxVolt)
        return rangeError(s);
    s.channel(n).vset = v;
    if (s.coupling == 2 && n == 1 && s.channelCount() >= 2)
        s.channel(2).vset = v; // tracking: channel 2 follows channel 1
    s.checkProtection();
    return kNoReply;
}

Reply setCurr(Supply& s, int n, double v) {
    if (!s.validChannel(n) || v < 0 || v > s.channel(n).limits->maxCurr)
        return rangeError(s);
    s.channel(n).iset = v;
    s.checkProtection();
    return kNoReply;
}

Reply setOvp(Supply& s, int n, double v) {
    if (!s.validChannel(n) || v < 0 || v > s.channel(n).limits->maxVolt * 1.1)
        return rangeError(s);
    s.channel(n).ovp = v;
    s.checkProtection();
    return kNoReply;
}

Reply setOcp(Supply& s, int n, int on) {
    if (!s.validChannel(n) || on < 0 || on > 1)
        return rangeError(s);
    s.channel(n).ocp = on == 1;
    s.checkProtection();
    return kNoReply;
}

Reply channelValue(Supply& s, int n, double Supply::Channel::*field) {
    if (!s.validChannel(n))
        return rangeError(s);
    return fixed3(s.channel(n).*field);
}

Reply measVolt(Supply& s, int n) {
    if (!s.validChannel(n))
        return rangeError(s);
    return fixed3(s.measuredVolt(n));
}

Reply measCurr(Supply& s, int n) {
    if (!s.validChannel(n))
        return rangeError(s);
    return fixed3(s.measuredCurr(n));
}

Reply setOutput(Supply& s, int on) {
    if (on < 0 || on > 1)
        return rangeError(s);
    s.output = on == 1;
    if (s.output)
        s.tripped = false;
    s.checkProtection();
    return kNoReply;
}

// Both families number the switch 0 independent, 1 tracking, 2 parallel.
constexpr int kCodeToCoupling[] = {0, 2, 1};
int couplingFromCode(int code) {
    return code >= 0 && code <= 2 ? kCodeToCoupling[code] : -1;
}
int codeFromCoupling(int coupling) {
    return kCodeToCoupling[coupling];
}

Reply setCoupling(Supply& s, int mode) {
    if (mode < 0 || mode > 2 || s.channelCount() < 2)
        return rangeError(s);
    s.coupling = mode;
    if (mode == 2)
        s.channel(2).vset = s.channel(1).vset;
    s.checkProtection();
    return kNoReply;
}

Reply saveMemory(Supply& s, int m) {
    if (m < 0 || m >= Supply::kMemories)
        return rangeError(s);
    s.saveMemory(m);
    return kNoReply;
}

Reply recallMemory(Supply& s, int m) {
    if (m < 0 || m >= Supply::kMemories)
        return rangeError(s);
    if (!s.recallMemory(m))
        s.pushError(-224, "Illegal parameter value");
    return kNoReply;
}

Reply setInt(Supply& s, int& field, int v, int lo, int hi) {
    if (v < lo || v > hi)
        return rangeError(s);
    field = v;
    return kNoReply;
}

Reply boolText(bool b) {
    return QString(b ? QStringLiteral("1") : QStringLiteral("0"));
}

// Legacy status: CH1 CV, CH2 CV, two tracking bits ("01" independent, "11"
// series, "10" parallel), beep, lock, output, spare.
Reply legacyStatus(Supply& s) {
    auto cv = [&](int n) {
        if (n > s.channelCount() || !s.output)
            return '1';
        const auto& c = s.channel(n);
        return c.loadOhm * c.iset >= c.vset ? '1' : '0';
    };
    static constexpr const char* kTrack[] = {"01", "10", "11"};
    QString text;
    text += QLatin1Char(cv(1));
    text += QLatin1Char(cv(2));
    text += QLatin1String(kTrack[s.coupling]);
    text += QLatin1String("10");
    text += QLatin1Char(s.output ? '1' : '0');
    text += QLatin1Char('0');
    return text;
}

// Accepted by every family: the automatic-run commands are composed the same
// way whatever the family, and so is the clear-protection text.
const CommandEntry kCommonTable[] = {
    {"*IDN?", [](Supply& s, const Args&) { return Reply(s.identity()); }},
    {":OUTP:PROT:CLE",
     [](Supply& s, const Args&) {
         s.tripped = false;
         return kNoReply;
     }},
    {":SYST:AUTO:STAR <n>",
     [](Supply& s, const Args& a) { return setInt(s, s.autoStart, a.n[0], 0, 99); }},
    {":SYST:AUTO:END <n>",
     [](Supply& s, const Args& a) { return setInt(s, s.autoEnd, a.n[0], 0, 99); }},
    {":SYST:AUTO:CYCL <n>",
     [](Supply& s, const Args& a) { return setInt(s, s.autoCycle, a.n[0], 0, 99999); }},
    {":SYST:AUTO:DEL <n>",
     [](Supply& s, const Args& a) { return setInt(s, s.autoDelay, a.n[0], 0, 99); }},
    {":SYST:AUTO:STAT <n>",
     [](Supply& s, const Args& a) {
         int on = s.autoRun;
         Reply r = setInt(s, on, a.n[0], 0, 1);
         s.autoRun = on == 1;
         return r;
     }},
};

// Shared by both SCPI families.
const CommandEntry kScpiTable[] = {
    {":OUTP:STAT <n>", [](Supply& s, const Args& a) { return setOutput(s, a.n[0]); }},
    {":OUTP:STAT?", [](Supply& s, const Args&) { return boolText(s.output); }},
    {":OUTP:COUP:TRAC <n>",
     [](Supply& s, const Args& a) { return setCoupling(s, couplingFromCode(a.n[0])); }},
    {":OUTP:COUP:TRAC?",
     [](Supply& s, const Args&) { return Reply(QString::number(codeFromCoupling(s.coupling))); }},
    {"*SAV <n>", [](Supply& s, const Args& a) { return saveMemory(s, a.n[0]); }},
    {"*RCL <n>", [](Supply& s, const Args& a) { return recallMemory(s, a.n[0]); }},
    {":SYST:AUTO:STAR?",
     [](Supply& s, const Args&) { return Reply(QString::number(s.autoStart)); }},
    {":SYST:AUTO:END?", [](Supply& s, const Args&) { return Reply(QString::number(s.autoEnd)); }},
    {":SYST:AUTO:CYCLE?",
     [](Supply& s, const Args&) { return Reply(QString::number(s.autoCycle)); }},
    {":SYST:AUTO:DEL?", [](Supply& s, const Args&) { return Reply(QString::number(s.autoDelay)); }},
    {":SYST:AUTO:STAT?", [](Supply& s, const Args&) { return boolText(s.autoRun); }},
    {":SYST:MEM?", [](Supply& s, const Args&) { return Reply(QString::number(s.lastMemory)); }},
    {":SYST:ERR?", [](Supply& s, const Args&) { return Reply(s.popError()); }},
};

const CommandEntry kScpi3Table[] = {
    {":CHAN<n>:VOLT <v>", [](Supply& s, const Args& a) { return setVolt(s, a.n[0], a.v); }},
    {":CHAN<n>:VOLT?",
     [](Supply& s, const Args& a) { return channelValue(s, a.n[0], &Supply::Channel::vset); }},
    {":CHAN<n>:CURR <v>", [](Supply& s, const Args& a) { return setCurr(s, a.n[0], a.v); }},
    {":CHAN<n>:CURR?",
     [](Supply& s, const Args& a) { return channelValue(s, a.n[0], &Supply::Channel::iset); }},
    {":CHAN<n>:PROT:VOLT <v>", [](Supply& s, const Args& a) { return setOvp(s, a.n[0], a.v); }},
    {":CHAN<n>:PROT:VOLT?",
     [](Supply& s, const Args& a) { return channelValue(s, a.n[0], &Supply::Channel::ovp); }},
    {":CHAN<n>:PROT:CURR <n>", [](Supply& s, const Args& a) { return setOcp(s, a.n[0], a.n[1]); }},
    {":CHAN<n>:PROT:CURR?",
     [](Supply& s, const Args& a) -> Reply {
         if (!s.validChannel(a.n[0]))
             return rangeError(s);
         return boolText(s.channel(a.n[0]).ocp);
     }},
    {":CHAN<n>:MEAS:VOLT?", [](Supply& s, const Args& a) { return measVolt(s, a.n[0]); }},
    {":CHAN<n>:MEAS:CURR?", [](Supply& s, const Args& a) { return measCurr(s, a.n[0]); }},
};

const CommandEntry kScpi1Table[] = {
    {":VOLT <v>", [](Supply& s, const Args& a) { return setVolt(s, 1, a.v); }},
    {":VOLT?", [](Supply& s, const Args&) { return channelValue(s, 1, &Supply::Channel::vset); }},
    {":CURR <v>", [](Supply& s, const Args& a) { return setCurr(s, 1, a.v); }},
    {":CURR?", [](Supply& s, const Args&) { return channelValue(s, 1, &Supply::Channel::iset); }},
    {":VOLT:PROT <v>", [](Supply& s, const Args& a) { return setOvp(s, 1, a.v); }},
    {":VOLT:PROT?",
     [](Supply& s, const Args&) { return channelValue(s, 1, &Supply::Channel::ovp); }},
    {":CURR:PROT <n>", [](Supply& s, const Args& a) { return setOcp(s, 1, a.n[0]); }},
    {":CURR:PROT?", [](Supply& s, const Args&) { return boolText(s.channel(1).ocp); }},
    {":MEAS:VOLT?", [](Supply& s, const Args&) { return measVolt(s, 1); }},
    {":MEAS:CURR?", [](Supply& s, const Args&) { return measCurr(s, 1); }},
    {"SYST:CONF:MSL <n>", [](Supply& s, const Args& a) { return setInt(s, s.sets, a.n[0], 0, 4); }},
    {"SYST:CONF:MSL?", [](Supply& s, const Args&) { return Reply(QString::number(s.sets)); }},
};

const CommandEntry kLegacyTable[] = {
    {"VSET<n>:<v>", [](Supply& s, const Args& a) { return setVolt(s, a.n[0], a.v); }},
    {"ISET<n>:<v>", [](Supply& s, const Args& a) { return setCurr(s, a.n[0], a.v); }},
    {"VSET<n>?",
     [](Supply& s, const Args& a) -> Reply {
         auto r = channelValue(s, a.n[0], &Supply::Channel::vset);
         return r ? Reply(*r + QLatin1Char('V')) : r;
     }},
    {"ISET<n>?",
     [](Supply& s, const Args& a) -> Reply {
         auto r = channelValue(s, a.n[0], &Supply::Channel::iset);
         return r ? Reply(*r + QLatin1Char('A')) : r;
     }},
    {"VOUT<n>?",
     [](Supply& s, const Args& a) -> Reply {
         auto r = measVolt(s, a.n[0]);
         return r ? Reply(*r + QLatin1Char('V')) : r;
     }},
    {"IOUT<n>?",
     [](Supply& s, const Args& a) -> Reply {
         auto r = measCurr(s, a.n[0]);
         return r ? Reply(*r + QLatin1Char('A')) : r;
     }},
    {"OUT<n>", [](Supply& s, const Args& a) { return setOutput(s, a.n[0]); }},
    {"TRACK<n>", [](Supply& s, const Args& a) { return setCoupling(s, couplingFromCode(a.n[0])); }},
    {"STATUS?", [](Supply& s, const Args&) { return legacyStatus(s); }},
    {"SAV<n>", [](Supply& s, const Args& a) { return saveMemory(s, a.n[0]); }},
    {"RCL<n>", [](Supply& s, const Args& a) { return recallMemory(s, a.n[0]); }},
};

std::vector<CompiledCommand> compile(std::span<const CommandEntry> table) {
    std::vector<CompiledCommand> out;
    out.reserve(table.size());
    for (const CommandEntry& entry : table) {
        CompiledCommand cmd;
        cmd.entry = &entry;
        // Literal text is escaped piece by piece; only the placeholders match
        // variable text.
        static const QRegularExpression placeholder(QStringLiteral("<[nv]>"));
        const QString source = QString::fromLatin1(entry.pattern);
        QString pattern;
        qsizetype from = 0;
        for (const QRegularExpressionMatch& m : placeholder.globalMatch(source)) {
            pattern += QRegularExpression::escape(source.mid(from, m.capturedStart() - from));
            if (m.captured() == QLatin1String("<n>")) {
                pattern += QLatin1String("(\\d{1,6})");
                ++cmd.intCount;
            } else {
                pattern += QLatin1String("([-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?)");
                cmd.hasValue = true;
            }
            from = m.capturedEnd();
        }
        pattern += QRegularExpression::escape(source.mid(from));
        cmd.re = QRegularExpression(QRegularExpression::anchoredPattern(pattern),
                                    QRegularExpression::CaseInsensitiveOption);
        out.push_back(std::move(cmd));
    }
    return out;
}

bool printable(const QString& line) {
    return std::all_of(line.begin(), line.end(),
                       [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

} // namespace

std::span<const ModelInfo> simulatedModels() {
    return kModels;
}

const ModelInfo* findModel(const QString& model) {
    for (const ModelInfo& m : kModels)
        if (model.compare(QLatin1String(m.model), Qt::CaseInsensitive) == 0)
            return &m;
    return nullptr;
}

QStringList simulatedModelNames() {
    QStringList names;
    for (const ModelInfo& m : kModels)
        names << QString::fromLatin1(m.model);
    return names;
}

const char* lineEnd(Family family) {
    switch (family) {
    case Family::Scpi3:
        return "\r";
    case Family::Scpi1:
        return "\n";
    case Family::Legacy:
        return "\r\n";
    }
    return "\n";
}

std::span<const CommandEntry> commandTable(Family family) {
    auto join = [](std::initializer_list<std::span<const CommandEntry>> parts) {
        std::vector<CommandEntry> all;
        for (auto part : parts)
            all.insert(all.end(), part.begin(), part.end());
        return all;
    };
    static const std::vector<CommandEntry> scpi3 = join({kScpi3Table, kScpiTable, kCommonTable});
    static const std::vector<CommandEntry> scpi1 = join({kScpi1Table, kScpiTable, kCommonTable});
    static const std::vector<CommandEntry> legacy = join({kLegacyTable, kCommonTable});
    switch (family) {
    case Family::Scpi3:
        return scpi3;
    case Family::Scpi1:
        return scpi1;
    case Family::Legacy:
        return legacy;
    }
    return {};
}

Supply::Supply(const ModelInfo& info) : info_(info), commands_(compile(commandTable(info.family))) {
    for (const ChannelLimits& limits : info.channels) {
        Channel c;
        c.limits = &limits;
        c.loadOhm = limits.loadOhm;
        c.vset = 0;
        c.iset = limits.maxCurr / 2;
        c.ovp = limits.maxVolt * 1.1;
        channels_.push_back(c);
    }
}

std::unique_ptr<Supply> Supply::create(const QString& model) {
    const ModelInfo* info = findModel(model);
    return info ? std::make_unique<Supply>(*info) : nullptr;
}

QString Supply::identity() const {
    return QStringLiteral("ZQ,%1,SN%2,V1.10").arg(model()).arg(serialNumber);
}

QByteArray Supply::receive(const QByteArray& bytes) {
    QByteArray replies;
    for (char ch : bytes) {
        if (ch == '\r' || ch == '\n') {
            if (!pending_.isEmpty() && !discarding_)
                replies += execute(QString::fromLatin1(pending_));
            pending_.clear();
            discarding_ = false;
            continue;
        }
        if (discarding_)
            continue;
        pending_.append(ch);
        if (pending_.size() > kMaxLineLength) {
            pushError(-223, "Too much data");
            pending_.clear();
            discarding_ = true;
        }
    }
    return replies;
}

QByteArray Supply::execute(const QString& message) {
    QString line = message;
    while (line.endsWith(QLatin1Char('\n')) || line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    line = line.trimmed();
    if (line.isEmpty())
        return {};
    std::optional<QString> reply;
    if (!printable(line)) {
        pushError(-101, "Invalid character");
        reply = QStringLiteral("Invalid Character.");
    } else {
        received.push_back(line);
        if (received.size() > 1000)
            received.erase(received.begin(), received.begin() + 500);
        reply = dispatch(line);
    }
    if (!reply)
        return {};
    return reply->toLatin1() + replyEnd();
}

std::optional<QString> Supply::dispatch(const QString& line) {
    for (const CompiledCommand& cmd : commands_) {
        const QRegularExpressionMatch m = cmd.re.match(line);
        if (!m.hasMatch())
            continue;
        Args args;
        int group = 1;
        for (int i = 0; i < cmd.intCount; ++i)
            args.n[std::size_t(i)] = m.captured(group++).toInt();
        if (cmd.hasValue)
            args.v = m.captured(group).toDouble();
        return cmd.entry->run(*this, args);
    }
    pushError(-113, "Undefined header");
    return std::nullopt;
}

void Supply::pushError(int code, const char* text) {
    if (int(errors_.size()) >= kMaxErrors) {
        errors_.back() = QStringLiteral("-350,\"Queue overflow\"");
        return;
    }
    errors_.push_back(QStringLiteral("%1,\"%2\"").arg(code).arg(QLatin1String(text)));
}

QString Supply::popError() {
    if (errors_.empty())
        return QStringLiteral("0,\"No error\"");
    QString e = errors_.front();
    errors_.pop_front();
    return e;
}

double Supply::jitter(double full) const {
    if (noise_ <= 0)
        return 0;
    noiseState_ = noiseState_ * 1664525u + 1013904223u;
    const double unit = double(noiseState_ >> 8) / double(1u << 24) * 2.0 - 1.0;
    return unit * noise_ * full;
}

void Supply::setCell(const Cell& cell) {
    cell_ = cell;
    cellClock_.start();
}

double Supply::cellCurrent() const {
    const Channel& c = channel(1);
    // The current as now, the charge it brought since last asked.
    const auto now = [&] {
        return !output ? 0.0 : std::clamp((c.vset - cell_->openVolt()) / cell_->ohm, 0.0, c.iset);
    };
    cell_->chargeAh += now() * double(cellClock_.restart()) / 3.6e6;
    return now();
}

double Supply::measuredVolt(int n) const {
    if (!output)
        return 0;
    if (cell_ && n == 1)
        return cell_->openVolt() + cellCurrent() * cell_->ohm;
    const int src = (coupling == 1 && n == 2) ? 1 : n;
    const Channel& c = channel(src);
    const double limit = (coupling == 1 && src == 1) ? 2 * c.iset : c.iset;
    const double v = c.vset / c.loadOhm <= limit ? c.vset : limit * c.loadOhm;
    return std::max(0.0, v + jitter(v));
}

double Supply::measuredCurr(int n) const {
    if (!output)
        return 0;
    if (coupling == 1 && (n == 1 || n == 2))
        return std::max(0.0, measuredVolt(1) / channel(1).loadOhm / 2);
    if (cell_ && n == 1)
        return cellCurrent();
    const Channel& c = channel(n);
    const double i = std::min(c.vset / c.loadOhm, c.iset);
    return std::max(0.0, i + jitter(i));
}

void Supply::checkProtection() {
    if (!output)
        return;
    for (const Channel& c : channels_) {
        const bool cc = c.vset / c.loadOhm > c.iset;
        const bool ovpTrip = family() != Family::Legacy && c.ovp > 0 && c.vset > c.ovp;
        if (ovpTrip || (c.ocp && cc)) {
            output = false;
            tripped = true;
            return;
        }
    }
}

void Supply::saveMemory(int m) {
    memories[std::size_t(m)] = Memory{channels_, coupling};
    lastMemory = m;
}

bool Supply::recallMemory(int m) {
    const auto& mem = memories[std::size_t(m)];
    if (!mem)
        return false;
    channels_ = mem->channels;
    coupling = mem->coupling;
    lastMemory = m;
    output = false; // a recall switches the output off, as on the front panel
    return true;
}

} // namespace trq::sim
