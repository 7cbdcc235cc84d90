#include "gui/browser/attributes/FileListFollower.h"

#include "browser/CurrentFileEditor.h"
#include "browser/RecordSetList.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <QTimer>

CFileListFollower::CFileListFollower(CCurrentFileEditor& editor, QObject* parent)
    : QObject(parent), m_editor(editor)
{
    connect(&m_editor, &CCurrentFileEditor::attributesApplied, this,
            [this]
            {
                if (m_pView)
                    m_pView->viewport()->update();
            });
}

void CFileListFollower::Detach()
{
    for (const QMetaObject::Connection& connection : m_connections)
        disconnect(connection);
    m_connections.clear();
}

void CFileListFollower::SetFileList(CRecordSetList* list, QAbstractItemView* view)
{
    Detach();
    m_bResetting = false;
    m_pList = list;
    m_pView = view;
    if (list && view && view->selectionModel())
    {
        QItemSelectionModel* selection = view->selectionModel();
        m_connections << connect(selection, &QItemSelectionModel::selectionChanged, this,
                                 &CFileListFollower::Sync)
                      << connect(selection, &QItemSelectionModel::currentChanged, this,
                                 &CFileListFollower::Sync)
                      << connect(list, &QAbstractItemModel::modelAboutToBeReset, this,
                                 [this]
                                 {
                                     m_editor.ApplyAttributes();
                                     m_bResetting = true;
                                 })
                      << connect(list, &QAbstractItemModel::modelReset, this,
                                 [this]
                                 {
                                     // Whoever keeps the place selects it again now, a step at a
                                     // time; the editor hears of the outcome only.
                                     QTimer::singleShot(0, this,
                                                        [this]
                                                        {
                                                            m_bResetting = false;
                                                            Sync();
                                                        });
                                 });
        Sync();
    }
}

qint32 CFileListFollower::CurrentFileId() const
{
    if (!m_pList || !m_pView || !m_pView->selectionModel())
        return 0;
    const QModelIndex current = m_pView->selectionModel()->currentIndex();
    return current.isValid() ? m_pList->Key(current.row()) : 0;
}

std::vector<qint32> CFileListFollower::SelectedFileIds() const
{
    std::vector<qint32> ids;
    if (!m_pList || !m_pView || !m_pView->selectionModel())
        return ids;
    for (const QItemSelectionRange& range : m_pView->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row)
            if (const qint32 key = m_pList->Key(row))
                ids.push_back(key);
    return ids;
}

void CFileListFollower::Sync()
{
    if (m_bResetting)
        return;
    m_editor.SetSelection(CurrentFileId(), SelectedFileIds());
}
