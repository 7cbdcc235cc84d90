#pragma once

#include "browser/fileops/MoveTargets.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QRadioButton;

// "Move/Copy To": the catalogue and folder the selected files go to, whether they are moved or
// copied, and whether each keeps its own folder ("to Subfolders"), when the file list has no
// catalogue tree to drop them on.
class CMoveCopyToDlg final : public QDialog
{
    Q_OBJECT

public:
    CMoveCopyToDlg(std::vector<CMoveTargetCatalogue> targets, int fileCount, QWidget* parent = nullptr);

    qint32 CatalogueId() const;
    // 0 (the root folder) under KeepFolders().
    qint32 RelativePathId() const;
    bool Copy() const;
    bool KeepFolders() const;

    QComboBox* CatalogueList() const { return m_pCatalogues; }
    QComboBox* FolderList() const { return m_pFolders; }
    QRadioButton* CopyButton() const { return m_pCopy; }
    QCheckBox* KeepFoldersBox() const { return m_pKeepFolders; }
    QDialogButtonBox* Buttons() const { return m_pButtons; }

private:
    void FillFolders();

    std::vector<CMoveTargetCatalogue> m_targets;
    QComboBox* m_pCatalogues = nullptr;
    QComboBox* m_pFolders = nullptr;
    QRadioButton* m_pMove = nullptr;
    QRadioButton* m_pCopy = nullptr;
    QCheckBox* m_pKeepFolders = nullptr;
    QDialogButtonBox* m_pButtons = nullptr;
};
