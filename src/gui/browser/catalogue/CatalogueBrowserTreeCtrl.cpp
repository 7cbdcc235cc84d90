#include "gui/browser/catalogue/CatalogueBrowserTreeCtrl.h"

#include "browser/CatalogueStore.h"
#include "browser/CatalogueTreeEdits.h"
#include "browser/DragPayloads.h"
#include "browser/MediaPresence.h"
#include "browser/MirrowelDoc.h"
#include "browser/SynchLink.h"
#include "browser/fileops/MoveFiles.h"
#include "browser/models/CatalogueTreeModel.h"
#include "gui/browser/catalogue/CatalogueItemDelegate.h"
#include "gui/browser/catalogue/CataloguePropertiesDialog.h"
#include "gui/browser/catalogue/GroupPropertiesDialog.h"
#include "gui/browser/catalogue/MwRelativePathPropertiesDialog.h"
#include "platform/MountTableWatcher.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QFileInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include <map>

namespace
{
using Kind = CCatalogueTreeRecord::Kind;

Kind KindOf(const QModelIndex& index)
{
    return index.isValid() ? static_cast<Kind>(index.data(CCatalogueTreeModel::KindRole).toInt())
                           : CCatalogueTreeRecord::KindNone;
}
} // namespace

CCatalogueBrowserTreeCtrl::CCatalogueBrowserTreeCtrl(CCatalogueTreeModel& model, CMirrowelDoc& doc,
                                                     QWidget* parent)
    : QTreeView(parent), m_model(model), m_doc(doc),
      m_pEdits(std::make_unique<CCatalogueTreeEdits>(doc, model)),
      m_pMedia(std::make_unique<CMediaPresence>()), m_pWatcher(std::make_unique<CMountTableWatcher>())
{
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setAccessibleName(QStringLiteral("Catalogue Browser"));
    setModel(&model);
    m_pDelegate = new CCatalogueItemDelegate(*m_pMedia, this);
    setItemDelegate(m_pDelegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Drags are started here with our own payload; drops are judged here too.
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(true);
    // The view's own hover delay would also close an open item: the tree keeps its own.
    setAutoExpandDelay(-1);
    m_hoverTimer.setSingleShot(true);
    m_hoverTimer.setInterval(kHoverExpandMs);
    connect(&m_hoverTimer, &QTimer::timeout, this,
            [this]
            {
                const QModelIndex index = m_hoverIndex;
                if (!index.isValid() || isExpanded(index))
                    return;
                if (m_model.canFetchMore(index))
                    m_model.fetchMore(index);
                expand(index);
            });
    setAutoScroll(true);
    setAutoScrollMargin(qMax(16, fontMetrics().height() + 4));
    setExpandsOnDoubleClick(true);

    m_fnGroupDialog = [this](CGroupDialogData& data)
    { return CGroupPropertiesDialog::Run(data, DialogParent()); };
    m_fnRelativePathDialog = [this](CRelativePathDialogData& data)
    { return CMwRelativePathPropertiesDialog::Run(data, DialogParent()); };
    m_fnCatalogueDialog = [this, shown = 0](CCatalogueDialogData& data) mutable
    {
        CCataloguePropertiesDialog dialog(
            data,
            [this](CCatalogueDialogData& d, const QString& location)
            { m_doc.Catalogues().SetCatalogueDialogLocation(d, location); },
            DialogParent());
        // Shown again with the same data after a refused location: the location takes the focus.
        if (data.LocationChanged() && shown++ > 0)
            dialog.FocusLocation();
        if (dialog.exec() != QDialog::Accepted)
            return false;
        data = dialog.Data();
        return true;
    };
    m_fnRunMenu = [](QMenu& menu, const QPoint& pos) { return menu.exec(pos); };

    connect(&model, &QAbstractItemModel::modelReset, this, &CCatalogueBrowserTreeCtrl::OnDatabaseChanged);
    connect(&doc.Synch(), &CSynchLink::catalogueChanged, this,
            &CCatalogueBrowserTreeCtrl::OnCatalogueChanged);
    connect(m_pWatcher.get(), &CMountTableWatcher::changed, this, &CCatalogueBrowserTreeCtrl::RefreshMedia);
    connect(m_pMedia.get(), &CMediaPresence::onlineChanged, viewport(), [this] { viewport()->update(); });
    connect(m_pMedia.get(), &CMediaPresence::mediumArrived, this, &CCatalogueBrowserTreeCtrl::mediumArrived);
    // Catalogues that come, go or move to another medium: their presence is read again.
    auto mediaMayDiffer = [this] { QTimer::singleShot(0, this, &CCatalogueBrowserTreeCtrl::RefreshMedia); };
    connect(&model, &QAbstractItemModel::rowsInserted, this, mediaMayDiffer);
    connect(&model, &QAbstractItemModel::dataChanged, this, mediaMayDiffer);
}

CCatalogueBrowserTreeCtrl::~CCatalogueBrowserTreeCtrl() = default;

QWidget* CCatalogueBrowserTreeCtrl::DialogParent()
{
    return window();
}

bool CCatalogueBrowserTreeCtrl::CanWrite() const
{
    return m_doc.IsOpen() && m_doc.CanWrite();
}

void CCatalogueBrowserTreeCtrl::OnDatabaseChanged()
{
    RefreshMedia();
    viewport()->update();
}

void CCatalogueBrowserTreeCtrl::RefreshMedia()
{
    // The document's database, not the model's: the model still names a closing database while it
    // empties itself, and a refresh queued meanwhile must not read it.
    CDbDatabase* db = m_doc.IsClosing() ? nullptr : m_doc.Database();
    if (db != m_pMedia->Database())
        m_pMedia->SetDatabase(db);
    else
        m_pMedia->Refresh();
}

void CCatalogueBrowserTreeCtrl::OnCatalogueChanged(qint32 catalogueId)
{
    if (!m_model.Database())
        return;
    m_model.ReloadCatalogue(catalogueId);
    RefreshMedia();
    viewport()->update();
}

// ---------------------------------------------------------------------------------------------
// Items

QModelIndex CCatalogueBrowserTreeCtrl::CommandIndex() const
{
    return m_contextIndex.isValid() ? QModelIndex(m_contextIndex) : currentIndex();
}

CCatalogueTreeRecord CCatalogueBrowserTreeCtrl::CommandRecord() const
{
    const QModelIndex index = CommandIndex();
    return index.isValid() ? m_model.Record(index) : CCatalogueTreeRecord();
}

QRect CCatalogueBrowserTreeCtrl::StateImageRect(const QModelIndex& index) const
{
    if (KindOf(index) != CCatalogueTreeRecord::KindCatalogue)
        return {};
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    option.rect = visualRect(index);
    return m_pDelegate->StateImageRect(option, index, this);
}

QModelIndex CCatalogueBrowserTreeCtrl::RevealItem(qint32 kind, qint32 id)
{
    return m_model.FindItem(kind, id);
}

void CCatalogueBrowserTreeCtrl::ShowItem(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
        expand(parent);
    scrollTo(index);
    setCurrentIndex(index);
}

void CCatalogueBrowserTreeCtrl::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTreeView::currentChanged(current, previous);
    const CCatalogueTreeRecord record = current.isValid() ? m_model.Record(current) : CCatalogueTreeRecord();
    switch (record.nKind)
    {
    case CCatalogueTreeRecord::KindCatalogue:
        emit folderSelected(record.lCatalogueId, 0);
        break;
    case CCatalogueTreeRecord::KindFolder:
        emit folderSelected(record.lCatalogueId, record.lRelativePathId);
        break;
    default:
        emit folderSelected(0, 0);
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

void CCatalogueBrowserTreeCtrl::OnMwNewGroup()
{
    if (!CanWrite())
        return;
    qint32 parent = CommandRecord().lGroupId;
    qint32 group = 0;
    if (!m_doc.Catalogues().NewGroup(parent, group, m_fnGroupDialog))
        return;
    const QModelIndex parentIndex =
        parent == 0 ? QModelIndex() : m_model.FindItem(CCatalogueTreeRecord::KindGroup, parent);
    if (parent == 0 || parentIndex.isValid())
        m_model.ReloadChildren(parentIndex);
    ShowItem(m_model.FindItem(CCatalogueTreeRecord::KindGroup, group));
}

qint32 CCatalogueBrowserTreeCtrl::NewCatalogueAt(const QString& location, qint32 groupId)
{
    if (!CanWrite())
        return 0;
    qint32 group = groupId;
    const qint32 catalogue = m_doc.Catalogues().NewCatalogue(group, location, m_fnCatalogueDialog);
    if (catalogue <= 0)
        return 0;
    const QModelIndex parentIndex =
        group == 0 ? QModelIndex() : m_model.FindItem(CCatalogueTreeRecord::KindGroup, group);
    if (group == 0 || parentIndex.isValid())
        m_model.ReloadChildren(parentIndex);
    RefreshMedia();
    ShowItem(m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, catalogue));
    return catalogue;
}

void CCatalogueBrowserTreeCtrl::OnMwNewCatalogue()
{
    NewCatalogueAt(QString(), CommandRecord().lGroupId);
}

void CCatalogueBrowserTreeCtrl::OnMwProperties()
{
    if (!CanWrite())
        return;
    const QModelIndex index = CommandIndex();
    const CCatalogueTreeRecord record = CommandRecord();
    switch (record.nKind)
    {
    case CCatalogueTreeRecord::KindGroup:
        // A new parent moves the group: the tree is read again, keeping what was open.
        if (m_doc.Catalogues().GroupProperties(record.lGroupId, m_fnGroupDialog))
        {
            m_model.Requery();
            ShowItem(m_model.FindItem(CCatalogueTreeRecord::KindGroup, record.lGroupId));
        }
        break;
    case CCatalogueTreeRecord::KindCatalogue:
    {
        int stateImage = 0;
        if (m_doc.Catalogues().CatalogueProperties(record.lCatalogueId, stateImage, m_fnCatalogueDialog))
        {
            m_model.ReloadCatalogue(record.lCatalogueId);
            RefreshMedia();
            ShowItem(m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, record.lCatalogueId));
        }
        break;
    }
    case CCatalogueTreeRecord::KindFolder:
    {
        qint32 relativePathId = record.lRelativePathId;
        QString folder;
        if (m_doc.Catalogues().RelativePathProperties(record.lCatalogueId, relativePathId, folder,
                                                      m_fnRelativePathDialog))
            m_model.ReloadChildren(index.parent());
        break;
    }
    default:
        break;
    }
}

