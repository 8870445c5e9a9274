#include "ui/serialsettingsdialog.h"

#include "core/numbers.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "link/transportfactory.h"
#include "session/instrumentsession.h"
#include "session/portprobe.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include <algorithm>
#include <utility>

namespace trq {

SerialSettingsDialog::SerialSettingsDialog(TransportFactory& factory, PortProbe& probe,
                                           Prompter& prompter, QWidget* parent)
    : QDialog(parent), factory_(factory), probe_(probe), prompter_(prompter),
      ports_(new QComboBox(this)), bauds_(new QComboBox(this)), progress_(new QProgressBar(this)),
      autoDetect_(new QPushButton(tr("Auto Dectect"), this)),
      showSimulated_(new QCheckBox(tr("Show simulated supplies"), this)) {
    setObjectName(QStringLiteral("SerialSettingsDialog"));
    setWindowTitle(text(Text::SerialTitle));
    bauds_->addItems(baudRates());
    progress_->setVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(autoDetect_, &QPushButton::clicked, this, &SerialSettingsDialog::autoDetect);
    connect(&probe_, &PortProbe::progressed, progress_, &QProgressBar::setValue);
    connect(&probe_, &PortProbe::finished, this, &SerialSettingsDialog::probed);
    // A probe does not outlive the dialog it was started from.
    connect(this, &QDialog::finished, &probe_, &PortProbe::cancel);
    // Simulated supplies are a choice of their own, listed after the real
    // ports; auto-detection never tries them.
    connect(showSimulated_, &QCheckBox::toggled, this, [this] {
        const QString current = ports_->currentText();
        listPorts();
        const int at = ports_->findText(current);
        if (at >= 0)
            ports_->setCurrentIndex(at);
    });

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(text(Text::Ports), this), 0, 0);
    grid->addWidget(ports_, 0, 1);
    grid->addWidget(new QLabel(tr("(COM1 - COM16)"), this), 0, 2);
    grid->addWidget(new QLabel(text(Text::BaudRate), this), 1, 0);
    grid->addWidget(bauds_, 1, 1);
    grid->addWidget(new QLabel(text(Text::DataBits), this), 2, 0, 1, 3);
    grid->addWidget(new QLabel(text(Text::ParityBit), this), 3, 0, 1, 3);
    grid->addWidget(new QLabel(text(Text::StopBit), this), 4, 0, 1, 3);
    grid->addWidget(showSimulated_, 5, 0, 1, 3);
    grid->addWidget(progress_, 6, 0, 1, 3);
    grid->addWidget(autoDetect_, 7, 0);
    grid->addWidget(buttons, 7, 1, 1, 2);
    listPorts();
}

SerialSettingsDialog::~SerialSettingsDialog() = default;

void SerialSettingsDialog::setUsbTitle(bool usb) {
    setWindowTitle(usb ? tr("Config USB") : text(Text::SerialTitle));
}

void SerialSettingsDialog::load() {
    const Settings& s = Settings::instance();
    portNumber_ = s.serialPortNumber();
    baud_ = s.serialBaud();
    portIndex_ = s.serialPortIndex();
    baudIndex_ = s.serialBaudIndex();
    portName_ = s.serialPortName();
}

void SerialSettingsDialog::store() {
    Settings& s = Settings::instance();
    s.setSerialPortNumber(portNumber_);
    s.setSerialBaud(baud_);
    s.setSerialPortIndex(portIndex_);
    s.setSerialBaudIndex(baudIndex_);
    s.setSerialPortName(portName_);
}

void SerialSettingsDialog::listPorts() {
    ports_->clear();
    found_ = probe_.openable(factory_.availablePortNames());
    ports_->addItems(found_);
    if (showSimulated_->isChecked()) {
        ports_->insertSeparator(ports_->count());
        ports_->addItems(factory_.simulatedPortNames());
    }
}

void SerialSettingsDialog::setOneShotPort(const QString& name, int baudIndex) {
    oneShotPort_ = name;
    oneShotBaud_ = baudIndex;
}

void SerialSettingsDialog::selectStoredPort() {
    // A stored position that the list no longer has is ignored; a stored
    // port name finds its entry wherever the list now has it.
    if (TransportFactory::isSimulated(portName_) && !showSimulated_->isChecked())
        showSimulated_->setChecked(true);
    const int byName = portName_.isEmpty() ? -1 : ports_->findText(portName_);
    if (byName >= 0)
        ports_->setCurrentIndex(byName);
    else if (portIndex_ >= 0 && portIndex_ < found_.size())
        ports_->setCurrentIndex(portIndex_);
    if (baudIndex_ >= 0 && baudIndex_ < bauds_->count())
        bauds_->setCurrentIndex(baudIndex_);
}

bool SerialSettingsDialog::run(bool direct) {
    load();
    if (direct && !oneShotPort_.isEmpty()) {
        portName_ = std::exchange(oneShotPort_, QString());
        baudIndex_ = std::clamp(oneShotBaud_, 0, bauds_->count() - 1);
        baud_ = qint32(leadingNumber(bauds_->itemText(baudIndex_)));
        portNumber_ =
            portName_.startsWith(QLatin1String("COM")) ? int(leadingNumber(portName_.mid(3))) : 0;
        return true;
    }
    // The stored port by its name, whether or not it is listed now: a port
    // that has gone is reported as gone, not replaced by another.
    if (direct && !portName_.isEmpty())
        return true;
    selectStoredPort();
    const bool result = direct || exec() == QDialog::Accepted;
    if (result)
        applySelection();
    return result;
}

SerialSettings SerialSettingsDialog::settings() const {
    return {portName_.isEmpty() ? QStringLiteral("COM%1").arg(portNumber_) : portName_, baud_};
}

void SerialSettingsDialog::applySelection() {
    portIndex_ = std::max(int(found_.indexOf(ports_->currentText())), 0);
    baudIndex_ = std::max(bauds_->currentIndex(), 0);
    portName_ = ports_->currentText();
    portNumber_ =
        portName_.startsWith(QLatin1String("COM")) ? int(leadingNumber(portName_.mid(3))) : 0;
    baud_ = qint32(leadingNumber(bauds_->currentText()));
}

void SerialSettingsDialog::autoDetect() {
    listPorts();
    if (found_.isEmpty()) {
        prompter_.message(tr("Your Device cannot find any connected device with Serial Port."), {},
                          Prompter::Icon::Information);
        return;
    }
    QList<qint32> rates;
    for (int i = 0; i < bauds_->count(); ++i)
        rates << qint32(leadingNumber(bauds_->itemText(i)));
    progress_->setRange(0, int(found_.size() * rates.size()));
    progress_->setValue(0);
    progress_->setVisible(true);
    autoDetect_->setEnabled(false);
    probe_.start(found_, rates);
}

void SerialSettingsDialog::probed(const ProbeResult& result) {
    progress_->setVisible(false);
    autoDetect_->setEnabled(true);
    if (!result.found) {
        prompter_.message(tr("Please recheck Line connection and Device Setting of your "
                             "device!\nOr Please restart power device.\nAnd then "
                             "Retry [Auto Detect] again"),
                          {}, Prompter::Icon::Information);
        return;
    }
    ports_->setCurrentIndex(result.port);
    bauds_->setCurrentIndex(result.rate);
    applySelection();
    prompter_.message(tr("Detect Configuration Successfully!\nPorts: %1 ,Baud Rate:%2\n%3")
                          .arg(ports_->currentText(), bauds_->currentText(), result.answer),
                      {}, Prompter::Icon::Information);
}

} // namespace trq
