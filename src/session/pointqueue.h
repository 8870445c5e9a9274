#pragma once

#include "storage/recordstore.h"

#include <deque>
#include <functional>

namespace trq {

// A recording's points on their way to the working table, oldest first.
// Another program holding the file for a while is waited for, with the
// points in memory; a lasting failure is not.
class PointQueue {
public:
    // How long a busy file is waited for, and how many points wait for it
    // at most.
    static constexpr int kRetryMsec = 60000;
    static constexpr int kMaxWaiting = 3600;

    enum class Outcome { Stored, Waiting, Failed };
    using Stored = std::function<void(const SampleRow&)>;

    explicit PointQueue(RecordStore& store) : store_(store) {}

    void push(SampleRow row) { rows_.push_back(std::move(row)); }
    // Stores what waits, in order, telling each stored point; false at the
    // first one refused.
    bool flush(const Stored& stored);
    // The same, and what a refusal at nowMsec means.
    Outcome store(qint64 nowMsec, const Stored& stored);
    void clear();
    const std::deque<SampleRow>& rows() const { return rows_; }
    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    // The file is busy and the points wait for it.
    bool waitingForFile() const { return busySinceMsec_ >= 0; }
    // Why the last store failed for good, in the user's words.
    QString failure() const;

private:
    RecordStore& store_;
    std::deque<SampleRow> rows_;
    qint64 busySinceMsec_ = -1;
};

} // namespace trq