void CCatalogueBrowserTreeCtrl::OnMwRootFolderProperties()
{
    const CCatalogueTreeRecord record = CommandRecord();
    if (!CanWrite() || record.nKind != CCatalogueTreeRecord::KindCatalogue)
        return;
    qint32 relativePathId = 0;
    QString folder;
    m_doc.Catalogues().RelativePathProperties(record.lCatalogueId, relativePathId, folder,
                                              m_fnRelativePathDialog);
}

void CCatalogueBrowserTreeCtrl::OnMwSynchronize()
{
    const QModelIndex index = CommandIndex();
    if (!m_doc.IsOpen() || KindOf(index) != CCatalogueTreeRecord::KindCatalogue)
        return;
    m_doc.Catalogues().SynchronizeCatalogue(m_model.Record(index).lCatalogueId);
    scrollTo(index);
}

void CCatalogueBrowserTreeCtrl::OnMwUpdateTTH()
{
    const CCatalogueTreeRecord record = CommandRecord();
    if (m_doc.IsOpen() && record.nKind == CCatalogueTreeRecord::KindCatalogue)
        m_doc.Catalogues().UpdateCatalogueTTH(record.lCatalogueId);
}

void CCatalogueBrowserTreeCtrl::OnMwNewFolder()
{
    const CCatalogueTreeRecord record = CommandRecord();
    if (!CanWrite() || record.nKind != CCatalogueTreeRecord::KindCatalogue)
        return;
    QString folder;
    const qint32 relativePathId =
        m_doc.Catalogues().NewRelativePath(record.lCatalogueId, folder, m_fnRelativePathDialog);
    if (relativePathId <= 0)
        return;
    // The folder holds no file yet, so reading the catalogue's folders later would not find it:
    // they are read now and the new one added to them.
    const QModelIndex catalogue = m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, record.lCatalogueId);
    if (catalogue.isValid() && !catalogue.data(CCatalogueTreeModel::ChildrenLoadedRole).toBool())
        m_model.ReloadChildren(catalogue);
    ShowItem(m_model.AddFolderItem(record.lCatalogueId, relativePathId, folder));
}

