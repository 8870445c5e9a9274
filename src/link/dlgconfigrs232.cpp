#include "link/dlgconfigrs232.h"

#include "link/clock.h"
#include "link/commtasker.h"
#include "link/transport.h"
#include "link/transportfactory.h"
#include "panels/commandset.h"
#include "shell/prompter.h"
#include "shell/settings.h"
#include "shell/strings.h"

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

dlgConfigRS232::dlgConfigRS232(TransportFactory& factory, CommTasker& tasker, Waiter& waiter,
                               Prompter& prompter, QWidget* parent)
    : QDialog(parent), factory_(factory), tasker_(tasker), waiter_(waiter), prompter_(prompter),
      ports_(new QComboBox(this)), bauds_(new QComboBox(this)), progress_(new QProgressBar(this)),
      autoDetect_(new QPushButton(QStringLiteral("Auto Dectect"), this)),
      showSimulated_(new QCheckBox(QStringLiteral("Show simulated supplies"), this)) {
    setObjectName(QStringLiteral("dlgConfigRS232"));
    setWindowTitle(LoadResString(216));
    for (const char* rate : kBaudRates)
        bauds_->addItem(QString::fromLatin1(rate));
    progress_->setVisible(false);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(autoDetect_, &QPushButton::clicked, this, &dlgConfigRS232::cmdAutoConn_Click);
    // Simulated supplies are a choice of their own, listed after the real
    // ports; auto-detection never tries them.
    connect(showSimulated_, &QCheckBox::toggled, this, [this] {
        const QString current = ports_->currentText();
        ListSerialPorts();
        const int at = ports_->findText(current);
        if (at >= 0)
            ports_->setCurrentIndex(at);
    });

    auto* grid = new QGridLayout(this);
    grid->addWidget(new QLabel(LoadResString(211), this), 0, 0);
    grid->addWidget(ports_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("(COM1 - COM16)"), this), 0, 2);
    grid->addWidget(new QLabel(LoadResString(212), this), 1, 0);
    grid->addWidget(bauds_, 1, 1);
    grid->addWidget(new QLabel(LoadResString(213), this), 2, 0, 1, 3);
    grid->addWidget(new QLabel(LoadResString(214), this), 3, 0, 1, 3);
    grid->addWidget(new QLabel(LoadResString(215), this), 4, 0, 1, 3);
    grid->addWidget(showSimulated_, 5, 0, 1, 3);
    grid->addWidget(progress_, 6, 0, 1, 3);
    grid->addWidget(autoDetect_, 7, 0);
    grid->addWidget(buttons, 7, 1, 1, 2);
    ListSerialPorts();
}

dlgConfigRS232::~dlgConfigRS232() = default;

void dlgConfigRS232::setUsbTitle(bool usb) {
    setWindowTitle(usb ? QStringLiteral("Config USB") : LoadResString(216));
}

void dlgConfigRS232::GetSettings() {
    const QString section = QStringLiteral("RS232");
    ComPort = Settings::GetInt(section, QStringLiteral("ComPort"), 1);
    BaudRate = Settings::GetInt(section, QStringLiteral("BaudRate"), 9600);
    ComPortIndex = Settings::GetInt(section, QStringLiteral("ComPortIndex"), 0);
    BaudRateIndex = Settings::GetInt(section, QStringLiteral("BaudRateIndex"), 0);
    PortName = Settings::GetSetting(section, QStringLiteral("PortName"));
}

void dlgConfigRS232::SetSettings() {
    const QString section = QStringLiteral("RS232");
    Settings::SaveInt(section, QStringLiteral("ComPort"), ComPort);
    Settings::SaveInt(section, QStringLiteral("BaudRate"), BaudRate);
    Settings::SaveInt(section, QStringLiteral("ComPortIndex"), ComPortIndex);
    Settings::SaveInt(section, QStringLiteral("BaudRateIndex"), BaudRateIndex);
    Settings::SaveSetting(section, QStringLiteral("PortName"), PortName);
}

void dlgConfigRS232::ListSerialPorts() {
    found_.clear();
    ports_->clear();
    SerialPort* link = tasker_.serialPort();
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
        ports_->addItems(TransportFactory::simulatedPortNames());
    }
}

