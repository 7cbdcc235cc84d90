#include "synch/MwuTaskManager.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/MediaLocation.h"
#include "common/UnattendedInteraction.h"
#include "common/UserInteraction.h"
#include "database/DbAddress.h"
#include "database/DbErrorCodes.h"
#include "database/DbServices.h"
#include "database/DbStatement.h"
#include "database/DbTransaction.h"
#include "database/JetText.h"
#include "platform/NativeName.h"
#include "synch/MwuContext.h"
#include "synch/MwuNotifier.h"
#include "synch/MwuRequest.h"
#include "synch/MwuSynchState.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <mutex>

namespace
{
constexpr qint64 kRefreshIntervalMs = 100;
const QString kCaption = QStringLiteral("Quarrane Synchronizer");
const QString kMakerAddress = QStringLiteral("https://www.brevold.org/quarrane");
} // namespace

CMwuTaskManager::CMwuTaskManager(TaskKind kind, CMwuRequest& request, CMwuContext& context)
    : m_kind(kind), m_request(request), m_context(context), m_retryPolicy(context.ui, RetryRules(*this))
{
    if (m_context.wait)
        m_retryPolicy.SetWait(m_context.wait);
    m_context.state.AddRunning(this);
}

CMwuTaskManager::~CMwuTaskManager()
{
    m_context.state.RemoveRunning(this);
}

CMwuTaskList& CMwuTaskManager::Tasks()
{
    return m_context.tasks;
}

void CMwuTaskManager::SetResult(int result)
{
    if (m_nResult == 0 || (m_nResult == ResultSkipped && result != 0))
        m_nResult = result;
}

void CMwuTaskManager::NoteSkipped(const QString& message, const QString& path)
{
    SetResult(ResultSkipped);
    const QString text = message + QStringLiteral(": ") + path;
    AppendErrorLogLine(FormatErrorLogLine(QStringLiteral(__FILE__), __LINE__, text, kCaption));
    if (dynamic_cast<CUnattendedInteraction*>(&m_context.ui))
    {
        // The path's own bytes, as find and ls print it, whatever the name holds.
        const QByteArray line = NativeName::ToBytes(text) + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    }
}

CDbRetryPolicy::SRules CMwuTaskManager::RetryRules(CMwuTaskManager& manager)
{
    CDbRetryPolicy::SRules rules = CDbRetryPolicy::SynchronizerRules();
    rules.caption = kCaption;
    // Once the person has cancelled (or the database could not be reopened), no operation of the
    // task is tried again.
    rules.mayTry = [&manager] { return manager.m_nRetryAnswer == IDRETRY; };
    rules.answered = [&manager](CDbRetryPolicy::EQuestion question, MsgAnswer answer)
    {
        manager.m_bAnswered = true;
        if (answer == MsgAnswer::Retry)
            return;
        manager.m_nRetryAnswer = IDCANCEL;
        // A full disk will not free itself: the whole task ends, not just this operation.
        if (question == CDbRetryPolicy::EQuestion::DiskFull)
        {
            manager.m_bCancel = true;
            manager.m_bDiskFullCancelled = true;
        }
    };
    return rules;
}

bool CMwuTaskManager::RunWithRetry(const QString& context, const std::function<void()>& op,
                                   const std::function<void()>& reopen)
{
    return m_retryPolicy.Run(context, op, reopen);
}

bool CMwuTaskManager::OpenDatabase()
{
    m_database.SetTemporaryStorageInMemory(true);
    for (;;)
    {
        try
        {
            m_database.Open(m_request.m_line.database);
            return true;
        }
        catch (const CDbException& e)
        {
            if (m_context.ui.MessageBox(e.m_strDescription, QStringLiteral("Database Error"), MsgIcon::Warning,
                                        MsgButtons::RetryCancel) != MsgAnswer::Retry)
            {
                // A missing file is "not found"; a file that is there but cannot be used is not.
                const bool missing =
                    e.m_nErrorCode == DbErrors::kFileNotFound || e.m_nErrorCode == DbErrors::kObjectNotFound;
                SetResult(missing                                 ? ResultFileNotFound
                          : e.m_nErrorCode == DbErrors::kDiskFull ? ResultDiskFull
                                                                  : ResultDatabaseFailure);
                return false;
            }
        }
    }
}

