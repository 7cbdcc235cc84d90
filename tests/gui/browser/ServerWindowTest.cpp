// The browser window opening a catalogue on a throwaway PostgreSQL server by its address
// (skipped with the reason without PostgreSQL).

#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "PostgresServer.h"
#include "browser/RecentFileList.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"

#include <QAction>
#include <QTemporaryDir>
#include <QTest>

class ServerWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void openServerCatalogueTakesAnAddressAndKeepsNoPassword()
    {
        if (!CDbDatabase::ServerSupportAvailable())
            QSKIP("skipped: PostgreSQL is not installed (built without libpq)");
        if (!CTestPostgresServer::Instance().Available())
            QSKIP(qPrintable(QStringLiteral("skipped: ") + CTestPostgresServer::Instance().Reason()));
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SetErrorLogFolder(dir.path());
        const QString address = CTestPostgresServer::Instance().NewDatabase();
        QVERIFY(!address.isEmpty());
        QString error;
        QVERIFY2(CreateServerCatalogue(address, &error), qPrintable(error));

        CBrowserWindow w;
        // Cancelled: nothing happens.
        w.chooser.Answer(std::nullopt);
        w.frame.Action(EMwCommand::FileOpenServer)->trigger();
        QVERIFY(!w.doc.IsOpen());

        w.chooser.Answer(address + QStringLiteral(" password=s3cret"));
        w.frame.Action(EMwCommand::FileOpenServer)->trigger();
        QVERIFY(w.doc.IsOpen());
        QCOMPARE(w.chooser.asked.back().caption, QStringLiteral("Open Server Catalogue"));
        QCOMPARE(w.frame.RecentFiles().Files().value(0), address);
        QVERIFY(w.frame.windowTitle().contains(address));
        QVERIFY(!w.frame.windowTitle().contains(QLatin1String("s3cret")));
        QVERIFY(w.frame.Action(EMwCommand::FileImport)->isEnabled());
        w.doc.CloseDatabase();
    }
};

QUARRANE_QTEST_MAIN(ServerWindowTest)
#include "ServerWindowTest.moc"
