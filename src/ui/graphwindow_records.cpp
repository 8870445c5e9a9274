#include "ui/graphwindow.h"

#include "core/numbers.h"
#include "core/prompter.h"
#include "session/graphseries.h"
#include "session/instrumentsession.h"
#include "session/limits.h"
#include "session/recording.h"
#include "session/recordsetup.h"
#include "session/workingrecord.h"
#include "storage/csvexport.h"
#include "storage/recordstore.h"
#include "ui/envelopegraph.h"
#include "ui/recordlist.h"
#include "ui/report.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

#include <qcustomplot.h>

#include <array>
#include <optional>

// The graph window's buttons: recording, setup, refresh, return, and the
// record operations (save, load, delete, export, print).
namespace trq {

// ---- Buttons -----------------------------------------------------------------

void GraphWindow::startClicked() {
    if (!session_.supply().outputOn()) {
        prompter_.message(tr("Plase Turn on Device into Output(Run) Mode"), {},
                          Prompter::Icon::Information);
        return;
    }
    if (recording_.engine().isArmed()) {
        if (commands_.recordStart)
            commands_.recordStart();
        return;
    }
    prompter_.message(tr("Plase setup the time length of record first."), {},
                      Prompter::Icon::Information);
    setupClicked();
}

void GraphWindow::stopClicked() {
    if (!session_.supply().outputOn()) {
        prompter_.message(tr("Plase Turn on Device into Output(Run) Mode"), {},
                          Prompter::Icon::Information);
        return;
    }
    if (commands_.recordStop)
        commands_.recordStop();
}

void GraphWindow::setupClicked() {
    if (sampleCount() > 0)
        prompter_.message(tr("If you change record scale, system will reset display "), {},
                          Prompter::Icon::Information);
    if (commands_.recordSetup)
        commands_.recordSetup();
    if (session_.recordSetup().secondsPerPoint() != secondsPerPoint_)
        clearGraph();
}

void GraphWindow::refresh() {
    applyTimeLength();
    applyVoltageRange();
    applyCurrentRange();
    cursorFrame_->hide();
    hideCursors();
}

void GraphWindow::returnClicked() {
    if (commands_.showControl)
        commands_.showControl();
}

bool GraphWindow::trapped(bool ok) {
    if (!ok)
        prompter_.message(store_.systemErrorText());
    return ok;
}

void GraphWindow::saveRecord() {
    recording_.record().save({tr("You must do record data first and then try this function again."),
                              tr("Do you want to save current record?"),
                              tr("Do you want to replace existing data with current record?"), 1},
                             xLength_->currentIndex());
}

void GraphWindow::fillRecordList(RecordList* list) {
    list->fill(recording_.record().archive());
    list->setGeometry(plot_->geometry());
    list->show();
    list->raise();
    list->list()->setFocus();
}

void GraphWindow::openLoadList() {
    if (recording_.refuseWhileRecording())
        return;
    fillRecordList(loadList_);
}

std::optional<RecordHeader> GraphWindow::chosenRecord(RecordList* list, int index) {
    const QString number = list->numberAt(index);
    if (number.isEmpty())
        return std::nullopt;
    return recording_.record().archive().record(number);
}

void GraphWindow::loadChosen(int index) {
    loadList_->hide();
    const QString number = loadList_->numberAt(index);
    if (number.isEmpty())
        return;
    const auto header = recording_.load(number);
    if (!header)
        return;
    // The table refills and the graph redraws (at the record's own scale,
    // which the working header now holds) on the announcement.
    recording_.announceLoaded(*header);
}

void GraphWindow::openDeleteList() {
    fillRecordList(deleteList_);
}

void GraphWindow::deleteChosen(int index) {
    if (const auto header = chosenRecord(deleteList_, index)) {
        if (prompter_.ask(tr("Do you want to delete Record of [Rec No: %1 Start Time:%2]")
                              .arg(header->recNo.trimmed(), header->startTime),
                          {}, Prompter::Icon::Question,
                          Prompter::Buttons::YesNo) == Prompter::Answer::Yes) {
            recording_.record().deleteRecord(header->recNo);
            clearGraph();
        }
    }
    deleteList_->hide();
}

// The shown samples into a file the user names; a failure is said with the
// writer's reason.
void GraphWindow::writeToFile(const QString& filter, const QString& failure,
                              const std::function<bool(const QString&, QString*)>& write) {
    if (sampleCount() < 1) {
        prompter_.message(tr("Please Record or Load existing data first!"));
        return;
    }
    const QString name = prompter_.saveFileName(QDir::homePath() + QLatin1Char('/'), filter);
    if (name.isEmpty())
        return;
    QString error;
    if (!write(name, &error))
        prompter_.message(failure + error);
}

void GraphWindow::exportCsv() {
    writeToFile(tr("CSV files (*.csv)"), tr("Export failed: "),
                [this](const QString& name, QString* error) {
                    // A bench's run: one time column, every supply's channels.
                    const std::vector<ExportedSupply> run = recording_.record().runSupplies();
                    if (!run.empty())
                        return writeBenchExport(name, run, error);
                    return writeExport(name, traces_.front().channels, store_, RowOrder::Stored,
                                       error);
                });
}

namespace {

// Printing turns the graph black on white with grey ticks; whatever
// happens, the screen's colours come back afterwards.
class PrintColours {
public:
    explicit PrintColours(QCustomPlot* plot, const std::vector<EnvelopeGraph*>& graphs)
        : plot_(plot), graphs_(graphs), plotArea_(plot->axisRect()->backgroundBrush()),
          xTicks_(plot->xAxis->tickPen()), xSubTicks_(plot->xAxis->subTickPen()),
          yTicks_(plot->yAxis->tickPen()), ySubTicks_(plot->yAxis->subTickPen()) {
        for (std::size_t k = 0; k < graphs_.size(); ++k) {
            pens_.push_back(graphs_[k]->pen());
            QPen black = pens_[k];
            black.setColor(Qt::black);
            graphs_[k]->setPen(black);
        }
        plot_->setBackground(QBrush(Qt::white));
        plot_->axisRect()->setBackground(QBrush(Qt::white));
        plot_->xAxis2->setVisible(false); // "Graph Frame"
        const QColor grey(128, 128, 128);
        for (QCPAxis* axis : {plot_->xAxis, plot_->yAxis}) {
            QPen tick = axis->tickPen();
            tick.setColor(grey);
            axis->setTickPen(tick);
            QPen sub = axis->subTickPen();
            sub.setColor(grey);
            axis->setSubTickPen(sub);
        }
    }
    ~PrintColours() {
        plot_->setBackground(QBrush(Qt::white));
        plot_->axisRect()->setBackground(plotArea_);
        plot_->xAxis2->setVisible(true);
        plot_->xAxis->setTickPen(xTicks_);
        plot_->xAxis->setSubTickPen(xSubTicks_);
        plot_->yAxis->setTickPen(yTicks_);
        plot_->yAxis->setSubTickPen(ySubTicks_);
        for (std::size_t k = 0; k < graphs_.size(); ++k)
            graphs_[k]->setPen(pens_[k]);
        plot_->replot(QCustomPlot::rpQueuedReplot);
    }
    PrintColours(const PrintColours&) = delete;
    PrintColours& operator=(const PrintColours&) = delete;

private:
    QCustomPlot* plot_;
    const std::vector<EnvelopeGraph*>& graphs_;
    std::vector<QPen> pens_;
    QBrush plotArea_;
    QPen xTicks_, xSubTicks_, yTicks_, ySubTicks_;
};

} // namespace

bool GraphWindow::printGraph(QPrinter& printer, QString* error) {
    const PrintColours colours(plot_, graphs_);
    // An unshown window still prints at a readable size.
    const QSize size =
        plot_->width() >= 200 && plot_->height() >= 150 ? plot_->size() : QSize(800, 600);
    const QPixmap image = plot_->toPixmap(size.width(), size.height(), 2.0);
    printer.setFullPage(true); // the rectangle is in fractions of the whole page
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error = tr("The printer could not be opened.");
        return false;
    }
    const QRect page = painter.viewport();
    const QRectF target(page.width() / 10.0, page.height() / 10.0, page.width() * 0.4,
                        page.height() * 0.4);
    painter.drawPixmap(target, image, QRectF(image.rect()));
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        *error = tr("The page could not be printed.");
        return false;
    }
    return true;
}