void CMwuTaskManager::SetResultOfEarlyEnd()
{
    if (m_nResult != 0)
        return;
    const long lastError = m_retryPolicy.LastErrorCode();
    if (m_bDiskFullCancelled)
        SetResult(ResultDiskFull);
    else if (m_bCancel || m_nRetryAnswer != IDRETRY || m_context.state.IsClosing())
        // Given up on a damaged database or a missing table: the database is what failed.
        SetResult(lastError == DbErrors::kUnrecognizedFormat || lastError == DbErrors::kInputNotFound
                      ? ResultDatabaseFailure
                      : ResultCancelled);
}

bool CMwuTaskManager::ReopenDatabase()
{
    m_database.Close();
    m_context.wait(CDbRetryPolicy::kRetryWait);
    if (OpenDatabase())
        return true;
    m_nRetryAnswer = IDCANCEL;
    m_bCancel = true;
    return false;
}

int CMwuTaskManager::Manage()
{
    std::lock_guard databaseLock(m_context.state.DatabaseMutex());
    m_context.notifier.PostManageStarted();

    if (!OpenDatabase())
        // Nothing was done: the result says why rather than report success.
        return m_nResult;

    const double version = DatabaseVersionFromText(GetDatabaseParameter(QStringLiteral("Version")));
    if (version > kCurrentDatabaseVersion)
    {
        m_context.ui.MessageBox(
            QStringLiteral(
                "The database:\r\n\r\n    %1\r\n\r\n was created by a later version of Quarrane.\r\n\r\n"
                "\r\nPlease download the latest version of Quarrane from\r\n\r\n    ")
                    .arg(DbAddress::Display(m_request.m_line.database)) +
                kMakerAddress,
            QStringLiteral("Database Created by a Newer Version of Quarrane"), MsgIcon::Warning,
            MsgButtons::Ok);
        SetResult(ResultVersionMismatch);
        m_bStop = true;
    }
    else if (version < kCurrentDatabaseVersion)
    {
        m_context.ui.MessageBox(
            QStringLiteral(
                "The database:\r\n\r\n    %1\r\n\r\n was created by a older version of Quarrane.\r\n\r\n"
                "\r\nPlease run Quarrane, create a new, or open a current version of a Quarrane "
                "database,\r\nthen select Import from the File menu and import this database\r\n\r\n"
                "Note that we recommend backing up any database before information is imported to it")
                .arg(DbAddress::Display(m_request.m_line.database)),
            QStringLiteral("Old Quarrane Database"), MsgIcon::Warning, MsgButtons::Ok);
        SetResult(ResultVersionMismatch);
        m_bStop = true;
    }
    else
    {
        CMwuTaskList::Row first;
        try
        {
            first = CreateTaskTop();
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(e, QString(), QStringLiteral("CMwuTaskManager::Manage() - AddTaskGroup"));
            SetResult(ResultDatabaseFailure);
        }
        const auto reopen = [this] { ReopenDatabase(); };
        try
        {
            if (first && !m_bCancel && !m_bStop)
            {
                RunWithRetry(QStringLiteral("CMwuTaskManager::Manage() - SetProgressMax"),
                             [&] { SetProgressMax(first); }, reopen);
                if (m_nFileError == 0 && !m_bCancel)
                    RunWithRetry(QStringLiteral("CMwuTaskManager::Manage() - ProcessGroupTask"),
                                 [&] { ProcessGroupTask(first); }, reopen);
            }
        }
        catch (const CDbException& e)
        {
            LOG_EXCEPTION(e, QString(), QStringLiteral("CMwuTaskManager::Manage()"));
            SetResult(ResultDatabaseFailure);
        }
        SetResultOfEarlyEnd();
    }
    m_database.Close();
    return m_nResult;
}

QString CMwuTaskManager::GetDatabaseParameter(const QString& name)
{
    return ::GetDatabaseParameter(&m_database, name,
                                  QStringLiteral("CMirrowelDoc::GetDatabaseParameter() - pParameterRecSet->Open"));
}

