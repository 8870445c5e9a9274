#pragma once

#include <QAbstractListModel>
#include <QFile>
#include <QString>
#include <QStringList>

#include <concepts>
#include <memory>

namespace trq {

// The program's running log: a bounded list for the trace window and a log
// file that keeps every line. Called several times per writer tick, so an
// append is one list append plus one buffered file write. On long runs the
// file is rotated at a size limit: the current file and one previous one.
class DebugTrace : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 20001;
    static constexpr const char* kLogFileName = "DODaLog.txt";
    static constexpr const char* kVersion = "1.1.0";
    static constexpr qint64 kDefaultMaxLogBytes = 32 * 1024 * 1024;

    // Opens (replacing) the log file at logPath and writes the version line.
    explicit DebugTrace(const QString& logPath, QObject* parent = nullptr);
    ~DebugTrace() override;

    // The application's trace, created on first use with the log file in the
    // current folder.
    static DebugTrace& instance();

    void print(const QString& msg);
    void flush();
    // Every line goes to stderr too (a run without windows).
    void setEchoToStderr(bool echo) { echo_ = echo; }

    bool isLogOpen() const { return log_.isOpen(); }
    QString logPath() const { return log_.fileName(); }
    // "DODaLog.1.txt" beside "DODaLog.txt": the file before the last rotation.
    QString previousLogPath() const;
    void setMaxLogBytes(qint64 bytes) { maxLogBytes_ = bytes; }
    const QStringList& lines() const { return lines_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    bool echo_ = false;
    void writeLine(const QString& line);
    void rotate();
    bool openLog();

    QStringList lines_;
    QFile log_;
    bool flushQueued_ = false;
    qint64 written_ = 0;
    qint64 maxLogBytes_ = kDefaultMaxLogBytes;
};

// Every trace call of the program goes through here.
void trace(const QString& msg);
inline void trace(const char* msg) {
    trace(QString::fromUtf8(msg));
}
template <typename T>
requires std::integral<T> || std::floating_point<T>
void trace(T value) {
    trace(QString::number(value));
}

} // namespace trq
