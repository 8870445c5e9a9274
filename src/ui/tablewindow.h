#pragma once

#include "session/recordingengine.h"
#include "ui/sampletablemodel.h"

#include <QWidget>

#include <functional>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;

namespace trq {

class RecordList;

class Prompter;
class Recording;
class WorkingRecord;

// The table window: the recorded or loaded samples as a grid, the record's
// number, times and description, the filter by sampling condition,
// clear/save/load, and the row comments.
class TableWindow : public QWidget, public RecordingView {
    Q_OBJECT
public:
    TableWindow(Recording& recording, Prompter& prompter, QWidget* parent = nullptr);
    ~TableWindow() override;

    SampleTableModel& model() { return model_; }
    Recording& recording() { return recording_; }
    // The graph's time-length choice, stored with a saved record.
    void setTimeLengthSource(std::function<int()> timeLength) {
        timeLength_ = std::move(timeLength);
    }

    void clearData();
    void save();
    void openRecordList();
    void chooseRecord(int index);
    // Fills the grid from the working table through the filter.
    void refill();
    // Highlights the row of a sample and scrolls to it.
    // Only of the supply shown, where the sample names its store.
    void selectSample(int index, const RecordStore* store = nullptr);
    // A bench's recording stored a step: another supply shown takes its
    // new rows.
    void benchStepRecorded();
    void beginComment(int row);
    void acceptComment();

signals:
    // "Report...": the graph window writes it, as it holds the graph.
    void reportRequested();

public:
    QTableView* grid() const { return grid_; }
    QLineEdit* recordNumberBox() const { return recNo_; }
    QLineEdit* startTimeBox() const { return startTime_; }
    QLineEdit* endTimeBox() const { return endTime_; }
    QLineEdit* descriptionBox() const { return description_; }
    QComboBox* filterList() const { return filter_; }
    // A bench's run: whose rows are shown.
    QComboBox* supplyList() const { return supply_; }
    QListWidget* recordList() const;
    RecordList* recordPicker() const { return list_; }
    QWidget* commentPanel() const { return commentPanel_; }
    QLineEdit* commentBox() const { return comment_; }

    // RecordingView: live rows.
    void recordingStarted(const QDateTime&, const QDateTime&) override;
    void recordingStopped(const QDateTime&) override {}
    void pointWritten(const SampleRow& row) override;
    void cleared() override;
    void dataCleared() override;

private:
    bool trapped(bool ok);
    void applyColumnWidths();
    void showHeader();
    QWidget* buildCommandRow();

    Recording& recording_;
    WorkingRecord& record_;
    Prompter& prompter_;
    SampleTableModel model_;
    std::function<int()> timeLength_;
    int commentRow_ = -1;
    QTableView* grid_;
    QLineEdit* recNo_;
    QLineEdit* startTime_;
    QLineEdit* endTime_;
    QLineEdit* description_;
    QComboBox* filter_;
    QComboBox* supply_;
    RecordList* list_;
    QWidget* commentPanel_;
    QLineEdit* comment_;
};

} // namespace trq
