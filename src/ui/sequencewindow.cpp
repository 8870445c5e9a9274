#include "ui/sequencewindow.h"

#include "core/prompter.h"
#include "session/instrumentsession.h"
#include "session/sequencepreview.h"
#include "session/sequencestatus.h"
#include "session/sequencetemplates.h"
#include "session/sessionsequence.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QToolButton>
#include <qcustomplot.h>

#include <algorithm>
#include <functional>

namespace trq {

namespace {

// One number a starting point asks for.
struct Field {
    QString label;
    double value, minimum, maximum;
    int decimals;
};

// The numbers of a starting point, or nothing when the user cancelled.
std::optional<std::vector<double>> askNumbers(QWidget* parent, const QString& title,
                                              const std::vector<Field>& fields) {
    QDialog d(parent);
    d.setObjectName(QStringLiteral("startingPoint"));
    d.setWindowTitle(title);
    auto* form = new QFormLayout(&d);
    std::vector<QDoubleSpinBox*> edits;
    for (const Field& f : fields) {
        auto* edit = new QDoubleSpinBox(&d);
        edit->setDecimals(f.decimals);
        edit->setRange(f.minimum, f.maximum);
        edit->setValue(f.value);
        form->addRow(f.label, edit);
        edits.push_back(edit);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &d);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &d, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &d, &QDialog::reject);
    if (d.exec() != QDialog::Accepted)
        return std::nullopt;
    std::vector<double> values;
    for (QDoubleSpinBox* e : edits)
        values.push_back(e->value());
    return values;
}

const QColor kChannelColours[] = {QColor(0, 150, 0), QColor(0, 0, 192), QColor(128, 0, 128),
                                  QColor(200, 110, 0)};

} // namespace

