#pragma once

#include "core/reading.h"
#include "session/recordscale.h"

#include <array>

namespace trq {

// The readings of a scale window folded into a point, per channel and
// quantity (ch1 V, ch1 A, ... ch4 A): every reading that arrived in the
// window counts, however fast the supply is polled; the point keeps the
// highest or lowest reading as the supply wrote it, or the mean of all.
class PointFold {
public:
    static constexpr std::size_t kBoxes = 8;
    using Sample = std::array<Reading, kBoxes>;

    PointFold() { clear(); }

    // Only the boxes of a supply's channels take readings; the others keep
    // the zero the stored points have always had. A one-second point keeps
    // a box's first reading as the supply wrote it (empty, zero or below);
    // a longer window's maximum starts from zero.
    void setUp(PointOperation operation, int channels, bool firstAsRead) {
        operation_ = operation;
        used_ = std::size_t(channels) * 2;
        firstAsRead_ = firstAsRead;
    }
    // A new window: nothing folded.
    void clear();
    // One reading as it arrived.
    void fold(std::size_t box, const Reading& reading);
    // A second's readings taken into the window; count() counts the seconds.
    void merge(const PointFold& second);
    // A box that took no reading in the window keeps the last one read
    // before it (a quantity polled less often than the window is long).
    void fillFrom(const Sample& latest);
    int count() const { return count_; }
    // A box's value as stored: the reading kept, or the window's mean.
    Reading value(std::size_t box) const;

private:
    struct Box {
        Reading kept;
        double sum = 0;
        int count = 0;
    };
    // Whether value replaces what a box keeps.
    bool replaces(const Box& box, double value) const;
    PointOperation operation_ = PointOperation::Maximum;
    std::size_t used_ = kBoxes;
    bool firstAsRead_ = false;
    std::array<Box, kBoxes> boxes_;
    int count_ = 0;
};

} // namespace trq
