#include "session/sequencetable.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <map>

namespace trq {

namespace {

using sequencecsv::kColumns;

} // namespace

SequenceTableModel::SequenceTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int SequenceTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int SequenceTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SequenceTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return rows_[std::size_t(index.row())][std::size_t(index.column())];
}

bool SequenceTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid) || role != Qt::EditRole)
        return false;
    // A line break would split the row in two lines of the file.
    QString text = value.toString().simplified();
    QString& cell = rows_[std::size_t(index.row())][std::size_t(index.column())];
    if (cell == text)
        return true;
    cell = text;
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

Qt::ItemFlags SequenceTableModel::flags(const QModelIndex& index) const {
    return QAbstractTableModel::flags(index) |
           (index.isValid() ? Qt::ItemIsEditable : Qt::NoItemFlags);
}

QVariant SequenceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section >= markedFirst_ && section <= markedLast_
                   ? QStringLiteral("\u25B6 %1").arg(section + 1)
                   : QString::number(section + 1);
    return section >= 0 && section < ColumnCount ? QLatin1String(kColumns[std::size_t(section)])
                                                 : QVariant();
}

int SequenceTableModel::freshStep() const {
    int highest = 0;
    for (const Row& r : rows_)
        highest = std::max(highest, r[Step].toInt());
    return highest + 1;
}

bool SequenceTableModel::insertRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || row > rowCount() || count < 1)
        return false;
    const bool numbered =
        std::any_of(rows_.begin(), rows_.end(), [](const Row& r) { return !r[Step].isEmpty(); });
    const int step = freshStep();
    markedFirst_ = markedLast_ = -1; // the rows no longer match the run
    beginInsertRows({}, row, row + count - 1);
    for (int k = 0; k < count; ++k) {
        Row r;
        r[Channel] = row > 0 ? rows_[std::size_t(row - 1)][Channel] : QStringLiteral("1");
        r[Dwell] = QStringLiteral("1");
        if (numbered)
            r[Step] = QString::number(step + k);
        rows_.insert(rows_.begin() + row + k, r);
    }
    endInsertRows();
    return true;
}

bool SequenceTableModel::removeRows(int row, int count, const QModelIndex& parent) {
    if (parent.isValid() || row < 0 || count < 1 || row + count > rowCount())
        return false;
    markedFirst_ = markedLast_ = -1; // the rows no longer match the run
    beginRemoveRows({}, row, row + count - 1);
    rows_.erase(rows_.begin() + row, rows_.begin() + row + count);
    endRemoveRows();
    return true;
}

bool SequenceTableModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                                  const QModelIndex& destinationParent, int destinationChild) {
    if (sourceParent.isValid() || destinationParent.isValid() || count < 1 || sourceRow < 0 ||
        sourceRow + count > rowCount() || destinationChild < 0 || destinationChild > rowCount() ||
        (destinationChild >= sourceRow && destinationChild <= sourceRow + count))
        return false;
    markedFirst_ = markedLast_ = -1; // the rows no longer match the run
    beginMoveRows({}, sourceRow, sourceRow + count - 1, {}, destinationChild);
    const auto first = rows_.begin() + sourceRow;
    const auto last = first + count;
    if (destinationChild < sourceRow)
        std::rotate(rows_.begin() + destinationChild, first, last);
    else
        std::rotate(first, last, rows_.begin() + destinationChild);
    endMoveRows();
    return true;
}

bool SequenceTableModel::copyRows(int first, int count) {
    if (first < 0 || count < 1 || first + count > rowCount())
        return false;
    // Copies numbered as the rows are would join the steps they follow.
    std::map<QString, QString> renumbered;
    int step = freshStep();
    std::vector<Row> copies(rows_.begin() + first, rows_.begin() + first + count);
    for (Row& r : copies)
        if (!r[Step].isEmpty()) {
            auto [it, added] = renumbered.emplace(r[Step], QString());
            if (added)
                it->second = QString::number(step++);
            r[Step] = it->second;
        }
    markedFirst_ = markedLast_ = -1; // the rows no longer match the run
    beginInsertRows({}, first + count, first + 2 * count - 1);
    rows_.insert(rows_.begin() + first + count, copies.begin(), copies.end());
    endInsertRows();
    return true;
}

