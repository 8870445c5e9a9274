#include "storage/csvexport.h"

#include <QSaveFile>

namespace trq {

QByteArray exportCsv(int channels, const QList<SampleRow>& rows) {
    const bool two = channels == 2;
    const bool four = channels >= 4;
    QByteArray out = "No.,Time,Ch1 V,Ch1 A";
    out += two ? ",Ch2 V,Ch2 A" : ",Ch2 V,Ch2 A,Ch3 V,Ch3 A";
    if (four)
        out += ",Ch4 V,Ch4 A";
    out += "\r\n";
    for (const SampleRow& r : rows) {
        QStringList fields{
            QString::number(r.seqNo), r.recTime, r.volt[0], r.curr[0], r.volt[1], r.curr[1]};
        if (!two)
            fields << r.volt[2] << r.curr[2];
        if (four)
            fields << r.volt[3] << r.curr[3];
        out += fields.join(QLatin1Char(',')).toUtf8();
        out += "\r\n";
    }
    return out;
}

bool writeExport(const QString& path, int channels, const QList<SampleRow>& rows, QString* error) {
    // Written aside and moved into place: a failed export leaves no half file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(exportCsv(channels, rows)) < 0 ||
        !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace trq
