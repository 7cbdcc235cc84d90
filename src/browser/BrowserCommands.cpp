#include "browser/BrowserCommands.h"

#include <QStringList>

#include <array>

namespace
{
using K = EMwCommandKind;
using T = EMwToolbar;
using E = EMwEnable;
using C = EMwCommand;

constexpr std::array kMenus{"&File",  "&Edit",      "&View",  "Group",  "&Catalogue",
                            "Folder", "File &List", "&Query", "&Tools", "&Help"};

// clang-format off
constexpr SMwCommand kCommands[] = {
    {"&File", "", "&New...", C::FileNew, K::Action, T::File, E::Always},
    {"&File", "", "&Open...", C::FileOpen, K::Action, T::File, E::Always},
    {"&File", "", "Open &Server Catalogue...", C::FileOpenServer, K::Action, T::None, E::Always},
    {"&File", "", "&Import...", C::FileImport, K::Action, T::None, E::DatabaseWrite},
    {"&File", "", "Import from Ser&ver Catalogue...", C::FileImportServer, K::Action, T::None, E::DatabaseWrite},
    {"&File", "", "&Close", C::FileClose, K::Action, T::None, E::Database},
    {"&File", "", "Compact &Database", C::FileCompactDatabase, K::Action, T::None, E::DatabaseFileWrite},
    {"&File", "", "&Repair Database...", C::FileRepairDatabase, K::Action, T::None, E::NoJobNoServer},
    {"&File", "", "Recent File", C::FileRecentFile, K::RecentFile, T::None, E::Never},
    {"&File", "", "E&xit\tAlt+F4", C::FileExit, K::Action, T::None, E::Always},

    {"&Edit", "", "&Undo\tCtrl+Z", C::EditUndo, K::Action, T::None, E::TextFieldWrite},
    {"&Edit", "", "Cu&t\tCtrl+X", C::EditCut, K::Action, T::None, E::TextFieldWrite},
    {"&Edit", "", "&Copy\tCtrl+C", C::EditCopy, K::Action, T::None, E::TextField},
    {"&Edit", "", "&Paste\tCtrl+V", C::EditPaste, K::Action, T::None, E::TextFieldPaste},
    {"&Edit", "", "Select &All\tCtrl+A", C::EditSelectAll, K::Action, T::None, E::Database},
    {"&Edit", "", "&Find...\tCtrl+F", C::EditFind, K::Action, T::None, E::Database},
    {"&Edit", "", "&Find Next\tF3", C::EditFindNext, K::Action, T::None, E::Database},
    {"&Edit", "", "Find File Name by Magnetic &Link...\tCtrl+L", C::EditFindFileNameByMagnetLink, K::Action, T::None, E::Database},
    {"&Edit", "", "&Find &TTH by Magnetic Link...\tCtrl+T", C::EditFindTthByMagnetLink, K::Action, T::None, E::Database},
    {"&Edit", "", "&New\tCtrl+N", C::EditNewAttribute, K::Action, T::None, E::AttributeList},
    {"&Edit", "", "&Rename\tCtrl+R", C::EditRenameAttribute, K::Action, T::None, E::AttributeList},
    {"&Edit", "", "&Save Changes\tCtrl+S", C::EditSaveChanges, K::Action, T::File, E::DatabaseWrite},

    {"&View", "", "&Folder File List Field View", C::ViewFolderFieldView, K::Submenu, T::None, E::Database},
    {"&View", "", "&Query File List Field View", C::ViewQueryFieldView, K::Submenu, T::None, E::Database},
    {"&View", "&Toobars", "&File", C::ViewFileToolbar, K::Toggle, T::None, E::Always},
    {"&View", "&Toobars", "&Browser", C::ViewBrowserToolbar, K::Toggle, T::None, E::Always},
    {"&View", "&Toobars", "&Query", C::ViewQueryToolbar, K::Toggle, T::None, E::Always},
    {"&View", "&Toobars", "File &List", C::ViewFileListToolbar, K::Toggle, T::None, E::Always},
    {"&View", "&Toobars", "&Slide show", C::ViewSlideshowToolbar, K::Toggle, T::None, E::Always},
    {"&View", "", "&Status Bar", C::ViewStatusBar, K::Toggle, T::None, E::Always},
    {"&View", "", "&Requery File Browser\tShift+F5", C::ViewRequeryFileBrowser, K::Action, T::Browser, E::Database},

    {"Group", "", "P&roperties...\tCtrl+R", C::GroupProperties, K::Action, T::None, E::BrowserGroupWrite},
    {"Group", "", "New &Group...", C::GroupNew, K::Action, T::Browser, E::DatabaseWrite},
    {"Group", "", "&Delete Group", C::GroupDelete, K::Action, T::None, E::BrowserGroupWrite},

    {"&Catalogue", "", "P&roperties...\tCtrl+R", C::CatalogueProperties, K::Action, T::None, E::BrowserCatalogueWrite},
    {"&Catalogue", "", "&Root Folder Properties...", C::CatalogueRootFolderProperties, K::Action, T::None, E::BrowserCatalogueWrite},
    {"&Catalogue", "", "&Synchronize", C::CatalogueSynchronize, K::Action, T::Browser, E::BrowserCatalogue},
    {"&Catalogue", "", "&Update TTH", C::CatalogueUpdateTth, K::Action, T::Browser, E::BrowserCatalogue},
    {"&Catalogue", "", "New &Catalogue...", C::CatalogueNew, K::Action, T::Browser, E::DatabaseWrite},
    {"&Catalogue", "", "&Delete Catalogue", C::CatalogueDelete, K::Action, T::None, E::BrowserCatalogueWrite},

    {"Folder", "", "P&roperties...\tCtrl+R", C::FolderProperties, K::Action, T::None, E::BrowserFolderWrite},

    {"File &List", "", "&Select Chec&ked\tCtrl+K", C::FileListSelectChecked, K::Action, T::FileList, E::Database},
    {"File &List", "", "&Check Files to Size\tCtrl+M", C::FileListCheckFilesToSize, K::Action, T::FileList, E::DatabaseWrite},
    {"File &List", "", "Replay &Edits\tCtrl+E", C::FileListReplayEdits, K::Action, T::None, E::DatabaseWrite},
    {"File &List", "", "&Open\tCtrl+O", C::FileListOpen, K::Action, T::FileList, E::Database},
    {"File &List", "", "Never AutoC&heck\tCtrl+H", C::FileListNeverAutoCheck, K::Action, T::None, E::DatabaseWrite},
    {"File &List", "", "&Rename\tCtrl+R", C::FileListRename, K::Action, T::None, E::DatabaseWrite},
    {"File &List", "", "&Move/Copy To...", C::FileListMoveCopyTo, K::Action, T::None, E::DatabaseWrite},
    {"File &List", "", "&Ghost Selected\tCtrl+G", C::FileListGhostSelected, K::Action, T::FileList, E::DatabaseWrite},
    {"File &List", "", "De&lete Selected\tDelete", C::FileListDeleteSelected, K::Action, T::FileList, E::DatabaseWrite},
    {"File &List", "", "E&dit Find\tCtrl+D", C::FileListEditFind, K::Action, T::None, E::Database},
    {"File &List", "", "Copy &Magnetic Link", C::FileListCopyMagneticLink, K::Action, T::None, E::Database},
    {"File &List", "", "Requery\tF5", C::FileListRequery, K::Action, T::FileList, E::Database},
    {"File &List", "", "E&xport List...", C::FileListExportList, K::Action, T::None, E::Database},
    {"File &List", "", "&Close\tAlt+F4", C::FileListClose, K::Action, T::None, E::Never},

    {"&Query", "", "&Run", C::QueryRun, K::Action, T::Query, E::DatabaseWrite},
    {"&Query", "", "&Find...\tCtrl+F", C::QueryFind, K::Action, T::Query, E::Database},
    {"&Query", "", "&Find Next\tF3", C::QueryFindNext, K::Action, T::Query, E::Database},
    {"&Query", "", "Find File Name by Magnetic &Link...\tCtrl+L", C::QueryFindFileNameByMagnetLink, K::Action, T::Query, E::Database},
    {"&Query", "", "Find &TTH by Magnetic Link...\tCtrl+T", C::QueryFindTthByMagnetLink, K::Action, T::Query, E::Database},

    {"&Tools", "", "&Options...", C::ToolsOptions, K::Action, T::None, E::Always},

    {"&Help", "", "&Help Topics", C::HelpTopics, K::Action, T::None, E::Never},
    {"&Help", "", "&About Quarrane...", C::HelpAbout, K::Action, T::None, E::Always},

    {"", "", "Configure slide show", C::SlideshowConfigure, K::Action, T::Slideshow, E::Database},
    {"", "", "Previous slide", C::SlideshowPrevious, K::Action, T::Slideshow, E::SlideshowRunning},
    {"", "", "Stop slide show (Play restarts from the beginning)", C::SlideshowStop, K::Action, T::Slideshow, E::SlideshowRunning},
    {"", "", "Pause slide show (Play continues from the current slide)", C::SlideshowPause, K::Action, T::Slideshow, E::SlideshowPlaying},
    {"", "", "Play slide show", C::SlideshowPlay, K::Action, T::Slideshow, E::SlideshowPlayable},
    {"", "", "Next slide", C::SlideshowNext, K::Action, T::Slideshow, E::SlideshowRunning},
};
// clang-format on

QString Part(const SMwCommand& command, int which)
{
    const QString text = QString::fromUtf8(command.text);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    if (tab < 0)
        return which == 0 ? text : QString();
    return which == 0 ? text.left(tab) : text.mid(tab + 1);
}
} // namespace

