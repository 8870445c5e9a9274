#include "core/debugtrace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>

namespace trq {

DebugTrace::DebugTrace(const QString& logPath, QObject* parent) : QAbstractListModel(parent) {
    log_.setFileName(logPath);
    // Tracing still fills the list when the file cannot be opened.
    openLog();
    lines_.reserve(kMaxLines);
}

bool DebugTrace::openLog() {
    written_ = 0;
    if (!log_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;
    writeLine(QStringLiteral("Version: ") + QLatin1String(kVersion));
    log_.flush();
    return true;
}

QString DebugTrace::previousLogPath() const {
    const QFileInfo info(log_.fileName());
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".1.") + info.suffix());
}

void DebugTrace::rotate() {
    log_.close();
    const QString previous = previousLogPath();
    QFile::remove(previous);
    QFile::rename(log_.fileName(), previous);
    if (openLog())
        writeLine(QStringLiteral("(continued from %1)").arg(QFileInfo(previous).fileName()));
}

DebugTrace::~DebugTrace() {
    flush();
}

DebugTrace& DebugTrace::instance() {
    static DebugTrace trace{QString::fromLatin1(kLogFileName)};
    return trace;
}

void DebugTrace::print(const QString& msg) {
    const int row = int(lines_.size());
    beginInsertRows({}, row, row);
    lines_.append(msg);
    endInsertRows();
    writeLine(msg);
    if (echo_)
        std::fprintf(stderr, "%s\n", msg.toLocal8Bit().constData());
    if (lines_.size() >= kMaxLines) {
        beginResetModel();
        lines_.clear();
        endResetModel();
    }
}

void DebugTrace::writeLine(const QString& line) {
    if (!log_.isOpen())
        return;
    QByteArray bytes = line.toUtf8();
    bytes.append('\n');
    if (written_ > 0 && written_ + bytes.size() > maxLogBytes_)
        rotate();
    written_ += bytes.size();
    log_.write(bytes);
    // One flush per event-loop turn keeps the file current without a system
    // call for every line; QFile also flushes whenever its buffer fills.
    if (!flushQueued_ && QCoreApplication::instance()) {
        flushQueued_ = true;
        QTimer::singleShot(0, this, [this] { flush(); });
    }
}

void DebugTrace::flush() {
    flushQueued_ = false;
    if (log_.isOpen())
        log_.flush();
}

int DebugTrace::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(lines_.size());
}

QVariant DebugTrace::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= lines_.size())
        return {};
    return lines_.at(index.row());
}

void trace(const QString& msg) {
    DebugTrace::instance().print(msg);
}

} // namespace trq
