#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "MessageBoxPresser.h"
#include "ServerThread.h"
#include "SynchronizerServer.h"
#include "browser/CatalogueStore.h"
#include "browser/DragPayloads.h"
#include "browser/MediaPresence.h"
#include "browser/SynchLauncher.h"
#include "browser/SynchLink.h"
#include "browser/fileops/MoveFiles.h"
#include "browser/models/CatalogueTreeModel.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "gui/browser/NavigatorWnd.h"
#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"
#include "gui/browser/catalogue/CatalogueItemDelegate.h"
#include "gui/browser/catalogue/CataloguePropertiesDialog.h"
#include "gui/browser/catalogue/GroupPropertiesDialog.h"
#include "gui/browser/catalogue/MwRelativePathPropertiesDialog.h"
#include "gui/browser/catalogue/SynchronizeOffer.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/MountTableWatcher.h"
#include "platform/VolumeTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

namespace
{
class CRecordingLauncher final : public CSynchLauncher
{
public:
    bool Send(const QString& topic, const QString& commandLine) override
    {
        sent.append({topic, commandLine});
        return true;
    }
    QList<std::pair<QString, QString>> sent;
};

// A browser tree on a fresh database: groups Media > Films > Old and Music, catalogues Disk (in
// Media, files in its root only), Reel (in Films, a file in Music\Rock) and Tape (at the top, on a
// removable medium that is not plugged in, excluded from duplicate searches).
struct CTreeSession
{
    explicit CTreeSession(const QString& folder)
    {
        doc.SetUserName(QStringLiteral("ann"));
        doc.RetryPolicy().SetWait([](auto) {});
        doc.Synch().SetSynchLauncher(&launcher);
        doc.SetBrowserLoader(
            [this]
            {
                model.SetDatabase(doc.Database(), doc.UserName());
                return true;
            });
        path = QDir(folder).filePath(QStringLiteral("Tree.qrl"));
        if (!doc.NewDatabase(path))
            return;
        doc.Database()->ExecuteSqliteScript(
            QStringLiteral(
                "INSERT INTO \"Group\" (GroupId, \"Group\", ParentGroupId) VALUES (1, 'Media', 0), (2, "
                "'Films', 1), "
                "(3, 'Old', 2), (4, 'Music', 0);"
                "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, DriveType, Location, VolumeSerial, "
                "Volume) "
                "VALUES (1, 1, 'Disk', 'Fixed', '%1', 0, ''), (2, 2, 'Reel', 'Fixed', '', 0, ''), "
                "(0, 3, 'Tape', 'Removable', '/media/ann/TAPE', %2, 'TAPE');"
                "INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (1, 'Music\\Rock');"
                "INSERT INTO \"File\" (CatalogueId, RelativePathId, FileId, \"File\", FileSize, "
                "FileSizeHigh, "
                "FileSizeDouble, Deleted) VALUES (1, 0, 1, 'a.bin', 1, 0, 1, 0), (2, 1, 2, 'b.bin', 1, 0, 1, "
                "0);"
                "INSERT INTO CatalogueUserSelect (CatalogueId, \"User\", CatalogueSelect, "
                "ExcludeFromDuplicate) "
                "VALUES (3, 'ann', 0, 1);"
                "INSERT INTO IndexId (\"Index\", IndexId) VALUES ('Group_GroupId', 100), "
                "('Catalogue_CatalogueId', 100), ('RelativePath_RelativePathId', 100);")
                .arg(folder)
                .arg(qint32(0x00C0FFEE)));
        tree.OnMwRequery();
        tree.resize(400, 600);
    }
    ~CTreeSession() { doc.CloseDatabase(); }

    QModelIndex Item(qint32 kind, qint32 id) { return model.FindItem(kind, id); }
    // Expands an item as a click on its button does, reading its children at once.
    void Open(const QModelIndex& index)
    {
        tree.expand(index);
        if (model.canFetchMore(index))
            model.fetchMore(index);
    }
    qint32 Long(const QString& sql)
    {
        CDbStatement st = doc.Database()->Prepare(sql);
        return st.Step() ? st.Value(0).ToLong() : -1;
    }
    QPoint Center(const QModelIndex& index) { return tree.visualRect(index).center(); }

    // Sends a drag over pos and, when drop is set, drops it there; whether the tree took it.
    bool Drag(QMimeData& data, const QPoint& pos, bool drop)
    {
        QDragEnterEvent enter(pos, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &enter);
        QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data, Qt::LeftButton,
                            Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &move);
        if (!drop || !move.isAccepted())
            return move.isAccepted();
        QDropEvent dropEvent(QPointF(pos), Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, &data,
                             Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(tree.viewport(), &dropEvent);
        return dropEvent.isAccepted();
    }

