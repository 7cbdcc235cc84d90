#include "common/ProductVersion.h"
#include "gui/browser/MirrowelApp.h"
#include "sorvel/SorvelApp.h"

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("%s\n", qPrintable(ProductVersionLine(QStringLiteral("Quarrane"))));
            return 0;
        }

    // The browser cannot run without its shared bitmaps; asking for the handle keeps the link.
    if (!CSorvelApp::GetInstance())
        return 1;

    CMirrowelApp app(argc, argv);
    if (!app.InitInstance())
        return 1;
    return app.Run();
}
