#pragma once

#include "support/sessionfixture.h"
#include "support/uisupport.h"
#include "ui/graphwindow.h"
#include "ui/tablewindow.h"

#include <qcustomplot.h>

namespace trq::test {

// A table window and a graph window over the recording of a supply opened
// in testing mode (no instrument), with the main window's part played by
// the fixture.
struct WindowFixture : SessionFixture {
    QStringList calls; // the commands the graph ran; outlives the windows
    std::unique_ptr<TableWindow> table;
    std::unique_ptr<GraphWindow> graph;

    // Channels 1 to 4: a model with that many.
    explicit WindowFixture(int channels = 3, int scale = 0) {
        static const char* const kModels[] = {"SPQ-3610DNB", "TRQ-3302", "PSQ-3323", "TRQ-7206S"};
        session->recordSetup().scale = scale;
        session->connection().openTestingMode(
            QLatin1String(kModels[std::clamp(channels, 1, 4) - 1]));
        // What recording asks for: a supply on line with its output on; the
        // rows the test stores are of the same scale.
        session->control().setOutput(true);
        recording().record().setScale(scale);
        table = std::make_unique<TableWindow>(recording(), prompter);
        graph = std::make_unique<GraphWindow>(
            *session, recording(), prompter,
            GraphWindow::Commands{[this] { calls << QStringLiteral("start"); },
                                  [this] { calls << QStringLiteral("stop"); },
                                  [this] { calls << QStringLiteral("setup"); },
                                  [this] { calls << QStringLiteral("control"); }});
        graph->setChannelCount(channels);
        table->setTimeLengthSource([this] { return graph->timeLengthList()->currentIndex(); });
        QObject::connect(graph.get(), &GraphWindow::sampleChosen, table.get(),
                         &TableWindow::selectSample);
        graph->activate();
    }

    Recording& recording() { return *session->recording(); }
    RecordingEngine& engine() { return recording().engine(); }
    int& scale() { return session->recordSetup().scale; }

    // n rows; channel c's voltage at sample i is volts(c, i).
    void fill(int n, const std::function<double(int, int)>& volts = {}) {
        for (int i = 0; i < n; ++i) {
            SampleRow r;
            r.seqNo = i;
            r.recTime = QStringLiteral("2026/12/06 10:%1:00").arg(i % 60, 2, 10, QLatin1Char('0'));
            for (int c = 0; c < 4; ++c) {
                r.volt[std::size_t(c)] =
                    QString::number(volts ? volts(c, i) : 1.0 + c + i * 0.25, 'f', 3);
                r.curr[std::size_t(c)] = QString::number(0.1 * (c + 1), 'f', 3);
            }
            QVERIFY(store->appendSample(r));
        }
        table->refill();
    }
    QList<int> visiblePlots() const {
        QList<int> shown;
        for (int k = 0; k < graph->plotCount(); ++k)
            if (graph->plot(k)->visible())
                shown << k + 1;
        return shown;
    }
    QList<int> shownCursors() const {
        QList<int> shown;
        for (int j = 1; j <= graph->plotCount(); ++j)
            if (graph->cursorVisible(j))
                shown << j;
        if (graph->cursorVisible(GraphWindow::kReference))
            shown << GraphWindow::kReference;
        return shown;
    }
};

} // namespace trq::test
