#include "ui/aboutdialog.h"

#include "core/debugtrace.h"
#include "core/prompter.h"
#include "core/strings.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace trq {

AboutDialog::AboutDialog(Prompter& prompter, QWidget* parent)
    : QDialog(parent), prompter_(prompter) {
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(tr("About POWER_TRQ"));
    auto* title = new QLabel(text(Text::AboutTitle), this);
    QFont big = title->font();
    big.setPointSize(big.pointSize() + 4);
    big.setBold(true);
    title->setFont(big);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(tr("OK"), QDialogButtonBox::AcceptRole);
    QPushButton* sysInfo = buttons->addButton(tr("&System Info..."), QDialogButtonBox::ActionRole);
    sysInfo->setObjectName(QStringLiteral("systemInfoButton"));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, &AboutDialog::startSystemInfo);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(new QLabel(tr("Version: ") + QLatin1String(DebugTrace::kVersion), this));
    layout->addWidget(new QLabel(text(Text::AboutNotice), this));
    layout->addWidget(buttons);
}

QString AboutDialog::systemInfoTool() {
#ifdef _WIN32
    const QSettings msinfo(
        QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
        QSettings::NativeFormat);
    QString path = msinfo.value(QStringLiteral("PATH")).toString();
    if (path.isEmpty()) {
        const QSettings location(
            QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Shared Tools Location"),
            QSettings::NativeFormat);
        const QString folder = location.value(QStringLiteral("MSINFO")).toString();
        if (!folder.isEmpty())
            path = folder + QStringLiteral("\\MSINFO32.EXE");
    }
    return QFileInfo::exists(path) ? path : QString();
#else
    for (const char* tool : {"hardinfo2", "hardinfo", "gnome-system-monitor", "ksysguard"}) {
        const QString path = QStandardPaths::findExecutable(QLatin1String(tool));
        if (!path.isEmpty())
            return path;
    }
    return {};
#endif
}

void AboutDialog::startSystemInfo() {
    const QString tool = systemInfoTool();
    if (tool.isEmpty() || !QProcess::startDetached(tool, {}))
        prompter_.message(tr("System Information Is Unavailable At This Time"));
}

} // namespace trq
