#include "ui/availability.h"

#include "protocol/layoutprofile.h"

namespace trq {

using C = MainWindow::Command;
using B = MainWindow::Button;

std::optional<bool> commandAvailable(C command, const LayoutProfile* p) {
    switch (command) {
    case C::Gpib:
        return !p || p->gpib;
    case C::Rs232:
        return true;
    case C::ReadTimes:
        return p ? std::optional<bool>(true) : std::nullopt;
    case C::SaveMemory:
    case C::RecallMemory:
    case C::Delay:
    case C::AutoRange:
    case C::AutoRun:
        return p && p->autoRunAndMemories;
    case C::CouplingMenu:
    case C::Independent:
    case C::Parallel:
    case C::Tracking:
        return p && p->couplingMenu;
    case C::Output:
    case C::Control:
    case C::TableData:
        return p != nullptr;
    case C::ClearProtection:
        return p && p->clearProtection;
    case C::Wave:
        return p && p->graph;
    // Limits can be set for the supply on line before its output goes on;
    // recording follows the output.
    case C::RecordMenu:
        return true;
    case C::Limits:
        return p != nullptr;
    case C::RecordStart:
    case C::RecordStop:
    case C::RecordSetup:
    case C::RecordSave:
    case C::RecordLoad:
        return p ? std::nullopt : std::optional<bool>(false);
    default:
        return std::nullopt;
    }
}

bool buttonAvailable(B button, const LayoutProfile* p) {
    switch (button) {
    case B::Gpib:
        return commandAvailable(C::Gpib, p).value_or(true);
    case B::Com:
    case B::OnOffLine:
    case B::About:
    case B::BenchOn: // the bench's supplies are each other's own
    case B::BenchOff:
        return true;
    case B::ReadTimes: // the toolbar offers it with the automatic run only
    case B::SaveMemory:
    case B::RecallMemory:
    case B::Delay:
    case B::AutoRun:
        return p && p->autoRunAndMemories;
    case B::Output:
        return p != nullptr;
    case B::ClearError:
        return p && p->clearProtection;
    }
    return false;
}

bool recordCommandAvailable(C command, bool outputOn, bool recording) {
    // A second start would only offer to throw the running recording away;
    // a running one can always be stopped (a bench's goes on without this
    // supply's output).
    if (command == C::RecordStop && recording)
        return true;
    return outputOn && !(command == C::RecordStart && recording);
}

} // namespace trq
