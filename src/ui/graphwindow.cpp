#include "ui/graphwindow.h"

#include "core/numbers.h"
#include "core/settings.h"
#include "session/graphseries.h"
#include "session/instrumentsession.h"
#include "session/recording.h"
#include "session/workingrecord.h"
#include "storage/recordstore.h"
#include "ui/benchpanels.h"
#include "ui/envelopegraph.h"
#include "ui/recordsetupdialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

#include <qcustomplot.h>

namespace trq {

namespace {

// Ticks at the major divisions of the chosen length, labelled in its format;
// zoomed or panned far from it, at round times instead, so ticks never
// crowd (and a million points do not come with ten thousand labels).
class ElapsedTimeTicker : public QCPAxisTicker {
public:
    explicit ElapsedTimeTicker(const QString* format) : format_(format) {}
    void setLength(double step, int divisions) {
        step_ = step;
        divisions_ = divisions;
        setTickCount(divisions);
    }

protected:
    double getTickStep(const QCPRange& range) override {
        current_ = timeTickStep(range.size(), step_, divisions_);
        return current_;
    }
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        return formatAxisTime(tick, tickLabelFormat(*format_, current_));
    }

private:
    const QString* format_;
    double step_ = 0;
    double current_ = 0;
    int divisions_ = 5;
};

const std::array<QColor, 4> kDefaultColours{QColor(0, 192, 0), QColor(0, 0, 192),
                                            QColor(128, 0, 128), QColor(255, 255, 0)};

// "CH1 0.7 A > 0.5": what tripped, beside its mark on the plot.
QString eventLabel(const LimitEvent& e) {
    return QStringLiteral("CH%1 %L2 %3 %4 %L5")
        .arg(e.channel)
        .arg(e.value)
        .arg(e.quantity, e.value > e.limit ? QStringLiteral(">") : QStringLiteral("<"))
        .arg(e.limit);
}

QLineEdit* readout(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setFixedWidth(90);
    return edit;
}

// A plot's box: by the supply's name in a bench's run.
QString plotName(const QString& supply, int k) {
    static const char* const kNames[] = {"Ch1 V", "Ch1 A", "Ch2 V", "Ch2 A",
                                         "Ch3 V", "Ch3 A", "Ch4 V", "Ch4 A"};
    if (supply.isEmpty())
        return QLatin1String(kNames[k]);
    return QStringLiteral("%1 CH%2 %3")
        .arg(supply)
        .arg(k / 2 + 1)
        .arg(k % 2 == 0 ? QLatin1Char('V') : QLatin1Char('A'));
}

} // namespace

