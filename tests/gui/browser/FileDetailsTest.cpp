#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "browser/BrowserSettings.h"
#include "browser/CurrentFileEditor.h"
#include "browser/RecordSetList.h"
#include "browser/RecordSetSelection.h"
#include "browser/models/AttributeListModel.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "gui/browser/AttributeSplitterWnd.h"
#include "gui/browser/NavigatorWnd.h"
#include "gui/browser/attributes/AttributesListView.h"
#include "gui/browser/attributes/FileDetailsFormView.h"

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>

// The window over a database of three files; the file list shows them by name and keeps its
// place across resets by FileId, as the file list does.
class FileDetailsTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<CBrowserWindow> m_pWindow;
    std::unique_ptr<CRecordSetSelection> m_pSelection;

    CBrowserWindow& W() { return *m_pWindow; }
    CDbDatabase& Db() { return *W().doc.Database(); }
    QString Text(const QString& sql)
    {
        CDbStatement st = Db().Prepare(sql);
        return st.Step() ? st.Value(0).ToString() : QStringLiteral("<none>");
    }
    // Files a.txt, b.txt and c.txt are FileIds 1, 2 and 3.
    int RowOf(const QString& fileName)
    {
        return W().frame.FileList().RowOfKey(fileName.front().unicode() - 'a' + 1);
    }
    void Click(const QString& fileName)
    {
        const int row = RowOf(fileName);
        QVERIFY(row >= 0);
        m_pSelection->Click(row);
    }
    CFileDetailsFormView& Form() { return *W().frame.DetailsForm(); }
    CAttributesListView* KeywordList(int pane) { return W().frame.Navigator()->KeywordLists()->List(pane); }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        QSettings settings = BrowserSettings();
        settings.clear();
        m_pWindow = std::make_unique<CBrowserWindow>();
        W().chooser.Answer(m_dir.filePath(QStringLiteral("Details.qrl")));
        W().frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(W().doc.IsOpen());
        Db().Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (0, 1, 'C')"));
        Db().Execute(
            QStringLiteral("INSERT INTO Keyword (KeywordId, Keyword) VALUES (1, 'Jazz'), (2, 'Rock'), "
                           "(3, 'Unused')"));
        Db().Execute(QStringLiteral("INSERT INTO IndexId ([Index], IndexId) VALUES ('Keyword_KeywordId', 3), "
                                    "('FileInfo_FileInfoId', 2)"));
        Db().Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Keyword, Description) VALUES "
                                    "(1, 'Jazz;  ', 'first'), (2, 'Jazz;  Rock;  ', NULL)"));
        Db().Execute(QStringLiteral(
            "INSERT INTO File (CatalogueId, RelativePathId, FileId, FileInfoId, File, FileSize, "
            "FileSizeDouble, "
            "TTH) VALUES (1, 0, 1, 1, 'a.txt', 10, 10, 'AAAA'), (1, 0, 2, 2, 'b.txt', 20, 20, NULL), "
            "(1, 0, 3, NULL, 'c.txt', 30, 30, NULL)"));
        W().frame.Navigator()->Load();

        W().frame.ShowFolderFiles(1, 0);
        CRecordSetList& list = W().frame.FileList();
        QTRY_COMPARE(list.rowCount(), 3);
        m_pSelection =
            std::make_unique<CRecordSetSelection>(list, *W().frame.FileListView()->selectionModel());
        W().frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&W().frame));
        QApplication::setActiveWindow(&W().frame);
    }

    void cleanup()
    {
        m_pSelection.reset();
        m_pWindow.reset();
        SetErrorLogFolder(QString());
    }

    void theFormShowsTheCurrentFileAndKeepsTypingAcrossScrollSortAndRefresh()
    {
        Click(QStringLiteral("a.txt"));
        QCOMPARE(Form().FileField()->text(), QStringLiteral("a.txt"));
        QCOMPARE(Form().FileSizeField()->text(), QStringLiteral("10"));
        QCOMPARE(Form().TthField()->text(), QStringLiteral("AAAA"));
        QCOMPARE(Form().LenField()->text(), QStringLiteral("5"));
        QCOMPARE(Form().DescriptionField()->toPlainText(), QStringLiteral("first"));
        QVERIFY(Form().DescriptionField()->isEnabled());

        Form().DescriptionField()->setFocus();
        Form().DescriptionField()->moveCursor(QTextCursor::End);
        QTest::keyClicks(Form().DescriptionField(), QStringLiteral(" edit"));
        QVERIFY(W().doc.Editor().IsFormPending());

        W().frame.FileListView()->scrollToBottom();
        // The first sort on a column is ascending, the second descending.
        W().frame.FileList().sort(0, Qt::AscendingOrder);
        W().frame.FileList().sort(0, Qt::DescendingOrder);
        QTRY_COMPARE(RowOf(QStringLiteral("a.txt")), 2);
        QTest::qWait(0);
        QCOMPARE(W().doc.Editor().CurrentFileId(), 1);
        QCOMPARE(Form().DescriptionField()->toPlainText(), QStringLiteral("first edit"));
        QCOMPARE(W().frame.FileList().DataCtrl_Requery(), 0);
        QTest::qWait(0);
        QCOMPARE(Form().DescriptionField()->toPlainText(), QStringLiteral("first edit"));
        QCOMPARE(Text(QStringLiteral("SELECT Description FROM FileInfo WHERE FileInfoId=1")),
                 QStringLiteral("first"));

        // Leaving the file saves it; the next one shows its own (none).
        Click(QStringLiteral("c.txt"));
        QCOMPARE(Text(QStringLiteral("SELECT Description FROM FileInfo WHERE FileInfoId=1")),
                 QStringLiteral("first edit"));
        QCOMPARE(Form().FileField()->text(), QStringLiteral("c.txt"));
        QCOMPARE(Form().DescriptionField()->toPlainText(), QString());
        QCOMPARE(Form().TthField()->text(), QString());

        // Ctrl+S saves where the person is.
        Form().NotesField()->setFocus();
        QTest::keyClicks(Form().NotesField(), QStringLiteral("note"));
        W().frame.Action(EMwCommand::EditSaveChanges)->trigger();
        QCOMPARE(Text(QStringLiteral(
                     "SELECT FileInfo.Notes FROM FileInfo INNER JOIN File ON FileInfo.FileInfoId = "
                     "File.FileInfoId WHERE File.FileId=3")),
                 QStringLiteral("note"));

        // No file: nothing to type into.
        m_pSelection->ClearSelection();
        W().frame.FileListView()->selectionModel()->clearCurrentIndex();
        QCOMPARE(Form().FileField()->text(), QString());
        QVERIFY(!Form().DescriptionField()->isEnabled());
    }

    void attributeListsFollowTheSelectionAndToggleOnAllSelectedFiles()
    {
        Click(QStringLiteral("a.txt"));
        m_pSelection->Click(RowOf(QStringLiteral("b.txt")), Qt::ShiftModifier);
        CAttributesListView* current = KeywordList(0);
        CAttributesListView* all = KeywordList(2);
        QCOMPARE(current->model()->rowCount(), 2);
        QCOMPARE(current->model()->index(0, 0).data().toString(), QStringLiteral("Jazz"));
        QCOMPARE(current->model()->index(0, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
        QCOMPARE(current->model()->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::PartiallyChecked));

        // The letter jump, then Space on the partly set Rock: off both files once the selection
        // moves on.
        W().frame.Navigator()->setCurrentIndex(CNavigatorWnd::KeywordsPage);
        all->setFocus();
        QTRY_VERIFY(all->hasFocus());
        QTest::keyClick(all, Qt::Key_R);
        QCOMPARE(all->currentIndex().data().toString(), QStringLiteral("Rock"));
        QTest::keyClick(all, Qt::Key_Space);
        QCOMPARE(all->currentIndex().data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QCOMPARE(current->model()->rowCount(), 1); // the Current list lost it
        QVERIFY(W().doc.Editor().IsAttributePending());
        QCOMPARE(Text(QStringLiteral("SELECT Keyword FROM FileInfo WHERE FileInfoId=2")),
                 QStringLiteral("Jazz;  Rock;  "));
        Click(QStringLiteral("c.txt"));
        QCOMPARE(Text(QStringLiteral("SELECT Keyword FROM FileInfo WHERE FileInfoId=2")),
                 QStringLiteral("Jazz;  "));
        QCOMPARE(current->model()->rowCount(), 0);
        // Clearing records no use for this user; setting does, and Last Used shows it.
        QCOMPARE(KeywordList(1)->model()->rowCount(), 0);
        all->setFocus();
        QTest::keyClick(all, Qt::Key_J);
        QTest::keyClick(all, Qt::Key_Space);
        QCOMPARE(KeywordList(1)->model()->rowCount(), 1);
        QCOMPARE(KeywordList(1)->model()->index(0, 0).data().toString(), QStringLiteral("Jazz"));
        QCOMPARE(current->model()->rowCount(), 1);

        // New: typed into the empty row, named with Enter; Ctrl+N needs the list's focus.
        QVERIFY(W().frame.Action(EMwCommand::EditNewAttribute)->isEnabled());
        W().frame.Action(EMwCommand::EditNewAttribute)->trigger();
        QWidget* editor = QApplication::focusWidget();
        QVERIFY(qobject_cast<QLineEdit*>(editor));
        QTest::keyClicks(editor, QStringLiteral("Ska"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(all->currentIndex().data().toString(), QStringLiteral("Ska"));
        QCOMPARE(Text(QStringLiteral("SELECT Keyword FROM Keyword WHERE KeywordId=4")),
                 QStringLiteral("Ska"));
        // Escape leaves no empty row behind.
        const int rows = all->model()->rowCount();
        all->OnMwAttributeNew();
        QCOMPARE(all->model()->rowCount(), rows + 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_COMPARE(all->model()->rowCount(), rows);

        // Delete of an attribute no file uses asks nothing.
        all->setFocus();
        QTest::keyClick(all, Qt::Key_U);
        QCOMPARE(all->currentIndex().data().toString(), QStringLiteral("Unused"));
        QTest::keyClick(all, Qt::Key_Delete);
        QCOMPARE(Text(QStringLiteral("SELECT COUNT(*) FROM Keyword WHERE KeywordId=3")), QStringLiteral("0"));
        QCOMPARE(all->model()->rowCount(), rows - 1);
    }

    void editCommandsActOnTheFocusedField()
    {
        Click(QStringLiteral("b.txt"));
        const auto enabled = [this](EMwCommand id) { return W().frame.Action(id)->isEnabled(); };
        Form().FileField()->setFocus();
        QTRY_VERIFY(Form().FileField()->hasFocus());
        QVERIFY(enabled(EMwCommand::EditCopy) && enabled(EMwCommand::EditSelectAll));
        QVERIFY(!enabled(EMwCommand::EditCut) && !enabled(EMwCommand::EditPaste));
        W().frame.Action(EMwCommand::EditSelectAll)->trigger();
        W().frame.Action(EMwCommand::EditCopy)->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("b.txt"));

        Form().DescriptionField()->setFocus();
        QTRY_VERIFY(enabled(EMwCommand::EditPaste));
        W().frame.Action(EMwCommand::EditPaste)->trigger();
        QCOMPARE(Form().DescriptionField()->toPlainText(), QStringLiteral("b.txt"));
        QVERIFY(W().doc.Editor().IsFormPending());
        W().frame.Action(EMwCommand::EditUndo)->trigger();
        QCOMPARE(Form().DescriptionField()->toPlainText(), QString());

        // Replay Edits: the form's text on every selected file.
        QTest::keyClicks(Form().DescriptionField(), QStringLiteral("same"));
        m_pSelection->SelectAll();
        W().frame.Action(EMwCommand::FileListReplayEdits)->trigger();
        QCOMPARE(Text(QStringLiteral("SELECT COUNT(*) FROM File INNER JOIN FileInfo ON FileInfo.FileInfoId = "
                                     "File.FileInfoId WHERE FileInfo.Description='same'")),
                 QStringLiteral("3"));
        W().frame.FileListView()->setFocus();
        QTRY_VERIFY(!enabled(EMwCommand::EditCopy));
    }

    // A catalogue on read-only media: shown and searched, never written.
    void aDatabaseOpenedReadOnlyIsShownButOffersNothingThatWrites()
    {
        const QString path = W().doc.Path();
        m_pSelection.reset();
        QVERIFY(W().doc.CloseDatabase());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        QVERIFY(W().doc.OpenDatabase(path, EDbOpenMode::ReadOnly));
        QVERIFY(W().frame.windowTitle().startsWith(QStringLiteral("Details.qrl (read-only)")));

        W().frame.ShowFolderFiles(1, 0);
        QTRY_COMPARE(W().frame.FileList().rowCount(), 3);
        m_pSelection = std::make_unique<CRecordSetSelection>(W().frame.FileList(),
                                                             *W().frame.FileListView()->selectionModel());
        Click(QStringLiteral("a.txt"));
        QCOMPARE(Form().DescriptionField()->toPlainText(), QStringLiteral("first"));
        QVERIFY(Form().DescriptionField()->isReadOnly() && Form().NotesField()->isReadOnly());
        Form().DescriptionField()->setFocus();
        QTest::keyClicks(Form().DescriptionField(), QStringLiteral("lost"));
        QCOMPARE(Form().DescriptionField()->toPlainText(), QStringLiteral("first"));
        QVERIFY(!W().doc.Editor().IsFormPending());

        // The attribute lists show the checks but neither toggle nor take new names.
        W().frame.Navigator()->setCurrentIndex(CNavigatorWnd::KeywordsPage);
        CAttributesListView* all = KeywordList(2);
        all->setFocus();
        QTRY_VERIFY(all->hasFocus());
        QTest::keyClick(all, Qt::Key_R);
        QCOMPARE(all->currentIndex().data().toString(), QStringLiteral("Rock"));
        QVERIFY(!(all->model()->flags(all->currentIndex()) & Qt::ItemIsUserCheckable));
        QTest::keyClick(all, Qt::Key_Space);
        QCOMPARE(all->currentIndex().data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
        QVERIFY(!W().doc.Editor().IsAttributePending());
        const int rows = all->model()->rowCount();
        all->OnMwAttributeNew();
        QCOMPARE(all->model()->rowCount(), rows);

        const auto enabled = [this](EMwCommand id) { return W().frame.Action(id)->isEnabled(); };
        for (const EMwCommand id :
             {EMwCommand::FileImport, EMwCommand::FileCompactDatabase, EMwCommand::EditSaveChanges,
              EMwCommand::EditNewAttribute, EMwCommand::GroupNew, EMwCommand::CatalogueNew,
              EMwCommand::FileListReplayEdits, EMwCommand::FileListDeleteSelected, EMwCommand::QueryRun})
            QVERIFY2(!enabled(id), MwCommand(id).text);
        for (const EMwCommand id : {EMwCommand::FileClose, EMwCommand::EditFind,
                                    EMwCommand::FileListExportList, EMwCommand::FileListCopyMagneticLink})
            QVERIFY2(enabled(id), MwCommand(id).text);
        // A catalogue chosen: the synchronizer would write it, so it is not offered.
        W().frame.Navigator()->setCurrentIndex(CNavigatorWnd::BrowserPage);
        QTRY_VERIFY(W().frame.Navigator()->ChosenCatalogueId() != 0);
        QVERIFY(!enabled(EMwCommand::CatalogueSynchronize) && !enabled(EMwCommand::CatalogueUpdateTth));

        Click(QStringLiteral("c.txt"));
        m_pSelection.reset();
        QVERIFY(W().doc.CloseDatabase());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == before, "the file is as it was");
    }
};

QUARRANE_QTEST_MAIN(FileDetailsTest)
#include "FileDetailsTest.moc"
