#pragma once

#include "storage/recordarchive.h"

#include <QWidget>

class QLineEdit;
class QListWidget;

namespace trq {

// The saved records to pick from, newest first, with where each was
// recorded where the archive knows it, and a filter line above them:
// words of the station or supply, and a day or a range of days.
class RecordList : public QWidget {
    Q_OBJECT
public:
    explicit RecordList(QWidget* parent = nullptr, int startWidth = 14);

    QListWidget* list() const { return list_; }
    QLineEdit* filterBox() const { return filter_; }
    // Lists the archive's records as the filter takes them: read once, then
    // filtered as the user types (a server is asked once per list). Where
    // they cannot be read, the list says why.
    void fill(RecordArchive& archive);
    // The record number of a row of the list.
    QString numberAt(int row) const;
    void setVisible(bool visible) override;

signals:
    void chosen(int row);

private:
    void refill();

    QLineEdit* filter_;
    QListWidget* list_;
    int startWidth_;
    QList<ArchivedRecord> records_;
    QString problem_;
};

} // namespace trq