GraphWindow::GraphWindow(InstrumentSession& session, Recording& recording, Prompter& prompter,
                         Commands commands, QWidget* parent)
    : QWidget(parent), series_(&recording.series()), store_(recording.store()),
      shown_(&recording.store()), prompter_(prompter), session_(session), recording_(recording),
      commands_(std::move(commands)), plot_(new QCustomPlot(this)), xLength_(new QComboBox(this)),
      yVoltage_(new QComboBox(this)), yCurrent_(new QComboBox(this)),
      summary_(new QListWidget(this)), channelList_(new QListWidget(this)),
      modes_(new QButtonGroup(this)), cursorFrame_(new QGroupBox(tr("Cursor Information"), this)),
      measureFrame_(new QGroupBox(tr("Measurements"), cursorFrame_)),
      xPosition_(readout(cursorFrame_)), yPosition_(readout(cursorFrame_)),
      period_(readout(measureFrame_)), amplitude_(readout(measureFrame_)),
      loadList_(new QListWidget(this)), deleteList_(new QListWidget(this)),
      start_(new QPushButton(tr("Start"), this)), rightAxis_(new QComboBox(this)),
      supply_(new QComboBox(this)), between_(new QLabel(measureFrame_)) {
    setObjectName(QStringLiteral("GraphWindow"));
    setWindowTitle(tr("Graphic Record"));

    // Three axes; the top axis closes the frame ("Graph Frame") and is
    // hidden while printing.
    plot_->yAxis->setLabel(tr("Voltage"));
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->setLabel(tr("Current"));
    plot_->xAxis2->setVisible(true);
    plot_->xAxis2->setTicks(false);
    plot_->xAxis2->setTickLabels(false);
    plot_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new ElapsedTimeTicker(&labelFormat_)));
    plot_->xAxis->grid()->setSubGridVisible(true);
    plot_->setBackground(QBrush(Qt::white));
    plot_->axisRect()->setBackground(QBrush(Qt::white));
    const QList<QCPAxis*> vertical{plot_->yAxis, plot_->yAxis2};
    plot_->axisRect()->setRangeDragAxes({plot_->xAxis}, vertical);
    plot_->axisRect()->setRangeZoomAxes({plot_->xAxis}, vertical);
    plot_->setNoAntialiasingOnDrag(true);

    auto* boxes = new QGridLayout;
    for (int k = 0; k < 8; ++k) {
        auto* g = new EnvelopeGraph(plot_->xAxis, k % 2 == 0 ? plot_->yAxis : plot_->yAxis2);
        g->setAdaptiveSampling(true);
        g->setPen(QPen(kDefaultColours[std::size_t(k / 2)], 1));
        graphs_[std::size_t(k)] = g;
        auto* box = new QCheckBox(plotName({}, k), this);
        box->setChecked(true);
        boxes_[std::size_t(k)] = box;
        auto* line = new QFrame(this);
        line->setFixedSize(24, 3);
        line->setAutoFillBackground(true);
        lines_[std::size_t(k)] = line;
        setLineColour(k, kDefaultColours[std::size_t(k / 2)]);
        boxes->addWidget(box, k, 0);
        boxes->addWidget(line, k, 1);
        connect(box, &QCheckBox::clicked, this, [this, k] { plotBoxClicked(k); });
    }
    boxes->addWidget(supply_, 8, 0, 1, 2);
    for (int j = 0; j < 9; ++j) {
        auto* t = new QCPItemTracer(plot_);
        t->setStyle(QCPItemTracer::tsCrosshair);
        t->setInterpolating(false); // a cursor on a plot stands on a sample
        t->setPen(j < 8 ? QPen(kDefaultColours[std::size_t(j / 2)], 1, Qt::DashLine)
                        : QPen(Qt::darkGray, 1, Qt::DashDotLine));
        t->setVisible(false);
        cursors_[std::size_t(j)] = t;
    }

    // Each range keeps its value beside the text shown in the user's locale.
    for (const auto& [box, choices] :
         {std::pair{yVoltage_, voltageRangeChoices()}, std::pair{yCurrent_, currentRangeChoices()}})
        for (const QString& choice : choices)
            box->addItem(QString(choice).replace(QLatin1Char('.'), QLocale().decimalPoint()),
                         leadingNumber(choice));
    connect(yVoltage_, &QComboBox::activated, this, &GraphWindow::applyVoltageRange);
    connect(yCurrent_, &QComboBox::activated, this, &GraphWindow::applyCurrentRange);
    connect(xLength_, &QComboBox::activated, this, &GraphWindow::applyTimeLength);
    // The recording's series, or another supply's of a bench's run: the
    // plots follow the one shown.
    for (GraphSeries* s : {&recording.series(), &benchSeries_}) {
        connect(s, &GraphSeries::pointAdded, this, [this, s](qint64 index) {
            if (s == series_)
                pointAdded(index);
        });
        connect(s, &GraphSeries::replaced, this, [this, s] {
            if (s == series_)
                refillPlots();
        });
        connect(s, &GraphSeries::emptied, this, [this, s] {
            if (s == series_)
                clearDisplay();
        });
    }
    // Another supply is shown while the bench records: its points as they
    // are stored, each step (later: the step stores the others' after the
    // first's).
    connect(&recording.series(), &GraphSeries::pointAdded, this, [this] {
        QTimer::singleShot(0, this, [this] {
            if (series_ == &benchSeries_)
                benchSeries_.reload(*shown_);
        });
    });
    // A new run may have other supplies, or none beside this one.
    connect(&recording.engine(), &RecordingEngine::started, this,
            [this] { QTimer::singleShot(0, this, [this] { showSupply(); }); });
    connect(&recording.series(), &GraphSeries::startCaptionChanged, start_, &QPushButton::setText);
    supply_->setObjectName(QStringLiteral("supply"));
    supply_->hide();
    connect(supply_, &QComboBox::activated, this, [this] { showSupply(); });
    connect(plot_, &QCustomPlot::mousePress, this, &GraphWindow::plotMousePress);
    connect(plot_, &QCustomPlot::mouseMove, this, &GraphWindow::plotMouseMove);
    connect(plot_, &QCustomPlot::mouseRelease, this, [this] { dragging_ = 0; });
    // Mouse and arrow keys alike: every change of the selection runs it.
    connect(channelList_, &QListWidget::currentRowChanged, this, [this] { plotChosen(); });
    // A zoom or pan by the user stops the time axis from following a
    // recording until Refresh or another length.
    connect(plot_->xAxis, qOverload<const QCPRange&>(&QCPAxis::rangeChanged), this, [this] {
        if (!settingTimeRange_)
            followLive_ = false;
        if (updateExact()) {
            showPlots(true);
            queueReplot();
        }
    });
    connect(&recording_, &Recording::workingTableReplaced, this, [this](int timeLength) {
        redraw();
        if (timeLength >= 0 && timeLength < xLength_->count()) {
            xLength_->setCurrentIndex(timeLength);
            applyTimeLength();
        }
    });
    connect(&recording_, &Recording::eventAdded, this, [this](const LimitEvent& e) {
        addMarker(e.seqNo - series_->firstSeqNo(), Qt::red, eventLabel(e));
        queueReplot();
    });
    rightAxis_->addItems({tr("Current"), tr("Power"), tr("Charge"), tr("Energy")});
    connect(rightAxis_, &QComboBox::activated, this, &GraphWindow::applyRightAxis);

    // Record lists for Load and Delete lie over the graph; columns need a
    // fixed-pitch font.
    for (QListWidget* list : {loadList_, deleteList_}) {
        list->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        list->installEventFilter(this); // Escape or a click elsewhere closes it
        list->hide();
    }
    connect(loadList_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { loadChosen(loadList_->row(item)); });
    connect(deleteList_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { deleteChosen(deleteList_->row(item)); });

    // Right: plot boxes with their legend lines, the cursor's plot list and
    // the statistics.
    auto* channelFrame = new QWidget(this);
    channelFrame->setObjectName(QStringLiteral("FrameChannel"));
    auto* side = new QVBoxLayout(channelFrame);
    side->setContentsMargins(0, 0, 0, 0);
    side->addLayout(boxes);
    channelList_->setMaximumHeight(120);
    side->addWidget(channelList_);
    side->addWidget(summary_, 1);
    channelFrame->setFixedWidth(200);

    // Bottom: buttons and range choices, the mode selector, the readouts.
    auto* bottomFrame = new QWidget(this);
    bottomFrame->setObjectName(QStringLiteral("SSFrame1"));
    auto* buttons = new QGridLayout(bottomFrame);
    buttons->setContentsMargins(0, 0, 0, 0);
    struct Button {
        const char* caption;
        void (GraphWindow::*handler)();
    };
    static constexpr Button kButtons[] = {{QT_TR_NOOP("Start"), &GraphWindow::startClicked},
                                          {QT_TR_NOOP("Stop"), &GraphWindow::stopClicked},
                                          {QT_TR_NOOP("Setup"), &GraphWindow::setupClicked},
                                          {QT_TR_NOOP("Refresh"), &GraphWindow::refresh},
                                          {QT_TR_NOOP("Return"), &GraphWindow::returnClicked},
                                          {QT_TR_NOOP("Save"), &GraphWindow::saveRecord},
                                          {QT_TR_NOOP("Load"), &GraphWindow::openLoadList},
                                          {QT_TR_NOOP("Delete"), &GraphWindow::openDeleteList},
                                          {QT_TR_NOOP("Export"), &GraphWindow::exportCsv},
                                          {QT_TR_NOOP("Print"), &GraphWindow::print},
                                          {QT_TR_NOOP("Report..."), &GraphWindow::report}};
    int column = 0;
    for (const Button& b : kButtons) {
        QPushButton* button = column == 0 ? start_ : new QPushButton(tr(b.caption), bottomFrame);
        connect(button, &QPushButton::clicked, this, b.handler);
        buttons->addWidget(button, column / 5, column % 5);
        ++column;
    }
    // Two rows of range choices: in one row they left no room for the
    // cursor readouts beside them.
    auto* ranges = new QGridLayout;
    const std::pair<const char*, QComboBox*> rangeBoxes[] = {{QT_TR_NOOP("Time Len"), xLength_},
                                                             {QT_TR_NOOP("Voltage"), yVoltage_},
                                                             {QT_TR_NOOP("Right axis"), rightAxis_},
                                                             {QT_TR_NOOP("Current"), yCurrent_}};
    int at = 0;
    for (const auto& [caption, box] : rangeBoxes) {
        ranges->addWidget(new QLabel(tr(caption), bottomFrame), at / 2, 2 * (at % 2));
        ranges->addWidget(box, at / 2, 2 * (at % 2) + 1);
        ++at;
    }
    ranges->setColumnStretch(1, 1);
    ranges->setColumnStretch(3, 1);
    buttons->addLayout(ranges, 3, 0, 1, 5);

    auto* operations = new QGroupBox(tr("Graph Operations"), this);
    auto* modeLayout = new QVBoxLayout(operations);
    static const char* const modeNames[] = {QT_TR_NOOP("Zoom"), QT_TR_NOOP("Pan"),
                                            QT_TR_NOOP("Cursor Coordinates"),
                                            QT_TR_NOOP("Cursor Measurements")};
    for (int m = 0; m < 4; ++m) {
        auto* radio = new QRadioButton(tr(modeNames[m]), operations);
        modes_->addButton(radio, m);
        modeLayout->addWidget(radio);
    }
    modes_->button(Zoom)->setChecked(true);
    connect(modes_, &QButtonGroup::idClicked, this, &GraphWindow::setMode);

    auto* position = new QFormLayout;
    position->addRow(tr("X Position:"), xPosition_);
    position->addRow(tr("Y Position:"), yPosition_);
    auto* measure = new QFormLayout(measureFrame_);
    measure->addRow(tr("Period:"), period_);
    measure->addRow(tr("Amplitude:"), amplitude_);
    between_->setObjectName(QStringLiteral("betweenCursors"));
    between_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    measure->addRow(between_);
    auto* cursorLayout = new QHBoxLayout(cursorFrame_);
    auto* positionBox = new QWidget(cursorFrame_);
    positionBox->setLayout(position);
    cursorLayout->addWidget(positionBox);
    cursorLayout->addWidget(measureFrame_);
    // The panel is as high as the measurements need and keeps its room while
    // hidden: switching modes must not take height from the graph.
    cursorFrame_->setMinimumHeight(cursorFrame_->sizeHint().height());
    QSizePolicy keep = cursorFrame_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    cursorFrame_->setSizePolicy(keep);
    cursorFrame_->hide();

    auto* top = new QHBoxLayout;
    top->addWidget(plot_, 1);
    top->addWidget(channelFrame);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(bottomFrame);
    bottom->addWidget(operations);
    bottom->addWidget(cursorFrame_);
    bottom->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);

    // Window load.
    setMode(Zoom);
    summary_->clear();
    yVoltage_->setCurrentIndex(0);
    yCurrent_->setCurrentIndex(0);
    clearGraph();
}