void GraphWindow::print() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (printerChoice_ ? !printerChoice_(printer)
                       : QPrintDialog(&printer, this).exec() != QDialog::Accepted)
        return;
    QString error;
    if (!printGraph(printer, &error))
        prompter_.message(tr("Print failed: ") + error);
}

void GraphWindow::report() {
    writeToFile(tr("PDF (*.pdf)"), tr("The report could not be written: "),
                [this](const QString& name, QString* error) { return writeReport(name, error); });
}

bool GraphWindow::writeReport(const QString& path, QString* error) {
    static const char* const kOperations[] = {QT_TR_NOOP("Maximum"), QT_TR_NOOP("Minimum"),
                                              QT_TR_NOOP("Average")};
    const WorkingHeader& h = recording_.record().header();
    const RecordSetup& setup = session_.recordSetup();
    Report r;
    r.title = tr("POWER_TRQ test report");
    // A bench run's supplies shown: each as the run recorded it.
    const std::vector<ExportedSupply> run = recording_.record().runSupplies();
    for (const Trace& t : traces_) {
        const auto shown = std::find_if(
            run.begin(), run.end(), [&t](const ExportedSupply& s) { return s.store == t.store; });
        if (shown == run.end())
            continue;
        r.header.insert(r.header.end(), {{tr("Supply"), shown->name},
                                         {tr("Model"), shown->model},
                                         {tr("Interface"), shown->link}});
        if (traces_.size() > 1)
            r.header.push_back({tr("Points"), QString::number(t.series->count())});
    }
    if (r.header.empty())
        r.header = {{tr("Model"), session_.connection().model()},
                    {tr("Interface"), session_.connection().interfaceDescription()}};
    std::vector<Report::Field> record = {
        {tr("Record"), h.recNo.isEmpty() ? tr("(not saved)") : h.recNo},
        {tr("Description"), h.description},
        {tr("Start"), h.startTime},
        {tr("End"), h.endTime},
        {tr("Scale"), scaleText(recordScale(h.scale))},
        {tr("Point operation"), tr(kOperations[std::clamp(setup.operation, 0, 2)])}};
    if (traces_.size() == 1)
        record.push_back({tr("Points"), QString::number(traces_.front().series->count())});
    r.header.insert(r.header.end(), record.begin(), record.end());
    // The graph in colour as shown, cursors and marks included.
    const QSize size =
        plot_->width() >= 200 && plot_->height() >= 150 ? plot_->size() : QSize(900, 560);
    r.graph = plot_->toPixmap(size.width(), size.height(), 2.0).toImage();
    // What the counters gained from point to point: the counters run from
    // their last reset, not from the record's start. A counter that went
    // down was reset in between and counts from zero again.
    struct Delivered {
        std::optional<double> previous;
        double sum = 0;
        void add(const QString& text) {
            const std::optional<double> v = parseNumber(text);
            if (!v)
                return;
            if (previous)
                sum += *v >= *previous ? *v - *previous : *v;
            previous = v;
        }
    };
    for (const Trace& t : traces_) {
        std::array<Delivered, 4> charge, energy;
        QString lastTime, lastComment;
        const bool first = &t == &traces_.front();
        const bool read = t.store->forEachWorkingRow(RowOrder::BySeqNo, [&](const SampleRow& row) {
            for (std::size_t c = 0; c < 4; ++c) {
                charge[c].add(row.charge[c]);
                energy[c].add(row.energy[c]);
            }
            // A comment belongs to its second: once per second, as the
            // first supply shown has it.
            if (first && !row.comment.trimmed().isEmpty() &&
                (row.recTime != lastTime || row.comment != lastComment))
                r.comments.append({row.recTime, row.comment});
            lastTime = row.recTime;
            lastComment = row.comment;
        });
        if (!read) {
            *error = t.store->lastError();
            return false;
        }
        const QString who = traces_.size() > 1 ? t.name + QLatin1Char(' ') : QString();
        for (const RecordEvent& e : t.store->events())
            r.events.append({e.recTime, who + eventText(e)});
        const qint64 last = t.series->count() - 1;
        for (int c = 0; c < t.channels; ++c) {
            const GraphSeries::Stats v = t.series->stats(PlotQuantity::Voltage, c, 0, last);
            const GraphSeries::Stats a = t.series->stats(PlotQuantity::Current, c, 0, last);
            Report::ChannelStats s{traces_.size() > 1 ? t.name : QString(),
                                   c + 1,
                                   v.min,
                                   v.max,
                                   v.mean,
                                   a.min,
                                   a.max,
                                   a.mean,
                                   {},
                                   {}};
            const auto i = std::size_t(c);
            if (charge[i].previous || energy[i].previous) {
                s.charge = charge[i].sum;
                s.energy = energy[i].sum;
            }
            r.channels.push_back(s);
        }
    }
    return writeReportPdf(path, r, error);
}

} // namespace trq
