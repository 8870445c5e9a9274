#include "ui/recordstoredialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace trq {

RecordStoreDialog::RecordStoreDialog(QWidget* parent)
    : QDialog(parent), local_(new QRadioButton(tr("This computer (%1)").arg("mtype.mdb"), this)),
      lab_(new QRadioButton(tr("A lab database (PostgreSQL)"), this)), host_(new QLineEdit(this)),
      port_(new QSpinBox(this)), database_(new QLineEdit(this)), user_(new QLineEdit(this)),
      tls_(new QComboBox(this)), station_(new QLineEdit(this)), problem_(new QLabel(this)) {
    setObjectName(QStringLiteral("RecordStoreDialog"));
    setWindowTitle(tr("Record store"));
    port_->setRange(1, 65535);
    // libpq's modes, its default first.
    tls_->addItems({QStringLiteral("prefer"), QStringLiteral("require"),
                    QStringLiteral("verify-ca"), QStringLiteral("verify-full"),
                    QStringLiteral("allow"), QStringLiteral("disable")});
    station_->setPlaceholderText(tr("this machine's name"));
    auto* form = new QFormLayout;
    form->addRow(local_);
    form->addRow(lab_);
    form->addRow(tr("Host:"), host_);
    form->addRow(tr("Port:"), port_);
    form->addRow(tr("Database:"), database_);
    form->addRow(tr("User:"), user_);
    form->addRow(tr("TLS mode:"), tls_);
    form->addRow(tr("Station:"), station_);
    auto* note = new QLabel(tr("The password comes from ~/.pgpass (or the file PGPASSFILE "
                               "names), never from here. Points are kept on this computer "
                               "first and sent on; while the server is away they wait."),
                            this);
    note->setWordWrap(true);
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00020"));
    problem_->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &RecordStoreDialog::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto enable = [this] {
        for (QWidget* w :
             std::initializer_list<QWidget*>{host_, port_, database_, user_, tls_, station_})
            w->setEnabled(lab_->isChecked());
    };
    connect(lab_, &QRadioButton::toggled, this, enable);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(note);
    layout->addWidget(problem_);
    layout->addWidget(buttons);
    local_->setChecked(true);
    enable();
}

bool RecordStoreDialog::run(const LabRecords::Options& o) {
    (o.enabled ? lab_ : local_)->setChecked(true);
    host_->setText(o.address.host);
    port_->setValue(o.address.port);
    database_->setText(o.address.database);
    user_->setText(o.address.user);
    tls_->setCurrentText(o.address.sslMode);
    station_->setText(o.station);
    if (exec() != QDialog::Accepted)
        return false;
    std::get<LabRecords::Options>(options()).save();
    return true;
}

std::variant<LabRecords::Options, QString> RecordStoreDialog::options() const {
    LabRecords::Options o = LabRecords::Options::load();
    o.enabled = lab_->isChecked();
    o.station = station_->text().trimmed();
    if (!o.enabled)
        return o;
    if (host_->text().trimmed().isEmpty() || database_->text().trimmed().isEmpty())
        return tr("A lab database needs its host and the database's name.");
    LabAddress a;
    a.host = host_->text().trimmed();
    a.port = port_->value();
    a.database = database_->text().trimmed();
    a.user = user_->text().trimmed();
    a.sslMode = tls_->currentText();
    // Read back as an address, so what the settings keep is what the
    // command line takes.
    const auto parsed = LabAddress::parse(a.uri());
    if (const QString* why = std::get_if<QString>(&parsed))
        return *why;
    o.address = std::get<LabAddress>(parsed);
    return o;
}

void RecordStoreDialog::confirm() {
    const auto chosen = options();
    if (const QString* why = std::get_if<QString>(&chosen)) {
        problem_->setText(*why);
        problem_->show();
        return;
    }
    accept();
}

} // namespace trq