QCPGraph* GraphWindow::plot(int k) const {
    return graphs_[std::size_t(k)];
}

int GraphWindow::sampleCount() const {
    return int(series_->count());
}

PlotQuantity GraphWindow::quantityOf(int k) const {
    return k % 2 == 0 ? PlotQuantity::Voltage : PlotQuantity(rightAxis_->currentIndex() + 1);
}

void GraphWindow::queueReplot() {
    plot_->replot(QCustomPlot::rpQueuedReplot); // at most one per event-loop turn
}

void GraphWindow::setLineColour(int k, const QColor& colour) {
    lineColours_[std::size_t(k)] = colour;
    QPalette p = lines_[std::size_t(k)]->palette();
    p.setColor(QPalette::Window, colour);
    lines_[std::size_t(k)]->setPalette(p);
}

// ---- Display ---------------------------------------------------------------

void GraphWindow::activate() {
    if (!activated_) {
        clearGraph();
        activated_ = true;
        QStringList colours;
        for (int c = 1; c <= 4; ++c)
            colours << Settings::instance().channelColour(c).trimmed();
        // The plots take the colours too, so the legend tells the truth.
        setChannelColours(colours);
    }
    showSummary();
}

void GraphWindow::clearGraph() {
    series_->clear(); // the display follows through emptied
}

