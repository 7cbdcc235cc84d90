#include "sorvel/SorvelHeaderImages.h"

std::array<QImage, 3> SorvelHeaderImages()
{
    constexpr int cell = 16;
    std::array<QImage, 3> images;
    const QImage strip = CSorvelApp::GetSorvelourceBitmap(MakeIntResource(IDB_SORVEL_SORT_ARROWS))
                             .convertToFormat(QImage::Format_ARGB32);
    const QImage mask = CSorvelApp::GetSorvelourceBitmap(MakeIntResource(IDB_SORVEL_SORT_ARROWS_MASK))
                            .convertToFormat(QImage::Format_ARGB32);
    if (strip.isNull() || mask.isNull() || strip.size() != mask.size() || strip.width() < cell * 3)
        return images;

    for (int i = 0; i < 3; ++i)
    {
        QImage image(cell, cell, QImage::Format_ARGB32);
        for (int y = 0; y < cell; ++y)
            for (int x = 0; x < cell; ++x)
            {
                const bool transparent = qGray(mask.pixel(i * cell + x, y)) > 127;
                image.setPixel(x, y, transparent ? 0u : strip.pixel(i * cell + x, y));
            }
        images[i] = image;
    }
    return images;
}
