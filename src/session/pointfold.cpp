#include "session/pointfold.h"

#include "core/numbers.h"

#include <QLocale>

#include <algorithm>

namespace trq {

void PointFold::clear() {
    // A maximum starts from zero, as the stored points always have.
    boxes_.fill({Reading(QStringLiteral("0")), 0, 0});
    count_ = 0;
}

bool PointFold::replaces(const Box& box, double value) const {
    // One reading is its own minimum and mean, as the supply wrote it.
    if (box.count == 0 && (firstAsRead_ || operation_ != PointOperation::Maximum))
        return true;
    switch (operation_) {
    case PointOperation::Maximum:
        return value > box.kept.value().value_or(0.0);
    case PointOperation::Minimum:
        return value < box.kept.value().value_or(0.0);
    case PointOperation::Average:
        break;
    }
    return false;
}

void PointFold::fold(std::size_t box, const Reading& reading) {
    if (box >= used_)
        return;
    Box& b = boxes_[box];
    const double value = reading.value().value_or(0.0);
    if (replaces(b, value))
        b.kept = reading;
    b.sum += value;
    ++b.count;
}

void PointFold::merge(const PointFold& second) {
    for (std::size_t i = 0; i < used_; ++i) {
        const Box& from = second.boxes_[i];
        if (from.count == 0)
            continue;
        Box& b = boxes_[i];
        if (replaces(b, from.kept.value().value_or(0.0)))
            b.kept = from.kept;
        b.sum += from.sum;
        b.count += from.count;
    }
    ++count_;
}

void PointFold::fillFrom(const Sample& latest) {
    for (std::size_t i = 0; i < used_; ++i)
        if (boxes_[i].count == 0)
            fold(i, latest[i]);
}

Reading PointFold::value(std::size_t box) const {
    const Box& b = boxes_[box];
    if (operation_ == PointOperation::Average && b.count > 1)
        return Reading(formatNumber(b.sum / b.count, QStringLiteral("###0.00#"), QLocale::c()));
    return b.kept;
}

} // namespace trq
