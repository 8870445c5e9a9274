#pragma once

#include "core/prompter.h"

class QWidget;

namespace trq {

// Modal QMessageBox over the active window (the title defaults to the
// application's name), and the file dialog.
class MessageBoxPrompter final : public Prompter {
public:
    explicit MessageBoxPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
    QString saveFileName(const QString& folder, const QString& filter) override;
    QString openFileName(const QString& folder, const QString& filter) override;

private:
    QWidget* parent_;
};

} // namespace trq