    CScriptedInteraction ui;
    CRecordingLauncher launcher;
    CMirrowelDoc doc{ui};
    CCatalogueTreeModel model{ui, doc.RetryPolicy()};
    CCatalogueBrowserTreeCtrl tree{model, doc};
    QString path;
};

QStringList MenuTexts(const QMenu& menu, bool enabledOnly = false)
{
    QStringList texts;
    for (const QAction* action : menu.actions())
        if (!action->isSeparator() && (!enabledOnly || action->isEnabled()))
            texts.append(action->text());
    return texts;
}
} // namespace

class CatalogueBrowserTest : public QObject
{
    Q_OBJECT

public:
    CatalogueBrowserTest()
    {
        // The whole process sees the fixture: this folder is a fixed disk, nothing else is mounted.
        m_strVolumes = m_dir.filePath(QStringLiteral("volumes"));
        m_disk = CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"));
        CFixtureVolumeTable::WriteFile(m_strVolumes, {m_disk});
        qputenv(kVolumeTableEnvironmentVariable, m_strVolumes.toUtf8());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
    }
    void init() { QVERIFY(CFixtureVolumeTable::WriteFile(m_strVolumes, {m_disk})); }

    void foldersShowOnlyWhereACatalogueHasThem()
    {
        CTreeSession s(Folder());
        QVERIFY(s.doc.IsOpen());
        s.Open(s.Item(CCatalogueTreeRecord::KindGroup, 1));
        const QModelIndex disk = s.Item(CCatalogueTreeRecord::KindCatalogue, 1);
        QVERIFY(disk.isValid());
        QVERIFY2(!s.model.hasChildren(disk), "files in the root folder only: no expand button");
        const QModelIndex films = s.Item(CCatalogueTreeRecord::KindGroup, 2);
        s.Open(films);
        const QModelIndex reel = s.Item(CCatalogueTreeRecord::KindCatalogue, 2);
        QVERIFY(s.model.hasChildren(reel));
        s.Open(reel);
        QCOMPARE(s.model.rowCount(reel), 1);
        QCOMPARE(s.model.index(0, 0, reel).data().toString(), QStringLiteral("Music\\Rock"));

        // Enter and Space open and close the chosen item; selecting tells which folder to show.
        QSignalSpy folder(&s.tree, &CCatalogueBrowserTreeCtrl::folderSelected);
        s.tree.setCurrentIndex(s.model.index(0, 0, reel));
        QCOMPARE(folder.last(), (QVariantList{2, 1}));
        s.tree.setCurrentIndex(reel);
        QCOMPARE(folder.last(), (QVariantList{2, 0}));
        QTest::keyClick(&s.tree, Qt::Key_Return);
        QVERIFY(!s.tree.isExpanded(reel));
        QTest::keyClick(&s.tree, Qt::Key_Space);
        QVERIFY(s.tree.isExpanded(reel));
        s.tree.setCurrentIndex(films);
        QCOMPARE(folder.last(), (QVariantList{0, 0}));
    }

