#pragma once

#include <QString>

namespace trq {

// The model text of an identification answer: the second of comma-separated
// fields, or the third of blank-separated words; empty when the answer ends
// before either is complete. Nothing is trimmed.
QString ParseMachineType(const QString& answer);

} // namespace trq
