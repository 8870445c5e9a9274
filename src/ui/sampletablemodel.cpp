#include "ui/sampletablemodel.h"

#include "core/numbers.h"
#include "session/limits.h"

#include <QBrush>
#include <QColor>
#include <QLocale>

#include <algorithm>
#include <limits>
#include <optional>

namespace trq {

SampleTableModel::SampleTableModel(int channels, QObject* parent)
    : QAbstractTableModel(parent), channels_(std::clamp(channels, 1, 4)) {}

int SampleTableModel::columnTwips(int column, int channels) {
    if (column == 0)
        return 900;
    if (column == 1)
        return 1600;
    if (column == 2 + 3 * channels)
        return 2000;
    if (column > 2 + 3 * channels)
        return 1300;
    return (column - 2) % 3 == 1 ? 1350 : 1300;
}

bool SampleTableModel::show(RecordStore* store, QChar reason, int channels) {
    beginResetModel();
    if (channels > 0)
        channels_ = channels;
    store_ = store;
    reason_ = reason;
    pages_.clear();
    recent_.clear();
    highlight_ = -1;
    firstLive_ = -1;
    count_ = 0;
    contiguous_ = true;
    firstSeqNo_ = 0;
    anchors_.clear();
    bool ok = true;
    // Every row, numbered without gaps: the count and the pages come from
    // what the store keeps of the table, no row is counted.
    const std::optional<WorkingSpan> span =
        store_ && reason_.isNull() ? store_->workingSpan() : std::nullopt;
    if (span && span->contiguous && span->count <= std::numeric_limits<int>::max()) {
        count_ = int(span->count);
        firstSeqNo_ = span->firstSeqNo;
    } else if (store_) {
        contiguous_ = false;
        const std::optional<std::vector<qint64>> anchors =
            store_->workingAnchors(reason_, kPageRows, &count_);
        ok = anchors.has_value();
        if (anchors)
            anchors_ = *anchors;
        else
            count_ = 0;
    }
    endResetModel();
    return ok;
}

int SampleTableModel::pageCount() const {
    return contiguous_ ? (count_ + kPageRows - 1) / kPageRows : int(anchors_.size());
}

qint64 SampleTableModel::anchor(int p) const {
    return contiguous_ ? firstSeqNo_ + qint64(p) * kPageRows : anchors_[std::size_t(p)];
}

void SampleTableModel::appendRow(const SampleRow& row) {
    // A filtered table takes only the rows its query would read.
    if (!reason_.isNull() && row.reason[0] != QString(reason_))
        return;
    const int r = count_;
    beginInsertRows({}, r, r);
    if (firstLive_ < 0)
        firstLive_ = row.seqNo;
    if (r == 0)
        firstSeqNo_ = row.seqNo;
    if (contiguous_ && row.seqNo != firstSeqNo_ + r) {
        // Out of step: each page's first sample from now on.
        for (int p = 0; p < pageCount(); ++p)
            anchors_.push_back(anchor(p));
        contiguous_ = false;
    }
    const int p = r / kPageRows;
    if (!contiguous_ && r % kPageRows == 0)
        anchors_.push_back(row.seqNo);
    // A page already read takes the row; others are read when shown.
    if (const auto it = pages_.find(p); it != pages_.end())
        it->second.push_back(row);
    ++count_;
    endInsertRows();
}

void SampleTableModel::clear() {
    beginResetModel();
    pages_.clear();
    recent_.clear();
    anchors_.clear();
    contiguous_ = true;
    firstSeqNo_ = 0;
    count_ = 0;
    firstLive_ = -1;
    highlight_ = -1;
    events_.clear();
    endResetModel();
}

const std::vector<SampleRow>& SampleTableModel::page(int p) const {
    if (const auto it = pages_.find(p); it != pages_.end()) {
        recent_.remove(p);
        recent_.push_front(p);
        return it->second;
    }
    std::vector<SampleRow> rows;
    if (store_ && p < pageCount()) {
        const QList<SampleRow> read = store_->workingPage(reason_, anchor(p), kPageRows);
        rows.assign(read.begin(), read.end());
    }
    recent_.push_front(p);
    if (recent_.size() > kCachedPages) {
        pages_.erase(recent_.back());
        recent_.pop_back();
    }
    return pages_[p] = std::move(rows);
}

SampleRow SampleTableModel::row(int r) const {
    if (r < 0 || r >= count_)
        return {};
    const std::vector<SampleRow>& rows = page(r / kPageRows);
    const std::size_t i = std::size_t(r % kPageRows);
    return i < rows.size() ? rows[i] : SampleRow{};
}

int SampleTableModel::rowOfSeqNo(qint64 seqNo) const {
    // The page whose first sample is the last one not after seqNo.
    int p = 0;
    if (contiguous_) {
        if (seqNo < firstSeqNo_ || seqNo - firstSeqNo_ >= count_)
            return -1;
        p = int((seqNo - firstSeqNo_) / kPageRows);
    } else {
        const auto it = std::upper_bound(anchors_.begin(), anchors_.end(), seqNo);
        if (it == anchors_.begin())
            return -1;
        p = int(it - anchors_.begin()) - 1;
    }
    const std::vector<SampleRow>& rows = page(p);
    const auto at = std::lower_bound(rows.begin(), rows.end(), seqNo,
                                     [](const SampleRow& r, qint64 n) { return r.seqNo < n; });
    if (at == rows.end() || at->seqNo != seqNo)
        return -1;
    return p * kPageRows + int(at - rows.begin());
}

void SampleTableModel::commentChanged() {
    pages_.clear();
    recent_.clear();
    if (count_ > 0)
        emit dataChanged(index(0, commentColumn()), index(count_ - 1, commentColumn()));
}

void SampleTableModel::setEvents(const QList<RecordEvent>& events) {
    events_.clear();
    for (const RecordEvent& e : events)
        addEvent(e);
    if (count_ > 0)
        emit dataChanged(index(0, 0), index(count_ - 1, columnCount() - 1));
}

void SampleTableModel::addEvent(const RecordEvent& e) {
    Marked& m = events_[e.seqNo];
    if (!m.text.isEmpty())
        m.text += QLatin1Char('\n');
    m.text += QStringLiteral("%1: %2").arg(e.recTime, eventText(e));
    m.limit = m.limit || !e.isStep();
}

void SampleTableModel::setHighlight(int r) {
    const int before = highlight_;
    highlight_ = r;
    for (int changed : {before, r})
        if (changed >= 0 && changed < rowCount())
            emit dataChanged(index(changed, 1), index(changed, 4));
}

int SampleTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count_;
}

int SampleTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3 + 5 * channels_;
}

QVariant SampleTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const SampleRow r = row(index.row());
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return text(r, index.row(), index.column());
    return style(r, index.row(), index.column(), role);
}

QVariant SampleTableModel::text(const SampleRow& r, int, int c) const {
    if (c == 0)
        return QString::number(r.seqNo);
    if (c == 1)
        return r.recTime;
    if (c == commentColumn())
        return r.comment;
    if (c > commentColumn()) {
        const auto channel = std::size_t((c - commentColumn() - 1) / 2);
        // As the panel shows them: four decimals, never an exponent.
        const std::optional<double> v =
            parseNumber((c - commentColumn() - 1) % 2 == 0 ? r.charge[channel] : r.energy[channel]);
        return v ? QLocale().toString(*v, 'f', 4) : QString();
    }
    const auto channel = std::size_t((c - 2) / 3);
    switch ((c - 2) % 3) {
    case 0:
        return shownNumber(r.volt[channel]);
    case 1:
        return shownNumber(r.curr[channel]);
    default:
        // Live rows show the recording's conditions; rows read back show the
        // stored codes, the first channel's column empty.
        if (firstLive_ >= 0 && r.seqNo >= firstLive_) {
            static const char* const live[] = {QT_TR_NOOP("Time"), "1", "2", "2"};
            return channel == 0 ? tr(live[0]) : QString::fromLatin1(live[channel]);
        }
        return channel == 0 ? QString() : r.reason[std::min<std::size_t>(channel, 2)];
    }
}

QVariant SampleTableModel::style(const SampleRow& r, int row, int c, int role) const {
    const bool highlighted = row == highlight_ && c >= 1 && c <= 4;
    const auto event = events_.constFind(r.seqNo);
    const bool marked = event != events_.constEnd();
    if (role == Qt::ToolTipRole) {
        QStringList tips;
        if (marked)
            tips << event->text;
        if (r.gap)
            tips << tr("The first point after %1 s without readings (the link was "
                       "lost).")
                        .arg(r.diffLastTime);
        return tips.isEmpty() ? QVariant() : QVariant(tips.join(QLatin1Char('\n')));
    }
    if (role == Qt::ForegroundRole && c > 0)
        return QBrush(highlighted ? QColor(0, 0, 0) : QColor(0, 0, 255));
    if (role == Qt::BackgroundRole && c > 0) {
        if (highlighted)
            return QBrush(QColor(255, 192, 255));
        if (marked && event->limit)
            return QBrush(QColor(255, 170, 160)); // a limit tripped here
        if (marked)
            return QBrush(QColor(200, 225, 255)); // a sequence's step began here
        if (r.gap)
            return QBrush(QColor(210, 210, 210)); // after a gap
        return QBrush(QColor(255, 255, 192));
    }
    return {};
}

QVariant SampleTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return tr("Sample No.");
    if (section == 1)
        return tr("Sample Time");
    if (section == commentColumn())
        return tr("Comment");
    if (section > commentColumn()) {
        const int k = section - commentColumn() - 1;
        return QStringLiteral("CH%1:%2").arg(k / 2 + 1).arg(k % 2 == 0 ? tr("Charge[Ah]")
                                                                       : tr("Energy[Wh]"));
    }
    const int channel = (section - 2) / 3 + 1;
    static const char* const kinds[] = {QT_TR_NOOP("Voltage[V]"), QT_TR_NOOP("Current[A]"),
                                        QT_TR_NOOP("Condition")};
    return QStringLiteral("CH") + QString::number(channel) + QLatin1Char(':') +
           tr(kinds[(section - 2) % 3]);
}

} // namespace trq
