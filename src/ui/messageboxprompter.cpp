#include "ui/messageboxprompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace trq {

Prompter::Answer MessageBoxPrompter::ask(const QString& text, const QString& title, Icon icon,
                                         Buttons buttons) {
    static constexpr QMessageBox::Icon kIcons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                   QMessageBox::Question, QMessageBox::Warning,
                                                   QMessageBox::Critical};
    QMessageBox::StandardButtons std = QMessageBox::Ok;
    if (buttons == Buttons::YesNo)
        std = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == Buttons::OkCancel)
        std = QMessageBox::Ok | QMessageBox::Cancel;
    QWidget* parent = parent_ ? parent_ : QApplication::activeWindow();
    QMessageBox box(kIcons[int(icon)],
                    title.isEmpty() ? QApplication::applicationDisplayName() : title, text, std,
                    parent);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return Answer::Ok;
    }
}

QString MessageBoxPrompter::saveFileName(const QString& folder, const QString& filter) {
    QFileDialog dialog(parent_ ? parent_ : QApplication::activeWindow(), {}, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without an extension gets the filter's.
    static const QRegularExpression pattern(QStringLiteral("\\*\\.(\\w+)"));
    if (const QRegularExpressionMatch m = pattern.match(filter); m.hasMatch())
        dialog.setDefaultSuffix(m.captured(1));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

QString MessageBoxPrompter::openFileName(const QString& folder, const QString& filter) {
    QFileDialog dialog(parent_ ? parent_ : QApplication::activeWindow(), {}, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().constFirst();
}

} // namespace trq
