#pragma once

#include <QString>

namespace trq {

// Every modal question and message of the program goes through here,
// so tests and the headless program answer them without a window.
class Prompter {
public:
    enum class Icon { None, Information, Question, Warning, Critical };
    enum class Buttons { Ok, YesNo, OkCancel };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~Prompter() = default;
    virtual Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) = 0;
    // A file name to write, or empty when the user cancelled.
    virtual QString saveFileName(const QString& folder, const QString& filter) = 0;
    // An existing file to read, or empty when the user cancelled; without
    // windows there is none to choose.
    virtual QString openFileName(const QString& folder, const QString& filter) {
        Q_UNUSED(folder);
        Q_UNUSED(filter);
        return {};
    }

    void message(const QString& text, const QString& title = {}, Icon icon = Icon::None) {
        ask(text, title, icon, Buttons::Ok);
    }
};

} // namespace trq