    void clickingTheCheckBoxKeepsTheExclusion()
    {
        CTreeSession s(Folder());
        s.tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.tree));
        const QModelIndex tape = s.Item(CCatalogueTreeRecord::KindCatalogue, 3);
        QCOMPARE(tape.data(CCatalogueTreeModel::StateImageRole).toInt(), 7);
        const QRect box = s.tree.StateImageRect(tape);
        QVERIFY(!box.isEmpty());
        QTest::mouseClick(s.tree.viewport(), Qt::LeftButton, {}, box.center());
        QCOMPARE(
            s.Item(CCatalogueTreeRecord::KindCatalogue, 3).data(CCatalogueTreeModel::StateImageRole).toInt(),
            8);
        QCOMPARE(
            s.Long(QStringLiteral("SELECT CatalogueSelect FROM CatalogueUserSelect WHERE CatalogueId=3")), 1);
        QCOMPARE(s.Long(QStringLiteral(
                     "SELECT ExcludeFromDuplicate FROM CatalogueUserSelect WHERE CatalogueId=3")),
                 1);
        QTest::mouseClick(s.tree.viewport(), Qt::LeftButton, {}, box.center());
        QCOMPARE(
            s.Item(CCatalogueTreeRecord::KindCatalogue, 3).data(CCatalogueTreeModel::StateImageRole).toInt(),
            7);
        QCOMPARE(
            s.Long(QStringLiteral("SELECT CatalogueSelect FROM CatalogueUserSelect WHERE CatalogueId=3")), 0);
        // A click on the name checks nothing.
        QTest::mouseClick(s.tree.viewport(), Qt::LeftButton, {},
                          s.tree.visualRect(tape).center() + QPoint(20, 0));
        QCOMPARE(
            s.Long(QStringLiteral("SELECT CatalogueSelect FROM CatalogueUserSelect WHERE CatalogueId=3")), 0);
    }

    void groupsAndCataloguesMoveByDragAndDropWithoutCycles()
    {
        CTreeSession s(Folder());
        s.tree.show();
        s.tree.expandAll();
        CCatalogueDragPayload media{{CCatalogueTreeRecord::KindGroup, 1, 0, 0, true}, s.path};
        std::unique_ptr<QMimeData> data(CreateCatalogueMimeData(media));
        const QPoint films = s.Center(s.Item(CCatalogueTreeRecord::KindGroup, 2));
        QVERIFY2(!s.Drag(*data, films, true), "a group dropped on its own subgroup");
        QVERIFY(!s.Drag(*data, s.Center(s.Item(CCatalogueTreeRecord::KindGroup, 1)), false));
        QVERIFY2(!s.Drag(*data, s.Center(s.Item(CCatalogueTreeRecord::KindCatalogue, 3)), false),
                 "a catalogue takes no drop");
        QCOMPARE(s.Long(QStringLiteral("SELECT ParentGroupId FROM [Group] WHERE GroupId=1")), 0);

        // The same drag from a window on another database.
        CCatalogueDragPayload reel{{CCatalogueTreeRecord::KindCatalogue, 2, 2, 0, false},
                                   QDir(Folder()).filePath(QStringLiteral("Other.qrl"))};
        data.reset(CreateCatalogueMimeData(reel));
        const QPoint music = s.Center(s.Item(CCatalogueTreeRecord::KindGroup, 4));
        QVERIFY2(!s.Drag(*data, music, true), "between two databases");
        QCOMPARE(s.Long(QStringLiteral("SELECT GroupId FROM Catalogue WHERE CatalogueId=2")), 2);

        reel.strDatabasePath = s.path;
        data.reset(CreateCatalogueMimeData(reel));
        QVERIFY(s.Drag(*data, music, true));
        QCOMPARE(s.Long(QStringLiteral("SELECT GroupId FROM Catalogue WHERE CatalogueId=2")), 4);
        QCOMPARE(s.Item(CCatalogueTreeRecord::KindCatalogue, 2).parent(),
                 s.Item(CCatalogueTreeRecord::KindGroup, 4));
        QCOMPARE(s.tree.currentIndex(), s.Item(CCatalogueTreeRecord::KindCatalogue, 2));

        // Empty space is the top level.
        data.reset(CreateCatalogueMimeData({{CCatalogueTreeRecord::KindGroup, 3, 0, 0, false}, s.path}));
        QVERIFY(s.Drag(*data, QPoint(5, s.tree.viewport()->height() - 5), true));
        QCOMPARE(s.Long(QStringLiteral("SELECT ParentGroupId FROM [Group] WHERE GroupId=3")), 0);
        QVERIFY(!s.Item(CCatalogueTreeRecord::KindGroup, 3).parent().isValid());
    }

    void hoveringADragOverAGroupOpensIt()
    {
        CTreeSession s(Folder());
        s.tree.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.tree));
        const QModelIndex music = s.Item(CCatalogueTreeRecord::KindGroup, 4);
        const QModelIndex media = s.Item(CCatalogueTreeRecord::KindGroup, 1);
        QVERIFY(!s.tree.isExpanded(media));
        std::unique_ptr<QMimeData> data(
            CreateCatalogueMimeData({{CCatalogueTreeRecord::KindGroup, 4, 0, 0, false}, s.path}));
        QVERIFY(s.Drag(*data, s.Center(media), false));
        QTest::qWait(CCatalogueBrowserTreeCtrl::kHoverExpandMs / 2);
        QVERIFY2(!s.tree.isExpanded(media), "not before the delay");
        QTRY_VERIFY_WITH_TIMEOUT(s.tree.isExpanded(media), CCatalogueBrowserTreeCtrl::kHoverExpandMs * 2);
        QVERIFY(!s.tree.isExpanded(music));
        QDragLeaveEvent leave;
        QApplication::sendEvent(s.tree.viewport(), &leave);
    }

    void deleteKeyAsksThenMovesOnlyDirectChildren()
    {
        CTreeSession s(Folder());
        s.tree.setCurrentIndex(s.Item(CCatalogueTreeRecord::KindGroup, 1));
        s.ui.QueueAnswer(MsgAnswer::Yes);
        QTest::keyClick(&s.tree, Qt::Key_Delete);
        QTRY_COMPARE(s.Long(QStringLiteral("SELECT Count(*) FROM [Group] WHERE GroupId=1")), 0);
        QCOMPARE(s.ui.Messages().back().caption, QStringLiteral("Confirm Delete Group"));
        QCOMPARE(s.Long(QStringLiteral("SELECT ParentGroupId FROM [Group] WHERE GroupId=2")), 0);
        QCOMPARE(s.Long(QStringLiteral("SELECT ParentGroupId FROM [Group] WHERE GroupId=3")), 2);
        QCOMPARE(s.Long(QStringLiteral("SELECT GroupId FROM Catalogue WHERE CatalogueId=1")), 0);
        QVERIFY(!s.Item(CCatalogueTreeRecord::KindCatalogue, 1).parent().isValid());

        // Delete on a catalogue asks about the catalogue; No keeps it.
        s.tree.setCurrentIndex(s.Item(CCatalogueTreeRecord::KindCatalogue, 3));
        s.ui.QueueAnswer(MsgAnswer::No);
        QTest::keyClick(&s.tree, Qt::Key_Delete);
        QTRY_COMPARE(s.ui.Messages().back().caption, QStringLiteral("Confirm Delete Catalogue"));
        QVERIFY(s.Item(CCatalogueTreeRecord::KindCatalogue, 3).isValid());
    }

    void filesDroppedOfferTheMoveMenuAndHandOverTheChoice()
    {
        CTreeSession s(Folder());
        s.tree.show();
        s.tree.expandAll();
        QStringList shown;
        QStringList enabled;
        QString choose;
        s.tree.SetMenuRunner(
            [&](QMenu& menu, const QPoint&) -> QAction*
            {
                shown = MenuTexts(menu);
                enabled = MenuTexts(menu, true);
                for (QAction* action : menu.actions())
                    if (action->text() == choose)
                        return action;
                return nullptr;
            });
        CFileIdListPayload files{s.path, 1, 1, 0, 7, {1, 9}};
        std::unique_ptr<QMimeData> data(CreateFileIdListMimeData(files));
        QVERIFY2(!s.Drag(*data, s.Center(s.Item(CCatalogueTreeRecord::KindCatalogue, 1)), false),
                 "their own folder");
        // Without the window's file operations the commands show but cannot be taken.
        QVERIFY(s.Drag(*data, s.Center(s.Item(CCatalogueTreeRecord::KindCatalogue, 3)), true));
        QCOMPARE(shown,
                 (QStringList{"Move to &Subfolders", "Cop&y to Subfolders", "&Move Here", "&Copy Here"}));
        QVERIFY(enabled.isEmpty());

        std::vector<CMoveFilesRequest> requests;
        s.tree.SetFileMover(
            [&](const CMoveFilesRequest& request)
            {
                requests.push_back(request);
                return true;
            });
        choose = QStringLiteral("Move to &Subfolders");
        QVERIFY(s.Drag(*data, s.Center(s.Item(CCatalogueTreeRecord::KindCatalogue, 3)), true));
        QCOMPARE(enabled, shown);
        QCOMPARE(requests.size(), size_t(1));
        QCOMPARE(requests[0].lCatalogueId, 3);
        QCOMPARE(requests[0].lRelativePathId, 0);
        QCOMPARE(requests[0].fileIds, (std::vector<qint32>{1, 9}));
        QCOMPARE(requests[0].lFocusedFileId, 7);
        QVERIFY(requests[0].bKeepFolders && !requests[0].bCopy);

        // A folder offers only the two "Here" commands, into itself.
        const QModelIndex rock = s.model.index(0, 0, s.Item(CCatalogueTreeRecord::KindCatalogue, 2));
        choose = QStringLiteral("&Copy Here");
        QVERIFY(s.Drag(*data, s.Center(rock), true));
        QCOMPARE(shown, (QStringList{"&Move Here", "&Copy Here"}));
        QCOMPARE(requests.size(), size_t(2));
        QCOMPARE(requests[1].lCatalogueId, 2);
        QCOMPARE(requests[1].lRelativePathId, 1);
        QVERIFY(!requests[1].bKeepFolders && requests[1].bCopy);

        // A menu closed without a choice starts nothing.
        choose.clear();
        QVERIFY(s.Drag(*data, s.Center(rock), true));
        QCOMPARE(requests.size(), size_t(2));
    }

    void desktopDropsMakeCataloguesOrOpenDatabases()
    {
        CTreeSession s(Folder());
        s.tree.show();
        const QString photos = QDir(Folder()).filePath(QStringLiteral("Photos"));
        QVERIFY(QDir().mkpath(photos + QStringLiteral("/2024")));
        QFile file(photos + QStringLiteral("/2024/a.jpg"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QStringList proposed;
        s.tree.SetCatalogueDialog(
            [&](CCatalogueDialogData& data)
            {
                proposed << data.strCatalogue << data.strLocation << data.strSerial;
                return true;
            });
        QMimeData folder;
        folder.setUrls({QUrl::fromLocalFile(photos)});
        QVERIFY(s.Drag(folder, s.Center(s.Item(CCatalogueTreeRecord::KindGroup, 4)), true));
        QTRY_COMPARE(s.Long(QStringLiteral("SELECT Count(*) FROM Catalogue WHERE Catalogue='Photos'")), 1);
        QCOMPARE(proposed, (QStringList{"Photos", photos, "1234ABCD"}));
        QCOMPARE(s.Long(QStringLiteral("SELECT GroupId FROM Catalogue WHERE Catalogue='Photos'")), 4);
        QCOMPARE(s.launcher.sent.size(), 1);
        QCOMPARE(s.launcher.sent[0].first, QStringLiteral("AddFiles"));
        QCOMPARE(s.tree.currentIndex().data().toString(), QStringLiteral("Photos"));

        // A database file is handed on to be opened; any other file is refused.
        QSignalSpy open(&s.tree, &CCatalogueBrowserTreeCtrl::openDatabaseRequested);
        QMimeData database;
        database.setUrls({QUrl::fromLocalFile(s.path)});
        QVERIFY(s.Drag(database, QPoint(5, 5), true));
        QTRY_COMPARE(open.count(), 1);
        QCOMPARE(open[0][0].toString(), s.path);
        QMimeData picture;
        picture.setUrls({QUrl::fromLocalFile(photos + QStringLiteral("/2024/a.jpg"))});
        QVERIFY(!s.Drag(picture, QPoint(5, 5), true));
    }

    void contextMenusFitTheirItem()
    {
        CTreeSession s(Folder());
        s.tree.expandAll();
        const QModelIndex rock = s.model.index(0, 0, s.Item(CCatalogueTreeRecord::KindCatalogue, 2));
        QCOMPARE(MenuTexts(*s.tree.CreateContextMenu(QModelIndex())),
                 (QStringList{"New &Group...", "New &Catalogue...", "&Requery File Browser"}));
        QCOMPARE(MenuTexts(*s.tree.CreateContextMenu(s.Item(CCatalogueTreeRecord::KindGroup, 1))),
                 (QStringList{"&Properties...", "New &Group...", "New &Catalogue...", "&Delete Group",
                              "&Requery File Browser"}));
        QCOMPARE(MenuTexts(*s.tree.CreateContextMenu(s.Item(CCatalogueTreeRecord::KindCatalogue, 3))),
                 (QStringList{"&Properties...", "&Root Folder Properties...", "&Synchronize", "&Update TTH",
                              "&New Folder...", "New &Group...", "New &Catalogue...", "&Delete Catalogue",
                              "&Requery File Browser"}));
        QCOMPARE(MenuTexts(*s.tree.CreateContextMenu(rock)),
                 (QStringList{"&Properties...", "&Requery File Browser"}));

        // The commands work on the context item, not on the selection.
        s.tree.setCurrentIndex(s.Item(CCatalogueTreeRecord::KindGroup, 4));
        s.tree.SetMenuRunner(
            [](QMenu& menu, const QPoint&)
            {
                for (QAction* action : menu.actions())
                    if (action->text() == QStringLiteral("&Synchronize"))
                        action->trigger();
                return nullptr;
            });
        const QPoint at = s.Center(s.Item(CCatalogueTreeRecord::KindCatalogue, 3));
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, s.tree.viewport()->mapToGlobal(at));
        QApplication::sendEvent(s.tree.viewport(), &event);
        QCOMPARE(s.launcher.sent.size(), 1);
        QCOMPARE(s.launcher.sent[0].first, QStringLiteral("Synchronize"));
        QVERIFY(s.launcher.sent[0].second.contains(QStringLiteral("-CatalogueID=\"3\"")));
    }

    void newGroupAndFolderCommandsShowTheirItems()
    {
        CTreeSession s(Folder());
        s.tree.expandAll();
        s.tree.setCurrentIndex(s.Item(CCatalogueTreeRecord::KindGroup, 4));
        s.tree.SetGroupDialog(
            [](CGroupDialogData& data)
            {
                data.strGroup = QStringLiteral("Jazz");
                return data.lParentGroupId == 4;
            });
        s.tree.OnMwNewGroup();
        QCOMPARE(s.tree.currentIndex().data().toString(), QStringLiteral("Jazz"));
        QCOMPARE(s.tree.currentIndex().parent(), s.Item(CCatalogueTreeRecord::KindGroup, 4));

        s.tree.setCurrentIndex(s.Item(CCatalogueTreeRecord::KindCatalogue, 1));
        QDir().mkpath(QDir(Folder()).filePath(QStringLiteral("Disk")));
        s.doc.Database()->Execute(QStringLiteral("UPDATE Catalogue SET Location=? WHERE CatalogueId=1"),
                                  {CDbValue(QDir(Folder()).filePath(QStringLiteral("Disk")))});
        s.tree.SetRelativePathDialog(
            [](CRelativePathDialogData& data)
            {
                data.strFolder = QStringLiteral("Scans/2024");
                return true;
            });
        s.tree.OnMwNewFolder();
        const QModelIndex disk = s.Item(CCatalogueTreeRecord::KindCatalogue, 1);
        QVERIFY(s.tree.isExpanded(disk));
        QCOMPARE(s.model.rowCount(disk), 1);
        QCOMPARE(s.tree.currentIndex().parent(), disk);
        QCOMPARE(s.model.index(0, 0, disk).data().toString(), QStringLiteral("Scans\\2024"));
    }

    void mediaGoOnlineAndOfflineAsTheVolumeTableChanges()
    {
        CBrowserWindow w;
        CRecordingLauncher launcher;
        w.doc.Synch().SetSynchLauncher(&launcher);
        const QString path = QDir(Folder()).filePath(QStringLiteral("Media.qrl"));
        w.chooser.Answer(path);
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        const QString stick = QDir(Folder()).filePath(QStringLiteral("stick"));
        QVERIFY(QDir().mkpath(stick + QStringLiteral("/Music")));
        w.doc.Database()->ExecuteSqliteScript(
            QStringLiteral(
                "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, DriveType, Location, "
                "VolumeSerial, Volume) VALUES (0, 1, 'Stick', 'Removable', '/media/ann/STICK/Music', "
                "%1, 'STICK'), (0, 2, 'Here', 'Fixed', '%2', %3, 'DATA');")
                .arg(qint32(0x00C0FFEE))
                .arg(Folder())
                .arg(qint32(0x1234ABCD)));
        auto* tree = static_cast<CCatalogueBrowserTreeCtrl*>(w.frame.Navigator()->CatalogueView());
        tree->OnMwRequery();
        const auto medium = [tree](qint32 id) {
            return tree->ItemDelegate().MediumText(
                tree->Model().FindItem(CCatalogueTreeRecord::KindCatalogue, id));
        };
        QTRY_COMPARE(medium(1), QStringLiteral("Offline"));
        QCOMPARE(medium(2), QStringLiteral("Online"));
        auto* offer = w.frame.statusBar()->findChild<CSynchronizeOffer*>();
        QVERIFY(offer);
        QVERIFY(offer->isHidden());

        // Plugged in, mounted elsewhere than when it was catalogued.
        QVERIFY(CFixtureVolumeTable::WriteFile(
            m_strVolumes,
            {m_disk, CFixtureVolumeTable::MakeEntry(stick, 2, 0x00C0FFEE, QStringLiteral("STICK"))}));
        QTRY_COMPARE_WITH_TIMEOUT(medium(1), QStringLiteral("Online"), 1000);
        QVERIFY(!offer->isHidden());
        QCOMPARE(offer->text(), QStringLiteral("Synchronize Stick"));

        // Removed again: offline, and the offer goes with it.
        QVERIFY(CFixtureVolumeTable::WriteFile(m_strVolumes, {m_disk}));
        QTRY_COMPARE_WITH_TIMEOUT(medium(1), QStringLiteral("Offline"), 1000);
        QVERIFY(offer->isHidden());

        // Back, and taken up with one click.
        QVERIFY(CFixtureVolumeTable::WriteFile(
            m_strVolumes,
            {m_disk, CFixtureVolumeTable::MakeEntry(stick, 2, 0x00C0FFEE, QStringLiteral("STICK"))}));
        QTRY_VERIFY_WITH_TIMEOUT(!offer->isHidden(), 1000);
        offer->click();
        QCOMPARE(launcher.sent.size(), 1);
        QCOMPARE(launcher.sent[0].first, QStringLiteral("Synchronize"));
        QVERIFY(offer->isHidden());

        // A change of the volume table after the database closed reads nothing of it.
        w.frame.Action(EMwCommand::FileClose)->trigger();
        QVERIFY(!w.doc.IsOpen());
        QVERIFY(CFixtureVolumeTable::WriteFile(m_strVolumes, {m_disk}));
        QTest::qWait(3 * CMountTableWatcher::kSettleMs);
        QVERIFY(!tree->Media().IsOnline(1));
        w.doc.Synch().SetSynchLauncher(nullptr);
    }

    void windowCommandsFollowTheChosenItem()
    {
        CBrowserWindow w;
        w.chooser.Answer(QDir(Folder()).filePath(QStringLiteral("Commands.qrl")));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        w.doc.Database()->ExecuteSqliteScript(
            QStringLiteral("INSERT INTO \"Group\" (GroupId, \"Group\", ParentGroupId) VALUES (1, 'Media', 0);"
                           "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, DriveType) VALUES (0, 1, "
                           "'Disk', 'Fixed');"));
        auto* tree = static_cast<CCatalogueBrowserTreeCtrl*>(w.frame.Navigator()->CatalogueView());
        w.frame.Action(EMwCommand::ViewRequeryFileBrowser)->trigger();
        const auto enabled = [&w](EMwCommand id) { return w.frame.Action(id)->isEnabled(); };
        QVERIFY(enabled(EMwCommand::GroupNew) && enabled(EMwCommand::CatalogueNew));
        tree->setCurrentIndex(tree->Model().FindItem(CCatalogueTreeRecord::KindGroup, 1));
        QVERIFY(enabled(EMwCommand::GroupDelete) && enabled(EMwCommand::GroupProperties));
        QVERIFY(!enabled(EMwCommand::CatalogueDelete) && !enabled(EMwCommand::FolderProperties));
        tree->setCurrentIndex(tree->Model().FindItem(CCatalogueTreeRecord::KindCatalogue, 1));
        QVERIFY(!enabled(EMwCommand::GroupDelete));
        QVERIFY(enabled(EMwCommand::CatalogueDelete) && enabled(EMwCommand::CatalogueRootFolderProperties));

        auto pressed = PressWhenShown(QMessageBox::Yes);
        w.frame.Action(EMwCommand::CatalogueDelete)->trigger();
        QVERIFY(pressed->pressed);
        QVERIFY(pressed->text.contains(QStringLiteral("delete the catalogue:  Disk?")));
        QVERIFY(!tree->Model().FindItem(CCatalogueTreeRecord::KindCatalogue, 1).isValid());
        w.frame.Action(EMwCommand::FileClose)->trigger();
    }

    void aNewCatalogueFillsItselfOnceTheSynchronizerHasWorked()
    {
        CPrivateRuntimeDir runtime;
        QVERIFY(runtime.IsValid());
        // The synchronizer works unattended, offscreen, and ends when it has nothing left to do.
        qputenv("QUARRANE_SYNCH_UNATTENDED", "1");
        const QString media = QDir(Folder()).filePath(QStringLiteral("media"));
        for (const QString& file :
             {QStringLiteral("Films/a.mkv"), QStringLiteral("Music/Rock/b.mp3"), QStringLiteral("c.txt")})
        {
            QDir().mkpath(QFileInfo(media + QLatin1Char('/') + file).absolutePath());
            QFile f(media + QLatin1Char('/') + file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("some bytes");
        }
        CBrowserWindow w;
        CDdeSynchLauncher launcher(w.ui, QStringLiteral(QUARRANE_SYNCH_PATH));
        launcher.SetStartInBackground(true);
        w.doc.Synch().SetSynchLauncher(&launcher);
        w.chooser.Answer(QDir(Folder()).filePath(QStringLiteral("Synch.qrl")));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());

        // The person fills the dialog: a location typed in, then OK.
        bool filled = false;
        QTimer::singleShot(0,
                           [&]
                           {
                               auto* dialog = qobject_cast<CCataloguePropertiesDialog*>(
                                   QApplication::activeModalWidget());
                               if (!dialog)
                                   return;
                               dialog->LocationEdit()->setText(media);
                               emit dialog->LocationEdit()->editingFinished();
                               filled = dialog->CatalogueEdit()->text() == QStringLiteral("media") &&
                                        dialog->SerialLabel()->text() == QStringLiteral("1234ABCD");
                               dialog->accept();
                           });
        w.frame.Action(EMwCommand::CatalogueNew)->trigger();
        QVERIFY2(filled, "the dialog proposed the name and read the volume");
        auto* tree = static_cast<CCatalogueBrowserTreeCtrl*>(w.frame.Navigator()->CatalogueView());
        const QModelIndex item = tree->Model().FindItem(CCatalogueTreeRecord::KindCatalogue, 1);
        QVERIFY(item.isValid());
        QCOMPARE(item.data().toString(), QStringLiteral("media"));
        QVERIFY2(!tree->Model().hasChildren(item), "nothing catalogued yet");

        // No refresh by hand: the synchronizer's notices and the timer after its start do it.
        QTRY_VERIFY_WITH_TIMEOUT(
            tree->Model().hasChildren(tree->Model().FindItem(CCatalogueTreeRecord::KindCatalogue, 1)),
            ScaledTimeout(60000));
        const QModelIndex filledItem = tree->Model().FindItem(CCatalogueTreeRecord::KindCatalogue, 1);
        tree->expand(filledItem);
        QStringList folders;
        for (int row = 0; row < tree->Model().rowCount(filledItem); ++row)
            folders.append(tree->Model().index(row, 0, filledItem).data().toString());
        QCOMPARE(folders, (QStringList{"Films", "Music\\Rock"}));

        w.frame.Action(EMwCommand::FileClose)->trigger();
        w.doc.Synch().SetSynchLauncher(nullptr);
        // It ends by itself once idle.
        QTRY_VERIFY_WITH_TIMEOUT(
            !CConversationClient().Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("probe"), 200),
            ScaledTimeout(30000));
        qunsetenv("QUARRANE_SYNCH_UNATTENDED");
    }

    void dialogsShowWhatTheDocumentGivesThem()
    {
        CCatalogueDialogData data;
        data.bCreate = true;
        data.parents = {{0, QStringLiteral(" <No Group>")}, {1, QStringLiteral("/<Media>")}};
        data.lGroupId = 1;
        data.bUpdateTTH = false;
        int located = 0;
        CCataloguePropertiesDialog dialog(data,
                                          [&](CCatalogueDialogData& d, const QString& location)
                                          {
                                              ++located;
                                              d.strLocation = location;
                                              if (d.strCatalogue.isEmpty())
                                                  d.strCatalogue = QStringLiteral("proposed");
                                              d.strSerial = QStringLiteral("1234ABCD");
                                              d.strDriveType = QStringLiteral("Fixed");
                                          });
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Create New Catalogue"));
        QCOMPARE(dialog.ParentCombo()->currentText(), QStringLiteral("/<Media>"));
        // Keep and Delete only while Update TTH is checked.
        QVERIFY(!dialog.KeepRadio()->isEnabled() && !dialog.DeleteRadio()->isEnabled());
        dialog.UpdateTthCheck()->setChecked(true);
        QVERIFY(dialog.KeepRadio()->isEnabled() && dialog.DeleteRadio()->isEnabled());
        QVERIFY(dialog.KeepRadio()->isChecked());

        QString asked;
        dialog.SetFolderChooser(
            [&](QWidget*, const QString& start)
            {
                asked = start;
                return QStringLiteral("/srv/films");
            });
        dialog.BrowseButton()->click();
        QCOMPARE(located, 1);
        QCOMPARE(dialog.LocationEdit()->text(), QStringLiteral("/srv/films"));
        QCOMPARE(dialog.CatalogueEdit()->text(), QStringLiteral("proposed"));
        QCOMPARE(dialog.SerialLabel()->text(), QStringLiteral("1234ABCD"));
        QCOMPARE(dialog.DriveTypeLabel()->text(), QStringLiteral("Fixed"));
        dialog.DeleteRadio()->setChecked(true);
        dialog.ParentCombo()->setCurrentIndex(0);
        const CCatalogueDialogData result = dialog.Data();
        QVERIFY(result.bUpdateTTH && result.bDeleteDuplicates);
        QCOMPARE(result.lGroupId, 0);
        QVERIFY(result.LocationChanged());

        CCatalogueDialogData existing = data;
        existing.bCreate = false;
        QCOMPARE(CCataloguePropertiesDialog(existing, {}).windowTitle(),
                 QStringLiteral("Catalogue Properties"));

        CGroupDialogData group{false, QStringLiteral("Films"), 1, data.parents};
        CGroupPropertiesDialog groupDialog(group);
        QCOMPARE(groupDialog.windowTitle(), QStringLiteral("Group Properties"));
        QCOMPARE(groupDialog.ParentCombo()->count(), 2);
        groupDialog.GroupEdit()->setText(QStringLiteral("Movies"));
        groupDialog.ParentCombo()->setCurrentIndex(0);
        QCOMPARE(groupDialog.Data().strGroup, QStringLiteral("Movies"));
        QCOMPARE(groupDialog.Data().lParentGroupId, 0);
        group.bCreate = true;
        QCOMPARE(CGroupPropertiesDialog(group).windowTitle(), QStringLiteral("Create New Group"));

        CRelativePathDialogData root{false, false, QString(), 1000};
        CMwRelativePathPropertiesDialog rootDialog(root);
        QCOMPARE(rootDialog.windowTitle(), QStringLiteral("Folder Properties"));
        QVERIFY(rootDialog.FolderEdit()->isReadOnly());
        rootDialog.KeepPriorityEdit()->setValue(5);
        QCOMPARE(rootDialog.Data().lKeepPriority, 5);
        root.bCreate = true;
        QCOMPARE(CMwRelativePathPropertiesDialog(root).windowTitle(), QStringLiteral("Create New Folder"));
    }

private:
    // A fresh folder inside the fixture's fixed disk for each test.
    QString Folder()
    {
        const QString folder = m_dir.filePath(QString::number(++m_nFolder));
        QDir().mkpath(folder);
        return folder;
    }

    QTemporaryDir m_dir;
    QString m_strVolumes;
    CFixtureVolumeTable::CEntry m_disk;
    int m_nFolder = 0;
};

QUARRANE_QTEST_MAIN(CatalogueBrowserTest)
#include "CatalogueBrowserTest.moc"
