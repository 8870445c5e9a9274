#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace trq {

// What a plot of a channel shows.
enum class PlotQuantity { Voltage, Current, Power, Charge, Energy };
constexpr int kPlotQuantities = 5;

// A recorded point's values as numbers: each the leading number of its text,
// 0 where there is none.
struct PointValues {
    std::array<double, 4> volt{}, curr{}, charge{}, energy{};
};

// A recorded point as numbers, as the graph draws it.
struct PlotPoint : PointValues {
    qint64 seqNo = 0;
    qint64 time = 0; // seconds from its recording's start
    bool gap = false;
};

// A channel's highest and lowest readings; only readings that are numbers
// take part (an empty or worded one is no extreme).
struct ChannelExtremes {
    std::optional<double> maxVolt, minVolt, maxCurr, minCurr;
    bool operator==(const ChannelExtremes&) const = default;
};

// A run of points in bounded space: per channel and quantity the lowest,
// highest and sum of buckets of neighbouring points, the points that follow
// a gap, and each channel's extremes. While there are few, one bucket per
// point; beyond kMaxBuckets neighbouring buckets are merged, so weeks of
// one-second points cost no more than an hour.
class PointSummary {
public:
    static constexpr int kMaxBuckets = 16384;

    struct Bucket {
        double min = 0, max = 0, sum = 0;
        bool operator==(const Bucket&) const = default;
    };
    // Over a range of points. Exact while a bucket is one point; otherwise
    // the buckets the range touches, edges included.
    struct Stats {
        qint64 count = 0;
        double min = 0, max = 0, mean = 0, sum = 0;
        bool exact = true;
    };

    static double valueOf(const PointValues& p, PlotQuantity q, int channel);
    // Exact statistics of points in a row.
    static Stats statsOf(const PlotPoint* first, const PlotPoint* end, PlotQuantity q, int channel);

    void clear() { *this = PointSummary(); }
    // Adds a point; true when the buckets were merged on the way.
    bool add(const PlotPoint& p);
    // Takes a channel's readings into its extremes.
    void widen(int channel, std::optional<double> volt, std::optional<double> curr);

    qint64 count() const { return count_; }
    // Points per bucket: 1, 2, 4, ...
    qint64 stride() const { return stride_; }
    int bucketCount() const { return int(buckets_[0].size()); }
    const Bucket& bucket(PlotQuantity q, int channel, int b) const {
        return buckets_[index(q, channel)][std::size_t(b)];
    }
    // The value of a point while every bucket is one point.
    std::optional<double> value(PlotQuantity q, int channel, qint64 point) const;
    Stats stats(PlotQuantity q, int channel, qint64 first, qint64 last) const;
    // The points that follow a lost link (no readings before them).
    const std::vector<qint64>& gaps() const { return gaps_; }
    // Whether the points' times run forward, so they can stand on a time
    // axis: rows made without times (all alike) or out of order cannot.
    bool isTimed() const { return ordered_; }
    qint64 firstTime() const { return times_.empty() ? 0 : times_.front(); }
    qint64 lastTime() const { return lastTime_; }
    // Where point i stands on a time axis, in seconds from origin: at its
    // recorded time (within a bucket of several, spread evenly between the
    // known times: the bucket's first, each point after a gap, the next
    // bucket's first), or, for points without times, i steps of
    // secondsPerPoint from the first. A point not recorded yet stands a
    // step after the last per point.
    double keyOf(qint64 point, int secondsPerPoint, qint64 origin) const;
    // The point nearest to a key on that axis, clamped to the points.
    qint64 pointAt(double key, int secondsPerPoint, qint64 origin) const;
    // The sequence numbers of the first and the last point added.
    qint64 firstSeqNo() const { return firstSeqNo_; }
    qint64 lastSeqNo() const { return lastSeqNo_; }
    // Point i is sequence number firstSeqNo() + i.
    bool isContiguous() const { return count_ == 0 || lastSeqNo_ - firstSeqNo_ + 1 == count_; }
    const ChannelExtremes& extremes(int channel) const {
        return extremes_[std::size_t(std::clamp(channel, 0, 3))];
    }

    // As kept in a file: little-endian, the same on every machine. Nothing
    // from bytes of another form or a later version.
    QByteArray toBytes() const;
    static std::optional<PointSummary> fromBytes(const QByteArray& bytes);
    bool operator==(const PointSummary&) const = default;

private:
    static std::size_t index(PlotQuantity q, int channel) {
        return std::size_t(int(q) * 4 + std::clamp(channel, 0, 3));
    }
    void mergePairs();

    qint64 count_ = 0;
    qint64 stride_ = 1;
    qint64 firstSeqNo_ = 0;
    qint64 lastSeqNo_ = 0;
    std::array<std::vector<Bucket>, 4 * kPlotQuantities> buckets_;
    std::vector<qint64> times_; // each bucket's first point's
    qint64 lastTime_ = 0;
    bool ordered_ = true;
    std::vector<qint64> gaps_;
    std::vector<qint64> gapTimes_; // the time of each point after a gap
    std::array<ChannelExtremes, 4> extremes_;
};

} // namespace trq
