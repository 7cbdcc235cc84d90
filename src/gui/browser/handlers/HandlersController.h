#pragma once

#include "browser/handlers/FileHandlers.h"
#include "browser/handlers/FileOpener.h"
#include "browser/handlers/Slideshow.h"
#include "gui/browser/handlers/FileTypeIcons.h"

#include <QObject>

#include <optional>

class CFileChooser;
class CMainFrame;
class CMirrowelDoc;
class COptionsSheet;
class CUserInteraction;
class QMenu;
class QTableView;

// Asks the desktop's file manager to show a file selected (org.freedesktop.FileManager1 over the
// session bus); false when no file manager answers.
bool ShowInFileManager(const QString& path);

// The window's file handling: opening the list's files (Open, double-click, Open With, Open
// Containing Folder), the slide show and its toolbar, the "File Handling" options page and the
// file-type icons. It keeps the handlers as FileHandling.xml holds them and reads them again
// when the page has written them.
class CHandlersController final : public QObject
{
    Q_OBJECT

public:
    CHandlersController(CMainFrame& frame, CMirrowelDoc& doc, CUserInteraction& ui);
    ~CHandlersController() override;

    CFileHandlerSet& Handlers() { return m_handlers; }
    CFileOpener& Opener() { return m_opener; }
    CSlideshow& Slideshow() { return m_slideshow; }
    CFileTypeIcons& Icons() { return m_icons; }
    SSlideshowSettings& SlideshowSettings() { return m_slideSettings; }

    // Where the page's Browse asks for a file (not owned).
    void SetFileChooser(CFileChooser* chooser) { m_pChooser = chooser; }
    void AddOptionsPage(COptionsSheet& sheet);
    // Reads FileHandling.xml again and forgets the icons.
    void ReloadHandlers();

    // Follows a file list view: its context menu offers the file commands.
    // Each view is followed once, however often it is handed over.
    void AttachView(QTableView* view);
    // "&Open", "Open With" (the handlers offered for the row's extension) and "Open Containing
    // Folder" for a row of the list.
    void AddFileMenuItems(QMenu& menu, int row);

    // Opens the list's row with a handler, or with its default one.
    qint64 OpenRow(int row, std::optional<int> handler = std::nullopt);
    bool OpenContainingFolder(int row);
    // The focused row of the list ("&Open").
    void OpenFocused();
    // A file of the list (a double click, Enter) with its default handler.
    qint64 OpenFileId(qint32 fileId);
    // "Configure slide show": the dialog; Play starts the show from the beginning.
    void ConfigureSlideshow();

private:
    std::optional<SOpenRequest> RowRequest(int row);
    SSlideOpened OpenSlide(qint32 fileId);
    std::vector<qint32> Candidates(ESlideFiles which);

    CMainFrame& m_frame;
    CMirrowelDoc& m_doc;
    CUserInteraction& m_ui;
    CFileChooser* m_pChooser = nullptr;
    CFileHandlerSet m_handlers;
    CFileOpener m_opener;
    CFileTypeIcons m_icons;
    SSlideshowSettings m_slideSettings;
    CSlideshow m_slideshow;
};
