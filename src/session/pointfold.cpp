#include "session/pointfold.h"

#include "core/numbers.h"

#include <QLocale>

#include <algorithm>

namespace trq {

void PointFold::clear() {
    // A maximum starts from zero, as the stored points always have.
    boxes_.fill(Reading(QStringLiteral("0")));
    count_ = 0;
}

void PointFold::add(const Sample& sample) {
    const bool first = count_ == 0;
    for (std::size_t i = 0; i < used_; ++i) {
        const Reading& reading = sample[i];
        Reading& box = boxes_[i];
        const double value = reading.value().value_or(0.0);
        switch (operation_) {
        case PointOperation::Maximum:
            if (value > box.value().value_or(0.0))
                box = reading;
            break;
        case PointOperation::Minimum:
            if (first || value < box.value().value_or(0.0))
                box = reading;
            break;
        case PointOperation::Average:
            if (first)
                box = reading; // one reading is its own mean, as the supply wrote it
            sums_[i] = first ? value : sums_[i] + value;
            break;
        }
    }
    ++count_;
}

void PointFold::take(const Sample& sample) {
    std::copy_n(sample.begin(), used_, boxes_.begin());
    count_ = 1;
}

Reading PointFold::value(std::size_t box) const {
    if (operation_ == PointOperation::Average && count_ > 1)
        return Reading(formatNumber(sums_[box] / count_, QStringLiteral("###0.00#"), QLocale::c()));
    return boxes_[box];
}

} // namespace trq
