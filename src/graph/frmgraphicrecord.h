#pragma once

#include "graph/graphmath.h"
#include "record/recordstore.h"

#include <QColor>
#include <QPointF>
#include <QWidget>

#include <array>
#include <functional>

class QButtonGroup;
class QCPGraph;
class QCPItemTracer;
class QCheckBox;
class QComboBox;
class QCustomPlot;
class QFrame;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QMouseEvent;
class QPrinter;
class QPushButton;

namespace trq {

class EnvelopeGraph;
class GraphRecord;
class Prompter;
class frmDataTable;

// The graph window: the working table as voltage and current plots per
// channel, growing live during a recording; time-length and range choices,
// plot boxes, statistics, zoom/pan/cursor modes with readouts, and the
// record operations (save, load, delete, export, print).
class frmGraphicRecord : public QWidget {
    Q_OBJECT
public:
    // What the window uses of the main window, the front panel, the record
    // setup and the table window.
    struct Host {
        std::function<double()> maxVoltage; // the panel's voltage edit maximum
        std::function<double()> maxCurrent;
        std::function<int()> recScale; // the record setup's scale
        std::function<void(int)> setRecScale;
        std::function<bool()> recordEnabled; // the Record menu: the output is on
        std::function<int()> countRecordCount;
        std::function<void()> recordStart;
        std::function<void()> recordStop;
        std::function<void()> recordPeriod; // the record setup dialog
        std::function<void()> showControl;  // the front panel
        std::function<frmDataTable*()> table;
    };

    enum Mode { Zoom, Pan, CursorCoordinates, CursorMeasurements };
    // Cursors 1..8 read plots 1..8; this one is the measurement's second
    // cursor, so channel 4's plots can be measured too.
    static constexpr int kReference = 9;

    frmGraphicRecord(GraphRecord& record, RecordStore& store, Prompter& prompter, Host host,
                     QWidget* parent = nullptr);

    // Called by the other windows.
    void ClearGraph();
    void ReDraw();
    void ShowSummary();
    void ChangeCursorColor(const QStringList& colours);
    void Form_Activate();

    // Handlers of the window's controls, callable as the user would.
    void cmbXLength_Click();
    void cmbYVoltage_Click();
    void cmbYCurrent_Click();
    void cbPlot_Click(int index);
    void txtChannels_Change();
    void GraphMode_Click(int mode);
    void lstChannel_Click();
    void CWGraph1_CursorChange(int j);
    void cmdStart_Click();
    void cmdStop_Click();
    void cmdPeriod_Click();
    void cmdRefresh_Click();
    void cmdReturn_Click();
    void cmdSave_Click();
    void cmdLoad_Click();
    void List1_Click(int index);
    void cmdDel_Click();
    void List2_Click(int index);
    void cmdExport_Click();
    void cmdPrint_Click();

    // Paints the graph onto a printer page; false with the reason on failure.
    bool printGraph(QPrinter& printer, QString* error);

    // Cursor j (1..8 or kReference). Moving one to x (and y where it is not
    // on a plot) reports the move as a drag does.
    bool cursorVisible(int j) const;
    QPointF cursorPosition(int j) const;
    void moveCursor(int j, double x, double y);

    int iXTime() const { return iXTime_; }
    int ChannelExtra() const { return channelExtra_; }
    int SampleCount() const;
    int mode() const { return mode_; }
    // Whether the time axis follows a recording's newest point.
    bool followsLive() const { return followLive_; }
    QCustomPlot* CWGraph1() const { return plot_; }
    QCPGraph* plot(int k) const; // 0..7
    QComboBox* cmbXLength() const { return xLength_; }
    QComboBox* cmbYVoltage() const { return yVoltage_; }
    QComboBox* cmbYCurrent() const { return yCurrent_; }
    QListWidget* lstWave() const { return summary_; }
    QListWidget* lstChannel() const { return channelList_; }
    QCheckBox* cbPlot(int i) const { return boxes_[std::size_t(i)]; }
    QColor lineColour(int k) const { return lineColours_[std::size_t(k)]; } // Line1..Line8
    QLineEdit* txtChannels() const { return channelsText_; }
    QGroupBox* FrameCursor() const { return cursorFrame_; }
    QLineEdit* XPosition() const { return xPosition_; }
    QLineEdit* YPosition() const { return yPosition_; }
    QLineEdit* PeriodVal() const { return period_; }
    QLineEdit* AmplitudeVal() const { return amplitude_; }
    QListWidget* List1() const { return list1_; }
    QListWidget* List2() const { return list2_; }
    QPushButton* cmdStart() const { return start_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void clearDisplay();
    void SetupTimeLength();
    void refillPlots();
    void pointAdded(int index);
    int channels() const { return channelExtra_ + 1; }
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
    void setTimeRange(double lower, double upper);

    GraphRecord& data_;
    RecordStore& store_;
    Prompter& prompter_;
    Host host_;
    int iXTime_ = 1;
    int channelExtra_ = 0;
    int mode_ = Zoom;
    int dragging_ = 0;
    bool activated_ = false;
    bool followLive_ = true;
    bool settingTimeRange_ = false;
    QString labelFormat_ = QStringLiteral("h:n:ss");
    QCustomPlot* plot_;
    std::array<EnvelopeGraph*, 8> graphs_{};
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
    QLineEdit* channelsText_;
    QListWidget* list1_;
    QListWidget* list2_;
    QPushButton* start_;
};

} // namespace trq
