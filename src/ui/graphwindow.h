#pragma once

#include "session/graphseries.h"
#include "session/instrumentsession.h"
#include "storage/recordstore.h"
#include "ui/graphmath.h"

#include <QColor>
#include <QPointF>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class QButtonGroup;
class QCPAbstractItem;
class QCPGraph;
class QCPItemTracer;
class QCheckBox;
class QComboBox;
class QCustomPlot;
class QFrame;
class QGridLayout;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMouseEvent;
class QPrinter;
class QPushButton;

namespace trq {

class RecordList;

class EnvelopeGraph;
class GraphSeries;
class InstrumentSession;
class Prompter;
class Recording;

// The graph window: the working table as voltage and current plots per
// channel, growing live during a recording; time-length and range choices,
// plot boxes, statistics, zoom/pan/cursor modes with readouts, and the
// record operations (save, load, delete, export, print). A bench's run is
// drawn whole, every supply's plots on one time axis, or one supply alone.
class GraphWindow : public QWidget {
    Q_OBJECT
public:
    // The main window's commands the window's buttons run.
    struct Commands {
        std::function<void()> recordStart;
        std::function<void()> recordStop;
        std::function<void()> recordSetup; // the record setup dialog
        std::function<void()> showControl; // the front panel
    };

    enum Mode { Zoom, Pan, CursorCoordinates, CursorMeasurements };
    // Cursor j reads plot j (1 on); this one is the measurement's second
    // cursor, on the plot the first reads.
    static constexpr int kReference = 0;
    // Plots a supply: voltage and the right axis's quantity of 4 channels.
    static constexpr int kPlotsPerSupply = 8;
    // Zoomed in to at most this many samples, the plots and the statistics
    // between the cursors take the exact points from the working table
    // where the series holds buckets of several.
    static constexpr qint64 kExactPoints = 8192;

    GraphWindow(InstrumentSession& session, Recording& recording, Prompter& prompter,
                Commands commands, QWidget* parent = nullptr);

    // Called by the other windows.
    void clearGraph();
    void redraw();
    void showSummary();
    // A bench's recording stored a step: the other supplies' new points.
    void benchStepRecorded();
    void setChannelColours(const QStringList& colours);
    void activate();

    // Handlers of the window's controls, callable as the user would.
    void applyTimeLength();
    void applyVoltageRange();
    void applyCurrentRange();
    void plotBoxClicked(int index);
    // Boxes and plots of 1 to 4 channels.
    void setChannelCount(int channels);
    void setMode(int mode);
    void plotChosen();
    void cursorMoved(int j);
    void startClicked();
    void stopClicked();
    void setupClicked();
    void refresh();
    void returnClicked();
    void saveRecord();
    void openLoadList();
    void loadChosen(int index);
    void openDeleteList();
    void deleteChosen(int index);
    void exportCsv();
    void print();
    // Who lets the user choose the printer (or a PDF file); false when
    // cancelled. By default the system's print dialog.
    void setPrinterChoice(std::function<bool(QPrinter&)> choice) {
        printerChoice_ = std::move(choice);
    }
    // Asks for a file and writes the record shown as a PDF report.
    void report();
    // The report: header, the graph as shown, statistics, comments.
    bool writeReport(const QString& path, QString* error);

    // Paints the graph onto a printer page; false with the reason on failure.
    bool printGraph(QPrinter& printer, QString* error);

    // Cursor j (1..plotCount() or kReference). Moving one to x (and y where it is not
    // on a plot) reports the move as a drag does.
    bool cursorVisible(int j) const;
    QPointF cursorPosition(int j) const;
    void moveCursor(int j, double x, double y);