void GraphWindow::clearDisplay() {
    exact_.clear();
    for (EnvelopeGraph* g : graphs_) {
        g->data()->clear();
        g->dataReplaced();
    }
    resetView();
}

void GraphWindow::resetView() {
    drawMarkers();
    yVoltage_->setCurrentIndex(0);
    yCurrent_->setCurrentIndex(0);
    applyVoltageRange();
    applyCurrentRange();
    plot_->yAxis->setLabel(tr("Voltage"));
    labelFormat_ = QStringLiteral("h:n:ss");
    // The points shown were recorded at their record's scale, whatever the setup says now.
    secondsPerPoint_ = recordScale(recording_.record().header().scale).graphSecondsPerPoint;
    updateTimeLength();
    xLength_->setCurrentIndex(0);
    applyTimeLength();
    xPosition_->clear();
    yPosition_->clear();
    amplitude_->clear();
    {
        // The plot the cursor follows survives a redraw.
        const QSignalBlocker block(channelList_);
        const int selected = channelList_->currentRow();
        channelList_->clear();
        channelList_->addItems(cursorChoices(channels()));
        if (selected >= 0 && selected < channelList_->count())
            channelList_->setCurrentRow(selected);
    }
    showSummary();
    queueReplot();
}

void GraphWindow::updateTimeLength() {
    xLength_->clear();
    for (const XLength& x : xLengthChoices(secondsPerPoint_))
        xLength_->addItem(QLatin1String(x.text));
}

