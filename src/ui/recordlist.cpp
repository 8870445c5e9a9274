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
    const std::optional<QList<ArchivedRecord>> read = archive.records();
    records_ = read.value_or(QList<ArchivedRecord>());
    problem_ = read ? QString() : archive.lastError();
    refill();
}

void RecordList::refill() {
    list_->clear();
    if (!problem_.isEmpty()) {
        auto* item = new QListWidgetItem(problem_, list_);
        item->setFlags(Qt::NoItemFlags); // nothing to choose
        return;
    }
    const RecordFilter filter = RecordFilter::parse(filter_->text());
    for (const ArchivedRecord& r : std::as_const(records_)) {
        if (!filter.matches(r))
            continue;
        QString line = RecordStore::listLine(r.header, startWidth_);
        if (!r.station.isEmpty())
            line += QStringLiteral("  ") + r.station + QStringLiteral(" / ") + r.supply;
        auto* item = new QListWidgetItem(line, list_);
        item->setData(Qt::UserRole, r.header.recNo.trimmed());
    }
}

QString RecordList::numberAt(int row) const {
    if (row < 0 || row >= list_->count())
        return {};
    return list_->item(row)->data(Qt::UserRole).toString();
}

void RecordList::setVisible(bool visible) {
    QWidget::setVisible(visible);
    // Shown and hidden as one: callers ask the list itself.
    list_->setVisible(visible);
}

} // namespace trq
