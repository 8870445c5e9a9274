#include "storage/pointsummary.h"

#include <QSysInfo>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <functional>

namespace trq {

double PointSummary::valueOf(const PointValues& p, PlotQuantity q, int channel) {
    const auto c = std::size_t(std::clamp(channel, 0, 3));
    switch (q) {
    case PlotQuantity::Voltage:
        return p.volt[c];
    case PlotQuantity::Current:
        return p.curr[c];
    case PlotQuantity::Power:
        return p.volt[c] * p.curr[c];
    case PlotQuantity::Charge:
        return p.charge[c];
    case PlotQuantity::Energy:
        return p.energy[c];
    }
    return 0;
}

PointSummary::Stats PointSummary::statsOf(const PlotPoint* first, const PlotPoint* end,
                                          PlotQuantity q, int channel) {
    Stats s;
    if (first == end)
        return s;
    s.min = s.max = valueOf(*first, q, channel);
    for (const PlotPoint* p = first; p != end; ++p) {
        const double v = valueOf(*p, q, channel);
        s.min = std::min(s.min, v);
        s.max = std::max(s.max, v);
        s.sum += v;
    }
    s.count = end - first;
    s.mean = s.sum / double(s.count);
    return s;
}

bool PointSummary::add(const PlotPoint& p) {
    if (count_ == 0)
        firstSeqNo_ = p.seqNo;
    lastSeqNo_ = p.seqNo;
    if (p.gap && count_ > 0) {
        gaps_.push_back(count_);
        gapTimes_.push_back(p.time);
    }
    if (count_ > 0 && p.time <= lastTime_)
        ordered_ = false;
    lastTime_ = p.time;
    bool merged = false;
    const bool opensBucket = count_ % stride_ == 0;
    if (opensBucket && int(buckets_[0].size()) == kMaxBuckets) {
        mergePairs();
        merged = true;
    }
    const bool fresh = count_ % stride_ == 0;
    if (fresh)
        times_.push_back(p.time);
    for (int c = 0; c < 4; ++c) {
        for (int q = 0; q < kPlotQuantities; ++q) {
            std::vector<Bucket>& b = buckets_[index(PlotQuantity(q), c)];
            const double v = valueOf(p, PlotQuantity(q), c);
            if (fresh) {
                b.push_back({v, v, v});
            } else {
                Bucket& last = b.back();
                last.min = std::min(last.min, v);
                last.max = std::max(last.max, v);
                last.sum += v;
            }
        }
    }
    ++count_;
    return merged;
}

void PointSummary::mergePairs() {
    for (auto& b : buckets_) {
        const std::size_t half = b.size() / 2;
        for (std::size_t i = 0; i < half; ++i) {
            const Bucket& x = b[2 * i];
            const Bucket& y = b[2 * i + 1];
            b[i] = {std::min(x.min, y.min), std::max(x.max, y.max), x.sum + y.sum};
        }
        b.resize(half);
    }
    for (std::size_t i = 0; i < times_.size() / 2; ++i)
        times_[i] = times_[2 * i];
    times_.resize(times_.size() / 2);
    stride_ *= 2;
}

double PointSummary::keyOf(qint64 point, int secondsPerPoint, qint64 origin) const {
    if (count_ == 0 || !isTimed())
        return double(point) * secondsPerPoint;
    if (point >= count_) // a limit's event names the point to come
        return double(lastTime_ + (point - count_ + 1) * secondsPerPoint - origin);
    point = std::max<qint64>(point, 0);
    const qint64 b = point / stride_;
    qint64 from = b * stride_;
    auto fromTime = double(times_[std::size_t(b)]);
    const bool next = b + 1 < qint64(times_.size());
    qint64 to = next ? (b + 1) * stride_ : count_ - 1;
    double toTime = next ? double(times_[std::size_t(b + 1)]) : double(lastTime_);
    // A gap inside the bucket is a known time too: the spread never
    // crosses an outage.
    for (auto g = std::upper_bound(gaps_.begin(), gaps_.end(), from); g != gaps_.end() && *g <= to;
         ++g) {
        const auto time = double(gapTimes_[std::size_t(g - gaps_.begin())]);
        if (*g <= point) {
            from = *g;
            fromTime = time;
        } else {
            to = *g;
            toTime = time;
            break;
        }
    }
    if (point == from || to == from)
        return fromTime - double(origin);
    return fromTime + (toTime - fromTime) * double(point - from) / double(to - from) -
           double(origin);
}

qint64 PointSummary::pointAt(double key, int secondsPerPoint, qint64 origin) const {
    if (count_ == 0)
        return 0;
    if (!isTimed())
        return secondsPerPoint <= 0
                   ? 0
                   : std::clamp<qint64>(std::llround(key / secondsPerPoint), 0, count_ - 1);
    const double t = key + double(origin);
    const auto after = std::upper_bound(times_.begin(), times_.end(), t,
                                        [](double v, qint64 time) { return v < double(time); });
    if (after == times_.begin())
        return 0;
    const qint64 b = qint64(after - times_.begin()) - 1;
    qint64 lo = b * stride_;
    qint64 hi = std::min((b + 1) * stride_, count_ - 1);
    while (hi - lo > 1) {
        const qint64 mid = (lo + hi) / 2;
        (keyOf(mid, secondsPerPoint, 0) <= t ? lo : hi) = mid;
    }
    return t - keyOf(lo, secondsPerPoint, 0) <= keyOf(hi, secondsPerPoint, 0) - t ? lo : hi;
}

void PointSummary::widen(int channel, std::optional<double> volt, std::optional<double> curr) {
    ChannelExtremes& e = extremes_[std::size_t(std::clamp(channel, 0, 3))];
    auto widen = [](std::optional<double>& max, std::optional<double>& min,
                    std::optional<double> v) {
        if (!v)
            return;
        max = max ? std::max(*max, *v) : *v;
        min = min ? std::min(*min, *v) : *v;
    };
    widen(e.maxVolt, e.minVolt, volt);
    widen(e.maxCurr, e.minCurr, curr);
}

std::optional<double> PointSummary::value(PlotQuantity q, int channel, qint64 point) const {
    if (stride_ != 1 || point < 0 || point >= count_)
        return std::nullopt;
    return buckets_[index(q, channel)][std::size_t(point)].min;
}

PointSummary::Stats PointSummary::stats(PlotQuantity q, int channel, qint64 first,
                                        qint64 last) const {
    Stats s;
    if (first > last)
        std::swap(first, last);
    first = std::max<qint64>(first, 0);
    last = std::min(last, count_ - 1);
    if (first > last)
        return s;
    const std::vector<Bucket>& b = buckets_[index(q, channel)];
    const qint64 from = first / stride_;
    const qint64 to = last / stride_;
    s.exact = stride_ == 1;
    s.min = b[std::size_t(from)].min;
    s.max = b[std::size_t(from)].max;
    for (qint64 i = from; i <= to; ++i) {
        const Bucket& x = b[std::size_t(i)];
        s.min = std::min(s.min, x.min);
        s.max = std::max(s.max, x.max);
        s.sum += x.sum;
        s.count += std::min(stride_, count_ - i * stride_);
    }
    s.mean = s.sum / double(s.count);
    return s;
}

namespace {

constexpr quint32 kFormat = 2; // 2: with the points' times
// Buckets are kept as three doubles each, in a row.
static_assert(sizeof(PointSummary::Bucket) == 3 * sizeof(double));

class Writer {
public:
    explicit Writer(qsizetype size) { bytes_.reserve(size); }
    template <typename T> void put(T v) {
        const T le = qToLittleEndian(v);
        bytes_.append(reinterpret_cast<const char*>(&le), sizeof le);
    }
    void put(double v) {
        quint64 bits = 0;
        std::memcpy(&bits, &v, sizeof v);
        put(bits);
    }
    void put(const std::vector<PointSummary::Bucket>& buckets) {
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            bytes_.append(reinterpret_cast<const char*>(buckets.data()),
                          qsizetype(buckets.size() * sizeof(PointSummary::Bucket)));
        } else {
            for (const PointSummary::Bucket& b : buckets) {
                put(b.min);
                put(b.max);
                put(b.sum);
            }
        }
    }
    QByteArray bytes() const { return bytes_; }

private:
    QByteArray bytes_;
};

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : bytes_(bytes) {}
    template <typename T> bool get(T& v) {
        if (bytes_.size() - at_ < qsizetype(sizeof v))
            return false;
        T le;
        std::memcpy(&le, bytes_.constData() + at_, sizeof le);
        v = qFromLittleEndian(le);
        at_ += qsizetype(sizeof v);
        return true;
    }
    bool get(double& v) {
        quint64 bits = 0;
        if (!get(bits))
            return false;
        std::memcpy(&v, &bits, sizeof v);
        return true;
    }
    bool get(std::vector<PointSummary::Bucket>& buckets) {
        if constexpr (QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            const auto size = qsizetype(buckets.size() * sizeof(PointSummary::Bucket));
            if (bytes_.size() - at_ < size)
                return false;
            std::memcpy(buckets.data(), bytes_.constData() + at_, std::size_t(size));
            at_ += size;
            return true;
        }
        for (PointSummary::Bucket& b : buckets)
            if (!get(b.min) || !get(b.max) || !get(b.sum))
                return false;
        return true;
    }
    bool atEnd() const { return at_ == bytes_.size(); }

private:
    const QByteArray& bytes_;
    qsizetype at_ = 0;
};

} // namespace