void CCatalogueBrowserTreeCtrl::OnMwDeleteGroup()
{
    const CCatalogueTreeRecord record = CommandRecord();
    if (CanWrite() && record.nKind == CCatalogueTreeRecord::KindGroup)
        m_pEdits->DeleteGroup(record.lGroupId);
}

void CCatalogueBrowserTreeCtrl::OnMwDeleteCatalogue()
{
    const CCatalogueTreeRecord record = CommandRecord();
    if (!CanWrite() || record.nKind != CCatalogueTreeRecord::KindCatalogue)
        return;
    if (m_pEdits->DeleteCatalogue(record.lCatalogueId))
    {
        emit catalogueDeleted(record.lCatalogueId);
        RefreshMedia();
        if (m_model.rowCount() == 0)
            emit folderSelected(0, 0);
    }
}

void CCatalogueBrowserTreeCtrl::OnMwRequery()
{
    if (!m_model.Database())
        return;
    m_model.Requery();
    RefreshMedia();
    viewport()->update();
}

bool CCatalogueBrowserTreeCtrl::SelectFirstCatalogue()
{
    const std::function<QModelIndex(const QModelIndex&)> firstIn = [&](const QModelIndex& parent)
    {
        if (parent.isValid() && m_model.canFetchMore(parent))
            m_model.fetchMore(parent);
        std::vector<QModelIndex> groups;
        for (int row = 0; row < m_model.rowCount(parent); ++row)
        {
            const QModelIndex child = m_model.index(row, 0, parent);
            if (KindOf(child) == CCatalogueTreeRecord::KindCatalogue)
                return child;
            if (KindOf(child) == CCatalogueTreeRecord::KindGroup)
                groups.push_back(child);
        }
        for (const QModelIndex& group : groups)
            if (const QModelIndex found = firstIn(group); found.isValid())
                return found;
        return QModelIndex();
    };
    const QModelIndex first = firstIn(QModelIndex());
    if (!first.isValid())
        return false;
    setCurrentIndex(first);
    scrollTo(first);
    return true;
}

