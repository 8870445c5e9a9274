#include "session/partsaver.h"

#include "core/debugtrace.h"

namespace trq {

PartSaver::PartSaver(RecordArchive& archive, RecordingEngine& engine, QObject* parent)
    : QObject(parent), archive_(&archive), engine_(engine) {}

void PartSaver::recordingStarted(const QDateTime& start, const QDateTime&) {
    active_ = hours_ > 0;
    part_ = 0;
    firstSeqNo_ = 0;
    lastSeqNo_ = -1;
    startText_ = RecordingEngine::timeText(start);
    partStart_.clear();
    partStartedAt_ = start;
}

void PartSaver::pointWritten(const SampleRow& row) {
    if (!active_)
        return;
    if (lastSeqNo_ < firstSeqNo_)
        partStart_ = row.recTime;
    lastSeqNo_ = row.seqNo;
    lastTime_ = row.recTime;
    // Measured on the recording's own clock, so a paused link or a slow
    // disk does not move the parts' boundaries.
    if (partStartedAt_.secsTo(engine_.now()) >= qint64(hours_) * 3600) {
        savePart(row.seqNo, row.recTime);
        partStartedAt_ = engine_.now();
    }
}

void PartSaver::recordingStopped(const QDateTime&) {
    // Once parts were made, the rest is one too: together they hold it all.
    if (active_ && part_ > 0 && lastSeqNo_ >= firstSeqNo_)
        savePart(lastSeqNo_, lastTime_);
    active_ = false;
}

void PartSaver::savePart(qint64 lastSeqNo, const QString& endTime) {
    const QString base =
        description_.isEmpty() ? tr("Recording of %1").arg(startText_) : description_;
    const QString description = tr("%1 (part %2)").arg(base, QString::number(part_ + 1));
    const std::optional<QString> number = archive_->nextRecordNumber();
    const RecordHeader header{
        number.value_or(QString()),       partStart_,         endTime, description,
        QString::number(engine_.scale()), QStringLiteral("0")};
    if (!number || !archive_->saveNew(header, 1, {firstSeqNo_, lastSeqNo})) {
        // The points stay in the working table: the next part tries again
        // with them.
        const QString error = archive_->lastError();
        trace(QStringLiteral("Part %1 not saved: %2").arg(part_ + 1).arg(error));
        emit partFailed(error);
        return;
    }
    ++part_;
    firstSeqNo_ = lastSeqNo + 1;
    trace(QStringLiteral("Saved %1 as record %2").arg(description, *number));
    emit partSaved(*number, description);
}

} // namespace trq