CMwuTaskList::Row CMwuTaskManager::CreateTaskTopBase(bool& bMediaMissing)
{
    bMediaMissing = false;
    const bool byId = m_request.m_line.catalogueId != 0;
    CMwuTask top;
    bool found = false;
    const bool opened = RunWithRetry(QStringLiteral("CMwuTaskManager::CreateTaskTop() : CatalogueRecSet open"), [&] {
        // The name is a LIKE pattern on purpose (as typed on a command line), bound, never pasted.
        CDbStatement catalogue =
            byId ? m_database.Prepare(QStringLiteral("SELECT Catalogue.* FROM Catalogue WHERE "
                                                     "((Catalogue.CatalogueId = ?));"))
                 : m_database.Prepare(QStringLiteral("SELECT Catalogue.* FROM Catalogue WHERE "
                                                     "((Catalogue.Catalogue LIKE ?));"));
        if (byId)
            catalogue.Bind(1, m_request.m_line.catalogueId);
        else
            catalogue.Bind(1, m_request.m_line.catalogue);
        found = catalogue.Step();
        if (!found)
            return;
        top.m_kind = m_kind;
        // Shown in the task list: a server's password stays out of the window.
        top.m_strDatabase = DbAddress::WithoutPassword(m_request.m_line.database);
        top.m_lCatalogueId = catalogue.Value(QStringLiteral("CatalogueId")).ToLong();
        top.m_strCatalogue = catalogue.Value(QStringLiteral("Catalogue")).ToString();
        top.m_strVolume = catalogue.Value(QStringLiteral("Volume")).ToString();
        top.m_lVolumeSerial = catalogue.Value(QStringLiteral("VolumeSerial")).ToLong();
        top.m_strLocation = catalogue.Value(QStringLiteral("Location")).ToString();
        top.m_strDriveType = catalogue.Value(QStringLiteral("DriveType")).ToString();
        top.m_strLocalMachine = catalogue.Value(QStringLiteral("LocalMachine")).ToString();
        top.m_strUser = catalogue.Value(QStringLiteral("UserName")).ToString();
        top.m_strRelativePath = QStringLiteral("<All>");
        top.m_position = TaskPositionTop;
        top.m_status = TaskStatusQueued;
    });
    if (!opened)
        return nullptr;
    if (!found)
    {
        SetResult(ResultFileNotFound);
        m_context.ui.MessageBox(byId ? QStringLiteral("Unable to find the catalogue: %1").arg(m_request.m_line.catalogueId)
                                     : QStringLiteral("Unable to find the catalogue: %1").arg(m_request.m_line.catalogue),
                                QStringLiteral("Catalogue not Found"), MsgIcon::Error, MsgButtons::Ok);
        return nullptr;
    }

    QString location = top.m_strLocation;
    bMediaMissing = LocateMedia(location, top.m_lVolumeSerial, top.m_strVolume, 0, nullptr, nullptr, false) != 0;
    top.m_strLocation = location;

    m_pTop = Tasks().Append(top);
    m_context.notifier.AskRefresh();
    return m_pTop;
}

