#pragma once

#include "core/strings.h"

#include <QDialog>

#include <optional>
#include <vector>

class QLabel;
class QSpinBox;

namespace trq {

class Settings;

// One whole-number setting of a small dialog: the setting, the range of its
// edit and its labels (string-table numbers).
struct SettingField {
    int (Settings::*get)() const;
    void (Settings::*set)(int);
    int minimum;
    int maximum;
    Text label;
    std::optional<Text> unit;  // none: no unit label
    int storedMaximum = 32767; // larger entries are not taken
};

// The memory, delay, automatic-run and read-time dialogs: numbers kept in
// the settings store, edited modally.
class NumberDialog : public QDialog {
    Q_OBJECT
public:
    NumberDialog(const QString& objectName, const QString& caption,
                 std::vector<SettingField> fields, QWidget* parent = nullptr);

    void load();
    void store();
    // Shows the dialog; true when confirmed (and the values are stored).
    bool run();

    int value(int i) const { return values_.at(std::size_t(i)); }
    QSpinBox* edit(int i) const { return edits_.at(std::size_t(i)); }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

private:
    std::vector<SettingField> fields_;
    std::vector<int> values_;
    std::vector<QSpinBox*> edits_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

class AutoRangeDialog : public NumberDialog {
    Q_OBJECT
public:
    explicit AutoRangeDialog(QWidget* parent = nullptr);
    int startMemory() const { return value(0); }
    int endMemory() const { return value(1); }
    int cycle() const { return value(2); }
};

class DelayDialog : public NumberDialog {
    Q_OBJECT
public:
    explicit DelayDialog(QWidget* parent = nullptr);
    int delay() const { return value(0); }
};

class ReadTimeDialog : public NumberDialog {
    Q_OBJECT
public:
    explicit ReadTimeDialog(QWidget* parent = nullptr);
    int readTime() const { return value(0); }
};

// Save and recall share the stored memory number.
class SaveMemoryDialog : public NumberDialog {
    Q_OBJECT
public:
    explicit SaveMemoryDialog(QWidget* parent = nullptr);
    int memory() const { return value(0); }
};

class RecallMemoryDialog : public NumberDialog {
    Q_OBJECT
public:
    explicit RecallMemoryDialog(QWidget* parent = nullptr);
    int memory() const { return value(0); }
};

} // namespace trq
