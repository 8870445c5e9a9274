#pragma once

#include <QString>

class QPrinter;
class QWidget;

namespace trq {

// Every modal message box and question of the program goes through here, so
// tests can answer them without a window.
class Prompter {
public:
    enum class Icon { None, Information, Question, Warning, Critical };
    enum class Buttons { Ok, YesNo, OkCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Prompter() = default;
    virtual Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) = 0;
    // A file name to write, or empty when the user cancelled.
    virtual QString saveFileName(const QString& folder, const QString& filter) = 0;
    // Lets the user choose the printer (or a PDF file); false when cancelled.
    virtual bool preparePrinter(QPrinter& printer) = 0;

    void message(const QString& text, const QString& title = {}, Icon icon = Icon::None) {
        ask(text, title, icon, Buttons::Ok);
    }
};

// Modal QMessageBox over the active window; the title defaults to the
// application's name.
class MessageBoxPrompter final : public Prompter {
public:
    explicit MessageBoxPrompter(QWidget* parent = nullptr) : parent_(parent) {}
    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
    QString saveFileName(const QString& folder, const QString& filter) override;
    bool preparePrinter(QPrinter& printer) override;

private:
    QWidget* parent_;
};

} // namespace trq
