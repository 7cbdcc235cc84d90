#pragma once

#include "browser/CatalogueDialogs.h"

#include <QDialog>

class QLineEdit;
class QSpinBox;

// A catalogue folder: its path (read-only for the root folder) and its keep priority. Shows and
// returns CRelativePathDialogData; the document checks and stores it.
class CMwRelativePathPropertiesDialog final : public QDialog
{
    Q_OBJECT

public:
    CMwRelativePathPropertiesDialog(const CRelativePathDialogData& data, QWidget* parent = nullptr);

    CRelativePathDialogData Data() const;
    QLineEdit* FolderEdit() const { return m_pFolder; }
    QSpinBox* KeepPriorityEdit() const { return m_pKeepPriority; }

    static bool Run(CRelativePathDialogData& data, QWidget* parent);

private:
    CRelativePathDialogData m_data;
    QLineEdit* m_pFolder = nullptr;
    QSpinBox* m_pKeepPriority = nullptr;
};
