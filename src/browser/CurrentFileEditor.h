#pragma once

#include <QObject>
#include <QString>

class CMirrowelDoc;

// The file the details form shows and the edits made to it that are not saved yet: they are
// written when the person moves to another file, saves (Ctrl+S) or closes the database.
class CCurrentFileEditor final : public QObject
{
    Q_OBJECT

public:
    explicit CCurrentFileEditor(CMirrowelDoc& doc, QObject* parent = nullptr);

    void MoveToRecord(qint32 fileId, bool bForce);
    qint32 CurrentFileId() const { return m_lCurrentFileId; }
    // The details form's texts changed.
    void SetDetailsFormText(const QString& description, const QString& notes);
    void SetAttributePending(bool pending) { m_bAttributePending = pending; }
    // Saves the current file's pending edits; false when they could not be saved.
    bool NavigatingAway();
    // Save Changes (Ctrl+S).
    void SaveChanges();
    // The database closed: nothing is current or pending any more.
    void Reset();

signals:
    void currentFileChanged(qint32 fileId);
    void editsSaved();

private:
    bool NavigatingAway(qint32 fileId);

    CMirrowelDoc& m_doc;
    qint32 m_lCurrentFileId = 0;
    bool m_bFormPending = false;
    bool m_bAttributePending = false;
    QString m_strFormDescription;
    QString m_strFormNotes;
};
