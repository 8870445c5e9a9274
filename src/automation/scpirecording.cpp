// The recording commands: start and stop, the length, saving as a new
// record, and the working table as CSV. They ask nothing: what the windows
// would ask about is refused with a settings conflict.
#include "automation/scpiinstrument.h"

#include "session/instrumentsession.h"
#include "session/recording.h"
#include "storage/csvexport.h"

#include <cmath>
#include <limits>

namespace trq {

using scpi::Error;

namespace {

constexpr int kLongestSeconds = 7 * 86400; // the record setup's longest length

// The working table's points from a sample number on as CSV in one
// definite-length block. The length is counted in a first pass over the
// rows, the bytes made in a second, each a page at a time: a week of
// points never sits in memory and never holds up the event loop. Points
// recorded meanwhile are not part of it.
class WorkingTableAnswer final : public LongAnswer {
public:
    WorkingTableAnswer(RecordStore& store, int channels, qint64 first, qint64 count)
        : store_(store), channels_(channels), next_(first), first_(first), count_(count) {}

    Step next(QByteArray* out, qint64 room, const QDeadlineTimer& deadline) override {
        if (!counted_ && !count(deadline))
            return error_ == Error::None ? Step::More : Step::Failed;
        for (;;) {
            const qint64 take = std::min(room - out->size(), qint64(made_.size()));
            out->append(made_.constData(), take);
            made_.remove(0, take);
            if (!made_.isEmpty() || out->size() >= room)
                return Step::More;
            if (finished_)
                return Step::Done;
            if (deadline.hasExpired())
                return Step::More;
            make();
        }
    }

private:
    static constexpr int kPage = 256;

    // Counts the bytes of the rows asked for; false until all are counted.
    bool count(const QDeadlineTimer& deadline) {
        while (!deadline.hasExpired()) {
            const qint64 left = count_ - rows_;
            int seen = 0;
            const bool read = store_.forEachWorkingRow(
                next_, int(std::min<qint64>(kPage, left)), [&](const SampleRow& row) {
                    length_ += csvLine(channels_, row).size();
                    last_ = row.seqNo;
                    ++seen;
                });
            if (!read) {
                error_ = Error::DeviceSpecific;
                errorDetail_ = store_.lastError();
                return false;
            }
            rows_ += seen;
            next_ = last_ + 1;
            if (seen < kPage || rows_ == count_) {
                counted_ = true;
                const QByteArray head = csvHeader(channels_);
                length_ += head.size();
                const QByteArray digits = QByteArray::number(length_);
                made_ = '#' + QByteArray::number(digits.size()) + digits + head;
                sent_ = head.size();
                next_ = first_;
                count_ = rows_;
                rows_ = 0;
                return true;
            }
        }
        return false;
    }

    // The next page of lines; at the end the block's line end. A table
    // replaced meanwhile still gives the length promised (cut or padded),
    // and says so in the error queue.
    void make() {
        const qint64 left = count_ - rows_;
        int seen = 0;
        bool read = true;
        if (left > 0 && next_ <= last_)
            read = store_.forEachWorkingRow(next_, int(std::min<qint64>(kPage, left)),
                                            [&](const SampleRow& row) {
                                                if (row.seqNo > last_ || sent_ == length_)
                                                    return;
                                                QByteArray line = csvLine(channels_, row);
                                                line.truncate(length_ - sent_);
                                                sent_ += line.size();
                                                made_ += line;
                                                next_ = row.seqNo + 1;
                                                ++seen;
                                            });
        rows_ += seen;
        if (seen > 0 && sent_ < length_)
            return;
        if (!read || sent_ != length_ || next_ <= last_) {
            error_ = Error::DeviceSpecific;
            errorDetail_ = read ? QStringLiteral("the working table changed while it was sent")
                                : store_.lastError();
            made_ += QByteArray(length_ - sent_, ' ');
            sent_ = length_;
        }
        made_ += '\n';
        finished_ = true;
    }

    RecordStore& store_;
    const int channels_;
    qint64 next_;        // the sample number read next
    const qint64 first_; // the first asked for
    qint64 count_;       // the most asked for; then the rows found
    qint64 rows_ = 0;    // rows counted or made
    qint64 last_ = -1;   // the last sample number of the block
    qint64 length_ = 0;  // the CSV's bytes
    qint64 sent_ = 0;    // of them made
    QByteArray made_;    // made, not yet handed out
    bool counted_ = false;
    bool finished_ = false;
};

// A whole number of at least 0 and at most the largest sample number.
std::optional<qint64> wholeNumber(const QString& text, Error* error) {
    const std::optional<double> n = scpi::number(text);
    if (!n || *n != std::floor(*n)) {
        *error = Error::DataType;
        return std::nullopt;
    }
    if (*n < 0) {
        *error = Error::DataOutOfRange;
        return std::nullopt;
    }
    return *n >= 9e15 ? qint64(9e15) : qint64(*n);
}

} // namespace

ScpiInstrument::Result ScpiInstrument::recordStart(const Call& call) {
    Result r;
    if (!call.parameters.isEmpty())
        return fail(Error::ParameterNotAllowed);
    Recording& rec = *session_.recording();
    RecordingEngine& engine = rec.engine();
    if (engine.isRecording())
        return r;
    if (!session_.supply().outputOn())
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
    // "REC:DATA? <first>,<count>": count points from sample number first.
    if (call.parameters.size() > 2)
        return fail(Error::ParameterNotAllowed);
    qint64 range[2] = {0, std::numeric_limits<qint64>::max()};
    Error error = Error::None;
    for (qsizetype i = 0; i < call.parameters.size(); ++i) {
        const std::optional<qint64> n = wholeNumber(call.parameters.at(i), &error);
        if (!n)
            return fail(error);
        range[i] = *n;
    }
    Recording* rec = session_.recording();
    const int channels = rec ? rec->channels() : 4;
    Result r;
    r.stream = std::make_unique<WorkingTableAnswer>(session_.store(), channels, range[0], range[1]);
    return r;
}

} // namespace trq
