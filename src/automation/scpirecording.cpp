// The recording commands: start and stop, the length, saving as a new
// record, and the working table as CSV. They ask nothing: what the windows
// would ask about is refused with a settings conflict.
#include "automation/scpiinstrument.h"

#include "session/instrumentsession.h"
#include "session/recording.h"
#include "storage/csvexport.h"

namespace trq {

using scpi::Error;

namespace {

constexpr int kLongestSeconds = 7 * 86400; // the record setup's longest length

} // namespace

ScpiInstrument::Result ScpiInstrument::recordStart(const Call& call) {
    Result r;
    if (!call.parameters.isEmpty())
        return fail(Error::ParameterNotAllowed);
    Recording& rec = *session_.recording();
    RecordingEngine& engine = rec.engine();
    if (engine.isRecording())
        return r;
    if (!session_.outputOn())
        return fail(Error::SettingsConflict, QStringLiteral("the output is off"));
    if (rec.record().header().unsaved && session_.store().workingCount().value_or(1) > 0)
        return fail(Error::SettingsConflict,
                    QStringLiteral("the working table holds an unsaved recording"));
    if (!engine.isArmed())
        rec.arm(session_.recordSetup());
    if (!engine.isArmed())
        return fail(Error::SettingsConflict, QStringLiteral("no record length; RECord:LENGth"));
    if (!engine.start())
        return fail(Error::DeviceSpecific, QStringLiteral("the recording could not start"));
    return r;
}

ScpiInstrument::Result ScpiInstrument::recordStop(const Call& call) {
    if (!call.parameters.isEmpty())
        return fail(Error::ParameterNotAllowed);
    if (Recording* rec = session_.recording())
        rec->stop();
    return {};
}

ScpiInstrument::Result ScpiInstrument::recordLength(const Call& call) {
    Recording& rec = *session_.recording();
    if (call.query) {
        if (!call.parameters.isEmpty())
            return fail(Error::ParameterNotAllowed);
        // SCPI's infinity for a recording that runs until stopped.
        return answer(rec.engine().isContinuous()
                          ? QByteArrayLiteral("9.9E37")
                          : QByteArray::number(std::max(rec.engine().remainingTicks(), 0)));
    }
    if (call.parameters.size() != 1)
        return fail(call.parameters.isEmpty() ? Error::MissingParameter
                                              : Error::ParameterNotAllowed);
    const QString word = call.parameters.front().trimmed().toUpper();
    if (word == u"INF" || word == u"CONT" || word == u"CONTINUOUS") {
        if (rec.engine().isRecording())
            return fail(Error::SettingsConflict, QStringLiteral("a recording is running"));
        const RecordSetup& setup = session_.recordSetup();
        rec.engine().arm(RecordingEngine::kContinuous, setup.scale, setup.operation);
        return {};
    }
    const std::optional<double> seconds = scpi::number(call.parameters.front());
    if (!seconds || *seconds != std::floor(*seconds))
        return fail(Error::DataType);
    if (*seconds < 1 || *seconds > kLongestSeconds)
        return fail(Error::DataOutOfRange);
    if (rec.engine().isRecording())
        return fail(Error::SettingsConflict, QStringLiteral("a recording is running"));
    const RecordSetup& setup = session_.recordSetup();
    rec.engine().arm(int(*seconds), setup.scale, setup.operation);
    return {};
}

ScpiInstrument::Result ScpiInstrument::recordSave(const Call& call) {
    if (call.parameters.size() != 1)
        return fail(call.parameters.isEmpty() ? Error::MissingParameter
                                              : Error::ParameterNotAllowed);
    Recording* rec = session_.recording();
    if (!rec)
        return fail(Error::HardwareMissing);
    if (rec->engine().isRecording())
        return fail(Error::SettingsConflict, QStringLiteral("a recording is running"));
    QString error;
    if (!rec->record().saveAsNew(call.parameters.front(), 0, &error))
        return fail(Error::DeviceSpecific, error);
    return {};
}

ScpiInstrument::Result ScpiInstrument::recordData(const Call& call) {
    if (!call.parameters.isEmpty())
        return fail(Error::ParameterNotAllowed);
    Recording* rec = session_.recording();
    const int channels = rec ? rec->channels() : 4;
    return answer(scpi::block(exportCsv(channels, session_.store().workingRows())));
}

} // namespace trq
