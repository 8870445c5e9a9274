#include "ui/tracewindow.h"

#include "core/debugtrace.h"

#include <QVBoxLayout>

namespace trq {

TraceWindow::TraceWindow(DebugTrace& trace, QWidget* parent)
    : QWidget(parent, Qt::Window), lines_(new QListView(this)) {
    setObjectName(QStringLiteral("TraceWindow"));
    setWindowTitle(tr("Debug"));
    lines_->setObjectName(QStringLiteral("traceLines"));
    lines_->setUniformItemSizes(true); // keeps 20000 lines cheap to lay out
    lines_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lines_->setModel(&trace);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(lines_);
    resize(520, 420);
    // Follow the newest line while the view is at the bottom.
    connect(&trace, &QAbstractItemModel::rowsInserted, lines_, [this] {
        if (isVisible())
            lines_->scrollToBottom();
    });
}

} // namespace trq
