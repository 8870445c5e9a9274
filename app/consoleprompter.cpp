#include "consoleprompter.h"

#include <cstdio>

namespace trq {

Prompter::Answer ConsolePrompter::ask(const QString& text, const QString& title, Icon,
                                      Buttons buttons) {
    texts_ << text;
    const QString head = title.isEmpty() ? QStringLiteral("powertrq") : title;
    const bool question = buttons != Buttons::Ok;
    std::fprintf(stderr, "%s: %s%s\n", qPrintable(head), qPrintable(text),
                 question ? " (answered No)" : "");
    std::fflush(stderr);
    switch (buttons) {
    case Buttons::Ok:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::No;
    case Buttons::OkCancel:
        return Answer::Cancel;
    }
    return Answer::Cancel;
}

} // namespace trq
