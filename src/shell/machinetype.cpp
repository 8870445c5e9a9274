#include "shell/machinetype.h"

namespace trq {

QString ParseMachineType(const QString& answer) {
    int commas = 0;
    int blanks = 0;
    QString result;
    for (const QChar ch : answer) {
        if (ch == QLatin1Char(','))
            ++commas;
        else if (ch == QLatin1Char(' '))
            ++blanks;
        else if (commas == 1 || blanks == 2)
            result += ch;
        if (commas == 2 || blanks == 3)
            return result;
    }
    return {};
}

} // namespace trq
