#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace trq {

class LinkWait;

// Shows a wait on the link and lets the user cancel it. Only a view: the
// wait runs on the session's timers whether this window is up or not.
class WaitDialog : public QDialog {
    Q_OBJECT
public:
    explicit WaitDialog(LinkWait& wait, QWidget* parent = nullptr);

    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* detailLabel() const { return detail_; }

private:
    void showProgress();

    LinkWait& wait_;
    QProgressBar* progress_;
    QLabel* detail_;
    QPushButton* cancel_;
};

} // namespace trq
