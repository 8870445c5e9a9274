#include "ui/sampletablemodel.h"

#include <QBrush>
#include <QColor>

#include <algorithm>

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
    return (column - 2) % 3 == 1 ? 1350 : 1300;
}

void SampleTableModel::setRows(std::vector<SampleRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    live_.assign(rows_.size(), false);
    highlight_ = -1;
    endResetModel();
}

void SampleTableModel::appendRow(const SampleRow& row) {
    const int r = int(rows_.size());
    beginInsertRows({}, r, r);
    rows_.push_back(row);
    live_.push_back(true);
    endInsertRows();
}

void SampleTableModel::clear() {
    setRows({});
}

void SampleTableModel::setComment(int r, const QString& comment) {
    if (r < 0 || r >= rowCount())
        return;
    rows_[std::size_t(r)].comment = comment;
    const QModelIndex cell = index(r, commentColumn());
    emit dataChanged(cell, cell);
}

void SampleTableModel::setHighlight(int r) {
    const int before = highlight_;
    highlight_ = r;
    for (int changed : {before, r})
        if (changed >= 0 && changed < rowCount())
            emit dataChanged(index(changed, 1), index(changed, 4));
}

int SampleTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int SampleTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 3 + 3 * channels_;
}

QVariant SampleTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const int c = index.column();
    const bool highlighted = index.row() == highlight_ && c >= 1 && c <= 4;
    if (role == Qt::ForegroundRole && c > 0)
        return QBrush(highlighted ? QColor(0, 0, 0) : QColor(0, 0, 255));
    if (role == Qt::BackgroundRole && c > 0)
        return QBrush(highlighted ? QColor(255, 192, 255) : QColor(255, 255, 192));
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const SampleRow& r = rows_[std::size_t(index.row())];
    if (c == 0)
        return QString::number(r.seqNo);
    if (c == 1)
        return r.recTime;
    if (c == commentColumn())
        return r.comment;
    const auto channel = std::size_t((c - 2) / 3);
    switch ((c - 2) % 3) {
    case 0:
        return r.volt[channel];
    case 1:
        return r.curr[channel];
    default:
        // Live rows show the recording's conditions; rows read back show the
        // stored codes, the first channel's column empty.
        if (live_[std::size_t(index.row())]) {
            static const char* const live[] = {"Time", "1", "2", "2"};
            return QString::fromLatin1(live[channel]);
        }
        return channel == 0 ? QString() : r.reason[std::min<std::size_t>(channel, 2)];
    }
}

QVariant SampleTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (section == 0)
        return QStringLiteral("取樣次數");
    if (section == 1)
        return QStringLiteral("取樣Time");
    if (section == commentColumn())
        return QStringLiteral("    註    解   ");
    const int channel = (section - 2) / 3 + 1;
    static const char* const kinds[] = {"Voltage[V]", "Current[A]", "取樣條件"};
    return QStringLiteral("CH") + QString::number(channel) + QLatin1Char(':') +
           QString::fromUtf8(kinds[(section - 2) % 3]);
}

int SampleTableModel::rowOfSeqNo(qint64 seqNo) const {
    const auto it = std::lower_bound(rows_.begin(), rows_.end(), seqNo,
                                     [](const SampleRow& r, qint64 n) { return r.seqNo < n; });
    return it != rows_.end() && it->seqNo == seqNo ? int(it - rows_.begin()) : -1;
}

} // namespace trq
