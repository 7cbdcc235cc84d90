#pragma once

#include "browser/CatalogueDialogs.h"

#include <QDialog>

class QComboBox;
class QLineEdit;

// The group's name and its parent, chosen from the list the document offers (which leaves out the
// group itself and its descendants). Shows and returns CGroupDialogData; checks nothing itself.
class CGroupPropertiesDialog final : public QDialog
{
    Q_OBJECT

public:
    CGroupPropertiesDialog(const CGroupDialogData& data, QWidget* parent = nullptr);

    // What the person entered, over the data the dialog was opened with.
    CGroupDialogData Data() const;
    QLineEdit* GroupEdit() const { return m_pGroup; }
    QComboBox* ParentCombo() const { return m_pParent; }

    // Shows the dialog on data; true (data updated) for OK.
    static bool Run(CGroupDialogData& data, QWidget* parent);

private:
    CGroupDialogData m_data;
    QLineEdit* m_pGroup = nullptr;
    QComboBox* m_pParent = nullptr;
};
