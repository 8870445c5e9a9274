#include "ui/waitdialog.h"

#include "session/linkwait.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace trq {

WaitDialog::WaitDialog(LinkWait& wait, QWidget* parent)
    : QDialog(parent), wait_(wait), progress_(new QProgressBar(this)), detail_(new QLabel(this)),
      cancel_(new QPushButton(tr("Cancel"), this)) {
    setWindowTitle(wait_.title());
    setWindowModality(Qt::ApplicationModal);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(wait_.label(), this));
    layout->addWidget(progress_);
    layout->addWidget(detail_);
    layout->addWidget(cancel_, 0, Qt::AlignRight);
    setMinimumWidth(340);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    // Escape and the window's close button cancel too.
    connect(this, &QDialog::rejected, &wait_, &LinkWait::cancel);
    connect(&wait_, &LinkWait::progressed, this, &WaitDialog::showProgress);
}

void WaitDialog::showProgress() {
    const WaitProgress& p = wait_.progress();
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
