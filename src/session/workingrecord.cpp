#include "session/workingrecord.h"

#include "core/debugtrace.h"
#include "core/numbers.h"
#include "core/prompter.h"

namespace trq {

WorkingRecord::WorkingRecord(RecordStore& store, Prompter& prompter, QObject* parent)
    : QObject(parent), store_(store), prompter_(prompter), local_(store) {}

void WorkingRecord::setArchive(RecordArchive* archive) {
    RecordArchive* chosen = archive ? archive : &local_;
    if (std::exchange(archive_, chosen) != chosen)
        emit archiveChanged();
}

void WorkingRecord::restore() {
    header_ = store_.workingHeader().value_or(WorkingHeader{});
    emit changed();
}

void WorkingRecord::setHeader(const WorkingHeader& header) {
    if (header == header_)
        return;
    header_ = header;
    // A header that cannot be kept costs only its return after a restart;
    // the points themselves are kept or refused by their own writes.
    if (!store_.setWorkingHeader(header_))
        trace(QStringLiteral("Working table header not stored: ") + store_.lastError());
    emit changed();
}

void WorkingRecord::setDescription(const QString& text) {
    WorkingHeader h = header_;
    h.description = text;
    setHeader(h);
}

void WorkingRecord::setScale(int scale) {
    WorkingHeader h = header_;
    h.scale = scale;
    setHeader(h);
}

void WorkingRecord::setStartTime(const QString& text) {
    WorkingHeader h = header_;
    h.startTime = text;
    setHeader(h);
}

void WorkingRecord::setEndTime(const QString& text) {
    WorkingHeader h = header_;
    h.endTime = text;
    setHeader(h);
}

void WorkingRecord::recordingStarted(const QDateTime& start, const QDateTime& plannedEnd) {
    archive_->recordingStarted(start);
    WorkingHeader h = header_;
    h.startTime = RecordingEngine::timeText(start);
    h.endTime = RecordingEngine::timeText(plannedEnd);
    if (scaleSource_)
        h.scale = scaleSource_();
    setHeader(h);
}

void WorkingRecord::recordingStopped(const QDateTime& lastPoint) {
    setEndTime(RecordingEngine::timeText(lastPoint));
}

void WorkingRecord::markUnsaved() {
    WorkingHeader h = header_;
    h.unsaved = true;
    setHeader(h);
}

void WorkingRecord::clear() {
    setHeader({});
}

void WorkingRecord::forgetRecord(const QString& recNo) {
    if (header_.recNo.trimmed() != recNo.trimmed())
        return;
    WorkingHeader h = header_;
    h.recNo.clear();
    h.unsaved = true; // no saved record holds these points any more
    setHeader(h);
}

RecordHeader WorkingRecord::newRecord(const QString& number, const WorkingHeader& h,
                                      int timeLength) {
    return {number,
            h.startTime,
            h.endTime,
            h.description,
            QString::number(h.scale),
            QString::number(timeLength)};
}

bool WorkingRecord::saveRows(const RecordHeader& record, int window, QString* error) {
    if (archive_->saveNew(record, window))
        return true;
    *error = archive_->lastError();
    return false;
}

bool WorkingRecord::trapped(bool ok) {
    if (!ok)
        prompter_.message(store_.systemErrorText());
    return ok;
}

bool WorkingRecord::failed() {
    prompter_.message(archive_->lastError());
    return false;
}

bool WorkingRecord::mayDiscard() {
    if (!header_.unsaved)
        return true;
    const std::optional<int> rows = store_.workingCount();
    if (!rows)
        return trapped(false);
    if (*rows == 0)
        return true;
    return prompter_.ask(tr("The current recording is not saved. Discard it?"), {},
                         Prompter::Icon::Question,
                         Prompter::Buttons::YesNo) == Prompter::Answer::Yes;
}

bool WorkingRecord::save(const SaveWording& wording, int timeLength) {
    const std::optional<int> rows = store_.workingCount();
    if (!rows)
        return trapped(false); // an unreadable count is no "nothing recorded"
    if (*rows == 0) {
        prompter_.message(wording.nothingRecorded, {}, Prompter::Icon::Information);
        return false;
    }
    WorkingHeader h = header_;
    if (!h.recNo.isEmpty()) {
        if (prompter_.ask(wording.replace, {}, Prompter::Icon::Question,
                          Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
            return false;
        if (!archive_->replace(h.recNo, h.description, wording.window))
            return failed();
    } else {
        if (prompter_.ask(wording.saveNew, {}, Prompter::Icon::Question,
                          Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
            return false;
        const std::optional<QString> number = archive_->nextRecordNumber();
        if (!number)
            return failed();
        // The number is shown once the record exists, so a failed save
        // cannot turn the next save into a replace of nothing.
        QString error;
        if (!saveRows(newRecord(*number, h, timeLength), wording.window, &error))
            return failed();
        h.recNo = *number;
    }
    h.unsaved = false;
    setHeader(h);
    return true;
}

std::optional<QString> WorkingRecord::saveAsNew(const QString& description, int timeLength,
                                                QString* error) {
    const std::optional<int> rows = store_.workingCount();
    const std::optional<QString> number =
        rows && *rows > 0 ? archive_->nextRecordNumber() : std::nullopt;
    if (rows && *rows == 0) {
        *error = tr("nothing recorded");
        return std::nullopt;
    }
    WorkingHeader h = header_;
    h.description = description;
    if (!number) {
        *error = archive_->lastError();
        return std::nullopt;
    }
    if (!saveRows(newRecord(*number, h, timeLength), 1, error))
        return std::nullopt;
    h.recNo = *number;
    h.unsaved = false;
    setHeader(h);
    return number;
}

std::optional<RecordHeader> WorkingRecord::load(const QString& recNo) {
    std::optional<RecordHeader> record = archive_->record(recNo);
    if (!record) {
        failed(); // gone meanwhile, or the server did not answer
        return std::nullopt;
    }
    if (!archive_->loadToWorking(record->recNo)) {
        failed();
        return std::nullopt;
    }
    setHeader({record->recNo.trimmed(), record->startTime, record->endTime, record->comment, false,
               int(leadingNumber(record->recStyle))});
    return record;
}

std::vector<ExportedSupply> WorkingRecord::runSupplies() {
    if (!local_.bench())
        return {};
    std::vector<ExportedSupply> run = exportedSupplies(*local_.bench());
    if (run.size() < 2)
        run.clear();
    return run;
}

bool WorkingRecord::deleteRecord(const QString& recNo) {
    if (!archive_->deleteRecord(recNo))
        return failed();
    // A later save stores the working table anew instead of replacing a
    // record that is gone.
    forgetRecord(recNo);
    return true;
}

} // namespace trq
