#pragma once

#include "support/testsupport.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

namespace trq::test {

// Every button of the toolbar.
inline const QList<MainWindow::Button> kToolButtons{
    MainWindow::Button::Gpib,       MainWindow::Button::Com,          MainWindow::Button::OnOffLine,
    MainWindow::Button::SaveMemory, MainWindow::Button::RecallMemory, MainWindow::Button::Delay,
    MainWindow::Button::ReadTimes,  MainWindow::Button::Output,       MainWindow::Button::AutoRun,
    MainWindow::Button::ClearError, MainWindow::Button::About};

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
