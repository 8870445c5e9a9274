#pragma once

#include "storage/recordstore.h"

#include <QAbstractTableModel>
#include <QHash>

#include <list>
#include <map>
#include <vector>

namespace trq {

// The rows of the table window: sample number, time, then voltage, current
// and sampling condition per channel, the comment, then charge and energy
// per channel. The working table is read a page at a time, so a recording of
// weeks is shown without holding its rows in memory.
class SampleTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPageRows = 1024;
    static constexpr std::size_t kCachedPages = 8;

    explicit SampleTableModel(int channels, QObject* parent = nullptr);

    int channels() const { return channels_; }
    int commentColumn() const { return 2 + 3 * channels_; }
    // Widths of the columns in twips, as the grid lays them out.
    static int columnTwips(int column, int channels);

    // Shows the working table through a filter (a first-channel sampling
    // condition, or none), of a supply with that many channels (0: as
    // before); false when it cannot be read.
    bool show(RecordStore* store, QChar reason = QChar(), int channels = 0);
    const RecordStore* store() const { return store_; }
    // A point just recorded; a filtered table shows it only if it meets the
    // filter.
    void appendRow(const SampleRow& row);
    void clear();
    SampleRow row(int r) const;
    // The row holding sample seqNo, or -1.
    int rowOfSeqNo(qint64 seqNo) const;
    // The comment of every row of that second changed (as the database has it).
    void commentChanged();
    // Limit events mark the rows of their points.
    void setEvents(const QList<RecordEvent>& events);
    void addEvent(const RecordEvent& event);
    // The highlighted row (-1 for none).
    void setHighlight(int r);
    int highlight() const { return highlight_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    const std::vector<SampleRow>& page(int p) const;
    int pageCount() const;
    // The sequence number of row p * kPageRows.
    qint64 anchor(int p) const;
    QVariant text(const SampleRow& r, int row, int column) const;
    QVariant style(const SampleRow& r, int row, int column, int role) const;

    int channels_;
    RecordStore* store_ = nullptr;
    QChar reason_;
    int count_ = 0;
    // Row r is sequence number firstSeqNo_ + r: the pages are found without
    // a pass over the rows. Otherwise each page's first is looked up.
    bool contiguous_ = true;
    qint64 firstSeqNo_ = 0;
    std::vector<qint64> anchors_; // the sequence number of row k * kPageRows
    // Recently read pages, the most recent first.
    mutable std::map<int, std::vector<SampleRow>> pages_;
    mutable std::list<int> recent_;
    qint64 firstLive_ = -1; // rows from this sample on were recorded now
    struct Marked {
        QString text;
        bool limit = false; // else only sequence steps began here
    };
    QHash<qint64, Marked> events_;
    int highlight_ = -1;
};

} // namespace trq
