#include "sorvel/SorvelApp.h"

#include <QString>

#include <dlfcn.h>

extern "C" const SorvelVersionInfo g_sorvelVersionInfo = {
    SORVEL_FILE_VERSION,
    "sorvel DLL",
    "sorvel Dynamic Link Library",
};

namespace
{
void* g_hInstance = nullptr;

// Attach: record where the loader placed us. Our Qt resources register themselves at the same
// moment, which is what puts the bitmaps into the host's resource search path.
__attribute__((constructor)) void SorvelAttach()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SorvelAttach), &info) != 0)
        g_hInstance = info.dli_fbase;
}

bool IsIntResource(const char* name)
{
    return reinterpret_cast<std::uintptr_t>(name) <= 0xFFFF;
}
} // namespace

void* CSorvelApp::GetInstance()
{
    return g_hInstance;
}

QImage CSorvelApp::GetSorvelourceBitmap(const char* lpszResourceName)
{
    int id = 0;
    if (IsIntResource(lpszResourceName))
        id = static_cast<int>(reinterpret_cast<std::uintptr_t>(lpszResourceName));
    else if (lpszResourceName[0] == '#')
    {
        bool ok = false;
        id = QString::fromLatin1(lpszResourceName + 1).toInt(&ok);
        if (!ok)
            return QImage();
    }
    if (id != IDB_SORVEL_SORT_ARROWS && id != IDB_SORVEL_SORT_ARROWS_MASK)
        return QImage();
    return QImage(QStringLiteral(":/sorvel/%1").arg(id), "BMP");
}
