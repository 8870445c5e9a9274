// The graph window's modes and cursors: zoom, pan, coordinates and
// measurements, and the mouse that moves the cursors.
#include "ui/graphwindow.h"

#include "core/numbers.h"
#include "session/graphseries.h"
#include "ui/envelopegraph.h"
#include "ui/graphmath.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>

#include <qcustomplot.h>

namespace trq {

namespace {

// The cursor panel is laid out in twips: 15 to a pixel at 96 dpi, for a
// font of 6 pixels a character; wider fonts widen it alike.
constexpr int kCoordinatesTwips = 3195;
constexpr int kMeasurementsTwips = 5715;
int pixels(int twips, const QFontMetrics& font) {
    return int(twips / 15.0 * std::max(1.0, font.averageCharWidth() / 6.0));
}

// Six significant digits: the readings' own resolution, so a difference of
// two readings shows as 0.007 and a mean as 13.9986, not with the binary
// fraction's noise.
QString plainNumber(double v) {
    return shownNumber(v, 6);
}

} // namespace

// ---- Modes and cursors -------------------------------------------------------

QCPItemTracer* GraphWindow::tracer(int j) const {
    return j == kReference ? reference_ : cursors_[std::size_t(std::clamp(j, 1, plotCount()) - 1)];
}

int GraphWindow::selectedPlot() const {
    const int row = channelList_->currentRow();
    return row >= 0 && row < int(choicePlots_.size()) ? choicePlots_[std::size_t(row)] + 1 : 0;
}

int GraphWindow::plotOfCursor(int j) const {
    return j == kReference ? selectedPlot() : j;
}

bool GraphWindow::cursorVisible(int j) const {
    return tracer(j)->visible();
}

QPointF GraphWindow::cursorPosition(int j) const {
    const QCPItemTracer* t = tracer(j);
    return {t->position->key(), t->position->value()};
}

void GraphWindow::hideCursors() {
    for (QCPItemTracer* t : cursors_)
        t->setVisible(false);
    tracer(kReference)->setVisible(false);
    queueReplot();
}

void GraphWindow::centreCursor(int k) {
    QCPItemTracer* t = tracer(k);
    QCPAxis* valueAxis = k % 2 == 1 ? plot_->yAxis : plot_->yAxis2;
    t->setGraph(nullptr);
    t->position->setAxes(plot_->xAxis, valueAxis);
    t->position->setCoords(plot_->xAxis->range().center(), valueAxis->range().center());
}

void GraphWindow::tieReference(int k) {
    QCPItemTracer* ref = tracer(kReference);
    const QPointF at = cursorPosition(k);
    QCPGraph* g = graphs_[std::size_t(k - 1)];
    if (g->data()->isEmpty()) {
        ref->setGraph(nullptr);
        ref->position->setAxes(g->keyAxis(), g->valueAxis());
        ref->position->setCoords(at.x(), at.y());
        return;
    }
    ref->setGraph(g);
    ref->setGraphKey(at.x());
    ref->updatePosition();
}

void GraphWindow::setMode(int mode) {
    mode_ = std::clamp(mode, 0, 3);
    {
        const QSignalBlocker block(modes_);
        modes_->button(mode_)->setChecked(true);
    }
    cursorFrame_->hide();
    hideCursors();
    if (mode_ == Zoom || mode_ == Pan) {
        plot_->setSelectionRectMode(mode_ == Zoom ? QCP::srmZoom : QCP::srmNone);
        plot_->setInteractions(
            mode_ == Zoom ? QCP::iRangeZoom : QCP::Interactions(QCP::iRangeDrag | QCP::iRangeZoom));
        return;
    }
    int entry = 0;
    for (int i = 0; i < int(choicePlots_.size()); ++i) {
        if (boxes_[std::size_t(choicePlots_[std::size_t(i)])]->isChecked()) {
            entry = i;
            break;
        }
    }
    {
        const QSignalBlocker block(channelList_);
        channelList_->setCurrentRow(entry);
    }
    plotChosen();
    plot_->setSelectionRectMode(QCP::srmNone);
    plot_->setInteractions({}); // the mouse drags cursors now
    const int k = selectedPlot();
    if (k < 1)
        return;
    tracer(k)->setVisible(true);
    centreCursor(k);
    measureFrame_->setVisible(mode_ == CursorMeasurements);
    // Never narrower than its boxes need: a larger font would clip them.
    cursorFrame_->setFixedWidth(
        std::max(pixels(mode_ == CursorMeasurements ? kMeasurementsTwips : kCoordinatesTwips,
                        cursorFrame_->fontMetrics()),
                 cursorFrame_->minimumSizeHint().width()));
    cursorFrame_->show();
    if (mode_ == CursorMeasurements) {
        tracer(kReference)->setVisible(true);
        tieReference(k);
    }
    queueReplot();
}

void GraphWindow::plotChosen() {
    const int k = selectedPlot();
    if (k < 1)
        return;
    for (int i = 1; i <= plotCount(); ++i) {
        tracer(i)->setVisible(false);
        boxes_[std::size_t(i - 1)]->setChecked(false);
        graphs_[std::size_t(i - 1)]->setVisible(false);
    }
    tracer(k)->setVisible(true);
    boxes_[std::size_t(k - 1)]->setChecked(true);
    graphs_[std::size_t(k - 1)]->setVisible(true);
    centreCursor(k);
    if (tracer(kReference)->visible())
        tieReference(k);
    queueReplot();
}

void GraphWindow::moveCursor(int j, double x, double y) {
    QCPItemTracer* t = tracer(j);
    const int k = plotOfCursor(j);
    if (k < 1)
        return;
    x = std::max(x, 0.0); // no sample lies before the first
    QCPGraph* g = graphs_[std::size_t(k - 1)];
    if (g->data()->isEmpty()) {
        t->setGraph(nullptr);
        t->position->setAxes(g->keyAxis(), g->valueAxis());
        t->position->setCoords(x, y);
    } else {
        t->setGraph(g); // snaps to the plot's nearest sample
        t->setGraphKey(x);
        t->updatePosition();
    }
    cursorMoved(j);
    queueReplot();
}

void GraphWindow::cursorMoved(int j) {
    const QPointF at = cursorPosition(j);
    xPosition_->setText(formatAxisTime(at.x(), QStringLiteral("hh:nn:ss")));
    yPosition_->setText(plainNumber(at.y()));
    period_->clear();
    amplitude_->clear();
    const int k = selectedPlot();
    if (k < 1)
        return;
    const Trace& t = traceOf(k - 1);
    emit sampleChosen(int(sampleAt(t, at.x())), t.store);
    if (mode_ != CursorMeasurements)
        return;
    const QPointF a = cursorPosition(k);
    const QPointF b = cursorPosition(kReference);
    period_->setText(formatAxisTime(std::abs(a.x() - b.x()), QStringLiteral("hh:nn:ss")));
    amplitude_->setText(plainNumber(std::abs(a.y() - b.y())));
    showBetweenCursors();
}

void GraphWindow::showBetweenCursors() {
    const int k = selectedPlot();
    if (k < 1 || mode_ != CursorMeasurements) {
        between_->clear();
        return;
    }
    const PlotQuantity q = quantityOf(k - 1);
    const Trace& t = traceOf(k - 1);
    const GraphSeries::Stats s =
        statsBetween(t, q, channelOf(k - 1), sampleAt(t, cursorPosition(k).x()),
                     sampleAt(t, cursorPosition(kReference).x()));
    if (s.count == 0) {
        between_->clear();
        return;
    }
    static const char* const kUnits[] = {"V", "A", "W", "Ah", "Wh"};
    const QString unit = QLatin1String(kUnits[int(q)]);
    QStringList lines{tr("%1 points%2").arg(s.count).arg(s.exact ? QString() : tr(" (about)")),
                      tr("Mean: %1 %2").arg(plainNumber(s.mean), unit),
                      tr("Min: %1 %2").arg(plainNumber(s.min), unit),
                      tr("Max: %1 %2").arg(plainNumber(s.max), unit)};
    // Current and power integrate to charge and energy over the points' time.
    const double hours = secondsPerPoint_ / 3600.0;
    if (q == PlotQuantity::Current)
        lines << tr("Integral: %1 Ah").arg(plainNumber(s.sum * hours));
    if (q == PlotQuantity::Power)
        lines << tr("Integral: %1 Wh").arg(plainNumber(s.sum * hours));
    between_->setText(lines.join(QLatin1Char('\n')));
}

GraphSeries::Stats GraphWindow::statsBetween(const Trace& t, PlotQuantity q, int channel,
                                             qint64 first, qint64 last) {
    if (first > last)
        std::swap(first, last);
    first = std::max<qint64>(first, 0);
    last = std::min(last, t.series->count() - 1);
    const GraphSeries::Stats about = t.series->stats(q, channel, first, last);
    // Few enough points between the cursors: their own, not their buckets'.
    if (about.exact || last - first + 1 > kExactPoints || !t.series->summary().isContiguous())
        return about;
    const std::optional<std::vector<PlotPoint>> points = exactPoints(t, first, last);
    if (!points)
        return about;
    return PointSummary::statsOf(points->data(), points->data() + points->size(), q, channel);
}

void GraphWindow::plotMousePress(QMouseEvent* event) {
    if (mode_ < CursorCoordinates || event->button() != Qt::LeftButton)
        return;
    // The nearest shown cursor within a few pixels; otherwise the plot's
    // own cursor jumps to the click.
    const double px = event->position().x();
    const int k = selectedPlot();
    dragging_ = k >= 1 ? k : kNoCursor;
    double best = 8.0;
    for (int j : {k, kReference}) {
        if ((j != kReference && j < 1) || !cursorVisible(j))
            continue;
        const double d = std::abs(plot_->xAxis->coordToPixel(cursorPosition(j).x()) - px);
        if (d <= best) {
            best = d;
            dragging_ = j;
        }
    }
    plotMouseMove(event);
}

void GraphWindow::plotMouseMove(QMouseEvent* event) {
    if (dragging_ == kNoCursor || !(event->buttons() & Qt::LeftButton) || !cursorVisible(dragging_))
        return;
    const int k = plotOfCursor(dragging_);
    QCPAxis* valueAxis = k % 2 == 1 ? plot_->yAxis : plot_->yAxis2;
    moveCursor(dragging_, plot_->xAxis->pixelToCoord(event->position().x()),
               valueAxis->pixelToCoord(event->position().y()));
}

} // namespace trq
