#include "ui/waitdialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace trq {

WaitDialog::WaitDialog(Wait wait, QWidget* parent)
    : QDialog(parent), wait_(std::move(wait)), progress_(new QProgressBar(this)),
      detail_(new QLabel(this)), cancel_(new QPushButton(tr("Cancel"), this)) {
    setWindowTitle(wait_.title);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(wait_.label, this));
    layout->addWidget(progress_);
    layout->addWidget(detail_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    setMinimumWidth(340);
    timer_.setInterval(wait_.intervalMsec);
    connect(&timer_, &QTimer::timeout, this, &WaitDialog::check);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        timer_.stop();
        reject();
    });
}

bool WaitDialog::run() {
    cancelled_ = true;
    progress_->setRange(0, 100);
    progress_->setValue(0);
    detail_->clear();
    timer_.start();
    exec();
    timer_.stop();
    return cancelled_;
}

void WaitDialog::check() {
    const WaitProgress p = wait_.check();
    if (p.done) {
        cancelled_ = false;
        timer_.stop();
        progress_->setValue(0);
        accept();
        return;
    }
    detail_->setText(p.detail);
    if (p.maximum > 0) {
        progress_->setRange(0, p.maximum);
        progress_->setValue(p.value);
    } else {
        // No measure: an endless moving bar shows the link is still worked.
        progress_->setRange(0, 100);
        const int next = progress_->value() + 1;
        progress_->setValue(next > progress_->maximum() ? progress_->minimum() : next);
    }
}

} // namespace trq