void SequenceTableModel::setSequence(const Sequence& sequence) {
    QStringList lines = QString::fromUtf8(sequence.toCsv()).split(QStringLiteral("\r\n"));
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    beginResetModel();
    rows_.clear();
    markedFirst_ = markedLast_ = -1;
    std::vector<int> columnOf;
    for (const QString& name : sequencecsv::fields(lines.value(0)))
        columnOf.push_back(
            int(std::find_if(kColumns.begin(), kColumns.end(),
                             [&](const char* k) { return name == QLatin1String(k); }) -
                kColumns.begin()));
    for (qsizetype n = 1; n < lines.size(); ++n) {
        Row r;
        const QStringList fields = sequencecsv::fields(lines.at(n));
        for (qsizetype i = 0; i < fields.size() && i < qsizetype(columnOf.size()); ++i)
            if (columnOf[std::size_t(i)] < ColumnCount)
                r[std::size_t(columnOf[std::size_t(i)])] = fields.at(i);
        rows_.push_back(r);
    }
    endResetModel();
}

QByteArray SequenceTableModel::csv() const {
    std::vector<int> used;
    for (int c = 0; c < ColumnCount; ++c)
        if ((c >= Channel && c <= Dwell) ||
            std::any_of(rows_.begin(), rows_.end(), [c](const Row& r) { return !r[c].isEmpty(); }))
            used.push_back(c);
    QStringList lines, fields;
    for (int c : used)
        fields << QLatin1String(kColumns[std::size_t(c)]);
    lines << fields.join(QLatin1Char(','));
    for (const Row& r : rows_) {
        fields.clear();
        for (int c : used)
            fields << sequencecsv::written(r[std::size_t(c)]);
        lines << fields.join(QLatin1Char(','));
    }
    return (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
}

void SequenceTableModel::markRunning(int step) {
    const int oldFirst = markedFirst_, oldLast = markedLast_;
    markedFirst_ = markedLast_ = -1;
    // The rows are grouped into steps as the file's reading groups them.
    const bool numbered =
        std::any_of(rows_.begin(), rows_.end(), [](const Row& r) { return !r[Step].isEmpty(); });
    int index = -1;
    const QString* last = nullptr;
    for (int r = 0; step >= 0 && r < rowCount(); ++r) {
        const Row& row = rows_[std::size_t(r)];
        if (std::all_of(row.begin(), row.end(), [](const QString& f) { return f.isEmpty(); }))
            continue;
        if (!numbered || !last || *last != row[Step])
            ++index;
        last = &row[Step];
        if (index == step) {
            markedFirst_ = markedFirst_ < 0 ? r : markedFirst_;
            markedLast_ = r;
        } else if (index > step) {
            break;
        }
    }
    if (oldFirst >= 0 && oldLast < rowCount())
        emit headerDataChanged(Qt::Vertical, oldFirst, oldLast);
    if (markedFirst_ >= 0)
        emit headerDataChanged(Qt::Vertical, markedFirst_, markedLast_);
}

std::variant<Sequence, QString> SequenceTableModel::sequence() const {
    std::variant<Sequence, QString> read = Sequence::fromCsv(csv());
    QString* why = std::get_if<QString>(&read);
    if (!why)
        return read;
    if (std::all_of(rows_.begin(), rows_.end(), [](const Row& r) {
            return std::all_of(r.begin(), r.end(), [](const QString& f) { return f.isEmpty(); });
        }))
        return tr("The table has no step.");
    // The file's line n is the table's row n - 1: the header is no row.
    QString pattern = Sequence::tr("Line %1: %2");
    pattern.replace(QLatin1String("%1"), QStringLiteral("\x01"))
        .replace(QLatin1String("%2"), QStringLiteral("\x02"));
    pattern = QRegularExpression::escape(pattern)
                  .replace(QStringLiteral("\\\x01"), QStringLiteral("(\\d+)"))
                  .replace(QStringLiteral("\\\x02"), QStringLiteral("(.*)"));
    const QRegularExpressionMatch m =
        QRegularExpression(QLatin1Char('^') + pattern + QLatin1Char('$'),
                           QRegularExpression::DotMatchesEverythingOption)
            .match(*why);
    if (m.hasMatch())
        return tr("Row %1: %2").arg(m.captured(1).toInt() - 1).arg(m.captured(2));
    return *why;
}

} // namespace trq
