#include "session/graphseries.h"

#include "core/numbers.h"
#include "session/recordscale.h"

namespace trq {

GraphSeries::GraphSeries(int channels, QObject* parent)
    : QObject(parent), channels_(std::clamp(channels, 1, 4)) {}

int GraphSeries::secondsPerPoint(int scale) {
    return kRecordScales[std::size_t(std::clamp(scale, 0, int(kRecordScales.size()) - 1))]
        .graphSecondsPerPoint;
}

void GraphSeries::clear() {
    for (auto& s : series_)
        s.clear();
    emit emptied();
}

void GraphSeries::append(const SampleRow& row) {
    // Every series keeps one value per sample, so a later channel count
    // never indexes past a shorter series.
    for (int c = 0; c < 4; ++c) {
        series_[std::size_t(c * 2)].append(leadingNumber(row.volt[std::size_t(c)]));
        series_[std::size_t(c * 2 + 1)].append(leadingNumber(row.curr[std::size_t(c)]));
    }
    emit pointAdded(int(series_[0].size()) - 1);
}

void GraphSeries::replace(std::array<QVector<double>, 8> series) {
    // Equal lengths, as appended points keep them.
    const qsizetype n = series[0].size();
    for (auto& s : series)
        s.resize(n);
    series_ = std::move(series);
    emit replaced();
}

void GraphSeries::recordingStarted(const QDateTime&, const QDateTime&) {
    clear();
    startCaption_ = QStringLiteral("Record...");
    emit startCaptionChanged(startCaption_);
}

void GraphSeries::recordingStopped(const QDateTime&) {
    startCaption_ = QStringLiteral("Start");
    emit startCaptionChanged(startCaption_);
}

} // namespace trq
