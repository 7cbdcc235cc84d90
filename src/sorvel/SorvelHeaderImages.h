#pragma once

#include "sorvel/SorvelApp.h"

#include <QImage>

#include <array>

// The three 16x16 images of a list header: 0 unsorted (empty), 1 ascending, 2 descending, cut from
// the library's strip with every pixel its mask sets made transparent. Null images when the
// library's bitmaps cannot be loaded.
SORVEL_EXPORT std::array<QImage, 3> SorvelHeaderImages();
