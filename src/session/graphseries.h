#pragma once

#include "session/recordingengine.h"
#include "storage/recordstore.h"

#include <QObject>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace trq {

// What a plot of a channel shows.
enum class PlotQuantity { Voltage, Current, Power, Charge, Energy };
constexpr int kPlotQuantities = 5;

// What the graph window draws: per channel its voltage, current, power,
// charge and energy, growing with the recording, and the Start button's
// caption. Samples are kept as summaries of bounded size: while there are
// few, one bucket per sample; beyond kMaxBuckets neighbouring buckets are
// merged (their lowest, highest and sum kept), so weeks of one-second
// points cost no more memory than an hour.
class GraphSeries : public QObject, public RecordingView {
    Q_OBJECT
public:
    static constexpr int kMaxBuckets = 16384;

    struct Bucket {
        double min = 0, max = 0, sum = 0;
    };
    // Over a range of samples. Exact while a bucket is one sample; otherwise
    // the buckets the range touches, edges included.
    struct Stats {
        qint64 count = 0;
        double min = 0, max = 0, mean = 0, sum = 0;
        bool exact = true;
    };

    explicit GraphSeries(int channels, QObject* parent = nullptr);

    int channels() const { return channels_; }
    void setChannels(int channels) { channels_ = std::clamp(channels, 1, 4); }

    void clear();
    // A point just recorded.
    void append(const SampleRow& row);
    // The working table read again from the store, point by point.
    bool reload(RecordStore& store);

    qint64 count() const { return count_; }
    // Samples per bucket: 1, 2, 4, ...
    qint64 stride() const { return stride_; }
    int bucketCount() const { return int(buckets_[0].size()); }
    const Bucket& bucket(PlotQuantity q, int channel, int b) const {
        return buckets_[index(q, channel)][std::size_t(b)];
    }
    // The value of a sample while every bucket is one sample.
    std::optional<double> value(PlotQuantity q, int channel, qint64 sample) const;
    Stats stats(PlotQuantity q, int channel, qint64 first, qint64 last) const;
    // The samples that follow a lost link (no readings before them).
    const std::vector<qint64>& gaps() const { return gaps_; }
    // The sequence number of the first sample: events name samples by it.
    qint64 firstSeqNo() const { return firstSeqNo_; }

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
    static std::size_t index(PlotQuantity q, int channel) {
        return std::size_t(int(q) * 4 + std::clamp(channel, 0, 3));
    }
    // Adds a point; true when the buckets were merged on the way.
    bool add(const PlotPoint& p);
    void mergePairs();

    int channels_;
    qint64 count_ = 0;
    qint64 stride_ = 1;
    qint64 firstSeqNo_ = 0;
    std::array<std::vector<Bucket>, 4 * kPlotQuantities> buckets_;
    std::vector<qint64> gaps_;
    QString startCaption_ = QStringLiteral("Start");
};

} // namespace trq
