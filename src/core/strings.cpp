#include "core/strings.h"

#include <QCoreApplication>

#include <algorithm>
#include <iterator>

namespace trq {

namespace {

struct Entry {
    int id;
    const char* text;
};

// The numbered texts in English, sorted by number; other languages come
// from the translation, as every other text does.
constexpr Entry kTexts[] = {
    {101, QT_TRANSLATE_NOOP("trq::Text", "Querying the machine type is timeout!")},
    {103, QT_TRANSLATE_NOOP("trq::Text", "Reset and open it?")},
    {104, QT_TRANSLATE_NOOP("trq::Text", "REOPEN?")},
    {105, QT_TRANSLATE_NOOP("trq::Text", "Getting the machine type...")},
    {107, QT_TRANSLATE_NOOP("trq::Text", "Timeout!")},
    {108, QT_TRANSLATE_NOOP("trq::Text", "Setup")},
    {109, QT_TRANSLATE_NOOP("trq::Text", "Getting the machine type...")},
    {110, QT_TRANSLATE_NOOP("trq::Text", "Ready")},
    {111, QT_TRANSLATE_NOOP("trq::Text", "Ready")},
    {115, QT_TRANSLATE_NOOP("trq::Text", "Operation Timeout, Causes Reset Now.")},
    {116, QT_TRANSLATE_NOOP("trq::Text", "TIMEOUT!")},
    {201, QT_TRANSLATE_NOOP("trq::Text", "Start Memory:")},
    {202, QT_TRANSLATE_NOOP("trq::Text", "End Memory:")},
    {203, QT_TRANSLATE_NOOP("trq::Text", "Cycle:")},
    {211, QT_TRANSLATE_NOOP("trq::Text", "Ports")},
    {212, QT_TRANSLATE_NOOP("trq::Text", "Baud Rate")},
    {213, QT_TRANSLATE_NOOP("trq::Text", "Data Bits: 8 bits")},
    {214, QT_TRANSLATE_NOOP("trq::Text", "Parity Bit: None")},
    {215, QT_TRANSLATE_NOOP("trq::Text", "Stop Bit: 1 bit")},
    {216, QT_TRANSLATE_NOOP("trq::Text", "Config RS232")},
    {221, QT_TRANSLATE_NOOP("trq::Text", "Delay")},
    {222, QT_TRANSLATE_NOOP("trq::Text", "x 100ms")},
    {223, QT_TRANSLATE_NOOP("trq::Text", "Delay")},
    {231, QT_TRANSLATE_NOOP("trq::Text", "Now querying initial values, please wait...")},
    {232, QT_TRANSLATE_NOOP("trq::Text", "Querying...")},
    {241, QT_TRANSLATE_NOOP("trq::Text", "Max time to complete one set of queries")},
    {242, QT_TRANSLATE_NOOP("trq::Text", "sec")},
    {243, QT_TRANSLATE_NOOP("trq::Text", "Read Time")},
    {251, QT_TRANSLATE_NOOP("trq::Text", "Memory")},
    {252, QT_TRANSLATE_NOOP("trq::Text", "Recall Data")},
    {261, QT_TRANSLATE_NOOP("trq::Text", "Memory")},
    {262, QT_TRANSLATE_NOOP("trq::Text", "Save Data")},
    {271, QT_TRANSLATE_NOOP("trq::Text", "POWER_TRQ")},
    {272, QT_TRANSLATE_NOOP("trq::Text",
                            "Remote control and recording for programmable DC power supplies.")},
    {281, QT_TRANSLATE_NOOP("trq::Text", "CHANNEL 1")},
    {282, QT_TRANSLATE_NOOP("trq::Text", "CHANNEL 2")},
    {283, QT_TRANSLATE_NOOP("trq::Text", "CHANNEL 3")},
    {284, QT_TRANSLATE_NOOP("trq::Text", "CHANNEL 4")},
};
static_assert(std::is_sorted(std::begin(kTexts), std::end(kTexts),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

QString numbered(int id) {
    const auto* it = std::lower_bound(std::begin(kTexts), std::end(kTexts), id,
                                      [](const Entry& e, int k) { return e.id < k; });
    if (it == std::end(kTexts) || it->id != id)
        return {};
    return QCoreApplication::translate("trq::Text", it->text);
}

} // namespace

QString text(Text id) {
    return numbered(int(id));
}

QString channelCaption(int channel) {
    return numbered(int(Text::Channel1) + channel - 1);
}

} // namespace trq
