#pragma once

#include "link/commtasker.h"
#include "link/replyfield.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace trq {

class DebugTrace;
class frmDebug;

// A small window that drives the link by hand: it identifies the supply,
// sends typed commands and queries, and shows the link's state. It stands in
// for the main window until that exists.
class LinkMonitor : public QWidget, public LinkHost {
    Q_OBJECT
public:
    LinkMonitor(CommTasker& tasker, DebugTrace& trace, const QString& connection,
                QWidget* parent = nullptr);

    bool isPollTimerEnabled() const override { return pollTimer_.isActive(); }
    void ReportStatus(const QString& text, int msec) override;

    // Sends a command, or queues a query whose reply lands in the log.
    void send(const QString& text);
    void setPolling(bool on) { pollBox_->setChecked(on); }

public slots:
    void DevSetupMachineType(const QString& answer);
    void OperationTimeout();

private:
    void refreshState();
    void poll();

    CommTasker& tasker_;
    DebugTrace& trace_;
    ReplyField reply_;
    QString lastQuery_;
    QLabel* identity_;
    QLabel* state_;
    QLabel* status_;
    QLineEdit* input_;
    QPlainTextEdit* log_;
    QPointer<frmDebug> debug_;
    ReplyField measured_;
    QLabel* display_;
    QLineEdit* pollQuery_;
    QCheckBox* pollBox_;
    QTimer pollTimer_;
};

} // namespace trq
