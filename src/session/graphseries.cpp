#include "session/graphseries.h"

#include "core/numbers.h"
#include "session/recordscale.h"

namespace trq {

GraphSeries::GraphSeries(int channels, QObject* parent)
    : QObject(parent), channels_(std::clamp(channels, 1, 4)) {
    for (auto& b : buckets_)
        b.reserve(kMaxBuckets);
}

void GraphSeries::clear() {
    for (auto& b : buckets_)
        b.clear();
    gaps_.clear();
    count_ = 0;
    stride_ = 1;
    firstSeqNo_ = 0;
    emit emptied();
}

bool GraphSeries::add(const PlotPoint& p) {
    if (count_ == 0)
        firstSeqNo_ = p.seqNo;
    if (p.gap && count_ > 0)
        gaps_.push_back(count_);
    bool merged = false;
    const bool opensBucket = count_ % stride_ == 0;
    if (opensBucket && int(buckets_[0].size()) == kMaxBuckets) {
        mergePairs();
        merged = true;
    }
    const bool fresh = count_ % stride_ == 0;
    for (int c = 0; c < 4; ++c) {
        const auto i = std::size_t(c);
        const double values[kPlotQuantities] = {p.volt[i], p.curr[i], p.volt[i] * p.curr[i],
                                                p.charge[i], p.energy[i]};
        for (int q = 0; q < kPlotQuantities; ++q) {
            std::vector<Bucket>& b = buckets_[index(PlotQuantity(q), c)];
            const double v = values[q];
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

void GraphSeries::mergePairs() {
    for (auto& b : buckets_) {
        const std::size_t half = b.size() / 2;
        for (std::size_t i = 0; i < half; ++i) {
            const Bucket& x = b[2 * i];
            const Bucket& y = b[2 * i + 1];
            b[i] = {std::min(x.min, y.min), std::max(x.max, y.max), x.sum + y.sum};
        }
        b.resize(half);
    }
    stride_ *= 2;
}

void GraphSeries::append(const SampleRow& row) {
    PlotPoint p;
    p.seqNo = row.seqNo;
    p.gap = row.gap;
    for (std::size_t c = 0; c < 4; ++c) {
        p.volt[c] = leadingNumber(row.volt[c]);
        p.curr[c] = leadingNumber(row.curr[c]);
        p.charge[c] = leadingNumber(row.charge[c]);
        p.energy[c] = leadingNumber(row.energy[c]);
    }
    if (add(p))
        emit replaced();
    else
        emit pointAdded(count_ - 1);
}

bool GraphSeries::reload(RecordStore& store) {
    clear();
    const bool ok = store.forEachPlotPoint([this](const PlotPoint& p) { add(p); });
    emit replaced();
    return ok;
}

std::optional<double> GraphSeries::value(PlotQuantity q, int channel, qint64 sample) const {
    if (stride_ != 1 || sample < 0 || sample >= count_)
        return std::nullopt;
    return buckets_[index(q, channel)][std::size_t(sample)].min;
}

GraphSeries::Stats GraphSeries::stats(PlotQuantity q, int channel, qint64 first,
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

void GraphSeries::recordingStarted(const QDateTime&, const QDateTime&) {
    clear();
    startCaption_ = tr("Record...");
    emit startCaptionChanged(startCaption_);
}

void GraphSeries::recordingStopped(const QDateTime&) {
    startCaption_ = tr("Start");
    emit startCaptionChanged(startCaption_);
}

} // namespace trq
