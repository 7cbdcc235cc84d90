#pragma once

#include "browser/CatalogueDialogs.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

// A catalogue: its name, parent group, location and what was read from the location's volume,
// the synchronizer's options and the user's exclusion from duplicate searches. Shows and returns
// CCatalogueDialogData; setting the location asks the document to fill the volume fields afresh.
class CCataloguePropertiesDialog final : public QDialog
{
    Q_OBJECT

public:
    // Fills the data's location and what is read from its volume (the document's).
    using LocationSetter = std::function<void(CCatalogueDialogData&, const QString&)>;
    // The folder chooser behind "&Browse...": the chosen folder, empty when cancelled.
    using FolderChooser = std::function<QString(QWidget* parent, const QString& start)>;

    CCataloguePropertiesDialog(const CCatalogueDialogData& data, LocationSetter setLocation,
                               QWidget* parent = nullptr);

    void SetFolderChooser(FolderChooser chooser) { m_fnChooseFolder = std::move(chooser); }
    // The location was refused: it gets the focus with its text selected.
    void FocusLocation();

    CCatalogueDialogData Data() const;

    QLineEdit* CatalogueEdit() const { return m_pCatalogue; }
    QLineEdit* LocationEdit() const { return m_pLocation; }
    QPushButton* BrowseButton() const { return m_pBrowse; }
    QComboBox* ParentCombo() const { return m_pParent; }
    QCheckBox* UpdateTthCheck() const { return m_pUpdateTth; }
    QRadioButton* KeepRadio() const { return m_pKeep; }
    QRadioButton* DeleteRadio() const { return m_pDelete; }
    QCheckBox* ExcludeCheck() const { return m_pExclude; }
    QLabel* VolumeLabel() const { return m_pVolume; }
    QLabel* SerialLabel() const { return m_pSerial; }
    QLabel* DriveTypeLabel() const { return m_pDriveType; }

    // The desktop's folder chooser, titled "Select Catalogue Folder", with an edit box.
    static QString ChooseFolder(QWidget* parent, const QString& start);

private:
    void SetLocation(const QString& location);
    void ShowReadFields();
    void UpdateEnabling();

    CCatalogueDialogData m_data;
    LocationSetter m_fnSetLocation;
    FolderChooser m_fnChooseFolder;
    QLineEdit* m_pCatalogue = nullptr;
    QLabel* m_pVolume = nullptr;
    QLabel* m_pSerial = nullptr;
    QLineEdit* m_pLocation = nullptr;
    QPushButton* m_pBrowse = nullptr;
    QComboBox* m_pParent = nullptr;
    QCheckBox* m_pUpdateTth = nullptr;
    QRadioButton* m_pKeep = nullptr;
    QRadioButton* m_pDelete = nullptr;
    QSpinBox* m_pKeepPriority = nullptr;
    QCheckBox* m_pExclude = nullptr;
    QLabel* m_pComputer = nullptr;
    QLabel* m_pDriveType = nullptr;
    QLabel* m_pUser = nullptr;
};
