#pragma once

#include "core/reading.h"
#include "session/recordscale.h"

#include <array>

namespace trq {

// One scale window's samples folded into a point, per channel and quantity
// (ch1 V, ch1 A, ... ch4 A): the highest or lowest reading as the supply
// wrote it, or the mean of all of them.
class PointFold {
public:
    static constexpr std::size_t kBoxes = 8;
    using Sample = std::array<Reading, kBoxes>;

    PointFold() { clear(); }

    // Only the boxes of a supply's channels take readings; the others keep
    // the zero the stored points have always had.
    void setUp(PointOperation operation, int channels) {
        operation_ = operation;
        used_ = std::size_t(channels) * 2;
    }
    // A new window: nothing folded.
    void clear();
    // One second's readings of every channel.
    void add(const Sample& sample);
    // The point is this one sample, as read (a scale of one second).
    void take(const Sample& sample);
    int count() const { return count_; }
    // A box's value as stored: the reading kept, or the window's mean.
    Reading value(std::size_t box) const;

private:
    PointOperation operation_ = PointOperation::Maximum;
    std::size_t used_ = kBoxes;
    Sample boxes_;
    std::array<double, kBoxes> sums_{};
    int count_ = 0;
};

} // namespace trq