std::unique_ptr<QMenu> CCatalogueBrowserTreeCtrl::CreateContextMenu(const QModelIndex& index)
{
    auto menu = std::make_unique<QMenu>(this);
    const bool open = m_doc.IsOpen();
    const bool write = CanWrite();
    auto add = [&](const QString& text, void (CCatalogueBrowserTreeCtrl::*slot)(), bool enabled)
    {
        QAction* action = menu->addAction(text);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, slot);
    };
    const Kind kind = KindOf(index);
    if (kind != CCatalogueTreeRecord::KindNone)
        add(QStringLiteral("&Properties..."), &CCatalogueBrowserTreeCtrl::OnMwProperties, write);
    if (kind == CCatalogueTreeRecord::KindCatalogue)
    {
        add(QStringLiteral("&Root Folder Properties..."),
            &CCatalogueBrowserTreeCtrl::OnMwRootFolderProperties, write);
        menu->addSeparator();
        add(QStringLiteral("&Synchronize"), &CCatalogueBrowserTreeCtrl::OnMwSynchronize, open);
        add(QStringLiteral("&Update TTH"), &CCatalogueBrowserTreeCtrl::OnMwUpdateTTH, open);
        add(QStringLiteral("&New Folder..."), &CCatalogueBrowserTreeCtrl::OnMwNewFolder, write);
    }
    if (kind != CCatalogueTreeRecord::KindFolder)
    {
        menu->addSeparator();
        add(QStringLiteral("New &Group..."), &CCatalogueBrowserTreeCtrl::OnMwNewGroup, write);
        add(QStringLiteral("New &Catalogue..."), &CCatalogueBrowserTreeCtrl::OnMwNewCatalogue, write);
    }
    if (kind == CCatalogueTreeRecord::KindGroup)
        add(QStringLiteral("&Delete Group"), &CCatalogueBrowserTreeCtrl::OnMwDeleteGroup, write);
    if (kind == CCatalogueTreeRecord::KindCatalogue)
        add(QStringLiteral("&Delete Catalogue"), &CCatalogueBrowserTreeCtrl::OnMwDeleteCatalogue, write);
    menu->addSeparator();
    add(QStringLiteral("&Requery File Browser"), &CCatalogueBrowserTreeCtrl::OnMwRequery, open);
    return menu;
}

void CCatalogueBrowserTreeCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    if (!m_doc.IsOpen())
        return;
    const QModelIndex index = indexAt(event->pos());
    m_contextIndex = index;
    std::unique_ptr<QMenu> menu = CreateContextMenu(index);
    // The chosen command runs inside the menu's loop, while the context item is still set.
    m_fnRunMenu(*menu, event->globalPos());
    m_contextIndex = QPersistentModelIndex();
}

// ---------------------------------------------------------------------------------------------
// Keys and the mouse

bool CCatalogueBrowserTreeCtrl::event(QEvent* event)
{
    // The tree's own keys come before the window's shortcuts of the same keys (the file list's
    // Delete) while the tree has the focus.
    if (event->type() == QEvent::ShortcutOverride)
    {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() == Qt::NoModifier && currentIndex().isValid() &&
            (key->key() == Qt::Key_Delete || key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
             key->key() == Qt::Key_Space))
        {
            event->accept();
            return true;
        }
    }
    return QTreeView::event(event);
}

void CCatalogueBrowserTreeCtrl::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex current = currentIndex();
    switch (event->key())
    {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (current.isValid() && event->modifiers() == Qt::NoModifier)
        {
            setExpanded(current, !isExpanded(current));
            event->accept();
            return;
        }
        break;
    case Qt::Key_Delete:
        if (KindOf(current) == CCatalogueTreeRecord::KindCatalogue)
            QMetaObject::invokeMethod(this, &CCatalogueBrowserTreeCtrl::OnMwDeleteCatalogue,
                                      Qt::QueuedConnection);
        else if (KindOf(current) == CCatalogueTreeRecord::KindGroup)
            QMetaObject::invokeMethod(this, &CCatalogueBrowserTreeCtrl::OnMwDeleteGroup,
                                      Qt::QueuedConnection);
        event->accept();
        return;
    default:
        break;
    }
    QTreeView::keyPressEvent(event);
}

void CCatalogueBrowserTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    m_pressIndex = QPersistentModelIndex();
    const QModelIndex index = indexAt(event->position().toPoint());
    const Kind kind = KindOf(index);
    // A press on a check box checks; anywhere else on a group or catalogue it may begin a drag.
    if (event->button() == Qt::LeftButton &&
        (kind == CCatalogueTreeRecord::KindGroup || kind == CCatalogueTreeRecord::KindCatalogue) &&
        !StateImageRect(index).contains(event->position().toPoint()))
    {
        m_pressIndex = index;
        m_pressPos = event->position().toPoint();
    }
    QTreeView::mousePressEvent(event);
}

void CCatalogueBrowserTreeCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_pressIndex.isValid() && (event->buttons() & Qt::LeftButton) &&
        (event->position().toPoint() - m_pressPos).manhattanLength() >= QApplication::startDragDistance())
    {
        StartItemDrag();
        return;
    }
    QTreeView::mouseMoveEvent(event);
}

void CCatalogueBrowserTreeCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressIndex = QPersistentModelIndex();
    QTreeView::mouseReleaseEvent(event);
}

