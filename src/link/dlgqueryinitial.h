#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace trq {

class CommTasker;

// Waits, modally, until the initial queries of a front panel have drained,
// with an estimate of the time left; drives the writer tick itself.
class dlgQueryInitial : public QDialog {
    Q_OBJECT
public:
    explicit dlgQueryInitial(CommTasker& tasker, QWidget* parent = nullptr);

    // True when the user cancelled, false when the queue drained.
    bool Execute();

    QTimer& CheckTimer() { return checkTimer_; }
    QPushButton* CancelButton() const { return cancel_; }
    QProgressBar* ProgressBar() const { return progress_; }
    QLabel* RemainingLabel() const { return remaining_; }

    // "Remaining about N secs..." for the queries still queued.
    static QString remainingText(double maxRspTimeSec, int queued);

private:
    void CheckTimer_Timer();

    CommTasker& tasker_;
    QTimer checkTimer_;
    QProgressBar* progress_;
    QLabel* remaining_;
    QPushButton* cancel_;
    bool result_ = true;
};

} // namespace trq
