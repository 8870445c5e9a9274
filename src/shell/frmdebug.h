#pragma once

#include <QListView>
#include <QWidget>

namespace trq {

class DebugTrace;

// The trace window: shows the trace list, newest line last, not modal.
class frmDebug : public QWidget {
    Q_OBJECT
public:
    explicit frmDebug(DebugTrace& trace, QWidget* parent = nullptr);

    QListView* lstReport() const { return lstReport_; }

private:
    QListView* lstReport_;
};

} // namespace trq
