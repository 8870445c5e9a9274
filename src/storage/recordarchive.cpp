#include "storage/recordarchive.h"

#include "storage/benchstore.h"

namespace trq {

bool RecordFilter::matches(const ArchivedRecord& r) const {
    for (const QString& w : words)
        if (!r.station.contains(w, Qt::CaseInsensitive) &&
            !r.supply.contains(w, Qt::CaseInsensitive))
            return false;
    if (from.isNull() && to.isNull())
        return true;
    const QDate day =
        QDateTime::fromString(r.header.startTime, QLatin1String(kRecordTimeFormat)).date();
    return day.isValid() && (from.isNull() || day >= from) && (to.isNull() || day <= to);
}

RecordFilter RecordFilter::parse(const QString& text) {
    RecordFilter f;
    auto day = [](const QString& t) { return QDate::fromString(t, Qt::ISODate); };
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const qsizetype dots = word.indexOf(QLatin1String(".."));
        const QDate from = day(dots < 0 ? word : word.left(dots));
        const QDate to = dots < 0 ? from : day(word.mid(dots + 2));
        const bool range = dots >= 0 && (from.isValid() || word.left(dots).isEmpty()) &&
                           (to.isValid() || word.mid(dots + 2).isEmpty());
        if (range || (dots < 0 && from.isValid())) {
            f.from = from;
            f.to = to;
        } else {
            f.words << word;
        }
    }
    return f;
}

std::optional<QList<ArchivedRecord>> RecordArchive::records(const RecordFilter& filter) {
    std::optional<QList<ArchivedRecord>> all = allRecords();
    if (all)
        all->removeIf([&](const ArchivedRecord& r) { return !filter.matches(r); });
    return all;
}

std::optional<QList<ArchivedRecord>> LocalArchive::allRecords() {
    QList<ArchivedRecord> list;
    for (RecordHeader& h : store_.records()) {
        ArchivedRecord r{std::move(h), {}, {}};
        if (bench_) {
            QStringList names;
            for (const RecordedSupply& s : bench_->supplies(r.header.recNo))
                if (!s.name.isEmpty())
                    names << s.name;
            r.supply = names.join(QStringLiteral(", "));
        }
        list << std::move(r);
    }
    return list;
}

std::optional<RecordHeader> LocalArchive::record(const QString& recNo) {
    std::optional<RecordHeader> found = store_.record(recNo);
    missing_ = found ? QString() : tr("There is no record %1.").arg(recNo.trimmed());
    return found;
}

std::optional<QString> LocalArchive::nextRecordNumber() {
    return store_.nextRecordNumber();
}

bool LocalArchive::saveNew(const RecordHeader& header, int window, const SeqRange& range) {
    missing_.clear();
    // A part of a recording is this supply's rows alone.
    return bench_ && range.whole() ? bench_->saveNew(header, window)
                                   : store_.saveNew(header, window, range);
}

bool LocalArchive::replace(const QString& recNo, const QString& comment, int window) {
    missing_.clear();
    return bench_ ? bench_->replace(recNo, comment, window)
                  : store_.replace(recNo, comment, window);
}

bool LocalArchive::loadToWorking(const QString& recNo) {
    missing_.clear();
    if (!store_.record(recNo)) {
        missing_ = tr("There is no record %1.").arg(recNo);
        return false;
    }
    return bench_ ? bench_->loadToWorking(recNo) : store_.loadToWorking(recNo);
}

bool LocalArchive::deleteRecord(const QString& recNo) {
    missing_.clear();
    return bench_ ? bench_->deleteRecord(recNo) : store_.deleteRecord(recNo);
}

QString LocalArchive::lastError() const {
    if (!missing_.isEmpty())
        return missing_;
    // This supply's own tables failed: said as a lone supply's failure is.
    if (bench_ && bench_->lastError() != store_.lastError())
        return bench_->lastError();
    return store_.systemErrorText();
}

} // namespace trq
