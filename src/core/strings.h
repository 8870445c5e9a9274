#pragma once

#include <QList>
#include <QString>

#include <utility>

namespace trq {

// User-visible texts of labels, captions and messages, by name. Their
// numbers are the string table's: the number, raised by the language offset,
// finds the text.
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

// The numbered table itself: the text of id + languageOffset(), empty when
// there is none.
class StringTable {
public:
    static int languageOffset();
    static void setLanguageOffset(int offset);
    static QString text(int id);
    // Every number the table holds, in order, with its text.
    static QList<std::pair<int, QString>> entries();
};

} // namespace trq
