#include "shell/frmdebug.h"

#include "shell/debugtrace.h"

#include <QVBoxLayout>

namespace trq {

frmDebug::frmDebug(DebugTrace& trace, QWidget* parent)
    : QWidget(parent, Qt::Window), lstReport_(new QListView(this)) {
    setObjectName(QStringLiteral("frmDebug"));
    setWindowTitle(tr("Debug"));
    lstReport_->setObjectName(QStringLiteral("lstReport"));
    lstReport_->setUniformItemSizes(true); // keeps 20000 lines cheap to lay out
    lstReport_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lstReport_->setModel(&trace);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(lstReport_);
    resize(520, 420);
    // Follow the newest line while the view is at the bottom.
    connect(&trace, &QAbstractItemModel::rowsInserted, lstReport_, [this] {
        if (isVisible())
            lstReport_->scrollToBottom();
    });
}

} // namespace trq
