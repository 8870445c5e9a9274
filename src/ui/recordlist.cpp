#include "ui/recordlist.h"

#include <QFontDatabase>
#include <QLineEdit>
#include <QListWidget>
#include <QVBoxLayout>

namespace trq {

RecordList::RecordList(QWidget* parent, int startWidth)
    : QWidget(parent), filter_(new QLineEdit(this)), list_(new QListWidget(this)),
      startWidth_(startWidth) {
    filter_->setObjectName(QStringLiteral("recordFilter"));
    filter_->setPlaceholderText(tr("Filter: station, supply, 2026-12-01..2026-12-07"));
    filter_->setClearButtonEnabled(true);
    // Columns need a fixed-pitch font.
    list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(filter_);
    layout->addWidget(list_, 1);
    connect(filter_, &QLineEdit::textChanged, this, &RecordList::refill);
    connect(list_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { emit chosen(list_->row(item)); });
    connect(list_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { emit chosen(list_->row(item)); });
}

void RecordList::fill(RecordArchive& archive) {
    archive_ = &archive;
    refill();
}

void RecordList::refill() {
    list_->clear();
    if (!archive_)
        return;
    for (const ArchivedRecord& r : archive_->records(RecordFilter::parse(filter_->text()))) {
        QString line = RecordStore::listLine(r.header, startWidth_);
        if (!r.station.isEmpty())
            line += QStringLiteral("  ") + r.station + QStringLiteral(" / ") + r.supply;
        list_->addItem(line);
    }
}

QString RecordList::numberAt(int row) const {
    if (row < 0 || row >= list_->count())
        return {};
    return RecordStore::numberOfListLine(list_->item(row)->text());
}

void RecordList::setVisible(bool visible) {
    QWidget::setVisible(visible);
    // Shown and hidden as one: callers ask the list itself.
    list_->setVisible(visible);
}

} // namespace trq
