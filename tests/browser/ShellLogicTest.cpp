#include "browser/BrowserCommands.h"
#include "browser/FileListTotals.h"
#include "browser/RecentFileList.h"

#include <QDir>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(BrowserCommandsTest, EveryCommandHasOneRowAndItsTextSplitsIntoLabelAndShortcut)
{
    QSet<int> seen;
    for (const SMwCommand& command : MwCommands())
    {
        EXPECT_FALSE(seen.contains(static_cast<int>(command.id))) << command.text;
        seen.insert(static_cast<int>(command.id));
        EXPECT_EQ(&MwCommand(command.id), &command) << command.text;
    }
    EXPECT_EQ(seen.size(), static_cast<int>(EMwCommand::SlideshowNext) + 1);

    struct Case
    {
        EMwCommand id;
        const char* label;
        const char* shortcut;
    };
    const Case cases[] = {
        {EMwCommand::FileNew, "&New...", ""},
        {EMwCommand::FileExit, "E&xit", "Alt+F4"},
        {EMwCommand::EditFindTthByMagnetLink, "&Find &TTH by Magnetic Link...", "Ctrl+T"},
        {EMwCommand::ViewRequeryFileBrowser, "&Requery File Browser", "Shift+F5"},
        {EMwCommand::FileListDeleteSelected, "De&lete Selected", "Delete"},
        {EMwCommand::FileListSelectChecked, "&Select Chec&ked", "Ctrl+K"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(MwCommandLabel(MwCommand(c.id)), QString::fromUtf8(c.label));
        EXPECT_EQ(MwCommandShortcut(MwCommand(c.id)), QString::fromUtf8(c.shortcut));
    }

    // Each toolbar toggle of the View menu is in "&Toobars", in the toolbars' order.
    for (int toolbar = 0; toolbar < kMwToolbarCount; ++toolbar)
    {
        const SMwCommand& toggle =
            MwCommand(static_cast<EMwCommand>(static_cast<int>(EMwCommand::ViewFileToolbar) + toolbar));
        EXPECT_STREQ(toggle.submenu, "&Toobars");
        EXPECT_EQ(toggle.kind, EMwCommandKind::Toggle);
        EXPECT_FALSE(MwToolbarSetting(static_cast<EMwToolbar>(toolbar)).isEmpty());
    }
    EXPECT_EQ(MwToolbarSetting(EMwToolbar::Slideshow), QStringLiteral("View/SlideshowToolbarVisible"));
}

TEST(BrowserCommandsTest, CommandsAreEnabledByTheDocumentsState)
{
    CMwCommandContext none;
    CMwCommandContext open;
    open.bDatabaseOpen = true;
    CMwCommandContext writing = open;
    writing.bJobRunning = writing.bJobWriting = true;
    CMwCommandContext reading = open;
    reading.bJobRunning = true;
    CMwCommandContext catalogue = open;
    catalogue.bBrowserTabShown = catalogue.bCatalogueChosen = true;
    CMwCommandContext catalogueOtherTab = catalogue;
    catalogueOtherTab.bBrowserTabShown = false;

    struct Case
    {
        EMwCommand id;
        bool none, open, writing, reading, catalogue, catalogueOtherTab;
    };
    const Case cases[] = {
        {EMwCommand::FileNew, true, true, true, true, true, true},
        {EMwCommand::FileOpen, true, true, true, true, true, true},
        {EMwCommand::FileImport, false, true, false, true, true, true},
        {EMwCommand::FileClose, false, true, true, true, true, true},
        {EMwCommand::FileCompactDatabase, false, true, false, true, true, true},
        {EMwCommand::FileRepairDatabase, true, true, false, false, true, true},
        {EMwCommand::FileExit, true, true, true, true, true, true},
        {EMwCommand::EditSaveChanges, false, true, false, true, true, true},
        {EMwCommand::EditFind, false, true, true, true, true, true},
        {EMwCommand::ViewStatusBar, true, true, true, true, true, true},
        {EMwCommand::ViewRequeryFileBrowser, false, true, true, true, true, true},
        {EMwCommand::CatalogueSynchronize, false, false, false, false, true, false},
        {EMwCommand::CatalogueUpdateTth, false, false, false, false, true, false},
        {EMwCommand::CatalogueNew, false, true, false, true, true, true},
        {EMwCommand::GroupNew, false, true, false, true, true, true},
        {EMwCommand::CatalogueDelete, false, false, false, false, true, false},
        {EMwCommand::CatalogueProperties, false, false, false, false, true, false},
        {EMwCommand::GroupDelete, false, false, false, false, false, false},
        {EMwCommand::FolderProperties, false, false, false, false, false, false},
        {EMwCommand::FileListDeleteSelected, false, true, false, true, true, true},
        {EMwCommand::QueryRun, false, true, false, true, true, true},
        {EMwCommand::ToolsOptions, true, true, true, true, true, true},
        {EMwCommand::HelpAbout, true, true, true, true, true, true},
        {EMwCommand::SlideshowPlay, false, true, true, true, true, true},
    };
    for (const Case& c : cases)
    {
        const SMwCommand& command = MwCommand(c.id);
        EXPECT_EQ(IsMwCommandEnabled(command, none), c.none) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, open), c.open) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, writing), c.writing) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, reading), c.reading) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, catalogue), c.catalogue) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, catalogueOtherTab), c.catalogueOtherTab) << command.text;
    }
}

