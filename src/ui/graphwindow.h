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

class QButtonGroup;
class QCPAbstractItem;
class QCPGraph;
class QCPItemTracer;
class QCheckBox;
class QComboBox;
class QCustomPlot;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMouseEvent;
class QPrinter;
class QPushButton;

namespace trq {

class EnvelopeGraph;
class GraphSeries;
class InstrumentSession;
class Prompter;
class Recording;

// The graph window: the working table as voltage and current plots per
// channel, growing live during a recording; time-length and range choices,
// plot boxes, statistics, zoom/pan/cursor modes with readouts, and the
// record operations (save, load, delete, export, print).
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
    // Cursors 1..8 read plots 1..8; this one is the measurement's second
    // cursor, so channel 4's plots can be measured too.
    static constexpr int kReference = 9;
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

    // Cursor j (1..8 or kReference). Moving one to x (and y where it is not
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
    QCPGraph* plot(int k) const; // 0..7
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
    QColor lineColour(int k) const { return lineColours_[std::size_t(k)]; } // Line1..Line8
    QGroupBox* cursorPanel() const { return cursorFrame_; }
    QLineEdit* xPositionBox() const { return xPosition_; }
    QLineEdit* yPositionBox() const { return yPosition_; }
    QLineEdit* periodBox() const { return period_; }
    QLineEdit* amplitudeBox() const { return amplitude_; }
    QListWidget* loadList() const { return loadList_; }
    QListWidget* deleteList() const { return deleteList_; }
    QPushButton* startButton() const { return start_; }

signals:
    // A cursor stands on a sample: its table row is to be shown.
    void sampleChosen(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
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
    void pointAdded(qint64 index);
    void drawLastPoint(qint64 index);
    void fillPlot(int k);
    // Reads the exact points around the visible range when it holds few
    // enough samples, or drops them; true when they changed.
    bool updateExact();
    // The samples' own points, first to last, from what was read or from
    // the working table; nothing when the table does not hold them all.
    std::optional<std::vector<PlotPoint>> exactPoints(qint64 first, qint64 last);
    GraphSeries::Stats statsBetween(PlotQuantity q, int channel, qint64 first, qint64 last);
    void applyRightAxis();
    void drawMarkers();
    void addMarker(qint64 sample, const QColor& colour, const QString& text);
    void showBetweenCursors();
    PlotQuantity quantityOf(int k) const;
    int channels() const { return channels_; }
    void setLineColour(int k, const QColor& colour);
    void hideCursors();
    void centreCursor(int k);
    void tieReference(int k);
    QCPItemTracer* tracer(int j) const;
    int plotOfCursor(int j) const;
    int selectedPlot() const;
    void fillRecordList(QListWidget* list);
    std::optional<RecordHeader> chosenRecord(QListWidget* list, int index);
    bool trapped(bool ok);
    void plotMousePress(QMouseEvent* event);
    void plotMouseMove(QMouseEvent* event);
    void queueReplot();
    double channelLimit(Setting setting) const;
    void setTimeRange(double lower, double upper);
    // Lists a bench's supplies and shows the one chosen (the first when the
    // run has changed); the recording's own without a bench's run.
    void showSupply();

    GraphSeries* series_;        // the one shown
    RecordStore& store_;         // its records
    RecordStore* shown_;         // the working table drawn
    GraphSeries benchSeries_{1}; // another supply's of a bench's run
    Prompter& prompter_;
    InstrumentSession& session_;
    Recording& recording_;
    Commands commands_;
    int secondsPerPoint_ = 1;
    std::function<bool(QPrinter&)> printerChoice_;
    int channels_ = 1;
    int mode_ = Zoom;
    int dragging_ = 0;
    bool activated_ = false;
    bool followLive_ = true;
    bool settingTimeRange_ = false;
    QString labelFormat_ = QStringLiteral("h:n:ss");
    QCustomPlot* plot_;
    std::array<EnvelopeGraph*, 8> graphs_{};
    // Exact points of samples exactFirst_ on, read for a zoomed-in view.
    qint64 exactFirst_ = 0;
    std::vector<PlotPoint> exact_;
    int fills_ = 0; // times the plots were filled anew
    std::vector<QCPAbstractItem*> markers_;
    std::array<QCPItemTracer*, 9> cursors_{}; // cursors 1..8, then the reference
    std::array<QCheckBox*, 8> boxes_{};
    std::array<QFrame*, 8> lines_{};
    std::array<QColor, 8> lineColours_{};
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
    QListWidget* loadList_;
    QListWidget* deleteList_;
    QPushButton* start_;
    QComboBox* rightAxis_;
    QComboBox* supply_;
    QLabel* between_;
};

} // namespace trq
