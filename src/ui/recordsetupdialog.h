#pragma once

#include "session/recordsetup.h"

#include <QColor>
#include <QDialog>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QComboBox;
class QSpinBox;
class QLineEdit;
class QTimer;

namespace trq {

class Prompter;
struct LinkActivity;

// Record length, scale, point operation, channel colours and the three
// timer switches, kept in the settings.
class RecordSetupDialog : public QDialog {
    Q_OBJECT
public:
    // Applies the timer switches (the session's link clocks).
    using ApplyActivity = std::function<void(const LinkActivity&)>;
    using ColourPicker = std::function<std::optional<QColor>(const QColor& preset)>;

    RecordSetupDialog(ApplyActivity apply, Prompter& prompter, QWidget* parent = nullptr);

    // Shows the setup as stored; true when the user confirmed it (and it is
    // stored and in setup).
    bool run(RecordSetup& setup);
    // The colour dialog, replaceable where no one can answer it.
    void setColourPicker(ColourPicker picker) { pickColour_ = std::move(picker); }

    // Colours travel as the decimal text of a 24-bit value, red in the low byte.
    static QString colourText(const QColor& colour);
    static QColor colourOf(const QString& text);

    // The values last shown or confirmed.
    const RecordSetup& values() const { return values_; }

    QComboBox* daysList() const { return days_; }
    QComboBox* hoursList() const { return hours_; }
    QComboBox* minutesList() const { return minutes_; }
    QComboBox* secondsList() const { return seconds_; }
    QComboBox* scaleList() const { return scale_; }
    QComboBox* operationList() const { return operation_; }
    QCheckBox* continuousBox() const { return continuous_; }
    QSpinBox* partHoursBox() const { return partHours_; }
    QLineEdit* colourBox(int n) const { return colourBoxes_[std::size_t(n)]; }
    QLineEdit* roundTimeBox() const { return round_; }
    QLineEdit* waitingTimeBox() const { return waiting_; }
    QLineEdit* writerTimeBox() const { return writer_; }
    void ok();
    void pickColourFor(int n);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void paintSwatch(int n, const QColor& colour);
    bool checkLength();
    void checkTimer(QLineEdit* box, QString& field, const char* fallback, const QString& message);

    ApplyActivity apply_;
    Prompter& prompter_;
    RecordSetup values_;
    ColourPicker pickColour_;
    bool confirmed_ = false;
    QComboBox* days_;
    QComboBox* hours_;
    QComboBox* minutes_;
    QComboBox* seconds_;
    QComboBox* scale_;
    QComboBox* operation_;
    QCheckBox* continuous_ = nullptr;
    QSpinBox* partHours_ = nullptr;
    std::array<QLineEdit*, 4> colourBoxes_{};
    std::array<QWidget*, 4> swatches_{};
    std::array<QColor, 4> swatchColours_;
    QLineEdit* round_;
    QLineEdit* waiting_;
    QLineEdit* writer_;
};

} // namespace trq
