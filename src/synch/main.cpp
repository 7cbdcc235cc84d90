#include "common/ErrorLog.h"
#include "common/ProductVersion.h"
#include "gui/WidgetInteraction.h"

#include <QApplication>
#include <QMainWindow>

#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--version") == 0)
        {
            std::printf("%s\n", qPrintable(ProductVersionLine(QStringLiteral("Quarrane Synchronizer"))));
            return 0;
        }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevold"));
    QApplication::setApplicationName(QStringLiteral("Quarrane Synchronizer"));
    SetErrorLogProgramName(QStringLiteral("QuarraneSynch"));

    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Quarrane Synchronizer"));
    CWidgetInteraction interaction(&window);
    SetProcessUserInteraction(&interaction);
    window.show();
    const int result = app.exec();
    SetProcessUserInteraction(nullptr);
    return result;
}
