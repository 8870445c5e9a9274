#include "ui/tablewindow.h"

#include "core/prompter.h"
#include "session/recording.h"
#include "session/workingrecord.h"
#include "ui/benchpanels.h"
#include "ui/recordlist.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace trq {

namespace {

// The filter's codes for the sampling condition; empty: every row.
const QChar kFilterCodes[] = {QChar(),          QLatin1Char('0'), QLatin1Char('1'),
                              QLatin1Char('2'), QLatin1Char('3'), QChar()};

// Widths were laid out in twips for an 8-point font (13 pixels high); they
// grow with the font in use so the texts still fit.
int twipsToPixels(int twips, const QWidget* w) {
    const double scale = std::max(1.0, w->fontMetrics().height() / 13.0);
    return int(twips * w->logicalDpiX() / 1440.0 * scale);
}

} // namespace

TableWindow::TableWindow(Recording& recording, Prompter& prompter, QWidget* parent)
    : QWidget(parent), recording_(recording), record_(recording.record()), prompter_(prompter),
      model_(recording.channels()), grid_(new QTableView(this)), recNo_(new QLineEdit(this)),
      startTime_(new QLineEdit(this)), endTime_(new QLineEdit(this)),
      description_(new QLineEdit(this)), filter_(new QComboBox(this)), supply_(new QComboBox(this)),
      list_(new RecordList(this)), commentPanel_(new QWidget(this)),
      comment_(new QLineEdit(commentPanel_)) {
    setObjectName(QStringLiteral("TableWindow"));
    setWindowTitle(tr("Data Table"));
    recording_.engine().addView(this);
    connect(&record_, &WorkingRecord::changed, this, &TableWindow::showHeader);
    // Its lines are another store's records now.
    connect(&record_, &WorkingRecord::archiveChanged, list_, &QWidget::hide);
    connect(&recording_, &Recording::workingTableReplaced, this, &TableWindow::refill);
    connect(&recording_, &Recording::eventAdded, this, [this](const RecordEvent& e) {
        model_.addEvent(e);
        model_.setHighlight(model_.highlight()); // repaint
    });

    grid_->setModel(&model_);
    grid_->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid_->verticalHeader()->setVisible(false);
    grid_->verticalHeader()->setDefaultSectionSize(grid_->fontMetrics().height() + 6);
    applyColumnWidths();
    // A reset model gives the header its default widths back.
    connect(&model_, &QAbstractItemModel::modelReset, this, &TableWindow::applyColumnWidths);
    connect(grid_, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.column() == model_.commentColumn())
            beginComment(index.row());
    });

    // By index: the entries name the stored condition codes.
    filter_->addItems({tr("All"), tr("Time"), tr("Above the upper limit"),
                       tr("Below the lower limit"), tr("Condition: fixed level (rel. to reading)"),
                       tr("Condition: percentage (rel. to reading)")});
    connect(filter_, &QComboBox::activated, this, &TableWindow::refill);
    supply_->setObjectName(QStringLiteral("supply"));
    supply_->hide();
    connect(supply_, &QComboBox::activated, this, &TableWindow::refill);

    recNo_->setReadOnly(true);
    recNo_->setMaximumWidth(80);
    connect(startTime_, &QLineEdit::textChanged, this, [this](const QString& text) {
        const QDateTime t = QDateTime::fromString(text, QLatin1String(kRecordTimeFormat));
        if (t.isValid())
            recording_.engine().setStartTime(t);
    });
    // The boxes show the working record; what the user types goes to it.
    connect(startTime_, &QLineEdit::textEdited, &record_, &WorkingRecord::setStartTime);
    connect(endTime_, &QLineEdit::textEdited, &record_, &WorkingRecord::setEndTime);
    connect(description_, &QLineEdit::textEdited, &record_, &WorkingRecord::setDescription);

    list_->hide();
    connect(list_, &RecordList::chosen, this, &TableWindow::chooseRecord);

    auto* okComment = new QPushButton(tr("OK"), commentPanel_);
    auto* cancelComment = new QPushButton(tr("Cancel"), commentPanel_);
    auto* commentLayout = new QHBoxLayout(commentPanel_);
    commentLayout->addWidget(new QLabel(tr("Data Comment"), commentPanel_));
    commentLayout->addWidget(comment_, 1);
    commentLayout->addWidget(okComment);
    commentLayout->addWidget(cancelComment);
    commentPanel_->hide();
    connect(okComment, &QPushButton::clicked, this, &TableWindow::acceptComment);
    connect(cancelComment, &QPushButton::clicked, commentPanel_, &QWidget::hide);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(tr("No."), this), 0, 0);
    fields->addWidget(recNo_, 0, 1);
    fields->addWidget(new QLabel(tr("Start Time:"), this), 0, 2);
    fields->addWidget(startTime_, 0, 3);
    fields->addWidget(new QLabel(tr("End Time:"), this), 0, 4);
    fields->addWidget(endTime_, 0, 5);
    fields->addWidget(new QLabel(tr("MEMO"), this), 1, 0);
    fields->addWidget(description_, 1, 1, 1, 4);
    fields->addWidget(supply_, 1, 5);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buildCommandRow());
    layout->addWidget(list_);
    layout->addWidget(commentPanel_);
    layout->addWidget(grid_, 1);

    // The last recording and its header come back as the working table
    // holds them.
    showHeader();
    refill();
}

TableWindow::~TableWindow() {
    recording_.engine().removeView(this);
}

