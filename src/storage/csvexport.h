#pragma once

#include "storage/recordstore.h"

#include <QByteArray>
#include <QList>

namespace trq {

// The working table as comma-separated text: a header line, one line per
// row, CR LF line ends, values as stored, no quotes. Two-channel recordings
// have exactly six columns; the others carry channels 2 and 3, and
// four-channel ones channel 4 as well.
QByteArray exportCsv(int channels, const QList<SampleRow>& rows);

// Writes exportCsv to path; false with the reason when the file cannot be written.
bool writeExport(const QString& path, int channels, const QList<SampleRow>& rows,
                 QString* error = nullptr);

} // namespace trq
