#include "panels/commandset.h"

#include <QRegularExpression>

#include <cmath>

namespace trq {

CommandFamily familyOf(const QString& machineType) {
    if (machineType.contains(QLatin1String("TRQ")))
        return CommandFamily::Legacy;
    if (machineType.contains(QLatin1String("DNB")))
        return CommandFamily::Scpi1;
    return CommandFamily::Scpi3;
}

void BuildLegacyQueries(QueryTable& t) {
    t.IdnQuery = QStringLiteral("*IDN?");
    for (int n = 1; n <= 4; ++n) {
        const auto i = std::size_t(n - 1);
        t.MeasVoltQuery[i] = QStringLiteral("VOUT%1?").arg(n);
        t.MeasCurrQuery[i] = QStringLiteral("IOUT%1?").arg(n);
        t.SetVoltQuery[i] = QStringLiteral("VSET%1?").arg(n);
        t.SetCurrQuery[i] = QStringLiteral("ISET%1?").arg(n);
    }
    t.OutputStateQuery = QStringLiteral("STATUS?");
    t.CouplingQuery = QStringLiteral("STATUS?");
    t.StatusQuery = QStringLiteral("STATUS?");
    t.LineEnd = "\r\n";
}

namespace {

void buildScpiCommon(QueryTable& t) {
    t.IdnQuery = QStringLiteral("*IDN?");
    t.OutputStateQuery = QStringLiteral(":OUTP:STAT?");
    t.CouplingQuery = QStringLiteral(":OUTP:COUP:TRAC?");
    t.AutoStateQuery = QStringLiteral(":SYST:AUTO:STAT?");
    t.AutoStartQuery = QStringLiteral(":SYST:AUTO:STAR?");
    t.AutoEndQuery = QStringLiteral(":SYST:AUTO:END?");
    t.AutoCycleQuery = QStringLiteral(":SYST:AUTO:CYCLE?");
    t.AutoDelayQuery = QStringLiteral(":SYST:AUTO:DEL?");
    t.MemoryQuery = QStringLiteral(":SYST:MEM?");
    t.ErrorQuery = QStringLiteral(":SYST:ERR?");
}

} // namespace

void BuildScpi1Queries(QueryTable& t) {
    buildScpiCommon(t);
    for (std::size_t i = 0; i < 3; ++i) {
        t.MeasVoltQuery[i] = QStringLiteral(":MEAS:VOLT?");
        t.MeasCurrQuery[i] = QStringLiteral(":MEAS:CURR?");
        t.OvpQuery[i] = QStringLiteral(":VOLT:PROT?");
        t.OcpQuery[i] = QStringLiteral(":CURR:PROT?");
        t.SetVoltQuery[i] = QStringLiteral(":VOLT?");
        t.SetCurrQuery[i] = QStringLiteral(":CURR?");
    }
    t.LineEnd = "\n";
}

void BuildScpi3Queries(QueryTable& t) {
    buildScpiCommon(t);
    for (int n = 1; n <= 3; ++n) {
        const auto i = std::size_t(n - 1);
        t.MeasVoltQuery[i] = QStringLiteral(":CHAN%1:MEAS:VOLT?").arg(n);
        t.MeasCurrQuery[i] = QStringLiteral(":CHAN%1:MEAS:CURR?").arg(n);
        t.OvpQuery[i] = QStringLiteral(":CHAN%1:PROT:VOLT?").arg(n);
        t.OcpQuery[i] = QStringLiteral(":CHAN%1:PROT:CURR?").arg(n);
        t.SetVoltQuery[i] = QStringLiteral(":CHAN%1:VOLT?").arg(n);
        t.SetCurrQuery[i] = QStringLiteral(":CHAN%1:CURR?").arg(n);
    }
    t.LineEnd = "\r";
}

void BuildQueries(QueryTable& table, const QString& machineType) {
    switch (familyOf(machineType)) {
    case CommandFamily::Legacy:
        BuildLegacyQueries(table);
        break;
    case CommandFamily::Scpi1:
        BuildScpi1Queries(table);
        break;
    case CommandFamily::Scpi3:
        BuildScpi3Queries(table);
        break;
    }
}

namespace {

struct CommandRow {
    SetCommand command;
    const char* legacy;
    const char* scpi1;
    const char* scpi3;
};

// One row per operation: legacy, single-channel SCPI, three-channel SCPI.
constexpr CommandRow kCommands[] = {
    {SetCommand::Voltage, "VSET{n}:{v}", ":VOLT {v}", ":CHAN{n}:VOLT {v}"},
    {SetCommand::Current, "ISET{n}:{v}", ":CURR {v}", ":CHAN{n}:CURR {v}"},
    {SetCommand::OverVoltage, "", ":VOLT:PROT {v}", ":CHAN{n}:PROT:VOLT {v}"},
    {SetCommand::OverCurrent, "", ":CURR:PROT {i}", ":CHAN{n}:PROT:CURR {i}"},
    {SetCommand::OutputOn, "OUT1", ":OUTP:STAT 1", ":OUTP:STAT 1"},
    {SetCommand::OutputOff, "OUT0", ":OUTP:STAT 0", ":OUTP:STAT 0"},
    {SetCommand::Independent, "TRACK0", "SYST:CONF:MSL 0", ":OUTP:COUP:TRAC 0"},
    {SetCommand::Parallel, "TRACK2", "SYST:CONF:MSL {i}", ":OUTP:COUP:TRAC 2"},
    {SetCommand::Tracking, "TRACK1", "SYST:CONF:MSL {i}", ":OUTP:COUP:TRAC 1"},
    {SetCommand::ClearProtection, ":OUTP:PROT:CLE", ":OUTP:PROT:CLE", ":OUTP:PROT:CLE"},
    {SetCommand::SaveMemory, "SAV{i}", "*SAV {i}", "*SAV {i}"},
    {SetCommand::RecallMemory, "RCL{i}", "*RCL {i}", "*RCL {i}"},
    {SetCommand::AutoStart, ":SYST:AUTO:STAR {i}", ":SYST:AUTO:STAR {i}", ":SYST:AUTO:STAR {i}"},
    {SetCommand::AutoEnd, ":SYST:AUTO:END {i}", ":SYST:AUTO:END {i}", ":SYST:AUTO:END {i}"},
    {SetCommand::AutoCycle, ":SYST:AUTO:CYCL {i}", ":SYST:AUTO:CYCL {i}", ":SYST:AUTO:CYCL {i}"},
    {SetCommand::AutoDelay, ":SYST:AUTO:DEL {i}", ":SYST:AUTO:DEL {i}", ":SYST:AUTO:DEL {i}"},
    {SetCommand::AutoRunOn, ":SYST:AUTO:STAT 1", ":SYST:AUTO:STAT 1", ":SYST:AUTO:STAT 1"},
    {SetCommand::AutoRunOff, ":SYST:AUTO:STAT 0", ":SYST:AUTO:STAT 0", ":SYST:AUTO:STAT 0"},
};

} // namespace

QString commandPattern(CommandFamily family, SetCommand command) {
    for (const CommandRow& row : kCommands) {
        if (row.command != command)
            continue;
        switch (family) {
        case CommandFamily::Legacy:
            return QString::fromLatin1(row.legacy);
        case CommandFamily::Scpi1:
            return QString::fromLatin1(row.scpi1);
        case CommandFamily::Scpi3:
            return QString::fromLatin1(row.scpi3);
        }
    }
    return {};
}

QString composeCommand(CommandFamily family, SetCommand command, const CommandArgs& args) {
    QString text = commandPattern(family, command);
    text.replace(QLatin1String("{n}"), QString::number(args.channel));
    text.replace(QLatin1String("{v}"), args.value);
    text.replace(QLatin1String("{i}"), QString::number(args.number));
    return text;
}

QString formatNumber(double value, const QString& pattern, const QLocale& locale) {
    const qsizetype point = pattern.indexOf(QLatin1Char('.'));
    const QString intPart = point < 0 ? pattern : pattern.left(point);
    const QString fracPart = point < 0 ? QString() : pattern.mid(point + 1);
    auto count = [](const QString& s, QChar c) { return int(s.count(c)); };
    const int minInt = count(intPart, QLatin1Char('0'));
    const int minFrac = count(fracPart, QLatin1Char('0'));
    const int maxFrac = minFrac + count(fracPart, QLatin1Char('#'));

    // Round half away from zero at maxFrac decimals, on the decimal text.
    const double scale = std::pow(10.0, maxFrac);
    double rounded = std::round(std::abs(value) * scale) / scale;
    QString digits = QString::number(rounded, 'f', maxFrac);
    QString whole = digits.section(QLatin1Char('.'), 0, 0);
    QString frac = digits.section(QLatin1Char('.'), 1, 1);
    while (frac.size() > minFrac && frac.endsWith(QLatin1Char('0')))
        frac.chop(1);
    if (whole == QLatin1String("0") && minInt == 0)
        whole.clear();
    while (whole.size() < minInt)
        whole.prepend(QLatin1Char('0'));

    QString out;
    if (value < 0 && rounded != 0)
        out += locale.negativeSign();
    // Literal text before the first digit placeholder is kept in place.
    const qsizetype firstDigit = pattern.indexOf(QRegularExpression(QStringLiteral("[0#.]")));
    if (firstDigit > 0)
        out += pattern.left(firstDigit);
    out += whole;
    if (point >= 0)
        out += locale.decimalPoint() + frac;
    return out;
}

QString generalNumber(double value, const QLocale& locale) {
    QLocale plain = locale;
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    return plain.toString(value, 'g', 15);
}

std::optional<double> parseNumber(const QString& text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

double leadingNumber(const QString& text) {
    // Most texts are plain numbers: read them without the expression, which
    // costs a microsecond a value when a long recording is redrawn.
    bool plain = false;
    const double value = text.toDouble(&plain);
    if (plain && std::isfinite(value))
        return value;
    static const QRegularExpression number(
        QStringLiteral("^\\s*[-+]?(?:\\d+\\.?\\d*|\\.\\d+)(?:[eE][-+]?\\d+)?"));
    const QRegularExpressionMatch m = number.match(text);
    return m.hasMatch() ? m.captured().trimmed().toDouble() : 0.0;
}

QString wireNumber(double value, const QString& pattern) {
    return pattern.isEmpty() ? generalNumber(value, QLocale::c())
                             : formatNumber(value, pattern, QLocale::c());
}

ErrorReply readErrorReply(const QString& reply) {
    static const QRegularExpression answer(QStringLiteral("^\\s*([-+]?\\d+)\\s*,"));
    const QRegularExpressionMatch m = answer.match(reply);
    if (!m.hasMatch())
        return ErrorReply::Unreadable;
    bool ok = false;
    const qlonglong number = m.captured(1).toLongLong(&ok);
    if (!ok)
        return ErrorReply::Unreadable;
    return number == 0 ? ErrorReply::NoError : ErrorReply::Error;
}

LegacyStatus decodeStatus(const QString& reply) {
    LegacyStatus status;
    const QString packed = QString(reply).remove(QLatin1Char(' '));
    static const QRegularExpression flags(QStringLiteral("^[01]{8}$"));
    if (!flags.match(packed).hasMatch())
        return status;
    status.readable = true;
    const QString mode = packed.mid(2, 2);
    if (mode == QLatin1String("01"))
        status.coupling = Coupling::Independent;
    else if (mode == QLatin1String("11"))
        status.coupling = Coupling::Tracking;
    else if (mode == QLatin1String("10"))
        status.coupling = Coupling::Parallel;
    const QString out = packed.mid(6, 1);
    if (out == QLatin1String("0"))
        status.output = false;
    else if (out == QLatin1String("1"))
        status.output = true;
    return status;
}

Coupling couplingFromReply(const QString& reply) {
    if (reply == QLatin1String("0"))
        return Coupling::Independent;
    if (reply == QLatin1String("2"))
        return Coupling::Parallel;
    return Coupling::Tracking;
}

} // namespace trq
