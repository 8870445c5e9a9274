#include "storage/csvexport.h"

#include <QSaveFile>

namespace trq {

namespace {

// The channels a recording of that many exports.
int exportedChannels(int channels) {
    return channels == 2 ? 2 : channels >= 4 ? 4 : 3;
}

} // namespace

QByteArray csvHeader(int channels) {
    const int n = exportedChannels(channels);
    QByteArray out = "No.,Time";
    for (int c = 1; c <= n; ++c)
        out += QByteArray(",Ch") + QByteArray::number(c) + " V,Ch" + QByteArray::number(c) + " A";
    for (int c = 1; c <= n; ++c)
        out += QByteArray(",Ch") + QByteArray::number(c) + " Ah,Ch" + QByteArray::number(c) + " Wh";
    out += ",Gap\r\n";
    return out;
}

QByteArray csvLine(int channels, const SampleRow& r) {
    const auto n = std::size_t(exportedChannels(channels));
    QStringList fields{QString::number(r.seqNo), r.recTime};
    for (std::size_t c = 0; c < n; ++c)
        fields << r.volt[c] << r.curr[c];
    for (std::size_t c = 0; c < n; ++c)
        fields << r.charge[c] << r.energy[c];
    fields << (r.gap ? QStringLiteral("1") : QStringLiteral("0"));
    return fields.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QByteArray exportCsv(int channels, const QList<SampleRow>& rows) {
    QByteArray out = csvHeader(channels);
    for (const SampleRow& r : rows)
        out += csvLine(channels, r);
    return out;
}

bool writeAside(const QString& path, const std::function<std::optional<QString>(QIODevice&)>& fill,
                QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (const std::optional<QString> unread = fill(file); unread && !file.error()) {
        file.cancelWriting();
        if (error)
            *error = *unread;
        return false;
    }
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool writeExport(const QString& path, int channels, RecordStore& store, RowOrder order,
                 QString* error, const QList<SampleRow>& tail) {
    return writeAside(
        path,
        [&](QIODevice& file) -> std::optional<QString> {
            bool written = file.write(csvHeader(channels)) >= 0;
            const bool read = written && store.forEachWorkingRow(order, [&](const SampleRow& r) {
                written = written && file.write(csvLine(channels, r)) >= 0;
            });
            for (const SampleRow& r : tail)
                written = written && file.write(csvLine(channels, r)) >= 0;
            if (written && !read)
                return store.lastError();
            return std::nullopt;
        },
        error);
}

} // namespace trq
