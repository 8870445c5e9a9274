#pragma once

#include "storage/recordstore.h"

#include <QAbstractTableModel>

#include <vector>

namespace trq {

// The rows of the table window: sample number, time, then voltage, current
// and sampling condition per channel, then the comment.
class SampleTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit SampleTableModel(int channels, QObject* parent = nullptr);

    int channels() const { return channels_; }
    int commentColumn() const { return 2 + 3 * channels_; }
    // Widths of the columns in twips, as the grid lays them out.
    static int columnTwips(int column, int channels);

    void setRows(std::vector<SampleRow> rows);
    void appendRow(const SampleRow& row);
    void clear();
    const SampleRow& row(int r) const { return rows_[std::size_t(r)]; }
    // The row holding sample seqNo, or -1; rows are in sample order.
    int rowOfSeqNo(qint64 seqNo) const;
    void setComment(int r, const QString& comment);
    // The highlighted row (-1 for none).
    void setHighlight(int r);
    int highlight() const { return highlight_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int channels_;
    std::vector<SampleRow> rows_;
    std::vector<bool> live_; // recorded now, not read back from the working table
    int highlight_ = -1;
};

} // namespace trq