QWidget* TableWindow::buildCommandRow() {
    auto* row = new QWidget(this);
    auto* clear = new QPushButton(tr("Clear"), row);
    auto* save = new QPushButton(tr("Save"), row);
    auto* load = new QPushButton(tr("Load"), row);
    connect(clear, &QPushButton::clicked, this, &TableWindow::clearData);
    connect(save, &QPushButton::clicked, this, &TableWindow::save);
    connect(load, &QPushButton::clicked, this, &TableWindow::openRecordList);
    auto* report = new QPushButton(tr("Report..."), row);
    connect(report, &QPushButton::clicked, this, &TableWindow::reportRequested);
    // Two buttons that build test data from the fixed records 10018 and 10019.
    auto* generate = new QPushButton(tr("Generate"), row);
    auto* generateMin = new QPushButton(tr("Generate"), row);
    generate->setObjectName(QStringLiteral("generateButton"));
    generateMin->setObjectName(QStringLiteral("generateCopiesButton"));
    connect(generate, &QPushButton::clicked, this,
            [this] { trapped(recording_.store().generate()); });
    connect(generateMin, &QPushButton::clicked, this,
            [this] { trapped(recording_.store().generateCopies(10)); });
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(filter_);
    layout->addStretch(1);
    for (QPushButton* b : {clear, save, load, report, generate, generateMin})
        layout->addWidget(b);
    return row;
}

void TableWindow::showHeader() {
    const WorkingHeader& h = record_.header();
    recNo_->setText(h.recNo);
    startTime_->setText(h.startTime);
    endTime_->setText(h.endTime);
    description_->setText(h.description);
}

void TableWindow::applyColumnWidths() {
    // The laid-out widths, but never narrower than a heading or a time.
    const QFontMetrics fm = grid_->fontMetrics();
    for (int c = 0; c < model_.columnCount(); ++c) {
        int width = twipsToPixels(SampleTableModel::columnTwips(c, model_.channels()), this);
        width = std::max(
            width, fm.horizontalAdvance(model_.headerData(c, Qt::Horizontal).toString()) + 16);
        if (c == 1)
            width =
                std::max(width, fm.horizontalAdvance(QStringLiteral("0000/00/00 00:00:00")) + 24);
        grid_->setColumnWidth(c, width);
    }
}

bool TableWindow::trapped(bool ok) {
    if (!ok)
        prompter_.message(recording_.store().systemErrorText());
    return ok;
}

void TableWindow::clearData() {
    const std::optional<int> rows = recording_.store().workingCount();
    if (!trapped(rows.has_value()))
        return; // an unreadable count is no "nothing to clear"
    if (*rows > 0 &&
        prompter_.ask(tr("Do you want to clear all of data records?"), {}, Prompter::Icon::Question,
                      Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return;
    trapped(recording_.engine().clearAll());
}

void TableWindow::save() {
    record_.save({tr("You need do record first and then try this again!"),
                  tr("Do you want to save this record data?"),
                  tr("Do you replace existing data with current record?"), 0},
                 timeLength_ ? timeLength_() : 0);
}

void TableWindow::openRecordList() {
    if (recording_.refuseWhileRecording())
        return;
    list_->fill(record_.archive());
    list_->show();
    list_->raise();
}

void TableWindow::chooseRecord(int index) {
    const QString number = list_->numberAt(index);
    if (number.isEmpty())
        return;
    list_->hide();
    if (const auto loaded = recording_.load(number))
        recording_.announceLoaded(*loaded);
}

QListWidget* TableWindow::recordList() const {
    return list_->list();
}

void TableWindow::refill() {
    const int index = std::clamp(filter_->currentIndex(), 0, 5);
    // A bench's run shows one supply's rows at a time, the first at first.
    const std::vector<ExportedSupply> run = record_.runSupplies();
    const ExportedSupply* chosen = chooseRunSupply(*supply_, run);
    RecordStore* store = chosen ? chosen->store : &recording_.store();
    // An unreadable table is said, not shown as empty.
    if (!trapped(model_.show(store, kFilterCodes[index],
                             chosen ? chosen->channels : recording_.channels())))
        return;
    model_.setEvents(store->events());
}

void TableWindow::selectSample(int idx, const RecordStore* store) {
    if (store && store != model_.store())
        return; // another supply's sample
    // The grid row of that sample: also in a loaded record (no points
    // buffered) and in a filtered view, where rows and samples differ.
    const int row = model_.rowOfSeqNo(idx);
    if (row < 0)
        return;
    model_.setHighlight(row);
    grid_->scrollTo(model_.index(std::max(row - 2, 0), 0), QAbstractItemView::PositionAtTop);
}

void TableWindow::beginComment(int row) {
    commentRow_ = row;
    model_.setHighlight(row);
    comment_->setText(model_.row(row).comment);
    commentPanel_->show();
}

void TableWindow::acceptComment() {
    if (commentRow_ >= 0 && commentRow_ < model_.rowCount()) {
        const QString text = comment_->text();
        // The grid shows only what the database holds.
        if (!trapped(recording_.store().setComment(model_.row(commentRow_).recTime, text)))
            return;
        // Every row of that second takes it, as the database does.
        model_.commentChanged();
        record_.markUnsaved();
    }
    commentPanel_->hide();
}

void TableWindow::recordingStarted(const QDateTime&, const QDateTime&) {
    // A bench's run names its supplies as it starts.
    if (supply_->isVisible() || !record_.runSupplies().empty())
        refill();
}

void TableWindow::pointWritten(const SampleRow& row) {
    // Another supply of the bench shown takes its rows once the step has
    // stored them (benchStepRecorded).
    if (model_.store() != &recording_.store())
        return;
    model_.appendRow(row);
    grid_->scrollToBottom();
}

void TableWindow::benchStepRecorded() {
    if (model_.store() != &recording_.store()) {
        refill();
        grid_->scrollToBottom();
    }
}

void TableWindow::cleared() {
    model_.clear();
}

void TableWindow::dataCleared() {
    filter_->setCurrentIndex(0);
}

} // namespace trq
