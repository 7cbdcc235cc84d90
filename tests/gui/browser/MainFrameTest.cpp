#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "MessageBoxPresser.h"
#include "SteppedJob.h"
#include "browser/BrowserSettings.h"
#include "browser/CatalogueStore.h"
#include "browser/RecentFileList.h"
#include "browser/RecordSetList.h"
#include "browser/fileops/FileOperations.h"
#include "browser/models/CatalogueTreeModel.h"
#include "common/ErrorLog.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "gui/browser/AttributeSplitterWnd.h"
#include "gui/browser/NavigatorWnd.h"
#include "gui/browser/dialogs/OptionsSheet.h"
#include "platform/FixtureVolumeTable.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

namespace
{
// The menus as the person sees them: each entry's text with its shortcut after a tab, the
// entries of a submenu following the submenu's own entry.
QStringList MenuEntries(const QMenu* menu)
{
    QStringList entries;
    for (const QAction* action : menu->actions())
    {
        if (action->isSeparator() || !action->isVisible())
            continue;
        QString text = action->text();
        if (!action->shortcut().isEmpty())
            text += QLatin1Char('\t') + action->shortcut().toString(QKeySequence::PortableText);
        entries.append(text);
        if (action->menu())
            entries += MenuEntries(action->menu());
    }
    return entries;
}

QMenu* MenuOf(QMainWindow& window, const QString& title)
{
    for (QAction* action : window.menuBar()->actions())
        if (action->text() == title)
            return action->menu();
    return nullptr;
}

bool WriteTemplate(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(TemplateDatabaseBytes()) == TemplateDatabaseBytes().size();
}

QString AccessibleName(QWidget* widget)
{
    if (!widget->accessibleName().isEmpty())
        return widget->accessibleName();
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    return iface ? iface->text(QAccessible::Name) : QString();
}
} // namespace