std::span<const SMwCommand> MwCommands()
{
    return kCommands;
}

const SMwCommand& MwCommand(EMwCommand id)
{
    for (const SMwCommand& command : kCommands)
        if (command.id == id)
            return command;
    // Every identifier has its row; a missing one is a fault of the table caught by its test.
    return kCommands[0];
}

std::span<const char* const> MwMenus()
{
    return kMenus;
}

QString MwCommandLabel(const SMwCommand& command)
{
    return Part(command, 0);
}

QString MwCommandShortcut(const SMwCommand& command)
{
    return Part(command, 1);
}

QString MwToolbarTitle(EMwToolbar toolbar)
{
    static const QStringList titles{QStringLiteral("File"), QStringLiteral("Browser"),
                                    QStringLiteral("Query"), QStringLiteral("File List"),
                                    QStringLiteral("Slide show")};
    const int i = static_cast<int>(toolbar);
    return i >= 0 && i < titles.size() ? titles[i] : QString();
}

QString MwToolbarSetting(EMwToolbar toolbar)
{
    static const QStringList names{
        QStringLiteral("FileToolbarVisible"), QStringLiteral("BrowserToolbarVisible"),
        QStringLiteral("QueryToolbarVisible"), QStringLiteral("FileListToolbarVisible"),
        QStringLiteral("SlideshowToolbarVisible")};
    const int i = static_cast<int>(toolbar);
    return i >= 0 && i < names.size() ? QStringLiteral("View/") + names[i] : QString();
}

