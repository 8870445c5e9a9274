#pragma once

#include "session/sequence.h"

#include <QAbstractTableModel>

#include <array>
#include <variant>
#include <vector>

namespace trq {

// A sequence's rows as texts, one row per step and channel, in the columns
// of its CSV file. What the rows mean is what Sequence::fromCsv reads from
// them, so a table and a file never read differently.
class SequenceTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The file's columns.
    using Column = sequencecsv::Column;
    using enum sequencecsv::Column;

    explicit SequenceTableModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    // New rows hold a second on the channel of the row above.
    bool insertRows(int row, int count, const QModelIndex& parent = {}) override;
    bool removeRows(int row, int count, const QModelIndex& parent = {}) override;
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                  const QModelIndex& destinationParent, int destinationChild) override;
    // The rows again right after them, as steps of their own.
    bool copyRows(int first, int count);

    void setSequence(const Sequence& sequence);
    // The rows as a file has them, in the columns some row uses.
    QByteArray csv() const;
    // What the rows read as, or why they do not (naming the row).
    std::variant<Sequence, QString> sequence() const;
    // The rows of the sequence's step (by its index; -1: none) marked in
    // their header as the one running.
    void markRunning(int step);

private:
    using Row = std::array<QString, ColumnCount>;
    // A step number no row has yet.
    int freshStep() const;
    std::vector<Row> rows_;
    int markedFirst_ = -1, markedLast_ = -1;
};

} // namespace trq