SequenceWindow::SequenceWindow(InstrumentSession& session, Prompter& prompter, QWidget* parent)
    : QWidget(parent, Qt::Window), session_(session), prompter_(prompter),
      table_(new QTableView(this)), problem_(new QLabel(this)), plot_(new QCustomPlot(this)),
      previewNote_(new QLabel(this)), hold_(new QCheckBox(tr("&Hold the last values at the end"))),
      state_(new QLabel(this)), progress_(new QLabel(this)), notice_(new QLabel(this)),
      folder_(QDir::homePath()) {
    setObjectName(QStringLiteral("SequenceWindow"));
    setWindowTitle(tr("Sequence"));

    auto* start = new QToolButton(this);
    start->setObjectName(QStringLiteral("startFrom"));
    start->setText(tr("&Start from"));
    start->setPopupMode(QToolButton::InstantPopup);
    buildStartMenu(start);
    auto* files = new QHBoxLayout;
    files->addWidget(start);
    files->addWidget(button(QStringLiteral("load"), tr("&Load...")));
    files->addWidget(button(QStringLiteral("save"), tr("Sa&ve...")));
    files->addStretch(1);

    table_->setObjectName(QStringLiteral("steps"));
    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setStretchLastSection(true);
    auto* rows = new QHBoxLayout;
    rows->addWidget(button(QStringLiteral("add"), tr("&Add")));
    rows->addWidget(button(QStringLiteral("remove"), tr("Re&move")));
    rows->addWidget(button(QStringLiteral("moveUp"), tr("Move &up")));
    rows->addWidget(button(QStringLiteral("moveDown"), tr("Move &down")));
    rows->addWidget(button(QStringLiteral("copy"), tr("&Copy")));
    rows->addStretch(1);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #c62828;"));

    auto* steps = new QWidget(this);
    auto* stepsLayout = new QVBoxLayout(steps);
    stepsLayout->setContentsMargins(0, 0, 0, 0);
    stepsLayout->addWidget(table_, 1);
    stepsLayout->addLayout(rows);
    stepsLayout->addWidget(problem_);
    plot_->setObjectName(QStringLiteral("preview"));
    plot_->setMinimumHeight(180);
    plot_->xAxis->setLabel(tr("Time (s)"));
    plot_->yAxis->setLabel(tr("Voltage (V)"));
    plot_->yAxis2->setLabel(tr("Current (A)"));
    plot_->yAxis2->setVisible(true);
    plot_->legend->setFont(font());
    plot_->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignRight);
    previewNote_->setObjectName(QStringLiteral("previewNote"));
    previewNote_->setWordWrap(true);
    auto* preview = new QWidget(this);
    auto* previewLayout = new QVBoxLayout(preview);
    previewLayout->setContentsMargins(0, 0, 0, 0);
    previewLayout->addWidget(plot_, 1);
    previewLayout->addWidget(previewNote_);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(steps);
    split->addWidget(preview);
    split->setChildrenCollapsible(false);

    hold_->setParent(this);
    hold_->setObjectName(QStringLiteral("hold"));
    run_ = button(QStringLiteral("run"), tr("&Run"));
    pause_ = button(QStringLiteral("pause"), tr("&Pause"));
    resume_ = button(QStringLiteral("resume"), tr("R&esume"));
    stop_ = button(QStringLiteral("stop"), tr("S&top"));
    auto* runRow = new QHBoxLayout;
    runRow->addWidget(hold_);
    runRow->addStretch(1);
    for (QPushButton* b : {run_, pause_, resume_, stop_})
        runRow->addWidget(b);
    state_->setObjectName(QStringLiteral("state"));
    progress_->setObjectName(QStringLiteral("progress"));
    notice_->setObjectName(QStringLiteral("notice"));
    for (QLabel* l : {state_, notice_})
        l->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(files);
    layout->addWidget(split, 1);
    layout->addLayout(runRow);
    layout->addWidget(state_);
    layout->addWidget(progress_);
    layout->addWidget(notice_);

    connect(buttonOf(QStringLiteral("load")), &QPushButton::clicked, this, &SequenceWindow::load);
    connect(buttonOf(QStringLiteral("save")), &QPushButton::clicked, this, &SequenceWindow::save);
    connect(buttonOf(QStringLiteral("add")), &QPushButton::clicked, this, &SequenceWindow::addRow);
    connect(buttonOf(QStringLiteral("remove")), &QPushButton::clicked, this,
            &SequenceWindow::removeRows);
    connect(buttonOf(QStringLiteral("moveUp")), &QPushButton::clicked, this,
            [this] { moveRows(-1); });
    connect(buttonOf(QStringLiteral("moveDown")), &QPushButton::clicked, this,
            [this] { moveRows(1); });
    connect(buttonOf(QStringLiteral("copy")), &QPushButton::clicked, this,
            &SequenceWindow::copyRows);
    connect(run_, &QPushButton::clicked, this, &SequenceWindow::run);
    SequenceRunner& runner = session_.sequence().runner();
    connect(pause_, &QPushButton::clicked, &runner, [&runner] { runner.pause(); });
    connect(resume_, &QPushButton::clicked, &runner, [&runner] { runner.resume(); });
    connect(stop_, &QPushButton::clicked, &runner,
            [&runner] { runner.stop(tr("Stop was pressed.")); });

    reread_.setSingleShot(true);
    reread_.setInterval(150);
    connect(&reread_, &QTimer::timeout, this, &SequenceWindow::tableChanged);
    // Once edited, the table no longer shows the steps of the run.
    auto edited = [this] {
        edited_ = true;
        runEdited_ = true;
        model_.markRunning(-1);
        reread_.start();
    };
    connect(&model_, &QAbstractItemModel::dataChanged, this, edited);
    connect(&model_, &QAbstractItemModel::rowsInserted, this, edited);
    connect(&model_, &QAbstractItemModel::rowsRemoved, this, edited);
    connect(&model_, &QAbstractItemModel::rowsMoved, this, edited);
    connect(&model_, &QAbstractItemModel::modelReset, this, [this] { reread_.start(); });

    progressTimer_.setInterval(1000);
    connect(&progressTimer_, &QTimer::timeout, this, &SequenceWindow::showProgress);
    connect(&runner, &SequenceRunner::stepStarted, this, [this](int step) {
        if (!runEdited_)
            model_.markRunning(step);
        showProgress();
    });
    connect(&runner, &SequenceRunner::stateChanged, this, &SequenceWindow::showProgress);
    connect(&runner, &SequenceRunner::finished, this,
            [this](bool completed, const QString& message) {
                finished_ = completed ? QString() : message;
                runEdited_ = true; // a run begun elsewhere next is no run of these rows
                model_.markRunning(-1);
                showProgress();
            });
    connect(&session_.sequence(), &SessionSequence::noticed, notice_, &QLabel::setText);
    connect(&session_, &InstrumentSession::stateChanged, this, &SequenceWindow::showProgress);
    tableChanged();
    resize(980, 760);
}

