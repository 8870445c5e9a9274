#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace trq {

class Prompter;
class SessionSequence;

// While a sequence is in control of the supply, a press, key or wheel on one
// of a panel's controls goes no further: the run pauses and the user is
// asked whether to stop it (SequenceStatus::userMayChange). Caught before the
// control takes it, so no control shows a change that was not made.
class PanelGuard : public QObject {
    Q_OBJECT
public:
    // exempt: controls that leave the supply as it is.
    // inControl: the sequence in control of the panel's supply, or none.
    PanelGuard(QWidget& panel, std::function<SessionSequence*()> inControl, Prompter& prompter,
               const QList<QWidget*>& exempt = {});

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool isControl(QObject* watched) const;

    QWidget& panel_;
    std::function<SessionSequence*()> inControl_;
    Prompter& prompter_;
    QList<QPointer<QWidget>> exempt_;
};

} // namespace trq
