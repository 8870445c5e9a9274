#pragma once

#include "core/prompter.h"

#include <QStringList>

namespace trq {

// The prompter of a run without windows: messages go to stderr, questions
// are answered No (nothing is thrown away or replaced unasked).
class ConsolePrompter final : public Prompter {
public:
    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
    QString saveFileName(const QString&, const QString&) override { return {}; }
    // Every text shown, in order.
    const QStringList& texts() const { return texts_; }

private:
    QStringList texts_;
};

} // namespace trq
