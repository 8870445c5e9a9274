// A further supply of the bench, as the user names its link.
#include "ui/addsupplydialog.h"

#include "link/transportfactory.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace trq {

AddSupplyDialog::AddSupplyDialog(TransportFactory& transports, QWidget* parent)
    : QDialog(parent), kind_(new QComboBox(this)), pages_(new QStackedWidget(this)),
      port_(new QComboBox(this)), baud_(new QComboBox(this)), board_(new QSpinBox(this)),
      gpib_(new QSpinBox(this)), name_(new QLineEdit(this)) {
    setWindowTitle(tr("Add supply"));
    kind_->setObjectName(QStringLiteral("kind"));
    port_->setObjectName(QStringLiteral("port"));
    baud_->setObjectName(QStringLiteral("baud"));
    board_->setObjectName(QStringLiteral("board"));
    gpib_->setObjectName(QStringLiteral("address"));
    name_->setObjectName(QStringLiteral("name"));
    kind_->addItems({tr("Serial port (RS232, USB)"), tr("GPIB")});
    port_->setEditable(true);
    port_->addItems(transports.availablePortNames() + transports.simulatedPortNames());
    baud_->addItems(baudRates());
    baud_->setCurrentText(QStringLiteral("9600"));
    board_->setRange(0, 3);
    gpib_->setRange(0, 30);
    gpib_->setValue(1);
    name_->setPlaceholderText(tr("its model"));

    auto* serial = new QWidget(pages_);
    auto* serialForm = new QFormLayout(serial);
    serialForm->addRow(tr("Port:"), port_);
    serialForm->addRow(tr("Baud rate:"), baud_);
    auto* gpib = new QWidget(pages_);
    auto* gpibForm = new QFormLayout(gpib);
    gpibForm->addRow(tr("Board:"), board_);
    gpibForm->addRow(tr("Address:"), gpib_);
    pages_->addWidget(serial);
    pages_->addWidget(gpib);
    connect(kind_, &QComboBox::currentIndexChanged, pages_, &QStackedWidget::setCurrentIndex);

    auto* form = new QFormLayout;
    form->addRow(tr("Link:"), kind_);
    form->addRow(pages_);
    form->addRow(tr("Name:"), name_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

std::variant<SupplyAddress, QString> AddSupplyDialog::address() const {
    SupplyAddress a;
    a.name = name_->text().trimmed();
    // The name goes in front of the link in a kept bench and in a power order.
    for (QChar c : {QLatin1Char('='), QLatin1Char(','), QLatin1Char(':')})
        if (a.name.contains(c))
            return tr("A name may not contain \"%1\".").arg(c);
    if (kind_->currentIndex() == 1) {
        a.kind = InterfaceKind::Gpib;
        a.gpib.board = board_->value();
        a.gpib.address = gpib_->value();
        return a;
    }
    a.kind = InterfaceKind::Serial;
    a.serial.port = port_->currentText().trimmed();
    a.serial.baud = baud_->currentText().toInt();
    if (a.serial.port.isEmpty())
        return tr("Please choose the port the supply is on.");
    return a;
}

} // namespace trq
