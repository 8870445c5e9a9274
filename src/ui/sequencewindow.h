#pragma once

#include "session/sequencetable.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QCustomPlot;
class QLabel;
class QPushButton;
class QTableView;
class QToolButton;

namespace trq {

class InstrumentSession;
class Prompter;

// A sequence for the session's supply: its steps as an editable table, a
// preview of what it sets, kept in CSV files or begun from a starting point,
// and its run with its progress.
class SequenceWindow : public QWidget {
    Q_OBJECT
public:
    SequenceWindow(InstrumentSession& session, Prompter& prompter, QWidget* parent = nullptr);

private:
    QPushButton* button(const QString& name, const QString& caption);
    QPushButton* buttonOf(const QString& name) const;
    void buildStartMenu(QToolButton* start);
    void startFrom(int which);
    // Rows replaced by a file's or a starting point's, the user agreeing
    // where rows of their own would go.
    bool replaceRows(const Sequence& sequence);
    void load();
    void save();
    void addRow();
    void removeRows();
    void moveRows(int by);
    void copyRows();
    // The selected rows' span, or the current row; nothing without one.
    std::pair<int, int> selectedSpan() const;
    // The table read again: its problem, the preview, Run.
    void tableChanged();
    void showPreview(const Sequence& sequence);
    void run();
    void showProgress();

    InstrumentSession& session_;
    Prompter& prompter_;
    SequenceTableModel model_;
    QTableView* table_;
    QLabel* problem_;
    QCustomPlot* plot_;
    QLabel* previewNote_;
    QCheckBox* hold_;
    QPushButton *run_, *pause_, *resume_, *stop_;
    QLabel *state_, *progress_, *notice_;
    QString folder_;
    QString finished_; // how the last run ended
    bool valid_ = false;
    bool edited_ = false;
    bool runEdited_ = true; // since the run began
    QTimer reread_;         // edits come in bursts: read once after them
    QTimer progressTimer_;
};

} // namespace trq
