#pragma once

#include <QRect>

class QSettings;

// Where the synchronizer's window sits, as whole percentages of the desktop, so that it lands in
// the same place on any screen size.
struct WatcherPlacement
{
    int x = 0;
    int y = 70;
    int width = 100;
    int height = 20;

    // Settings section "Watcher Window Position"; missing keys keep their defaults.
    static WatcherPlacement Read(QSettings& settings);
    void Write(QSettings& settings) const;

    // The window's rectangle on a desktop of the given size (truncating).
    QRect Place(const QSize& desktop) const;
    // The percentages of a window rectangle on a desktop of the given size (truncating).
    static WatcherPlacement FromWindow(const QRect& window, const QSize& desktop);
};
