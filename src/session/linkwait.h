#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace trq {

// How far a wait on the link has come: a value out of a maximum (0: no
// measure, an endless bar) with a line of detail.
struct WaitProgress {
    int value = 0;
    int maximum = 0;
    QString detail;
};

// A wait on the link that a user may watch and cancel: the initial query,
// or the quiet before a recall. It checks on a timer of its own while the
// link's clocks run on beneath it; nothing waits in a nested loop, so a
// window showing it is only a view.
class LinkWait : public QObject {
    Q_OBJECT
public:
    // Often enough for a progress bar; the link's own ticks do the work.
    static constexpr int kCheckMsec = 100;
    // Empty when the wait is over, otherwise how far it has come.
    using Check = std::function<std::optional<WaitProgress>()>;
    using Then = std::function<void(bool cancelled)>;

    explicit LinkWait(QObject* parent = nullptr);

    // A wait already running is abandoned first.
    void start(const QString& title, const QString& label, Check check, Then then);
    // The user's cancel: the wait ends and what follows is told so.
    void cancel();
    // Off line: the wait ends and nothing follows.
    void abandon();

    bool active() const { return check_ != nullptr; }
    const QString& title() const { return title_; }
    const QString& label() const { return label_; }
    const WaitProgress& progress() const { return progress_; }

signals:
    void started();
    void progressed();
    void ended();

private:
    void tick();
    void finish(bool cancelled);

    QTimer timer_;
    QString title_, label_;
    WaitProgress progress_;
    Check check_;
    Then then_;
};

} // namespace trq
