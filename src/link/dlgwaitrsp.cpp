#include "link/dlgwaitrsp.h"

#include "link/commtasker.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace trq {

dlgWaitRsp::dlgWaitRsp(CommTasker& tasker, QWidget* parent)
    : QDialog(parent), tasker_(tasker), progress_(new QProgressBar(this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(QStringLiteral("dlgWaitRsp"));
    setWindowTitle(QStringLiteral("Dialog Caption"));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Waiting Last Response..."), this));
    layout->addWidget(progress_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    checkTimer_.setInterval(100);
    connect(&checkTimer_, &QTimer::timeout, this, &dlgWaitRsp::CheckTimer_Timer);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        checkTimer_.stop();
        reject();
    });
}

bool dlgWaitRsp::Execute() {
    result_ = true;
    progress_->setValue(0);
    checkTimer_.start();
    exec();
    checkTimer_.stop();
    return result_;
}

void dlgWaitRsp::CheckTimer_Timer() {
    // An endless moving bar: it only shows that the link is still worked.
    const int next = progress_->value() + 1;
    progress_->setValue(next > progress_->maximum() ? progress_->minimum() : next);
    tasker_.DoWriterTimer(100);
    if (!tasker_.IsQueryPending() && !tasker_.IsCommandPending()) {
        result_ = true;
        checkTimer_.stop();
        accept();
    }
}

} // namespace trq
