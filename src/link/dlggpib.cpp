#include "link/dlggpib.h"

#include "shell/settings.h"
#include "sim/supply.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>

namespace trq {

dlgGPIB::dlgGPIB(QWidget* parent)
    : QDialog(parent), board_(new QListWidget(this)), address_(new QListWidget(this)),
      simulated_(new QCheckBox(QStringLiteral("Simulated supply"), this)),
      model_(new QComboBox(this)) {
    setObjectName(QStringLiteral("dlgGPIB"));
    setWindowTitle(QStringLiteral("Config GPIB"));
    for (int i = 0; i <= 10; ++i)
        board_->addItem(QStringLiteral("GPIB%1").arg(i));
    for (int i = 0; i <= 30; ++i)
        address_->addItem(QString::number(i));
    model_->addItems(sim::simulatedModelNames());
    model_->setEnabled(false);
    connect(simulated_, &QCheckBox::toggled, model_, &QComboBox::setEnabled);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(QStringLiteral("Board"), this), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Primary address"), this), 0, 1);
    grid->addWidget(board_, 1, 0);
    grid->addWidget(address_, 1, 1);
    grid->addWidget(simulated_, 2, 0);
    grid->addWidget(model_, 2, 1);
    grid->addWidget(buttons, 3, 0, 1, 2);
}

void dlgGPIB::GetSettings() {
    GPIBn = Settings::GetInt(QStringLiteral("GPIB"), QStringLiteral("GPIBn"), 0);
    Address = Settings::GetInt(QStringLiteral("GPIB"), QStringLiteral("Address"), 0);
    SimulatedModel = Settings::GetSetting(QStringLiteral("GPIB"), QStringLiteral("Simulated"));
}

void dlgGPIB::SetSettings() {
    Settings::SaveInt(QStringLiteral("GPIB"), QStringLiteral("GPIBn"), GPIBn);
    Settings::SaveInt(QStringLiteral("GPIB"), QStringLiteral("Address"), Address);
    Settings::SaveSetting(QStringLiteral("GPIB"), QStringLiteral("Simulated"), SimulatedModel);
}

bool dlgGPIB::Execute(bool direct) {
    GetSettings();
    // A stored position the list does not have is ignored.
    if (GPIBn >= 0 && GPIBn < board_->count())
        board_->setCurrentRow(GPIBn);
    if (Address >= 0 && Address < address_->count())
        address_->setCurrentRow(Address);
    simulated_->setChecked(!SimulatedModel.isEmpty());
    if (!SimulatedModel.isEmpty())
        model_->setCurrentText(SimulatedModel);
    const bool result = direct || exec() == QDialog::Accepted;
    if (result) {
        GPIBn = std::max(board_->currentRow(), 0);
        Address = std::max(address_->currentRow(), 0);
        SimulatedModel = simulated_->isChecked() ? model_->currentText() : QString();
        SetSettings();
    }
    return result;
}

} // namespace trq
