#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The desktop's folders (settings, state, trash, runtime sockets) are this run's own, so that
    // no test reads or writes the runner's: a test that needs one of them in a particular place
    // sets it itself.
    QTemporaryDir xdg;
    if (xdg.isValid())
        for (const char* name :
             {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        {
            const QString folder = xdg.filePath(QString::fromLatin1(name));
            QDir().mkpath(folder);
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            qputenv(name, folder.toUtf8());
        }
    // The error logs of this process and of the programs it starts stay with the run too.
    if (xdg.isValid())
        qputenv("QUARRANE_LOG_DIR", xdg.filePath(QStringLiteral("log")).toUtf8());

    // Qt services under test (application paths, settings, timers) expect an application object.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
