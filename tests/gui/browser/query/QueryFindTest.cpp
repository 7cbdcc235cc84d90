#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "MessageBoxPresser.h"
#include "browser/QueryRunner.h"
#include "browser/RecordSetList.h"
#include "browser/models/QueryTreeModel.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "gui/browser/NavigatorWnd.h"
#include "gui/browser/filelist/FileListTabs.h"
#include "gui/browser/query/FindDialog.h"
#include "gui/browser/query/MwQueryFieldParamDialog.h"
#include "gui/browser/query/QueryBrowserTreeCtrl.h"
#include "gui/browser/query/QueryFindCommands.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
#include <QTest>

namespace
{
const QString kTth = QStringLiteral("LWPNACQDBZRYXW3VHJVCJ64QBZNGHOHHHZWCLNQ");
}

class QueryFindTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    // A window on a new database with three files, the second with a TTH.
    void Open(CBrowserWindow& w)
    {
        w.chooser.Answer(m_dir.filePath(QStringLiteral("find-%1.qrl").arg(++m_nDatabases)));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        CDbDatabase& db = *w.doc.Database();
        db.Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (0, 1, 'Disk')"));
        db.Execute(
            QStringLiteral(
                "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble, TTH) "
                "VALUES (1, 0, 1, 'alpha.txt', 10, 10, NULL), (1, 0, 2, 'beta song.mp3', 20, 20, ?), "
                "(1, 0, 3, 'gamma song.mp3', 30, 30, NULL)"),
            {CDbValue(kTth)});
    }
    int m_nDatabases = 0;

    static SQueryFieldParam Row(const QString& caption, const QString& tableField, int type,
                                const QString& op, const QString& value)
    {
        SQueryFieldParam param;
        param.field = {caption, tableField, type};
        param.strOperator = op;
        param.strValue = value;
        return param;
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
    }

    void queryBrowserRunsQueriesAndKeepsGroupsOpen()
    {
        CBrowserWindow w;
        Open(w);
        w.doc.Database()->Execute(QStringLiteral(
            "INSERT INTO QueryGroup (GroupId, [Group], ParentGroupId) VALUES (1, 'Tools', 0)"));
        w.doc.Database()->Execute(
            QStringLiteral("UPDATE Query SET GroupId=1 WHERE QueryName='Uncheck All Files'"));
        CQueryTreeModel& model = w.frame.Navigator()->QueryModel();
        QVERIFY(model.Rebuild());
        auto* tree = qobject_cast<CQueryBrowserTreeCtrl*>(w.frame.Navigator()->QueryView());
        QVERIFY(tree);
        QCOMPARE(tree->accessibleName(), QStringLiteral("Query Browser"));
        const QModelIndex tools = model.FindGroup(1);
        QCOMPARE(tools.row(), 0);
        tree->expand(tools);
        QVERIFY(model.Rebuild());
        QVERIFY2(tree->isExpanded(model.FindGroup(1)), "a rebuild opens the group again");

        // A group selected runs nothing.
        QVERIFY(w.frame.Action(EMwCommand::QueryRun)->isEnabled());
        tree->setCurrentIndex(model.FindGroup(1));
        QSignalSpy finished(&w.doc.Queries(), &CQueryRunner::queryFinished);
        w.frame.Action(EMwCommand::QueryRun)->trigger();
        QVERIFY(!w.doc.Jobs().IsRunning());
        QCOMPARE(finished.count(), 0);

        // A query runs as a job; a double click on it too.
        w.doc.Database()->Execute(
            QStringLiteral("INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (1, 'ann', 1)"));
        const qint32 uncheck = w.doc.Queries().QueryIdFromName(QStringLiteral("Uncheck All Files"));
        const QModelIndex query = model.FindQuery(uncheck);
        QCOMPARE(query.parent(), model.FindGroup(1));
        tree->setCurrentIndex(query);
        w.frame.Action(EMwCommand::QueryRun)->trigger();
        QVERIFY(finished.wait(20000));
        QCOMPARE(finished.first().first().toInt(), uncheck);
        {
            CDbStatement mark =
                w.doc.Database()->Prepare(QStringLiteral("SELECT Mark FROM FileUserSelect WHERE FileId=1"));
            QVERIFY(mark.Step());
            QCOMPARE(mark.Value(0).ToLong(), 0);
        }

        tree->SetPendingQuery(uncheck);
        tree->setCurrentIndex(model.FindGroup(1));
        QCOMPARE(tree->TakeQueryToRun(), uncheck);
        // the pending query is used once
        QCOMPARE(tree->TakeQueryToRun(), 0);
        emit tree->activated(model.FindGroup(1));
        QVERIFY(!w.doc.Jobs().IsRunning());
        tree->setCurrentIndex(query);
        emit tree->activated(query);
        QVERIFY(finished.wait(20000));
    }

    void findDialogRowsFollowTheirFields()
    {
        const std::vector<SSearchField> fields = {{"File", "File.File", kFieldText},
                                                  {"Size", "File.FileSizeDouble", kFieldSize},
                                                  {"Last Modified", "File.LastModified", kFieldDate},
                                                  {"Ghost", "File.Ghost", kFieldYesNo}};
        CFindDialog dialog(fields, {});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Find"));
        QCOMPARE(dialog.Rows().size(), 1);
        CMwQueryFieldParamDialog* size = dialog.Rows()[0];
        QVERIFY(!size->OperatorBox()->isEnabled());
        size->FieldBox()->setCurrentText(QStringLiteral("Size"));
        // an empty row waits at the end
        QCOMPARE(dialog.Rows().size(), 2);
        QCOMPARE(size->OperatorBox()->currentText(), QStringLiteral(">="));
        for (QLineEdit* edit : size->findChildren<QLineEdit*>())
            if (edit->accessibleName() == QStringLiteral("Size"))
                edit->setText(QStringLiteral("2"));

        CMwQueryFieldParamDialog* date = dialog.Rows()[1];
        date->FieldBox()->setCurrentText(QStringLiteral("Last Modified"));
        QCOMPARE(dialog.Rows().size(), 3);
        QCOMPARE(date->OperatorBox()->currentText(), QStringLiteral("Between"));
        date->OperatorBox()->setCurrentText(QStringLiteral("In the Last"));
        SQueryFieldParam last = date->Param();
        QCOMPARE(last.strUnit, QStringLiteral("Days"));
        QVERIFY(!last.dtFrom.isValid());

        // What a row shows is what it gives back, whatever the type.
        SQueryFieldParam text = Row("File", "File.File", kFieldText, "Does not contain", "a\r\nb'c");
        dialog.Rows()[2]->SetParam(text);
        SQueryFieldParam back = dialog.Rows()[2]->Param();
        QCOMPARE(back.strOperator, text.strOperator);
        QCOMPARE(back.strValue, QStringLiteral("a\nb'c"));
        SQueryFieldParam between = Row("Last Modified", "File.LastModified", kFieldDate, "Between", "");
        between.dtFrom = QDateTime(QDate(2026, 3, 4), QTime(0, 0));
        between.dtTo = QDateTime(QDate(2026, 3, 4), QTime(23, 59, 59));
        date->SetParam(between);
        QVERIFY(date->Param() == between);

        dialog.TitleBox()->setText(QStringLiteral("  Big ones "));
        dialog.Button(EFindMode::SearchAll)->click();
        const SFindRequest request = dialog.Request();
        QCOMPARE(request.mode, EFindMode::SearchAll);
        QCOMPARE(request.strTitle, QStringLiteral("Big ones"));
        // the trailing empty row is left out
        QCOMPARE(request.conditions.size(), size_t(3));
        QCOMPARE(request.conditions[0].strValue, QStringLiteral("2"));
        QCOMPARE(request.conditions[0].strUnit, QStringLiteral("KB"));

        CFindDialog cancelled(fields, request);
        QCOMPARE(cancelled.Rows().size(), 4);
        QCOMPARE(cancelled.TitleBox()->text(), QStringLiteral("Big ones"));
        cancelled.reject();
        QCOMPARE(cancelled.Request().mode, EFindMode::Cancel);
    }

    void findSearchAndMagnetLinksInTheWindow()
    {
        CBrowserWindow w;
        Open(w);
        CQueryFindCommands& commands = *w.frame.FindCommands();
        std::vector<SFindRequest> shown;
        SFindRequest answer;
        commands.SetDialogRunner(
            [&](const std::vector<SSearchField>& fields, const SFindRequest& initial)
            {
                shown.push_back(initial);
                SFindRequest result = answer;
                // The rows take their fields from what the dialog was given.
                for (SQueryFieldParam& row : result.conditions)
                    if (const SSearchField* field = FindSearchField(fields, row.field.strField))
                        row.field = *field;
                return result;
            });

        // Search All shows its rows in a query view named by the search's title.
        answer = {EFindMode::SearchAll,
                  QString(),
                  {Row("FileName/Folder/AlternateFile", "", 0, "Contains", "song")}};
        w.frame.Action(EMwCommand::QueryFind)->trigger();
        QCOMPARE(shown.size(), size_t(1));
        QVERIFY(shown[0].conditions.empty());
        CRecordSetList& list = w.frame.FileList();
        QTRY_COMPARE(list.DataCtrl_GetRecordCount(), 2);
        // an empty title
        QCOMPARE(commands.Session().LastSearchTitle(), QStringLiteral("Search"));
        QCOMPARE(w.frame.FileListTabs()->tabText(w.frame.FileListTabs()->currentIndex()),
                 QStringLiteral("Search"));

        // Edit Find opens the conditions of that search.
        answer = {};
        w.frame.Action(EMwCommand::FileListEditFind)->trigger();
        QCOMPARE(shown.size(), size_t(2));
        QCOMPARE(shown[1].strTitle, QStringLiteral("Search"));
        QCOMPARE(shown[1].conditions.size(), size_t(1));
        QCOMPARE(shown[1].conditions[0].strValue, QStringLiteral("song"));

        // F3 without a find opens the dialog; after Find First it finds the next row.
        w.frame.Action(EMwCommand::QueryFindNext)->trigger();
        QCOMPARE(shown.size(), size_t(3));
        answer = {EFindMode::FindFirst,
                  QStringLiteral("mp3"),
                  {Row("FileName/Folder/AlternateFile", "", 0, "Ends", ".mp3")}};
        w.frame.Action(EMwCommand::QueryFind)->trigger();
        QCOMPARE(w.frame.ActiveFileListView()->FocusedRow(), 0);
        w.frame.Action(EMwCommand::QueryFindNext)->trigger();
        // F3 repeats the find
        QCOMPARE(shown.size(), size_t(4));
        QCOMPARE(w.frame.ActiveFileListView()->FocusedRow(), 1);

        // Copy Magnetic Link follows the selection: only beta has a TTH.
        QAction* copy = w.frame.Action(EMwCommand::FileListCopyMagneticLink);
        w.frame.FileListView()->selectRow(1);
        QVERIFY(!copy->isEnabled());
        w.frame.FileListView()->selectRow(0);
        QVERIFY(copy->isEnabled());
        copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("magnet:?xt=urn:tree:tiger:%1&xl=20&dn=beta%20song.mp3").arg(kTth));

        // A link the old rule refused: the hash in lower case, before other parameters, no name.
        answer = {};
        QGuiApplication::clipboard()->setText(
            QStringLiteral("magnet:?xt=urn:tree:tiger:%1").arg(kTth.toLower()));
        w.frame.Action(EMwCommand::QueryFindTthByMagnetLink)->trigger();
        QCOMPARE(shown.size(), size_t(5));
        QCOMPARE(shown[4].conditions.size(), size_t(1));
        QCOMPARE(shown[4].conditions[0].field.strTableField, QStringLiteral("File.TTH"));
        QCOMPARE(shown[4].conditions[0].strOperator, QStringLiteral("="));
        QCOMPARE(shown[4].conditions[0].strValue, kTth);
        w.frame.Action(EMwCommand::QueryFindFileNameByMagnetLink)->trigger();
        QVERIFY2(shown[5].conditions.empty(), "no name, no preset row");
        QGuiApplication::clipboard()->setText(
            QStringLiteral("magnet:?xl=20&dn=beta+song.mp3&xt=urn:tree:tiger:%1").arg(kTth));
        w.frame.Action(EMwCommand::EditFindFileNameByMagnetLink)->trigger();
        QCOMPARE(shown[6].conditions.size(), size_t(1));
        QCOMPARE(shown[6].conditions[0].strOperator, QStringLiteral("Contains"));
        QCOMPARE(shown[6].conditions[0].strValue, QStringLiteral("beta\r\nsong\r\nmp3"));

        // Text without a link: the message, no dialog.
        QGuiApplication::clipboard()->setText(QStringLiteral("no link here"));
        const auto pressed = PressWhenShown(QMessageBox::Ok);
        w.frame.Action(EMwCommand::QueryFindTthByMagnetLink)->trigger();
        QVERIFY(pressed->pressed);
        QVERIFY(pressed->text.startsWith(
            QStringLiteral("Magnetic links can be copied to the clipboard in DC++")));
        QCOMPARE(shown.size(), size_t(7));
    }
};

QUARRANE_QTEST_MAIN(QueryFindTest)
#include "QueryFindTest.moc"
