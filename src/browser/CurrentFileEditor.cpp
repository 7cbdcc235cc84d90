#include "browser/CurrentFileEditor.h"

#include "browser/MirrowelDoc.h"
#include "browser/models/AttributeVocabulary.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/NameList.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbTransaction.h"

#include <algorithm>

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
    m_strFormDescription.clear();
    m_strFormNotes.clear();
    m_selectedFileIds.clear();
    m_keywords = CAttributeSelection();
    m_categories = CAttributeSelection();
    emit selectionAttributesChanged();
    emit currentFileChanged(0);
}

void CCurrentFileEditor::SetSelection(qint32 currentFileId, std::vector<qint32> selectedFileIds)
{
    std::sort(selectedFileIds.begin(), selectedFileIds.end());
    selectedFileIds.erase(std::unique(selectedFileIds.begin(), selectedFileIds.end()), selectedFileIds.end());
    if (selectedFileIds != m_selectedFileIds)
    {
        // The toggles were made for the files selected until now.
        ApplyAttributes();
        m_selectedFileIds = std::move(selectedFileIds);
        MoveToRecord(currentFileId, false);
        RebuildCurrentLists();
        return;
    }
    MoveToRecord(currentFileId, false);
}

void CCurrentFileEditor::AttributeToggled()
{
    if (m_doc.IsOpen() && !m_selectedFileIds.empty())
        m_bAttributePending = true;
}

void CCurrentFileEditor::RebuildCurrentLists()
{
    QStringList keywordLists;
    QStringList categoryLists;
    if (m_doc.IsOpen() && !m_selectedFileIds.empty())
    {
        CDbDatabase& db = *m_doc.Database();
        try
        {
            CDbStatement st = db.Prepare(
                QStringLiteral("SELECT FileInfo.Keyword, FileInfo.Category FROM FileInfo RIGHT JOIN File ON "
                               "FileInfo.FileInfoId = File.FileInfoId WHERE File.FileId=?"));
            for (const qint32 fileId : m_selectedFileIds)
            {
                st.Reset();
                st.Bind(1, fileId);
                if (!st.Step())
                    continue;
                // A file without a FileInfo row has no names: every name of the others is only
                // partly set, so that applying the common names never puts a name on it that the
                // person did not choose.
                keywordLists.append(st.Value(0).ToString());
                categoryLists.append(st.Value(1).ToString());
            }
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(
                e, QString(),
                QStringLiteral("CMirrowelView::AddAllRecordAttributesToDocAttribute() - Getting Keyword"));
        }
    }
    m_keywords = CAttributeSelection::FromFileLists(keywordLists);
    m_categories = CAttributeSelection::FromFileLists(categoryLists);
    m_doc.ShowStatus(QStringLiteral("Refreshing..."));
    emit selectionAttributesChanged();
    m_doc.ShowStatus(QString());
}

bool CCurrentFileEditor::ApplyAttributes()
{
    if (!m_bAttributePending)
        return true;
    m_bAttributePending = false;
    if (!m_doc.IsOpen())
        return false;
    bool ok = true;
    for (const qint32 fileId : m_selectedFileIds)
        ok = ApplyAttributes(fileId) && ok;
    emit attributesApplied();
    return ok;
}

bool CCurrentFileEditor::ApplyAttributes(qint32 fileId)
{
    CDbDatabase& db = *m_doc.Database();
    // The names a file keeps: its own, less those cleared from the selection, plus every name now
    // on all selected files. Names set on only some files stay as each file has them.
    const auto applied = [](QString list, const CAttributeSelection& selection)
    {
        for (const QString& name : NameList::Names(list))
            if (selection.State(name) == Qt::Unchecked)
                NameList::Remove(list, name);
        for (const QString& name : NameList::Names(selection.strAll))
            NameList::Insert(list, name);
        return list;
    };
    const auto listOrNull = [](const QString& list)
    { return list.isEmpty() ? CDbValue::Null() : CDbValue(list); };

    bool haveRow = false;
    bool fileFound = false;
    const QString context = QStringLiteral("CMirrowelView::ApplyAttributes() applying Keyword & Category");
    if (!m_doc.Write(
            context,
            [&]
            {
                CDbTransaction transaction(db);
                CDbStatement st = db.Prepare(QStringLiteral(
                    "SELECT File.FileInfoId, FileInfo.FileInfoId, FileInfo.Keyword, FileInfo.Category FROM "
                    "FileInfo RIGHT JOIN File ON FileInfo.FileInfoId = File.FileInfoId WHERE File.FileId=?"));
                st.Bind(1, fileId);
                fileFound = st.Step();
                haveRow = fileFound && !st.Value(1).IsNull();
                if (!haveRow)
                    return;
                const qint32 fileInfoId = st.Value(0).ToLong();
                const QString keywords = applied(st.Value(2).ToString(), m_keywords);
                const QString categories = applied(st.Value(3).ToString(), m_categories);
                st.Reset();
                db.Execute(QStringLiteral("UPDATE FileInfo SET Keyword=?, Category=? WHERE FileInfoId=?"),
                           {listOrNull(keywords), listOrNull(categories), CDbValue(fileInfoId)});
                // Nothing left in it: the file (and those sharing it) is unedited again.
                DeleteFileInfoIfEmpty(db, fileInfoId);
                transaction.Commit();
            }))
        return false;
    if (!fileFound || haveRow)
        return true;

    const QString keywords = m_keywords.strAll;
    const QString categories = m_categories.strAll;
    if (keywords.isEmpty() && categories.isEmpty())
        return true;
    const qint32 rowId = m_doc.GetNewRecSetId(QStringLiteral("FileInfo_FileInfoId"));
    const bool added =
        rowId > 0 &&
        m_doc.Write(QStringLiteral("CMirrowelView::ApplyAttributes() : Adding FileInfo to %1").arg(fileId),
                    [&]
                    {
                        CDbTransaction transaction(db);
                        db.Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Keyword, Category, "
                                                  "ContainsError) VALUES (?, ?, ?, FALSE)"),
                                   {CDbValue(rowId), listOrNull(keywords), listOrNull(categories)});
                        db.Execute(QStringLiteral("UPDATE File SET FileInfoId=? WHERE FileId=?"),
                                   {CDbValue(rowId), CDbValue(fileId)});
                        transaction.Commit();
                    });
    if (!added)
        m_doc.Interaction().MessageBox(QStringLiteral("Unable to update File FileInfo"),
                                       QStringLiteral("Quarrane"), MsgIcon::Warning, MsgButtons::Ok);
    return added;
}

