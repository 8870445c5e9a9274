#include "session/sequencestatus.h"

#include "core/prompter.h"
#include "session/sessionsequence.h"

namespace trq {

QString SequenceStatus::duration(qint64 ms) {
    const qint64 s = std::max<qint64>(0, (ms + 500) / 1000);
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600)
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

QString SequenceStatus::state(SequenceRunner::State state) {
    switch (state) {
    case SequenceRunner::State::Idle:
        return tr("Not running");
    case SequenceRunner::State::Running:
        return tr("Running");
    case SequenceRunner::State::Paused:
        return tr("Paused");
    case SequenceRunner::State::Done:
        return tr("Completed");
    case SequenceRunner::State::Stopped:
        return tr("Stopped");
    }
    return {};
}

QString SequenceStatus::progress(const SequenceRunner& runner) {
    if (runner.state() == SequenceRunner::State::Idle)
        return {};
    const SequenceRunner::Progress p = runner.progress();
    QStringList parts{tr("Step %1 of %2").arg(p.stepsRun).arg(p.stepsTotal)};
    for (const SequenceCursor::BlockPass& b : p.passes)
        parts << QStringLiteral("%1 %2/%3").arg(b.path).arg(b.pass).arg(b.passes);
    parts << tr("%1 elapsed").arg(duration(p.elapsedMs));
    if (p.leftMs)
        parts << tr("%1 left").arg(duration(*p.leftMs));
    return parts.join(QStringLiteral(", "));
}

QString SequenceStatus::statusLine(const SequenceRunner& runner) {
    const SequenceRunner::Progress p = runner.progress();
    switch (runner.state()) {
    case SequenceRunner::State::Running:
        return tr("Sequence running: step %1 of %2").arg(p.stepsRun).arg(p.stepsTotal);
    case SequenceRunner::State::Paused:
        return tr("Sequence paused: step %1 of %2").arg(p.stepsRun).arg(p.stepsTotal);
    default:
        return {};
    }
}

bool SequenceStatus::userMayChange(SessionSequence* sequence, Prompter& prompter) {
    if (!sequence || !sequence->running())
        return true;
    SequenceRunner& runner = sequence->runner();
    const bool paused = runner.state() == SequenceRunner::State::Running;
    if (paused)
        runner.pause();
    const Prompter::Answer answer =
        prompter.ask(tr("A sequence is in control of the supply. Stop the sequence?"), {},
                     Prompter::Icon::Question, Prompter::Buttons::YesNo);
    // While asked, the run may have ended on its own (a lost link).
    if (answer == Prompter::Answer::Yes)
        runner.stop(tr("It was stopped for a change on the panel."));
    else if (paused && runner.state() == SequenceRunner::State::Paused)
        runner.resume();
    return false;
}

} // namespace trq
