#pragma once

#include <QSettings>
#include <QString>

// The browser's settings for this user on this machine: the company "Brevold", the program's
// title "Quarrane Browser".
inline QString BrowserSettingsOrganization()
{
    return QStringLiteral("Brevold");
}
inline QString BrowserSettingsApplication()
{
    return QStringLiteral("Quarrane Browser");
}
inline QSettings BrowserSettings()
{
    return QSettings(BrowserSettingsOrganization(), BrowserSettingsApplication());
}
