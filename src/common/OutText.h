#pragma once

#include <QString>

// Fills a problem or solution text that the caller may not have asked for (a null pointer).
inline void SetText(QString* target, const QString& text)
{
    if (target)
        *target = text;
}
