#pragma once

#include <QColor>
#include <QDialog>

#include <array>
#include <functional>
#include <optional>

class QComboBox;
class QLineEdit;
class QTimer;

namespace trq {

class Prompter;

// Record length, scale, point operation, channel colours and the three
// timer switches, kept under "RECORDPERIOD".
class dlgRecordLength : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kSection = "RECORDPERIOD";
    // Starting colours of the four swatches: green, blue, purple, yellow.
    static constexpr std::array<int, 4> kDefaultColours{49152, 12582912, 8388736, 65535};

    struct Timers {
        QTimer* round;   // the main window's poll timer
        QTimer* waiting; // the link's response-wait timer
        QTimer* writer;  // the link's writer timer
    };
    using ColourPicker = std::function<std::optional<QColor>(const QColor& preset)>;

    dlgRecordLength(Timers timers, Prompter& prompter, QWidget* parent = nullptr);

    void GetSettings();
    void SetSettings();
    bool Execute();
    // The colour dialog, replaceable where no one can answer it.
    void setColourPicker(ColourPicker picker) { pickColour_ = std::move(picker); }

    // Colours travel as the decimal text of a 24-bit value, red in the low byte.
    static QString colourText(const QColor& colour);
    static QColor colourOf(const QString& text);

    int Days = 0, Hours = 0, Miniutes = 0, Seconds = 0, RecScale = 0, RecPointStyle = 0;
    std::array<QString, 4> ChColor;
    QString WaitingTime, RoundTime, WriterTime;

    QComboBox* cmbDays() const { return days_; }
    QComboBox* cmbHours() const { return hours_; }
    QComboBox* cmbMinuites() const { return minutes_; }
    QComboBox* cmbSeconds() const { return seconds_; }
    QComboBox* cmdScale() const { return scale_; }
    QComboBox* cmdOperation() const { return operation_; }
    QLineEdit* txtChColor(int n) const { return colourBoxes_[std::size_t(n)]; }
    QLineEdit* txtRoundTime() const { return round_; }
    QLineEdit* txtWaitingTime() const { return waiting_; }
    QLineEdit* txtWriter() const { return writer_; }
    void OKButton_Click();
    void pickColourFor(int n);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintSwatch(int n, const QColor& colour);
    bool checkLength();
    void checkTimer(QLineEdit* box, QString& field, const char* fallback, const QString& message);

    Timers timers_;
    Prompter& prompter_;
    ColourPicker pickColour_;
    bool confirmed_ = false;
    QComboBox* days_;
    QComboBox* hours_;
    QComboBox* minutes_;
    QComboBox* seconds_;
    QComboBox* scale_;
    QComboBox* operation_;
    std::array<QLineEdit*, 4> colourBoxes_{};
    std::array<QWidget*, 4> swatches_{};
    std::array<QColor, 4> swatchColours_;
    QLineEdit* round_;
    QLineEdit* waiting_;
    QLineEdit* writer_;
};

} // namespace trq
