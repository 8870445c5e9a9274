#pragma once

#include "ui/mainwindow.h"

#include <optional>

namespace trq {

struct LayoutProfile;

// Whether a menu command can be used with a supply of this profile on line
// (none: off line); nothing where it stays as it is.
std::optional<bool> commandAvailable(MainWindow::Command command, const LayoutProfile* profile);
// Whether a toolbar button can be used, likewise.
bool buttonAvailable(MainWindow::Button button, const LayoutProfile* profile);
// Whether a command of the Record menu can be used with a supply on line:
// recording follows the output, and a running recording cannot be started.
bool recordCommandAvailable(MainWindow::Command command, bool outputOn, bool recording);

} // namespace trq
