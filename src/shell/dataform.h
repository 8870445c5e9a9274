#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <optional>

namespace trq {

class Prompter;

// One row of the machine-type table "data1".
struct MachineTypeRecord {
    QString model;
    bool listed = false;
    int layout = 0;
    bool perChannel = false; // limits in the rows model#1, model#2, ...
    double maxVolt = 0, maxCurr = 0, maxOvp = 0;
    double stepVolt = 0, stepCurr = 0, stepOvp = 0;
    QString fmtVolt, fmtCurr, fmtOvp;
};

// The one open connection to "mtype.mdb": the machine-type table and the
// record tables. Opening repairs a damaged file once (dated backup, compacted
// copy, copied back) before it gives up.
class DataForm {
public:
    static constexpr const char* kFileName = "mtype.mdb";
    static constexpr const char* kConnection = "mtype";
    static const char* const kSchema;

    enum class OpenResult { Ok, Missing, Failed };

    DataForm() = default;
    ~DataForm();
    DataForm(const DataForm&) = delete;
    DataForm& operator=(const DataForm&) = delete;

    // Beside the program when that folder holds the file or can take it;
    // otherwise a per-user data folder.
    static QString defaultFolder();
    // Creates a database file with the shipped schema and machine types.
    static bool create(const QString& path, QString* error = nullptr);

    // Opens folder/mtype.mdb. A missing file is reported, not created.
    OpenResult open(const QString& folder);
    // The message for a failed open, as shown before the program ends.
    QString errorMessage() const { return error_; }
    QString folder() const { return folder_; }
    QSqlDatabase database() const;

    QList<MachineTypeRecord> machineTypes() const;
    std::optional<MachineTypeRecord> find(const QString& model) const;

private:
    bool tryOpen();
    bool repair();
    void closeConnection();

    QString folder_;
    QString error_;
};

} // namespace trq