void CCatalogueBrowserTreeCtrl::StartItemDrag()
{
    const QModelIndex index = m_pressIndex;
    m_pressIndex = QPersistentModelIndex();
    if (!index.isValid() || !m_doc.IsOpen())
        return;
    CCatalogueDragPayload payload{m_model.Record(index), m_doc.Path()};
    const QModelIndex parentIndex = index.parent();
    auto* drag = new QDrag(this);
    drag->setMimeData(CreateCatalogueMimeData(payload));
    const Qt::DropAction result = drag->exec(Qt::MoveAction);
    // A move into another window of the same database: the source item leaves this tree too.
    if (result == Qt::MoveAction && m_model.Database())
        m_model.ReloadChildren(parentIndex);
}

// ---------------------------------------------------------------------------------------------
// Drops

CCatalogueTreeRecord CCatalogueBrowserTreeCtrl::RecordAt(const QPoint& pos) const
{
    const QModelIndex index = indexAt(pos);
    return index.isValid() ? m_model.Record(index) : CCatalogueTreeRecord();
}

CCatalogueBrowserTreeCtrl::EDrop CCatalogueBrowserTreeCtrl::DropKind(const QMimeData* data, const QPoint& pos,
                                                                     QString* pLocalPath) const
{
    if (!data || !m_doc.IsOpen())
        return EDrop::None;
    const CCatalogueTreeRecord target = RecordAt(pos);
    if (const auto item = CatalogueDragPayload(data))
        return CanWrite() && m_pEdits->CanDropItem(*item, target) ? EDrop::Item : EDrop::None;
    if (const auto files = FileIdListPayload(data))
        return m_pEdits->CanDropFiles(*files, target) ? EDrop::Files : EDrop::None;
    if (data->hasUrls())
    {
        const QList<QUrl> urls = data->urls();
        if (urls.isEmpty() || !urls.first().isLocalFile())
            return EDrop::None;
        const QString path = urls.first().toLocalFile();
        const QFileInfo info(path);
        if (pLocalPath)
            *pLocalPath = path;
        if (urls.size() == 1 && info.isFile() &&
            info.suffix().compare(QStringLiteral("qrl"), Qt::CaseInsensitive) == 0)
            return EDrop::Database;
        if (info.isDir() && CanWrite())
            return EDrop::Folder;
    }
    return EDrop::None;
}

void CCatalogueBrowserTreeCtrl::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData* data = event->mimeData();
    if (m_doc.IsOpen() && (data->hasFormat(QString::fromLatin1(kCatalogueMimeType)) ||
                           data->hasFormat(QString::fromLatin1(kFileIdListMimeType)) || data->hasUrls()))
    {
        // Dragging: the view scrolls near its edges.
        setState(DraggingState);
        event->accept();
    }
    else
        event->ignore();
}

void CCatalogueBrowserTreeCtrl::dragLeaveEvent(QDragLeaveEvent* event)
{
    m_hoverTimer.stop();
    m_hoverIndex = QPersistentModelIndex();
    QTreeView::dragLeaveEvent(event);
}

void CCatalogueBrowserTreeCtrl::dragMoveEvent(QDragMoveEvent* event)
{
    // The view's own handling scrolls near the edges and expands a collapsed item after the
    // hover delay; whether the drop is taken is decided here.
    QTreeView::dragMoveEvent(event);
    const QPoint pos = event->position().toPoint();
    const QModelIndex hovered = indexAt(pos);
    if (hovered != m_hoverIndex)
    {
        m_hoverIndex = hovered;
        if (hovered.isValid() && !isExpanded(hovered) && m_model.hasChildren(hovered))
            m_hoverTimer.start();
        else
            m_hoverTimer.stop();
    }
    switch (DropKind(event->mimeData(), pos))
    {
    case EDrop::Item:
        event->setDropAction(Qt::MoveAction);
        event->accept();
        break;
    case EDrop::Files:
        event->setDropAction(event->proposedAction());
        event->accept();
        break;
    case EDrop::Folder:
        event->setDropAction(Qt::LinkAction);
        event->accept();
        break;
    case EDrop::Database:
        event->setDropAction(Qt::CopyAction);
        event->accept();
        break;
    case EDrop::None:
        event->ignore();
        break;
    }
}

