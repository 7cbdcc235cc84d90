#pragma once

#include <QString>

#include <span>

// The browser window's commands in one table: the menu each sits in, its text (the mnemonic
// after "&", the shortcut after "\t"), the toolbar that carries it, and when it is enabled. The
// window builds its menus and toolbars by walking the table; later work enables a command by
// giving it a rule here and a handler in the window.

enum class EMwCommand
{
    // File
    FileNew,
    FileOpen,
    FileOpenServer,
    FileImport,
    FileImportServer,
    FileClose,
    FileCompactDatabase,
    FileRepairDatabase,
    FileRecentFile,
    FileExit,
    // Edit
    EditUndo,
    EditCut,
    EditCopy,
    EditPaste,
    EditSelectAll,
    EditFind,
    EditFindNext,
    EditFindFileNameByMagnetLink,
    EditFindTthByMagnetLink,
    EditNewAttribute,
    EditRenameAttribute,
    EditSaveChanges,
    // View
    ViewFolderFieldView,
    ViewQueryFieldView,
    ViewFileToolbar,
    ViewBrowserToolbar,
    ViewQueryToolbar,
    ViewFileListToolbar,
    ViewSlideshowToolbar,
    ViewStatusBar,
    ViewRequeryFileBrowser,
    // Group
    GroupProperties,
    GroupNew,
    GroupDelete,
    // Catalogue
    CatalogueProperties,
    CatalogueRootFolderProperties,
    CatalogueSynchronize,
    CatalogueUpdateTth,
    CatalogueNew,
    CatalogueDelete,
    // Folder
    FolderProperties,
    // File List
    FileListSelectChecked,
    FileListCheckFilesToSize,
    FileListReplayEdits,
    FileListOpen,
    FileListNeverAutoCheck,
    FileListRename,
    FileListMoveCopyTo,
    FileListGhostSelected,
    FileListDeleteSelected,
    FileListEditFind,
    FileListCopyMagneticLink,
    FileListRequery,
    FileListExportList,
    FileListClose,
    // Query
    QueryRun,
    QueryFind,
    QueryFindNext,
    QueryFindFileNameByMagnetLink,
    QueryFindTthByMagnetLink,
    // Tools
    ToolsOptions,
    // Help
    HelpTopics,
    HelpAbout,
    // Slide show toolbar only
    SlideshowConfigure,
    SlideshowPrevious,
    SlideshowStop,
    SlideshowPause,
    SlideshowPlay,
    SlideshowNext,
};

// The five toolbars, in the order they stand on their row and are listed in "&Toobars".
enum class EMwToolbar
{
    None = -1,
    File = 0,
    Browser,
    Query,
    FileList,
    Slideshow,
};
constexpr int kMwToolbarCount = 5;

// How a command is shown in its menu.
enum class EMwCommandKind
{
    Action,     // an ordinary command
    Toggle,     // a check mark (toolbars, status bar)
    Submenu,    // a submenu filled by its own Part
    RecentFile, // where the recent files are listed
};

// When a command is enabled.
enum class EMwEnable
{
    Never, // its Part is not built yet
    Always,
    Database,      // a database is open
    DatabaseWrite, // a database is open and no job writes to it
    NoJob,         // no job runs (the command starts one of its own)
    // The same for commands that compact and repair catalogue files: not while a catalogue on a
    // server is open, which its server looks after.
    DatabaseFileWrite,
    NoJobNoServer,
    BrowserCatalogue, // a database, the catalogue browser shown and a catalogue chosen in it

    SlideshowRunning,  // a slide show plays or is paused
    SlideshowPlaying,  // a slide show plays
    SlideshowPlayable, // a database is open and no slide show plays
    TextField,         // a text field has the focus
    TextFieldWrite,    // an editable text field has the focus
    TextFieldPaste,    // an editable text field has the focus and the clipboard holds text
    AttributeList,     // an attribute list has the focus, with a database open and no job writing
    // The same with a group, a catalogue or a folder chosen, for commands that write: no job
    // may be writing meanwhile.
    BrowserGroupWrite,
    BrowserCatalogueWrite,
    BrowserFolderWrite,
};

struct SMwCommand
{
    const char* menu;    // the menu's text; empty for a toolbar-only command
    const char* submenu; // a submenu of that menu ("&Toobars"), or empty
    const char* text;    // shown text: mnemonic after "&", shortcut after "\t"
    EMwCommand id;
    EMwCommandKind kind;
    EMwToolbar toolbar; // the toolbar that carries it too
    EMwEnable enable;
};

// Every command in menu order; toolbar-only commands at the end.
std::span<const SMwCommand> MwCommands();
const SMwCommand& MwCommand(EMwCommand id);

// The menus in menu-bar order.
std::span<const char* const> MwMenus();

// "&Open\tCtrl+O" -> "&Open" and "Ctrl+O".
QString MwCommandLabel(const SMwCommand& command);
QString MwCommandShortcut(const SMwCommand& command);

// The title and "View" setting of each toolbar.
QString MwToolbarTitle(EMwToolbar toolbar);
QString MwToolbarSetting(EMwToolbar toolbar);

// What the enabled states depend on.
struct CMwCommandContext
{
    bool bDatabaseOpen = false;
    bool bJobRunning = false;
    bool bJobWriting = false;
    // Opened read-only (read-only media, another user's file): nothing may be written.
    bool bDatabaseReadOnly = false;
    // The open catalogue is on a server rather than in a file.
    bool bDatabaseOnServer = false;
    bool bBrowserTabShown = false;
    bool bCatalogueChosen = false;
    bool bSlideshowPlaying = false;
    bool bSlideshowPaused = false;
    bool bTextFocused = false;
    bool bTextEditable = false;
    bool bClipboardText = false;
    bool bAttributeListFocused = false;
    bool bGroupChosen = false;
    bool bFolderChosen = false;
};

bool IsMwCommandEnabled(const SMwCommand& command, const CMwCommandContext& context);