class MainFrameTest : public QObject
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
        // Every case starts from the settings of a first run.
        QSettings settings = BrowserSettings();
        settings.clear();
    }

    void cleanup()
    {
        // The compactions put old files in the trash; each case starts with none.
        QDir(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash")).removeRecursively();
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(Path(name));
    }

    void menusShowEveryCommandWithItsTextAndShortcut()
    {
        CBrowserWindow w;
        const QList<std::pair<QString, QStringList>> expected = {
            {QStringLiteral("&File"),
             {"&New...", "&Open...", "Open &Server Catalogue...", "&Import...",
              "Import from Ser&ver Catalogue...", "&Close", "Compact &Database", "&Repair Database...",
              "Recent File", "E&xit\tAlt+F4"}},
            {QStringLiteral("&Edit"),
             {"&Undo\tCtrl+Z", "Cu&t\tCtrl+X", "&Copy\tCtrl+C", "&Paste\tCtrl+V", "Select &All\tCtrl+A",
              "&Find...\tCtrl+F", "&Find Next\tF3", "Find File Name by Magnetic &Link...\tCtrl+L",
              "&Find &TTH by Magnetic Link...\tCtrl+T", "&New\tCtrl+N", "&Rename\tCtrl+R",
              "&Save Changes\tCtrl+S"}},
            {QStringLiteral("&View"),
             {"&Folder File List Field View", "&Query File List Field View", "&Toobars", "&File", "&Browser",
              "&Query", "File &List", "&Slide show", "&Status Bar", "&Requery File Browser\tShift+F5"}},
            {QStringLiteral("Group"), {"P&roperties...\tCtrl+R", "New &Group...", "&Delete Group"}},
            {QStringLiteral("&Catalogue"),
             {"P&roperties...\tCtrl+R", "&Root Folder Properties...", "&Synchronize", "&Update TTH",
              "New &Catalogue...", "&Delete Catalogue"}},
            {QStringLiteral("Folder"), {"P&roperties...\tCtrl+R"}},
            {QStringLiteral("File &List"),
             {"&Select Chec&ked\tCtrl+K", "&Check Files to Size\tCtrl+M", "Replay &Edits\tCtrl+E",
              "&Open\tCtrl+O", "Never AutoC&heck\tCtrl+H", "&Rename\tCtrl+R", "&Move/Copy To...",
              "&Ghost Selected\tCtrl+G", "De&lete Selected\tDel", "E&dit Find\tCtrl+D", "Copy &Magnetic Link",
              "Requery\tF5", "E&xport List...", "&Close\tAlt+F4"}},
            {QStringLiteral("&Query"),
             {"&Run", "&Find...\tCtrl+F", "&Find Next\tF3", "Find File Name by Magnetic &Link...\tCtrl+L",
              "Find &TTH by Magnetic Link...\tCtrl+T"}},
            {QStringLiteral("&Tools"), {"&Options..."}},
            {QStringLiteral("&Help"), {"&Help Topics", "&About Quarrane..."}},
        };
        QStringList titles;
        for (QAction* action : w.frame.menuBar()->actions())
            titles.append(action->text());
        QStringList expectedTitles;
        for (const auto& [title, entries] : expected)
            expectedTitles.append(title);
        QCOMPARE(titles, expectedTitles);
        for (const auto& [title, entries] : expected)
        {
            QMenu* menu = MenuOf(w.frame, title);
            QVERIFY2(menu, qPrintable(title));
            QCOMPARE(MenuEntries(menu), entries);
        }

        // The table and the window agree: every command of a menu is its action, with the
        // table's shortcut and a mnemonic the person can type.
        for (const SMwCommand& command : MwCommands())
        {
            if (command.kind == EMwCommandKind::Submenu || command.kind == EMwCommandKind::RecentFile)
                continue;
            QAction* action = w.frame.Action(command.id);
            QVERIFY2(action, command.text);
            QCOMPARE(action->text(), MwCommandLabel(command));
            QCOMPARE(action->shortcut(), QKeySequence::fromString(MwCommandShortcut(command)));
            if (action->text().contains(QLatin1Char('&')))
                QVERIFY2(!QKeySequence::mnemonic(action->text()).isEmpty(), command.text);
            if (command.toolbar != EMwToolbar::None)
                QVERIFY2(w.frame.Toolbar(command.toolbar)->actions().contains(action), command.text);
        }
        QCOMPARE(w.frame.Toolbar(EMwToolbar::Slideshow)->actions().size(), 6);
    }

    void commandsAreEnabledAsTheDocumentAllows()
    {
        CBrowserWindow w;
        const auto enabled = [&w](EMwCommand id) { return w.frame.Action(id)->isEnabled(); };
        QVERIFY(enabled(EMwCommand::FileNew) && enabled(EMwCommand::FileOpen) &&
                enabled(EMwCommand::FileExit));
        QVERIFY(enabled(EMwCommand::FileRepairDatabase) && enabled(EMwCommand::ToolsOptions));
        QVERIFY(!enabled(EMwCommand::FileClose) && !enabled(EMwCommand::FileCompactDatabase));
        QVERIFY(!enabled(EMwCommand::EditSaveChanges) && !enabled(EMwCommand::ViewRequeryFileBrowser));
        QVERIFY(!enabled(EMwCommand::FileImport) && !enabled(EMwCommand::EditFind) &&
                !enabled(EMwCommand::QueryRun));

        w.chooser.Answer(Path(QStringLiteral("A.qrl")));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        QVERIFY(enabled(EMwCommand::FileClose) && enabled(EMwCommand::FileCompactDatabase));
        QVERIFY(enabled(EMwCommand::EditSaveChanges) && enabled(EMwCommand::ViewRequeryFileBrowser));
        QVERIFY(enabled(EMwCommand::FileImport) && enabled(EMwCommand::FileListDeleteSelected));

        // A catalogue chosen in the browser: Synchronize and Update TTH, only on the Browser tab.
        QVERIFY(!enabled(EMwCommand::CatalogueSynchronize));
        w.doc.Database()->Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, "
                                                 "DriveType) VALUES (0, 1, 'Films', 'Fixed')"));
        w.frame.Action(EMwCommand::ViewRequeryFileBrowser)->trigger();
        CCatalogueTreeModel& tree = w.frame.Navigator()->CatalogueModel();
        const QModelIndex films = tree.FindItem(CCatalogueTreeRecord::KindCatalogue, 1);
        QVERIFY(films.isValid());
        w.frame.Navigator()->CatalogueView()->setCurrentIndex(films);
        QVERIFY(enabled(EMwCommand::CatalogueSynchronize) && enabled(EMwCommand::CatalogueUpdateTth));
        w.frame.Navigator()->setCurrentIndex(CNavigatorWnd::QueryPage);
        QVERIFY(!enabled(EMwCommand::CatalogueSynchronize));
        w.frame.Navigator()->setCurrentIndex(CNavigatorWnd::BrowserPage);
        QVERIFY(enabled(EMwCommand::CatalogueSynchronize));

        // While a job writes, the commands that write wait; those that read or close do not.
        CSteppedJob job;
        QSignalSpy finished(&w.doc.Jobs(), &CJobRunner::jobFinished);
        QVERIFY(w.doc.Jobs().Start({QStringLiteral("writing"), QString(), QString(), true}, job.Body()));
        QVERIFY(job.WaitForItem(1));
        QVERIFY(!enabled(EMwCommand::FileCompactDatabase) && !enabled(EMwCommand::EditSaveChanges));
        QVERIFY(!enabled(EMwCommand::FileRepairDatabase));
        QVERIFY(enabled(EMwCommand::FileClose) && enabled(EMwCommand::ViewRequeryFileBrowser));
        w.doc.Jobs().Stop();
        job.Proceed();
        QVERIFY(finished.wait(10000));
        QVERIFY(enabled(EMwCommand::FileCompactDatabase) && enabled(EMwCommand::EditSaveChanges));
        QVERIFY(enabled(EMwCommand::FileRepairDatabase));

        w.frame.Action(EMwCommand::FileClose)->trigger();
        QVERIFY(!enabled(EMwCommand::FileClose) && !enabled(EMwCommand::CatalogueSynchronize));
    }

    void toolbarsAndAttributeHeightsSurviveARestart()
    {
        {
            CBrowserWindow w;
            w.frame.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
            // A first run shows all five, on one row at the top, each beside the one before.
            int left = -1;
            for (int i = 0; i < kMwToolbarCount; ++i)
            {
                QToolBar* bar = w.frame.Toolbar(static_cast<EMwToolbar>(i));
                QVERIFY(bar->isVisible());
                QCOMPARE(w.frame.toolBarArea(bar), Qt::TopToolBarArea);
                QCOMPARE(bar->geometry().top(), w.frame.Toolbar(EMwToolbar::File)->geometry().top());
                QVERIFY(bar->geometry().left() > left);
                left = bar->geometry().left();
            }
            w.frame.Action(EMwCommand::ViewQueryToolbar)->trigger();
            w.frame.Action(EMwCommand::ViewSlideshowToolbar)->trigger();
            QVERIFY(!w.frame.Toolbar(EMwToolbar::Query)->isVisible());
            QCOMPARE(BrowserSettings().value(QStringLiteral("View/QueryToolbarVisible")).toInt(), 0);

            w.frame.Action(EMwCommand::ViewStatusBar)->trigger();
            QVERIFY(!w.frame.statusBar()->isVisible());

            w.frame.Navigator()->setCurrentIndex(CNavigatorWnd::KeywordsPage);
            CAttributeSplitterWnd* keywords = w.frame.Navigator()->KeywordLists();
            QTRY_VERIFY(keywords->isVisible());
            QCOMPARE(keywords->sizes().mid(0, 2), (QList<int>{150, 150}));
            keywords->setSizes({100, 200, keywords->height() - 300 - 2 * keywords->handleWidth()});
            w.frame.Navigator()->setCurrentIndex(CNavigatorWnd::CategoriesPage);
            CAttributeSplitterWnd* categories = w.frame.Navigator()->CategoryLists();
            QTRY_VERIFY(categories->isVisible());
            categories->setSizes({120, 90, categories->height() - 210 - 2 * categories->handleWidth()});
            QVERIFY(w.frame.close());
        }
        QCOMPARE(BrowserSettings().value(QStringLiteral("View/KeywordsCurrentHeight")).toInt(), 100);
        QCOMPARE(BrowserSettings().value(QStringLiteral("View/CategoriesLastUsedHeight")).toInt(), 90);

        CBrowserWindow w;
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        for (int i = 0; i < kMwToolbarCount; ++i)
        {
            const auto which = static_cast<EMwToolbar>(i);
            const bool shown = which != EMwToolbar::Query && which != EMwToolbar::Slideshow;
            QCOMPARE(w.frame.Toolbar(which)->isVisible(), shown);
            QCOMPARE(
                w.frame.Action(static_cast<EMwCommand>(static_cast<int>(EMwCommand::ViewFileToolbar) + i))
                    ->isChecked(),
                shown);
        }
        w.frame.Navigator()->setCurrentIndex(CNavigatorWnd::KeywordsPage);
        QTRY_VERIFY(w.frame.Navigator()->KeywordLists()->isVisible());
        QCOMPARE(w.frame.Navigator()->KeywordLists()->sizes().mid(0, 2), (QList<int>{100, 200}));
        w.frame.Navigator()->setCurrentIndex(CNavigatorWnd::CategoriesPage);
        QTRY_VERIFY(w.frame.Navigator()->CategoryLists()->isVisible());
        QCOMPARE(w.frame.Navigator()->CategoryLists()->sizes().mid(0, 2), (QList<int>{120, 90}));
        // Shown again from the menu, and remembered so.
        w.frame.Action(EMwCommand::ViewQueryToolbar)->trigger();
        QVERIFY(w.frame.Toolbar(EMwToolbar::Query)->isVisible());
        QCOMPARE(BrowserSettings().value(QStringLiteral("View/QueryToolbarVisible")).toInt(), 1);
    }

    void theNavigatorWidthIsRememberedPerDatabaseAndUser()
    {
        const QString a = Path(QStringLiteral("A.qrl"));
        const QString b = Path(QStringLiteral("B.qrl"));
        QVERIFY(WriteTemplate(a) && WriteTemplate(b));
        CBrowserWindow w;
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        const auto parameter = [&w](const QString& user)
        { return w.doc.GetDatabaseParameter(QStringLiteral("NavigatorWndWidth_") + user); };

        QVERIFY(w.frame.OpenFile(a));
        w.frame.SetNavigatorWidth(333);
        QTRY_COMPARE(parameter(QStringLiteral("ann")), QStringLiteral("333"));
        QVERIFY(w.frame.OpenFile(b));
        w.frame.SetNavigatorWidth(222);
        // Closing writes a width the pause has not written yet.
        w.frame.Action(EMwCommand::FileClose)->trigger();

        w.doc.SetUserName(QStringLiteral("bob"));
        QVERIFY(w.frame.OpenFile(a));
        QCOMPARE(w.frame.NavigatorWidth(), 222);
        QVERIFY(parameter(QStringLiteral("bob")).isEmpty());
        w.frame.SetNavigatorWidth(280);
        QTRY_COMPARE(parameter(QStringLiteral("bob")), QStringLiteral("280"));
        QCOMPARE(parameter(QStringLiteral("ann")), QStringLiteral("333"));

        w.doc.SetUserName(QStringLiteral("ann"));
        QVERIFY(w.frame.OpenFile(a));
        QCOMPARE(w.frame.NavigatorWidth(), 333);
        QVERIFY(w.frame.OpenFile(b));
        QCOMPARE(w.frame.NavigatorWidth(), 222);
        QCOMPARE(parameter(QStringLiteral("ann")), QStringLiteral("222"));
        QVERIFY(parameter(QStringLiteral("bob")).isEmpty());
    }

    void escEndsALongOperationWithItsProgress()
    {
        CBrowserWindow w;
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        CSteppedJob job;
        QSignalSpy finished(&w.doc.Jobs(), &CJobRunner::jobFinished);
        QVERIFY(w.doc.Jobs().Start({QStringLiteral("stepped"), QString(), QString(), false},
                                   [inner = job.Body()](CJobContext& context)
                                   {
                                       context.Interaction().SetStatusText(
                                           QStringLiteral("Working (Esc to Cancel)..."));
                                       context.Interaction().SetProgressRange(0, 1000);
                                       return inner(context);
                                   }));
        QVERIFY(job.WaitForItem(1));
        QTRY_VERIFY(w.frame.ProgressBar()->isVisible());
        QTRY_COMPARE(w.frame.statusBar()->currentMessage(), QStringLiteral("Working (Esc to Cancel)..."));
        job.Proceed();
        QVERIFY(job.WaitForItem(2));

        QTest::keyClick(w.frame.FileListView(), Qt::Key_Escape);
        job.Proceed();
        QVERIFY(finished.wait(10000));
        QCOMPARE(finished[0][1].toBool(), false);
        QCOMPARE(job.started.load(), 2);
        QCOMPARE(job.finished.load(), 2);
        QTRY_VERIFY(!w.frame.ProgressBar()->isVisible());
        QVERIFY(w.frame.isVisible());
    }

    void closingDuringAJobAsksNoGoesOnYesEndsTheItemAndCloses()
    {
        CBrowserWindow w;
        w.chooser.Answer(Path(QStringLiteral("A.qrl")));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        CSteppedJob job;
        QVERIFY(w.doc.Jobs().Start({QStringLiteral("stepped"), QString(), QString(), false}, job.Body()));
        QVERIFY(job.WaitForItem(1));

        auto no = PressWhenShown(QMessageBox::No);
        QVERIFY(!w.frame.close());
        QVERIFY(no->pressed);
        QCOMPARE(no->text,
                 QStringLiteral("A background task is currently running.\nClosing this application will "
                                "cancel that task.\n\nDo you wish to cancel the background task and close "
                                "this application?"));
        QCOMPARE(no->parent, &w.frame);
        job.Proceed();
        QVERIFY(job.WaitForItem(2));
        QVERIFY(w.frame.isVisible() && w.doc.IsOpen());

        auto yes = PressWhenShown(QMessageBox::Yes);
        QVERIFY(!w.frame.close());
        QVERIFY(yes->pressed);
        QVERIFY(w.frame.isVisible());
        job.Proceed();
        QTRY_VERIFY_WITH_TIMEOUT(!w.frame.isVisible(), 10000);
        QCOMPARE(job.started.load(), 2);
        QCOMPARE(job.finished.load(), 2);
        QVERIFY(!w.doc.IsOpen());
    }

    void fileCommandsWithScriptedDialogs()
    {
        const QString a = Path(QStringLiteral("A.qrl"));
        const QString b = Path(QStringLiteral("B.qrl"));
        QVERIFY(WriteTemplate(b));
        CBrowserWindow w;
        QCOMPARE(w.frame.windowTitle(), QStringLiteral("Untitled - Quarrane Browser"));

        // New: the save dialog's question, then the new database open under its name.
        w.chooser.Answer(a);
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QCOMPARE(w.chooser.asked.size(), size_t(1));
        QCOMPARE(w.chooser.asked[0].caption, QStringLiteral("Create New Quarrane Database"));
        QCOMPARE(w.chooser.asked[0].filter, QStringLiteral("Quarrane Files (*.qrl)"));
        QCOMPARE(w.chooser.asked[0].defaultSuffix, QStringLiteral("qrl"));
        QVERIFY(w.chooser.asked[0].save);
        QVERIFY(w.doc.IsOpen());
        QCOMPARE(w.frame.windowTitle(), QStringLiteral("A.qrl - Quarrane Browser"));
        w.doc.Database()->Execute(
            QStringLiteral("INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (1, 'Media', 0)"));

        // New cancelled: the open database and its title stay.
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        QCOMPARE(w.doc.Path(), a);
        QCOMPARE(w.frame.windowTitle(), QStringLiteral("A.qrl - Quarrane Browser"));

        // Open, and the recent files newest first in the File menu.
        w.chooser.Answer(b);
        w.frame.Action(EMwCommand::FileOpen)->trigger();
        QCOMPARE(w.chooser.asked.back().caption, QStringLiteral("Open"));
        QCOMPARE(w.frame.windowTitle(), QStringLiteral("B.qrl - Quarrane Browser"));
        QCOMPARE(w.frame.RecentFiles().Files(), (QStringList{b, a}));
        QStringList entries = MenuEntries(w.frame.RecentFileMenu());
        QVERIFY(!entries.contains(QStringLiteral("Recent File")));
        QVERIFY(entries.contains(QStringLiteral("&2 ") + a));
        for (QAction* action : w.frame.RecentFileMenu()->actions())
            if (action->text() == QStringLiteral("&2 ") + a)
                action->trigger();
        QCOMPARE(w.doc.Path(), a);
        QCOMPARE(w.frame.RecentFiles().Files(), (QStringList{a, b}));

        // Close.
        w.frame.Action(EMwCommand::FileClose)->trigger();
        QVERIFY(!w.doc.IsOpen());
        QCOMPARE(w.frame.windowTitle(), QStringLiteral("Untitled - Quarrane Browser"));

        // Compact Database: a job, then the same database open again with its data.
        QVERIFY(w.frame.OpenFile(a));
        QSignalSpy finished(&w.doc.Jobs(), &CJobRunner::jobFinished);
        w.frame.Action(EMwCommand::FileCompactDatabase)->trigger();
        QVERIFY(finished.count() == 1 || finished.wait(20000));
        QVERIFY(finished[0][1].toBool());
        QVERIFY(w.doc.IsOpen());
        QCOMPARE(w.frame.windowTitle(), QStringLiteral("A.qrl - Quarrane Browser"));
        QCOMPARE(w.doc.Catalogues().GetGroupNameFromGroupId(1), QStringLiteral("Media"));
        const QString trash = qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files");
        QCOMPARE(QDir(trash).entryList(QDir::Files).size(), 1);

        // Repair Database: the chosen file compacted while A stays open.
        w.chooser.Answer(b);
        w.frame.Action(EMwCommand::FileRepairDatabase)->trigger();
        QCOMPARE(w.chooser.asked.back().caption, QStringLiteral("Repair Quarrane Database"));
        QVERIFY(finished.count() == 2 || finished.wait(20000));
        QVERIFY(finished[1][1].toBool());
        QCOMPARE(w.doc.Path(), a);
        QCOMPARE(QDir(trash).entryList(QDir::Files).size(), 2);
        CDbDatabase repaired;
        repaired.Open(b);
        QVERIFY(repaired.IsOpen());
        repaired.Close();

        // A recent file that is gone: the engine's error, and the entry leaves the list.
        QVERIFY(QFile::remove(b));
        auto cancel = PressWhenShown(QMessageBox::Cancel);
        for (QAction* action : w.frame.RecentFileMenu()->actions())
            if (action->text() == QStringLiteral("&2 ") + b)
                action->trigger();
        QVERIFY(cancel->pressed);
        QVERIFY(!QFile::exists(b));
        QCOMPARE(w.frame.RecentFiles().Files(), (QStringList{a}));
        QVERIFY(!w.doc.IsOpen());
    }

    void openingWhileTheLastDatabasesCompactionAsksLetsTheQuestionThrough()
    {
        const QString b = Path(QStringLiteral("B.qrl"));
        QVERIFY(WriteTemplate(b));
        CBrowserWindow w;
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        // A job that outlived its database and asks a question once the window is opening a file.
        QSemaphore ask;
        QVERIFY(w.doc.Jobs().Start({QStringLiteral("compaction"), QString(), QString(), true},
                                   [&ask](CJobContext& job)
                                   {
                                       if (!ask.tryAcquire(1, 10000))
                                           return false;
                                       return job.Interaction().MessageBox(QStringLiteral("Not enough room"),
                                                                           QStringLiteral("Quarrane"),
                                                                           MsgIcon::Error,
                                                                           MsgButtons::Ok) == MsgAnswer::Ok;
                                   }));
        auto ok = PressWhenShown(QMessageBox::Ok);
        ask.release();
        QVERIFY(w.frame.OpenFile(b));
        QVERIFY(ok->pressed);
        QCOMPARE(ok->text, QStringLiteral("Not enough room"));
        QVERIFY(!w.doc.Jobs().IsRunning());
        QCOMPARE(w.doc.Path(), b);
    }

    void statusBarPanesShowTheTotals()
    {
        CBrowserWindow w;
        QCOMPARE(w.frame.TotalPane()->text(), QStringLiteral("Total: 0 files, 0 KB"));
        QCOMPARE(w.frame.CheckedPane()->text(), QStringLiteral("Checked: 0 files, 0 KB"));
        CFileListTotals totals;
        totals.Reset();
        w.frame.ShowTotals(totals);
        QCOMPARE(w.frame.TotalPane()->text(), QStringLiteral("Total:  updating..."));
        QCOMPARE(w.frame.CheckedPane()->text(), QStringLiteral("Checked:  updating..."));
        totals.AddRow(false, true, 2048, 0);
        totals.Finish();
        w.frame.ShowTotals(totals);
        QCOMPARE(w.frame.TotalPane()->text(), QStringLiteral("Total: 1 files, 3 KB"));
        QCOMPARE(w.frame.statusBar()->currentMessage(), QStringLiteral("Ready"));
    }

    void deleteSelectedAsksThenSendsTheFileToTheTrash()
    {
        CFixtureVolumeTable volumes(
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))});
        CVolumeTableScope scope(volumes);
        CBrowserWindow w;
        w.chooser.Answer(Path(QStringLiteral("D.qrl")));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        const QString doomed = Path(QStringLiteral("doomed.txt"));
        {
            QFile file(doomed);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("doomed");
        }
        CDbDatabase& db = *w.doc.Database();
        db.Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                           "Location, DriveType) VALUES (0, 1, 'C', 'DATA', ?, ?, 'Fixed')"),
            {CDbValue(qint32(0x1234ABCD)), CDbValue(m_dir.path())});
        db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                  "FileSizeDouble) VALUES (1, 0, 7, 'doomed.txt', 6, 6)"));
        w.frame.ShowFolderFiles(1, 0);
        CRecordSetList& list = w.frame.FileList();
        QTRY_COMPARE(list.rowCount(), 1);
        w.frame.FileListView()->selectRow(0);

        QSignalSpy finished(&w.frame.FileOperations(), &CFileOperations::finished);
        const auto presser = PressWhenShown(QMessageBox::Yes);
        w.frame.Action(EMwCommand::FileListDeleteSelected)->trigger();
        QVERIFY(finished.wait(20000));
        QVERIFY(presser->pressed);
        QVERIFY(presser->text.contains(QStringLiteral("delete the selected files")));
        QVERIFY(!QFileInfo::exists(doomed));
        QCOMPARE(list.rowCount(), 0);
        CDbStatement st = db.Prepare(QStringLiteral("SELECT Deleted FROM File WHERE FileId=7"));
        QVERIFY(st.Step() && st.Value(0).ToBool());
        QDirIterator trashed(qEnvironmentVariable("XDG_DATA_HOME") + QStringLiteral("/Trash/files"),
                             QDir::Files);
        QVERIFY(trashed.hasNext());
    }

    void toolsOptionsShowsTheSheetOverTheOpenDatabase()
    {
        const QString a = Path(QStringLiteral("A.qrl"));
        QVERIFY(WriteTemplate(a));
        CBrowserWindow w;
        QVERIFY(w.frame.OpenFile(a));
        QVERIFY(w.doc.SetDatabaseParameter(QStringLiteral("CompactOnExit"), QStringLiteral("1")));

        QString title;
        bool compactShown = false;
        QTimer::singleShot(0,
                           [&]
                           {
                               auto* sheet = qobject_cast<COptionsSheet*>(QApplication::activeModalWidget());
                               if (!sheet)
                                   return;
                               title = sheet->windowTitle();
                               compactShown = sheet->CompactOnCloseBox()->isEnabled() &&
                                              sheet->CompactOnCloseBox()->isChecked();
                               sheet->reject();
                           });
        w.frame.Action(EMwCommand::ToolsOptions)->trigger();
        QCOMPARE(title, QStringLiteral("Options"));
        QVERIFY(compactShown);
    }

    void everyFocusableWidgetIsReachedByTabAndNamed()
    {
        CBrowserWindow w;
        w.chooser.Answer(Path(QStringLiteral("A.qrl")));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        QApplication::setActiveWindow(&w.frame);

        for (int page = 0; page < w.frame.Navigator()->count(); ++page)
        {
            w.frame.Navigator()->setCurrentIndex(page);
            QTRY_VERIFY(w.frame.Navigator()->currentWidget()->isVisible());
            w.frame.FileListView()->setFocus();
            QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(w.frame.FileListView()));

            // Walk the Tab chain from the file list round to it again.
            QList<QWidget*> chain;
            QWidget* current = QApplication::focusWidget();
            for (int step = 0; step < 50; ++step)
            {
                chain.append(current);
                QTest::keyClick(current, Qt::Key_Tab);
                current = QApplication::focusWidget();
                QVERIFY(current);
                if (current == chain.first())
                    break;
            }
            QCOMPARE(current, chain.first());
            for (QWidget* widget : chain)
                QVERIFY2(!AccessibleName(widget).isEmpty(),
                         qPrintable(QStringLiteral("nameless: %1").arg(widget->metaObject()->className())));

            // Nothing that takes focus by Tab is left out of the walk.
            for (QWidget* widget : w.frame.findChildren<QWidget*>())
                if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) &&
                    !widget->focusProxy() && widget->window() == &w.frame)
                    QVERIFY2(chain.contains(widget),
                             qPrintable(QStringLiteral("not reached by Tab: %1 \"%2\"")
                                            .arg(widget->metaObject()->className(), AccessibleName(widget))));
            if (page == CNavigatorWnd::KeywordsPage)
                for (int list = 0; list < 3; ++list)
                    QVERIFY(chain.contains(w.frame.Navigator()->KeywordLists()->List(list)));
        }
    }
};

QUARRANE_QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
