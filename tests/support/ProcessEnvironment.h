#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

// The environment of a program a test starts: its runtime folder, volume table ("volumes") and
// settings inside dir, so that it meets no other instance, no real drive and no user settings; Qt
// without a display.
inline QProcessEnvironment IsolatedProcessEnvironment(const QTemporaryDir& dir)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUARRANE_RUNTIME_DIR"), dir.filePath(QStringLiteral("run")));
    env.insert(QStringLiteral("QUARRANE_VOLUME_TABLE"), dir.filePath(QStringLiteral("volumes")));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// How long a test waits for a program it started, in milliseconds: sanitized builds
// (QUARRANE_TEST_TIME_SCALE, set by the build) run several times slower.
#ifndef QUARRANE_TEST_TIME_SCALE
#define QUARRANE_TEST_TIME_SCALE 1
#endif
constexpr int ScaledTimeout(int milliseconds)
{
    return milliseconds * QUARRANE_TEST_TIME_SCALE;
}

// Waits, with events moving, until the condition holds; false when it did not within ms.
inline bool WaitUntil(const std::function<bool()>& condition, int ms = ScaledTimeout(10000))
{
    QDeadlineTimer deadline(ms);
    while (!condition())
    {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}
