#pragma once

#include <qcustomplot.h>

#include <vector>

namespace trq {

// A plot whose adaptive sampling reads a summary of blocks of points when a
// pixel column covers many of them, so a million points draw about as fast as
// a few thousand. Nothing is lost: every column still shows its first, lowest,
// highest and last value, as QCustomPlot's own sampling does.
class EnvelopeGraph : public QCPGraph {
public:
    static constexpr int kBlock = 64;

    EnvelopeGraph(QCPAxis* keyAxis, QCPAxis* valueAxis) : QCPGraph(keyAxis, valueAxis) {}

    // After the data was replaced rather than appended to.
    void dataReplaced();
    // The points drawn for the visible range at the current axis scale.
    QVector<QCPGraphData> lineData() const;

protected:
    void getOptimizedLineData(QVector<QCPGraphData>* lineData,
                              const QCPGraphDataContainer::const_iterator& begin,
                              const QCPGraphDataContainer::const_iterator& end) const override;

private:
    void updateBlocks() const;

    // Lowest and highest value of each complete block of kBlock points.
    mutable std::vector<double> blockMin_, blockMax_;
};

} // namespace trq
