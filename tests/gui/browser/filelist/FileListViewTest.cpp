#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "MessageBoxPresser.h"
#include "browser/DragPayloads.h"
#include "browser/QueryRunner.h"
#include "browser/RecordSetList.h"
#include "browser/RecordSetSelection.h"
#include "browser/fileops/FileOperations.h"
#include "browser/models/CatalogueTreeModel.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "gui/browser/NavigatorWnd.h"
#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"
#include "gui/browser/filelist/FieldViewsDialog.h"
#include "gui/browser/filelist/FileListTabs.h"
#include "gui/browser/filelist/MirrowelFolderView.h"
#include "gui/browser/filelist/MirrowelQueryView.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/VolumeTable.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>

namespace
{
const QString kTth1 = QStringLiteral("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
const QString kTth2 = QStringLiteral("BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB");

struct SFile
{
    qint32 id;
    QString name;
    qint32 sizeLow = 1024;
    qint32 sizeHigh = 0;
    bool ghost = false;
    QString tth = {};
    qint32 catalogue = 1;
};

// Runs f once the next modal dialog of type T shows, then lets the test go on.
template <typename T> void WhenShown(std::function<void(T*)> f)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout,
                     [timer, f]
                     {
                         for (QWidget* w : QApplication::topLevelWidgets())
                             if (auto* dialog = qobject_cast<T*>(w); dialog && dialog->isVisible())
                             {
                                 timer->deleteLater();
                                 timer->stop();
                                 f(dialog);
                                 return;
                             }
                     });
    timer->start(10);
}
} // namespace

class FileListViewTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    CFixtureVolumeTable m_volumes;
    std::unique_ptr<CVolumeTableScope> m_pScope;
    std::unique_ptr<CBrowserWindow> m_pWindow;

    QString Path(const QString& name) const { return m_dir.filePath(name); }
    CBrowserWindow& W() { return *m_pWindow; }
    CDbDatabase& Db() { return *W().doc.Database(); }
    CMirrowelFolderView* Folder() { return W().frame.FileListTabs()->FolderView(); }

    void Open(const QString& user = QStringLiteral("ann"))
    {
        m_pWindow = std::make_unique<CBrowserWindow>(user);
        QVERIFY(W().doc.NewDatabase(Path(QStringLiteral("list.qrl"))));
        Db().Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                           "Location, DriveType) VALUES (0, 1, 'Media', 'DATA', ?, ?, 'Fixed'), "
                           "(0, 2, 'Copies', 'DATA', ?, ?, 'Fixed')"),
            {CDbValue(static_cast<qint32>(0x1234ABCD)), CDbValue(Path(QStringLiteral("media"))),
             CDbValue(static_cast<qint32>(0x1234ABCD)), CDbValue(Path(QStringLiteral("copies")))});
        W().frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W().frame));
    }
    void Add(const SFile& f)
    {
        const qsizetype dot = f.name.lastIndexOf(QLatin1Char('.'));
        Db().Execute(QStringLiteral(
                         "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, Extension, FileSize, "
                         "FileSizeHigh, FileSizeDouble, Ghost, TTH) VALUES (?, 0, ?, ?, ?, ?, ?, ?, ?, ?)"),
                     {CDbValue(f.catalogue), CDbValue(f.id), CDbValue(f.name),
                      dot < 0 ? CDbValue::Null() : CDbValue(f.name.mid(dot + 1)), CDbValue(f.sizeLow),
                      CDbValue(f.sizeHigh),
                      CDbValue(double(f.sizeHigh) * 4294967296.0 + double(static_cast<quint32>(f.sizeLow))),
                      CDbValue(f.ghost), f.tth.isEmpty() ? CDbValue::Null() : CDbValue(f.tth)});
    }
    // The root folder of "Media" in the folder view, its rows read and counted.
    void ShowRoot(int rows)
    {
        W().frame.ShowFolderFiles(1, 0);
        QTRY_COMPARE(Folder()->List().rowCount(), rows);
        QTRY_VERIFY(!Folder()->Totals().IsUpdating());
    }
    int RowOf(CMirrowelView* view, const QString& name)
    {
        for (int row = 0; row < view->List().rowCount(); ++row)
            if (view->List().DataCtrl_GetFieldValue(row, QStringLiteral("File.File")).ToString() == name)
                return row;
        return -1;
    }
    QPoint CheckPoint(CMirrowelView* view, int row)
    {
        const QRect cell = view->visualRect(view->List().index(row, 0));
        return QPoint(cell.left() + 6, cell.center().y());
    }
    qint32 Long(const QString& sql)
    {
        CDbStatement st = Db().Prepare(sql);
        return st.Step() ? st.Value(0).ToLong() : -1;
    }
    // A real file with its record: bytes under the catalogue's location, in a folder or the root.
    void AddReal(qint32 id, const QString& folder, qint32 relativePathId, const QString& name,
                 const QByteArray& bytes)
    {
        const QString dir = folder.isEmpty()
                                ? Path(QStringLiteral("media"))
                                : Path(QStringLiteral("media/") + QString(folder).replace('\\', '/'));
        QVERIFY(QDir().mkpath(dir));
        QFile file(QDir(dir).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(bytes), bytes.size());
        file.close();
        Add({id, name, static_cast<qint32>(bytes.size())});
        if (relativePathId != 0)
        {
            if (Long(QStringLiteral("SELECT Count(*) FROM RelativePath WHERE RelativePathId=%1")
                         .arg(relativePathId)) == 0)
                Db().Execute(
                    QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (?, ?)"),
                    {CDbValue(relativePathId), CDbValue(folder)});
            Db().Execute(QStringLiteral("UPDATE File SET RelativePathId=? WHERE FileId=?"),
                         {CDbValue(relativePathId), CDbValue(id)});
        }
    }
    static QByteArray Bytes(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    CCatalogueBrowserTreeCtrl& Tree()
    {
        return *static_cast<CCatalogueBrowserTreeCtrl*>(W().frame.Navigator()->CatalogueView());
    }
    // Drags what the list gives over the tree item and drops it there, choosing the menu entry;
    // waits for the operation to end. The entries the menu offered come back.
    QStringList DropFilesOn(CMirrowelView* view, const QModelIndex& item, const QString& entry)
    {
        std::unique_ptr<QMimeData> data(view->CreateDragData());
        if (!data)
            return {};
        QStringList offered;
        Tree().SetMenuRunner(
            [&](QMenu& menu, const QPoint&) -> QAction*
            {
                QAction* chosen = nullptr;
                for (QAction* action : menu.actions())
                {
                    if (action->isEnabled())
                        offered.append(action->text());
                    if (action->text() == entry)
                        chosen = action;
                }
                return chosen;
            });
        Tree().scrollTo(item);
        const QPoint pos = Tree().visualRect(item).center();
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(pos, actions, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Tree().viewport(), &enter);
        QDragMoveEvent move(pos, actions, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Tree().viewport(), &move);
        if (!move.isAccepted())
            return {};
        QSignalSpy finished(&W().frame.FileOperations(), &CFileOperations::finished);
        QDropEvent drop(QPointF(pos), actions, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Tree().viewport(), &drop);
        if (!offered.contains(entry) || !finished.wait(20000))
            return {};
        return offered;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        m_volumes.SetEntries(
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))});
        m_pScope = std::make_unique<CVolumeTableScope>(m_volumes);
    }

    void cleanup()
    {
        if (m_pWindow)
            m_pWindow->doc.CloseDatabase();
        m_pWindow.reset();
        m_pScope.reset();
        for (const QString& name :
             QDir(m_dir.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot))
            QDir(Path(name)).removeRecursively(), QFile::remove(Path(name));
    }

    void theFolderViewIsTheActiveListOfTheWindow()
    {
        Open();
        Add({1, QStringLiteral("b.txt")});
        Add({2, QStringLiteral("a&b.txt")});
        QSignalSpy changed(&W().frame, &CMainFrame::activeFileListChanged);
        ShowRoot(2);
        QVERIFY(changed.count() > 0);
        QCOMPARE(W().frame.FileListView(), static_cast<QTableView*>(Folder()));
        QCOMPARE(&W().frame.FileList(), &Folder()->List());
        // The default folder view, chosen for the user on first use, by name.
        QCOMPARE(Folder()->FieldViewName(), QStringLiteral("Folder (Default)"));
        QCOMPARE(W().doc.GetDatabaseParameter(QStringLiteral("FolderFileListFieldView_ann")),
                 QStringLiteral("Folder (Default)"));
        // "&" is shown as it is.
        const int row = RowOf(Folder(), QStringLiteral("a&b.txt"));
        QCOMPARE(Folder()->CellText(
                     Folder()->List().index(row, Folder()->ColumnOfField(QStringLiteral("File.File")))),
                 QStringLiteral("a&b.txt"));
        // Every row as tall as the next.
        QCOMPARE(Folder()->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    }

    void checkingActsOnTheSelectionByTheClickedRowsOppositeState()
    {
        Open();
        for (qint32 id = 1; id <= 4; ++id)
            Add({id, QStringLiteral("f%1.txt").arg(id)});
        ShowRoot(4);
        CMirrowelView* view = Folder();
        // Rows 0 and 1 selected, then the check box of row 2, which is not, is clicked.
        view->Selection().Click(0);
        view->Selection().Click(1, Qt::ControlModifier);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, CheckPoint(view, 2));
        QTRY_VERIFY(view->IsChecked(0) && view->IsChecked(1) && view->IsChecked(2));
        QVERIFY(!view->IsChecked(3));
        QCOMPARE(view->Selection().SelectedCount(), 3);
        QCOMPARE(Long(QStringLiteral("SELECT Count(*) FROM FileUserSelect WHERE [User]='ann' AND Mark<>0")),
                 3);
        QTRY_COMPARE(W().frame.CheckedPane()->text(), QStringLiteral("Checked: 3 files, 4 KB"));

        // Row 3 is unchecked: clicking it checks it and the others stay checked, not toggled.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, CheckPoint(view, 3));
        QTRY_VERIFY(view->IsChecked(3));
        QVERIFY(view->IsChecked(0) && view->IsChecked(1) && view->IsChecked(2));
        // Space on a checked focused row unchecks the whole selection.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Space);
        for (int row = 0; row < 4; ++row)
            QVERIFY(!view->IsChecked(row));
        QCOMPARE(Long(QStringLiteral("SELECT Count(*) FROM FileUserSelect WHERE [User]='ann' AND Mark<>0")),
                 0);

        // Select Checked selects exactly the checked rows.
        view->Selection().Click(0);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, CheckPoint(view, 1));
        QVERIFY(view->IsChecked(0) && view->IsChecked(1) && !view->IsChecked(2));
        view->Selection().Click(3);
        W().frame.Action(EMwCommand::FileListSelectChecked)->trigger();
        QCOMPARE(view->Selection().SelectedRows(), (std::vector<int>{0, 1}));
    }

    void totalsShowFourGigabytesAndNoCheckedGhost()
    {
        Open();
        Add({1, QStringLiteral("big.iso"), 0, 1});
        Add({2, QStringLiteral("ghost.txt"), 4096, 0, true});
        Db().Execute(
            QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (1, 'ann', TRUE), "
                           "(2, 'ann', TRUE)"));
        ShowRoot(2);
        QCOMPARE(W().frame.TotalPane()->text(), QStringLiteral("Total: 1 files, 4.00 GB"));
        QCOMPARE(W().frame.CheckedPane()->text(), QStringLiteral("Checked: 1 files, 4.00 GB"));
        QVERIFY(Folder()->IsChecked(RowOf(Folder(), QStringLiteral("ghost.txt"))));
        QVERIFY(Folder()->IsGhost(RowOf(Folder(), QStringLiteral("ghost.txt"))));
    }

    void typingJumpsToTheFirstFileOfThatLetterAndFindRemembersItsCriterion()
    {
        Open();
        Add({1, QStringLiteral("alpha.txt")});
        Add({2, QStringLiteral("'quoted'.txt")});
        Add({3, QStringLiteral("beta.txt")});
        Add({4, QStringLiteral("beta2.txt")});
        ShowRoot(4);
        CMirrowelView* view = Folder();
        view->setFocus();
        QTest::keyClick(view, '\'');
        QCOMPARE(view->FocusedRow(), RowOf(view, QStringLiteral("'quoted'.txt")));
        QTest::keyClick(view, 'b');
        QCOMPARE(view->FocusedRow(), RowOf(view, QStringLiteral("beta.txt")));
        QVERIFY(view->Selection().IsSelected(view->FocusedRow()));

        QVERIFY(view->FindFirst(QStringLiteral("File.File LIKE 'beta*'")));
        QCOMPARE(view->FocusedRow(), RowOf(view, QStringLiteral("beta.txt")));
        W().frame.Action(EMwCommand::EditFindNext)->trigger();
        QCOMPARE(view->FocusedRow(), RowOf(view, QStringLiteral("beta2.txt")));
        QVERIFY(!view->FindNext());
        QCOMPARE(view->FindCriterion(), QStringLiteral("File.File LIKE 'beta*'"));

        // The focused file keeps the focus when the list is sorted the other way round.
        const int before = view->FocusedRow();
        const int nameColumn = view->ColumnOfField(QStringLiteral("File.File"));
        view->horizontalHeader()->sectionClicked(nameColumn);
        view->horizontalHeader()->sectionClicked(nameColumn);
        QTRY_VERIFY(!view->List().IsLoading());
        QCOMPARE(view->List().Sql().SortColumn(), -(nameColumn + 1));
        QCOMPARE(view->FocusedFileId(), 4);
        QCOMPARE(RowOf(view, QStringLiteral("beta2.txt")), view->FocusedRow());
        QVERIFY(view->FocusedRow() != before);
    }

    void renameInPlaceRenamesTheFileAndItsRecord()
    {
        Open();
        QDir().mkpath(Path(QStringLiteral("media")));
        QFile file(Path(QStringLiteral("media/report.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        Add({1, QStringLiteral("report.txt")});
        ShowRoot(1);
        CMirrowelView* view = Folder();
        view->Selection().Click(0);
        W().frame.Action(EMwCommand::FileListRename)->trigger();
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = view->findChild<QLineEdit*>()) != nullptr && editor->isVisible());
        QCOMPARE(editor->text(), QStringLiteral("report.txt"));
        editor->setText(QStringLiteral("  summary  "));
        // A page read while the name is typed leaves the typed name alone.
        emit view->List().dataChanged(view->List().index(0, 0),
                                      view->List().index(0, view->List().columnCount() - 1));
        QCOMPARE(editor->text(), QStringLiteral("  summary  "));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(QFileInfo::exists(Path(QStringLiteral("media/summary"))));
        QVERIFY(!QFileInfo::exists(Path(QStringLiteral("media/report.txt"))));
        CDbStatement st = Db().Prepare(QStringLiteral("SELECT File, Extension FROM File WHERE FileId=1"));
        QVERIFY(st.Step());
        QCOMPARE(st.Value(0).ToString(), QStringLiteral("summary"));
        QVERIFY(st.Value(1).IsNull());
        QTRY_COMPARE(view->List()
                         .data(view->List().index(0, view->ColumnOfField(QStringLiteral("File.File"))))
                         .toString(),
                     QStringLiteral("summary"));
    }

    void renameWorksWhenNoColumnShowsTheName()
    {
        Open();
        QDir().mkpath(Path(QStringLiteral("media")));
        for (const char* name : {"first.txt", "second.txt"})
        {
            QFile file(Path(QStringLiteral("media/") + QLatin1String(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        Add({1, QStringLiteral("first.txt")});
        Add({2, QStringLiteral("second.txt")});
        // The folder view's fields without the file name.
        Db().Execute(QStringLiteral("DELETE FROM FileListFieldViewField WHERE FileListFieldViewId=1 AND "
                                    "FieldId IN (SELECT FieldId FROM Field WHERE TableField='File.File')"));
        ShowRoot(2);
        CMirrowelView* view = Folder();
        view->ApplyCurrentFieldView();
        QTRY_VERIFY(!view->List().IsLoading());
        QCOMPARE(view->List().rowCount(), 2);
        QCOMPARE(view->ColumnOfField(QStringLiteral("File.File")), -1);
        QVERIFY(view->List().columnCount() > 0);
        const int row = RowOf(view, QStringLiteral("first.txt"));
        view->Selection().Click(row);

        // Escape leaves the name as it is.
        W().frame.Action(EMwCommand::FileListRename)->trigger();
        QLineEdit* editor = nullptr;
        QTRY_VERIFY((editor = view->findChild<QLineEdit*>()) != nullptr && editor->isVisible());
        QVERIFY(view->IsEditing());
        QCOMPARE(editor->text(), QStringLiteral("first.txt"));
        // Over the row, within the first column, after the check box and the icon.
        const QRect cell =
            view->visualRect(view->List().index(row, view->horizontalHeader()->logicalIndex(0)));
        QCOMPARE(editor->geometry().top(), cell.top());
        QVERIFY(editor->geometry().left() > cell.left());
        QTest::keyClick(editor, Qt::Key_Escape);
        QTRY_VERIFY(!view->IsEditing());
        QVERIFY(QFileInfo::exists(Path(QStringLiteral("media/first.txt"))));

        // Return renames the file and its record, trimmed.
        W().frame.Action(EMwCommand::FileListRename)->trigger();
        QTRY_VERIFY((editor = view->findChild<QLineEdit*>()) != nullptr && editor->isVisible());
        editor->setText(QStringLiteral(" renamed.txt "));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(QFileInfo::exists(Path(QStringLiteral("media/renamed.txt"))));
        QVERIFY(!QFileInfo::exists(Path(QStringLiteral("media/first.txt"))));
        QVERIFY(QFileInfo::exists(Path(QStringLiteral("media/second.txt"))));
        CDbStatement st = Db().Prepare(QStringLiteral("SELECT File FROM File WHERE FileId=1"));
        QVERIFY(st.Step());
        QCOMPARE(st.Value(0).ToString(), QStringLiteral("renamed.txt"));
        QTRY_VERIFY(!view->IsEditing());

        // A window closed during the edit: the name leaving the editor is taken as on any focus
        // change, and the file and its record agree on it.
        W().frame.Action(EMwCommand::FileListRename)->trigger();
        QTRY_VERIFY((editor = view->findChild<QLineEdit*>()) != nullptr && editor->isVisible());
        editor->setText(QStringLiteral("closing.txt"));
        m_pWindow.reset();
        CDbDatabase db;
        db.Open(Path(QStringLiteral("list.qrl")));
        CDbStatement name = db.Prepare(QStringLiteral("SELECT File FROM File WHERE FileId=1"));
        QVERIFY(name.Step());
        const QString kept = name.Value(0).ToString();
        QVERIFY(kept == QStringLiteral("closing.txt") || kept == QStringLiteral("renamed.txt"));
        QVERIFY(QFileInfo::exists(Path(QStringLiteral("media/") + kept)));
        QCOMPARE(QDir(Path(QStringLiteral("media"))).entryList(QDir::Files).size(), 2);
    }

    void aMissingFileInformationRowShowsDeleted()
    {
        Open();
        Add({1, QStringLiteral("described.txt")});
        Add({2, QStringLiteral("orphan.txt")});
        Add({3, QStringLiteral("plain.txt")});
        Db().Execute(
            QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description) VALUES (7, 'kept'), (8, 'gone')"));
        Db().Execute(QStringLiteral("UPDATE File SET FileInfoId=7 WHERE FileId=1"));
        Db().Execute(QStringLiteral("UPDATE File SET FileInfoId=8 WHERE FileId=2"));
        // Another program left a file pointing at information it removed.
        Db().ExecuteSqliteScript(QStringLiteral(
            "PRAGMA foreign_keys=OFF; DELETE FROM FileInfo WHERE FileInfoId=8; PRAGMA foreign_keys=ON;"));
        ShowRoot(3);
        CMirrowelView* view = Folder();
        const int description = view->ColumnOfField(QStringLiteral("FileInfo.Description"));
        QVERIFY(description >= 0);
        auto text = [&](const QString& name)
        {
            const QModelIndex index = view->List().index(RowOf(view, name), description);
            return view->CellText(index);
        };
        QTRY_COMPARE(text(QStringLiteral("orphan.txt")), QStringLiteral("<Deleted>"));
        QCOMPARE(text(QStringLiteral("described.txt")), QStringLiteral("kept"));
        QCOMPARE(text(QStringLiteral("plain.txt")), QString());
    }

    void theListHoldsWhatItPaintsAndReadsANewViewsColumns()
    {
        Open();
        Add({1, QStringLiteral("shown.txt"), 1024, 0, false, kTth1});
        Add({2, QStringLiteral("ghost.bin"), 2048, 0, true, kTth2});
        Db().Execute(QStringLiteral("UPDATE File SET DontMark=True WHERE FileId=1"));
        ShowRoot(2);
        CMirrowelView* view = Folder();
        view->SetFileListFieldView(QStringLiteral("Folder (Minimal)"));
        QTRY_VERIFY(!view->List().IsLoading());
        QCOMPARE(view->List().rowCount(), 2);
        const CRecordSetList& list = view->List();
        QCOMPARE(view->ColumnOfField(QStringLiteral("File.TTH")), -1);
        QVERIFY(list.Sql().FieldIndex(QStringLiteral("File.TTH")) >= 0);
        QVERIFY(!list.IsCachedField(list.Sql().FieldIndex(QStringLiteral("File.TTH"))));
        // What a row's look comes from is held though no column shows it.
        for (const char* name : {"File.Deleted", "File.Ghost", "File.DontMark", "File.Extension",
                                 "File.FileInfoId", "FileInfo.FileInfoId", "File.File"})
            QVERIFY2(list.IsCachedField(list.Sql().FieldIndex(QLatin1String(name))), name);
        const int ghost = RowOf(view, QStringLiteral("ghost.bin"));
        const int shown = RowOf(view, QStringLiteral("shown.txt"));
        QTRY_VERIFY(view->IsGhost(ghost));
        QVERIFY(!view->IsGhost(shown));
        QVERIFY(view->IsDontMark(shown));
        QVERIFY(!view->IsDontMark(ghost));
        QCOMPARE(view->Extension(ghost), QStringLiteral("bin"));
        QVERIFY(!view->IsDeleted(shown));

        // The default view chosen on the open list: its further columns come with the pages.
        view->SetFileListFieldView(QStringLiteral("Folder (Default)"));
        const int tth = view->ColumnOfField(QStringLiteral("File.TTH"));
        QVERIFY(tth >= 0);
        QTRY_COMPARE(view->CellText(list.index(RowOf(view, QStringLiteral("ghost.bin")), tth)), kTth2);
        QCOMPARE(view->CellText(list.index(RowOf(view, QStringLiteral("shown.txt")), tth)), kTth1);
        QVERIFY(list.IsCachedField(list.Sql().FieldIndex(QStringLiteral("File.TTH"))));
    }

    void queryViewsAreTabsFoundByNameWithGroupedBands()
    {
        Open();
        Add({1, QStringLiteral("one.bin"), 2048, 0, false, kTth1});
        Add({2, QStringLiteral("one copy.bin"), 2048, 0, false, kTth1, 2});
        Add({3, QStringLiteral("two.bin"), 4096, 0, false, kTth2});
        Add({4, QStringLiteral("two copy.bin"), 4096, 0, false, kTth2, 2});
        Db().Execute(QStringLiteral(
            "INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (5, 'old\\2024')"));
        Db().Execute(QStringLiteral("UPDATE File SET RelativePathId=5 WHERE FileId=4"));
        const QString name = QStringLiteral("Check Duplicates For Deletion in All Catalogues");
        const qint32 queryId = W().doc.Queries().QueryIdFromName(name);
        QVERIFY(queryId > 0);
        QVERIFY(W().doc.Queries().ExecuteQuery(queryId));
        CFileListTabs* tabs = W().frame.FileListTabs();
        QCOMPARE(tabs->QueryViewCount(), 1);
        CMirrowelQueryView* view = tabs->QueryView(name.toUpper());
        QVERIFY(view);
        QCOMPARE(W().frame.FileListView(), static_cast<QTableView*>(view));
        QTRY_COMPARE(view->List().rowCount(), 4);
        QCOMPARE(view->FieldViewName(), QStringLiteral("Query (Default)"));
        // Two groups, each in its own band.
        QList<bool> bands;
        for (int row = 0; row < 4; ++row)
            bands.append(view->List().index(row, 0).data(CRecordSetList::BandRole).toBool());
        QCOMPARE(bands[0], bands[1]);
        QCOMPARE(bands[2], bands[3]);
        QVERIFY(bands[1] != bands[2]);
        // One copy of each group checked, one kept.
        QTRY_VERIFY(!view->Totals().IsUpdating());
        QCOMPARE(view->Totals().CheckedCount(), 2u);
        // A folder reads with the separator of this system.
        const int folderColumn = view->ColumnOfField(QStringLiteral("RelativePath.RelativePath"));
        QVERIFY(folderColumn >= 0);
        // Cells show once their page is read.
        const auto folders = [&]
        {
            QStringList shown;
            for (int row = 0; row < 4; ++row)
                shown.append(view->CellText(view->List().index(row, folderColumn)));
            return shown;
        };
        QTRY_VERIFY2(folders().contains(QStringLiteral("old/2024")),
                     qPrintable(folders().join(QLatin1Char(','))));

        QVERIFY(W().doc.Queries().ExecuteQuery(queryId));
        QCOMPARE(tabs->QueryViewCount(), 1);
        QCOMPARE(tabs->currentWidget(), static_cast<QWidget*>(view));
        tabs->setCurrentWidget(tabs->FolderView());
        QCOMPARE(W().frame.FileListView(), static_cast<QTableView*>(tabs->FolderView()));
    }

    void fieldViewsComeFromTheMenuAndTheirWidthsArePerUser()
    {
        Open();
        Add({1, QStringLiteral("a.txt")});
        ShowRoot(1);
        QMenu* menu = W().frame.FieldViewMenu(true);
        QVERIFY(menu->isEnabled());
        W().frame.FillFieldViewMenu(true);
        QStringList items;
        QAction* minimal = nullptr;
        for (QAction* action : menu->actions())
        {
            if (action->isSeparator())
                continue;
            items.append(action->text());
            if (action->text() == QStringLiteral("Folder (Minimal)"))
                minimal = action;
            if (action->text() == QStringLiteral("Folder (Default)"))
                QVERIFY(action->isChecked());
        }
        QCOMPARE(items.last(), QStringLiteral("Customize File List Fields..."));
        QVERIFY(minimal);
        minimal->trigger();
        QCOMPARE(W().doc.GetDatabaseParameter(QStringLiteral("FolderFileListFieldView_ann")),
                 QStringLiteral("Folder (Minimal)"));
        QCOMPARE(Folder()->FieldViewName(), QStringLiteral("Folder (Minimal)"));
        QTRY_COMPARE(Folder()->List().columnCount(), 6);
        QTRY_COMPARE(Folder()->List().rowCount(), 1);

        // bob's width of the File column of this view stays as he left it.
        Db().Execute(QStringLiteral(
            "INSERT INTO FileListFieldViewFieldUserValues ([User], FileListFieldViewId, FieldId, "
            "Width) VALUES ('bob', 4, 15, 77)"));
        Folder()->horizontalHeader()->resizeSection(0, 345);
        QTRY_COMPARE(
            Long(QStringLiteral("SELECT Width FROM FileListFieldViewFieldUserValues WHERE [User]='ann' AND "
                                "FileListFieldViewId=4 AND FieldId=15")),
            345);
        QCOMPARE(
            Long(QStringLiteral("SELECT Width FROM FileListFieldViewFieldUserValues WHERE [User]='bob' AND "
                                "FileListFieldViewId=4 AND FieldId=15")),
            77);
        // The next list of this view opens with ann's width.
        Folder()->SetFileListFieldView(QStringLiteral("Folder (Minimal)"));
        QCOMPARE(Folder()->horizontalHeader()->sectionSize(0), 345);

        // A view that is gone gives no columns.
        Db().Execute(QStringLiteral("DELETE FROM FileListFieldView WHERE FileListFieldViewId=4"));
        Folder()->ApplyCurrentFieldView();
        QCOMPARE(Folder()->List().columnCount(), 0);
    }

    void theFieldViewsDialogKeepsNothingOnCancel()
    {
        Open();
        const QString tables = QStringLiteral("SELECT (SELECT Count(*) FROM FileListFieldView) * 1000 + "
                                              "(SELECT Count(*) FROM FileListFieldViewField)");
        const qint32 before = Long(tables);
        QStringList names;
        WhenShown<CMwFileListFieldViewsDialog>(
            [&](CMwFileListFieldViewsDialog* dialog)
            {
                for (int i = 0; i < 3; ++i)
                    dialog->Button(QStringLiteral("New"))->click();
                for (int i = 0; i < dialog->ViewList()->count(); ++i)
                    names.append(dialog->ViewList()->itemText(i));
                // A field for the last one, then Delete, confirmed.
                dialog->AvailableList()->setCurrentRow(0);
                dialog->Button(QStringLiteral("Add >"))->click();
                auto presser = PressWhenShown(QMessageBox::Yes);
                dialog->Button(QStringLiteral("Delete"))->click();
                QVERIFY(presser->pressed);
                QCOMPARE(presser->text, QStringLiteral("Delete File List Field View \"New Field View3\"?"));
                dialog->reject();
            });
        QVERIFY(!W().frame.CustomizeFieldViews());
        QVERIFY(names.contains(QStringLiteral("New Field View")));
        QVERIFY(names.contains(QStringLiteral("New Field View2")));
        QVERIFY(names.contains(QStringLiteral("New Field View3")));
        QCOMPARE(Long(tables), before);

        // OK keeps a new view and the menu offers it.
        WhenShown<CMwFileListFieldViewsDialog>(
            [&](CMwFileListFieldViewsDialog* dialog)
            {
                dialog->Button(QStringLiteral("New"))->click();
                dialog->ViewList()->lineEdit()->setText(QStringLiteral("Mine"));
                dialog->accept();
            });
        QVERIFY(W().frame.CustomizeFieldViews());
        QCOMPARE(
            Long(QStringLiteral("SELECT Count(*) FROM FileListFieldView WHERE FileListFieldView='Mine' AND "
                                "[User]='ann'")),
            1);
        W().frame.FillFieldViewMenu(false);
        bool offered = false;
        for (QAction* action : W().frame.FieldViewMenu(false)->actions())
            offered = offered || action->text() == QStringLiteral("Mine");
        QVERIFY(offered);
    }

    void filesDraggedFromTheListAreMovedAndCopiedWhereTheyAreDropped()
    {
        Open();
        // New rows (copies) take identifiers after those written here.
        Db().Execute(
            QStringLiteral("DELETE FROM IndexId WHERE [Index] IN ('File_FileId', 'File_SimilarityId')"));
        Db().Execute(QStringLiteral("INSERT INTO IndexId ([Index], IndexId) VALUES ('File_FileId', 100), "
                                    "('File_SimilarityId', 100)"));
        AddReal(1, QStringLiteral("Music\\Rock"), 5, QStringLiteral("song.mp3"),
                QByteArray("la la la\0\x01", 10));
        AddReal(2, QString(), 0, QStringLiteral("a.txt"), QByteArray("alpha"));
        AddReal(3, QString(), 0, QStringLiteral("b.txt"), QByteArray("bravo"));
        AddReal(4, QString(), 0, QStringLiteral("c.txt"), QByteArray("charlie"));
        Tree().OnMwRequery();
        const QModelIndex copies = Tree().Model().FindItem(CCatalogueTreeRecord::KindCatalogue, 2);
        QVERIFY(copies.isValid());
        QVERIFY(!Tree().Model().hasChildren(copies));

        // The song, copied keeping its folder: the copy lies in the same folder of the other medium,
        // and that catalogue shows the folder without a manual refresh.
        W().frame.ShowFolderFiles(1, 5);
        QTRY_COMPARE(Folder()->List().rowCount(), 1);
        Folder()->Selection().Click(0);
        {
            std::unique_ptr<QMimeData> data(Folder()->CreateDragData());
            QVERIFY(data);
            const auto payload = FileIdListPayload(data.get());
            QVERIFY(payload);
            QCOMPARE(payload->strDatabasePath, W().doc.Path());
            QCOMPARE(payload->lCatalogueId, 1);
            QCOMPARE(payload->lRelativePathId, 5);
            QCOMPARE(payload->lGroupId, 0);
            QCOMPARE(payload->lFocusFileId, 1);
            QCOMPARE(payload->fileIds, (std::vector<qint32>{1}));
        }
        QCOMPARE(DropFilesOn(Folder(), copies, QStringLiteral("Cop&y to Subfolders")),
                 (QStringList{"Move to &Subfolders", "Cop&y to Subfolders", "&Move Here", "&Copy Here"}));
        QCOMPARE(Bytes(Path(QStringLiteral("copies/Music/Rock/song.mp3"))), QByteArray("la la la\0\x01", 10));
        QCOMPARE(Bytes(Path(QStringLiteral("media/Music/Rock/song.mp3"))), QByteArray("la la la\0\x01", 10));
        QCOMPARE(Long(QStringLiteral("SELECT Count(*) FROM File WHERE CatalogueId=2 AND RelativePathId=5 "
                                     "AND FileId<>1 AND Deleted=0")),
                 1);
        QTRY_VERIFY(Tree().Model().hasChildren(copies));
        if (Tree().Model().canFetchMore(copies))
            Tree().Model().fetchMore(copies);
        QCOMPARE(Tree().Model().rowCount(copies), 1);
        QCOMPARE(Tree().Model().index(0, 0, copies).data().toString(), QStringLiteral("Music\\Rock"));

        // Two of three root files moved to the other catalogue's root: they leave this medium and
        // this list, and the focus lands on the row that is left.
        ShowRoot(3);
        Folder()->Selection().Click(RowOf(Folder(), QStringLiteral("a.txt")));
        Folder()->Selection().Click(RowOf(Folder(), QStringLiteral("b.txt")), Qt::ControlModifier);
        QVERIFY(!DropFilesOn(Folder(), copies, QStringLiteral("&Move Here")).isEmpty());
        QCOMPARE(Bytes(Path(QStringLiteral("copies/a.txt"))), QByteArray("alpha"));
        QCOMPARE(Bytes(Path(QStringLiteral("copies/b.txt"))), QByteArray("bravo"));
        QVERIFY(!QFileInfo::exists(Path(QStringLiteral("media/a.txt"))));
        QVERIFY(!QFileInfo::exists(Path(QStringLiteral("media/b.txt"))));
        QCOMPARE(Long(QStringLiteral("SELECT Count(*) FROM File WHERE CatalogueId=2 AND RelativePathId=0 "
                                     "AND FileId IN (2, 3)")),
                 2);
        QCOMPARE(Folder()->List().rowCount(), 1);
        QCOMPARE(Folder()->FocusedFileId(), 4);
        QCOMPARE(Folder()->Selection().SelectedKeys(), (std::vector<qint32>{4}));
        QCOMPARE(Folder()->Selection().Anchor(), 0);

        // Files of another database are refused by the tree; no menu shows.
        CFileIdListPayload foreign{Path(QStringLiteral("other.qrl")), 0, 1, 0, 4, {4}};
        std::unique_ptr<QMimeData> data(CreateFileIdListMimeData(foreign));
        const QPoint pos = Tree().visualRect(copies).center();
        QDragMoveEvent move(pos, Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Tree().viewport(), &move);
        QVERIFY(!move.isAccepted());
    }

    void afterDeletingTheFocusLandsOnTheNextRowAndRangesStartThere()
    {
        Open();
        const QStringList names{"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"};
        for (int i = 0; i < names.size(); ++i)
            AddReal(i + 1, QString(), 0, names[i], names[i].toLatin1());
        ShowRoot(6);
        CMirrowelView* view = Folder();
        // b and c go; d, the first row after them that stays, takes the focus and the selection.
        view->Selection().Click(1);
        view->Selection().Click(2, Qt::ShiftModifier);
        QSignalSpy finished(&W().frame.FileOperations(), &CFileOperations::finished);
        auto yes = PressWhenShown(QMessageBox::Yes);
        W().frame.Action(EMwCommand::FileListDeleteSelected)->trigger();
        QVERIFY(finished.wait(20000));
        QVERIFY(yes->pressed);
        QCOMPARE(view->List().rowCount(), 4);
        QCOMPARE(view->FocusedFileId(), 4);
        QCOMPARE(view->Selection().SelectedKeys(), (std::vector<qint32>{4}));
        // The range keys start from that row, the list's own anchor.
        view->setFocus();
        QTest::keyClick(view, Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(view->Selection().SelectedKeys(), (std::vector<qint32>{1, 4}));
        QCOMPARE(view->FocusedFileId(), 1);

        // Ghosting keeps the focused file and leaves the ghosts unselected.
        view->Selection().Click(RowOf(view, QStringLiteral("e.txt")));
        view->Selection().Click(RowOf(view, QStringLiteral("f.txt")), Qt::ShiftModifier);
        auto ghostYes = PressWhenShown(QMessageBox::Yes);
        W().frame.Action(EMwCommand::FileListGhostSelected)->trigger();
        QVERIFY(finished.wait(20000));
        QVERIFY(ghostYes->pressed);
        QCOMPARE(Long(QStringLiteral("SELECT Count(*) FROM File WHERE Ghost<>0 AND FileId IN (5, 6)")), 2);
        QVERIFY(!QFileInfo::exists(Path(QStringLiteral("media/e.txt"))));
        QCOMPARE(view->FocusedFileId(), 6);
        QVERIFY(view->Selection().SelectedKeys().empty());
        QCOMPARE(Bytes(Path(QStringLiteral("media/a.txt"))), QByteArray("a.txt"));
    }

    void aFileDeletedInOneListShowsDeletedInTheOthers()
    {
        Open();
        AddReal(1, QString(), 0, QStringLiteral("one.bin"), QByteArray("same bytes"));
        Add({2, QStringLiteral("one copy.bin"), 10, 0, false, kTth1, 2});
        Db().Execute(QStringLiteral("UPDATE File SET TTH=? WHERE FileId=1"), {CDbValue(kTth1)});
        const QString name = QStringLiteral("Check Duplicates For Deletion in All Catalogues");
        QVERIFY(W().doc.Queries().ExecuteQuery(W().doc.Queries().QueryIdFromName(name)));
        CMirrowelView* query = W().frame.FileListTabs()->QueryView(name);
        QTRY_COMPARE(query->List().rowCount(), 2);
        const int row = query->List().RowOfKey(1);
        QTRY_VERIFY(query->List().index(row, 0).data(CRecordSetList::LoadingRole).toBool() == false);
        QVERIFY(!query->IsDeleted(row));

        ShowRoot(1);
        Folder()->Selection().Click(0);
        QSignalSpy finished(&W().frame.FileOperations(), &CFileOperations::finished);
        auto yes = PressWhenShown(QMessageBox::Yes);
        W().frame.Action(EMwCommand::FileListDeleteSelected)->trigger();
        QVERIFY(finished.wait(20000));
        QVERIFY(yes->pressed);
        QCOMPARE(Folder()->List().rowCount(), 0);
        QTRY_VERIFY(query->IsDeleted(query->List().RowOfKey(1)));
    }

    void keysSelectRangesFromTheListsOwnAnchor()
    {
        Open();
        for (qint32 id = 1; id <= 40; ++id)
            Add({id, QStringLiteral("f%1.txt").arg(id, 2, 10, QLatin1Char('0'))});
        ShowRoot(40);
        CMirrowelView* view = Folder();
        view->setFocus();
        view->Selection().Click(5);
        QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
        QTest::keyClick(view, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(view->Selection().SelectedRows(), (std::vector<int>{5, 6, 7}));
        // Back over the anchor: the rows of the previous range beyond it are cleared.
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(view, Qt::Key_Up, Qt::ShiftModifier);
        QCOMPARE(view->Selection().SelectedRows(), (std::vector<int>{3, 4, 5}));
        QCOMPARE(view->FocusedRow(), 3);
        // Ctrl moves the focus alone; a Shift key then ranges from the anchor, not the focus.
        QTest::keyClick(view, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(view->FocusedRow(), 4);
        QCOMPARE(view->Selection().SelectedRows(), (std::vector<int>{3, 4, 5}));
        QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
        QCOMPARE(view->Selection().SelectedCount(), 35);
        QCOMPARE(view->FocusedRow(), 39);
        QTest::keyClick(view, Qt::Key_PageUp, Qt::ShiftModifier);
        const int paged = view->FocusedRow();
        QVERIFY2(paged < 39 && paged > 5, qPrintable(QString::number(paged)));
        QCOMPARE(view->Selection().SelectedCount(), paged - 5 + 1);
        // A plain key selects one row and makes it the anchor.
        QTest::keyClick(view, Qt::Key_Home);
        QCOMPARE(view->Selection().SelectedRows(), (std::vector<int>{0}));
        QTest::keyClick(view, Qt::Key_PageDown, Qt::ShiftModifier);
        QCOMPARE(view->Selection().SelectedRows().front(), 0);
        QCOMPARE(view->Selection().Anchor(), 0);

        // A press on a row of a selection keeps the selection (a drag may follow); the release
        // without a drag leaves that row alone selected.
        view->Selection().Click(2);
        view->Selection().Click(4, Qt::ShiftModifier);
        const QPoint at = view->visualRect(view->List().index(3, 1)).center();
        QTest::mousePress(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(view->Selection().SelectedRows(), (std::vector<int>{2, 3, 4}));
        QCOMPARE(view->FocusedRow(), 3);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(view->Selection().SelectedRows(), (std::vector<int>{3}));
    }

    void deletingACatalogueLeavesNoListShowingItsFiles()
    {
        Open();
        Add({1, QStringLiteral("one.bin"), 2048, 0, false, kTth1});
        Add({2, QStringLiteral("one copy.bin"), 2048, 0, false, kTth1, 2});
        Add({3, QStringLiteral("two.bin"), 4096, 0, false, kTth2});
        Add({4, QStringLiteral("two copy.bin"), 4096, 0, false, kTth2, 2});
        Add({5, QStringLiteral("three copy.bin"), 4096, 0, false, kTth2, 2});
        const qint32 queryId = W().doc.Queries().QueryIdFromName(
            QStringLiteral("Check Duplicates For Deletion in All Catalogues"));
        QVERIFY(W().doc.Queries().ExecuteQuery(queryId));
        CMirrowelView* query = W().frame.FileListTabs()->QueryView(
            QStringLiteral("Check Duplicates For Deletion in All Catalogues"));
        QVERIFY(query);
        QTRY_COMPARE(query->List().rowCount(), 5);
        Tree().OnMwRequery();
        ShowRoot(2);

        // The catalogue deleted through the tree's command; the folder view showed it.
        Tree().setCurrentIndex(Tree().Model().FindItem(CCatalogueTreeRecord::KindCatalogue, 1));
        QTRY_COMPARE(Folder()->CatalogueId(), 1);
        auto yes = PressWhenShown(QMessageBox::Yes);
        Tree().OnMwDeleteCatalogue();
        QVERIFY(yes->pressed);
        QCOMPARE(Long(QStringLiteral("SELECT Count(*) FROM Catalogue WHERE CatalogueId=1")), 0);
        QVERIFY(Folder()->CatalogueId() != 1);
        QTRY_VERIFY(!Folder()->List().IsLoading());
        for (int row = 0; row < Folder()->List().rowCount(); ++row)
            QCOMPARE(
                Folder()->List().DataCtrl_GetFieldValue(row, QStringLiteral("File.CatalogueId")).ToLong(), 2);
        // The query runs again: no row of the deleted catalogue is left in it.
        QTRY_VERIFY(!query->List().IsLoading());
        QTRY_COMPARE(query->List().rowCount(), 3);
        for (int row = 0; row < query->List().rowCount(); ++row)
            QCOMPARE(query->List().DataCtrl_GetFieldValue(row, QStringLiteral("File.CatalogueId")).ToLong(),
                     2);
    }

    void openingADatabaseShowsTheFilesOfItsFirstCatalogue()
    {
        Open();
        Add({1, QStringLiteral("m.txt")});
        Add({2, QStringLiteral("c1.txt"), 1024, 0, false, QString(), 2});
        Add({3, QStringLiteral("c2.txt"), 1024, 0, false, QString(), 2});
        // A group first in the tree, holding the catalogue that sorts first.
        Db().Execute(
            QStringLiteral("INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (1, 'Archive', 0)"));
        Db().Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                           "Location, DriveType) VALUES (1, 3, 'Attic', 'DATA', 0, '/nowhere', 'Fixed')"));
        const QString path = W().doc.Path();
        W().doc.CloseDatabase();
        QCOMPARE(Folder()->List().rowCount(), 0);

        // The first catalogue at the top, not the one inside the group.
        QVERIFY(W().frame.OpenFile(path));
        QTRY_COMPARE(Folder()->CatalogueId(), 2);
        QTRY_COMPARE(Folder()->List().rowCount(), 2);
        QCOMPARE(Tree().Model().Record(Tree().currentIndex()).lCatalogueId, 2);

        // Without catalogues at the top, the first inside the groups.
        Db().Execute(QStringLiteral("UPDATE Catalogue SET GroupId=1"));
        W().doc.CloseDatabase();
        QVERIFY(W().frame.OpenFile(path));
        QTRY_COMPARE(Folder()->CatalogueId(), 3);
        QCOMPARE(Folder()->List().rowCount(), 0);
    }

    void exportListWritesTheActiveListAsAJob()
    {
        Open();
        Add({1, QStringLiteral("b, c.txt"), 10});
        Add({2, QStringLiteral("a.txt"), 20});
        ShowRoot(2);
        Folder()->SetFileListFieldView(QStringLiteral("Folder (Minimal)"));
        QTRY_COMPARE(Folder()->List().rowCount(), 2);
        const QString out = Path(QStringLiteral("list.csv"));
        QSignalSpy finished(&W().doc.Jobs(), &CJobRunner::jobFinished);
        W().chooser.Answer(out);
        W().frame.Action(EMwCommand::FileListExportList)->trigger();
        QTRY_COMPARE(finished.count(), 1);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 QStringLiteral("File,Size,Keywords,Categories,Description,Notes\r\na.txt,20,,,,\r\n\"b, "
                                "c.txt\",10,,,,\r\n"));
        QCOMPARE(W().chooser.asked.back().defaultSuffix, QStringLiteral("csv"));
    }
};

QUARRANE_QTEST_MAIN(FileListViewTest)
#include "FileListViewTest.moc"
