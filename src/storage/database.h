#pragma once

#include <QCoreApplication>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QVariantList>

#include <optional>

namespace trq {

// The one open connection to "mtype.mdb": the machine-type table and the
// record tables. A damaged file is repaired once: the file with its -wal and
// -shm is copied to a dated backup that never overwrites an earlier one, a
// compacted copy is checked, and only a copy that passes replaces the file.
// A file that merely cannot be opened (permissions, a lock) is left alone.
class Database {
    Q_DECLARE_TR_FUNCTIONS(Database)

public:
    static constexpr const char* kFileName = "mtype.mdb";
    static constexpr const char* kConnection = "mtype";
    // Copies of damaged files kept in one day at most: a folder that damages
    // every file it gets is not filled up with them.
    static constexpr int kBackupsPerDay = 3;
    static const char* const kSchema;

    // Unwritable: the file opens but cannot be written; the caller may open
    // it read-only instead. CannotOpen: left untouched. Failed: damaged and
    // not repaired.
    enum class OpenResult { Ok, Missing, Unwritable, CannotOpen, Failed };
    enum class Access { ReadWrite, ReadOnly };

    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Beside the program when that folder holds the file or can take it;
    // otherwise a per-user data folder.
    static QString defaultFolder();
    // Creates a database file with the shipped schema and machine types.
    static bool create(const QString& path, QString* error = nullptr);

    // Opens folder/mtype.mdb. A missing file is reported, not created.
    OpenResult open(const QString& folder, Access access = Access::ReadWrite);
    // The message for a failed open, as shown before the program ends.
    QString errorMessage() const { return error_; }
    // What opening did that the user should know (a repair), or empty.
    QString notice() const { return notice_; }
    bool isReadOnly() const { return access_ == Access::ReadOnly; }
    QString folder() const { return folder_; }
    QSqlDatabase database() const;

    // The tables of a bench's further supply (2 and on), made like the
    // first supply's where missing; false with the reason in errorMessage().
    bool addSupplyTables(int supply);

    // The machine-type table's rows, columns in their order; the first row
    // of a model.
    QList<QVariantList> machineTypeRows() const;
    std::optional<QVariantList> machineTypeRow(const QString& model) const;

private:
    enum class Problem { None, CannotOpen, Damaged };
    Problem tryOpen();
    static Problem check(const QString& path, QString* error);
    bool writable();
    void upgrade();
    bool repair(QString* backupName);
    void addMissingColumns();
    // Repairs a damaged file and opens it; false with the error otherwise.
    bool openRepaired(const QString& nativeFile);
    bool backUp(const QString& source, const QString& backupPath);
    bool compactInto(const QString& source, const QString& copy);
    bool verify(const QString& path);
    void closeConnection();
    QString file() const;

    QString folder_;
    QString error_;
    QString notice_;
    Access access_ = Access::ReadWrite;
};

} // namespace trq