TEST(BrowserCommandsTest, FileMaintenanceIsOffWhileAServerCatalogueIsOpen)
{
    CMwCommandContext file;
    file.bDatabaseOpen = true;
    CMwCommandContext server = file;
    server.bDatabaseOnServer = true;
    CMwCommandContext serverReading = server;
    serverReading.bJobRunning = true;
    CMwCommandContext serverWriting = serverReading;
    serverWriting.bJobWriting = true;
    // A server address remembered from before says nothing once the catalogue is closed.
    CMwCommandContext closed;
    closed.bDatabaseOnServer = true;

    struct Case
    {
        EMwCommand id;
        bool file, server, serverReading, serverWriting, closed;
    };
    const Case cases[] = {
        {EMwCommand::FileCompactDatabase, true, false, false, false, false},
        {EMwCommand::FileRepairDatabase, true, false, false, false, true},
        // Importing and writing go on as with a file.
        {EMwCommand::FileImport, true, true, true, false, false},
        {EMwCommand::FileImportServer, true, true, true, false, false},
        {EMwCommand::FileClose, true, true, true, true, false},
        {EMwCommand::EditSaveChanges, true, true, true, false, false},
        {EMwCommand::FileOpenServer, true, true, true, true, true},
    };
    for (const Case& c : cases)
    {
        const SMwCommand& command = MwCommand(c.id);
        EXPECT_EQ(IsMwCommandEnabled(command, file), c.file) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, server), c.server) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, serverReading), c.serverReading) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, serverWriting), c.serverWriting) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, closed), c.closed) << command.text;
    }
}

TEST(RecentFileListTest, NewestFirstEachOnceAtMostEightAndKeptInTheSettings)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CRecentFileList list;
    for (int i = 1; i <= 10; ++i)
        list.Add(dir.filePath(QStringLiteral("db%1.qrl").arg(i)));
    ASSERT_EQ(list.Files().size(), CRecentFileList::kMaxFiles);
    EXPECT_EQ(list.Files().first(), dir.filePath(QStringLiteral("db10.qrl")));
    EXPECT_EQ(list.Files().last(), dir.filePath(QStringLiteral("db3.qrl")));

    // The same file by another spelling moves to the top rather than appearing twice.
    list.Add(dir.path() + QStringLiteral("/sub/../db5.qrl"));
    EXPECT_EQ(list.Files().first(), dir.filePath(QStringLiteral("db5.qrl")));
    EXPECT_EQ(list.Files().count(dir.filePath(QStringLiteral("db5.qrl"))), 1);
    EXPECT_EQ(list.Files().size(), CRecentFileList::kMaxFiles);
    list.Remove(dir.filePath(QStringLiteral("db10.qrl")));
    EXPECT_FALSE(list.Files().contains(dir.filePath(QStringLiteral("db10.qrl"))));

    QSettings settings(dir.filePath(QStringLiteral("settings.ini")), QSettings::IniFormat);
    settings.setValue(QStringLiteral("Recent File List/File8"), QStringLiteral("/stale.qrl"));
    list.Save(settings);
    EXPECT_FALSE(settings.contains(QStringLiteral("Recent File List/File8")))
        << "a shorter list leaves no stale entry";
    CRecentFileList loaded;
    loaded.Load(settings);
    EXPECT_EQ(loaded.Files(), list.Files());

    // A folder with "&" shows it rather than making a mnemonic of it.
    CRecentFileList odd;
    odd.Add(QStringLiteral("/data/Tom & Jerry/a.qrl"));
    EXPECT_EQ(odd.MenuText(0), QStringLiteral("&1 /data/Tom && Jerry/a.qrl"));
    EXPECT_TRUE(odd.MenuText(1).isEmpty());
}

TEST(FileListTotalsTest, GhostsCountInNeitherTotalAndUpdatingShowsWhileTheWalkRuns)
{
    CFileListTotals totals;
    EXPECT_EQ(totals.TotalText(), QStringLiteral("Total: 0 files, 0 KB"));
    EXPECT_EQ(totals.CheckedText(), QStringLiteral("Checked: 0 files, 0 KB"));

    totals.Reset();
    EXPECT_EQ(totals.TotalText(), QStringLiteral("Total:  updating..."));
    EXPECT_EQ(totals.CheckedText(), QStringLiteral("Checked:  updating..."));
    totals.AddRow(false, true, 3u * 1024 * 1024, 0);  // 3 MB, checked
    totals.AddRow(false, false, 0, 1);                // 4 GiB from the high part
    totals.AddRow(true, true, 500u * 1024 * 1024, 0); // a ghost: in neither total
    totals.Finish();
    EXPECT_EQ(totals.TotalCount(), 2u);
    EXPECT_EQ(totals.CheckedCount(), 1u);
    EXPECT_DOUBLE_EQ(totals.TotalSize(), 3.0 * 1024 * 1024 + 4294967296.0);
    EXPECT_DOUBLE_EQ(totals.CheckedSize(), 3.0 * 1024 * 1024);
    EXPECT_EQ(totals.TotalText(), QStringLiteral("Total: 2 files, 4.00 GB"));
    EXPECT_EQ(totals.CheckedText(), QStringLiteral("Checked: 1 files, 3073 KB"));

    totals.Reset();
    EXPECT_EQ(totals.TotalCount(), 0u);
    EXPECT_TRUE(totals.IsUpdating());
}