void dlgConfigRS232::setOneShotPort(const QString& name, int baudIndex) {
    oneShotPort_ = name;
    oneShotBaud_ = baudIndex;
}

void dlgConfigRS232::selectStoredPort() {
    // A stored position that the list no longer has is ignored; a stored
    // port name finds its entry wherever the list now has it.
    if (TransportFactory::isSimulated(PortName) && !showSimulated_->isChecked())
        showSimulated_->setChecked(true);
    const int byName = PortName.isEmpty() ? -1 : ports_->findText(PortName);
    if (byName >= 0)
        ports_->setCurrentIndex(byName);
    else if (ComPortIndex >= 0 && ComPortIndex < found_.size())
        ports_->setCurrentIndex(ComPortIndex);
    if (BaudRateIndex >= 0 && BaudRateIndex < bauds_->count())
        bauds_->setCurrentIndex(BaudRateIndex);
}

bool dlgConfigRS232::Execute(bool direct) {
    GetSettings();
    if (direct && !oneShotPort_.isEmpty()) {
        PortName = std::exchange(oneShotPort_, QString());
        BaudRateIndex = std::clamp(oneShotBaud_, 0, bauds_->count() - 1);
        BaudRate = qint32(leadingNumber(bauds_->itemText(BaudRateIndex)));
        ComPort =
            PortName.startsWith(QLatin1String("COM")) ? int(leadingNumber(PortName.mid(3))) : 0;
        return true;
    }
    // The stored port by its name, whether or not it is listed now: a port
    // that has gone is reported as gone, not replaced by another.
    if (direct && !PortName.isEmpty())
        return true;
    selectStoredPort();
    const bool result = direct || exec() == QDialog::Accepted;
    if (result)
        applySelection();
    return result;
}

void dlgConfigRS232::applySelection() {
    ComPortIndex = std::max(int(found_.indexOf(ports_->currentText())), 0);
    BaudRateIndex = std::max(bauds_->currentIndex(), 0);
    PortName = ports_->currentText();
    ComPort = PortName.startsWith(QLatin1String("COM")) ? int(leadingNumber(PortName.mid(3))) : 0;
    BaudRate = qint32(leadingNumber(bauds_->currentText()));
}

void dlgConfigRS232::closeOwnPort() {
    if (own_ && own_->isOpen())
        own_->close();
    own_.reset();
}

void dlgConfigRS232::cmdAutoConn_Click() {
    progress_->setRange(0, std::max(int(found_.size()), 1));
    progress_->setValue(0);
    progress_->setVisible(true);
    ListSerialPorts();
    if (found_.isEmpty()) {
        prompter_.message(
            QStringLiteral("Your Device cannot find any connected device with Serial Port."), {},
            Prompter::Icon::Information);
        progress_->setVisible(false);
        return;
    }
    AutoDetectSerial();
    progress_->setVisible(false);
}

bool dlgConfigRS232::AutoDetectSerial() {
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
            own_->setBaudRate(BaudRate);
            own_->open();
            answer = SendProbe();
            found = answer.contains(QLatin1String("ZQ"));
            progress_->setValue(progress_->value() + 1);
            waiter_.letEventsRun();
        }
    }
    closeOwnPort();
    if (!found) {
        prompter_.message(
            QStringLiteral("Please recheck Line connection and Device Setting of your "
                           "device!\nOr Please restart power device.\nAnd then "
                           "Retry [Auto Detect] again"),
            {}, Prompter::Icon::Information);
    } else {
        prompter_.message(QStringLiteral("Detect Configuration Successfully!\nPorts: ") +
                              ports_->currentText() + QStringLiteral(" ,Baud Rate:") +
                              bauds_->currentText() + QLatin1Char('\n') + answer,
                          {}, Prompter::Icon::Information);
    }
    progress_->setVisible(false);
    return found;
}

QString dlgConfigRS232::SendProbe() {
    if (!own_)
        return {};
    // Always LF here, whatever the family's line end.
    own_->write("*IDN?\n");
    waiter_.wait(kProbeWaitMsec);
    const QByteArray first = own_->readAll();
    if (!endsWithLineEnd(first))
        return {};
    if (first.contains("Invalid Character.")) {
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
