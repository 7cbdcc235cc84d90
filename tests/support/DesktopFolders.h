#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Points the desktop's folders (settings, state, data and trash, cache, runtime) into dir, so that
// a test program reads and writes none of the runner's. Call before the application object exists.
inline bool UseDesktopFoldersIn(const QTemporaryDir& dir)
{
    if (!dir.isValid())
        return false;
    for (const char* name :
         {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
    {
        const QString folder = dir.filePath(QString::fromLatin1(name));
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv(name, folder.toUtf8());
    }
    return true;
}

// QTEST_MAIN with the desktop's folders of the run's own.
#define QUARRANE_QTEST_MAIN(TestObject)                                                                      \
    int main(int argc, char** argv)                                                                          \
    {                                                                                                        \
        QTemporaryDir desktop;                                                                               \
        if (!UseDesktopFoldersIn(desktop))                                                                   \
            return 1;                                                                                        \
        QApplication app(argc, argv);                                                                        \
        app.setAttribute(Qt::AA_Use96Dpi, true);                                                             \
        TestObject tc;                                                                                       \
        QTEST_SET_MAIN_SOURCE_PATH                                                                           \
        return QTest::qExec(&tc, argc, argv);                                                                \
    }
