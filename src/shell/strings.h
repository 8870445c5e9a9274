#pragma once

#include <QString>

namespace trq {

// User-visible texts by number. The number is raised by the language offset
// before the lookup; English is offset 0 and the only table shipped.
class StringTable {
public:
    static int languageOffset() { return 0; }
    // The text of id + languageOffset(); empty when there is none.
    static QString text(int id);
};

inline QString LoadResString(int id) {
    return StringTable::text(id);
}

} // namespace trq
