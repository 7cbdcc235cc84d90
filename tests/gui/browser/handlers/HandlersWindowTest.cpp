#include "BrowserWindowFixture.h"
#include "DesktopFolders.h"
#include "MessageBoxPresser.h"

#include "browser/RecordSetList.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "gui/browser/dialogs/OptionsSheet.h"
#include "gui/browser/handlers/FileHandlingPage.h"
#include "gui/browser/handlers/HandlersController.h"
#include "gui/browser/handlers/SlideshowDialog.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/VolumeTable.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

namespace
{
void Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QString Recorder(const QString& path)
{
    Write(path, "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n");
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QStringList Recorded(const QString& recorder)
{
    QFile out(recorder + QStringLiteral(".out"));
    if (!out.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments = QString::fromUtf8(out.readAll()).split(QChar(0));
    arguments.removeLast();
    return arguments;
}
} // namespace

class HandlersWindowTest : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString Path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void init() { QFile::remove(FileHandlingXmlPath()); }

    void pageStartsEmptyRefusesAMissingApplicationAndWritesOnApply()
    {
        const QString app = Recorder(Path(QStringLiteral("bin/viewer")));
        CScriptedInteraction ui;
        CScriptedFileChooser chooser;
        const QString file = Path(QStringLiteral("page/FileHandling.xml"));
        CFileHandlingPage page(ui, &chooser, file);
        QCOMPARE(page.List()->count(), 0);
        QCOMPARE(page.CommandLineEdit()->text(), QStringLiteral("%1"));
        QCOMPARE(page.MessageTypeBox()->currentText(), QStringLiteral("Execute"));
        QCOMPARE(page.KillTimeEdit()->text(), QStringLiteral("0.0"));
        QVERIFY(!page.KillTimeEdit()->isEnabled());
        QVERIFY(page.PrelaunchBox()->isChecked());
        QVERIFY(!page.ServiceEdit()->isEnabled());
        QVERIFY(page.Apply()); // nothing typed, nothing stored
        QVERIFY(!QFile::exists(file));

        page.UseDdeBox()->setChecked(true);
        QVERIFY(page.ServiceEdit()->isEnabled() && page.MessageTypeBox()->isEnabled());
        page.UseDdeBox()->setChecked(false);
        page.KillBox()->setChecked(true);
        QVERIFY(page.KillTimeEdit()->isEnabled());

        // A missing application refuses the store and keeps the person in the field.
        page.NameEdit()->setText(QStringLiteral("Viewer \"one\""));
        page.ApplicationEdit()->setText(Path(QStringLiteral("bin/missing")));
        page.DefaultExtensionsEdit()->setText(QStringLiteral("jpg png"));
        QVERIFY(!page.Apply());
        QCOMPARE(ui.Messages().size(), size_t(1));
        QCOMPARE(ui.Messages()[0].text,
                 QStringLiteral("The Application field must contain the path to an existing application"));
        QCOMPARE(ui.Messages()[0].caption, QStringLiteral("Application Not Found"));
        QCOMPARE(ui.Messages()[0].icon, MsgIcon::Error);
        QCOMPARE(page.ApplicationEdit()->selectedText(), Path(QStringLiteral("bin/missing")));

        chooser.Answer(app);
        page.BrowseButton()->click();
        QCOMPARE(chooser.asked.back().caption, QStringLiteral("Browse for Application"));
        QCOMPARE(page.ApplicationEdit()->text(), app);
        QSignalSpy applied(&page, &CFileHandlingPage::applied);
        QVERIFY(page.Apply());
        QCOMPARE(applied.count(), 1);
        QCOMPARE(page.List()->count(), 1);

        // A second handler through New; moving it up makes it the default for png.
        page.NewButton()->click();
        QCOMPARE(page.NameEdit()->text(), QString());
        QVERIFY(page.WaitBox()->isChecked() && page.PrelaunchBox()->isChecked());
        page.NameEdit()->setText(QStringLiteral("Png first"));
        page.ApplicationEdit()->setText(app);
        page.DefaultExtensionsEdit()->setText(QStringLiteral(".PNG"));
        page.List()->setCurrentRow(0); // leaving it stores it
        QCOMPARE(page.List()->count(), 2);
        QCOMPARE(page.NameEdit()->text(), QStringLiteral("Viewer \"one\""));
        QVERIFY(!page.MoveUpButton()->isEnabled() && page.MoveDownButton()->isEnabled());

        // A refused store keeps the selection where it was.
        page.ApplicationEdit()->setText(Path(QStringLiteral("nowhere")));
        page.List()->setCurrentRow(1);
        QCOMPARE(page.List()->currentRow(), 0);
        QCOMPARE(ui.Messages().size(), size_t(2));
        page.ApplicationEdit()->setText(app);

        page.List()->setCurrentRow(1);
        page.MoveUpButton()->click();
        QCOMPARE(page.List()->item(0)->text(), QStringLiteral("Png first"));
        QCOMPARE(page.List()->currentRow(), 0);
        QVERIFY(page.Apply());

        CFileHandlerSet onDisk;
        QVERIFY(onDisk.Load(file));
        QCOMPARE(onDisk.Count(), 2);
        QCOMPARE(onDisk.Handler(1).strName, QStringLiteral("Viewer \"one\""));
        QCOMPARE(onDisk.FindDefaultHandler(QStringLiteral("png")), std::optional<int>(0));
        QCOMPARE(onDisk.FindDefaultHandler(QStringLiteral("jpg")), std::optional<int>(1));
        QVERIFY(onDisk.Handler(1).bKillPrevApp);

        page.List()->setCurrentRow(0);
        page.DeleteButton()->click();
        QCOMPARE(page.List()->count(), 1);
        QVERIFY(page.Apply());
        QVERIFY(onDisk.Load(file));
        QCOMPARE(onDisk.Count(), 1);
    }

    void optionsSheetStaysOpenWhileThePageRefusesAndIconsResetAfterSaving()
    {
        CBrowserWindow w;
        CHandlersController& handlers = w.frame.Handlers();
        QSignalSpy reset(&handlers.Icons(), &CFileTypeIcons::iconsReset);
        QVERIFY(!handlers.Icons().Icon(QStringLiteral("TXT")).isNull());
        handlers.Icons().Icon(QStringLiteral("txt"));
        handlers.Icons().Icon(QStringLiteral("zzq"));
        QCOMPARE(handlers.Icons().CachedCount(), 2);

        COptionsSheet sheet(&w.doc, &w.frame);
        handlers.AddOptionsPage(sheet);
        auto* page = qobject_cast<CFileHandlingPage*>(sheet.Pages()->widget(sheet.Pages()->count() - 1));
        QVERIFY(page);
        QCOMPARE(sheet.Pages()->tabText(sheet.Pages()->count() - 1), QStringLiteral("File Handling"));
        page->NameEdit()->setText(QStringLiteral("Player"));
        page->ApplicationEdit()->setText(Path(QStringLiteral("no/such/player")));
        const auto pressed = PressWhenShown(QMessageBox::Ok);
        QVERIFY(!sheet.Save());
        QVERIFY(pressed->pressed);
        QCOMPARE(pressed->text,
                 QStringLiteral("The Application field must contain the path to an existing application"));
        QCOMPARE(sheet.Pages()->currentWidget(), page);
        QCOMPARE(reset.count(), 0);

        page->ApplicationEdit()->setText(Recorder(Path(QStringLiteral("bin/player"))));
        page->DefaultExtensionsEdit()->setText(QStringLiteral("txt"));
        QVERIFY(sheet.Save());
        QCOMPARE(reset.count(), 1);
        QCOMPARE(handlers.Icons().CachedCount(), 0);
        QCOMPARE(handlers.Handlers().FindDefaultHandler(QStringLiteral("txt")), std::optional<int>(0));
    }

    void openWithAndTheSlideShowWorkOnTheListsFiles()
    {
        const QString app = Recorder(Path(QStringLiteral("bin/show")));
        CFileHandlerSet set;
        SFileHandler h;
        h.strName = QStringLiteral("Show it");
        h.strApplication = app;
        h.strCommandLine = QStringLiteral("--open \"%1\"");
        h.strSecondaryExtensions = QStringLiteral("mkv");
        set.StoreHandler(h);
        QVERIFY(set.Save(FileHandlingXmlPath()));

        CFixtureVolumeTable volumes;
        volumes.SetEntries(
            {CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))});
        CVolumeTableScope scope(volumes);
        CBrowserWindow w;
        w.chooser.Answer(Path(QStringLiteral("Films.qrl")));
        w.frame.Action(EMwCommand::FileNew)->trigger();
        QVERIFY(w.doc.IsOpen());
        const QString media = Path(QStringLiteral("media"));
        Write(media + QStringLiteral("/it's a film.mkv"), "x");
        CDbDatabase& db = *w.doc.Database();
        db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Location, Volume, "
                                  "VolumeSerial) VALUES (0, 1, 'C', ?, 'DATA', ?)"),
                   {CDbValue(media), CDbValue(qint32(0x1234ABCD))});
        db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                  "FileSizeDouble) VALUES (1, 0, 7, 'it''s a film.mkv', 1, 1)"));
        w.frame.ShowFolderFiles(1, 0);
        CRecordSetList& list = w.frame.FileList();
        QTRY_COMPARE(list.rowCount(), 1);

        CHandlersController& handlers = w.frame.Handlers();
        handlers.ReloadHandlers();
        handlers.Opener().SetDesktopOpener(app);
        QMenu menu;
        handlers.AddFileMenuItems(menu, 0);
        QMenu* openWith = nullptr;
        for (QAction* action : menu.actions())
            if (action->menu())
                openWith = action->menu();
        QVERIFY(openWith && openWith->isEnabled());
        QCOMPARE(openWith->actions().size(), 1);
        QCOMPARE(openWith->actions()[0]->text(), QStringLiteral("Show it"));
        openWith->actions()[0]->trigger();
        QTRY_COMPARE(Recorded(app),
                     (QStringList{QStringLiteral("--open"), media + QStringLiteral("/it's a film.mkv")}));

        // A double-click opens with the default handler; mkv has none, so the desktop opens it.
        QFile::remove(app + QStringLiteral(".out"));
        w.frame.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
        QTableView* view = w.frame.FileListView();
        const int lastColumn = list.columnCount() - 1;
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {},
                           view->visualRect(list.index(0, lastColumn)).center());
        QTRY_COMPARE(Recorded(app), QStringList{media + QStringLiteral("/it's a film.mkv")});

        // The toolbar follows the show: Play while stopped, Pause and Stop while it plays.
        const auto enabled = [&w](EMwCommand id) { return w.frame.Action(id)->isEnabled(); };
        QVERIFY(enabled(EMwCommand::SlideshowPlay) && enabled(EMwCommand::SlideshowConfigure));
        QVERIFY(!enabled(EMwCommand::SlideshowPause) && !enabled(EMwCommand::SlideshowStop));
        handlers.SlideshowSettings() = {ESlideFiles::Checked, 3600, ESlideOrder::Loop};
        w.frame.Action(EMwCommand::SlideshowPlay)->trigger();
        QCOMPARE(handlers.Slideshow().State(), CSlideshow::EState::Stopped); // nothing checked
        handlers.SlideshowSettings() = {ESlideFiles::All, 3600, ESlideOrder::Loop};
        w.frame.Action(EMwCommand::SlideshowPlay)->trigger();
        QCOMPARE(handlers.Slideshow().State(), CSlideshow::EState::Playing);
        QVERIFY(enabled(EMwCommand::SlideshowPause) && enabled(EMwCommand::SlideshowStop) &&
                enabled(EMwCommand::SlideshowNext) && !enabled(EMwCommand::SlideshowPlay));
        w.frame.Action(EMwCommand::SlideshowPause)->trigger();
        QVERIFY(enabled(EMwCommand::SlideshowPlay) && !enabled(EMwCommand::SlideshowPause) &&
                enabled(EMwCommand::SlideshowPrevious));
        w.frame.Action(EMwCommand::SlideshowStop)->trigger();
        QVERIFY(!enabled(EMwCommand::SlideshowNext) && enabled(EMwCommand::SlideshowPlay));
    }

    void slideshowDialogShowsAndReturnsTheSettings()
    {
        CSlideshowDialog dialog({ESlideFiles::Checked, 2.5, ESlideOrder::Random});
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Slideshow"));
        QVERIFY(dialog.CheckedButton()->isChecked() && dialog.RandomButton()->isChecked());
        QCOMPARE(dialog.SlideTimeBox()->value(), 2.5);
        QCOMPARE(dialog.SlideTimeBox()->minimum(), 0.0);
        dialog.SelectedButton()->setChecked(true);
        dialog.LoopButton()->setChecked(true);
        dialog.SlideTimeBox()->setValue(0.5);
        const SSlideshowSettings settings = dialog.Settings();
        QCOMPARE(settings.files, ESlideFiles::Selected);
        QCOMPARE(settings.order, ESlideOrder::Loop);
        QCOMPARE(settings.dSlideTime, 0.5);
    }
};

QUARRANE_QTEST_MAIN(HandlersWindowTest)
#include "HandlersWindowTest.moc"