CMwuTaskList::Row CMwuTaskManager::AddTaskGroupFromFileRecords()
{
    bool bMediaMissing = false;
    CMwuTaskList::Row top = CreateTaskTopBase(bMediaMissing);
    if (!top)
        return nullptr;
    if (bMediaMissing)
    {
        SetResult(ResultFileNotFound);
        m_bCancel = true;
    }

    const CMwuTask head = Tasks().Read(top);
    // Grouped by folder row rather than by folder text: the texts compare without regard to case,
    // and on a case-sensitive medium "Films" and "films" are two folders.
    struct Folder
    {
        qint32 id;
        QString text;
    };
    std::vector<Folder> folders;
    const bool read = RunWithRetry(
        QStringLiteral("CMwuTaskManager::AddTaskGroupFromFileRecords() : filerecset open"), [&] {
            folders.clear();
            // One seek per folder along the (CatalogueId, RelativePathId, File) index instead of a
            // pass over every file of the catalogue: a large catalogue has a hundred times more
            // files than folders.
            CDbStatement next = m_database.PrepareSqlite(
                QStringLiteral(
                    "SELECT RelativePathId FROM %1 WHERE CatalogueId=? AND RelativePathId>? ORDER BY "
                    "CatalogueId, RelativePathId LIMIT 1")
                    .arg(FileIndexedBy(QStringLiteral("File_CatalogueIdRelativePathIdFileKey"))));
            CDbStatement text = m_database.Prepare(QStringLiteral(
                "SELECT RelativePath.RelativePath FROM RelativePath WHERE RelativePath.RelativePathId=?;"));
            qint32 after = std::numeric_limits<qint32>::min();
            for (;;)
            {
                next.Bind(1, head.m_lCatalogueId).Bind(2, after);
                if (m_bCancel || !next.Step())
                    break;
                const qint32 id = next.Value(0).ToLong();
                next.Reset();
                text.Bind(1, id);
                folders.push_back({id, text.Step() ? text.Value(0).ToString() : QString()});
                text.Reset();
                after = id;
            }
            // Folders in the order of their texts, as the browser lists them.
            std::stable_sort(folders.begin(), folders.end(), [](const Folder& a, const Folder& b) {
                const int order = JetText::CompareGeneral(a.text, b.text);
                return order != 0 ? order < 0 : a.id < b.id;
            });
        });

    if (read && !m_bCancel)
    {
        if (folders.size() <= 1)
            Tasks().Modify(top, [&](CMwuTask& t) {
                t.m_position = TaskPositionSingle;
                t.m_strRelativePath = folders.empty() ? QString() : folders.front().text;
                t.m_lRelativePathId = folders.empty() ? 0 : folders.front().id;
            });
        else
        {
            CMwuTaskList::Row previous = top;
            for (size_t i = 0; i < folders.size() && !m_bCancel; ++i)
            {
                CMwuTask group = head;
                group.m_strRelativePath = folders[i].text;
                group.m_lRelativePathId = folders[i].id;
                group.m_position = i + 1 == folders.size() ? TaskPositionLastGroup : TaskPositionGroup;
                previous = Tasks().InsertAfter(previous, group);
                m_context.notifier.AskRefresh();
            }
        }
    }
    if (m_bCancel)
        Tasks().Modify(top, [](CMwuTask& t) { t.m_status = TaskStatusMediaNotFound; });
    return top;
}

void CMwuTaskManager::SetProgressMax(const CMwuTaskList::Row& first)
{
    m_pCurrent = first;
    for (;;)
    {
        const CMwuTask current = Tasks().Read(m_pCurrent);
        if (current.m_position != TaskPositionSingle)
        {
            CMwuTaskList::Row next = Tasks().Next(m_pCurrent);
            if (!next)
                return;
            m_pCurrent = next;
        }
        SetProgressMaxTaskCurrent();
        const TaskPosition position = Tasks().Read(m_pCurrent).m_position;
        if (position == TaskPositionSingle || position == TaskPositionLastGroup || m_bCancel ||
            m_nRetryAnswer != IDRETRY)
            return;
    }
}

QString CMwuTaskManager::FileIndexedBy(const QString& index) const
{
    return m_database.IsServer() ? QStringLiteral("File") : QStringLiteral("File INDEXED BY ") + index;
}

CDbStatement CMwuTaskManager::SelectLiveFiles(const QString& columns, qint32 catalogueId, qint32 relativePathId,
                                              const QString& orderBy)
{
    // Along the (CatalogueId, RelativePathId, File) index: the engine, left to itself, takes the
    // RelativePathId index, which holds the root folders of every catalogue under 0.
    CDbStatement files = m_database.PrepareSqlite(
        QStringLiteral(
            "SELECT %1 FROM %2 WHERE CatalogueId=? AND RelativePathId=? AND Deleted=0 AND Ghost=0%3")
            .arg(columns, FileIndexedBy(QStringLiteral("File_CatalogueIdRelativePathIdFileKey")),
                 orderBy.isEmpty() ? QString() : QStringLiteral(" ORDER BY ") + orderBy));
    files.Bind(1, catalogueId).Bind(2, relativePathId);
    return files;
}

