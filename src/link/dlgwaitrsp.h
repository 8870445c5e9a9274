#pragma once

#include <QDialog>
#include <QTimer>

class QProgressBar;
class QPushButton;

namespace trq {

class CommTasker;

// Waits, modally, until no query and no command is outstanding, driving the
// writer tick itself so the link keeps working under the dialog.
class dlgWaitRsp : public QDialog {
    Q_OBJECT
public:
    explicit dlgWaitRsp(CommTasker& tasker, QWidget* parent = nullptr);

    // True in both outcomes: the link went quiet, or the user cancelled.
    bool Execute();

    QTimer& CheckTimer() { return checkTimer_; }
    QPushButton* CancelButton() const { return cancel_; }
    QProgressBar* ProgressBar() const { return progress_; }

private:
    void CheckTimer_Timer();

    CommTasker& tasker_;
    QTimer checkTimer_;
    QProgressBar* progress_;
    QPushButton* cancel_;
    bool result_ = true;
};

} // namespace trq
