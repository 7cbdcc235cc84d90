#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <memory>

// Presses the given button of the next message box that shows. A timer rather than a wait
// loop: the box runs its own event loop, in which only timers and events get a turn.
struct Presser
{
    QString text;
    QWidget* parent = nullptr;
    bool pressed = false;
};
inline std::shared_ptr<Presser> PressWhenShown(QMessageBox::StandardButton which)
{
    auto result = std::make_shared<Presser>();
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout,
                     [timer, which, result]
                     {
                         for (QWidget* w : QApplication::topLevelWidgets())
                             if (auto* box = qobject_cast<QMessageBox*>(w);
                                 box && box->isVisible() && box->button(which))
                             {
                                 result->text = box->text();
                                 result->parent = box->parentWidget();
                                 result->pressed = true;
                                 timer->deleteLater();
                                 box->button(which)->click();
                                 return;
                             }
                     });
    timer->start(10);
    return result;
}
