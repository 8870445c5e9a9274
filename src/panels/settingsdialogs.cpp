#include "panels/settingsdialogs.h"

#include "shell/settings.h"
#include "shell/strings.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <cmath>

namespace trq {

int roundHalfEven(double value) {
    return int(std::nearbyint(value)); // the default rounding mode: to nearest, ties to even
}

SettingsDialog::SettingsDialog(const QString& objectName, int captionId,
                               std::vector<SettingField> fields, QWidget* parent)
    : QDialog(parent), fields_(std::move(fields)), values_(fields_.size(), 0),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)) {
    setObjectName(objectName);
    setWindowTitle(LoadResString(captionId));
    auto* grid = new QGridLayout(this);
    int row = 0;
    for (const SettingField& f : fields_) {
        auto* edit = new QSpinBox(this);
        edit->setRange(f.minimum, f.maximum);
        edit->setSingleStep(1);
        edits_.push_back(edit);
        grid->addWidget(new QLabel(LoadResString(f.labelId), this), row, 0);
        grid->addWidget(edit, row, 1);
        if (f.unitLabelId)
            grid->addWidget(new QLabel(LoadResString(f.unitLabelId), this), row, 2);
        ++row;
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    grid->addLayout(buttons, row, 0, 1, 3);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void SettingsDialog::GetSettings() {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        values_[i] = Settings::GetInt(QLatin1String(fields_[i].section),
                                      QLatin1String(fields_[i].key), fields_[i].defaultValue);
}

void SettingsDialog::SetSettings() {
    for (std::size_t i = 0; i < fields_.size(); ++i)
        Settings::SaveInt(QLatin1String(fields_[i].section), QLatin1String(fields_[i].key),
                          values_[i]);
}

bool SettingsDialog::Execute() {
    GetSettings();
    for (std::size_t i = 0; i < fields_.size(); ++i)
        edits_[i]->setValue(values_[i]);
    if (exec() != QDialog::Accepted)
        return false;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const int v = roundHalfEven(edits_[i]->value());
        if (v <= fields_[i].storedMaximum)
            values_[i] = v;
    }
    SetSettings();
    return true;
}

dlgAutoMode::dlgAutoMode(QWidget* parent)
    : SettingsDialog(QStringLiteral("dlgAutoMode"), 0,
                     {{"AutoMode", "StartMemory", 0, 0, 99, 201, 0},
                      {"AutoMode", "EndMemory", 0, 0, 99, 202, 0},
                      {"AutoMode", "Cycle", 0, 0, 99999, 203, 0}},
                     parent) {
    setWindowTitle(QStringLiteral("Auto Mode"));
}

dlgDelay::dlgDelay(QWidget* parent)
    : SettingsDialog(QStringLiteral("dlgDelay"), 223, {{"Delay", "Delay", 0, 1, 99, 221, 222}},
                     parent) {}

dlgReadTimes::dlgReadTimes(QWidget* parent)
    : SettingsDialog(QStringLiteral("dlgReadTimes"), 243,
                     {{"ReadTimes", "ReadTimes", 5, 0, 120, 241, 242}}, parent) {}

dlgSaveData::dlgSaveData(QWidget* parent)
    : SettingsDialog(QStringLiteral("dlgSaveData"), 262, {{"Memory", "Memory", 0, 1, 4, 261, 0}},
                     parent) {}

dlgRecallData::dlgRecallData(QWidget* parent)
    : SettingsDialog(QStringLiteral("dlgRecallData"), 252, {{"Memory", "Memory", 0, 1, 4, 251, 0}},
                     parent) {}

} // namespace trq