QPushButton* SequenceWindow::button(const QString& name, const QString& caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    return b;
}

QPushButton* SequenceWindow::buttonOf(const QString& name) const {
    return findChild<QPushButton*>(name);
}

void SequenceWindow::buildStartMenu(QToolButton* start) {
    auto* menu = new QMenu(start);
    const QString captions[] = {tr("S&taircase..."), tr("&Ramp..."), tr("&On/off cycling..."),
                                tr("&CC/CV charge...")};
    for (int i = 0; i < int(std::size(captions)); ++i)
        connect(menu->addAction(captions[i]), &QAction::triggered, this,
                [this, i] { startFrom(i); });
    start->setMenu(menu);
}

void SequenceWindow::startFrom(int which) {
    // The supply's own limits where it is on line.
    const bool ready = session_.isReady() && session_.supply().channelCount() > 0;
    const int channels = ready ? session_.supply().channelCount() : 4;
    auto maximum = [&](Setting s) {
        return ready ? session_.supply().channel(0).limits[std::size_t(s)].maximum : 30.0;
    };
    const double volts = std::max(maximum(Setting::Voltage), 0.001);
    const double amps = std::max(maximum(Setting::Current), 0.001);
    const Field channel{tr("Channel"), 1, 1, double(channels), 0};
    const Field current{tr("Current limit (A)"), std::min(1.0, amps), 0, amps, 3};
    std::vector<Field> fields;
    std::function<Sequence(const std::vector<double>&)> make;
    QString title;
    switch (which) {
    case 0:
        title = tr("Staircase");
        fields = {channel,
                  {tr("From (V)"), 0, 0, volts, 3},
                  {tr("To (V)"), std::min(5.0, volts), 0, volts, 3},
                  {tr("Steps"), 5, 1, 1000, 0},
                  {tr("Each step (s)"), 10, 0.001, 1e6, 3},
                  current};
        make = [](const std::vector<double>& v) {
            return staircaseSequence(int(v[0]), v[1], v[2], int(v[3]), v[4], v[5]);
        };
        break;
    case 1:
        title = tr("Ramp");
        fields = {channel,
                  {tr("From (V)"), 0, 0, volts, 3},
                  {tr("To (V)"), std::min(5.0, volts), 0, volts, 3},
                  {tr("Ramp time (s)"), 60, 0.001, 1e6, 3},
                  current};
        make = [](const std::vector<double>& v) {
            return rampSequence(int(v[0]), v[1], v[2], v[3], v[4]);
        };
        break;
    case 2:
        title = tr("On/off cycling");
        fields = {channel,
                  {tr("Voltage (V)"), std::min(5.0, volts), 0, volts, 3},
                  current,
                  {tr("On (s)"), 10, 0.001, 1e6, 3},
                  {tr("Off (s)"), 10, 0.001, 1e6, 3},
                  {tr("Cycles"), 10, 1, 1e6, 0}};
        make = [](const std::vector<double>& v) {
            return cyclingSequence(int(v[0]), v[1], v[2], v[3], v[4], int(v[5]));
        };
        break;
    default:
        title = tr("CC/CV charge");
        fields = {channel,
                  {tr("Charge current (A)"), std::min(1.0, amps), 0.001, amps, 3},
                  {tr("End voltage (V)"), std::min(4.2, volts), 0.001, volts, 3},
                  {tr("Cut-off current (A)"), std::min(0.05, amps), 0.001, amps, 3},
                  {tr("Each phase at most (h)"), 10, 0.01, 1000, 2}};
        make = [](const std::vector<double>& v) {
            return chargeSequence(int(v[0]), v[1], v[2], v[3], v[4]);
        };
        break;
    }
    if (const std::optional<std::vector<double>> values = askNumbers(this, title, fields))
        replaceRows(make(*values));
}

