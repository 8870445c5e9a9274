#pragma once

#include "session/recordingengine.h"
#include "storage/recordarchive.h"

#include <QObject>

namespace trq {

// Saves a long recording as numbered record parts while it runs: every N
// hours the points since the last part become a record of their own,
// "description (part k)", and the rest when the recording stops. A crash or
// a full disk then costs at most the points since the last part.
class PartSaver : public QObject, public RecordingView {
    Q_OBJECT
public:
    // The parts go where archive keeps records.
    PartSaver(RecordArchive& archive, RecordingEngine& engine, QObject* parent = nullptr);

    void setArchive(RecordArchive& archive) { archive_ = &archive; }
    // 0: no parts.
    void setHours(int hours) { hours_ = std::max(hours, 0); }
    int hours() const { return hours_; }
    // What the parts are called; without one, after the recording's start.
    void setDescription(const QString& description) { description_ = description; }
    int partsSaved() const { return part_; }

    void recordingStarted(const QDateTime& start, const QDateTime& plannedEnd) override;
    void recordingStopped(const QDateTime& lastPoint) override;
    void pointWritten(const SampleRow& row) override;
    void cleared() override {}

signals:
    void partSaved(const QString& recNo, const QString& description);
    void partFailed(const QString& error);

private:
    void savePart(qint64 lastSeqNo, const QString& endTime);

    RecordArchive* archive_;
    RecordingEngine& engine_;
    int hours_ = 0;
    QString description_;
    QString startText_;
    int part_ = 0;
    bool active_ = false;
    qint64 firstSeqNo_ = 0; // of the part being filled
    qint64 lastSeqNo_ = -1; // the last point written
    QString partStart_, lastTime_;
    QDateTime partStartedAt_;
};

} // namespace trq
