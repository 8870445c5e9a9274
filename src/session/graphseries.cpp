#include "session/graphseries.h"

namespace trq {

GraphSeries::GraphSeries(int channels, QObject* parent)
    : QObject(parent), channels_(std::clamp(channels, 1, 4)) {}

void GraphSeries::clear() {
    summary_.clear();
    last_ = {};
    storeVersion_ = 0;
    emit emptied();
}

void GraphSeries::append(const SampleRow& row) {
    static_cast<PointValues&>(last_) = valuesOf(row);
    last_.seqNo = row.seqNo;
    last_.time = row.timeTick;
    last_.gap = row.gap;
    if (summary_.add(last_))
        emit replaced();
    else
        emit pointAdded(summary_.count() - 1);
}

bool GraphSeries::reload(RecordStore& store) {
    const PointSummary* kept = store.workingSummary();
    summary_ = kept ? *kept : PointSummary();
    last_ = {};
    storeVersion_ = kept ? store.workingVersion() : 0;
    emit replaced();
    return kept != nullptr;
}

bool GraphSeries::shows(RecordStore& store) const {
    const PointSummary* kept = store.workingSummary();
    return kept && storeVersion_ != 0 && storeVersion_ == store.workingVersion() &&
           kept->count() == summary_.count() && kept->lastSeqNo() == summary_.lastSeqNo();
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
