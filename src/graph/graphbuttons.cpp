#include "graph/frmgraphicrecord.h"

#include "graph/envelopegraph.h"
#include "graph/graphexport.h"
#include "graph/graphrecord.h"
#include "panels/commandset.h"
#include "record/frmdatatable.h"
#include "record/recordstore.h"
#include "shell/prompter.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPrinter>

#include <qcustomplot.h>

// The graph window's buttons: recording, setup, refresh, return, and the
// record operations (save, load, delete, export, print).
namespace trq {

// ---- Buttons -----------------------------------------------------------------

void frmGraphicRecord::cmdStart_Click() {
    if (!host_.recordEnabled || !host_.recordEnabled()) {
        prompter_.message(QStringLiteral("Plase Turn on Device into Output(Run) Mode"), {},
                          Prompter::Icon::Information);
        return;
    }
    if (host_.countRecordCount && host_.countRecordCount() > 0) {
        if (host_.recordStart)
            host_.recordStart();
        return;
    }
    prompter_.message(QStringLiteral("Plase setup the time length of record first."), {},
                      Prompter::Icon::Information);
    cmdPeriod_Click();
}

void frmGraphicRecord::cmdStop_Click() {
    if (!host_.recordEnabled || !host_.recordEnabled()) {
        prompter_.message(QStringLiteral("Plase Turn on Device into Output(Run) Mode"), {},
                          Prompter::Icon::Information);
        return;
    }
    if (host_.recordStop)
        host_.recordStop();
}

void frmGraphicRecord::cmdPeriod_Click() {
    if (SampleCount() > 0)
        prompter_.message(QStringLiteral("If you change record scale, system will reset display "),
                          {}, Prompter::Icon::Information);
    if (host_.recordPeriod)
        host_.recordPeriod();
    if (GraphRecord::secondsPerPoint(host_.recScale ? host_.recScale() : 0) != iXTime_)
        ClearGraph();
}

void frmGraphicRecord::cmdRefresh_Click() {
    cmbXLength_Click();
    cmbYVoltage_Click();
    cmbYCurrent_Click();
    cursorFrame_->hide();
    hideCursors();
}

void frmGraphicRecord::cmdReturn_Click() {
    if (host_.showControl)
        host_.showControl();
}

bool frmGraphicRecord::trapped(bool ok) {
    if (!ok)
        prompter_.message(store_.systemErrorText());
    return ok;
}

void frmGraphicRecord::cmdSave_Click() {
    frmDataTable* table = host_.table ? host_.table() : nullptr;
    if (!table)
        return;
    table->record().save(
        {QStringLiteral("You must do record data first and then try this function again."),
         QStringLiteral("Do you want to save current record?"),
         QStringLiteral("Do you want to replace existing data with current record?"), 1},
        host_.recScale ? host_.recScale() : 0, xLength_->currentIndex());
}

void frmGraphicRecord::fillRecordList(QListWidget* list) {
    list->clear();
    for (const RecordHeader& h : store_.records())
        list->addItem(RecordStore::listLine(h, 22));
    list->setGeometry(plot_->geometry());
    list->show();
    list->raise();
    list->setFocus();
}

void frmGraphicRecord::cmdLoad_Click() {
    frmDataTable* table = host_.table ? host_.table() : nullptr;
    if (table && table->refuseWhileRecording())
        return;
    fillRecordList(list1_);
}

std::optional<RecordHeader> frmGraphicRecord::chosenRecord(QListWidget* list, int index) {
    if (index < 0 || index >= list->count())
        return std::nullopt;
    return store_.record(RecordStore::numberOfListLine(list->item(index)->text()));
}

void frmGraphicRecord::List1_Click(int index) {
    list1_->hide();
    frmDataTable* table = host_.table ? host_.table() : nullptr;
    if (!table || index < 0 || index >= list1_->count())
        return;
    if (table->refuseWhileRecording() || !table->record().mayDiscard())
        return;
    const auto header =
        table->record().load(RecordStore::numberOfListLine(list1_->item(index)->text()));
    if (!header)
        return;
    if (host_.setRecScale)
        host_.setRecScale(int(leadingNumber(header->recStyle)));
    table->CmbSample_Click();
    ReDraw();
    const int length = int(leadingNumber(header->showStyle));
    if (length >= 0 && length < xLength_->count()) {
        xLength_->setCurrentIndex(length);
        cmbXLength_Click();
    }
}

void frmGraphicRecord::cmdDel_Click() {
    fillRecordList(list2_);
}

void frmGraphicRecord::List2_Click(int index) {
    if (const auto header = chosenRecord(list2_, index)) {
        if (prompter_.ask(QStringLiteral("Do you want to delete Record of [") +
                              QStringLiteral("Rec No: ") + header->recNo.trimmed() +
                              QStringLiteral(" Start Time:") + header->startTime + QLatin1Char(']'),
                          {}, Prompter::Icon::Question,
                          Prompter::Buttons::YesNo) == Prompter::Answer::Yes) {
            if (trapped(store_.deleteRecord(header->recNo))) {
                // The working table is no saved record any more: a later save
                // stores it anew instead of replacing a record that is gone.
                if (frmDataTable* table = host_.table ? host_.table() : nullptr)
                    table->record().forgetRecord(header->recNo);
            }
            ClearGraph();
        }
    }
    list2_->hide();
}

void frmGraphicRecord::cmdExport_Click() {
    if (SampleCount() < 1) {
        prompter_.message(QStringLiteral("Please Record or Load existing data first!"));
        return;
    }
    const QString name =
        prompter_.saveFileName(QCoreApplication::applicationDirPath() + QLatin1Char('/'),
                               QStringLiteral("Power文件(*.csv)"));
    if (name.isEmpty())
        return;
    QString error;
    if (!writeExport(name, channels(), store_.exportRows(), &error))
        prompter_.message(QStringLiteral("cmdExport_Click : ") + error);
}

namespace {

// Printing turns the graph black on white with grey ticks; whatever
// happens, the screen's colours come back afterwards.
class PrintColours {
public:
    explicit PrintColours(QCustomPlot* plot, const std::array<EnvelopeGraph*, 8>& graphs)
        : plot_(plot), graphs_(graphs), plotArea_(plot->axisRect()->backgroundBrush()),
          xTicks_(plot->xAxis->tickPen()), xSubTicks_(plot->xAxis->subTickPen()),
          yTicks_(plot->yAxis->tickPen()), ySubTicks_(plot->yAxis->subTickPen()) {
        for (std::size_t k = 0; k < graphs_.size(); ++k) {
            pens_[k] = graphs_[k]->pen();
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
    const std::array<EnvelopeGraph*, 8>& graphs_;
    std::array<QPen, 8> pens_;
    QBrush plotArea_;
    QPen xTicks_, xSubTicks_, yTicks_, ySubTicks_;
};

} // namespace

bool frmGraphicRecord::printGraph(QPrinter& printer, QString* error) {
    const PrintColours colours(plot_, graphs_);
    // An unshown window still prints at a readable size.
    const QSize size =
        plot_->width() >= 200 && plot_->height() >= 150 ? plot_->size() : QSize(800, 600);
    const QPixmap image = plot_->toPixmap(size.width(), size.height(), 2.0);
    printer.setFullPage(true); // the rectangle is in fractions of the whole page
    QPainter painter;
    if (!painter.begin(&printer)) {
        *error = QStringLiteral("The printer could not be opened.");
        return false;
    }
    const QRect page = painter.viewport();
    const QRectF target(page.width() / 10.0, page.height() / 10.0, page.width() * 0.4,
                        page.height() * 0.4);
    painter.drawPixmap(target, image, QRectF(image.rect()));
    if (!painter.end() || printer.printerState() == QPrinter::Error) {
        *error = QStringLiteral("The page could not be printed.");
        return false;
    }
    return true;
}

void frmGraphicRecord::cmdPrint_Click() {
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Landscape);
    if (!prompter_.preparePrinter(printer))
        return;
    QString error;
    if (!printGraph(printer, &error))
        prompter_.message(QStringLiteral("cmdPrint_Click : ") + error);
}

} // namespace trq