void GraphWindow::applyTimeLength() {
    const auto x = xLength(xLength_->currentText());
    if (!x)
        return;
    plot_->xAxis->setLabel(xLengthCaption(*x));
    labelFormat_ = QLatin1String(x->labelFormat);
    const double range = secondsOf(QLatin1String(x->rangeEnd));
    setTimeRange(0, range);
    followLive_ = true;
    static_cast<ElapsedTimeTicker*>(plot_->xAxis->ticker().data())
        ->setLength(range / x->majorDivisions, x->majorDivisions);
    queueReplot();
}

void GraphWindow::applyVoltageRange() {
    const double max = yVoltage_->currentIndex() <= 0 ? channelLimit(Setting::Voltage)
                                                      : yVoltage_->currentData().toDouble();
    plot_->yAxis->setRange(0, max);
    queueReplot();
}

void GraphWindow::applyCurrentRange() {
    const double max = yCurrent_->currentIndex() <= 0 ? channelLimit(Setting::Current)
                                                      : yCurrent_->currentData().toDouble();
    plot_->yAxis2->setRange(0, max);
    queueReplot();
}

void GraphWindow::plotBoxClicked(int index) {
    graphs_[std::size_t(index)]->setVisible(boxes_[std::size_t(index)]->isChecked());
    queueReplot();
}

void GraphWindow::setChannelCount(int n) {
    channels_ = std::clamp(n, 1, 4);
    for (int k = 0; k < 8; ++k) {
        boxes_[std::size_t(k)]->setEnabled(k < 2 * channels_);
        graphs_[std::size_t(k)]->setVisible(k < 2 * channels_);
    }
    series_->setChannels(channels_);
    queueReplot();
}

double GraphWindow::channelLimit(Setting setting) const {
    return session_.supply().channelCount() > 0
               ? session_.supply().channel(0).limits[std::size_t(setting)].maximum
               : 1.0;
}

void GraphWindow::showSupply() {
    const std::vector<ExportedSupply> run = recording_.record().runSupplies();
    const ExportedSupply* chosen = chooseRunSupply(*supply_, run);
    RecordStore* store = chosen ? chosen->store : &recording_.store();
    GraphSeries* series = store == &recording_.store() ? &recording_.series() : &benchSeries_;
    for (int k = 0; k < 8; ++k)
        boxes_[std::size_t(k)]->setText(plotName(chosen ? chosen->name : QString(), k));
    if (store == shown_ && series == series_)
        return;
    shown_ = store;
    series_ = series;
    setChannelCount(chosen ? chosen->channels : session_.supply().channelCount());
    clearGraph();
    trapped(series_->reload(*shown_));
}

