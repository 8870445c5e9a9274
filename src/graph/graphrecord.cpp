#include "graph/graphrecord.h"

#include "panels/commandset.h"
#include "record/recordscale.h"

namespace trq {

GraphRecord::GraphRecord(int channels, QObject* parent)
    : QObject(parent), channels_(std::clamp(channels, 1, 4)) {}

int GraphRecord::secondsPerPoint(int recScale) {
    return kRecordScales[std::size_t(std::clamp(recScale, 0, int(kRecordScales.size()) - 1))]
        .graphSecondsPerPoint;
}

void GraphRecord::ClearGraph() {
    for (auto& s : series_)
        s.clear();
    emit graphCleared();
}

void GraphRecord::append(const SampleRow& row) {
    // Every series keeps one value per sample, so a later channel count
    // never indexes past a shorter series.
    for (int c = 0; c < 4; ++c) {
        series_[std::size_t(c * 2)].append(leadingNumber(row.volt[std::size_t(c)]));
        series_[std::size_t(c * 2 + 1)].append(leadingNumber(row.curr[std::size_t(c)]));
    }
}

void GraphRecord::ShowGraph(const SampleRow& row) {
    append(row);
    emit pointAdded(int(series_[0].size()) - 1);
}

void GraphRecord::ReDraw(std::array<QVector<double>, 8> series) {
    // Equal lengths, as appended points keep them.
    const qsizetype n = series[0].size();
    for (auto& s : series)
        s.resize(n);
    series_ = std::move(series);
    emit redrawn();
}

void GraphRecord::recordingStarted(const QDateTime&, const QDateTime&) {
    ClearGraph();
    startCaption_ = QStringLiteral("Record...");
    emit startCaptionChanged(startCaption_);
}

void GraphRecord::recordingStopped(const QDateTime&) {
    startCaption_ = QStringLiteral("Start");
    emit startCaptionChanged(startCaption_);
}

} // namespace trq
