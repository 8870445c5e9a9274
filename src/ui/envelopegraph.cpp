#include "ui/envelopegraph.h"

#include <algorithm>
#include <cmath>

namespace trq {

void EnvelopeGraph::dataReplaced() {
    blockMin_.clear();
    blockMax_.clear();
}

void EnvelopeGraph::updateBlocks() const {
    const auto first = mDataContainer->constBegin();
    const std::size_t complete = std::size_t(mDataContainer->size()) / kBlock;
    if (blockMin_.size() > complete) {
        blockMin_.clear();
        blockMax_.clear();
    }
    // Appended points only add blocks at the end.
    for (std::size_t b = blockMin_.size(); b < complete; ++b) {
        const auto from = first + qsizetype(b * kBlock);
        double lo = from->value, hi = from->value;
        for (auto it = from + 1; it != from + kBlock; ++it) {
            lo = std::min(lo, it->value);
            hi = std::max(hi, it->value);
        }
        blockMin_.push_back(lo);
        blockMax_.push_back(hi);
    }
}

QVector<QCPGraphData> EnvelopeGraph::lineData() const {
    QVector<QCPGraphData> points;
    QCPGraphDataContainer::const_iterator begin, end;
    getVisibleDataBounds(begin, end, QCPDataRange(0, dataCount()));
    getOptimizedLineData(&points, begin, end);
    return points;
}

void EnvelopeGraph::getOptimizedLineData(QVector<QCPGraphData>* lineData,
                                         const QCPGraphDataContainer::const_iterator& begin,
                                         const QCPGraphDataContainer::const_iterator& end) const {
    QCPAxis* keyAxis = mKeyAxis.data();
    const qsizetype n = end - begin;
    const double span =
        n > 1 && keyAxis
            ? std::abs(keyAxis->coordToPixel((end - 1)->key) - keyAxis->coordToPixel(begin->key))
            : 0.0;
    // Few points to a column: QCustomPlot's own sampling is quick enough.
    if (!lineData || !mAdaptiveSampling || !keyAxis || n < 2 * kBlock * std::max(span, 1.0)) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    updateBlocks();
    const auto first = mDataContainer->constBegin();
    const bool forward = keyAxis->coordToPixel(begin->key) <= keyAxis->coordToPixel((end - 1)->key);
    lineData->clear();
    lineData->reserve(qsizetype(4 * span) + 8);
    auto scan = [](auto from, auto to, double& lo, double& hi) {
        for (auto it = from; it != to; ++it) {
            lo = std::min(lo, it->value);
            hi = std::max(hi, it->value);
        }
    };
    qsizetype i = begin - first;
    const qsizetype stop = end - first;
    while (i < stop) {
        // The points of the pixel column that point i falls in.
        const double px = std::floor(keyAxis->coordToPixel((first + i)->key));
        const double columnEnd = keyAxis->pixelToCoord(forward ? px + 1 : px - 1);
        qsizetype j = std::lower_bound(first + i, first + stop, columnEnd,
                                       [](const QCPGraphData& d, double k) { return d.key < k; }) -
                      first;
        j = std::max(j, i + 1);
        const QCPGraphData& head = *(first + i);
        const QCPGraphData& tail = *(first + j - 1);
        lineData->append(head);
        if (j - i > 2) {
            double lo = head.value, hi = head.value;
            const qsizetype b0 = (i + kBlock - 1) / kBlock, b1 = j / kBlock;
            if (b0 < b1 && std::size_t(b1) <= blockMin_.size()) {
                scan(first + i, first + b0 * kBlock, lo, hi);
                lo =
                    std::min(lo, *std::min_element(blockMin_.begin() + b0, blockMin_.begin() + b1));
                hi =
                    std::max(hi, *std::max_element(blockMax_.begin() + b0, blockMax_.begin() + b1));
                scan(first + b1 * kBlock, first + j, lo, hi);
            } else {
                scan(first + i, first + j, lo, hi);
            }
            const double width = tail.key - head.key;
            lineData->append(QCPGraphData(head.key + width * 0.25, lo));
            lineData->append(QCPGraphData(head.key + width * 0.75, hi));
        }
        if (j - i > 1)
            lineData->append(tail);
        i = j;
    }
}

} // namespace trq
