#include "storage/datafolder.h"

#include "core/prompter.h"
#include "storage/database.h"

#include <QDir>
#include <QFileInfo>

namespace trq {

DataFolder::Outcome DataFolder::open(Database& data, Prompter& prompter, bool createIfMissing) {
    const QString file = QDir(folder_).filePath(QString::fromLatin1(Database::kFileName));
    if (createIfMissing && !QFileInfo::exists(file)) {
        QDir().mkpath(folder_);
        Database::create(file);
    }
    Database::Access access = Database::Access::ReadWrite;
    lock_ = std::make_unique<QLockFile>(QDir(folder_).filePath(QLatin1String(kLockName)));
    lock_->setStaleLockTime(0); // held for the whole run, however long
    if (!lock_->tryLock(0)) {
        qint64 pid = 0;
        QString host;
        QString app;
        const QString holder = lock_->getLockInfo(&pid, &host, &app)
                                   ? tr("%1 (process %2 on %3)").arg(app).arg(pid).arg(host)
                                   : tr("another program");
        const QString text = lock_->error() == QLockFile::LockFailedError
                                 ? tr("The data folder %1 is in use by %2.")
                                       .arg(QDir::toNativeSeparators(folder_), holder)
                                 : tr("The data folder %1 cannot be locked for this program.")
                                       .arg(QDir::toNativeSeparators(folder_));
        if (prompter.ask(text + tr("\n\nStart read-only? (No quits.) Read-only, "
                                   "nothing can be recorded or saved."),
                         {}, Prompter::Icon::Question,
                         Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
            return Outcome::Quit;
        lock_.reset();
        access = Database::Access::ReadOnly;
    }
    Database::OpenResult result = data.open(folder_, access);
    if (result == Database::OpenResult::Unwritable) {
        if (prompter.ask(
                data.errorMessage() + tr("\n\nGo on read-only? (No quits.) Read-only, nothing "
                                         "can be recorded or saved."),
                {}, Prompter::Icon::Question, Prompter::Buttons::YesNo) != Prompter::Answer::Yes)
            return Outcome::Quit;
        access = Database::Access::ReadOnly;
        result = data.open(folder_, access);
    }
    if (result != Database::OpenResult::Ok) {
        prompter.message(data.errorMessage(), {}, Prompter::Icon::Critical);
        return Outcome::Quit;
    }
    if (!data.notice().isEmpty())
        prompter.message(data.notice(), {}, Prompter::Icon::Information);
    return access == Database::Access::ReadOnly ? Outcome::ReadOnly : Outcome::ReadWrite;
}

} // namespace trq