void CMwuTaskManager::SetProgressMaxFromLiveFiles(const QString& context)
{
    const CMwuTask current = Current();
    qint32 count = 0;
    if (!RunWithRetry(context, [&] {
            CDbStatement files =
                SelectLiveFiles(QStringLiteral("Count(*)"), current.m_lCatalogueId, current.m_lRelativePathId);
            count = files.Step() ? files.Value(0).ToLong() : 0;
        }))
        return;
    ModifyCurrent([&](CMwuTask& t) { t.m_lProgressMax = count; });
    if (Top().m_position == TaskPositionTop)
        Tasks().Modify(m_pTop, [&](CMwuTask& t) { t.m_lProgressMax += count; });
}

void CMwuTaskManager::ProcessGroupTask(const CMwuTaskList::Row& first)
{
    m_pCurrent = first;
    Tasks().Modify(m_pCurrent, [](CMwuTask& t) { t.m_status = TaskStatusProcessing; });
    ProcessGroupTaskSetup();

    bool stoppedEarly = false;
    QElapsedTimer sinceRefresh;
    while (m_nRetryAnswer == IDRETRY)
    {
        if (Tasks().Read(m_pCurrent).m_position != TaskPositionSingle)
        {
            CMwuTaskList::Row next = Tasks().Next(m_pCurrent);
            if (!next)
                break;
            m_pCurrent = next;
        }
        // Shown with the next refresh: a refresh per group start as well as per group end would
        // redraw the list twice for every folder of a large medium.
        Tasks().Modify(m_pCurrent, [](CMwuTask& t) { t.m_status = TaskStatusProcessing; });
        RunWithRetry(
            QStringLiteral("CMwuTaskManager::ProcessGroupTask()"),
            [this] {
                ProcessGroupTaskCurrentSetup();
                if (m_nRetryAnswer == IDRETRY)
                    ProcessGroupTaskCurrent();
                ProcessGroupCleanup();
            },
            [this] {
                ProcessGroupCleanup();
                ReopenDatabase();
            });
        const bool cancelled = m_bCancel || m_nRetryAnswer != IDRETRY;
        Tasks().Modify(m_pCurrent, [&](CMwuTask& t) {
            t.m_status = cancelled ? TaskStatusCancelled : TaskStatusCompleted;
        });
        // At most ten redraws a second: a medium of thousands of small folders ends groups far
        // faster than anyone can read them, and the window's thread shares the processor with the
        // scan. The run's end always refreshes.
        if (!sinceRefresh.isValid() || sinceRefresh.elapsed() >= kRefreshIntervalMs)
        {
            m_context.notifier.PostRefresh();
            sinceRefresh.start();
        }
        const TaskPosition position = Tasks().Read(m_pCurrent).m_position;
        if (cancelled)
        {
            stoppedEarly = position != TaskPositionSingle && position != TaskPositionLastGroup;
            break;
        }
        if (position == TaskPositionSingle || position == TaskPositionLastGroup)
            break;
    }

    // The rest of an interrupted run will not be done.
    if (stoppedEarly)
        for (CMwuTaskList::Row row = Tasks().Next(m_pCurrent); row; row = Tasks().Next(row))
        {
            TaskPosition position = TaskPositionGroup;
            Tasks().Modify(row, [&](CMwuTask& t) {
                t.m_status = TaskStatusCancelled;
                position = t.m_position;
            });
            if (position == TaskPositionSingle || position == TaskPositionLastGroup)
                break;
        }

    const bool cancelled = m_bCancel || m_nRetryAnswer != IDRETRY;
    Tasks().Modify(first, [&](CMwuTask& t) { t.m_status = cancelled ? TaskStatusCancelled : TaskStatusCompleted; });
    ProcessTaskCleanup();
    m_context.notifier.PostRefresh();
}

bool CMwuTaskManager::WaitForRun()
{
    m_context.state.WaitWhilePaused();
    return !m_bCancel && !m_context.state.IsClosing();
}

void CMwuTaskManager::ModifyCurrent(const std::function<void(CMwuTask&)>& change)
{
    Tasks().Modify(m_pCurrent, change);
}

CMwuTask CMwuTaskManager::Current() const
{
    return m_context.tasks.Read(m_pCurrent);
}

CMwuTask CMwuTaskManager::Top() const
{
    return m_context.tasks.Read(m_pTop);
}

