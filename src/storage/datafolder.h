#pragma once

#include <QCoreApplication>
#include <QLockFile>
#include <QString>

#include <memory>

namespace trq {

class Database;
class Prompter;

// Opens the data folder's database for this copy of the program. One copy
// at a time owns a folder (a lock file in it); a second copy, or a database
// that cannot be written, is offered read-only use instead of failing later.
class DataFolder {
    Q_DECLARE_TR_FUNCTIONS(DataFolder)

public:
    static constexpr const char* kLockName = "POWER_TRQ.lock";
    enum class Outcome { ReadWrite, ReadOnly, Quit };

    explicit DataFolder(QString folder) : folder_(std::move(folder)) {}

    // Creates the folder's database where a per-user folder has none yet
    // (createIfMissing), takes the lock and opens; asks through the prompter
    // where it must. Quit: the reason has been shown.
    Outcome open(Database& data, Prompter& prompter, bool createIfMissing);

private:
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
};

} // namespace trq
