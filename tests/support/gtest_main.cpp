#include "DesktopFolders.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The desktop's folders (settings, state, trash, runtime sockets) are this run's own, so that
    // no test reads or writes the runner's: a test that needs one of them in a particular place
    // sets it itself. The error logs of this process and of the programs it starts stay with the
    // run too.
    QTemporaryDir xdg;
    if (UseDesktopFoldersIn(xdg))
        qputenv("QUARRANE_LOG_DIR", xdg.filePath(QStringLiteral("log")).toUtf8());

    // Qt services under test (application paths, settings, timers) expect an application object.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
