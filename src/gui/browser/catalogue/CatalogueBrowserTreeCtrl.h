#pragma once

#include "browser/CatalogueDialogs.h"
#include "browser/models/CatalogueTreeRecord.h"

#include <QPersistentModelIndex>
#include <QPoint>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <memory>

class CCatalogueItemDelegate;
class CCatalogueTreeEdits;
class CCatalogueTreeModel;
class CMediaPresence;
class CMirrowelDoc;
class CMountTableWatcher;
class QMenu;
struct CMoveFilesRequest;

// The catalogue browser: groups, catalogues and their folders of the open database. Checking a
// catalogue for queries is a click on its check box; selecting an item shows its files (through
// folderSelected); the group, catalogue and folder commands work on the context item or the
// selection; groups and catalogues are reorganised by drag and drop, files dropped from the file
// list offer to be moved or copied, a folder dropped from the desktop becomes a new catalogue and
// a database file dropped is opened. Each catalogue shows whether its medium is mounted, followed
// live through the mount table.
class CCatalogueBrowserTreeCtrl final : public QTreeView
{
    Q_OBJECT

public:
    static constexpr int kHoverExpandMs = 2000;

    CCatalogueBrowserTreeCtrl(CCatalogueTreeModel& model, CMirrowelDoc& doc, QWidget* parent = nullptr);
    ~CCatalogueBrowserTreeCtrl() override;

    // The dialogs the commands show (tests script them); by default the real ones.
    void SetGroupDialog(DialogFunction<CGroupDialogData> dialog) { m_fnGroupDialog = std::move(dialog); }
    void SetCatalogueDialog(DialogFunction<CCatalogueDialogData> dialog)
    {
        m_fnCatalogueDialog = std::move(dialog);
    }
    void SetRelativePathDialog(DialogFunction<CRelativePathDialogData> dialog)
    {
        m_fnRelativePathDialog = std::move(dialog);
    }
    // Shows the drop menu of dropped files and returns the chosen action (tests answer it).
    void SetMenuRunner(std::function<QAction*(QMenu&, const QPoint& globalPos)> runner)
    {
        m_fnRunMenu = std::move(runner);
    }

    // Moves or copies files dropped from the file list (the window's file operations); false
    // when nothing started. Without one the drop menu's commands are disabled.
    void SetFileMover(std::function<bool(const CMoveFilesRequest&)> mover)
    {
        m_fnMoveFiles = std::move(mover);
    }

    CCatalogueTreeModel& Model() const { return m_model; }
    CCatalogueTreeEdits& Edits() const { return *m_pEdits; }
    CMediaPresence& Media() const { return *m_pMedia; }
    CMountTableWatcher& MountWatcher() const { return *m_pWatcher; }
    CCatalogueItemDelegate& ItemDelegate() const { return *m_pDelegate; }

    // The item the commands work on: the context menu's item while it shows, else the selection.
    QModelIndex CommandIndex() const;
    CCatalogueTreeRecord CommandRecord() const;
    // The context menu of an item (an invalid index: of empty space), as it would show.
    std::unique_ptr<QMenu> CreateContextMenu(const QModelIndex& index);
    // The check box of a catalogue item, in viewport coordinates; empty for other items.
    QRect StateImageRect(const QModelIndex& index) const;
    // The item of a group or catalogue, loading the groups above it as needed.
    QModelIndex RevealItem(qint32 kind, qint32 id);
    // Makes the first catalogue the current item, so that its files show: the first at the top
    // level, else the first inside the groups in their order. False when there is none.
    bool SelectFirstCatalogue();

public slots:
    void OnMwNewGroup();
    void OnMwNewCatalogue();
    void OnMwProperties();
    void OnMwRootFolderProperties();
    void OnMwSynchronize();
    void OnMwUpdateTTH();
    void OnMwNewFolder();
    void OnMwDeleteGroup();
    void OnMwDeleteCatalogue();
    void OnMwRequery();
    // New Catalogue with a location already chosen (a folder dropped from the desktop).
    qint32 NewCatalogueAt(const QString& location, qint32 groupId);

signals:
    // The item whose files the file list shows: a catalogue's root folder (0) or one of its
    // folders; catalogue 0 when no catalogue is chosen (a group, or an empty tree).
    void folderSelected(qint32 catalogueId, qint32 relativePathId);
    // A database file was dropped on the tree.
    void openDatabaseRequested(const QString& path);
    // A catalogued medium was mounted.
    void mediumArrived(qint32 catalogueId, const QString& catalogue);
    // A catalogue and its files were deleted.
    void catalogueDeleted(qint32 catalogueId);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    enum class EDrop
    {
        None,
        Item,     // a group or catalogue of the tree
        Files,    // files of the file list
        Folder,   // a folder of the desktop: a new catalogue
        Database, // a database file: opened
    };
    EDrop DropKind(const QMimeData* data, const QPoint& pos, QString* pLocalPath = nullptr) const;
    CCatalogueTreeRecord RecordAt(const QPoint& pos) const;
    void StartItemDrag();
    void DropFiles(const QMimeData* data, const QPoint& pos);
    void ShowItem(const QModelIndex& index);
    void OnDatabaseChanged();
    void RefreshMedia();
    void OnCatalogueChanged(qint32 catalogueId);
    bool CanWrite() const;
    QWidget* DialogParent();

    CCatalogueTreeModel& m_model;
    CMirrowelDoc& m_doc;
    std::unique_ptr<CCatalogueTreeEdits> m_pEdits;
    std::unique_ptr<CMediaPresence> m_pMedia;
    std::unique_ptr<CMountTableWatcher> m_pWatcher;
    CCatalogueItemDelegate* m_pDelegate = nullptr;
    DialogFunction<CGroupDialogData> m_fnGroupDialog;
    DialogFunction<CCatalogueDialogData> m_fnCatalogueDialog;
    DialogFunction<CRelativePathDialogData> m_fnRelativePathDialog;
    std::function<QAction*(QMenu&, const QPoint&)> m_fnRunMenu;
    std::function<bool(const CMoveFilesRequest&)> m_fnMoveFiles;
    QPersistentModelIndex m_contextIndex;
    QPersistentModelIndex m_pressIndex;
    QPoint m_pressPos;
    // The collapsed item a drag rests over, opened when the hover delay ends.
    QTimer m_hoverTimer;
    QPersistentModelIndex m_hoverIndex;
};
