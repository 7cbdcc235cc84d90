#include "common/ErrorLog.h"
#include "common/ProductVersion.h"
#include "gui/WidgetInteraction.h"
#include "sorvel/SorvelApp.h"

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    const QString title = QStringLiteral("Quarrane");
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("%s\n", qPrintable(ProductVersionLine(title)));
            return 0;
        }

    // The browser cannot run without its shared bitmaps; asking for the handle keeps the link.
    if (!CSorvelApp::GetInstance())
        return 1;

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevold"));
    QApplication::setApplicationName(QStringLiteral("Quarrane Browser"));
    SetErrorLogProgramName(title);

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Quarrane Browser"));
    CWidgetInteraction interaction(&window, window.statusBar());
    SetProcessUserInteraction(&interaction);
    window.show();
    const int result = app.exec();
    SetProcessUserInteraction(nullptr);
    return result;
}
