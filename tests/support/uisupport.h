#pragma once

#include "support/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

namespace trq::test {

// The window's button with this caption or object name, and a click on it.
QAbstractButton* buttonOf(QWidget* window, const QString& text);
void clickButton(QWidget* window, const QString& text);

// Runs act on the next modal dialog of type Dialog once it is up.
template <typename Dialog> void onNextModal(std::function<void(Dialog*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(dialog);
        }
    });
    poll->start();
}

} // namespace trq::test
