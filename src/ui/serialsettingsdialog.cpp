#include "ui/serialsettingsdialog.h"

#include "core/clock.h"
#include "core/numbers.h"
#include "core/prompter.h"
#include "core/settings.h"
#include "core/strings.h"
#include "link/taskscheduler.h"
#include "link/transport.h"
#include "link/transportfactory.h"
#include "session/instrumentsession.h"

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

namespace {

const char* const kBaudRates[] = {"9600", "4800", "2400", "1200", "115200", "57600"};

bool endsWithLineEnd(const QByteArray& text) {
    return !text.isEmpty() && (text.back() == '\n' || text.back() == '\r');
}

} // namespace

SerialSettingsDialog::SerialSettingsDialog(TransportFactory& factory, TaskScheduler& link,
                                           Waiter& waiter, Prompter& prompter, QWidget* parent)
    : QDialog(parent), factory_(factory), link_(link), waiter_(waiter), prompter_(prompter),
      ports_(new QComboBox(this)), bauds_(new QComboBox(this)), progress_(new QProgressBar(this)),
      autoDetect_(new QPushButton(tr("Auto Dectect"), this)),
      showSimulated_(new QCheckBox(tr("Show simulated supplies"), this)) {
    setObjectName(QStringLiteral("SerialSettingsDialog"));
    setWindowTitle(text(Text::SerialTitle));
    for (const char* rate : kBaudRates)
        bauds_->addItem(QString::fromLatin1(rate));
    progress_->setVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(autoDetect_, &QPushButton::clicked, this, &SerialSettingsDialog::autoDetect);
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
    found_.clear();
    ports_->clear();
    SerialPort* link = link_.serialPort();
    if (link && link->isOpen())
        link->close(); // its port would not open a second time
    const QStringList names = factory_.availablePortNames();
    progress_->setRange(0, int(names.size()));
    int done = 0;
    for (const QString& name : names) {
        std::unique_ptr<SerialPort> probe(factory_.createSerialPort(name));
        if (probe->open()) {
            found_ << name;
            ports_->addItem(name);
            probe->close();
        }
        progress_->setValue(++done);
        waiter_.letEventsRun();
    }
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

void SerialSettingsDialog::closeOwnPort() {
    if (own_ && own_->isOpen())
        own_->close();
    own_.reset();
}

void SerialSettingsDialog::autoDetect() {
    progress_->setRange(0, std::max(int(found_.size()), 1));
    progress_->setValue(0);
    progress_->setVisible(true);
    listPorts();
    if (found_.isEmpty()) {
        prompter_.message(tr("Your Device cannot find any connected device with Serial Port."), {},
                          Prompter::Icon::Information);
        progress_->setVisible(false);
        return;
    }
    detectOnListedPorts();
    progress_->setVisible(false);
}

bool SerialSettingsDialog::detectOnListedPorts() {
    closeOwnPort();
    bool found = false;
    QString answer;
    progress_->setRange(0, int(found_.size()) * bauds_->count());
    progress_->setValue(0);
    progress_->setVisible(true);
    for (int rate = 0; rate < bauds_->count() && !found; ++rate) {
        // The port found last is tried first.
        for (int p = int(found_.size()) - 1; p >= 0 && !found; --p) {
            closeOwnPort();
            ports_->setCurrentIndex(p);
            bauds_->setCurrentIndex(rate);
            applySelection();
            own_.reset(factory_.createSerialPort(found_.at(p)));
            own_->setBaudRate(baud_);
            own_->open();
            answer = probe();
            // Every supported family's *IDN? names its maker so.
            found = answer.contains(QLatin1String("ZQ"));
            progress_->setValue(progress_->value() + 1);
            waiter_.letEventsRun();
        }
    }
    closeOwnPort();
    if (!found) {
        prompter_.message(tr("Please recheck Line connection and Device Setting of your "
                             "device!\nOr Please restart power device.\nAnd then "
                             "Retry [Auto Detect] again"),
                          {}, Prompter::Icon::Information);
    } else {
        prompter_.message(tr("Detect Configuration Successfully!\nPorts: %1 ,Baud Rate:%2\n%3")
                              .arg(ports_->currentText(), bauds_->currentText(), answer),
                          {}, Prompter::Icon::Information);
    }
    progress_->setVisible(false);
    return found;
}

QString SerialSettingsDialog::probe() {
    if (!own_)
        return {};
    // Always LF here, whatever the family's line end.
    own_->write("*IDN?\n");
    waiter_.wait(kProbeWaitMsec);
    const QByteArray first = own_->readAll();
    if (!endsWithLineEnd(first))
        return {};
    if (first.contains("Invalid Character.")) { // the supplies' own reply text
        // The instrument rejected leftovers of an earlier attempt: ask again.
        own_->write("*IDN?\n");
        waiter_.wait(kProbeWaitMsec);
        const QByteArray second = own_->readAll();
        if (endsWithLineEnd(second))
            return QString::fromLatin1(second);
    }
    return QString::fromLatin1(first);
}

} // namespace trq
