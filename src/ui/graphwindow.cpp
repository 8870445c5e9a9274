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
#include "ui/recordlist.h"
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

// "CH1 0.7 A > 0.5": what tripped, beside its mark on the plot; "Step 3".
QString eventLabel(const RecordEvent& e) {
    if (e.isStep())
        return GraphWindow::tr("Step %1").arg(e.value);
    return QStringLiteral("CH%1 %L2 %3 %4 %L5")
        .arg(e.channel)
        .arg(e.value)
        .arg(e.quantity, e.value > e.limit ? QStringLiteral(">") : QStringLiteral("<"))
        .arg(e.limit);
}

QColor eventColour(const RecordEvent& e) {
    return e.isStep() ? QColor(0, 96, 192) : QColor(Qt::red);
}

QLineEdit* readout(QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(true);
    edit->setFixedWidth(90);
    return edit;
}

const char* const kUnits[] = {"V", "A", "W", "Ah", "Wh"};

// A plot's box: "Ch1 V", or by the supply's name in a bench's run.
QString plotName(const QString& supply, int channel, PlotQuantity q) {
    const QLatin1String unit(kUnits[int(q)]);
    if (supply.isEmpty())
        return QStringLiteral("Ch%1 %2").arg(channel + 1).arg(unit);
    return QStringLiteral("%1 CH%2 %3").arg(supply).arg(channel + 1).arg(unit);
}

// Each further supply's plots are drawn in its channels' colours, dashed
// otherwise.
constexpr Qt::PenStyle kTraceStyles[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine,
                                         Qt::DashDotDotLine};
Qt::PenStyle traceStyle(int k) {
    return kTraceStyles[std::size_t(k / GraphWindow::kPlotsPerSupply) % std::size(kTraceStyles)];
}

} // namespace

