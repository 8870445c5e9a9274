#include "automation/scpiinstrument.h"

#include "core/clock.h"
#include "core/debugtrace.h"
#include "session/instrumentsession.h"
#include "session/recording.h"
#include "session/sessionsequence.h"
#include "storage/csvexport.h"

#include <cmath>

namespace trq {

using scpi::Error;

namespace {

// SCPI's "not a number": a reading that has not come yet.
const QByteArray kNotANumber = "9.91E+37";

QByteArray numberText(double v) {
    return QByteArray::number(v, 'g', 12);
}

// Parameter counts a command takes.
Error checkCount(const QStringList& parameters, qsizetype least, qsizetype most) {
    if (parameters.size() < least)
        return Error::MissingParameter;
    if (parameters.size() > most)
        return Error::ParameterNotAllowed;
    return Error::None;
}

} // namespace

ErrorTrace::ErrorTrace(const Clock& clock, QObject* parent) : QObject(parent), clock_(clock) {
    timer_.setInterval(250);
    connect(&timer_, &QTimer::timeout, this, [this] { flush(false); });
}

ErrorTrace::~ErrorTrace() {
    flush(true);
}

void ErrorTrace::note(const QString& line) {
    const double now = clock_.nowSec();
    const auto it = seen_.find(line);
    if (it != seen_.end() && (now - it->since < 1.0 || it->repeats > 0)) {
        ++it->repeats; // traced with its count once its second is over
        return;
    }
    trace(line);
    // Beyond 64 different lines at once, new ones are traced each time.
    if (seen_.size() < 64 || it != seen_.end())
        seen_.insert(line, {now, 0});
    if (!timer_.isActive())
        timer_.start();
}

void ErrorTrace::flush(bool all) {
    const double now = clock_.nowSec();
    for (auto it = seen_.begin(); it != seen_.end();) {
        if (!all && now - it->since < 1.0) {
            ++it;
            continue;
        }
        if (it->repeats > 0)
            trace(QStringLiteral("%1 (%2 more times)").arg(it.key()).arg(it->repeats));
        if (it->repeats > 0 && !all) {
            *it = {now, 0};
            ++it;
        } else {
            it = seen_.erase(it);
        }
    }
    if (seen_.isEmpty())
        timer_.stop();
}

ScpiInstrument::ScpiInstrument(InstrumentSession& session, ErrorTrace* errorTrace)
    : session_(session), errorTrace_(errorTrace) {}

const std::vector<ScpiInstrument::Command>& ScpiInstrument::commands() {
    using S = ScpiInstrument;
    using N = Needs;
    auto fixed = [](const char* reply) {
        return [reply](S&, const Call&) { return answer(QByteArray(reply)); };
    };
    static const std::vector<Command> table{
        {scpi::Pattern("*IDN"), true, false, N::Nothing, &S::identify},
        {scpi::Pattern("*RST"), false, true, N::Nothing,
         [](S&, const Call&) {
             return fail(Error::Command, QStringLiteral("*RST not supported"));
         }},
        {scpi::Pattern("*CLS"), false, true, N::Nothing,
         [](S& s, const Call&) {
             s.errors_.clear();
             return Result{};
         }},
        {scpi::Pattern("*OPC"), true, true, N::Nothing,
         [](S&, const Call& c) {
             Result r = answer(c.query ? "1" : "");
             r.afterLinkQuiet = true;
             return r;
         }},
        {scpi::Pattern("*WAI"), false, true, N::Nothing, [](S&, const Call&) { return Result{}; }},
        {scpi::Pattern("SYSTem:ERRor[:NEXT]"), true, false, N::Nothing,
         [](S& s, const Call&) { return answer(s.popError().toLatin1()); }},
        {scpi::Pattern("SYSTem:VERSion"), true, false, N::Nothing, fixed("1999.0")},
        // The bench's supplies and the ports they are served on.
        {scpi::Pattern("SYSTem:BENCh"), true, false, N::Nothing,
         [](S& s, const Call&) {
             return answer(s.benchAnswer_ ? s.benchAnswer_() : QByteArray());
         }},
        {scpi::Pattern("[SOURce:]VOLTage#[:LEVel][:IMMediate][:AMPLitude]"), true, true, N::Supply,
         [](S& s, const Call& c) { return s.setting(c, int(Setting::Voltage)); }},
        {scpi::Pattern("[SOURce:]CURRent#[:LEVel][:IMMediate][:AMPLitude]"), true, true, N::Supply,
         [](S& s, const Call& c) { return s.setting(c, int(Setting::Current)); }},
        {scpi::Pattern("[SOURce:]VOLTage#:PROTection[:LEVel]"), true, true, N::Protection,
         [](S& s, const Call& c) { return s.setting(c, int(Setting::OverVoltage)); }},
        {scpi::Pattern("[SOURce:]CURRent#:PROTection:STATe"), true, true, N::Protection,
         &S::overCurrent},
        {scpi::Pattern("OUTPut[:STATe]"), true, true, N::Supply, &S::output},
        {scpi::Pattern("BENCh:OUTPut[:STATe]"), true, true, N::Nothing, &S::benchOutput},
        {scpi::Pattern("OUTPut:COUPling"), true, true, N::Supply, &S::coupling},
        {scpi::Pattern("OUTPut:PROTection:CLEar"), false, true, N::ClearProtection,
         [](S& s, const Call&) {
             s.session_.control().clearProtection();
             return Result{};
         }},
        {scpi::Pattern("MEASure[:SCALar]:VOLTage#[:DC]"), true, false, N::Supply,
         [](S& s, const Call& c) { return s.measure(c, 0); }},
        {scpi::Pattern("MEASure[:SCALar]:CURRent#[:DC]"), true, false, N::Supply,
         [](S& s, const Call& c) { return s.measure(c, 1); }},
        {scpi::Pattern("MEASure[:SCALar]:POWer#[:DC]"), true, false, N::Supply,
         [](S& s, const Call& c) { return s.measure(c, 2); }},
        {scpi::Pattern("MEASure:ALL"), true, false, N::Supply, &S::measureAll},
        {scpi::Pattern("MEASure:AGE#"), true, false, N::Supply, &S::measureAge},
        // Readings per second and the wire's limit for them, as the status
        // bar shows them (no limit known: not a number).
        {scpi::Pattern("MEASure:RATE"), true, false, N::Supply,
         [](S& s, const Call&) {
             const PollRate rate = s.session_.poll().rate();
             return answer(
                 QByteArray::number(rate.readingsPerSec, 'f', 1) + ',' +
                 (rate.wireLimit > 0 ? QByteArray::number(rate.wireLimit, 'f', 1) : kNotANumber));
         }},
        {scpi::Pattern("MEMory:SAVe"), false, true, N::AutoRun,
         [](S& s, const Call& c) { return s.memory(c, true); }},
        {scpi::Pattern("*SAV"), false, true, N::AutoRun,
         [](S& s, const Call& c) { return s.memory(c, true); }},
        {scpi::Pattern("MEMory:RCL"), false, true, N::AutoRun,
         [](S& s, const Call& c) { return s.memory(c, false); }},
        {scpi::Pattern("*RCL"), false, true, N::AutoRun,
         [](S& s, const Call& c) { return s.memory(c, false); }},
        {scpi::Pattern("SYSTem:AUTO[:STATe]"), true, true, N::AutoRun, &S::autoRun},
        {scpi::Pattern("RECord:STARt"), false, true, N::Supply, &S::recordStart},
        {scpi::Pattern("RECord:STOP"), false, true, N::Nothing, &S::recordStop},
        {scpi::Pattern("RECord:STATe"), true, false, N::Nothing,
         [](S& s, const Call&) {
             Recording* r = s.session_.recording();
             return answer(r && r->engine().isRecording() ? "1" : "0");
         }},
        {scpi::Pattern("RECord:SAVE"), false, true, N::Nothing, &S::recordSave},
        {scpi::Pattern("RECord:NUMBer"), true, false, N::Nothing,
         [](S& s, const Call&) {
             Recording* r = s.session_.recording();
             // A number, as a query of one answers: 0 while the working
             // table is no saved record.
             const QString number = r ? r->record().header().recNo : QString();
             return answer(number.isEmpty() ? QByteArray("0") : number.toLatin1());
         }},
        {scpi::Pattern("RECord:LENGth"), true, true, N::Supply, &S::recordLength},
        {scpi::Pattern("RECord:DATA"), true, false, N::Nothing, &S::recordData},
        {scpi::Pattern("SEQuence:LOAD"), false, true, N::Nothing,
         [](S& s, const Call& c) { return s.sequenceLoad(c, false); }},
        {scpi::Pattern("SEQuence:LOAD:FILE"), false, true, N::Nothing,
         [](S& s, const Call& c) { return s.sequenceLoad(c, true); }},
        {scpi::Pattern("SEQuence:RUN"), false, true, N::Supply, &S::sequenceRun},
        {scpi::Pattern("SEQuence:PAUSe"), false, true, N::Nothing,
         [](S& s, const Call&) {
             SequenceRunner& r = s.session_.sequence().runner();
             if (r.state() != SequenceRunner::State::Running)
                 return fail(Error::SettingsConflict, QStringLiteral("no sequence runs"));
             r.pause();
             return Result{};
         }},
        {scpi::Pattern("SEQuence:STOP"), false, true, N::Nothing,
         [](S& s, const Call&) {
             if (!s.session_.sequence().running())
                 return fail(Error::SettingsConflict, QStringLiteral("no sequence runs"));
             s.session_.sequence().runner().stop(QStringLiteral("Stopped by a script."));
             return Result{};
         }},
        {scpi::Pattern("SEQuence:STATe"), true, false, N::Nothing, &S::sequenceState},
    };
    return table;
}

std::vector<ScpiInstrument::Output> ScpiInstrument::execute(const QByteArray& line) {
    std::vector<Output> out;
    const scpi::Line parsed = scpi::parseLine(line);
    if (parsed.error != Error::None) {
        pushError(parsed.error);
        return out;
    }
    for (const scpi::Unit& unit : parsed.units) {
        Result r = runUnit(unit);
        if (r.error != Error::None) {
            pushError(r.error, r.detail);
            // A query that failed answers nothing; the rest of the line is
            // still carried out, as in any SCPI instrument.
            continue;
        }
        if (unit.query)
            out.push_back({r.reply, r.afterLinkQuiet, std::move(r.stream)});
    }
    return out;
}

ScpiInstrument::Result ScpiInstrument::runUnit(const scpi::Unit& unit) {
    for (const Command& c : commands()) {
        const std::optional<int> channel = c.pattern.match(unit.header);
        if (!channel)
            continue;
        if ((unit.query && !c.query) || (!unit.query && !c.set))
            return fail(Error::UndefinedHeader);
        if (*channel == scpi::Pattern::kBadChannel)
            return fail(Error::HeaderSuffixOutOfRange);
        if (const std::optional<Error> missing = unavailable(c.needs))
            return fail(*missing);
        return c.run(*this, {*channel, unit.query, unit.parameters});
    }
    return fail(Error::UndefinedHeader);
}

std::optional<Error> ScpiInstrument::unavailable(Needs needs) const {
    if (needs == Needs::Nothing)
        return std::nullopt;
    const LayoutProfile* p = session_.profile();
    if (!session_.isReady() || !p)
        return Error::HardwareMissing;
    const bool has = needs == Needs::Supply || (needs == Needs::Protection && p->protection) ||
                     (needs == Needs::ClearProtection && p->clearProtection) ||
                     (needs == Needs::AutoRun && p->autoRunAndMemories);
    return has ? std::nullopt : std::optional<Error>(Error::UndefinedHeader);
}

bool ScpiInstrument::linkFull() const {
    return session_.link().pendingCommands() >= kCommandLimit;
}

void ScpiInstrument::pushError(Error error, const QString& detail) {
    const QString line = QStringLiteral("SCPI error ") + scpi::errorText(error, detail);
    if (errorTrace_)
        errorTrace_->note(line);
    else
        trace(line);
    if (errors_.size() >= kErrorQueueSize) {
        errors_.back() = scpi::errorText(Error::QueueOverflow);
        return;
    }
    errors_.push_back(scpi::errorText(error, detail));
}

QString ScpiInstrument::popError() {
    if (errors_.empty())
        return scpi::errorText(Error::None);
    const QString e = errors_.front();
    errors_.pop_front();
    return e;
}

std::optional<int> ScpiInstrument::channelOf(const Call& call, Result* result,
                                             bool fromParameter) const {
    int channel = call.channel;
    if (fromParameter && !call.parameters.isEmpty()) {
        const std::optional<double> n = scpi::number(call.parameters.front());
        if (!n || *n != std::floor(*n)) {
            result->error = Error::DataType;
            return std::nullopt;
        }
        // Checked as a number first: a huge one must not wrap into range.
        if (*n < 1 || *n > session_.supply().channelCount()) {
            result->error = Error::DataOutOfRange;
            return std::nullopt;
        }
        if (channel != 0 && channel != int(*n)) {
            result->error = Error::SettingsConflict;
            result->detail = QStringLiteral("two channels named");
            return std::nullopt;
        }
        channel = int(*n);
    }
    if (channel == 0)
        channel = 1;
    if (channel < 1 || channel > session_.supply().channelCount()) {
        result->error = fromParameter ? Error::DataOutOfRange : Error::HeaderSuffixOutOfRange;
        return std::nullopt;
    }
    return channel;
}

ScpiInstrument::Result ScpiInstrument::identify(const Call&) {
    const bool ready = session_.isReady();
    const QString model = ready ? session_.connection().model() : QStringLiteral("NONE");
    // The serial number tells two supplies of one model apart. A field holds
    // printable characters only, and no comma or semicolon; "0" is the usual
    // answer where none is known.
    QString serial;
    for (const QChar c : ready ? session_.connection().serialNumber() : QString())
        if (c.unicode() > 0x20 && c.unicode() < 0x7f && c != u',' && c != u';')
            serial += c;
    if (serial.isEmpty())
        serial = QStringLiteral("0");
    // Scripts pick the program out by these fields; their order stays.
    return answer(QStringLiteral("POWER_TRQ,%1,%2,%3")
                      .arg(model, serial, QString::fromLatin1(DebugTrace::kVersion))
                      .toLatin1());
}

ScpiInstrument::Result ScpiInstrument::setting(const Call& call, int which) {
    Result r;
    const std::optional<int> channel = channelOf(call, &r, false);
    if (!channel)
        return r;
    const ChannelState& c = session_.supply().channel(*channel - 1);
    if (call.query) {
        r.error = checkCount(call.parameters, 0, 0);
        r.reply = numberText(c.settings[std::size_t(which)]);
        return r;
    }
    if ((r.error = checkCount(call.parameters, 1, 1)) != Error::None)
        return r;
    const std::optional<double> v = scpi::number(call.parameters.front());
    if (!v) {
        r.error = Error::DataType;
        return r;
    }
    if (*v < 0 || *v > c.limits[std::size_t(which)].maximum) {
        r.error = Error::DataOutOfRange;
        return r;
    }
    if (linkFull()) {
        r.error = Error::QueueOverflow;
        return r;
    }
    if (!session_.control().setSetting(*channel - 1, Setting(which), *v)) {
        r.error = Error::SettingsConflict;
        r.detail = QStringLiteral("no reading from the supply yet");
    }
    return r;
}

ScpiInstrument::Result ScpiInstrument::overCurrent(const Call& call) {
    Result r;
    const std::optional<int> channel = channelOf(call, &r, false);
    if (!channel)
        return r;
    if (call.query) {
        r.error = checkCount(call.parameters, 0, 0);
        r.reply = session_.supply().channel(*channel - 1).overCurrentProtection ? "1" : "0";
        return r;
    }
    if ((r.error = checkCount(call.parameters, 1, 1)) != Error::None)
        return r;
    const std::optional<bool> on = scpi::boolean(call.parameters.front());
    if (!on)
        r.error = Error::DataType;
    else if (linkFull())
        r.error = Error::QueueOverflow;
    else
        session_.control().setOverCurrentProtection(*channel - 1, *on);
    return r;
}

ScpiInstrument::Result ScpiInstrument::onOff(const Call& call, bool now,
                                             const std::function<void(bool)>& set) {
    Result r;
    if (call.query) {
        r.error = checkCount(call.parameters, 0, 0);
        r.reply = now ? "1" : "0";
        return r;
    }
    if ((r.error = checkCount(call.parameters, 1, 1)) != Error::None)
        return r;
    const std::optional<bool> on = scpi::boolean(call.parameters.front());
    if (!on)
        r.error = Error::DataType;
    else if (linkFull())
        r.error = Error::QueueOverflow;
    else
        set(*on);
    return r;
}

ScpiInstrument::Result ScpiInstrument::output(const Call& call) {
    return onOff(call, session_.supply().outputOn(),
                 [this](bool on) { session_.control().switchOutput(on); });
}

ScpiInstrument::Result ScpiInstrument::benchOutput(const Call& call) {
    if (!benchPower_.run)
        return fail(Error::UndefinedHeader, QStringLiteral("no bench is served"));
    QString refused;
    Result r = onOff(call, benchPower_.allOn(),
                     [this, &refused](bool on) { refused = benchPower_.run(on); });
    if (r.error == Error::None && !refused.isEmpty())
        return fail(Error::SettingsConflict, refused);
    return r;
}

ScpiInstrument::Result ScpiInstrument::coupling(const Call& call) {
    static const std::pair<scpi::Pattern, Coupling> kWords[] = {
        {scpi::Pattern("INDEPendent"), Coupling::Independent},
        {scpi::Pattern("PARallel"), Coupling::Parallel},
        {scpi::Pattern("TRACk"), Coupling::Tracking},
        {scpi::Pattern("SERies"), Coupling::Tracking},
    };
    Result r;
    if (call.query) {
        r.error = checkCount(call.parameters, 0, 0);
        r.reply = couplingWord(session_.supply().coupling());
        return r;
    }
    if ((r.error = checkCount(call.parameters, 1, 1)) != Error::None)
        return r;
    for (const auto& [word, mode] : kWords) {
        if (!word.match(call.parameters.front()))
            continue;
        if (linkFull()) {
            r.error = Error::QueueOverflow;
        } else {
            session_.control().chooseCoupling(mode, false);
            if (session_.supply().coupling() != mode &&
                !session_.control().locks().couplingChoice) {
                r.error = Error::SettingsConflict;
                r.detail = QStringLiteral("the supply's configuration is fixed");
            }
        }
        return r;
    }
    r.error = Error::DataType;
    return r;
}

ScpiInstrument::Result ScpiInstrument::measure(const Call& call, int quantity) {
    Result r;
    if ((r.error = checkCount(call.parameters, 0, 1)) != Error::None)
        return r;
    const std::optional<int> channel = channelOf(call, &r, true);
    if (!channel)
        return r;
    // With the output off the panel shows nothing: the reading is 0.
    if (!session_.supply().outputOn()) {
        r.reply = "0";
        return r;
    }
    const ChannelState& c = session_.supply().channel(*channel - 1);
    // Only readings of the present state: none from before the output or
    // the coupling changed, and never half of one.
    if (!c.measured()) {
        r.reply = kNotANumber;
        return r;
    }
    const std::optional<double> value = quantity == 0   ? c.voltage.value()
                                        : quantity == 1 ? c.current.value()
                                                        : power(c.voltage, c.current);
    r.reply = value ? numberText(*value) : kNotANumber;
    return r;
}

ScpiInstrument::Result ScpiInstrument::measureAll(const Call& call) {
    Result r;
    if ((r.error = checkCount(call.parameters, 0, 0)) != Error::None)
        return r;
    QByteArrayList values;
    for (int n = 1; n <= session_.supply().channelCount(); ++n)
        for (int quantity : {0, 1})
            values << measure({n, true, {}}, quantity).reply;
    r.reply = values.join(',');
    return r;
}

ScpiInstrument::Result ScpiInstrument::measureAge(const Call& call) {
    Result r;
    if ((r.error = checkCount(call.parameters, 0, 1)) != Error::None)
        return r;
    int first = 1, last = session_.supply().channelCount();
    if (call.channel != 0 || !call.parameters.isEmpty()) {
        const std::optional<int> channel = channelOf(call, &r, true);
        if (!channel)
            return r;
        first = last = *channel;
    }
    // The age of the oldest value the readings are made of.
    const qint64 now = qint64(session_.link().clock().nowSec() * 1000.0);
    qint64 oldest = now;
    for (int n = first; n <= last; ++n) {
        const ChannelState& c = session_.supply().channel(n - 1);
        if (c.voltageAtMsec < 0 || c.currentAtMsec < 0) {
            r.reply = kNotANumber;
            return r;
        }
        oldest = std::min({oldest, c.voltageAtMsec, c.currentAtMsec});
    }
    r.reply = QByteArray::number(now - oldest);
    return r;
}

ScpiInstrument::Result ScpiInstrument::memory(const Call& call, bool save) {
    Result r;
    if ((r.error = checkCount(call.parameters, 1, 1)) != Error::None)
        return r;
    const std::optional<double> n = scpi::number(call.parameters.front());
    if (!n || *n != std::floor(*n))
        r.error = Error::DataType;
    else if (*n < 1 || *n > 4) // the memories the dialogs offer
        r.error = Error::DataOutOfRange;
    else if (linkFull())
        r.error = Error::QueueOverflow;
    else if (save)
        session_.memories().saveMemory(int(*n));
    else
        session_.memories().recallMemory(int(*n));
    return r;
}

ScpiInstrument::Result ScpiInstrument::autoRun(const Call& call) {
    return onOff(call, session_.supply().autoRun(),
                 [this](bool on) { session_.control().setAutoRun(on); });
}

} // namespace trq
