#pragma once

#include "browser/models/AttributeSelection.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <vector>

class CMirrowelDoc;

// What the details form shows of the current file: its File row read-only, and the description
// and notes as the person has them in the form (saved or not).
struct SFileDetails
{
    bool bFile = false; // false: no current file, every field empty
    bool bEditable = false; // the description and notes can be changed: the database may be written
    QString strFile;
    QString strAlternateFile; // one name a line
    QString strFileSize;      // bytes, "%.0f"
    QString strTth;
    QString strLen; // the number of characters of the file name
    QString strDescription;
    QString strNotes;
};

// The file the details form shows, the files selected in the file list, and the edits made to
// them that are not saved yet. The description and notes belong to the current file and are
// written when the person moves to another file, saves (Ctrl+S) or closes the database. The
// keywords and categories belong to the whole selection: the lists of names every selected file
// has and of names only some have are rebuilt whenever the selection changes, the attribute lists
// toggle names in them, and the toggles are written to every selected file before the selection
// (or the list's contents) changes.
class CCurrentFileEditor final : public QObject
{
    Q_OBJECT

public:
    explicit CCurrentFileEditor(CMirrowelDoc& doc, QObject* parent = nullptr);

    // The file list's focus and selection (FileIds). Pending attribute edits go to the files
    // selected before, the form's edits to the file current before; then the lists are rebuilt.
    void SetSelection(qint32 currentFileId, std::vector<qint32> selectedFileIds);
    const std::vector<qint32>& SelectedFileIds() const { return m_selectedFileIds; }

    void MoveToRecord(qint32 fileId, bool bForce);
    qint32 CurrentFileId() const { return m_lCurrentFileId; }
    SFileDetails Details();

    // The details form's texts changed.
    void SetDetailsFormText(const QString& description, const QString& notes);
    bool IsFormPending() const { return m_bFormPending; }

    // The selection's keywords and categories, as the attribute lists show and toggle them.
    CAttributeSelection& Keywords() { return m_keywords; }
    CAttributeSelection& Categories() { return m_categories; }
    // An attribute list toggled a name: the selected files get it when the selection changes.
    void AttributeToggled();
    void SetAttributePending(bool pending) { m_bAttributePending = pending; }
    bool IsAttributePending() const { return m_bAttributePending; }
    // Writes the toggled attributes to every selected file; false when a file could not be set.
    bool ApplyAttributes();
    // Reads the selected files' keywords and categories again.
    void RebuildCurrentLists();

    // Saves the current file's pending edits (the selection's attributes first); false when they
    // could not be saved.
    bool NavigatingAway();
    // Save Changes (Ctrl+S).
    void SaveChanges();
    // Replay Edits: the form's description and notes written to every one of the files; false
    // when some could not be (they are listed to the person).
    bool ReplayEdits(const std::vector<qint32>& fileIds);
    // The database closed: nothing is current, selected or pending any more.
    void Reset();

signals:
    void currentFileChanged(qint32 fileId);
    void editsSaved();
    // The selection's keyword and category lists were rebuilt or changed.
    void selectionAttributesChanged();
    // Toggled attributes reached the files: lists showing them redraw.
    void attributesApplied();

private:
    bool NavigatingAway(qint32 fileId);
    // Writes description and notes to the file's FileInfo row, creating, sharing or removing it.
    bool SaveTexts(qint32 fileId, const QString& description, const QString& notes);
    bool ApplyAttributes(qint32 fileId);
    void LoadFormText();
    QString FileName(qint32 fileId);

    CMirrowelDoc& m_doc;
    qint32 m_lCurrentFileId = 0;
    bool m_bFormPending = false;
    bool m_bAttributePending = false;
    QString m_strFormDescription;
    QString m_strFormNotes;
    std::vector<qint32> m_selectedFileIds;
    CAttributeSelection m_keywords;
    CAttributeSelection m_categories;
};
