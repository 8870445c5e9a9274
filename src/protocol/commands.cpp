#include "protocol/commands.h"

#include <array>

namespace trq {

CommandFamily familyOf(const QString& model) {
    if (model.contains(QLatin1String("TRQ")))
        return CommandFamily::Legacy;
    if (model.contains(QLatin1String("DNB")))
        return CommandFamily::SingleChannelScpi;
    return CommandFamily::ThreeChannelScpi;
}

namespace {

using O = Operation;

// One row per operation: its query and its set command in the legacy, the
// single-channel SCPI and the three-channel SCPI family.
constexpr std::array<OperationTexts, kOperationCount> kOperations{{
    {O::Identify, {"*IDN?", "*IDN?", "*IDN?"}, {"", "", ""}},
    {O::MeasuredVoltage, {"VOUT{n}?", ":MEAS:VOLT?", ":CHAN{n}:MEAS:VOLT?"}, {"", "", ""}},
    {O::MeasuredCurrent, {"IOUT{n}?", ":MEAS:CURR?", ":CHAN{n}:MEAS:CURR?"}, {"", "", ""}},
    {O::Voltage,
     {"VSET{n}?", ":VOLT?", ":CHAN{n}:VOLT?"},
     {"VSET{n}:{v}", ":VOLT {v}", ":CHAN{n}:VOLT {v}"}},
    {O::Current,
     {"ISET{n}?", ":CURR?", ":CHAN{n}:CURR?"},
     {"ISET{n}:{v}", ":CURR {v}", ":CHAN{n}:CURR {v}"}},
    {O::OverVoltage,
     {"", ":VOLT:PROT?", ":CHAN{n}:PROT:VOLT?"},
     {"", ":VOLT:PROT {v}", ":CHAN{n}:PROT:VOLT {v}"}},
    {O::OverCurrent,
     {"", ":CURR:PROT?", ":CHAN{n}:PROT:CURR?"},
     {"", ":CURR:PROT {i}", ":CHAN{n}:PROT:CURR {i}"}},
    {O::Output,
     {"STATUS?", ":OUTP:STAT?", ":OUTP:STAT?"},
     {"OUT{i}", ":OUTP:STAT {i}", ":OUTP:STAT {i}"}},
    {O::Coupling, {"STATUS?", ":OUTP:COUP:TRAC?", ":OUTP:COUP:TRAC?"}, {"", "", ""}},
    {O::Independent, {"", "", ""}, {"TRACK0", "SYST:CONF:MSL 0", ":OUTP:COUP:TRAC 0"}},
    {O::Parallel, {"", "", ""}, {"TRACK2", "SYST:CONF:MSL {i}", ":OUTP:COUP:TRAC 2"}},
    {O::Tracking, {"", "", ""}, {"TRACK1", "SYST:CONF:MSL {i}", ":OUTP:COUP:TRAC 1"}},
    {O::Sets, {"", "SYST:CONF:MSL?", "SYST:CONF:MSL?"}, {"", "", ""}},
    {O::Status, {"STATUS?", "", ""}, {"", "", ""}},
    {O::Error, {"", ":SYST:ERR?", ":SYST:ERR?"}, {"", "", ""}},
    {O::ClearProtection, {"", "", ""}, {":OUTP:PROT:CLE", ":OUTP:PROT:CLE", ":OUTP:PROT:CLE"}},
    {O::SaveMemory, {"", "", ""}, {"SAV{i}", "*SAV {i}", "*SAV {i}"}},
    {O::RecallMemory, {"", "", ""}, {"RCL{i}", "*RCL {i}", "*RCL {i}"}},
    {O::AutoRun,
     {"", ":SYST:AUTO:STAT?", ":SYST:AUTO:STAT?"},
     {":SYST:AUTO:STAT {i}", ":SYST:AUTO:STAT {i}", ":SYST:AUTO:STAT {i}"}},
    {O::AutoStart,
     {"", ":SYST:AUTO:STAR?", ":SYST:AUTO:STAR?"},
     {":SYST:AUTO:STAR {i}", ":SYST:AUTO:STAR {i}", ":SYST:AUTO:STAR {i}"}},
    {O::AutoEnd,
     {"", ":SYST:AUTO:END?", ":SYST:AUTO:END?"},
     {":SYST:AUTO:END {i}", ":SYST:AUTO:END {i}", ":SYST:AUTO:END {i}"}},
    // The cycle query and command are spelled differently.
    {O::AutoCycle,
     {"", ":SYST:AUTO:CYCLE?", ":SYST:AUTO:CYCLE?"},
     {":SYST:AUTO:CYCL {i}", ":SYST:AUTO:CYCL {i}", ":SYST:AUTO:CYCL {i}"}},
    {O::AutoDelay,
     {"", ":SYST:AUTO:DEL?", ":SYST:AUTO:DEL?"},
     {":SYST:AUTO:DEL {i}", ":SYST:AUTO:DEL {i}", ":SYST:AUTO:DEL {i}"}},
    {O::Memory, {"", ":SYST:MEM?", ":SYST:MEM?"}, {"", "", ""}},
}};

QString fill(const char* pattern, const CommandArgs& args) {
    QString text = QString::fromLatin1(pattern);
    text.replace(QLatin1String("{n}"), QString::number(args.channel));
    text.replace(QLatin1String("{v}"), args.value);
    text.replace(QLatin1String("{i}"), QString::number(args.number));
    return text;
}

} // namespace

const OperationTexts& operationTexts(Operation operation) {
    return kOperations[std::size_t(operation)];
}

QString queryText(CommandFamily family, Operation operation, int channel) {
    return fill(operationTexts(operation).query[int(family)], {channel, {}, 0});
}

QString commandText(CommandFamily family, Operation operation, const CommandArgs& args) {
    return fill(operationTexts(operation).command[int(family)], args);
}

QByteArray lineEnd(CommandFamily family) {
    switch (family) {
    case CommandFamily::Legacy:
        return "\r\n";
    case CommandFamily::SingleChannelScpi:
        return "\n";
    case CommandFamily::ThreeChannelScpi:
        return "\r";
    }
    return "\n";
}

} // namespace trq
