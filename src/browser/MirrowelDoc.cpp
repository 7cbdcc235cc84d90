#include "browser/MirrowelDoc.h"

#include "browser/SynchLauncher.h"
#include "common/DbException.h"
#include "common/DdeSender.h"
#include "common/ErrorLog.h"
#include "common/FileOperations.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"
#include "database/TemplateDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

namespace
{
CMirrowelDoc* g_pDocument = nullptr;
const QString kMakerAddress = QStringLiteral("https://www.brevold.org/quarrane");

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

CMirrowelDoc::CMirrowelDoc(CUserInteraction& ui, QObject* parent)
    : QObject(parent), m_ui(ui), m_pPolicy(std::make_unique<CDbRetryPolicy>(ui)),
      m_strUserName(CDbDatabase::DefaultUserName())
{
    m_pPolicy->SetCaption(QStringLiteral("Quarrane"));
    m_fnFileProblems = [this](const QString& header, const std::vector<CFileProblem>& problems) {
        QString text = header;
        for (const CFileProblem& p : problems)
            text += QStringLiteral("\r\n\r\n") + p.strPath + QStringLiteral("\r\n    ") + p.strProblem +
                    QStringLiteral("\r\n    ") + p.strSolution;
        m_ui.MessageBox(text, QStringLiteral("File Problems"), MsgIcon::Warning, MsgButtons::Ok);
    };
    g_pDocument = this;
}

CMirrowelDoc::~CMirrowelDoc()
{
    for (QTimer* timer : m_refreshTimers)
        delete timer;
    m_refreshTimers.clear();
    if (m_pDatabase)
        m_pDatabase->Close();
    if (g_pDocument == this)
        g_pDocument = nullptr;
}

CMirrowelDoc* CMirrowelDoc::Instance()
{
    return g_pDocument;
}

void CMirrowelDoc::SetUserName(const QString& userName)
{
    m_strUserName = userName;
    if (m_pDatabase)
        m_pDatabase->SetUserName(userName);
}

QString CMirrowelDoc::QuotedUserName() const
{
    return QStringLiteral("'%1'").arg(m_strUserName);
}

void CMirrowelDoc::SetSynchLauncher(CSynchLauncher* launcher)
{
    if (m_pLauncher)
        m_pLauncher->disconnect(this);
    m_pLauncher = launcher;
    if (m_pLauncher)
        connect(m_pLauncher, &CSynchLauncher::adviseReceived, this,
                [this](const QString& topic, const QString& item, bool, quint32) { OnAdvise(topic, item); });
}

CSynchLauncher* CMirrowelDoc::SynchLauncher()
{
    if (!m_pLauncher)
    {
        m_pOwnLauncher = std::make_unique<CDdeSynchLauncher>(m_ui, SynchronizerProgramPath());
        SetSynchLauncher(m_pOwnLauncher.get());
    }
    return m_pLauncher;
}

bool CMirrowelDoc::IsOpen() const
{
    return m_pDatabase && m_pDatabase->IsOpen();
}

CDbDatabase* CMirrowelDoc::Database()
{
    return IsOpen() ? m_pDatabase.get() : nullptr;
}

void CMirrowelDoc::SetTitle(const QString& title)
{
    m_strTitle = title;
    emit titleChanged(title);
}

bool CMirrowelDoc::Write(const QString& context, const std::function<void()>& step)
{
    return m_pPolicy->Run(context, step);
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

bool CMirrowelDoc::NewDatabase(const std::optional<QString>& chosenPath, bool bStartingUp)
{
    if (bStartingUp)
        return true;
    if (!chosenPath || chosenPath->isEmpty())
    {
        SetTitle(m_strPath.isEmpty() ? QStringLiteral("Untitled") : QFileInfo(m_strPath).fileName());
        return false;
    }
    const QByteArray bytes = TemplateDatabaseBytes();
    if (IsOpen() && !CloseCommand())
        return false;

    // Written whole or not at all: a half-written template is never left under the chosen name.
    QSaveFile file(*chosenPath);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        m_ui.MessageBox(QStringLiteral("The database may be locked"), QStringLiteral("Error Creating Database"),
                        MsgIcon::Error, MsgButtons::Ok);
    return OpenDatabase(*chosenPath);
}

bool CMirrowelDoc::OpenDatabase(const QString& path)
{
    if (IsOpen() && !CloseCommand())
        return false;

    for (;;)
    {
        emit statusText(QStringLiteral("Opening %1...").arg(path));
        try
        {
            m_pDatabase = std::make_unique<CDbDatabase>();
            m_pDatabase->SetUserName(m_strUserName);
            m_pDatabase->Open(path);
            m_strPath = path;
            break;
        }
        catch (const CDbException& e)
        {
            m_pDatabase.reset();
            QString text = e.m_strDescription;
            if (e.m_nErrorCode == DbErrors::kUnrecognizedFormat)
                text += QStringLiteral("\r\n\r\nTry Repairing the database using the File menus \"Repair Database\" "
                                       "command.");
            if (m_ui.MessageBox(text, QStringLiteral("Database Error"), MsgIcon::Error, MsgButtons::RetryCancel) !=
                MsgAnswer::Retry)
            {
                emit statusText(QString());
                return false;
            }
        }
    }
    emit statusText(QString());

    const double version = GetDatabaseVersion();
    if (version != kVersion)
    {
        if (version > kVersion)
            m_ui.MessageBox(QStringLiteral("The database:\r\n\r\n    %1\r\n\r\n was created by a later version of "
                                           "Quarrane.\r\n\r\n\r\nPlease download the latest version of Quarrane from"
                                           "\r\n\r\n    ")
                                    .arg(path) +
                                kMakerAddress,
                            QStringLiteral("Database Created by a Newer Version of Quarrane"), MsgIcon::Warning,
                            MsgButtons::Ok);
        else
            m_ui.MessageBox(
                QStringLiteral("The database:\r\n\r\n    %1\r\n\r\n was created by a older version of Quarrane.\r\n\r\n"
                               "\r\nPlease create a new, or open a current version of a Quarrane database,\r\nthen "
                               "select Import from the File menu and import this database\r\n\r\nNote that we "
                               "recommend backing up any database before information is imported to it")
                    .arg(path),
                QStringLiteral("Old Quarrane Database"), MsgIcon::Warning, MsgButtons::Ok);
        m_pDatabase->Close();
        m_pDatabase.reset();
        m_strPath.clear();
        return false;
    }

    SetTitle(QFileInfo(path).fileName());
    if (m_fnLoadBrowsers)
    {
        CWaitCursorScope wait(m_ui);
        if (!m_fnLoadBrowsers())
        {
            CloseDatabase();
            return false;
        }
    }
    return true;
}

bool CMirrowelDoc::CompactOnExit()
{
    const QString value = GetDatabaseParameter(QStringLiteral("CompactOnExit"));
    return !value.isEmpty() && value != QStringLiteral("0");
}

bool CMirrowelDoc::CloseDatabase()
{
    if (!IsOpen())
    {
        SetTitle(QStringLiteral("Untitled"));
        return true;
    }
    if (m_ui.IsOperationRunning() && !m_bClosing)
    {
        if (m_ui.MessageBox(QStringLiteral("A background task is currently running.\nClosing this database will "
                                           "cancel that task.\n\nDo you wish to cancel the background task and close "
                                           "this database?"),
                            QStringLiteral("Background Processing in Progress"), MsgIcon::Warning,
                            MsgButtons::YesNo) != MsgAnswer::Yes)
            return false;
    }
    m_ui.SetOperationRunning(false);
    m_bClosing = true;
    emit statusText(QStringLiteral("Closing database..."));
    NavigatingAway();
    emit updateHint(HINT_CLOSING, 0);
    m_pDatabase->Close();
    m_pDatabase.reset();
    m_lCurrentFileId = m_lPreviousFileId = 0;
    m_bFormPending = m_bAttributePending = false;
    m_bClosing = false;
    emit statusText(QString());
    SetTitle(QStringLiteral("Untitled"));
    return true;
}

bool CMirrowelDoc::CloseCommand()
{
    const QString path = m_strPath;
    const bool compact = IsOpen() && CompactOnExit();
    if (!CloseDatabase())
        return false;
    m_strPath.clear();
    if (compact && !path.isEmpty())
        CompactDatabase(path);
    return true;
}

bool CMirrowelDoc::CompactDatabaseCommand()
{
    const QString path = m_strPath;
    if (path.isEmpty() || !CloseDatabase())
        return false;
    CompactDatabase(path);
    return OpenDatabase(path);
}

bool CMirrowelDoc::CompactDatabase(const QString& path)
{
    const QString temporary = path + QStringLiteral(".compacted.") + m_strUserName;
    if (QFileInfo::exists(temporary))
        RemoveFile(temporary, nullptr, nullptr);
    {
        CWaitCursorScope wait(m_ui);
        emit statusText(QStringLiteral("Repairing & Compacting database..."));
        try
        {
            CDbDatabase::CompactDatabase(path, temporary);
        }
        catch (const CDbException& e)
        {
            emit statusText(QString());
            QFile::remove(temporary);
            m_ui.MessageBox(e.m_strDescription, QStringLiteral("Quarrane"), MsgIcon::Error, MsgButtons::Ok);
            return false;
        }
        emit statusText(QString());
    }
    // The original goes only once a good copy exists, and to the trash, never for good.
    if (RemoveFile(path, nullptr, nullptr) != 0)
    {
        RemoveFile(temporary, nullptr, nullptr, true);
        return false;
    }
    QString problem;
    QString solution;
    if (MoveFileTo(temporary, path, MOVE_DEST_FILE, &problem, &solution) != 0)
    {
        m_ui.MessageBox(problem + QStringLiteral("\r\n\r\n") + solution, QStringLiteral("Quarrane"), MsgIcon::Error,
                        MsgButtons::Ok);
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Identifiers, parameters, lookups

qint32 CMirrowelDoc::GetNewRecSetId(const QString& name)
{
    if (!IsOpen())
        return -1;
    return ::GetNewRecSetId(*m_pDatabase, name, *m_pPolicy);
}

QString CMirrowelDoc::GetDatabaseParameter(const QString& name)
{
    return ::GetDatabaseParameter(Database(), name);
}

bool CMirrowelDoc::SetDatabaseParameter(const QString& name, const QString& value)
{
    return ::SetDatabaseParameter(Database(), name, value);
}

double CMirrowelDoc::GetDatabaseVersion()
{
    return ::GetDatabaseVersion(Database());
}

CDbValue CMirrowelDoc::Lookup(const QString& sql, const CDbValue& key, const QString& context)
{
    if (!IsOpen())
        return CDbValue::Null();
    try
    {
        CDbStatement st = m_pDatabase->Prepare(sql);
        st.Bind(1, key);
        return st.Step() ? st.Value(0) : CDbValue::Null();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), context);
        return CDbValue::Null();
    }
}

QString CMirrowelDoc::GetGroupNameFromGroupId(qint32 groupId)
{
    return Lookup(QStringLiteral("SELECT Group.Group FROM [Group] WHERE (Group.GroupId=?)"), groupId,
                  QStringLiteral("CMirrowelDoc::GetGroupNameFromGroupId()"))
        .ToString();
}

qint32 CMirrowelDoc::GetParentGroupFromGroup(qint32 groupId)
{
    return Lookup(QStringLiteral("SELECT Group.ParentGroupId FROM [Group] WHERE (Group.GroupId=?)"), groupId,
                  QStringLiteral("CMirrowelDoc::GetParentGroupFromGroup()"))
        .ToLong();
}

qint32 CMirrowelDoc::GetParentQueryGroupFromQueryGroup(qint32 groupId)
{
    return Lookup(QStringLiteral("SELECT QueryGroup.ParentGroupId FROM [QueryGroup] WHERE (QueryGroup.GroupId=?)"),
                  groupId, QStringLiteral("CMirrowelDoc::GetParentQueryGroupFromQueryGroup()"))
        .ToLong();
}

qint32 CMirrowelDoc::GetParentGroupFromCatalogueId(qint32 catalogueId)
{
    return Lookup(QStringLiteral("SELECT Catalogue.GroupId FROM [Catalogue] WHERE (Catalogue.CatalogueId=?)"),
                  catalogueId, QStringLiteral("CMirrowelDoc::GetParentGroupFromCatalogueId()"))
        .ToLong();
}

qint32 CMirrowelDoc::GetCatalogueIdFromCatalogueName(const QString& name)
{
    return Lookup(QStringLiteral("SELECT Catalogue.CatalogueId FROM [Catalogue] WHERE (Catalogue.Catalogue=?)"), name,
                  QStringLiteral("CMirrowelDoc::GetCatalogueIdFromCatalogueName()"))
        .ToLong();
}

qint32 CMirrowelDoc::GetCatalogueIdFromFileId(qint32 fileId)
{
    return Lookup(QStringLiteral("SELECT File.CatalogueId FROM [File] WHERE (File.FileId=?)"), fileId,
                  QStringLiteral("CMirrowelDoc::GetCatalogueIdFromFileId()"))
        .ToLong();
}

qint32 CMirrowelDoc::GetRelativePathIdFromFileId(qint32 fileId)
{
    return Lookup(QStringLiteral("SELECT File.RelativePathId FROM [File] WHERE (File.FileId=?)"), fileId,
                  QStringLiteral("CMirrowelDoc::GetRelativePathIdFromFileId()"))
        .ToLong();
}

QString CMirrowelDoc::GetCatalogueNameFromCatalogueId(qint32 catalogueId)
{
    return Lookup(QStringLiteral("SELECT Catalogue.Catalogue FROM [Catalogue] WHERE (Catalogue.CatalogueId=?)"),
                  catalogueId, QStringLiteral("CMirrowelDoc::GetCatalogueNameFromCatalogueId()"))
        .ToString();
}

// ---------------------------------------------------------------------------------------------
// The current file and its edits

void CMirrowelDoc::MoveToRecord(qint32 fileId, bool bForce)
{
    m_lPreviousFileId = m_lCurrentFileId;
    const bool changed = fileId != m_lCurrentFileId;
    if (changed && m_lPreviousFileId != 0)
        NavigatingAway(m_lPreviousFileId);
    m_lCurrentFileId = fileId;
    if (changed || bForce)
    {
        emit statusText(QStringLiteral("Refreshing..."));
        emit updateHint(HINT_CURRENT_FILE, fileId);
        emit statusText(QString());
    }
}

void CMirrowelDoc::SetDetailsFormText(const QString& description, const QString& notes)
{
    if (m_lCurrentFileId == 0)
        return;
    m_strFormDescription = description;
    m_strFormNotes = notes;
    m_bFormPending = true;
}

bool CMirrowelDoc::NavigatingAway()
{
    return NavigatingAway(m_lCurrentFileId);
}

bool CMirrowelDoc::NavigatingAway(qint32 fileId)
{
    if ((!m_bFormPending && !m_bAttributePending) || fileId == 0 || !IsOpen())
        return true;

    CDbDatabase& db = *m_pDatabase;
    bool fileFound = false;
    qint32 fileInfoId = 0;
    qint32 similarityId = 0;
    QString keywords;
    QString categories;
    bool haveRow = false;
    if (!Write(QStringLiteral("CMirrowelDoc::NavigatingAway() - Getting FileId"), [&] {
            CDbStatement file = db.Prepare(QStringLiteral("SELECT FileInfoId, SimilarityId FROM File WHERE FileId=?"));
            file.Bind(1, fileId);
            fileFound = file.Step();
            if (!fileFound)
                return;
            fileInfoId = file.Value(0).ToLong();
            similarityId = file.Value(1).ToLong();
            haveRow = false;
            if (fileInfoId == 0)
                return;
            CDbStatement info =
                db.Prepare(QStringLiteral("SELECT Keyword, Category FROM FileInfo WHERE FileInfoId=?"));
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
            saved = Write(QStringLiteral("CMirrowelDoc::NavigatingAway() - Deleting FileInfo"), [&] {
                CDbTransaction transaction(db);
                db.Execute(QStringLiteral("UPDATE File SET FileInfoId=Null WHERE FileInfoId=?"), {CDbValue(fileInfoId)});
                db.Execute(QStringLiteral("DELETE FROM FileInfo WHERE FileInfoId=?"), {CDbValue(fileInfoId)});
                transaction.Commit();
            });
    }
    else
    {
        qint32 rowId = haveRow ? fileInfoId : 0;
        if (!haveRow)
        {
            rowId = GetNewRecSetId(QStringLiteral("FileInfo_FileInfoId"));
            if (rowId < 0)
            {
                m_ui.MessageBox(QStringLiteral("Quarrane was unable to save the edits made to the current file"),
                                QStringLiteral("Failed to Save Changes"), MsgIcon::Warning, MsgButtons::Ok);
                return false;
            }
        }
        saved = Write(QStringLiteral("CMirrowelDoc::NavigatingAway() : Setting FileInfoId to %1").arg(rowId), [&] {
            CDbTransaction transaction(db);
            if (haveRow)
                db.Execute(QStringLiteral("UPDATE FileInfo SET Description=?, Notes=?, ContainsError=FALSE WHERE "
                                          "FileInfoId=?"),
                           {TextOrNull(description), TextOrNull(notes), CDbValue(rowId)});
            else
                db.Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description, Notes, ContainsError) "
                                          "VALUES (?, ?, ?, FALSE)"),
                           {CDbValue(rowId), TextOrNull(description), TextOrNull(notes)});
            db.Execute(QStringLiteral("UPDATE File SET FileInfoId=? WHERE FileId=?"), {CDbValue(rowId), CDbValue(fileId)});
            // Similar files without edits of their own share the row from now on.
            if (similarityId != 0)
                db.Execute(QStringLiteral("UPDATE File SET FileInfoId=? WHERE SimilarityId=? AND FileId<>? AND "
                                          "(FileInfoId Is Null OR FileInfoId=0)"),
                           {CDbValue(rowId), CDbValue(similarityId), CDbValue(fileId)});
            transaction.Commit();
        });
    }
    m_bFormPending = false;
    return saved;
}

void CMirrowelDoc::SaveChanges()
{
    if (!IsOpen())
        return;
    emit statusText(QStringLiteral("Saving..."));
    NavigatingAway();
    emit updateHint(HINT_SAVED_EDITS, 0);
    emit statusText(QString());
}