GraphWindow::GraphWindow(InstrumentSession& session, Recording& recording, Prompter& prompter,
                         Commands commands, QWidget* parent)
    : QWidget(parent), store_(recording.store()), prompter_(prompter), session_(session),
      recording_(recording), commands_(std::move(commands)), plot_(new QCustomPlot(this)),
      xLength_(new QComboBox(this)), yVoltage_(new QComboBox(this)), yCurrent_(new QComboBox(this)),
      summary_(new QListWidget(this)), channelList_(new QListWidget(this)),
      modes_(new QButtonGroup(this)), cursorFrame_(new QGroupBox(tr("Cursor Information"), this)),
      measureFrame_(new QGroupBox(tr("Measurements"), cursorFrame_)),
      xPosition_(readout(cursorFrame_)), yPosition_(readout(cursorFrame_)),
      period_(readout(measureFrame_)), amplitude_(readout(measureFrame_)),
      loadList_(new RecordList(this, 22)), deleteList_(new RecordList(this, 22)),
      start_(new QPushButton(tr("Start"), this)), rightAxis_(new QComboBox(this)),
      supply_(new QComboBox(this)), between_(new QLabel(measureFrame_)) {
    traces_.push_back({{}, 1, &recording.store(), &recording.series(), 0, {}});
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

    std::copy(kDefaultColours.begin(), kDefaultColours.end(), channelColours_.begin());
    boxArea_ = new QWidget(this);
    boxGrid_ = new QGridLayout(boxArea_);
    boxGrid_->setContentsMargins(0, 0, 0, 0);
    reference_ = new QCPItemTracer(plot_);
    reference_->setStyle(QCPItemTracer::tsCrosshair);
    reference_->setInterpolating(false);
    reference_->setPen(QPen(Qt::darkGray, 1, Qt::DashDotLine));
    reference_->setVisible(false);
    // Before the first boxes, which are named by it.
    rightAxis_->addItems({tr("Current"), tr("Power"), tr("Charge"), tr("Energy")});
    setTraceCount(1);

    // Each range keeps its value beside the text shown in the user's locale.
    for (const auto& [box, choices] :
         {std::pair{yVoltage_, voltageRangeChoices()}, std::pair{yCurrent_, currentRangeChoices()}})
        for (const QString& choice : choices)
            box->addItem(QString(choice).replace(QLatin1Char('.'), QLocale().decimalPoint()),
                         leadingNumber(choice));
    connect(yVoltage_, &QComboBox::activated, this, &GraphWindow::applyVoltageRange);
    connect(yCurrent_, &QComboBox::activated, this, &GraphWindow::applyCurrentRange);
    connect(xLength_, &QComboBox::activated, this, &GraphWindow::applyTimeLength);
    // The recording's series grows point by point.
    GraphSeries* live = &recording.series();
    connect(live, &GraphSeries::pointAdded, this, [this, live](qint64 index) {
        for (Trace& t : traces_)
            if (t.series == live)
                pointAdded(t, index);
    });
    connect(live, &GraphSeries::replaced, this, [this, live] {
        for (const Trace& t : traces_)
            if (t.series == live && !reloading_)
                refillPlots();
    });
    connect(live, &GraphSeries::emptied, this, [this, live] {
        for (const Trace& t : traces_)
            if (t.series == live)
                clearDisplay();
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
    connect(plot_, &QCustomPlot::mouseRelease, this, [this] { dragging_ = kNoCursor; });
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
    connect(&recording_, &Recording::eventAdded, this, [this](const RecordEvent& e) {
        for (const Trace& t : traces_)
            if (t.series == &recording_.series())
                addMarker(keyOf(t, e.seqNo - t.series->firstSeqNo()), eventColour(e),
                          named(t, eventLabel(e)));
        queueReplot();
    });
    connect(rightAxis_, &QComboBox::activated, this, &GraphWindow::applyRightAxis);

    // Record lists for Load and Delete lie over the graph.
    for (RecordList* list : {loadList_, deleteList_}) {
        // Escape or a click elsewhere closes it.
        list->list()->installEventFilter(this);
        list->filterBox()->installEventFilter(this);
        list->hide();
        // Its lines are another store's records now.
        connect(&recording.record(), &WorkingRecord::archiveChanged, list, &QWidget::hide);
    }
    connect(loadList_->list(), &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { loadChosen(loadList_->list()->row(item)); });
    connect(deleteList_->list(), &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { deleteChosen(deleteList_->list()->row(item)); });

    // Right: plot boxes with their legend lines, the cursor's plot list and
    // the statistics.
    auto* channelFrame = new QWidget(this);
    channelFrame->setObjectName(QStringLiteral("FrameChannel"));
    auto* side = new QVBoxLayout(channelFrame);
    side->setContentsMargins(0, 0, 0, 0);
    side->addWidget(supply_);
    // A bench's many plots scroll; one supply's all show.
    auto* boxScroll = new QScrollArea(channelFrame);
    boxScroll->setObjectName(QStringLiteral("plotBoxes"));
    boxScroll->setFrameShape(QFrame::NoFrame);
    boxScroll->setWidgetResizable(true);
    boxScroll->setWidget(boxArea_);
    boxScroll->setMinimumHeight(boxArea_->sizeHint().height());
    boxScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    side->addWidget(boxScroll);
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
    return int(traces_.front().series->count());
}

PlotQuantity GraphWindow::quantityOf(int k) const {
    return k % 2 == 0 ? PlotQuantity::Voltage : PlotQuantity(rightAxis_->currentIndex() + 1);
}

void GraphWindow::queueReplot() {
    plot_->replot(QCustomPlot::rpQueuedReplot); // at most one per event-loop turn
}

void GraphWindow::setLegend(int k) {
    QPixmap sample(24, 5);
    sample.fill(Qt::transparent);
    {
        QPainter painter(&sample);
        painter.setPen(QPen(lineColour(k), 2, traceStyle(k)));
        painter.drawLine(0, 2, 24, 2);
    }
    lines_[std::size_t(k)]->setPixmap(sample);
}

QString GraphWindow::named(const Trace& t, const QString& text) const {
    return traces_.size() > 1 ? t.name + QStringLiteral(": ") + text : text;
}

// ---- Time axis ---------------------------------------------------------------

double GraphWindow::keyOf(const Trace& t, qint64 sample) const {
    return t.series->summary().keyOf(sample, secondsPerPoint_, origin_);
}

double GraphWindow::keyOf(const Trace& t, const PlotPoint& p, qint64 sample) const {
    return t.series->summary().isTimed() ? double(p.time - origin_) : keyOf(t, sample);
}

qint64 GraphWindow::sampleAt(const Trace& t, double key) const {
    return t.series->summary().pointAt(key, secondsPerPoint_, origin_);
}

bool GraphWindow::updateOrigin() {
    std::optional<qint64> first;
    for (const Trace& t : traces_)
        if (const PointSummary& s = t.series->summary(); s.count() > 0 && s.isTimed())
            first = std::min(first.value_or(s.firstTime()), s.firstTime());
    return std::exchange(origin_, first.value_or(0)) != origin_;
}

// ---- Plots -------------------------------------------------------------------

void GraphWindow::addPlot(int k) {
    const int row = k; // a box and its legend line a row
    auto* g = new EnvelopeGraph(plot_->xAxis, k % 2 == 0 ? plot_->yAxis : plot_->yAxis2);
    g->setAdaptiveSampling(true);
    g->setPen(QPen(lineColour(k), 1, traceStyle(k)));
    graphs_.push_back(g);
    auto* box = new QCheckBox(plotName({}, channelOf(k), quantityOf(k)), boxArea_);
    box->setChecked(true);
    boxes_.push_back(box);
    auto* line = new QLabel(boxArea_);
    line->setFixedSize(24, 5);
    lines_.push_back(line);
    setLegend(k);
    boxGrid_->addWidget(box, row, 0);
    boxGrid_->addWidget(line, row, 1);
    connect(box, &QCheckBox::clicked, this, [this, k] { plotBoxClicked(k); });
    auto* t = new QCPItemTracer(plot_);
    t->setStyle(QCPItemTracer::tsCrosshair);
    t->setInterpolating(false); // a cursor on a plot stands on a sample
    t->setPen(QPen(lineColour(k), 1, Qt::DashLine));
    t->setVisible(false);
    cursors_.push_back(t);
}

void GraphWindow::setTraceCount(int traces) {
    const int plots = kPlotsPerSupply * std::max(traces, 1);
    while (plotCount() > plots) {
        if (reference_->graph() == graphs_.back())
            reference_->setGraph(nullptr);
        plot_->removeGraph(graphs_.back());
        graphs_.pop_back();
        plot_->removeItem(cursors_.back());
        cursors_.pop_back();
        delete boxes_.back();
        boxes_.pop_back();
        delete lines_.back();
        lines_.pop_back();
    }
    while (plotCount() < plots)
        addPlot(plotCount());
    // The other supplies' points, each its own series.
    while (benchSeries_.size() < std::size_t(traces)) {
        auto series = std::make_unique<GraphSeries>(1);
        GraphSeries* s = series.get();
        connect(s, &GraphSeries::replaced, this, [this] {
            if (!reloading_)
                refillPlots();
        });
        connect(s, &GraphSeries::emptied, this, [this, s] {
            for (const Trace& t : traces_)
                if (t.series == s)
                    clearDisplay();
        });
        benchSeries_.push_back(std::move(series));
    }
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
    for (const Trace& t : traces_)
        t.series->clear(); // the display follows through emptied
}

void GraphWindow::clearDisplay() {
    for (Trace& t : traces_)
        t.exact.clear();
    updateOrigin();
    showPlots(true); // the other supplies' stay
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
        choicePlots_.clear();
        for (std::size_t i = 0; i < traces_.size(); ++i) {
            const QStringList choices = cursorChoices(traces_[i].channels);
            for (int c = 0; c < choices.size(); ++c) {
                channelList_->addItem(named(traces_[i], choices.at(c)));
                choicePlots_.push_back(int(i) * kPlotsPerSupply + c);
            }
        }
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
    // A bench's run keeps the channels it recorded.
    for (Trace& t : traces_)
        if (t.name.isEmpty())
            t.channels = std::clamp(n, 1, 4);
    applyChannels();
}

void GraphWindow::applyChannels() {
    for (int k = 0; k < plotCount(); ++k) {
        boxes_[std::size_t(k)]->setEnabled(plotInUse(k));
        graphs_[std::size_t(k)]->setVisible(plotInUse(k));
        // Among several supplies' boxes, only those of channels they have.
        const bool listed = plotInUse(k) || traces_.size() == 1;
        boxes_[std::size_t(k)]->setVisible(listed);
        lines_[std::size_t(k)]->setVisible(listed);
    }
    for (const Trace& t : traces_)
        t.series->setChannels(t.channels);
    queueReplot();
}

double GraphWindow::channelLimit(Setting setting) const {
    return session_.supply().channelCount() > 0
               ? session_.supply().channel(0).limits[std::size_t(setting)].maximum
               : 1.0;
}

void GraphWindow::showSupply() {
    const std::vector<ExportedSupply> run = recording_.record().runSupplies();
    const std::vector<const ExportedSupply*> chosen = chooseRunSupplies(*supply_, run, true);
    std::vector<Trace> traces;
    for (const ExportedSupply* s : chosen) {
        GraphSeries* series = s->store == &recording_.store()
                                  ? &recording_.series()
                                  : nullptr; // one of benchSeries_, below
        traces.push_back({s->name, s->channels, s->store, series, 0, {}});
    }
    if (traces.empty()) {
        const Trace& was = traces_.front();
        const int channels =
            was.name.isEmpty() ? was.channels : std::clamp(session_.supply().channelCount(), 1, 4);
        traces.push_back({{}, channels, &recording_.store(), &recording_.series(), 0, {}});
    }
    setTraceCount(int(traces.size()));
    for (std::size_t i = 0; i < traces.size(); ++i)
        if (!traces[i].series)
            traces[i].series = benchSeries_[i].get();
    auto same = [](const Trace& a, const Trace& b) {
        return a.name == b.name && a.store == b.store && a.series == b.series &&
               a.channels == b.channels;
    };
    if (std::equal(traces.begin(), traces.end(), traces_.begin(), traces_.end(), same))
        return;
    traces_ = std::move(traces);
    for (int k = 0; k < plotCount(); ++k)
        boxes_[std::size_t(k)]->setText(plotName(traceOf(k).name, channelOf(k), quantityOf(k)));
    applyChannels();
    reloadTraces();
    setMode(mode_); // the cursors start afresh on the plots now shown
}

void GraphWindow::benchStepRecorded() {
    // The recording's own supply grows point by point; the others are read
    // anew, all of them before one redraw.
    bool others = false;
    reloading_ = true;
    for (Trace& t : traces_)
        if (t.series != &recording_.series() && !t.series->shows(*t.store)) {
            t.series->reload(*t.store);
            others = true;
        }
    reloading_ = false;
    if (others)
        refillPlots();
}

void GraphWindow::reloadTraces() {
    bool read = true;
    reloading_ = true;
    for (Trace& t : traces_) {
        t.exact.clear();
        read = t.series->reload(*t.store) && read;
    }
    reloading_ = false;
    resetView();
    refillPlots();
    trapped(read);
}

void GraphWindow::redraw() {
    showSupply();
    // Nothing was recorded or loaded since the plots were filled: only the
    // view starts afresh, no point is read again.
    const bool shown = std::all_of(traces_.begin(), traces_.end(),
                                   [](const Trace& t) { return t.series->shows(*t.store); });
    if (shown &&
        secondsPerPoint_ == recordScale(recording_.record().header().scale).graphSecondsPerPoint) {
        resetView();
        showPlots(false);
        if (quantityOf(1) != PlotQuantity::Current)
            applyRightAxis();
        return;
    }
    reloadTraces();
}

void GraphWindow::fillPlot(int k) {
    EnvelopeGraph* g = graphs_[std::size_t(k)];
    const Trace& t = traceOf(k);
    const GraphSeries& series = *t.series;
    const int c = channelOf(k);
    const PlotQuantity q = quantityOf(k);
    const qint64 stride = series.stride();
    const qint64 count = series.count();
    const qint64 exactLast = t.exactFirst + qint64(t.exact.size()) - 1;
    const std::vector<qint64>& gaps = series.gaps();
    auto gap = gaps.begin();
    QVector<QCPGraphData> points;
    points.reserve(2 * series.bucketCount() + int(gaps.size()) + int(t.exact.size()));
    const double dx = secondsPerPoint_;
    // The line breaks where the link was lost: no value is invented. Within
    // a bucket, before the bucket: the keys stay in order.
    double lastKey = -std::numeric_limits<double>::infinity();
    auto append = [&](double key, double value) {
        lastKey = std::max(lastKey, key);
        points.append({lastKey, value});
    };
    auto breakBefore = [&](qint64 sample, double x) {
        for (; gap != gaps.end() && *gap <= sample; ++gap)
            append(x - dx / 2, qQNaN());
    };
    for (int b = 0; b < series.bucketCount(); ++b) {
        const qint64 first = b * stride;
        const qint64 last = std::min(first + stride, count) - 1;
        if (stride > 1 && first >= t.exactFirst && last <= exactLast) {
            for (qint64 i = first; i <= last; ++i) {
                const PlotPoint& p = t.exact[std::size_t(i - t.exactFirst)];
                const double x = keyOf(t, p, i);
                breakBefore(i, x);
                append(x, PointSummary::valueOf(p, q, c));
            }
            continue;
        }
        const double x = keyOf(t, first);
        breakBefore(first + stride - 1, x);
        const GraphSeries::Bucket& v = series.bucket(q, c, b);
        append(x, v.min);
        if (stride > 1) // the bucket's envelope: its lowest and its highest
            append((x + keyOf(t, last)) / 2, v.max);
    }
    g->data()->set(points, true);
    g->dataReplaced();
}

void GraphWindow::showPlots(bool fill) {
    fills_ += fill ? 1 : 0;
    for (int k = 0; k < plotCount(); ++k) {
        EnvelopeGraph* g = graphs_[std::size_t(k)];
        if (!plotInUse(k)) {
            if (fill) {
                g->data()->clear();
                g->dataReplaced();
            }
            if (channelOf(k) >= 1)
                g->setVisible(false);
            continue;
        }
        if (fill)
            fillPlot(k);
        if (channelOf(k) >= 1)
            g->setVisible(boxes_[std::size_t(k)]->isChecked());
    }
}

void GraphWindow::refillPlots() {
    updateOrigin();
    updateExact();
    showPlots(true);
    if (quantityOf(1) != PlotQuantity::Current)
        applyRightAxis();
    drawMarkers();
    showSummary();
    queueReplot();
}

bool GraphWindow::updateExact() {
    bool changed = false;
    for (Trace& t : traces_)
        changed = updateExact(t) || changed;
    return changed;
}

bool GraphWindow::updateExact(Trace& t) {
    const GraphSeries& series = *t.series;
    const qint64 count = series.count();
    const qint64 stride = series.stride();
    const QCPRange range = plot_->xAxis->range();
    const qint64 from = sampleAt(t, range.lower);
    const qint64 to = sampleAt(t, range.upper);
    // Buckets of one sample are exact already.
    if (stride == 1 || to - from + 1 > kExactPoints || !series.summary().isContiguous()) {
        if (t.exact.empty())
            return false;
        t.exact.clear();
        return true;
    }
    const qint64 held = t.exactFirst + qint64(t.exact.size()) - 1;
    if (!t.exact.empty() && t.exactFirst <= from && held >= to &&
        qint64(t.exact.size()) <= 4 * kExactPoints)
        return false;
    // Half the visible width more on either side, whole buckets: a pan
    // reads again only once it leaves them.
    const qint64 margin = (to - from + 1) / 2;
    const qint64 first = std::max<qint64>(from - margin, 0) / stride * stride;
    const qint64 last = std::min(((to + margin) / stride + 1) * stride, count) - 1;
    std::optional<std::vector<PlotPoint>> read = exactPoints(t, first, last);
    t.exactFirst = first;
    t.exact = read ? std::move(*read) : std::vector<PlotPoint>();
    return true;
}

std::optional<std::vector<PlotPoint>> GraphWindow::exactPoints(const Trace& t, qint64 first,
                                                               qint64 last) {
    const qint64 held = t.exactFirst + qint64(t.exact.size()) - 1;
    if (!t.exact.empty() && t.exactFirst <= first && held >= last)
        return std::vector<PlotPoint>(t.exact.begin() + (first - t.exactFirst),
                                      t.exact.begin() + (last - t.exactFirst + 1));
    const qint64 seqNo = t.series->firstSeqNo();
    std::vector<PlotPoint> points;
    points.reserve(std::size_t(last - first + 1));
    const bool read = t.store->forEachPlotPoint([&](const PlotPoint& p) { points.push_back(p); },
                                                {seqNo + first, seqNo + last});
    // Every sample or none: the buckets stand for a table changed meanwhile.
    if (!read || qint64(points.size()) != last - first + 1 ||
        points.front().seqNo != seqNo + first || points.back().seqNo != seqNo + last)
        return std::nullopt;
    return points;
}

void GraphWindow::applyRightAxis() {
    static const char* const kNames[] = {QT_TR_NOOP("Voltage"), QT_TR_NOOP("Current"),
                                         QT_TR_NOOP("Power"), QT_TR_NOOP("Charge"),
                                         QT_TR_NOOP("Energy")};
    const PlotQuantity q = quantityOf(1);
    plot_->yAxis2->setLabel(tr(kNames[int(q)]));
    for (int k = 1; k < plotCount(); k += 2)
        boxes_[std::size_t(k)]->setText(plotName(traceOf(k).name, channelOf(k), q));
    yCurrent_->setEnabled(q == PlotQuantity::Current);
    for (int k = 1; k < plotCount(); k += 2)
        if (plotInUse(k))
            fillPlot(k);
    if (q == PlotQuantity::Current) {
        applyCurrentRange();
        return;
    }
    // Power, charge and energy have no range list: the axis takes what was drawn.
    double top = 0;
    for (const Trace& t : traces_)
        for (int c = 0; c < t.channels; ++c)
            for (int b = 0; b < t.series->bucketCount(); ++b)
                top = std::max(top, t.series->bucket(q, c, b).max);
    plot_->yAxis2->setRange(0, top > 0 ? top * 1.1 : 1.0);
    queueReplot();
}

void GraphWindow::drawMarkers() {
    for (QCPAbstractItem* item : markers_)
        plot_->removeItem(item);
    markers_.clear();
    for (const Trace& t : traces_) {
        for (qint64 gap : t.series->gaps())
            addMarker(keyOf(t, gap), Qt::darkGray, named(t, tr("gap")));
        if (t.series->count() == 0)
            continue;
        for (const RecordEvent& e : t.store->events())
            addMarker(keyOf(t, e.seqNo - t.series->firstSeqNo()), eventColour(e),
                      named(t, eventLabel(e)));
    }
}

void GraphWindow::addMarker(double x, const QColor& colour, const QString& text) {
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

void GraphWindow::pointAdded(Trace& t, qint64 index) {
    // A first point may start the time axis anew: everything is drawn again.
    if (index == 0 && updateOrigin()) {
        refillPlots();
        return;
    }
    const double x = keyOf(t, index);
    // Exact points that reach the newest take it as it was recorded.
    if (!t.exact.empty() && t.exactFirst + qint64(t.exact.size()) == index)
        t.exact.push_back(t.series->lastPoint());
    const int fills = fills_;
    // The newest point stays in view; the visible width stays the length.
    if (followLive_ && x > plot_->xAxis->range().upper)
        setTimeRange(x - plot_->xAxis->range().size(), x);
    if (!t.series->gaps().empty() && t.series->gaps().back() == index)
        addMarker(x, Qt::darkGray, named(t, tr("gap")));
    // Filled again for the new view, the plots hold the point already.
    if (fills_ == fills)
        drawLastPoint(t, index);
    showSummary();
    queueReplot();
}

void GraphWindow::drawLastPoint(const Trace& t, qint64 index) {
    const double x = keyOf(t, index);
    const GraphSeries& series = *t.series;
    const qint64 stride = series.stride();
    const bool exact = stride > 1 && !t.exact.empty() && t.exactFirst <= index / stride * stride &&
                       t.exactFirst + qint64(t.exact.size()) > index;
    const bool gap = !series.gaps().empty() && series.gaps().back() == index;
    const int first = int(&t - traces_.data()) * kPlotsPerSupply;
    for (int k = first; k < first + kPlotsPerSupply; ++k) {
        EnvelopeGraph* g = graphs_[std::size_t(k)];
        if (!plotInUse(k)) {
            g->setVisible(false);
            continue;
        }
        if (stride == 1 || exact) {
            if (gap)
                g->addData(x - (x - keyOf(t, index - 1)) / 2, qQNaN());
            g->addData(x, PointSummary::valueOf(series.lastPoint(), quantityOf(k), channelOf(k)));
        } else {
            // The last bucket grew: its envelope is drawn again.
            const int b = int(index / stride);
            const double from = keyOf(t, b * stride);
            g->data()->removeAfter(from - 1e-12);
            const GraphSeries::Bucket& v = series.bucket(quantityOf(k), channelOf(k), b);
            g->addData(from, v.min);
            g->addData(from + (x - from) / 2, v.max);
            g->dataReplaced();
        }
        if (channelOf(k) >= 1)
            g->setVisible(boxes_[std::size_t(k)]->isChecked());
    }
}

void GraphWindow::showSummary() {
    QStringList shown;
    auto text = [](const std::optional<double>& v) { return v ? QString::number(*v) : QString(); };
    for (const Trace& t : traces_) {
        std::vector<ChannelSummary> lines;
        // Once a second during a recording: one scan for all channels.
        for (const ChannelExtremes& e : t.store->extremesUpTo(t.channels))
            lines.push_back({text(e.maxVolt), text(e.minVolt), text(e.maxCurr), text(e.minCurr)});
        const qint64 count = t.series->count();
        const double seconds = count > 1 ? keyOf(t, count - 1) - keyOf(t, 0) : 0;
        if (traces_.size() > 1)
            shown << t.name;
        shown << summaryLines(int(count), qint64(std::llround(seconds)), secondsPerPoint_, lines);
    }
    summary_->clear();
    summary_->addItems(shown);
}

void GraphWindow::setChannelColours(const QStringList& colours) {
    for (int c = 0; c < 4 && c < colours.size(); ++c) {
        if (colours.at(c).trimmed().isEmpty())
            continue;
        channelColours_[std::size_t(c)] = RecordSetupDialog::colourOf(colours.at(c));
    }
    for (int k = 0; k < plotCount(); ++k) {
        QPen pen = graphs_[std::size_t(k)]->pen();
        pen.setColor(lineColour(k));
        graphs_[std::size_t(k)]->setPen(pen);
        QPen cursorPen = cursors_[std::size_t(k)]->pen();
        cursorPen.setColor(lineColour(k));
        cursors_[std::size_t(k)]->setPen(cursorPen);
        setLegend(k);
    }
    queueReplot();
}

void GraphWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The window always fills the main window's client area.
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
        sub && sub->isVisible() && !sub->isMaximized())
        sub->showMaximized();
    for (RecordList* list : {loadList_, deleteList_})
        list->setGeometry(plot_->geometry());
}

QListWidget* GraphWindow::loadList() const {
    return loadList_->list();
}

QListWidget* GraphWindow::deleteList() const {
    return deleteList_->list();
}

bool GraphWindow::eventFilter(QObject* watched, QEvent* event) {
    for (RecordList* list : {loadList_, deleteList_}) {
        if (watched != list->list() && watched != list->filterBox())
            continue;
        const bool escape = event->type() == QEvent::KeyPress &&
                            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape;
        // Focus going to its own filter line keeps it open.
        const bool away =
            event->type() == QEvent::FocusOut && !list->isAncestorOf(QApplication::focusWidget());
        if (escape || away)
            list->hide();
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace trq