void GraphWindow::redraw() {
    showSupply();
    // Nothing was recorded or loaded since the plots were filled: only the
    // view starts afresh, no point is read again.
    if (series_->shows(*shown_) &&
        secondsPerPoint_ == recordScale(recording_.record().header().scale).graphSecondsPerPoint) {
        resetView();
        showPlots(false);
        if (quantityOf(1) != PlotQuantity::Current)
            applyRightAxis();
        return;
    }
    clearGraph();
    trapped(series_->reload(*shown_)); // the plots follow through replaced
}

void GraphWindow::fillPlot(int k) {
    EnvelopeGraph* g = graphs_[std::size_t(k)];
    const int c = k / 2;
    const PlotQuantity q = quantityOf(k);
    const qint64 stride = series_->stride();
    const qint64 count = series_->count();
    const qint64 exactLast = exactFirst_ + qint64(exact_.size()) - 1;
    const std::vector<qint64>& gaps = series_->gaps();
    auto gap = gaps.begin();
    QVector<QCPGraphData> points;
    points.reserve(2 * series_->bucketCount() + int(gaps.size()) + int(exact_.size()));
    const double dx = sampleX(1, secondsPerPoint_) - sampleX(0, secondsPerPoint_);
    // The line breaks where the link was lost: no value is invented. Within
    // a bucket, before the bucket: the keys stay in order.
    auto breakBefore = [&](qint64 sample, double x) {
        for (; gap != gaps.end() && *gap <= sample; ++gap)
            points.append({x - dx / 2, qQNaN()});
    };
    for (int b = 0; b < series_->bucketCount(); ++b) {
        const qint64 first = b * stride;
        const qint64 last = std::min(first + stride, count) - 1;
        if (stride > 1 && first >= exactFirst_ && last <= exactLast) {
            for (qint64 i = first; i <= last; ++i) {
                breakBefore(i, sampleX(int(i), secondsPerPoint_));
                points.append({sampleX(int(i), secondsPerPoint_),
                               PointSummary::valueOf(exact_[std::size_t(i - exactFirst_)], q, c)});
            }
            continue;
        }
        const double x = sampleX(int(first), secondsPerPoint_);
        breakBefore(first + stride - 1, x);
        const GraphSeries::Bucket& v = series_->bucket(q, c, b);
        points.append({x, v.min});
        if (stride > 1) // the bucket's envelope: its lowest and its highest
            points.append({x + dx * double(stride) / 2, v.max});
    }
    g->data()->set(points, true);
    g->dataReplaced();
}

void GraphWindow::showPlots(bool fill) {
    fills_ += fill ? 1 : 0;
    for (int k = 0; k < 8; ++k) {
        EnvelopeGraph* g = graphs_[std::size_t(k)];
        const int c = k / 2;
        if (c >= channels()) {
            if (fill) {
                g->data()->clear();
                g->dataReplaced();
            }
            if (c >= 1)
                g->setVisible(false);
            continue;
        }
        if (fill)
            fillPlot(k);
        if (c >= 1)
            g->setVisible(boxes_[std::size_t(k)]->isChecked());
    }
}

void GraphWindow::refillPlots() {
    updateExact();
    showPlots(true);
    if (quantityOf(1) != PlotQuantity::Current)
        applyRightAxis();
    drawMarkers();
    showSummary();
    queueReplot();
}

bool GraphWindow::updateExact() {
    const qint64 count = series_->count();
    const qint64 stride = series_->stride();
    const QCPRange range = plot_->xAxis->range();
    const qint64 from = std::clamp<qint64>(sampleIndexAt(range.lower, secondsPerPoint_), 0,
                                           std::max<qint64>(count - 1, 0));
    const qint64 to = std::clamp<qint64>(sampleIndexAt(range.upper, secondsPerPoint_), 0,
                                         std::max<qint64>(count - 1, 0));
    // Buckets of one sample are exact already.
    if (stride == 1 || to - from + 1 > kExactPoints || !series_->summary().isContiguous()) {
        if (exact_.empty())
            return false;
        exact_.clear();
        return true;
    }
    const qint64 held = exactFirst_ + qint64(exact_.size()) - 1;
    if (!exact_.empty() && exactFirst_ <= from && held >= to &&
        qint64(exact_.size()) <= 4 * kExactPoints)
        return false;
    // Half the visible width more on either side, whole buckets: a pan
    // reads again only once it leaves them.
    const qint64 margin = (to - from + 1) / 2;
    const qint64 first = std::max<qint64>(from - margin, 0) / stride * stride;
    const qint64 last = std::min(((to + margin) / stride + 1) * stride, count) - 1;
    std::optional<std::vector<PlotPoint>> read = exactPoints(first, last);
    exactFirst_ = first;
    exact_ = read ? std::move(*read) : std::vector<PlotPoint>();
    return true;
}

