#include "sorvel/SorvelApp.h"
#include "sorvel/SorvelHeaderImages.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{
// Width in opaque pixels of each row of a 16x16 header image.
std::vector<int> OpaqueRowWidths(const QImage& image)
{
    std::vector<int> widths;
    for (int y = 0; y < image.height(); ++y)
    {
        int width = 0;
        for (int x = 0; x < image.width(); ++x)
            width += qAlpha(image.pixel(x, y)) == 255 ? 1 : qAlpha(image.pixel(x, y)) == 0 ? 0 : 1000;
        widths.push_back(width);
    }
    return widths;
}
} // namespace

TEST(Sorvel, TheModuleHandleIsRecordedAtAttachAndNeverChanges)
{
    void* before = CSorvelApp::GetInstance();
    ASSERT_NE(before, nullptr);
    ASSERT_FALSE(CSorvelApp::GetSorvelourceBitmap(MakeIntResource(IDB_SORVEL_SORT_ARROWS)).isNull());
    EXPECT_EQ(CSorvelApp::GetInstance(), before);

    EXPECT_STREQ(g_sorvelVersionInfo.pszFileVersion, "0.1.2.0");
    EXPECT_STREQ(g_sorvelVersionInfo.pszFileDescription, "sorvel DLL");
    EXPECT_STREQ(g_sorvelVersionInfo.pszProductName, "sorvel Dynamic Link Library");
}

TEST(Sorvel, BitmapsByIdOrNameAndNullForUnknownOnes)
{
    const QImage byId = CSorvelApp::GetSorvelourceBitmap(MakeIntResource(1000));
    const QImage byName = CSorvelApp::GetSorvelourceBitmap("#1000");
    ASSERT_FALSE(byId.isNull());
    EXPECT_EQ(byId.size(), QSize(48, 16));
    EXPECT_EQ(byId, byName);
    const QImage mask = CSorvelApp::GetSorvelourceBitmap(MakeIntResource(1006));
    EXPECT_EQ(mask.size(), QSize(48, 16));
    EXPECT_NE(mask, byId);

    EXPECT_TRUE(CSorvelApp::GetSorvelourceBitmap("#1001").isNull());
    EXPECT_TRUE(CSorvelApp::GetSorvelourceBitmap(MakeIntResource(1)).isNull());
    EXPECT_TRUE(CSorvelApp::GetSorvelourceBitmap("IDB_UNKNOWN").isNull());
    EXPECT_TRUE(CSorvelApp::GetSorvelourceBitmap("#").isNull());
}

TEST(Sorvel, HeaderImagesAreEmptyAscendingDescendingWithTransparency)
{
    const std::array<QImage, 3> images = SorvelHeaderImages();
    for (const QImage& image : images)
        ASSERT_EQ(image.size(), QSize(16, 16));

    // Every pixel is fully opaque or fully transparent (a row width of 1000+ would say otherwise).
    const std::vector<int> empty = OpaqueRowWidths(images[0]);
    const std::vector<int> up = OpaqueRowWidths(images[1]);
    const std::vector<int> down = OpaqueRowWidths(images[2]);
    for (int w : empty)
        EXPECT_EQ(w, 0) << "the unsorted image must be fully transparent";

    // Drop the transparent rows; what remains is the triangle, narrow end where it points.
    auto trimmed = [](std::vector<int> widths) {
        std::erase(widths, 0);
        return widths;
    };
    const std::vector<int> upRows = trimmed(up);
    const std::vector<int> downRows = trimmed(down);
    ASSERT_GE(upRows.size(), 3u);
    for (size_t i = 1; i < upRows.size(); ++i)
        EXPECT_GT(upRows[i], upRows[i - 1]) << "ascending points up: rows widen downwards";
    EXPECT_EQ(downRows, std::vector<int>(upRows.rbegin(), upRows.rend())) << "descending mirrors ascending";

    // The pixels the mask leaves are the strip's own colour, not black nor white.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            if (qAlpha(images[1].pixel(x, y)) == 255)
            {
                const int grey = qGray(images[1].pixel(x, y));
                EXPECT_GT(grey, 0);
                EXPECT_LT(grey, 255);
            }
}