void CCatalogueBrowserTreeCtrl::dropEvent(QDropEvent* event)
{
    const QPoint pos = event->position().toPoint();
    const QMimeData* data = event->mimeData();
    QString path;
    const EDrop kind = DropKind(data, pos, &path);
    const CCatalogueTreeRecord target = RecordAt(pos);
    m_hoverTimer.stop();
    m_hoverIndex = QPersistentModelIndex();
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
    switch (kind)
    {
    case EDrop::Item:
    {
        const CCatalogueDragPayload payload = *CatalogueDragPayload(data);
        if (!m_pEdits->MoveTreeItemTo(payload, target))
        {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::MoveAction);
        event->accept();
        ShowItem(payload.record.nKind == CCatalogueTreeRecord::KindGroup
                     ? m_model.FindItem(CCatalogueTreeRecord::KindGroup, payload.record.lGroupId)
                     : m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, payload.record.lCatalogueId));
        return;
    }
    case EDrop::Files:
        event->acceptProposedAction();
        DropFiles(data, pos);
        return;
    case EDrop::Folder:
        event->setDropAction(Qt::LinkAction);
        event->accept();
        // The dialog is modal: it opens once the drag has ended.
        QTimer::singleShot(0, this, [this, path, group = target.lGroupId] { NewCatalogueAt(path, group); });
        return;
    case EDrop::Database:
        event->setDropAction(Qt::CopyAction);
        event->accept();
        QTimer::singleShot(0, this, [this, path] { emit openDatabaseRequested(path); });
        return;
    case EDrop::None:
        event->ignore();
        return;
    }
}

void CCatalogueBrowserTreeCtrl::DropFiles(const QMimeData* data, const QPoint& pos)
{
    const std::optional<CFileIdListPayload> payload = FileIdListPayload(data);
    const CCatalogueTreeRecord target = RecordAt(pos);
    if (!payload)
        return;
    struct SChoice
    {
        const char* text;
        const char* status;
        bool keepFolders;
        bool copy;
    };
    static constexpr SChoice kSubfolders[] = {
        {"Move to &Subfolders", "Move files keeping their parent folders", true, false},
        {"Cop&y to Subfolders", "Copy files keeping their parent folders", true, true},
    };
    static constexpr SChoice kHere[] = {
        {"&Move Here", "Move files to this location", false, false},
        {"&Copy Here", "Copy files to this location", false, true},
    };
    QMenu menu(this);
    std::map<QAction*, SChoice> choices;
    const bool enabled = CanWrite() && m_fnMoveFiles;
    auto add = [&](const SChoice& choice)
    {
        QAction* action = menu.addAction(QString::fromLatin1(choice.text));
        action->setStatusTip(QString::fromLatin1(choice.status));
        action->setEnabled(enabled);
        choices.emplace(action, choice);
    };
    if (target.nKind == CCatalogueTreeRecord::KindCatalogue)
        for (const SChoice& choice : kSubfolders)
            add(choice);
    for (const SChoice& choice : kHere)
        add(choice);
    QAction* chosen = m_fnRunMenu(menu, viewport()->mapToGlobal(pos));
    const auto it = choices.find(chosen);
    // The database may have changed while the menu showed.
    if (it == choices.end() || !chosen->isEnabled() || !m_fnMoveFiles ||
        !m_pEdits->CanDropFiles(*payload, target))
        return;
    CMoveFilesRequest request;
    request.lCatalogueId = target.lCatalogueId;
    // A catalogue item stands for its root folder.
    request.lRelativePathId = target.nKind == CCatalogueTreeRecord::KindFolder ? target.lRelativePathId : 0;
    request.fileIds = payload->fileIds;
    request.lFocusedFileId = payload->lFocusFileId;
    request.bKeepFolders = it->second.keepFolders;
    request.bCopy = it->second.copy;
    m_fnMoveFiles(request);
}
