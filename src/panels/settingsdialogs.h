#pragma once

#include <QDialog>

#include <vector>

class QLabel;
class QSpinBox;

namespace trq {

// Rounds to the nearest integer, halves to the even neighbour.
int roundHalfEven(double value);

// One whole-number setting of a small dialog: where it is stored, its
// default, the range of its edit and its labels (string-table numbers).
struct SettingField {
    const char* section;
    const char* key;
    int defaultValue;
    int minimum;
    int maximum;
    int labelId;
    int unitLabelId;           // 0: none
    int storedMaximum = 32767; // larger entries are not taken
};

// The memory, delay, automatic-run and read-time dialogs: numbers kept in
// the settings store, edited modally.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    SettingsDialog(const QString& objectName, int captionId, std::vector<SettingField> fields,
                   QWidget* parent = nullptr);

    void GetSettings();
    void SetSettings();
    // Shows the dialog; true when confirmed (and the values are stored).
    bool Execute();

    int value(int i) const { return values_.at(std::size_t(i)); }
    QSpinBox* edit(int i) const { return edits_.at(std::size_t(i)); }
    QPushButton* OKButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }

private:
    std::vector<SettingField> fields_;
    std::vector<int> values_;
    std::vector<QSpinBox*> edits_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

class dlgAutoMode : public SettingsDialog {
    Q_OBJECT
public:
    explicit dlgAutoMode(QWidget* parent = nullptr);
    int StartMemory() const { return value(0); }
    int EndMemory() const { return value(1); }
    int Cycle() const { return value(2); }
};

class dlgDelay : public SettingsDialog {
    Q_OBJECT
public:
    explicit dlgDelay(QWidget* parent = nullptr);
    int Delay() const { return value(0); }
};

class dlgReadTimes : public SettingsDialog {
    Q_OBJECT
public:
    explicit dlgReadTimes(QWidget* parent = nullptr);
    int ReadTimes() const { return value(0); }
};

// Save and recall share the stored memory number.
class dlgSaveData : public SettingsDialog {
    Q_OBJECT
public:
    explicit dlgSaveData(QWidget* parent = nullptr);
    int Memory() const { return value(0); }
};

class dlgRecallData : public SettingsDialog {
    Q_OBJECT
public:
    explicit dlgRecallData(QWidget* parent = nullptr);
    int Memory() const { return value(0); }
};

} // namespace trq
