#include "session/pointqueue.h"

#include "core/debugtrace.h"

#include <QCoreApplication>

namespace trq {

bool PointQueue::flush(const Stored& stored) {
    while (!rows_.empty()) {
        if (!store_.appendSample(rows_.front()))
            return false;
        const SampleRow row = std::move(rows_.front());
        rows_.pop_front();
        stored(row);
    }
    return true;
}

PointQueue::Outcome PointQueue::store(qint64 nowMsec, const Stored& stored) {
    if (flush(stored)) {
        if (busySinceMsec_ >= 0) {
            busySinceMsec_ = -1;
            trace(QStringLiteral("Recording: the database takes points again"));
        }
        return Outcome::Stored;
    }
    const bool busy = store_.lastFailureWasBusy();
    if (busy && busySinceMsec_ < 0) {
        busySinceMsec_ = nowMsec;
        trace(QStringLiteral("Recording: the database is busy (%1); points wait")
                  .arg(store_.lastError()));
    }
    if (busy && nowMsec - busySinceMsec_ < kRetryMsec && rows_.size() < std::size_t(kMaxWaiting))
        return Outcome::Waiting;
    return Outcome::Failed;
}

void PointQueue::clear() {
    rows_.clear();
    busySinceMsec_ = -1;
}

QString PointQueue::failure() const {
    if (!store_.lastFailureWasBusy())
        return store_.lastError();
    return QCoreApplication::translate("trq::RecordingEngine",
                                       "another program has held the file for over %1 s: %2")
        .arg(kRetryMsec / 1000)
        .arg(store_.lastError());
}

} // namespace trq