QByteArray PointSummary::toBytes() const {
    // Series that are zero throughout (a channel the supply lacks, nothing
    // integrated) are left out.
    quint32 present = 0;
    for (std::size_t i = 0; i < buckets_.size(); ++i)
        for (const Bucket& b : buckets_[i])
            if (b != Bucket{}) {
                present |= 1u << i;
                break;
            }
    const auto n = quint32(buckets_[0].size());
    Writer w(qsizetype(64 + 16 * gaps_.size() + 4 * 4 * 9 + 8 * times_.size() +
                       24 * std::size_t(n) * std::size_t(qPopulationCount(present))));
    w.put(kFormat);
    w.put(count_);
    w.put(stride_);
    w.put(firstSeqNo_);
    w.put(lastSeqNo_);
    w.put(quint32(gaps_.size()));
    for (qint64 g : gaps_)
        w.put(g);
    for (const ChannelExtremes& e : extremes_)
        for (const std::optional<double>& v : {e.maxVolt, e.minVolt, e.maxCurr, e.minCurr}) {
            w.put(quint8(v ? 1 : 0));
            w.put(v.value_or(0.0));
        }
    w.put(n);
    w.put(present);
    for (std::size_t i = 0; i < buckets_.size(); ++i)
        if (present & (1u << i))
            w.put(buckets_[i]);
    for (qint64 t : times_)
        w.put(t);
    for (qint64 t : gapTimes_)
        w.put(t);
    w.put(lastTime_);
    w.put(quint8(ordered_ ? 1 : 0));
    return w.bytes();
}

