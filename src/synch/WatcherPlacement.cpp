#include "synch/WatcherPlacement.h"

#include <QSettings>

namespace
{
const QString kSection = QStringLiteral("Watcher Window Position");
}

WatcherPlacement WatcherPlacement::Read(QSettings& settings)
{
    WatcherPlacement p;
    settings.beginGroup(kSection);
    p.x = settings.value(QStringLiteral("X (%)"), p.x).toInt();
    p.y = settings.value(QStringLiteral("Y (%)"), p.y).toInt();
    p.width = settings.value(QStringLiteral("Width (%)"), p.width).toInt();
    p.height = settings.value(QStringLiteral("Height (%)"), p.height).toInt();
    settings.endGroup();
    return p;
}

void WatcherPlacement::Write(QSettings& settings) const
{
    settings.beginGroup(kSection);
    settings.setValue(QStringLiteral("X (%)"), x);
    settings.setValue(QStringLiteral("Y (%)"), y);
    settings.setValue(QStringLiteral("Width (%)"), width);
    settings.setValue(QStringLiteral("Height (%)"), height);
    settings.endGroup();
}

QRect WatcherPlacement::Place(const QSize& desktop) const
{
    return QRect(x * desktop.width() / 100, y * desktop.height() / 100, width * desktop.width() / 100,
                 height * desktop.height() / 100);
}

WatcherPlacement WatcherPlacement::FromWindow(const QRect& window, const QSize& desktop)
{
    WatcherPlacement p;
    if (desktop.width() <= 0 || desktop.height() <= 0)
        return p;
    p.x = window.left() * 100 / desktop.width();
    p.y = window.top() * 100 / desktop.height();
    p.width = window.width() * 100 / desktop.width();
    p.height = window.height() * 100 / desktop.height();
    return p;
}
