#pragma once

#include "storage/recordstore.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>

#include <functional>
#include <optional>

namespace trq {

// The working table as comma-separated text: a header line, one line per
// row, CR LF line ends, values as stored, no quotes. Two-channel recordings
// have six value columns; the others carry channels 2 and 3, and
// four-channel ones channel 4 as well. Charge and energy of the same
// channels, then the gap flag, follow after them, so readers of the first
// columns read as before.
QByteArray csvHeader(int channels);
QByteArray csvLine(int channels, const SampleRow& row);
QByteArray exportCsv(int channels, const QList<SampleRow>& rows);

// Writes a file aside and moves it into place, so a failed export leaves no
// half file: fill writes the content and returns why what it wrote could not
// be read, if it could not; false with the reason otherwise too.
bool writeAside(const QString& path, const std::function<std::optional<QString>(QIODevice&)>& fill,
                QString* error = nullptr);

// Writes the working table to path a row at a time (weeks of points never
// sit in memory), in the order the rows were stored or by sample number;
// false with the reason when the file cannot be written or the table read.
// Rows the table could not take (a busy file) follow it as the tail.
bool writeExport(const QString& path, int channels, RecordStore& store, RowOrder order,
                 QString* error = nullptr, const QList<SampleRow>& tail = {});

} // namespace trq
