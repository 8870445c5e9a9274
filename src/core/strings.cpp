#include "core/strings.h"

#include <algorithm>
#include <array>
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
    {271, "POWER_TRQ"},
    {272, "Remote control and recording for programmable DC power supplies."},
    {281, "CHANNEL 1"},
    {282, "CHANNEL 2"},
    {283, "CHANNEL 3"},
    {284, "CHANNEL 4"},
};

// The German texts under the same numbers, raised by German's offset.
constexpr Entry kGerman[] = {
    {1101, "Zeitüberschreitung beim Abfragen des Gerätetyps!"},
    {1103, "Zurücksetzen und neu öffnen?"},
    {1104, "Neu öffnen?"},
    {1105, "Gerätetyp wird abgefragt..."},
    {1107, "Zeitüberschreitung!"},
    {1108, "Einrichten"},
    {1109, "Gerätetyp wird abgefragt..."},
    {1110, "Bereit"},
    {1111, "Bereit"},
    {1115, "Zeitüberschreitung, es wird jetzt zurückgesetzt."},
    {1116, "ZEITÜBERSCHREITUNG!"},
    {1201, "Erster Speicher:"},
    {1202, "Letzter Speicher:"},
    {1203, "Zyklen:"},
    {1211, "Anschluss"},
    {1212, "Baudrate"},
    {1213, "Datenbits: 8 Bit"},
    {1214, "Parität: keine"},
    {1215, "Stoppbit: 1 Bit"},
    {1216, "RS232 einrichten"},
    {1221, "Verzögerung"},
    {1222, "x 100 ms"},
    {1223, "Verzögerung"},
    {1231, "Die Anfangswerte werden abgefragt, bitte warten..."},
    {1232, "Abfrage..."},
    {1241, "Höchstdauer eines Abfragezyklus"},
    {1242, "s"},
    {1243, "Lesezeit"},
    {1251, "Speicher"},
    {1252, "Daten abrufen"},
    {1261, "Speicher"},
    {1262, "Daten speichern"},
    {1271, "POWER_TRQ"},
    {1272, "Fernsteuerung und Aufzeichnung für programmierbare DC-Netzgeräte."},
    {1281, "KANAL 1"},
    {1282, "KANAL 2"},
    {1283, "KANAL 3"},
    {1284, "KANAL 4"},
};

// One table for all languages, sorted by number.
constexpr auto kTable = [] {
    std::array<Entry, std::size(kEnglish) + std::size(kGerman)> all{};
    std::size_t n = 0;
    for (const Entry& e : kEnglish)
        all[n++] = e;
    for (const Entry& e : kGerman)
        all[n++] = e;
    return all;
}();
static_assert(std::is_sorted(kTable.begin(), kTable.end(),
                             [](const Entry& a, const Entry& b) { return a.id < b.id; }));

int offset = 0;

} // namespace

int StringTable::languageOffset() {
    return offset;
}

void StringTable::setLanguageOffset(int languageOffset) {
    offset = languageOffset;
}

QList<std::pair<int, QString>> StringTable::entries() {
    QList<std::pair<int, QString>> all;
    for (const Entry& e : kTable)
        all.append({e.id, QString::fromUtf8(e.text)});
    return all;
}

QString StringTable::text(int id) {
    const int key = id + languageOffset();
    const auto* it = std::lower_bound(kTable.begin(), kTable.end(), key,
                                      [](const Entry& e, int k) { return e.id < k; });
    if (it == kTable.end() || it->id != key)
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
