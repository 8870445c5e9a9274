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

void PointFold::fold(std::size_t box, const Reading& reading) {
    if (box >= used_)
        return;
    Box& b = boxes_[box];
    const double value = reading.value().value_or(0.0);
    const bool first = b.count == 0;
    switch (operation_) {
    case PointOperation::Maximum:
        if (value > b.kept.value().value_or(0.0))
            b.kept = reading;
        break;
    case PointOperation::Minimum:
        if (first || value < b.kept.value().value_or(0.0))
            b.kept = reading;
        break;
    case PointOperation::Average:
        if (first)
            b.kept = reading; // one reading is its own mean, as the supply wrote it
        break;
    }
    b.sum += value;
    ++b.count;
}

void PointFold::merge(const PointFold& second) {
    for (std::size_t i = 0; i < used_; ++i) {
        const Box& from = second.boxes_[i];
        if (from.count == 0)
            continue;
        Box& b = boxes_[i];
        const double value = from.kept.value().value_or(0.0);
        const bool take = operation_ == PointOperation::Maximum
                              ? value > b.kept.value().value_or(0.0)
                              : b.count == 0 || (operation_ == PointOperation::Minimum &&
                                                 value < b.kept.value().value_or(0.0));
        if (take)
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
