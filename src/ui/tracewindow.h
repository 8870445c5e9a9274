#pragma once

#include <QListView>
#include <QWidget>

namespace trq {

class DebugTrace;

// The trace window: shows the trace list, newest line last, not modal.
class TraceWindow : public QWidget {
    Q_OBJECT
public:
    explicit TraceWindow(DebugTrace& trace, QWidget* parent = nullptr);

    QListView* lines() const { return lines_; }

private:
    QListView* lines_;
};

} // namespace trq
