// The graph window against a bare QCustomPlot of the same data and size:
// a full ReDraw of a 35,000-point three-channel working table, one live
// point appended at 35,000 points, and pan/zoom frames over 8 plots of
// 1,000,000 points each.
#include "benchsession.h"
#include "ui/graphwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <qcustomplot.h>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace trq;

namespace {

constexpr int kPoints = 35000;
const QSize kPlotSize(900, 560);

SampleRow sample(int i) {
    SampleRow r;
    r.seqNo = i;
    r.recTime = QStringLiteral("2026/12/06 10:00:00");
    for (std::size_t c = 0; c < 3; ++c) {
        r.volt[c] = QString::number(12.0 + 2.0 * std::sin(i / 500.0 + double(c)), 'f', 3);
        r.curr[c] = QString::number(1.0 + 0.5 * std::cos(i / 700.0 + double(c)), 'f', 3);
    }
    r.timeTick = i;
    return r;
}

// Plot k's value at point i: a slow swing with some ripple.
double wave(int k, int i) {
    return (k % 2 == 0 ? 12.0 : 1.0) + std::sin(i / 500.0 + k) + 0.01 * (i % 7);
}

// A graph window over a working table of n three-channel points.
struct Window {
    BenchSession bench;
    std::unique_ptr<GraphWindow> graph;
    explicit Window(int n, const QString& model = QStringLiteral("PSQ-3323")) {
        bench.data.database().transaction();
        for (int i = 0; i < n; ++i)
            bench.store.appendSample(sample(i));
        bench.data.database().commit();
        bench.session.connection().openTestingMode(model);
        graph = std::make_unique<GraphWindow>(bench.session, recording(), bench.prompter,
                                              GraphWindow::Commands{});
        graph->setChannelCount(bench.session.supply().channelCount());
        graph->timeLengthList()->setCurrentIndex(4); // "60m"
        graph->applyTimeLength();
        graph->resize(1200, 760);
        graph->show();
        QApplication::processEvents();
        graph->plotWidget()->resize(kPlotSize);
    }
    Recording& recording() { return *bench.session.recording(); }
    RecordStore& store() { return bench.store; }
    void replot() { graph->plotWidget()->replot(QCustomPlot::rpImmediateRefresh); }
};

// The same plots in a bare QCustomPlot: no database, no window.
struct BarePlot {
    QCustomPlot plot;
    explicit BarePlot(int graphs, int n) {
        plot.resize(kPlotSize);
        plot.yAxis2->setVisible(true);
        for (int k = 0; k < graphs; ++k) {
            QCPGraph* g = plot.addGraph(plot.xAxis, k % 2 == 0 ? plot.yAxis : plot.yAxis2);
            QVector<double> xs(n), ys(n);
            for (int i = 0; i < n; ++i) {
                xs[i] = i / 86400.0;
                ys[i] = wave(k, i);
            }
            g->setData(xs, ys, true);
        }
        plot.xAxis->setRange(0, 1.0 / 24);
        plot.yAxis->setRange(0, 32);
        plot.yAxis2->setRange(0, 3.2);
        plot.show();
        QApplication::processEvents();
    }
};

void BM_BareReplot35k(benchmark::State& state) {
    BarePlot bare(6, kPoints);
    for (auto _ : state)
        bare.plot.replot(QCustomPlot::rpImmediateRefresh);
}
BENCHMARK(BM_BareReplot35k)->Unit(benchmark::kMillisecond);

void BM_ReDraw35k(benchmark::State& state) {
    Window w(kPoints);
    for (auto _ : state) {
        w.graph->redraw();
        w.replot();
    }
    state.counters["points"] = w.graph->sampleCount();
}
BENCHMARK(BM_ReDraw35k)->Unit(benchmark::kMillisecond);

// ReDraw when the store has to read the table again (after a load, a clear,
// any statement other than a recorded point): values and statistics.
void BM_ReDrawFromDatabase35k(benchmark::State& state) {
    Window w(kPoints);
    for (auto _ : state) {
        w.store().setComment(QStringLiteral("-"), {}); // drops what the store keeps
        w.graph->redraw();
        w.replot();
    }
}
BENCHMARK(BM_ReDrawFromDatabase35k)->Unit(benchmark::kMillisecond);

// Reading the working table into the graph's summaries, without drawing, as
// after a restart: a store that has read nothing of the file yet.
void BM_ReadWorkingValues35k(benchmark::State& state) {
    Window w(kPoints);
    GraphSeries series(4);
    for (auto _ : state) {
        RecordStore fresh(w.bench.data.database());
        benchmark::DoNotOptimize(series.reload(fresh));
    }
}
BENCHMARK(BM_ReadWorkingValues35k)->Unit(benchmark::kMillisecond);

void BM_ShowGraphAppendAt35k(benchmark::State& state) {
    Window w(kPoints);
    w.graph->redraw();
    w.replot();
    int i = kPoints;
    for (auto _ : state) {
        // As the recording does: the point goes to the working table, then
        // to the graph.
        const SampleRow row = sample(i++);
        w.store().appendSample(row);
        w.recording().series().append(row);
        w.replot();
    }
}
BENCHMARK(BM_ShowGraphAppendAt35k)->Unit(benchmark::kMillisecond);

// One frame of a user's zooming and panning over the whole recording: the
// range breathes in and out and swings back and forth, never leaving the data.
void panZoomFrame(QCustomPlot* plot, int n) {
    static int frame = 0;
    QCPAxis* x = plot->xAxis;
    const double all = n / 86400.0;
    const int step = frame++ % 8;
    const double size = all * (step < 4 ? 1.0 - 0.1 * step : 0.6 + 0.1 * (step - 4));
    const double left = (all - size) * (step % 2 == 0 ? 0.25 : 0.75);
    x->setRange(left, left + size);
    plot->replot(QCustomPlot::rpImmediateRefresh);
}

void BM_BarePanZoomMillion(benchmark::State& state) {
    BarePlot bare(8, 1000000);
    for (auto _ : state)
        panZoomFrame(&bare.plot, 1000000);
}
BENCHMARK(BM_BarePanZoomMillion)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Pan and zoom frames over 8 plots of a million points each.
void BM_PanZoomMillion(benchmark::State& state) {
    constexpr int n = 1000000;
    Window w(0, QStringLiteral("TRQ-7206S"));
    GraphWindow& graph = *w.graph;
    QVector<double> xs(n);
    for (int i = 0; i < n; ++i)
        xs[i] = i / 86400.0;
    for (int k = 0; k < 8; ++k) {
        QVector<double> ys(n);
        for (int i = 0; i < n; ++i)
            ys[i] = wave(k, i);
        graph.plot(k)->setData(xs, ys, true);
    }
    graph.plotWidget()->xAxis->setRange(0, n / 86400.0);
    for (auto _ : state)
        panZoomFrame(graph.plotWidget(), n);
}
BENCHMARK(BM_PanZoomMillion)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
