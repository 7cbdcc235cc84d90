#include "common/ProductVersion.h"

#include <QStringList>

QString ProductVersionText()
{
    return QStringLiteral(QUARRANE_PRODUCT_VERSION_TEXT);
}

double ParseProductVersion(const QString& text)
{
    const QStringList parts = text.split(QStringLiteral(", "));
    if (parts.size() != 4)
        return 0.0;
    int numbers[3] = {};
    for (int i = 0; i < 3; ++i)
    {
        bool ok = false;
        numbers[i] = parts[i].trimmed().toInt(&ok);
        if (!ok)
            return 0.0;
    }
    return numbers[0] * 256 + numbers[1] + numbers[2] / 100.0;
}

double GetProductVersion()
{
    static const double version = ParseProductVersion(ProductVersionText());
    return version;
}

QString ProductVersionLine(const QString& title)
{
    return title + QStringLiteral("  Version: ") + QString::asprintf("%0.2f", GetProductVersion());
}