bool IsMwCommandEnabled(const SMwCommand& command, const CMwCommandContext& context)
{
    switch (command.enable)
    {
    case EMwEnable::Never:
        return false;
    case EMwEnable::Always:
        return true;
    case EMwEnable::Database:
        return context.bDatabaseOpen;
    case EMwEnable::DatabaseWrite:
        return context.bDatabaseOpen && !context.bJobWriting && !context.bDatabaseReadOnly;
    case EMwEnable::NoJob:
        return !context.bJobRunning;
    case EMwEnable::DatabaseFileWrite:
        return context.bDatabaseOpen && !context.bDatabaseOnServer && !context.bJobWriting &&
               !context.bDatabaseReadOnly;
    case EMwEnable::NoJobNoServer:
        return !context.bJobRunning && !(context.bDatabaseOpen && context.bDatabaseOnServer);
    case EMwEnable::BrowserCatalogue:
        // The synchronizer writes the catalogue into the database.
        return context.bDatabaseOpen && !context.bDatabaseReadOnly && context.bBrowserTabShown &&
               context.bCatalogueChosen;
    case EMwEnable::SlideshowRunning:
        return context.bSlideshowPlaying || context.bSlideshowPaused;
    case EMwEnable::SlideshowPlaying:
        return context.bSlideshowPlaying;
    case EMwEnable::SlideshowPlayable:
        return context.bDatabaseOpen && !context.bSlideshowPlaying;
    case EMwEnable::TextField:
        return context.bTextFocused;
    case EMwEnable::TextFieldWrite:
        return context.bTextFocused && context.bTextEditable;
    case EMwEnable::TextFieldPaste:
        return context.bTextFocused && context.bTextEditable && context.bClipboardText;
    case EMwEnable::AttributeList:
        return context.bDatabaseOpen && !context.bJobWriting && !context.bDatabaseReadOnly &&
               context.bAttributeListFocused;
    case EMwEnable::BrowserGroupWrite:
    case EMwEnable::BrowserCatalogueWrite:
    case EMwEnable::BrowserFolderWrite:
    {
        const bool chosen = command.enable == EMwEnable::BrowserGroupWrite       ? context.bGroupChosen
                            : command.enable == EMwEnable::BrowserCatalogueWrite ? context.bCatalogueChosen
                                                                                 : context.bFolderChosen;
        return context.bDatabaseOpen && !context.bJobWriting && !context.bDatabaseReadOnly &&
               context.bBrowserTabShown && chosen;
    }
    }
    return false;
}
