#pragma once

#include "graph/frmgraphicrecord.h"
#include "graph/graphrecord.h"
#include "record/frmdatatable.h"
#include "record/recordstore.h"
#include "shell/dataform.h"
#include "support/testsupport.h"

#include <QDir>
#include <qcustomplot.h>

namespace trq::test {

// A table window and a graph window over their own record database, with
// the main window's part played by the fixture.
struct WindowFixture {
    DataForm data;
    std::unique_ptr<RecordStore> store;
    ScriptedPrompter prompter;
    std::unique_ptr<frmDataTable> table;
    std::unique_ptr<GraphRecord> record;
    std::unique_ptr<frmGraphicRecord> graph;
    QString folder;
    int scale = 0;
    bool recordEnabled = true;
    int countRecordCount = 0;
    QStringList calls;

    explicit WindowFixture(int channels = 3, int recScale = 0) : scale(recScale) {
        static int n = 0;
        folder = QDir::current().absoluteFilePath(QStringLiteral("graph%1").arg(++n));
        QDir().mkpath(folder);
        DataForm::create(folder + QStringLiteral("/mtype.mdb"));
        data.open(folder);
        store = std::make_unique<RecordStore>(data.database());
        table = std::make_unique<frmDataTable>(
            *store, prompter,
            RecordingEngine::Source{
                [] { return 3; }, [] { return true; }, [](int, bool) { return QString(); }, {}},
            channels - 1);
        record = std::make_unique<GraphRecord>(channels);
        frmGraphicRecord::Host host{[] { return 32.0; },
                                    [] { return 3.2; },
                                    [this] { return scale; },
                                    [this](int s) { scale = s; },
                                    [this] { return recordEnabled; },
                                    [this] { return countRecordCount; },
                                    [this] { calls << QStringLiteral("start"); },
                                    [this] { calls << QStringLiteral("stop"); },
                                    [this] { calls << QStringLiteral("setup"); },
                                    [this] { calls << QStringLiteral("control"); },
                                    [this] { return table.get(); }};
        graph = std::make_unique<frmGraphicRecord>(*record, *store, prompter, std::move(host));
        graph->txtChannels()->setText(QString::number(channels));
        graph->Form_Activate();
    }
    ~WindowFixture() {
        graph.reset();
        record.reset();
    }

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
        table->CmbSample_Click();
    }
    QList<int> visiblePlots() const {
        QList<int> shown;
        for (int k = 0; k < 8; ++k)
            if (graph->plot(k)->visible())
                shown << k + 1;
        return shown;
    }
    QList<int> shownCursors() const {
        QList<int> shown;
        for (int j = 1; j <= 9; ++j)
            if (graph->cursorVisible(j))
                shown << j;
        return shown;
    }
};

} // namespace trq::test
