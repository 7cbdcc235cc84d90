#include "browser/CurrentFileEditor.h"

#include "browser/MirrowelDoc.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbTransaction.h"

namespace
{
QString TrimRight(const QString& text)
{
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].isSpace())
        --end;
    return text.left(end);
}

CDbValue TextOrNull(const QString& text)
{
    return text.isEmpty() ? CDbValue::Null() : CDbValue(text);
}
} // namespace

CCurrentFileEditor::CCurrentFileEditor(CMirrowelDoc& doc, QObject* parent) : QObject(parent), m_doc(doc) {}

void CCurrentFileEditor::Reset()
{
    m_lCurrentFileId = 0;
    m_bFormPending = m_bAttributePending = false;
}

void CCurrentFileEditor::MoveToRecord(qint32 fileId, bool bForce)
{
    const qint32 previousFileId = m_lCurrentFileId;
    const bool changed = fileId != m_lCurrentFileId;
    if (changed && previousFileId != 0)
        NavigatingAway(previousFileId);
    m_lCurrentFileId = fileId;
    if (changed || bForce)
    {
        m_doc.ShowStatus(QStringLiteral("Refreshing..."));
        emit currentFileChanged(fileId);
        m_doc.ShowStatus(QString());
    }
}

void CCurrentFileEditor::SetDetailsFormText(const QString& description, const QString& notes)
{
    if (m_lCurrentFileId == 0)
        return;
    m_strFormDescription = description;
    m_strFormNotes = notes;
    m_bFormPending = true;
}

bool CCurrentFileEditor::NavigatingAway()
{
    return NavigatingAway(m_lCurrentFileId);
}

bool CCurrentFileEditor::NavigatingAway(qint32 fileId)
{
    if ((!m_bFormPending && !m_bAttributePending) || fileId == 0 || !m_doc.IsOpen())
        return true;

    CDbDatabase& db = *m_doc.Database();
    bool fileFound = false;
    qint32 fileInfoId = 0;
    qint32 similarityId = 0;
    QString keywords;
    QString categories;
    bool haveRow = false;
    if (!m_doc.Write(QStringLiteral("CMirrowelDoc::NavigatingAway() - Getting FileId"),
                     [&]
                     {
                         CDbStatement file = db.Prepare(
                             QStringLiteral("SELECT FileInfoId, SimilarityId FROM File WHERE FileId=?"));
                         file.Bind(1, fileId);
                         fileFound = file.Step();
                         if (!fileFound)
                             return;
                         fileInfoId = file.Value(0).ToLong();
                         similarityId = file.Value(1).ToLong();
                         haveRow = false;
                         if (fileInfoId == 0)
                             return;
                         CDbStatement info = db.Prepare(
                             QStringLiteral("SELECT Keyword, Category FROM FileInfo WHERE FileInfoId=?"));
                         info.Bind(1, fileInfoId);
                         if (info.Step())
                         {
                             haveRow = true;
                             keywords = info.Value(0).ToString();
                             categories = info.Value(1).ToString();
                         }
                     }))
        return false;
    if (!fileFound)
    {
        m_bFormPending = false;
        return true;
    }

    const QString description = TrimRight(m_strFormDescription);
    const QString notes = TrimRight(m_strFormNotes);
    bool saved = true;
    if (description.isEmpty() && notes.isEmpty() && keywords.isEmpty() && categories.isEmpty())
    {
        // Every edit field is empty: the file is unedited again, and so is every file sharing it.
        if (fileInfoId != 0)
            saved = m_doc.Write(QStringLiteral("CMirrowelDoc::NavigatingAway() - Deleting FileInfo"),
                                [&]
                                {
                                    CDbTransaction transaction(db);
                                    db.Execute(
                                        QStringLiteral("UPDATE File SET FileInfoId=Null WHERE FileInfoId=?"),
                                        {CDbValue(fileInfoId)});
                                    db.Execute(QStringLiteral("DELETE FROM FileInfo WHERE FileInfoId=?"),
                                               {CDbValue(fileInfoId)});
                                    transaction.Commit();
                                });
    }
    else
    {
        qint32 rowId = haveRow ? fileInfoId : 0;
        if (!haveRow)
        {
            rowId = m_doc.GetNewRecSetId(QStringLiteral("FileInfo_FileInfoId"));
            if (rowId < 0)
            {
                m_doc.Interaction().MessageBox(
                    QStringLiteral("Quarrane was unable to save the edits made to the current file"),
                    QStringLiteral("Failed to Save Changes"), MsgIcon::Warning, MsgButtons::Ok);
                return false;
            }
        }
        saved = m_doc.Write(
            QStringLiteral("CMirrowelDoc::NavigatingAway() : Setting FileInfoId to %1").arg(rowId),
            [&]
            {
                CDbTransaction transaction(db);
                if (haveRow)
                    db.Execute(QStringLiteral(
                                   "UPDATE FileInfo SET Description=?, Notes=?, ContainsError=FALSE WHERE "
                                   "FileInfoId=?"),
                               {TextOrNull(description), TextOrNull(notes), CDbValue(rowId)});
                else
                    db.Execute(
                        QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description, Notes, ContainsError) "
                                       "VALUES (?, ?, ?, FALSE)"),
                        {CDbValue(rowId), TextOrNull(description), TextOrNull(notes)});
                db.Execute(QStringLiteral("UPDATE File SET FileInfoId=? WHERE FileId=?"),
                           {CDbValue(rowId), CDbValue(fileId)});
                // Similar files without edits of their own share the row from now on.
                if (similarityId != 0)
                    db.Execute(
                        QStringLiteral("UPDATE File SET FileInfoId=? WHERE SimilarityId=? AND FileId<>? AND "
                                       "(FileInfoId Is Null OR FileInfoId=0)"),
                        {CDbValue(rowId), CDbValue(similarityId), CDbValue(fileId)});
                transaction.Commit();
            });
    }
    m_bFormPending = false;
    return saved;
}

void CCurrentFileEditor::SaveChanges()
{
    if (!m_doc.IsOpen())
        return;
    m_doc.ShowStatus(QStringLiteral("Saving..."));
    NavigatingAway();
    emit editsSaved();
    m_doc.ShowStatus(QString());
}
