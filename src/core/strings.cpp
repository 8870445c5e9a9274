#include "core/strings.h"

#include <algorithm>
#include <iterator>

namespace trq {

namespace {

struct Entry {
    int id;
    const char* text;
};

// Sorted by id.
constexpr Entry kEnglish[] = {
    {101, "Querying the machine type is timeout!"},
    {103, "Reset and open it?"},
    {104, "REOPEN?"},
    {105, "Getting the machine type..."},
    {107, "Timeout!"},
    {108, "Setup"},
    {109, "Getting the machine type..."},
    {110, "Ready"},
    {111, "Ready"},
    {115, "Operation Timeout, Causes Reset Now."},
    {116, "TIMEOUT!"},
    {201, "Start Memory:"},
    {202, "End Memory:"},
    {203, "Cycle:"},
    {211, "Ports"},
    {212, "Baud Rate"},
    {213, "Data Bits: 8 bits"},
    {214, "Parity Bit: None"},
    {215, "Stop Bit: 1 bit"},
    {216, "Config RS232"},
    {221, "Delay"},
    {222, "x 100ms"},
    {223, "Delay"},
    {231, "Now querying initial values, please wait..."},
    {232, "Querying..."},
    {241, "Max time to complete one set of queries"},
    {242, "sec"},
    {243, "Read Time"},
    {251, "Memory"},
    {252, "Recall Data"},
    {261, "Memory"},
    {262, "Save Data"},
    {271, "DODa Version 1.00"},
    {272, "Remote control and recording for programmable DC power supplies."},
    {273, "https://www.example.com/power-trq"},
    {281, "CHANNEL 1"},
    {282, "CHANNEL 2"},
    {283, "CHANNEL 3"},
    {284, "CHANNEL 4"},
};

} // namespace

QString StringTable::text(int id) {
    const int key = id + languageOffset();
    const auto* it = std::lower_bound(std::begin(kEnglish), std::end(kEnglish), key,
                                      [](const Entry& e, int k) { return e.id < k; });
    if (it == std::end(kEnglish) || it->id != key)
        return {};
    return QString::fromUtf8(it->text);
}

} // namespace trq

namespace trq {

QString text(Text id) {
    return StringTable::text(int(id));
}

QString channelCaption(int channel) {
    return StringTable::text(int(Text::Channel1) + channel - 1);
}

} // namespace trq
