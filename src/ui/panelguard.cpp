#include "ui/panelguard.h"

#include "session/sequencestatus.h"
#include "session/sessionsequence.h"

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QKeyEvent>
#include <QWidget>

namespace trq {

PanelGuard::PanelGuard(QWidget& panel, std::function<SessionSequence*()> inControl,
                       Prompter& prompter, const QList<QWidget*>& exempt)
    : QObject(&panel), panel_(panel), inControl_(std::move(inControl)), prompter_(prompter) {
    for (QWidget* w : exempt)
        exempt_ << w;
    for (QWidget* w : panel.findChildren<QWidget*>())
        w->installEventFilter(this);
}

bool PanelGuard::isControl(QObject* watched) const {
    // A spin box's own line edit counts as the spin box.
    for (QObject* o = watched; o && o != &panel_; o = o->parent()) {
        if (exempt_.contains(qobject_cast<QWidget*>(o)))
            return false;
        if (qobject_cast<QAbstractButton*>(o) || qobject_cast<QAbstractSpinBox*>(o))
            return true;
    }
    return false;
}

bool PanelGuard::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        break;
    case QEvent::KeyPress: {
        // Moving the focus or a shortcut changes nothing.
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab ||
            key->key() == Qt::Key_Escape ||
            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            return false;
        break;
    }
    default:
        return false;
    }
    SessionSequence* sequence = inControl_();
    if (!sequence || !sequence->running() || !isControl(watched))
        return false;
    return !SequenceStatus::userMayChange(sequence, prompter_);
}

} // namespace trq