std::optional<std::vector<PlotPoint>> GraphWindow::exactPoints(qint64 first, qint64 last) {
    const qint64 held = exactFirst_ + qint64(exact_.size()) - 1;
    if (!exact_.empty() && exactFirst_ <= first && held >= last)
        return std::vector<PlotPoint>(exact_.begin() + (first - exactFirst_),
                                      exact_.begin() + (last - exactFirst_ + 1));
    const qint64 seqNo = series_->firstSeqNo();
    std::vector<PlotPoint> points;
    points.reserve(std::size_t(last - first + 1));
    const bool read = shown_->forEachPlotPoint([&](const PlotPoint& p) { points.push_back(p); },
                                               {seqNo + first, seqNo + last});
    // Every sample or none: the buckets stand for a table changed meanwhile.
    if (!read || qint64(points.size()) != last - first + 1 ||
        points.front().seqNo != seqNo + first || points.back().seqNo != seqNo + last)
        return std::nullopt;
    return points;
}

void GraphWindow::applyRightAxis() {
    static const char* const kUnits[] = {"V", "A", "W", "Ah", "Wh"};
    static const char* const kNames[] = {QT_TR_NOOP("Voltage"), QT_TR_NOOP("Current"),
                                         QT_TR_NOOP("Power"), QT_TR_NOOP("Charge"),
                                         QT_TR_NOOP("Energy")};
    const PlotQuantity q = quantityOf(1);
    plot_->yAxis2->setLabel(tr(kNames[int(q)]));
    for (int c = 0; c < 4; ++c)
        boxes_[std::size_t(2 * c + 1)]->setText(
            QStringLiteral("Ch%1 %2").arg(c + 1).arg(QLatin1String(kUnits[int(q)])));
    yCurrent_->setEnabled(q == PlotQuantity::Current);
    for (int k = 1; k < 2 * channels(); k += 2)
        fillPlot(k);
    if (q == PlotQuantity::Current) {
        applyCurrentRange();
        return;
    }
    // Power, charge and energy have no range list: the axis takes what was drawn.
    double top = 0;
    for (int c = 0; c < channels(); ++c)
        for (int b = 0; b < series_->bucketCount(); ++b)
            top = std::max(top, series_->bucket(q, c, b).max);
    plot_->yAxis2->setRange(0, top > 0 ? top * 1.1 : 1.0);
    queueReplot();
}

void GraphWindow::drawMarkers() {
    for (QCPAbstractItem* item : markers_)
        plot_->removeItem(item);
    markers_.clear();
    for (qint64 gap : series_->gaps())
        addMarker(gap, Qt::darkGray, tr("gap"));
    if (series_->count() == 0)
        return;
    for (const LimitEvent& e : shown_->events())
        addMarker(e.seqNo - series_->firstSeqNo(), Qt::red, eventLabel(e));
}

void GraphWindow::addMarker(qint64 sample, const QColor& colour, const QString& text) {
    const double x = sampleX(int(sample), secondsPerPoint_);
    auto* line = new QCPItemStraightLine(plot_);
    line->setPen(QPen(colour, 1, Qt::DashLine));
    line->point1->setTypeX(QCPItemPosition::ptPlotCoords);
    line->point1->setTypeY(QCPItemPosition::ptAxisRectRatio);
    line->point2->setTypeX(QCPItemPosition::ptPlotCoords);
    line->point2->setTypeY(QCPItemPosition::ptAxisRectRatio);
    line->point1->setCoords(x, 0);
    line->point2->setCoords(x, 1);
    line->setSelectable(false);
    auto* label = new QCPItemText(plot_);
    label->position->setTypeX(QCPItemPosition::ptPlotCoords);
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(x, 0.02);
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setColor(colour);
    label->setText(text);
    label->setSelectable(false);
    markers_.push_back(line);
    markers_.push_back(label);
}

