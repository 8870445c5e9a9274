#pragma once

#include <QString>

#include <functional>

namespace trq {

// How far a modal wait has come: done, or a value out of a maximum (0: no
// measure, an endless bar) with a line of detail.
struct WaitProgress {
    bool done = false;
    int value = 0;
    int maximum = 0;
    QString detail;
};

// A modal wait on the link: the user sees a title, a line of text and the
// progress, and may cancel. Every check (each interval) drives the link and
// tells how far it is.
struct Wait {
    QString title;
    QString label;
    int intervalMsec = 100;
    std::function<WaitProgress()> check;
};

// Every modal question, message and wait of the program goes through here,
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
    // Runs the wait until its check says done; true when the user cancelled.
    virtual bool wait(const Wait& wait) = 0;

    void message(const QString& text, const QString& title = {}, Icon icon = Icon::None) {
        ask(text, title, icon, Buttons::Ok);
    }
};

} // namespace trq
