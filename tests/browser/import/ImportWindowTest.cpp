#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "browser/import/MwImportCommand.h"
#include "browser/models/CatalogueTreeModel.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "gui/browser/NavigatorWnd.h"

#include <QAction>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// File > Import in the browser's window: the dialog, the job, and the catalogue browser showing
// the imported catalogues afterwards.
class ImportWindowTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
    }

    void importShowsTheImportedCataloguesInTheBrowser()
    {
        {
            QFile file(Path(QStringLiteral("Other.qrl")));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(TemplateDatabaseBytes());
        }
        {
            CDbDatabase other;
            other.Open(Path(QStringLiteral("Other.qrl")));
            other.ExecuteSqliteScript(QStringLiteral(
                "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, LocalMachine, "
                "UserName, "
                "CatalogueType, DriveType) VALUES (0, 1, 'Films', 9, 'pc', 'bob', 'Disk', 'Fixed');"));
        }

        CBrowserWindow w;
        QAction* import = w.frame.Action(EMwCommand::FileImport);
        QVERIFY(!import->isEnabled());
        w.chooser.Answer(Path(QStringLiteral("A.qrl")));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        QVERIFY(import->isEnabled());
        w.doc.Database()->Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, "
                                                 "DriveType) VALUES (0, 1, 'Films', 'Fixed')"));

        // A cancelled dialog imports nothing.
        w.chooser.Answer(std::nullopt);
        import->trigger();
        QVERIFY(!w.doc.Jobs().IsRunning());

        QSignalSpy finished(&w.doc.Jobs(), &CJobRunner::jobFinished);
        w.chooser.Answer(Path(QStringLiteral("Other.qrl")));
        import->trigger();
        QCOMPARE(w.chooser.asked.back().caption, MwImportDialogCaption());
        QCOMPARE(w.chooser.asked.back().filter, MwImportDialogFilter());
        // While the job writes, the commands that write wait, Import among them.
        QVERIFY(!import->isEnabled() || !w.doc.Jobs().IsRunning());
        QVERIFY(finished.count() == 1 || finished.wait(60000));
        QCOMPARE(finished.at(0).at(1).toBool(), true);
        QTRY_VERIFY(import->isEnabled());

        CCatalogueTreeModel& tree = w.frame.Navigator()->CatalogueModel();
        QTRY_VERIFY(tree.FindItem(CCatalogueTreeRecord::KindCatalogue, 2).isValid());
        QCOMPARE(tree.data(tree.FindItem(CCatalogueTreeRecord::KindCatalogue, 2)).toString(),
                 QStringLiteral("Films (Imported)"));
    }
};

QUARRANE_QTEST_MAIN(ImportWindowTest)
#include "ImportWindowTest.moc"
