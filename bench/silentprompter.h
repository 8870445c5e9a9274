#pragma once

#include "core/prompter.h"

namespace trq {

// Answers every box at once; benchmarks never show one.
class SilentPrompter final : public Prompter {
public:
    Answer ask(const QString&, const QString&, Icon, Buttons) override { return Answer::Ok; }
    QString saveFileName(const QString&, const QString&) override { return {}; }
};

} // namespace trq
