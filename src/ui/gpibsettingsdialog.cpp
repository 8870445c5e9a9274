#include "ui/gpibsettingsdialog.h"

#include "core/settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>

namespace trq {

GpibSettingsDialog::GpibSettingsDialog(const QStringList& simulatedModels, QWidget* parent)
    : QDialog(parent), board_(new QListWidget(this)), address_(new QListWidget(this)),
      simulated_(new QCheckBox(tr("Simulated supply"), this)), model_(new QComboBox(this)) {
    setObjectName(QStringLiteral("GpibSettingsDialog"));
    setWindowTitle(tr("Config GPIB"));
    for (int i = 0; i <= Settings::kLastGpibBoard; ++i)
        board_->addItem(QStringLiteral("GPIB%1").arg(i));
    for (int i = 0; i <= Settings::kLastGpibAddress; ++i)
        address_->addItem(QString::number(i));
    model_->addItems(simulatedModels);
    model_->setEnabled(false);
    connect(simulated_, &QCheckBox::toggled, model_, &QComboBox::setEnabled);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(tr("Board"), this), 0, 0);
    grid->addWidget(new QLabel(tr("Primary address"), this), 0, 1);
    grid->addWidget(board_, 1, 0);
    grid->addWidget(address_, 1, 1);
    grid->addWidget(simulated_, 2, 0);
    grid->addWidget(model_, 2, 1);
    grid->addWidget(buttons, 3, 0, 1, 2);
}

void GpibSettingsDialog::load() {
    const Settings& s = Settings::instance();
    settings_.board = s.gpibBoard();
    settings_.address = s.gpibAddress();
    settings_.simulatedModel = s.gpibSimulatedModel();
}

void GpibSettingsDialog::store() {
    Settings& s = Settings::instance();
    s.setGpibBoard(settings_.board);
    s.setGpibAddress(settings_.address);
    s.setGpibSimulatedModel(settings_.simulatedModel);
}

bool GpibSettingsDialog::run(bool direct) {
    if (direct && oneShot_) {
        settings_ = *std::exchange(oneShot_, std::nullopt);
        store();
        return true;
    }
    load();
    // A stored position the list does not have is ignored.
    if (settings_.board >= 0 && settings_.board < board_->count())
        board_->setCurrentRow(settings_.board);
    if (settings_.address >= 0 && settings_.address < address_->count())
        address_->setCurrentRow(settings_.address);
    simulated_->setChecked(!settings_.simulatedModel.isEmpty());
    if (!settings_.simulatedModel.isEmpty())
        model_->setCurrentText(settings_.simulatedModel);
    const bool result = direct || exec() == QDialog::Accepted;
    if (result) {
        settings_.board = std::max(board_->currentRow(), 0);
        settings_.address = std::max(address_->currentRow(), 0);
        settings_.simulatedModel = simulated_->isChecked() ? model_->currentText() : QString();
        store();
    }
    return result;
}

} // namespace trq
