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
    emit redrawn();
}

void GraphRecord::append(const SampleRow& row) {
    for (int c = 0; c < channels_; ++c) {
        series_[std::size_t(c * 2)].append(leadingNumber(row.volt[std::size_t(c)]));
        series_[std::size_t(c * 2 + 1)].append(leadingNumber(row.curr[std::size_t(c)]));
    }
}

void GraphRecord::ShowGraph(const SampleRow& row) {
    append(row);
    emit pointAdded(int(series_[0].size()) - 1);
}

void GraphRecord::ReDraw(const QList<SampleRow>& rows) {
    for (auto& s : series_)
        s.clear();
    for (const SampleRow& row : rows)
        append(row);
    emit redrawn();
}

void GraphRecord::recordingStarted(const QDateTime&, const QDateTime&) {
    ClearGraph();
    startCaption_ = QStringLiteral("Record...");
}

void GraphRecord::recordingStopped(const QDateTime&) {
    startCaption_ = QStringLiteral("Start");
}

} // namespace trq