SFileDetails CCurrentFileEditor::Details()
{
    SFileDetails details;
    if (m_lCurrentFileId == 0 || !m_doc.IsOpen())
        return details;
    try
    {
        CDbStatement st = m_doc.Database()->Prepare(
            QStringLiteral("SELECT File, AlternateFile, FileSizeDouble, TTH FROM File WHERE FileId=?"));
        st.Bind(1, m_lCurrentFileId);
        if (!st.Step())
            return details;
        details.bFile = true;
        details.bEditable = !m_doc.IsReadOnly();
        details.strFile = st.Value(0).ToString();
        details.strAlternateFile = NameList::Names(st.Value(1).ToString()).join(QLatin1Char('\n'));
        details.strFileSize = QString::asprintf("%.0f", st.Value(2).ToDouble());
        details.strTth = st.Value(3).ToString();
        details.strLen = QString::number(details.strFile.toUcs4().size());
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CFileDetailsFormView::OnUpdate() - Getting File"));
        return SFileDetails();
    }
    details.strDescription = m_strFormDescription;
    details.strNotes = m_strFormNotes;
    return details;
}

void CCurrentFileEditor::LoadFormText()
{
    m_strFormDescription.clear();
    m_strFormNotes.clear();
    if (m_lCurrentFileId == 0 || !m_doc.IsOpen())
        return;
    try
    {
        CDbStatement st = m_doc.Database()->Prepare(
            QStringLiteral("SELECT FileInfo.Description, FileInfo.Notes FROM FileInfo INNER JOIN File ON "
                           "FileInfo.FileInfoId = File.FileInfoId WHERE File.FileId=?"));
        st.Bind(1, m_lCurrentFileId);
        if (st.Step())
        {
            m_strFormDescription = st.Value(0).ToString();
            m_strFormNotes = st.Value(1).ToString();
        }
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), QStringLiteral("CFileDetailsFormView::OnUpdate() - Getting FileInfo"));
    }
}

QString CCurrentFileEditor::FileName(qint32 fileId)
{
    return m_doc
        .Lookup(QStringLiteral("SELECT File FROM File WHERE FileId=?"), CDbValue(fileId),
                QStringLiteral("CMirrowelView::OnFileListReplayEdits() - Getting File"))
        .ToString();
}

void CCurrentFileEditor::MoveToRecord(qint32 fileId, bool bForce)
{
    const qint32 previousFileId = m_lCurrentFileId;
    const bool changed = fileId != m_lCurrentFileId;
    if (changed && previousFileId != 0)
        NavigatingAway(previousFileId);
    m_lCurrentFileId = fileId;
    // The form starts from what is stored; text typed and not saved yet stays over a refresh.
    if (changed || (bForce && !m_bFormPending))
    {
        m_bFormPending = false;
        LoadFormText();
    }
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
    const bool applied = ApplyAttributes();
    return NavigatingAway(m_lCurrentFileId) && applied;
}

bool CCurrentFileEditor::NavigatingAway(qint32 fileId)
{
    if ((!m_bFormPending && !m_bAttributePending) || fileId == 0 || !m_doc.IsOpen())
        return true;
    const bool saved = SaveTexts(fileId, m_strFormDescription, m_strFormNotes);
    m_bFormPending = false;
    return saved;
}

bool CCurrentFileEditor::SaveTexts(qint32 fileId, const QString& formDescription, const QString& formNotes)
{
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
        return true;

    const QString description = TrimRight(formDescription);
    const QString notes = TrimRight(formNotes);
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

bool CCurrentFileEditor::ReplayEdits(const std::vector<qint32>& fileIds)
{
    if (!m_doc.IsOpen() || fileIds.empty())
        return true;
    CUserInteraction& ui = m_doc.Interaction();
    ui.SetStatusText(QStringLiteral("Replaying Edits to Selected Files..."));
    ui.SetProgressRange(0, static_cast<int>(fileIds.size()));
    // The texts as the form has them now: saving one file must not change what the next gets.
    const QString description = m_strFormDescription;
    const QString notes = m_strFormNotes;
    QStringList failed;
    for (const qint32 fileId : fileIds)
    {
        if (!SaveTexts(fileId, description, notes))
            failed.append(FileName(fileId));
        else if (fileId == m_lCurrentFileId)
            m_bFormPending = false;
        ui.StepProgress();
    }
    ui.ClearProgress();
    ui.SetStatusText(QString());
    emit editsSaved();
    if (failed.isEmpty())
        return true;
    ui.MessageBox(QStringLiteral("There were problems replaying-edits to the following file names:\n\n") +
                      failed.join(QLatin1Char('\n')),
                  QStringLiteral("Replay Edits"), MsgIcon::Warning, MsgButtons::Ok);
    return false;
}