qint32 CMwuTaskManager::GetNewRecSetId(const QString& name)
{
    qint32 result = -1;
    const bool done = RunWithRetry(QStringLiteral("CMwuTaskManager::GetNewRecSetId() - indexidrecset.Open"), [&] {
        // Read and advance in one write transaction: the browser hands out the same names.
        CDbTransaction transaction(m_database);
        const qint32 next = ReserveRecSetIds(m_database, name, 1);
        transaction.Commit();
        result = next;
    });
    return done ? result : -1;
}

qint32 CMwuTaskManager::GetRelativePathRecSetId(const QString& relativePath)
{
    if (relativePath.isEmpty())
        return 0;
    qint32 id = -1;
    RunWithRetry(QStringLiteral("CMwuTaskManager::GetRelativePathRecSetId()"), [&] {
        CDbStatement select = m_database.Prepare(
            QStringLiteral("SELECT RelativePath.RelativePathId, RelativePath.RelativePath FROM RelativePath WHERE "
                           "((RelativePath.RelativePath=?) AND StrComp(RelativePath.RelativePath, ?, 0)=0);"));
        select.Bind(1, relativePath);
        select.Bind(2, relativePath);
        if (select.Step())
        {
            id = select.Value(0).ToLong();
            return;
        }
        select.Reset();
        const qint32 newId = GetNewRecSetId(QStringLiteral("RelativePath_RelativePathId"));
        if (newId < 0)
            return;
        m_database.Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (?, ?)"),
                           {CDbValue(newId), CDbValue(relativePath)});
        id = newId;
    });
    return id;
}

void CMwuTaskManager::SetFileRecSetError(qint32 fileId, const QString& message)
{
    qint32 fileInfoId = 0;
    RunWithRetry(QStringLiteral("CMwuTaskManager::SetFileRecSetError() - Getting FileInfoId"), [&] {
        CDbStatement file = m_database.Prepare(QStringLiteral("SELECT FileInfoId FROM File WHERE FileId=?"));
        file.Bind(1, fileId);
        fileInfoId = file.Step() ? file.Value(0).ToLong() : 0;
    });

    QString notes;
    bool editExisting = false;
    RunWithRetry(QStringLiteral("CMwuTaskManager::SetFileRecSetError() - FileInfoRecSet.Open()"), [&] {
        editExisting = false;
        if (fileInfoId == 0)
            return;
        // A FileInfo shared by duplicates must not carry this file's note to the others.
        CDbStatement sharing = m_database.Prepare(QStringLiteral("SELECT Count(*) FROM File WHERE (FileInfoId=?)"));
        sharing.Bind(1, fileInfoId);
        if (!sharing.Step() || sharing.Value(0).ToLong() > 1)
            return;
        CDbStatement info = m_database.Prepare(QStringLiteral("SELECT Notes FROM FileInfo WHERE FileInfoId=?"));
        info.Bind(1, fileInfoId);
        if (info.Step())
        {
            editExisting = true;
            notes = info.Value(0).ToString();
        }
    });

    if (editExisting)
    {
        if (notes.contains(message))
            return;
        if (!notes.isEmpty())
            notes += QStringLiteral("\r\n");
        notes += message;
        RunWithRetry(QStringLiteral("CMwuTaskManager::SetFileRecSetError()"), [&] {
            m_database.Execute(QStringLiteral("UPDATE FileInfo SET Notes=?, ContainsError=TRUE WHERE FileInfoId=?"),
                               {CDbValue(notes), CDbValue(fileInfoId)});
        });
        return;
    }

    const qint32 newId = GetNewRecSetId(QStringLiteral("FileInfo_FileInfoId"));
    if (newId < 0)
        return;
    // The note and the file's link to it land together, or not at all.
    RunWithRetry(QStringLiteral("CMwuTaskManager::SetFileRecSetError() - bNewFileInfoId"), [&] {
        CDbTransaction transaction(m_database);
        m_database.Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Notes, ContainsError) VALUES (?, ?, TRUE)"),
                           {CDbValue(newId), CDbValue(message)});
        m_database.Execute(QStringLiteral("UPDATE File SET FileInfoId=? WHERE FileId=?"),
                           {CDbValue(newId), CDbValue(fileId)});
        transaction.Commit();
    });
}
