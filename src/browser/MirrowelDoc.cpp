#include "browser/MirrowelDoc.h"

#include "browser/CatalogueStore.h"
#include "browser/CurrentFileEditor.h"
#include "browser/JobRunner.h"
#include "browser/QueryRunner.h"
#include "browser/SynchLink.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "common/FileOperations.h"
#include "common/UserInteraction.h"
#include "database/DbAddress.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"
#include "database/TemplateDatabase.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStorageInfo>
#include <QTimer>

namespace
{
const QString kMakerAddress = QStringLiteral("https://www.brevold.org/quarrane");

// Whether this user may change the file: the file itself, and its folder for the journal.
bool MayWrite(const QString& path)
{
    const QFileInfo file(path);
    return !file.exists() || (file.isWritable() && QFileInfo(file.absolutePath()).isWritable());
}

// Compacts the database file at path into a copy beside it, then puts the copy in its place; the
// original goes to the trash, never for good, and only once a good copy exists.
bool CompactDatabaseFile(CUserInteraction& ui, const QString& path, const QString& userName)
{
    const QString temporary = path + QStringLiteral(".compacted.") + userName;
    if (QFileInfo::exists(temporary))
        RemoveFile(temporary, nullptr, nullptr);
    {
        CWaitCursorScope wait(ui);
        ui.SetStatusText(QStringLiteral("Repairing & Compacting database..."));
        try
        {
            CDbDatabase::CompactDatabase(path, temporary);
        }
        catch (const CDbException& e)
        {
            ui.SetStatusText(QString());
            QFile::remove(temporary);
            ui.MessageBox(e.m_strDescription, QStringLiteral("Quarrane"), MsgIcon::Error, MsgButtons::Ok);
            return false;
        }
        ui.SetStatusText(QString());
    }
    if (RemoveFile(path, nullptr, nullptr) != 0)
    {
        RemoveFile(temporary, nullptr, nullptr, true);
        return false;
    }
    QString problem;
    QString solution;
    if (MoveFileTo(temporary, path, MOVE_DEST_FILE, &problem, &solution) != 0)
    {
        ui.MessageBox(problem + QStringLiteral("\r\n\r\n") + solution, QStringLiteral("Quarrane"),
                      MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    return true;
}
} // namespace

CMirrowelDoc::CMirrowelDoc(CUserInteraction& ui, QObject* parent)
    : QObject(parent), m_ui(ui), m_pPolicy(std::make_unique<CDbRetryPolicy>(ui)),
      m_strUserName(CDbDatabase::DefaultUserName()), m_pJobs(std::make_unique<CJobRunner>(ui)),
      m_pCatalogues(std::make_unique<CCatalogueStore>(*this)),
      m_pQueries(std::make_unique<CQueryRunner>(*this)),
      m_pEditor(std::make_unique<CCurrentFileEditor>(*this)), m_pSynch(std::make_unique<CSynchLink>(*this))
{
    m_pPolicy->SetCaption(QStringLiteral("Quarrane"));
}

CMirrowelDoc::~CMirrowelDoc()
{
    // A job still running is stopped after its item and waited for; its ending reaches no one.
    m_pJobs.reset();
    m_pSynch->CancelRefreshes();
    if (m_pDatabase)
        m_pDatabase->Close();
}

void CMirrowelDoc::SetUserName(const QString& userName)
{
    m_strUserName = userName;
    if (m_pDatabase)
        m_pDatabase->SetUserName(userName);
}

bool CMirrowelDoc::IsOpen() const
{
    return m_pDatabase && m_pDatabase->IsOpen();
}

bool CMirrowelDoc::IsReadOnly() const
{
    return IsOpen() && m_pDatabase->IsReadOnly();
}

bool CMirrowelDoc::CanWrite() const
{
    return IsOpen() && !IsReadOnly() && !m_pJobs->IsWriting();
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
    // A database opened read-only refuses every write at once, rather than after the retries
    // meant for a passing lock.
    if (IsReadOnly())
        return false;
    return m_pPolicy->Run(context, step);
}

// ---------------------------------------------------------------------------------------------
// Lifecycle

QString CMirrowelDoc::NewDatabaseFailureText(const QString& path, const QString& systemText,
                                             qint64 neededBytes)
{
    // "Locked" is what a person first suspects, but the path is usually what went wrong, and
    // saying which lets them mend it.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir())
        return QStringLiteral("The database %1 could not be created: the folder %2 does not exist.")
            .arg(path, folder);
    // A write that fails at the end (the last flush) often carries no reason of its own.
    const QStorageInfo storage(folder);
    if (storage.isValid() && !storage.isReadOnly() && storage.bytesAvailable() < neededBytes)
        return QStringLiteral(
                   "The database %1 could not be created: there is not enough space on disk (%2 free, %3 "
                   "needed).")
            .arg(path, FormatFileSize(storage.bytesAvailable()), FormatFileSize(neededBytes));
    if (systemText.isEmpty())
        return QStringLiteral("The database may be locked");
    return QStringLiteral("The database %1 could not be created: %2.").arg(path, systemText);
}

bool CMirrowelDoc::NewDatabase(const std::optional<QString>& chosenPath, bool bStartingUp)
{
    if (bStartingUp)
        return true;
    if (!chosenPath || chosenPath->isEmpty())
    {
        SetTitle(m_strPath.isEmpty() ? QStringLiteral("Untitled") : DbAddress::TitleName(m_strPath));
        return false;
    }
    const QByteArray bytes = TemplateDatabaseBytes();
    if (IsOpen() && !CloseCommand())
        return false;

    // Written whole or not at all: a half-written template is never left under the chosen name.
    QSaveFile file(*chosenPath);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() ||
        !file.commit())
    {
        // Opening the path now would only add a second message, or open the old file that was to
        // be replaced as if it were the new one.
        m_ui.MessageBox(NewDatabaseFailureText(*chosenPath, file.errorString(), bytes.size()),
                        QStringLiteral("Error Creating Database"), MsgIcon::Error, MsgButtons::Ok);
        return false;
    }
    return OpenDatabase(*chosenPath);
}

bool CMirrowelDoc::OpenDatabase(const QString& path, EDbOpenMode mode)
{
    if (IsOpen() && !CloseCommand())
        return false;
    // The compaction of the database closed before may still be writing the file.
    m_pJobs->Wait();

    for (;;)
    {
        emit statusText(QStringLiteral("Opening %1...").arg(DbAddress::Display(path)));
        try
        {
            m_pDatabase = std::make_unique<CDbDatabase>();
            m_pDatabase->SetUserName(m_strUserName);
            m_pDatabase->Open(path, mode == EDbOpenMode::ReadWrite && !MayWrite(path) ? EDbOpenMode::ReadOnly
                                                                                      : mode);
            m_strPath = path;
            break;
        }
        catch (const CDbException& e)
        {
            m_pDatabase.reset();
            QString text = e.m_strDescription;
            if (e.m_nErrorCode == DbErrors::kUnrecognizedFormat)
                text += QStringLiteral(
                    "\r\n\r\nTry Repairing the database using the File menus \"Repair Database\" "
                    "command.");
            if (m_ui.MessageBox(text, QStringLiteral("Database Error"), MsgIcon::Error,
                                MsgButtons::RetryCancel) != MsgAnswer::Retry)
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
            m_ui.MessageBox(
                QStringLiteral("The database:\r\n\r\n    %1\r\n\r\n was created by a later version of "
                               "Quarrane.\r\n\r\n\r\nPlease download the latest version of Quarrane from"
                               "\r\n\r\n    ")
                        .arg(DbAddress::Display(path)) +
                    kMakerAddress,
                QStringLiteral("Database Created by a Newer Version of Quarrane"), MsgIcon::Warning,
                MsgButtons::Ok);
        else
            m_ui.MessageBox(
                QStringLiteral(
                    "The database:\r\n\r\n    %1\r\n\r\n was created by a older version of Quarrane.\r\n\r\n"
                    "\r\nPlease create a new, or open a current version of a Quarrane database,\r\nthen "
                    "select Import from the File menu and import this database\r\n\r\nNote that we "
                    "recommend backing up any database before information is imported to it")
                    .arg(DbAddress::Display(path)),
                QStringLiteral("Old Quarrane Database"), MsgIcon::Warning, MsgButtons::Ok);
        m_pDatabase->Close();
        m_pDatabase.reset();
        m_strPath.clear();
        return false;
    }

    // A server address is shown whole, without its password: its last part alone says little.
    SetTitle(m_pDatabase->IsReadOnly() ? QStringLiteral("%1 (read-only)").arg(DbAddress::TitleName(path))
                                       : DbAddress::TitleName(path));
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
    if (m_pJobs->IsRunning() && !m_bClosing && !m_pJobs->AskToCancel(QStringLiteral("database")))
        return false;
    m_bClosing = true;
    // The job stops after its current item; its connection goes with it.
    m_pJobs->Stop();
    m_pJobs->Wait();
    emit statusText(QStringLiteral("Closing database..."));
    m_pEditor->NavigatingAway();
    emit closing();
    m_pSynch->CancelRefreshes();
    m_pDatabase->Close();
    m_pDatabase.reset();
    m_pEditor->Reset();
    m_bClosing = false;
    emit statusText(QString());
    SetTitle(QStringLiteral("Untitled"));
    return true;
}

bool CMirrowelDoc::CloseCommand()
{
    const QString path = m_strPath;
    // A server keeps its own storage in order; there is no file to compact.
    const bool compact = IsOpen() && !IsReadOnly() && !m_pDatabase->IsServer() && CompactOnExit();
    if (!CloseDatabase())
        return false;
    m_strPath.clear();
    if (compact && !path.isEmpty())
        StartCompaction(path, {});
    return true;
}

bool CMirrowelDoc::CompactDatabaseCommand()
{
    const QString path = m_strPath;
    if (path.isEmpty() || DbAddress::IsServerAddress(path) || !CloseDatabase())
        return false;
    return StartCompaction(path, [this, path](bool) { OpenDatabase(path); });
}

bool CMirrowelDoc::StartCompaction(const QString& path, std::function<void(bool)> done)
{
    return m_pJobs->Start(
        {QStringLiteral("CMirrowelDoc::CompactDatabase()"), QString(), m_strUserName, true},
        [path, userName = m_strUserName](CJobContext& job)
        { return CompactDatabaseFile(job.Interaction(), path, userName); },
        std::move(done));
}

bool CMirrowelDoc::RepairDatabaseCommand(const QString& path)
{
    if (path.isEmpty() || DbAddress::IsServerAddress(path))
        return false;
    // Compacting the open file would put a copy in its place under the open connection.
    if (IsOpen() && QFileInfo(path).canonicalFilePath() == QFileInfo(m_strPath).canonicalFilePath())
        return CompactDatabaseCommand();
    return StartCompaction(path, {});
}

bool CMirrowelDoc::CompactDatabase(const QString& path)
{
    return CompactDatabaseFile(m_ui, path, m_strUserName);
}

// ---------------------------------------------------------------------------------------------
// Identifiers, parameters, lookups

qint32 CMirrowelDoc::GetNewRecSetId(const QString& name)
{
    if (!IsOpen() || IsReadOnly())
        return -1;
    return ::GetNewRecSetId(*m_pDatabase, name, *m_pPolicy);
}

QString CMirrowelDoc::GetDatabaseParameter(const QString& name)
{
    return ::GetDatabaseParameter(Database(), name);
}

bool CMirrowelDoc::SetDatabaseParameter(const QString& name, const QString& value)
{
    if (IsReadOnly())
        return false;
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
