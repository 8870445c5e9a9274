#include "graph/frmgraphicrecord.h"

#include "graph/graphrecord.h"
#include "panels/commandset.h"
#include "record/dlgrecordlength.h"
#include "record/recordstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include <qcustomplot.h>

namespace trq {

namespace {

// Ticks at the major divisions of the chosen length, labelled in its format.
class DayFractionTicker : public QCPAxisTickerFixed {
public:
    explicit DayFractionTicker(const QString* format) : format_(format) {
        setScaleStrategy(ssNone);
    }

protected:
    QString getTickLabel(double tick, const QLocale&, QChar, int) override {
        return formatAxisTime(tick, *format_);
    }

private:
    const QString* format_;
};

const std::array<QColor, 4> kDefaultColours{QColor(0, 192, 0), QColor(0, 0, 192),
                                            QColor(128, 0, 128), QColor(255, 255, 0)};

} // namespace

frmGraphicRecord::frmGraphicRecord(GraphRecord& record, RecordStore& store, Limits limits,
                                   QWidget* parent)
    : QWidget(parent), data_(record), store_(store), limits_(std::move(limits)),
      plot_(new QCustomPlot(this)), xLength_(new QComboBox(this)), yVoltage_(new QComboBox(this)),
      yCurrent_(new QComboBox(this)), summary_(new QListWidget(this)) {
    setObjectName(QStringLiteral("frmGraphicRecord"));
    setWindowTitle(QStringLiteral("Graphic Record"));

    plot_->yAxis->setLabel(QStringLiteral("Voltage"));
    plot_->yAxis2->setVisible(true);
    plot_->yAxis2->setLabel(QStringLiteral("Current"));
    plot_->xAxis->setTicker(QSharedPointer<QCPAxisTicker>(new DayFractionTicker(&labelFormat_)));
    plot_->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);
    static const char* const names[] = {"Ch1 V", "Ch1 A", "Ch2 V", "Ch2 A",
                                        "Ch3 V", "Ch3 A", "Ch4 V", "Ch4 A"};
    auto* boxes = new QGridLayout;
    for (int k = 0; k < 8; ++k) {
        QCPGraph* g = plot_->addGraph(plot_->xAxis, k % 2 == 0 ? plot_->yAxis : plot_->yAxis2);
        g->setAdaptiveSampling(true);
        QPen pen(kDefaultColours[std::size_t(k / 2)]);
        pen.setWidth(1);
        if (k % 2 == 1)
            pen.setStyle(Qt::DashLine);
        g->setPen(pen);
        graphs_[std::size_t(k)] = g;
        auto* box = new QCheckBox(QLatin1String(names[k]), this);
        box->setChecked(true);
        boxes_[std::size_t(k)] = box;
        boxes->addWidget(box, k, 0);
        connect(box, &QCheckBox::clicked, this, [this, k](bool on) {
            graphs_[std::size_t(k)]->setVisible(on);
            plot_->replot(QCustomPlot::rpQueuedReplot);
        });
    }

    yVoltage_->addItems(voltageRangeChoices());
    yCurrent_->addItems(currentRangeChoices());
    connect(yVoltage_, &QComboBox::activated, this, [this](int i) {
        plot_->yAxis->setRange(0, i == 0 ? limits_.maxVoltage()
                                         : leadingNumber(yVoltage_->currentText()));
        plot_->replot(QCustomPlot::rpQueuedReplot);
    });
    connect(yCurrent_, &QComboBox::activated, this, [this](int i) {
        plot_->yAxis2->setRange(0, i == 0 ? limits_.maxCurrent()
                                          : leadingNumber(yCurrent_->currentText()));
        plot_->replot(QCustomPlot::rpQueuedReplot);
    });
    connect(xLength_, &QComboBox::activated, this,
            [this] { selectXLength(xLength_->currentText()); });
    connect(&data_, &GraphRecord::pointAdded, this, &frmGraphicRecord::pointAdded);
    connect(&data_, &GraphRecord::redrawn, this, &frmGraphicRecord::refillPlots);

