#include "support/testsupport.h"

#include "shell/debugtrace.h"

#include <QDir>

namespace trq::test {

IsolatedEnvironment::IsolatedEnvironment() {
    const QString base = dir_.path();
    for (const char* sub : {"home", "config", "runtime", "work"})
        QDir(base).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(base + QStringLiteral("/runtime"),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", (base + QStringLiteral("/home")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (base + QStringLiteral("/config")).toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (base + QStringLiteral("/runtime")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QDir::setCurrent(base + QStringLiteral("/work"));
}

void FastWaiter::wait(int msec) {
    waits << msec;
    if (clock_)
        clock_->advanceMsec(msec);
    QCoreApplication::processEvents();
}

void FastWaiter::letEventsRun() {
    QCoreApplication::processEvents();
}

Prompter::Answer ScriptedPrompter::ask(const QString& text, const QString&, Icon, Buttons buttons) {
    texts << text;
    if (onAsk)
        onAsk();
    if (!answers.empty()) {
        const Answer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == Buttons::YesNo ? Answer::Yes : Answer::Ok;
}

QString ScriptedPrompter::saveFileName(const QString& folder, const QString& filter) {
    fileRequests << folder << filter;
    return fileName;
}

TraceCapture::TraceCapture() {
    auto& trace = DebugTrace::instance();
    connect(&trace, &QAbstractItemModel::rowsInserted, this,
            [this, &trace](const QModelIndex&, int first, int last) {
                for (int row = first; row <= last; ++row)
                    lines << trace.lines().at(row);
            });
}

QStringList TraceCapture::since(const QString& from) const {
    const qsizetype at = lines.indexOf(from);
    return at < 0 ? QStringList() : lines.mid(at);
}

} // namespace trq::test