    int secondsPerPoint() const { return secondsPerPoint_; }
    int sampleCount() const;
    int mode() const { return mode_; }
    // Whether the time axis follows a recording's newest point.
    bool followsLive() const { return followLive_; }
    QCustomPlot* plotWidget() const { return plot_; }
    // Eight a supply shown, in the order of the supply list: plot k is
    // channel k % 8 / 2's voltage (k even) or right-axis quantity.
    int plotCount() const { return int(graphs_.size()); }
    QCPGraph* plot(int k) const;
    // What the second plot of each channel shows, on the right axis.
    QComboBox* rightAxisList() const { return rightAxis_; }
    // Mean, minimum, maximum and integral between the two cursors.
    QLabel* betweenCursors() const { return between_; }
    // Gap and limit-event marks on the plot.
    int markerCount() const { return int(markers_.size()); }
    QComboBox* timeLengthList() const { return xLength_; }
    QComboBox* voltageRangeList() const { return yVoltage_; }
    QComboBox* currentRangeList() const { return yCurrent_; }
    QListWidget* summaryList() const { return summary_; }
    QListWidget* plotList() const { return channelList_; }
    // A bench's run: whose plots are shown.
    QComboBox* supplyList() const { return supply_; }
    QCheckBox* plotBox(int i) const { return boxes_[std::size_t(i)]; }
    QColor lineColour(int k) const { return channelColours_[std::size_t(k % 8 / 2)]; }
    QGroupBox* cursorPanel() const { return cursorFrame_; }
    QLineEdit* xPositionBox() const { return xPosition_; }
    QLineEdit* yPositionBox() const { return yPosition_; }
    QLineEdit* periodBox() const { return period_; }
    QLineEdit* amplitudeBox() const { return amplitude_; }
    QListWidget* loadList() const;
    QListWidget* deleteList() const;
    QPushButton* startButton() const { return start_; }

signals:
    // A cursor stands on a sample of the working table kept in store: its
    // table row is to be shown.
    void sampleChosen(int index, const RecordStore* store);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One supply's plots: its points, where they are kept, and the exact
    // points read for a zoomed-in view.
    struct Trace {
        QString name; // a bench's supply; empty for the recording's alone
        int channels = 1;
        RecordStore* store = nullptr;
        GraphSeries* series = nullptr;
        qint64 exactFirst = 0;
        std::vector<PlotPoint> exact;
    };
    Trace& traceOf(int k) { return traces_[std::size_t(k / kPlotsPerSupply)]; }
    const Trace& traceOf(int k) const { return traces_[std::size_t(k / kPlotsPerSupply)]; }
    static int channelOf(int k) { return k % kPlotsPerSupply / 2; }
    bool plotInUse(int k) const { return channelOf(k) < traceOf(k).channels; }
    // Where a sample of the trace stands on the time axis, and back.
    double keyOf(const Trace& t, qint64 sample) const;
    qint64 sampleAt(const Trace& t, double key) const;
    double keyOf(const Trace& t, const PlotPoint& p, qint64 sample) const;
    // The time axis starts at the earliest first point shown; true when
    // that moved.
    bool updateOrigin();
    // Boxes and plots of each supply's channels.
    void applyChannels();
    // Plots, boxes and cursors for this many supplies.
    void setTraceCount(int traces);
    void addPlot(int k);
    // Reads every trace's points anew and draws them.
    void reloadTraces();
    void pointAdded(Trace& t, qint64 index);
    // Asks for a file name and writes to it; a failure is said.
    void writeToFile(const QString& filter, const QString& failure,
                     const std::function<bool(const QString&, QString*)>& write);
    void clearDisplay();
    // Everything a redraw starts afresh but the plots' points.
    void resetView();
    void updateTimeLength();
    void refillPlots();
    // Shows each channel's plots as their boxes say, filled when fill.
    void showPlots(bool fill);
    void drawLastPoint(const Trace& t, qint64 index);
    void fillPlot(int k);
    // Reads the exact points around the visible range when it holds few
    // enough samples, or drops them; true when they changed.
    bool updateExact();
    bool updateExact(Trace& t);
    // The samples' own points, first to last, from what was read or from
    // the working table; nothing when the table does not hold them all.
    std::optional<std::vector<PlotPoint>> exactPoints(const Trace& t, qint64 first, qint64 last);
    GraphSeries::Stats statsBetween(const Trace& t, PlotQuantity q, int channel, qint64 first,
                                    qint64 last);
    void applyRightAxis();
    void drawMarkers();
    void addMarker(double key, const QColor& colour, const QString& text);
    // A mark's or a plot's words, led by its supply's name when several
    // are shown.
    QString named(const Trace& t, const QString& text) const;
    void showBetweenCursors();
    PlotQuantity quantityOf(int k) const;
    void setLegend(int k);
    void hideCursors();
    void centreCursor(int k);
    void tieReference(int k);
    QCPItemTracer* tracer(int j) const;
    int plotOfCursor(int j) const;
    int selectedPlot() const;
    void fillRecordList(RecordList* list);
    std::optional<RecordHeader> chosenRecord(RecordList* list, int index);
    bool trapped(bool ok);
    void plotMousePress(QMouseEvent* event);
    void plotMouseMove(QMouseEvent* event);
    void queueReplot();
    double channelLimit(Setting setting) const;
    void setTimeRange(double lower, double upper);
    // Lists a bench's supplies and shows those chosen (all of them when
    // the run has changed); the recording's own without a bench's run.
    void showSupply();

    RecordStore& store_; // the records
    std::vector<Trace> traces_;
    // The other supplies' points of a bench's run, by trace.
    std::vector<std::unique_ptr<GraphSeries>> benchSeries_;
    bool reloading_ = false;
    qint64 origin_ = 0; // the time at the axis's 0
    Prompter& prompter_;
    InstrumentSession& session_;
    Recording& recording_;
    Commands commands_;
    int secondsPerPoint_ = 1;
    std::function<bool(QPrinter&)> printerChoice_;
    int mode_ = Zoom;
    static constexpr int kNoCursor = -1;
    int dragging_ = kNoCursor; // the cursor the mouse drags
    bool activated_ = false;
    bool followLive_ = true;
    bool settingTimeRange_ = false;
    QString labelFormat_ = QStringLiteral("h:n:ss");
    QCustomPlot* plot_;
    std::vector<EnvelopeGraph*> graphs_;
    int fills_ = 0; // times the plots were filled anew
    std::vector<QCPAbstractItem*> markers_;
    std::vector<QCPItemTracer*> cursors_; // cursors 1 on
    QCPItemTracer* reference_;
    std::vector<QCheckBox*> boxes_;
    std::vector<QLabel*> lines_;
    std::array<QColor, 4> channelColours_{};
    QGridLayout* boxGrid_;
    QWidget* boxArea_;
    std::vector<int> choicePlots_; // the plot of each entry of the plot list
    QComboBox* xLength_;
    QComboBox* yVoltage_;
    QComboBox* yCurrent_;
    QListWidget* summary_;
    QListWidget* channelList_;
    QButtonGroup* modes_;
    QGroupBox* cursorFrame_;
    QGroupBox* measureFrame_;
    QLineEdit* xPosition_;
    QLineEdit* yPosition_;
    QLineEdit* period_;
    QLineEdit* amplitude_;
    RecordList* loadList_;
    RecordList* deleteList_;
    QPushButton* start_;
    QComboBox* rightAxis_;
    QComboBox* supply_;
    QLabel* between_;
};

} // namespace trq