bool SequenceWindow::replaceRows(const Sequence& sequence) {
    if (edited_ && model_.rowCount() > 0 &&
        prompter_.ask(tr("Replace the rows you edited?"), windowTitle(), Prompter::Icon::Question,
                      Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
        return false;
    model_.setSequence(sequence);
    edited_ = false;
    return true;
}

void SequenceWindow::load() {
    const QString name = prompter_.openFileName(folder_, tr("Sequences (*.csv);;All files (*)"));
    if (name.isEmpty())
        return;
    folder_ = QFileInfo(name).absolutePath();
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) {
        prompter_.message(tr("%1 could not be read: %2").arg(name, file.errorString()),
                          windowTitle(), Prompter::Icon::Warning);
        return;
    }
    std::variant<Sequence, QString> read = Sequence::fromCsv(file.readAll());
    if (const QString* why = std::get_if<QString>(&read)) {
        prompter_.message(tr("%1 is no sequence. %2").arg(QFileInfo(name).fileName(), *why),
                          windowTitle(), Prompter::Icon::Warning);
        return;
    }
    if (replaceRows(std::get<Sequence>(read)))
        setWindowTitle(tr("Sequence — %1").arg(QFileInfo(name).fileName()));
}

void SequenceWindow::save() {
    std::variant<Sequence, QString> read = model_.sequence();
    if (const QString* why = std::get_if<QString>(&read)) {
        prompter_.message(tr("The table is no sequence yet. %1").arg(*why), windowTitle(),
                          Prompter::Icon::Warning);
        return;
    }
    const QString name =
        prompter_.saveFileName(folder_ + QLatin1Char('/'), tr("Sequences (*.csv)"));
    if (name.isEmpty())
        return;
    folder_ = QFileInfo(name).absolutePath();
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(std::get<Sequence>(read).toCsv()) < 0 || !file.flush()) {
        prompter_.message(tr("%1 could not be written: %2").arg(name, file.errorString()),
                          windowTitle(), Prompter::Icon::Warning);
        return;
    }
    edited_ = false;
    setWindowTitle(tr("Sequence — %1").arg(QFileInfo(name).fileName()));
}

std::pair<int, int> SequenceWindow::selectedSpan() const {
    QList<int> rows;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows())
        rows << i.row();
    if (rows.isEmpty() && table_->currentIndex().isValid())
        rows << table_->currentIndex().row();
    if (rows.isEmpty())
        return {-1, -1};
    return {*std::min_element(rows.begin(), rows.end()),
            *std::max_element(rows.begin(), rows.end())};
}

void SequenceWindow::addRow() {
    const QModelIndex current = table_->currentIndex();
    const int row = current.isValid() ? current.row() + 1 : model_.rowCount();
    model_.insertRows(row, 1);
    table_->selectRow(row);
}

void SequenceWindow::removeRows() {
    QList<int> rows;
    for (const QModelIndex& i : table_->selectionModel()->selectedRows())
        rows << i.row();
    if (rows.isEmpty() && table_->currentIndex().isValid())
        rows << table_->currentIndex().row();
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (int r : rows)
        model_.removeRows(r, 1);
}

