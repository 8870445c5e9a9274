#include "linkmonitor.h"

#include "shell/debugtrace.h"
#include "shell/frmdebug.h"

#include <QFont>
#include <QFontDatabase>
#include <QGridLayout>
#include <QPushButton>
#include <QTimer>

namespace trq {

LinkMonitor::LinkMonitor(CommTasker& tasker, DebugTrace& trace, const QString& connection,
                         QWidget* parent)
    : QWidget(parent), tasker_(tasker), trace_(trace), identity_(new QLabel(this)),
      state_(new QLabel(this)), status_(new QLabel(this)), input_(new QLineEdit(this)),
      log_(new QPlainTextEdit(this)), display_(new QLabel(QStringLiteral("-.---"), this)),
      pollQuery_(new QLineEdit(this)),
      pollBox_(new QCheckBox(QStringLiteral("Poll every 166 ms"), this)) {
    setWindowTitle(QStringLiteral("POWER_TRQ - link monitor"));
    QFont big = font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    identity_->setFont(big);
    identity_->setText(QStringLiteral("Getting the machine type..."));
    log_->setReadOnly(true);
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log_->setMaximumBlockCount(2000);
    input_->setPlaceholderText(QStringLiteral("Command or query, e.g. :CHAN1:MEAS:VOLT?"));
    auto* sendButton = new QPushButton(QStringLiteral("Send"), this);
    auto* debugButton = new QPushButton(QStringLiteral("Debug"), this);

    QFont lcd = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    lcd.setPointSize(28);
    lcd.setBold(true);
    display_->setFont(lcd);
    display_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    display_->setStyleSheet(QStringLiteral(
        "QLabel { background: #101810; color: #7CFC00; padding: 6px 12px; border-radius: 4px; }"));

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Connection:"), this), 0, 0);
    grid->addWidget(new QLabel(connection, this), 0, 1, 1, 2);
    grid->addWidget(identity_, 1, 0, 1, 3);
    grid->addWidget(pollQuery_, 2, 0);
    grid->addWidget(pollBox_, 2, 1);
    grid->addWidget(display_, 2, 2);
    grid->addWidget(input_, 3, 0, 1, 2);
    grid->addWidget(sendButton, 3, 2);
    grid->addWidget(log_, 4, 0, 1, 3);
    grid->addWidget(state_, 5, 0, 1, 2);
    grid->addWidget(debugButton, 5, 2);
    grid->addWidget(status_, 6, 0, 1, 3);
    grid->setColumnStretch(0, 1);
    resize(680, 460);

    // A poll cycle of one query, checked against five seconds.
    tasker_.setQueryCmdCnt(1);
    tasker_.setQueryCmdMaxMsec(5000);
    pollTimer_.setInterval(166);
    connect(&pollTimer_, &QTimer::timeout, this, &LinkMonitor::poll);
    connect(pollBox_, &QCheckBox::toggled, this, [this](bool on) {
        if (on)
            pollTimer_.start();
        else
            pollTimer_.stop();
    });
    connect(&measured_, &ReplyField::Change, display_, &QLabel::setText);

    connect(&reply_, &ReplyField::Change, this, [this](const QString& text) {
        if (!text.isEmpty())
            log_->appendPlainText(QStringLiteral("%1  ->  %2").arg(lastQuery_, text));
        reply_.setText({}); // so the same answer shows again next time
    });
    auto sendInput = [this] {
        send(input_->text().trimmed());
        input_->clear();
    };
    connect(input_, &QLineEdit::returnPressed, this, sendInput);
    connect(sendButton, &QPushButton::clicked, this, sendInput);
    connect(debugButton, &QPushButton::clicked, this, [this] {
        if (!debug_)
            debug_ = new frmDebug(trace_, this);
        debug_->show();
        debug_->raise();
    });
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, &LinkMonitor::refreshState);
    refresh->start(100);

    tasker_.SetupTimeoutTask(this, QStringLiteral("OperationTimeout"));
    tasker_.ExecQueryTask(QStringLiteral("*IDN?"), 5, this, QStringLiteral("DevSetupMachineType"),
                          CommTasker::CallProcedure);
}

void LinkMonitor::send(const QString& text) {
    if (text.isEmpty())
        return;
    if (text.contains(QLatin1Char('?'))) {
        lastQuery_ = text;
        if (!tasker_.ExecQueryTask(text, 5, &reply_, QStringLiteral("Text"),
                                   CommTasker::AssignProperty))
            log_->appendPlainText(QStringLiteral("%1  (not queued)").arg(text));
    } else {
        tasker_.ExecCmdTask(text, 0, this, {}, CommTasker::CallProcedure);
        log_->appendPlainText(text);
    }
}

void LinkMonitor::DevSetupMachineType(const QString& answer) {
    identity_->setText(answer);
    log_->appendPlainText(QStringLiteral("*IDN?  ->  ") + answer);
    // Channel 1's measured voltage in the identified supply's own words.
    const QString model = answer.section(QLatin1Char(','), 1, 1);
    if (model.contains(QLatin1String("TRQ")))
        pollQuery_->setText(QStringLiteral("VOUT1?"));
    else if (model.contains(QLatin1String("DNB")))
        pollQuery_->setText(QStringLiteral(":MEAS:VOLT?"));
    else
        pollQuery_->setText(QStringLiteral(":CHAN1:MEAS:VOLT?"));
}

void LinkMonitor::poll() {
    // One query in flight at a time, as a front panel's poll does.
    if (tasker_.QueryTaskCount() == 0 && !pollQuery_->text().isEmpty())
        tasker_.ExecQueryTask(pollQuery_->text(), 5, &measured_, QStringLiteral("Text"),
                              CommTasker::AssignProperty);
}

void LinkMonitor::OperationTimeout() {
    identity_->setText(QStringLiteral("Timeout!"));
    // The link resets itself after this; keep it usable for the next try.
    QTimer::singleShot(
        0, this, [this] { tasker_.SetupTimeoutTask(this, QStringLiteral("OperationTimeout")); });
}

void LinkMonitor::ReportStatus(const QString& text, int msec) {
    status_->setText(text);
    QTimer::singleShot(msec, status_, [this, text] {
        if (status_->text() == text)
            status_->clear();
    });
}

void LinkMonitor::refreshState() {
    state_->setText(QStringLiteral("%1   queries %2   commands %3   OpMode %4   max reply %5 s")
                        .arg(tasker_.CommType())
                        .arg(tasker_.QueryTaskCount())
                        .arg(tasker_.CmdTaskCount())
                        .arg(tasker_.OpMode())
                        .arg(tasker_.MaxRspTimeSec(), 0, 'f', 2));
}

} // namespace trq
