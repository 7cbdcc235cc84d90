#pragma once

#include "browser/filelist/FieldViewEditor.h"

#include <QDialog>

class CUserInteraction;
class QCheckBox;
class QComboBox;
class QListWidget;
class QPushButton;

// "File List Field Views": creates, copies, renames and deletes field views and chooses their
// columns. Everything done here is kept by OK and dropped by Cancel.
class CMwFileListFieldViewsDialog final : public QDialog
{
    Q_OBJECT

public:
    CMwFileListFieldViewsDialog(CFieldViewEditor& editor, CUserInteraction& ui, const QString& currentView,
                                QWidget* parent = nullptr);

    QComboBox* ViewList() const { return m_pViews; }
    QListWidget* AvailableList() const { return m_pAvailable; }
    QListWidget* ShownList() const { return m_pShown; }
    QCheckBox* GlobalCheck() const { return m_pGlobal; }
    QPushButton* Button(const QString& text) const;

    void OnNew();
    void OnCopy();
    void OnDelete();
    void OnAdd();
    void OnRemove();
    void OnMove(int by);
    // The text typed in the view list names the current view.
    bool OnRename();

    void accept() override;

private:
    void FillViews(int select);
    void ShowView(int view);
    void StoreFields();
    QPushButton* AddButton(const QString& text, void (CMwFileListFieldViewsDialog::*slot)());

    CFieldViewEditor& m_editor;
    CUserInteraction& m_ui;
    int m_nView = -1;
    bool m_bFilling = false;
    QComboBox* m_pViews = nullptr;
    QCheckBox* m_pGlobal = nullptr;
    QListWidget* m_pAvailable = nullptr;
    QListWidget* m_pShown = nullptr;
    QList<QPushButton*> m_buttons;
};
