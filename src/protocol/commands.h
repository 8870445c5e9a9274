#pragma once

#include <QByteArray>
#include <QString>

namespace trq {

// The three command families, chosen once from the identified model.
enum class CommandFamily { Legacy, SingleChannelScpi, ThreeChannelScpi };

// "TRQ" first, then "DNB", else the three-channel SCPI family; case-sensitive.
CommandFamily familyOf(const QString& model);

// What can be asked of a supply or told to it. An operation has a query, a
// set command, or both, in some or all families.
enum class Operation {
    Identify,
    MeasuredVoltage,
    MeasuredCurrent,
    Voltage,
    Current,
    OverVoltage,
    OverCurrent,
    Output,
    Coupling,
    Independent,
    Parallel,
    Tracking,
    Sets,
    Status,
    Error,
    ClearProtection,
    SaveMemory,
    RecallMemory,
    AutoRun,
    AutoStart,
    AutoEnd,
    AutoCycle,
    AutoDelay,
    Memory,
};
inline constexpr int kOperationCount = int(Operation::Memory) + 1;

// The texts of one operation in every family, indexed by CommandFamily:
// "{n}" stands for the channel number, "{v}" for a value's text and "{i}"
// for a whole number. An empty text: the family has no such query/command.
struct OperationTexts {
    Operation operation;
    const char* query[3];
    const char* command[3];
};
const OperationTexts& operationTexts(Operation operation);

// The query or command of a family, channel and argument filled in.
QString queryText(CommandFamily family, Operation operation, int channel = 1);
struct CommandArgs {
    int channel = 1;
    QString value;
    int number = 0;
};
QString commandText(CommandFamily family, Operation operation, const CommandArgs& args = {});

// What ends every line written to a serial link in a family; LF before a
// family is chosen.
QByteArray lineEnd(CommandFamily family);
inline const QByteArray kIdentifyLineEnd = "\n";

} // namespace trq
