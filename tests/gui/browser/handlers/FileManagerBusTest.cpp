#include "DesktopFolders.h"

#include "gui/browser/handlers/HandlersController.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QMutex>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

// A file manager as the desktop has one: org.freedesktop.FileManager1 on the session bus. It
// answers from a thread of its own, since the browser waits for the answer on the main thread.
class CFakeFileManager final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList Shown() const
    {
        QMutexLocker lock(&m_mutex);
        return m_shown;
    }

public slots:
    void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        QMutexLocker lock(&m_mutex);
        m_shown += uris;
    }

private:
    mutable QMutex m_mutex;
    QStringList m_shown;
};

// A session bus of the test's own, so that the person's file manager never opens a window.
class FileManagerBusTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_bus;
    QString m_strAddress;

private slots:
    void initTestCase()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            QSKIP("dbus-daemon is not installed (apt-get install dbus-daemon)");
        QVERIFY(m_dir.isValid());
        const QString config = m_dir.filePath(QStringLiteral("session.conf"));
        QFile file(config);
        QVERIFY(file.open(QIODevice::WriteOnly));
        // No service folders: nothing on the bus is started on demand.
        file.write(
            QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                           "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                           "<busconfig><type>session</type><listen>unix:dir=%1</listen>"
                           "<auth>EXTERNAL</auth><policy context=\"default\"><allow "
                           "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                           "<allow own=\"*\"/></policy></busconfig>")
                .arg(m_dir.path())
                .toUtf8());
        file.close();
        m_bus.start(daemon, {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                             QStringLiteral("--print-address=1")});
        QVERIFY(m_bus.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_bus.canReadLine(), 20000);
        m_strAddress = QString::fromUtf8(m_bus.readLine()).trimmed();
        QVERIFY(!m_strAddress.isEmpty());
        // Read the first time the browser asks for the session bus.
        qputenv("DBUS_SESSION_BUS_ADDRESS", m_strAddress.toUtf8());
    }

    void cleanupTestCase()
    {
        QDBusConnection::disconnectFromBus(QStringLiteral("file manager"));
        if (m_bus.state() != QProcess::NotRunning)
        {
            m_bus.terminate();
            m_bus.waitForFinished(10000);
        }
    }

    void theFileManagerIsAskedToShowTheFileElseNothingIsClaimed()
    {
        const QString path = QStringLiteral("/media/disc/Films 2024/a b#1.mkv");
        QVERIFY2(!ShowInFileManager(path), "no file manager on the bus");

        QThread thread;
        CFakeFileManager manager;
        manager.moveToThread(&thread);
        thread.start();
        QDBusConnection bus = QDBusConnection::connectToBus(m_strAddress, QStringLiteral("file manager"));
        QVERIFY(bus.isConnected());
        QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &manager,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.FileManager1")));

        QVERIFY(ShowInFileManager(path));
        QCOMPARE(manager.Shown(),
                 QStringList{QStringLiteral("file:///media/disc/Films%202024/a%20b%231.mkv")});

        bus.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
        bus.unregisterService(QStringLiteral("org.freedesktop.FileManager1"));
        thread.quit();
        thread.wait();
    }
};

QUARRANE_QTEST_MAIN(FileManagerBusTest)
#include "FileManagerBusTest.moc"
