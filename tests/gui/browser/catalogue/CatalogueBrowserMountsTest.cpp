#include "DesktopFolders.h"
#include "TestTmpfsMount.h"
#include "browser/MirrowelDoc.h"
#include "browser/models/CatalogueTreeModel.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"
#include "gui/browser/catalogue/CatalogueItemDelegate.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// The catalogue browser over this machine's real mount table.
class CatalogueBrowserMountsTest : public QObject
{
    Q_OBJECT

private slots:
    void aMountedMediumComesOnlineAndGoesOfflineWhenUnmounted()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        SetErrorLogFolder(dir.path());
        CScriptedInteraction ui;
        CMirrowelDoc doc(ui);
        doc.RetryPolicy().SetWait([](auto) {});
        CCatalogueTreeModel model(ui, doc.RetryPolicy());
        CCatalogueBrowserTreeCtrl tree(model, doc);
        doc.SetBrowserLoader(
            [&]
            {
                model.SetDatabase(doc.Database(), doc.UserName());
                return true;
            });
        QVERIFY(doc.NewDatabase(dir.filePath(QStringLiteral("Mounts.qrl"))));
        // A RAM disk catalogued without a serial: found only where it was catalogued.
        const QString mountPoint = dir.filePath(QStringLiteral("ramdisk"));
        QVERIFY(QDir().mkpath(mountPoint));
        doc.Database()->Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, DriveType, "
                           "Location, VolumeSerial, Volume) VALUES (0, 1, 'Scratch', "
                           "'RAM Disk', ?, 0, '')"),
            {CDbValue(mountPoint)});
        tree.OnMwRequery();
        const auto medium = [&]
        { return tree.ItemDelegate().MediumText(model.FindItem(CCatalogueTreeRecord::KindCatalogue, 1)); };
        QCOMPARE(medium(), QStringLiteral("Offline"));
        QSignalSpy arrived(&tree, &CCatalogueBrowserTreeCtrl::mediumArrived);
        {
            CTestTmpfsMount mount(mountPoint);
            if (!mount.Mounted())
            {
                doc.CloseDatabase();
                QSKIP(qPrintable(CTestTmpfsMount::SkipReason()));
            }
            QTRY_COMPARE_WITH_TIMEOUT(medium(), QStringLiteral("Online"), 1000);
            QCOMPARE(arrived.count(), 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(medium(), QStringLiteral("Offline"), 1000);
        doc.CloseDatabase();
        SetErrorLogFolder(QString());
    }
};

QUARRANE_QTEST_MAIN(CatalogueBrowserMountsTest)
#include "CatalogueBrowserMountsTest.moc"
