#pragma once

#include <QString>

namespace trq {

// User-visible texts of labels, captions and messages, by name; the numbers
// are the string table's, kept as data. Each text is translated as every
// other text is.
enum class Text : int {
    DetectionTimedOut = 101,
    ResetAndOpen = 103,
    ReopenTitle = 104,
    GettingMachineType = 105,
    Timeout = 107,
    StateOffLine = 108,
    StateDetecting = 109,
    StateOpen = 110,
    StateReady = 111,
    OperationTimedOut = 115,
    TimeoutTitle = 116,
    StartMemory = 201,
    EndMemory = 202,
    Cycle = 203,
    Ports = 211,
    BaudRate = 212,
    DataBits = 213,
    ParityBit = 214,
    StopBit = 215,
    SerialTitle = 216,
    Delay = 221,
    DelayUnit = 222,
    DelayTitle = 223,
    QueryingInitialValues = 231,
    QueryingTitle = 232,
    ReadTimeLabel = 241,
    ReadTimeUnit = 242,
    ReadTimeTitle = 243,
    RecallMemoryLabel = 251,
    RecallMemoryTitle = 252,
    SaveMemoryLabel = 261,
    SaveMemoryTitle = 262,
    AboutTitle = 271,
    AboutNotice = 272,
    Channel1 = 281,
};

// The text of a name; channel n's caption (1-based).
QString text(Text id);
QString channelCaption(int channel);

} // namespace trq
