#include "link/dlgqueryinitial.h"

#include "link/commtasker.h"
#include "shell/strings.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace trq {

dlgQueryInitial::dlgQueryInitial(CommTasker& tasker, QWidget* parent)
    : QDialog(parent), tasker_(tasker), progress_(new QProgressBar(this)),
      remaining_(new QLabel(this)), cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("dlgQueryInitial"));
    setWindowTitle(LoadResString(232));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(LoadResString(231), this));
    layout->addWidget(progress_);
    layout->addWidget(remaining_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    setMinimumWidth(340);
    checkTimer_.setInterval(100);
    connect(&checkTimer_, &QTimer::timeout, this, &dlgQueryInitial::CheckTimer_Timer);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        checkTimer_.stop();
        reject(); // the result stays true: cancelled
    });
}

QString dlgQueryInitial::remainingText(double maxRspTimeSec, int queued) {
    const auto secs = static_cast<long long>(std::floor(maxRspTimeSec * queued + 2));
    return QStringLiteral("Remaining about ") + QString::number(secs) + QStringLiteral(" secs...");
}

bool dlgQueryInitial::Execute() {
    result_ = true;
    progress_->setRange(0, std::max(tasker_.QueryTaskCount(), 1));
    progress_->setValue(0);
    remaining_->clear();
    checkTimer_.start();
    exec();
    checkTimer_.stop();
    return result_;
}

void dlgQueryInitial::CheckTimer_Timer() {
    tasker_.DoWriterTimer(checkTimer_.interval());
    const int queued = tasker_.QueryTaskCount();
    if (queued > 0) {
        remaining_->setText(remainingText(tasker_.MaxRspTimeSec(), queued));
        progress_->setValue(std::max(progress_->maximum() - queued, 0));
        return;
    }
    result_ = false;
    checkTimer_.stop();
    progress_->setValue(0);
    accept();
}

} // namespace trq
