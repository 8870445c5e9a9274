#include "protocol/machinetype.h"

namespace trq {

MachineTypeRecord MachineTypeRecord::fromRow(const QVariantList& row) {
    auto at = [&](int i) { return row.value(i); };
    MachineTypeRecord r;
    r.model = at(0).toString();
    r.listed = at(1).toBool();
    r.layout = at(2).toInt();
    r.perChannel = at(3).toBool();
    r.maxVolt = at(4).toDouble();
    r.maxCurr = at(5).toDouble();
    r.maxOvp = at(6).toDouble();
    r.stepVolt = at(7).toDouble();
    r.stepCurr = at(8).toDouble();
    r.stepOvp = at(9).toDouble();
    r.fmtVolt = at(10).toString();
    r.fmtCurr = at(11).toString();
    r.fmtOvp = at(12).toString();
    return r;
}

QString MachineTypeRecord::channelRowName(const QString& model, int channel) {
    return model + QLatin1Char('#') + QString::number(channel);
}

QString parseModel(const QString& answer) {
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

QString parseSerialNumber(const QString& answer) {
    const QStringList fields = answer.split(QLatin1Char(','));
    return fields.size() >= 4 ? fields.at(2).trimmed() : QString();
}

bool isOfferedModel(const MachineTypeRecord& record) {
    return record.listed && record.model.size() >= 3 &&
           record.model.at(2).toUpper() == QLatin1Char('Q');
}

} // namespace trq
