#pragma once

#include "core/prompter.h"

#include <QDialog>
#include <QTimer>

class QLabel;
class QProgressBar;
class QPushButton;

namespace trq {

// A wait on the link the user watches and may cancel: it runs the wait's
// check on its timer, so the link goes on working under the modal window.
class WaitDialog : public QDialog {
    Q_OBJECT
public:
    explicit WaitDialog(Wait wait, QWidget* parent = nullptr);

    // True when the user cancelled, false when the wait is done.
    bool run();

    QTimer& checkTimer() { return timer_; }
    QPushButton* cancelButton() const { return cancel_; }
    QProgressBar* progressBar() const { return progress_; }
    QLabel* detailLabel() const { return detail_; }

private:
    void check();

    Wait wait_;
    QTimer timer_;
    QProgressBar* progress_;
    QLabel* detail_;
    QPushButton* cancel_;
    bool cancelled_ = true;
};

} // namespace trq
