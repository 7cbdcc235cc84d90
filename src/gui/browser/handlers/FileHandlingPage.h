#pragma once

#include "browser/handlers/FileHandlers.h"

#include <QWidget>

class CFileChooser;
class CUserInteraction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

// The "File Handling" page of the options: the handlers in file order and the fields of the one
// being edited. Leaving a handler (selecting another, OK) stores it; an application that is not
// there refuses the store. Apply writes FileHandling.xml.
class CFileHandlingPage final : public QWidget
{
    Q_OBJECT

public:
    CFileHandlingPage(CUserInteraction& ui, CFileChooser* chooser, QString path, QWidget* parent = nullptr);

    // Reads the file and shows its handlers, none selected.
    void Load();
    // Stores the handler being edited; false (focus in the application field) when refused.
    bool SaveEdited();
    // Stores the edited handler and writes the file when anything changed; false when refused.
    bool Apply();

    const CFileHandlerSet& Handlers() const { return m_set; }
    bool IsModified() const { return m_bModified; }

    QListWidget* List() const { return m_pList; }
    QLineEdit* NameEdit() const { return m_pName; }
    QLineEdit* ApplicationEdit() const { return m_pApplication; }
    QLineEdit* CommandLineEdit() const { return m_pCommandLine; }
    QLineEdit* DefaultExtensionsEdit() const { return m_pDefaultExtensions; }
    QLineEdit* SecondaryExtensionsEdit() const { return m_pSecondaryExtensions; }
    QCheckBox* UseDdeBox() const { return m_pUseDde; }
    QComboBox* MessageTypeBox() const { return m_pMessageType; }
    QLineEdit* ServiceEdit() const { return m_pService; }
    QCheckBox* PrelaunchBox() const { return m_pPrelaunch; }
    QLineEdit* TopicEdit() const { return m_pTopic; }
    QLineEdit* ItemEdit() const { return m_pItem; }
    QLineEdit* DataEdit() const { return m_pData; }
    QCheckBox* KillBox() const { return m_pKill; }
    QLineEdit* KillTimeEdit() const { return m_pKillTime; }
    QCheckBox* WaitBox() const { return m_pWait; }
    QPushButton* MoveUpButton() const { return m_pMoveUp; }
    QPushButton* MoveDownButton() const { return m_pMoveDown; }
    QPushButton* NewButton() const { return m_pNew; }
    QPushButton* DeleteButton() const { return m_pDelete; }
    QPushButton* BrowseButton() const { return m_pBrowse; }

signals:
    // The file was written.
    void applied();

private:
    void OnSelectionChanged(int row);
    void OnNew();
    void OnDelete();
    void OnMove(int direction);
    void OnBrowse();
    void ShowHandler(const SFileHandler& handler);
    SFileHandler EditedHandler() const;
    void UpdateEnabled();
    void FillList(int select);

    CUserInteraction& m_ui;
    CFileChooser* m_pChooser;
    QString m_strPath;
    CFileHandlerSet m_set;
    bool m_bModified = false;
    int m_nShownRow = -1;
    bool m_bChangingSelection = false;

    QListWidget* m_pList;
    QLineEdit* m_pName;
    QLineEdit* m_pApplication;
    QPushButton* m_pBrowse;
    QLineEdit* m_pCommandLine;
    QLineEdit* m_pDefaultExtensions;
    QLineEdit* m_pSecondaryExtensions;
    QCheckBox* m_pUseDde;
    QComboBox* m_pMessageType;
    QLineEdit* m_pService;
    QCheckBox* m_pPrelaunch;
    QLineEdit* m_pTopic;
    QLineEdit* m_pItem;
    QLineEdit* m_pData;
    QCheckBox* m_pKill;
    QLineEdit* m_pKillTime;
    QCheckBox* m_pWait;
    QPushButton* m_pMoveUp;
    QPushButton* m_pMoveDown;
    QPushButton* m_pNew;
    QPushButton* m_pDelete;
};
