#pragma once

#include "session/recordingengine.h"
#include "storage/pointsummary.h"
#include "storage/recordstore.h"

#include <QObject>

#include <algorithm>
#include <optional>
#include <vector>

namespace trq {

// What the graph window draws: per channel its voltage, current, power,
// charge and energy, growing with the recording, and the Start button's
// caption. Points are kept as a summary of bounded size (see PointSummary),
// fed the recording's numbers as they are written, or taken from what the
// store keeps of the working table.
class GraphSeries : public QObject, public RecordingView {
    Q_OBJECT
public:
    static constexpr int kMaxBuckets = PointSummary::kMaxBuckets;
    using Bucket = PointSummary::Bucket;
    using Stats = PointSummary::Stats;

    explicit GraphSeries(int channels, QObject* parent = nullptr);

    int channels() const { return channels_; }
    void setChannels(int channels) { channels_ = std::clamp(channels, 1, 4); }

    void clear();
    // A point just recorded.
    void append(const SampleRow& row);
    // The working table as the store keeps it; no row is read when it
    // knows it already.
    bool reload(RecordStore& store);
    // Shows what the store holds of the working table now: nothing was
    // recorded or loaded but through this series since it was read.
    bool shows(RecordStore& store) const;

    const PointSummary& summary() const { return summary_; }
    qint64 count() const { return summary_.count(); }
    // Samples per bucket: 1, 2, 4, ...
    qint64 stride() const { return summary_.stride(); }
    int bucketCount() const { return summary_.bucketCount(); }
    const Bucket& bucket(PlotQuantity q, int channel, int b) const {
        return summary_.bucket(q, channel, b);
    }
    // The value of a sample while every bucket is one sample.
    std::optional<double> value(PlotQuantity q, int channel, qint64 sample) const {
        return summary_.value(q, channel, sample);
    }
    Stats stats(PlotQuantity q, int channel, qint64 first, qint64 last) const {
        return summary_.stats(q, channel, first, last);
    }
    // The samples that follow a lost link (no readings before them).
    const std::vector<qint64>& gaps() const { return summary_.gaps(); }
    // The sequence number of the first sample: events name samples by it.
    qint64 firstSeqNo() const { return summary_.firstSeqNo(); }
    // The last sample added, as it was recorded.
    const PlotPoint& lastPoint() const { return last_; }

    const QString& startCaption() const { return startCaption_; }

    void recordingStarted(const QDateTime&, const QDateTime&) override;
    void recordingStopped(const QDateTime&) override;
    void pointWritten(const SampleRow& row) override { append(row); }
    void cleared() override {}

signals:
    // Sample index was added to the last bucket (a new one when stride is 1).
    void pointAdded(qint64 index);
    // The buckets were rebuilt or merged: draw them all again.
    void replaced();
    void emptied();
    void startCaptionChanged(const QString& caption);

private:
    int channels_;
    PointSummary summary_;
    PlotPoint last_;
    // The store's version of the working table this series was read from,
    // 0 when it was not.
    quint64 storeVersion_ = 0;
    QString startCaption_ = QStringLiteral("Start");
};

} // namespace trq