void SequenceWindow::moveRows(int by) {
    const auto [first, last] = selectedSpan();
    if (first < 0 || (by < 0 && first == 0) || (by > 0 && last + 1 >= model_.rowCount()))
        return;
    const int count = last - first + 1;
    model_.moveRows({}, first, count, {}, by < 0 ? first - 1 : last + 2);
    table_->clearSelection();
    for (int r = first + by; r < first + by + count; ++r)
        table_->selectionModel()->select(model_.index(r, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    table_->setCurrentIndex(model_.index(first + by, table_->currentIndex().column()));
}

void SequenceWindow::copyRows() {
    const auto [first, last] = selectedSpan();
    if (first >= 0)
        model_.copyRows(first, last - first + 1);
}

void SequenceWindow::tableChanged() {
    std::variant<Sequence, QString> read = model_.sequence();
    const QString* why = std::get_if<QString>(&read);
    valid_ = !why;
    problem_->setText(model_.rowCount() == 0
                          ? tr("Start from a starting point, load a file or add rows.")
                      : why ? *why
                            : QString());
    problem_->setVisible(!problem_->text().isEmpty());
    if (valid_)
        showPreview(std::get<Sequence>(read));
    else
        showPreview({});
    showProgress();
}

void SequenceWindow::showPreview(const Sequence& sequence) {
    plot_->clearGraphs();
    previewNote_->clear();
    plot_->legend->setVisible(!sequence.steps.empty());
    if (sequence.steps.empty()) {
        plot_->replot();
        return;
    }
    // From the values the supply is set to now, as a run would start.
    SequencePlan::Values start;
    if (session_.isReady())
        for (int c = 0; c < std::min(session_.supply().channelCount(), 4); ++c) {
            const ChannelState& s = session_.supply().channel(c);
            start[QString()][std::size_t(c)] = {s.settings[std::size_t(Setting::Voltage)],
                                                s.settings[std::size_t(Setting::Current)]};
        }
    const qint64 tick = std::max(1, session_.link().writerTimer().interval());
    const SequencePreview preview = sequencePreview(sequence, tick, start);
    const double endS = double(preview.endMs) / 1000.0;
    // Long runs read better in minutes or hours.
    const double unit = endS > 7200 ? 3600 : endS > 120 ? 60 : 1;
    plot_->xAxis->setLabel(unit == 3600 ? tr("Time (h)")
                           : unit == 60 ? tr("Time (min)")
                                        : tr("Time (s)"));
    double most[2] = {0, 0};
    for (const SequencePreview::Trace& t : preview.traces) {
        QCPGraph* g = plot_->addGraph(plot_->xAxis, t.current ? plot_->yAxis2 : plot_->yAxis);
        QVector<double> keys;
        for (double s : t.seconds)
            keys << s / unit;
        g->setData(keys, QVector<double>(t.values.begin(), t.values.end()), true);
        g->setLineStyle(QCPGraph::lsStepLeft);
        g->setPen(QPen(kChannelColours[(t.channel - 1) & 3], 2,
                       t.current ? Qt::DashLine : Qt::SolidLine));
        const QString channel = t.supply.isEmpty() ? tr("CH%1").arg(t.channel)
                                                   : tr("%1 CH%2").arg(t.supply).arg(t.channel);
        g->setName(t.current ? tr("%1 current").arg(channel) : tr("%1 voltage").arg(channel));
        for (double v : t.values)
            most[t.current] = std::max(most[t.current], v);
    }
    plot_->xAxis->setRange(0, std::max(endS / unit, 1e-3));
    // Each on its own scale, the current lower: a voltage and a current
    // held as long would otherwise draw as one line.
    plot_->yAxis->setRange(0, std::max(most[0] * 1.15, 1.0));
    plot_->yAxis2->setRange(0, std::max(most[1] * 1.8, 0.1));
    plot_->replot();
    QStringList notes{tr("Planned length: %1.").arg(SequenceStatus::duration(preview.endMs))};
    if (preview.conditional)
        notes << tr("Conditions may end steps sooner than drawn.");
    if (preview.cut)
        notes << tr("The run is too long to draw whole: its beginning is shown.");
    previewNote_->setText(notes.join(QLatin1Char(' ')));
}

void SequenceWindow::run() {
    std::variant<Sequence, QString> read = model_.sequence();
    if (!std::holds_alternative<Sequence>(read))
        return;
    finished_.clear();
    notice_->clear();
    runEdited_ = false;
    if (std::optional<QString> why =
            session_.sequence().run(std::get<Sequence>(read), hold_->isChecked())) {
        prompter_.message(*why, windowTitle(), Prompter::Icon::Warning);
        return;
    }
    notice_->setText(session_.sequence().notice());
    showProgress();
}

void SequenceWindow::showProgress() {
    const SequenceRunner& runner = session_.sequence().runner();
    const SequenceRunner::State state = runner.state();
    const bool running = session_.sequence().running();
    run_->setEnabled(valid_ && !running && session_.isReady());
    pause_->setEnabled(state == SequenceRunner::State::Running);
    resume_->setEnabled(state == SequenceRunner::State::Paused);
    stop_->setEnabled(running);
    QString line = SequenceStatus::state(state);
    if (!running && !finished_.isEmpty())
        line += QStringLiteral(": ") + finished_;
    state_->setText(line);
    progress_->setText(SequenceStatus::progress(runner));
    if (state == SequenceRunner::State::Running && !progressTimer_.isActive())
        progressTimer_.start();
    else if (state != SequenceRunner::State::Running)
        progressTimer_.stop();
}

} // namespace trq