void GraphWindow::setTimeRange(double lower, double upper) {
    settingTimeRange_ = true;
    plot_->xAxis->setRange(lower, upper);
    settingTimeRange_ = false;
}

void GraphWindow::pointAdded(qint64 index) {
    const double x = sampleX(int(index), secondsPerPoint_);
    // Exact points that reach the newest take it as it was recorded.
    if (!exact_.empty() && exactFirst_ + qint64(exact_.size()) == index)
        exact_.push_back(series_->lastPoint());
    const int fills = fills_;
    // The newest point stays in view; the visible width stays the length.
    if (followLive_ && x > plot_->xAxis->range().upper)
        setTimeRange(x - plot_->xAxis->range().size(), x);
    if (!series_->gaps().empty() && series_->gaps().back() == index)
        addMarker(index, Qt::darkGray, tr("gap"));
    // Filled again for the new view, the plots hold the point already.
    if (fills_ == fills)
        drawLastPoint(index);
    showSummary();
    queueReplot();
}

void GraphWindow::drawLastPoint(qint64 index) {
    const double x = sampleX(int(index), secondsPerPoint_);
    const qint64 stride = series_->stride();
    const bool exact = stride > 1 && !exact_.empty() && exactFirst_ <= index / stride * stride &&
                       exactFirst_ + qint64(exact_.size()) > index;
    const bool gap = !series_->gaps().empty() && series_->gaps().back() == index;
    for (int k = 0; k < 8; ++k) {
        EnvelopeGraph* g = graphs_[std::size_t(k)];
        const int c = k / 2;
        if (c >= channels()) {
            g->setVisible(false);
            continue;
        }
        if (stride == 1 || exact) {
            if (gap)
                g->addData(x - (x - sampleX(int(index) - 1, secondsPerPoint_)) / 2, qQNaN());
            g->addData(x, PointSummary::valueOf(series_->lastPoint(), quantityOf(k), c));
        } else {
            // The last bucket grew: its envelope is drawn again.
            const int b = int(index / stride);
            const double from = sampleX(int(b * stride), secondsPerPoint_);
            g->data()->removeAfter(from - 1e-12);
            const GraphSeries::Bucket& v = series_->bucket(quantityOf(k), c, b);
            g->addData(from, v.min);
            g->addData(from + (x - from) / 2, v.max);
            g->dataReplaced();
        }
        if (c >= 1)
            g->setVisible(boxes_[std::size_t(k)]->isChecked());
    }
}

void GraphWindow::showSummary() {
    std::vector<ChannelSummary> lines;
    auto text = [](const std::optional<double>& v) { return v ? QString::number(*v) : QString(); };
    // Once a second during a recording: one scan for all channels.
    for (const ChannelExtremes& e : shown_->extremesUpTo(channels()))
        lines.push_back({text(e.maxVolt), text(e.minVolt), text(e.maxCurr), text(e.minCurr)});
    summary_->clear();
    summary_->addItems(summaryLines(sampleCount(), secondsPerPoint_, lines));
}

void GraphWindow::setChannelColours(const QStringList& colours) {
    for (int c = 0; c < 4 && c < colours.size(); ++c) {
        if (colours.at(c).trimmed().isEmpty())
            continue;
        const QColor colour = RecordSetupDialog::colourOf(colours.at(c));
        for (int k : {2 * c, 2 * c + 1}) {
            QPen pen = graphs_[std::size_t(k)]->pen();
            pen.setColor(colour);
            graphs_[std::size_t(k)]->setPen(pen);
            QPen cursorPen = cursors_[std::size_t(k)]->pen();
            cursorPen.setColor(colour);
            cursors_[std::size_t(k)]->setPen(cursorPen);
            setLineColour(k, colour);
        }
    }
    queueReplot();
}

void GraphWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The window always fills the main window's client area.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
        sub && sub->isVisible() && !sub->isMaximized())
        sub->showMaximized();
    for (QListWidget* list : {loadList_, deleteList_})
        list->setGeometry(plot_->geometry());
}

bool GraphWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == loadList_ || watched == deleteList_) {
        const bool escape = event->type() == QEvent::KeyPress &&
                            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        if (escape || event->type() == QEvent::FocusOut)
            static_cast<QListWidget*>(watched)->hide();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace trq
