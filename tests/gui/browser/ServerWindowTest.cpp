// The browser window opening a catalogue on a throwaway PostgreSQL server by its address
// (skipped with the reason without PostgreSQL).

#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "ServerCatalogueCopy.h"
#include "browser/RecentFileList.h"
#include "browser/import/MwImportCommand.h"
#include "browser/models/CatalogueTreeModel.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "gui/browser/NavigatorWnd.h"
#include "gui/browser/dialogs/OptionsSheet.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <optional>

namespace
{
// The catalogue names of a database, sorted.
QStringList CatalogueNames(CDbDatabase& db)
{
    QStringList names;
    CDbStatement st = db.Prepare(QStringLiteral("SELECT Catalogue FROM Catalogue"));
    while (st.Step())
        names.append(st.Value(0).ToString());
    names.sort();
    return names;
}

QStringList CatalogueNames(const QString& database)
{
    CDbDatabase db;
    db.Open(database, EDbOpenMode::ReadOnly);
    return CatalogueNames(db);
}

// Runs an import command of the window to its end; whether it succeeded.
bool RunImport(CBrowserWindow& w, EMwCommand command, const QString& answer)
{
    QSignalSpy finished(&w.doc.Jobs(), &CJobRunner::jobFinished);
    w.chooser.Answer(answer);
    w.frame.Action(command)->trigger();
    if (finished.count() == 0 && !finished.wait(60000))
        return false;
    return finished.at(0).at(1).toBool();
}

// Whether Tools > Options offers "Compact Database on Close".
bool OptionsOfferCompactOnClose(CBrowserWindow& w)
{
    bool offered = false;
    bool shown = false;
    QTimer::singleShot(0,
                       [&]
                       {
                           auto* sheet = qobject_cast<COptionsSheet*>(QApplication::activeModalWidget());
                           if (!sheet)
                               return;
                           shown = true;
                           offered = sheet->CompactOnCloseBox()->isEnabled();
                           sheet->reject();
                       });
    w.frame.Action(EMwCommand::ToolsOptions)->trigger();
    return shown && offered;
}
} // namespace

class ServerWindowTest : public QObject
{
    Q_OBJECT

    QString m_strAddress;
    std::optional<QTemporaryDir> m_dir;

private slots:
    // Each case has a new catalogue on the server and a folder of its own for the error log.
    void init()
    {
        QString skipReason;
        QString error;
        m_strAddress = NewServerCatalogue(&skipReason, &error);
        if (!skipReason.isEmpty())
            QSKIP(qPrintable(QStringLiteral("skipped: ") + skipReason));
        QVERIFY2(!m_strAddress.isEmpty(), qPrintable(error));
        m_dir.emplace();
        QVERIFY(m_dir->isValid());
        SetErrorLogFolder(m_dir->path());
    }

    void openServerCatalogueTakesAnAddressAndKeepsNoPassword()
    {

        CBrowserWindow w;
        // Cancelled: nothing happens.
        w.chooser.Answer(std::nullopt);
        w.frame.Action(EMwCommand::FileOpenServer)->trigger();
        QVERIFY(!w.doc.IsOpen());

        w.chooser.Answer(m_strAddress + QStringLiteral(" password=s3cret"));
        w.frame.Action(EMwCommand::FileOpenServer)->trigger();
        QVERIFY(w.doc.IsOpen());
        QCOMPARE(w.chooser.asked.back().caption, QStringLiteral("Open Server Catalogue"));
        QCOMPARE(w.frame.RecentFiles().Files().value(0), m_strAddress);
        QVERIFY(w.frame.windowTitle().contains(m_strAddress));
        QVERIFY(!w.frame.windowTitle().contains(QLatin1String("s3cret")));
        QVERIFY(w.frame.Action(EMwCommand::FileImport)->isEnabled());
        w.doc.CloseDatabase();
    }

    void importGoesBothWaysAndFileMaintenanceWaitsForAFile()
    {
        {
            CDbDatabase server;
            server.Open(m_strAddress);
            server.Execute(
                QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, "
                               "DriveType) VALUES (0, 1, 'Films', 9, 'Fixed')"));
        }
        const QString other = m_dir->filePath(QStringLiteral("Other.qrl"));
        {
            QFile file(other);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(TemplateDatabaseBytes());
        }
        {
            CDbDatabase db;
            db.Open(other);
            db.ExecuteSqliteScript(QStringLiteral(
                "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, VolumeSerial, DriveType) VALUES "
                "(0, 1, 'Films', 1, 'Fixed'), (0, 2, 'Music', 2, 'Fixed');"));
        }

        CBrowserWindow w;
        const auto enabled = [&w](EMwCommand id) { return w.frame.Action(id)->isEnabled(); };
        w.chooser.Answer(m_strAddress);
        w.frame.Action(EMwCommand::FileOpenServer)->trigger();
        QVERIFY(w.doc.IsOpen());
        // The server looks after its own tables: nothing here compacts or repairs files.
        QVERIFY(!enabled(EMwCommand::FileCompactDatabase));
        QVERIFY(!enabled(EMwCommand::FileRepairDatabase));
        QVERIFY(!OptionsOfferCompactOnClose(w));
        QVERIFY(enabled(EMwCommand::FileImport) && enabled(EMwCommand::FileImportServer));

        // A file into the open server catalogue, through the file dialog.
        QVERIFY(RunImport(w, EMwCommand::FileImport, other));
        QCOMPARE(w.chooser.asked.back().caption, MwImportDialogCaption());
        CCatalogueTreeModel& tree = w.frame.Navigator()->CatalogueModel();
        QTRY_VERIFY(tree.FindItem(CCatalogueTreeRecord::KindCatalogue, 2).isValid());
        QStringList shown;
        for (const qint32 id : {1, 2, 3})
            shown.append(tree.data(tree.FindItem(CCatalogueTreeRecord::KindCatalogue, id)).toString());
        shown.sort();
        QCOMPARE(shown, (QStringList{"Films", "Films (Imported)", "Music"}));
        QCOMPARE(CatalogueNames(other), (QStringList{"Films", "Music"}));
        QVERIFY(w.doc.CloseDatabase());

        // A file again: its maintenance is back.
        const QString offline = m_dir->filePath(QStringLiteral("Offline.qrl"));
        w.chooser.Answer(offline);
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        QVERIFY(enabled(EMwCommand::FileCompactDatabase) && enabled(EMwCommand::FileRepairDatabase));
        QVERIFY(OptionsOfferCompactOnClose(w));

        // A cancelled prompt imports nothing.
        w.chooser.Answer(std::nullopt);
        w.frame.Action(EMwCommand::FileImportServer)->trigger();
        QVERIFY(!w.doc.Jobs().IsRunning());
        QCOMPARE(w.chooser.asked.back().caption, MwImportServerCaption());
        QCOMPARE(CatalogueNames(*w.doc.Database()), QStringList());

        // The server catalogue into the open file, through the server prompt.
        QVERIFY(RunImport(w, EMwCommand::FileImportServer, m_strAddress));
        QCOMPARE(w.chooser.asked.back().caption, MwImportServerCaption());
        QCOMPARE(CatalogueNames(*w.doc.Database()), (QStringList{"Films", "Films (Imported)", "Music"}));
        QTRY_VERIFY(tree.FindItem(CCatalogueTreeRecord::KindCatalogue, 3).isValid());
        w.doc.CloseDatabase();
    }
};

QUARRANE_QTEST_MAIN(ServerWindowTest)
#include "ServerWindowTest.moc"