std::optional<PointSummary> PointSummary::fromBytes(const QByteArray& bytes) {
    Reader r(bytes);
    PointSummary s;
    quint32 format = 0, gaps = 0, n = 0, present = 0;
    if (!r.get(format) || format != kFormat || !r.get(s.count_) || !r.get(s.stride_) ||
        !r.get(s.firstSeqNo_) || !r.get(s.lastSeqNo_) || !r.get(gaps))
        return std::nullopt;
    // Only a summary that add() could have made.
    if (s.count_ < 0 || s.stride_ < 1 || (s.stride_ & (s.stride_ - 1)) != 0 ||
        qint64(gaps) >= std::max<qint64>(s.count_, 1))
        return std::nullopt;
    s.gaps_.resize(gaps);
    for (qint64& g : s.gaps_)
        if (!r.get(g))
            return std::nullopt;
    for (ChannelExtremes& e : s.extremes_)
        for (std::optional<double>* v : {&e.maxVolt, &e.minVolt, &e.maxCurr, &e.minCurr}) {
            quint8 has = 0;
            double value = 0;
            if (!r.get(has) || !r.get(value))
                return std::nullopt;
            *v = has ? std::optional<double>(value) : std::nullopt;
        }
    if (!r.get(n) || !r.get(present) || qint64(n) != (s.count_ + s.stride_ - 1) / s.stride_ ||
        n > quint32(kMaxBuckets))
        return std::nullopt;
    for (std::size_t i = 0; i < s.buckets_.size(); ++i) {
        s.buckets_[i].resize(n);
        if ((present & (1u << i)) && !r.get(s.buckets_[i]))
            return std::nullopt;
    }
    s.times_.resize(n);
    for (qint64& t : s.times_)
        if (!r.get(t))
            return std::nullopt;
    s.gapTimes_.resize(gaps);
    for (qint64& t : s.gapTimes_)
        if (!r.get(t))
            return std::nullopt;
    quint8 ordered = 0;
    if (!r.get(s.lastTime_) || !r.get(ordered) || ordered > 1)
        return std::nullopt;
    s.ordered_ = ordered == 1;
    // Times that add() could have made: gaps after the first point, in
    // order; ordered times strictly rising.
    auto rising = [](const std::vector<qint64>& v) {
        return std::adjacent_find(v.begin(), v.end(), std::greater_equal<>()) == v.end();
    };
    if (!rising(s.gaps_) ||
        (!s.gaps_.empty() && (s.gaps_.front() < 1 || s.gaps_.back() >= s.count_)))
        return std::nullopt;
    if (s.ordered_ &&
        (!rising(s.times_) || !rising(s.gapTimes_) || (n > 0 && s.lastTime_ < s.times_.back())))
        return std::nullopt;
    if (!r.atEnd())
        return std::nullopt;
    return s;
}

} // namespace trq
