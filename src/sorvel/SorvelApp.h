#pragma once

#include <QImage>

#include <cstdint>

#if defined(SORVEL_BUILDING)
#define SORVEL_EXPORT __attribute__((visibility("default")))
#else
#define SORVEL_EXPORT
#endif

// Bitmap resource identifiers of the library.
enum : int
{
    IDB_SORVEL_SORT_ARROWS = 1000,      // 48x16 strip: empty, ascending, descending
    IDB_SORVEL_SORT_ARROWS_MASK = 1006, // the same cells, set where the strip is transparent
};

// Passes an integer resource id where a name is expected, as resource loaders always have.
inline const char* MakeIntResource(int id)
{
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(static_cast<uint16_t>(id)));
}

// The library's application object: it hands out its module handle and its bitmaps.
class SORVEL_EXPORT CSorvelApp
{
public:
    // The library's module handle (its load address), recorded when the library was attached.
    static void* GetInstance();

    // A bitmap by name ("#1000") or by integer id through MakeIntResource. A null image when the
    // library has no such bitmap. The caller owns the image.
    static QImage GetSorvelourceBitmap(const char* lpszResourceName);
};

struct SorvelVersionInfo
{
    const char* pszFileVersion;
    const char* pszFileDescription;
    const char* pszProductName;
};
extern "C" SORVEL_EXPORT const SorvelVersionInfo g_sorvelVersionInfo;
