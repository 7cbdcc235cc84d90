#pragma once

#include <QObject>
#include <QPointer>

#include <vector>

class CCurrentFileEditor;
class CRecordSetList;
class QAbstractItemView;

// Tells the editor which file of the file list is current and which files are selected, as the
// person moves in the list. Toggled attributes are written before the list's contents change (a
// requery, a re-sort, another folder), so that the list shows them; after a change the list's own
// restoring of the place is waited for, so that a refresh of the same file is not taken for
// leaving it.
class CFileListFollower final : public QObject
{
    Q_OBJECT

public:
    explicit CFileListFollower(CCurrentFileEditor& editor, QObject* parent = nullptr);

    // The list and the view showing it; the view's selection model is followed from now on and
    // the editor told of it at once. nullptr lets go of the list without telling the editor.
    void SetFileList(CRecordSetList* list, QAbstractItemView* view);

    qint32 CurrentFileId() const;
    std::vector<qint32> SelectedFileIds() const;

    // Hands the list's current state to the editor (after a reset, once its place is restored).
    void Sync();

private:
    void Detach();

    CCurrentFileEditor& m_editor;
    QPointer<CRecordSetList> m_pList;
    QPointer<QAbstractItemView> m_pView;
    QList<QMetaObject::Connection> m_connections;
    bool m_bResetting = false; // between a reset of the list and its place being restored
};