    auto* side = new QVBoxLayout;
    side->addLayout(boxes);
    side->addWidget(summary_, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(plot_, 1);
    top->addLayout(side);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(new QLabel(QStringLiteral("Time Len"), this));
    bottom->addWidget(xLength_);
    bottom->addWidget(new QLabel(QStringLiteral("Voltage"), this));
    bottom->addWidget(yVoltage_);
    bottom->addWidget(new QLabel(QStringLiteral("Current"), this));
    bottom->addWidget(yCurrent_);
    bottom->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    summary_->setMaximumWidth(220);

    applyChannels();
    ClearGraph();
}

int frmGraphicRecord::SampleCount() const {
    return int(data_.voltage(0).size());
}

void frmGraphicRecord::applyChannels() {
    const int n = data_.channels();
    for (int k = 0; k < 8; ++k) {
        boxes_[std::size_t(k)]->setEnabled(k < 2 * n);
        graphs_[std::size_t(k)]->setVisible(k < 2 * n);
    }
}

void frmGraphicRecord::SetupTimeLength() {
    xLength_->clear();
    for (const XLength& x : xLengthChoices(iXTime_))
        xLength_->addItem(QLatin1String(x.text));
}

void frmGraphicRecord::selectXLength(const QString& text) {
    const auto x = xLength(text);
    if (!x)
        return;
    plot_->xAxis->setLabel(QLatin1String(x->caption));
    labelFormat_ = QLatin1String(x->labelFormat);
    plot_->xAxis->setRange(0, dayFraction(QLatin1String(x->rangeEnd)));
    const double range = dayFraction(QLatin1String(x->rangeEnd));
    static_cast<QCPAxisTickerFixed*>(plot_->xAxis->ticker().data())
        ->setTickStep(range / x->majorDivisions);
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void frmGraphicRecord::ClearGraph() {
    for (QCPGraph* g : graphs_)
        g->data()->clear();
    yVoltage_->setCurrentIndex(0);
    yCurrent_->setCurrentIndex(0);
    plot_->yAxis->setRange(0, limits_.maxVoltage ? limits_.maxVoltage() : 1);
    plot_->yAxis2->setRange(0, limits_.maxCurrent ? limits_.maxCurrent() : 1);
    iXTime_ = GraphRecord::secondsPerPoint(limits_.recScale ? limits_.recScale() : 0);
    SetupTimeLength();
    xLength_->setCurrentIndex(0);
    selectXLength(xLength_->currentText());
    ShowSummary();
}

void frmGraphicRecord::refillPlots() {
    for (int k = 0; k < 8; ++k) {
        const QVector<double>& ys = k % 2 == 0
                                        ? data_.voltage(std::min(k / 2, data_.channels() - 1))
                                        : data_.current(std::min(k / 2, data_.channels() - 1));
        QVector<double> xs(ys.size());
        for (int i = 0; i < xs.size(); ++i)
            xs[i] = sampleX(i, iXTime_);
        if (k / 2 < data_.channels())
            graphs_[std::size_t(k)]->setData(xs, ys, true);
        else
            graphs_[std::size_t(k)]->data()->clear();
    }
    ShowSummary();
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

void frmGraphicRecord::ReDraw() {
    const QList<SampleRow> rows = store_.workingRows();
    data_.ReDraw(rows); // refills the plots through its signal
}

void frmGraphicRecord::pointAdded(int index) {
    const double x = sampleX(index, iXTime_);
    for (int c = 0; c < data_.channels(); ++c) {
        graphs_[std::size_t(c * 2)]->addData(x, data_.voltage(c).at(index));
        graphs_[std::size_t(c * 2 + 1)]->addData(x, data_.current(c).at(index));
    }
    ShowSummary();
    plot_->replot(QCustomPlot::rpQueuedReplot); // at most one per event-loop turn
}

void frmGraphicRecord::ShowSummary() {
    std::vector<ChannelSummary> channels;
    auto text = [](const std::optional<double>& v) { return v ? QString::number(*v) : QString(); };
    // Once a second during a recording: one scan for all channels.
    for (const ChannelExtremes& e : store_.extremesUpTo(data_.channels()))
        channels.push_back({text(e.maxVolt), text(e.minVolt), text(e.maxCurr), text(e.minCurr)});
    summary_->clear();
    summary_->addItems(summaryLines(SampleCount(), iXTime_, channels));
}

void frmGraphicRecord::ChangeCursorColor(const QStringList& colours) {
    for (int c = 0; c < 4 && c < colours.size(); ++c) {
        const QColor colour = dlgRecordLength::colourOf(colours.at(c));
        for (int k : {2 * c, 2 * c + 1}) {
            QPen pen = graphs_[std::size_t(k)]->pen();
            pen.setColor(colour);
            graphs_[std::size_t(k)]->setPen(pen);
        }
    }
    plot_->replot(QCustomPlot::rpQueuedReplot);
}

} // namespace trq
