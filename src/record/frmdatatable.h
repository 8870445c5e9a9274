#pragma once

#include "record/recordingengine.h"
#include "record/sampletablemodel.h"
#include "record/workingrecord.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;

namespace trq {

class Prompter;

// The table window: the recorded or loaded samples as a grid, the record
// fields, the filter by sampling condition, clear/save/load, row comments;
// it hosts the recording engine.
class frmDataTable : public QWidget, public RecordingView {
    Q_OBJECT
public:
    frmDataTable(RecordStore& store, Prompter& prompter, RecordingEngine::Source source,
                 int ContrlIdx, RecordingClock* clock = nullptr, QWidget* parent = nullptr);

    RecordingEngine& engine() { return engine_; }
    SampleTableModel& model() { return model_; }
    WorkingRecord& record() { return record_; }
    // A recording is running: nothing may be loaded over it.
    bool refuseWhileRecording();

    // Where a save reads the record scale and the graph's time-length index.
    void setScaleSource(std::function<int()> recScale, std::function<int()> timeLength) {
        recScale_ = std::move(recScale);
        timeLength_ = std::move(timeLength);
    }

    void cmdClear_Click();
    void cmdSave_Click();
    void cmdLoadRecord_Click();
    void List1_Click(int index);
    void CmbSample_Click();
    void RowSelected(int idx);
    void beginComment(int row);
    void cmdProcOK_Click();

    QTableView* grdHelQuest() const { return grid_; }
    QLineEdit* txtRecno() const { return recNo_; }
    QLineEdit* txtStartTime() const { return startTime_; }
    QLineEdit* txtEndTime() const { return endTime_; }
    QLineEdit* txtDataDesc() const { return description_; }
    QComboBox* CmbSample() const { return filter_; }
    QListWidget* List1() const { return list_; }
    QWidget* pnlDataComment() const { return commentPanel_; }
    QLineEdit* txtDataComment() const { return comment_; }

signals:
    // A saved record was loaded into the working table.
    void recordLoaded();

public:
    // RecordingView
    void recordingStarted(const QDateTime& start, const QDateTime& plannedEnd) override;
    void recordingStopped(const QDateTime& lastPoint) override;
    void pointWritten(const SampleRow& row) override;
    void cleared() override;
    void dataCleared() override;

private:
    bool trapped(bool ok);
    void applyColumnWidths();
    void showHeader();

    RecordStore& store_;
    Prompter& prompter_;
    SampleTableModel model_;
    WorkingRecord record_;
    RecordingEngine engine_;
    std::function<int()> recScale_;
    std::function<int()> timeLength_;
    int commentRow_ = -1;
    QTableView* grid_;
    QLineEdit* recNo_;
    QLineEdit* startTime_;
    QLineEdit* endTime_;
    QLineEdit* description_;
    QComboBox* filter_;
    QListWidget* list_;
    QWidget* commentPanel_;
    QLineEdit* comment_;
};

} // namespace trq
