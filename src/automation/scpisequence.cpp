// The sequence commands: a sequence loaded from the script's text or a
// file, run, paused, stopped, and its state. A refused sequence is a
// data-out-of-range error that names the line or step and the reason.
#include "automation/scpiinstrument.h"

#include "session/instrumentsession.h"
#include "session/sessionsequence.h"

#include <QFile>

namespace trq {

using scpi::Error;

ScpiInstrument::Result ScpiInstrument::sequenceLoad(const Call& call, bool file) {
    if (call.parameters.size() != 1)
        return fail(call.parameters.isEmpty() ? Error::MissingParameter
                                              : Error::ParameterNotAllowed);
    QByteArray text = call.parameters.front().toUtf8();
    if (file) {
        QFile f(call.parameters.front());
        if (!f.open(QIODevice::ReadOnly))
            return fail(Error::DeviceSpecific, f.errorString());
        text = f.readAll();
    } else {
        // One line carries the file: its rows apart by "\n".
        text.replace("\\n", "\n");
    }
    std::variant<Sequence, QString> sequence = Sequence::fromCsv(text);
    if (const QString* why = std::get_if<QString>(&sequence))
        return fail(Error::DataOutOfRange, *why);
    if (std::optional<QString> why = session_.sequence().load(std::get<Sequence>(sequence)))
        return fail(session_.sequence().running() ? Error::SettingsConflict : Error::DataOutOfRange,
                    *why);
    return {};
}

ScpiInstrument::Result ScpiInstrument::sequenceRun(const Call&) {
    SessionSequence& s = session_.sequence();
    if (s.runner().state() == SequenceRunner::State::Paused) {
        s.runner().resume();
        return {};
    }
    if (s.running() || !s.loaded())
        return fail(Error::SettingsConflict, s.running() ? QStringLiteral("a sequence runs")
                                                         : QStringLiteral("none loaded"));
    if (std::optional<QString> why = s.run())
        return fail(Error::DataOutOfRange, *why);
    return {};
}

ScpiInstrument::Result ScpiInstrument::sequenceState(const Call&) {
    static const char* const kStates[] = {"IDLE", "RUNNING", "PAUSED", "DONE", "STOPPED"};
    const SequenceRunner& r = session_.sequence().runner();
    return answer(QByteArray(kStates[int(r.state())]) + ',' + QByteArray::number(r.step() + 1));
}

} // namespace trq
