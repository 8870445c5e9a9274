#pragma once

#include "graph/graphmath.h"

#include <QWidget>

#include <array>

class QCPGraph;
class QCheckBox;
class QComboBox;
class QCustomPlot;
class QListWidget;

namespace trq {

class GraphRecord;
class RecordStore;

// The graph window: the working table as voltage and current plots per
// channel, growing live during a recording, with time-length and range
// choices, plot boxes and the statistics list.
class frmGraphicRecord : public QWidget {
    Q_OBJECT
public:
    struct Limits {
        std::function<double()> maxVoltage; // the panel's voltage edit maximum
        std::function<double()> maxCurrent;
        std::function<int()> recScale; // the record setup's scale
    };

    frmGraphicRecord(GraphRecord& record, RecordStore& store, Limits limits,
                     QWidget* parent = nullptr);

    void ClearGraph();
    void ReDraw();
    void ShowSummary();
    void ChangeCursorColor(const QStringList& colours);
    void selectXLength(const QString& text);

    int iXTime() const { return iXTime_; }
    int SampleCount() const;
    QCustomPlot* CWGraph1() const { return plot_; }
    QComboBox* cmbXLength() const { return xLength_; }
    QComboBox* cmbYVoltage() const { return yVoltage_; }
    QComboBox* cmbYCurrent() const { return yCurrent_; }
    QListWidget* lstWave() const { return summary_; }
    QCheckBox* cbPlot(int i) const { return boxes_[std::size_t(i)]; }
    QCPGraph* plot(int k) const { return graphs_[std::size_t(k)]; } // 0..7

private:
    void SetupTimeLength();
    void pointAdded(int index);
    void refillPlots();
    void applyChannels();

    GraphRecord& data_;
    RecordStore& store_;
    Limits limits_;
    int iXTime_ = 1;
    QString labelFormat_ = QStringLiteral("h:n:ss");
    QCustomPlot* plot_;
    std::array<QCPGraph*, 8> graphs_{};
    std::array<QCheckBox*, 8> boxes_{};
    QComboBox* xLength_;
    QComboBox* yVoltage_;
    QComboBox* yCurrent_;
    QListWidget* summary_;
};

} // namespace trq
