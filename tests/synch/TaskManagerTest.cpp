#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/VolumeTable.h"
#include "synch/MwuContext.h"
#include "synch/MwuNotifier.h"
#include "synch/MwuRequest.h"
#include "synch/MwuSynchState.h"
#include "synch/MwuTaskManager.h"
#include "synch/MwuTaskManagerMarkDeleted.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace
{
class CCountingNotifier final : public CMwuNotifier
{
public:
    void PostRefresh() override { ++refreshes; }
    void PostManageStarted() override { ++started; }
    void AskRefresh() override { ++refreshes; }
    void AskRequestNotify(CMwuRequest*) override {}
    int refreshes = 0;
    int started = 0;
};

// Drives the base the way the real tasks do: groups from the catalogued files, one progress step
// per file of the group's folder.
class CTestTaskManager final : public CMwuTaskManager
{
public:
    using CMwuTaskManager::CMwuTaskManager;
    using CMwuTaskManager::GetNewRecSetId;
    QStringList processed;

protected:
    CMwuTaskList::Row CreateTaskTop() override { return AddTaskGroupFromFileRecords(); }
    void SetProgressMaxTaskCurrent() override
    {
        const int files = static_cast<int>(FilesOfCurrentFolder().size());
        ModifyCurrent([&](CMwuTask& t) { t.m_lProgressMax = files; });
        if (Top().m_position == TaskPositionTop)
            Tasks().Modify(m_pTop, [&](CMwuTask& t) { t.m_lProgressMax += files; });
    }
    void ProcessGroupTaskCurrent() override
    {
        for (const QString& file : FilesOfCurrentFolder())
        {
            if (!WaitForRun())
                return;
            processed.append(file);
            ModifyCurrent([](CMwuTask& t) { ++t.m_lProgressCurrent; });
        }
    }

private:
    QStringList FilesOfCurrentFolder()
    {
        const CMwuTask current = Current();
        CDbStatement files = m_database.Prepare(QStringLiteral(
            "SELECT File.File FROM File LEFT JOIN RelativePath ON File.RelativePathId = RelativePath.RelativePathId "
            "WHERE File.CatalogueId=? AND (RelativePath.RelativePath=? OR (RelativePath.RelativePath Is Null AND "
            "?='')) ORDER BY File.File"));
        files.Bind(1, current.m_lCatalogueId).Bind(2, current.m_strRelativePath).Bind(3, current.m_strRelativePath);
        QStringList names;
        while (files.Step())
            names.append(files.Value(0).ToString());
        return names;
    }
};

class TaskManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        SetProcessUserInteraction(&m_ui);
        m_strDatabase = m_dir.filePath(QStringLiteral("Films.qrl"));
        ASSERT_TRUE(WriteTemplateDatabase(m_strDatabase));
        ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("media"))));
        m_volumes.SetEntries({CFixtureVolumeTable::MakeEntry(m_dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"))});
        m_db.Open(m_strDatabase);
        AddCatalogue(1, QStringLiteral("Films"), 0x1234ABCD);
    }
    void TearDown() override
    {
        m_db.Close();
        SetProcessUserInteraction(nullptr);
        SetErrorLogFolder(QString());
    }

    void AddCatalogue(qint32 id, const QString& name, qint32 serial)
    {
        m_db.Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                                    "Location, DriveType, LocalMachine, UserName) VALUES (0, ?, ?, 'DATA', ?, ?, "
                                    "'Fixed', 'host', 'ann')"),
                     {CDbValue(id), CDbValue(name), CDbValue(serial), CDbValue(m_dir.filePath("media"))});
    }
    void AddFile(qint32 fileId, qint32 catalogueId, qint32 relativePathId, const QString& name)
    {
        m_db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                    "FileSizeDouble) VALUES (?, ?, ?, ?, 10, 10)"),
                     {CDbValue(catalogueId), CDbValue(relativePathId), CDbValue(fileId), CDbValue(name)});
    }
    void AddFolder(qint32 id, const QString& text)
    {
        m_db.Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (?, ?)"),
                     {CDbValue(id), CDbValue(text)});
    }

    std::unique_ptr<CTestTaskManager> Make(const QString& commandLine)
    {
        m_request.m_strCommandLine = commandLine;
        m_request.m_line = SynchCommandLine::Parse(commandLine);
        return std::make_unique<CTestTaskManager>(TaskKindUpdateTTH, m_request, m_context);
    }
    std::vector<CMwuTask> Rows() const
    {
        std::vector<CMwuTask> rows(static_cast<size_t>(m_tasks.Size()));
        for (int i = 0; i < m_tasks.Size(); ++i)
            m_tasks.CopyAt(i, rows[static_cast<size_t>(i)]);
        return rows;
    }
    QString Line(int catalogueId) const
    {
        return QStringLiteral("-Database=\"%1\" -CatalogueID=%2 -UpdateTTH").arg(m_strDatabase).arg(catalogueId);
    }

    QTemporaryDir m_dir;
    QString m_strDatabase;
    CDbDatabase m_db;
    CFixtureVolumeTable m_volumes;
    CVolumeTableScope m_scope{m_volumes};
    CScriptedInteraction m_ui;
    CMwuSynchState m_state;
    CMwuTaskList m_tasks;
    CCountingNotifier m_notifier;
    CMwuContext m_context{m_state, m_tasks, m_notifier, m_ui, [](auto) {}};
    CMwuRequest m_request;
};
} // namespace

TEST_F(TaskManagerTest, GroupsFollowTheFoldersThatHoldFiles)
{
    // No files: one Single row with an empty folder.
    auto empty = Make(Line(1));
    EXPECT_EQ(empty->Manage(), 0);
    ASSERT_EQ(Rows().size(), 1u);
    EXPECT_EQ(Rows()[0].m_position, TaskPositionSingle);
    EXPECT_EQ(Rows()[0].m_strRelativePath, QString());
    EXPECT_EQ(Rows()[0].m_status, TaskStatusCompleted);
    EXPECT_EQ(Rows()[0].m_strLocation, m_dir.filePath("media"));
    EXPECT_EQ(m_notifier.started, 1);

    // Files in one folder: one Single row with that folder.
    AddFolder(5, QStringLiteral("Films\\2024"));
    AddFile(1, 1, 5, QStringLiteral("a.mkv"));
    AddFile(2, 1, 5, QStringLiteral("b.mkv"));
    auto one = Make(Line(1));
    EXPECT_EQ(one->Manage(), 0);
    ASSERT_EQ(Rows().size(), 2u);
    EXPECT_EQ(Rows()[1].m_position, TaskPositionSingle);
    EXPECT_EQ(Rows()[1].m_strRelativePath, QStringLiteral("Films\\2024"));
    EXPECT_EQ(Rows()[1].m_lProgressMax, 2);
    EXPECT_EQ(Rows()[1].m_lProgressCurrent, 2);
    EXPECT_EQ(one->processed, QStringList({"a.mkv", "b.mkv"}));

    // Three folders (one of them the location itself): Top "<All>", Group, Group, LastGroup, the
    // top's maximum the sum; another catalogue's files count for nothing.
    AddFolder(6, QStringLiteral("Music"));
    AddFile(3, 1, 6, QStringLiteral("c.flac"));
    AddFile(4, 1, 0, QStringLiteral("readme.txt"));
    AddCatalogue(2, QStringLiteral("Other"), 0x1234ABCD);
    AddFile(5, 2, 6, QStringLiteral("not-mine.flac"));
    auto three = Make(Line(1));
    EXPECT_EQ(three->Manage(), 0);
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[2].m_position, TaskPositionTop);
    EXPECT_EQ(rows[2].m_strRelativePath, QStringLiteral("<All>"));
    EXPECT_EQ(rows[2].m_lProgressMax, 4);
    EXPECT_EQ(rows[2].m_status, TaskStatusCompleted);
    QStringList folders;
    for (size_t i = 3; i < 6; ++i)
    {
        folders.append(rows[i].m_strRelativePath);
        EXPECT_EQ(rows[i].m_position, i == 5 ? TaskPositionLastGroup : TaskPositionGroup);
        EXPECT_EQ(rows[i].m_status, TaskStatusCompleted);
        EXPECT_EQ(rows[i].m_lProgressCurrent, rows[i].m_lProgressMax);
        EXPECT_EQ(rows[i].m_strCatalogue, QStringLiteral("Films"));
    }
    EXPECT_EQ(folders, QStringList({"", "Films\\2024", "Music"}));
    EXPECT_EQ(three->processed.size(), 4);
    EXPECT_FALSE(three->processed.contains("not-mine.flac"));
}

TEST_F(TaskManagerTest, AnotherDatabaseVersionStopsTheRequestWithItsMessage)
{
    for (const char* version : {"1.003", "1.005"})
    {
        m_db.Execute(QStringLiteral("UPDATE Parameter SET [Value]=? WHERE Parameter='Version'"),
                     {CDbValue(QString::fromLatin1(version))});
        AddFile(100, 1, 0, QStringLiteral("x"));
        auto manager = Make(Line(1));
        EXPECT_EQ(manager->Manage(), CMwuTaskManager::ResultVersionMismatch) << version;
        EXPECT_TRUE(manager->IsStopped());
        EXPECT_TRUE(manager->processed.isEmpty());
        m_db.Execute(QStringLiteral("DELETE FROM File"));
    }
    EXPECT_EQ(Rows().size(), 0u) << "no task row for a database of another version";
    const auto messages = m_ui.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Old Quarrane Database"));
    EXPECT_TRUE(messages[0].text.startsWith(QStringLiteral("The database:\r\n\r\n    ") + m_strDatabase +
                                            QStringLiteral("\r\n\r\n was created by a older version of Quarrane.")));
    EXPECT_EQ(messages[1].caption, QStringLiteral("Database Created by a Newer Version of Quarrane"));
    EXPECT_TRUE(messages[1].text.contains(QStringLiteral(" was created by a later version of Quarrane.\r\n\r\n\r\n"
                                                         "Please download the latest version of Quarrane from")));
}

TEST_F(TaskManagerTest, MissingCatalogueMissingMediumAndMissingDatabase)
{
    // Nothing done is not a success: "not found".
    auto byId = Make(Line(42));
    EXPECT_EQ(byId->Manage(), CMwuTaskManager::ResultFileNotFound);
    auto byName = Make(QStringLiteral("-Database=\"%1\" -Catalogue=\"No such\" -UpdateTTH").arg(m_strDatabase));
    EXPECT_EQ(byName->Manage(), CMwuTaskManager::ResultFileNotFound);
    auto messages = m_ui.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Unable to find the catalogue: 42"));
    EXPECT_EQ(messages[0].caption, QStringLiteral("Catalogue not Found"));
    EXPECT_EQ(messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(messages[1].text, QStringLiteral("Unable to find the catalogue: No such"));
    EXPECT_EQ(Rows().size(), 0u);

    // By name the catalogue is a pattern, matched without regard to case.
    AddFile(1, 1, 0, QStringLiteral("a"));
    auto pattern = Make(QStringLiteral("-Database=\"%1\" -Catalogue=\"fil*\" -UpdateTTH").arg(m_strDatabase));
    EXPECT_EQ(pattern->Manage(), 0);
    EXPECT_EQ(pattern->processed, QStringList{"a"});

    // The medium is not here: status 4 and nothing done.
    AddCatalogue(3, QStringLiteral("Elsewhere"), 0x0BADF00D);
    AddFile(2, 3, 0, QStringLiteral("b"));
    auto missing = Make(Line(3));
    EXPECT_EQ(missing->Manage(), CMwuTaskManager::ResultFileNotFound);
    EXPECT_TRUE(missing->processed.isEmpty());
    EXPECT_EQ(Rows().back().m_status, TaskStatusMediaNotFound);

    // A database that cannot be opened: asked once (Cancel), nothing done, and not a success.
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    auto absent = Make(QStringLiteral("-Database=\"%1\" -CatalogueID=1 -UpdateTTH").arg(m_dir.filePath("gone.qrl")));
    EXPECT_EQ(absent->Manage(), CMwuTaskManager::ResultFileNotFound);
    EXPECT_EQ(m_ui.Messages().back().caption, QStringLiteral("Database Error"));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("gone.qrl")));
}

TEST_F(TaskManagerTest, IdentifiersFoldersAndErrorNotes)
{
    auto manager = Make(Line(1));
    CDbDatabase& db = manager->Database();
    db.Open(m_strDatabase);
    EXPECT_EQ(manager->GetNewRecSetId(QStringLiteral("Test_TestId")), 1);
    EXPECT_EQ(manager->GetNewRecSetId(QStringLiteral("Test_TestId")), 2);
    EXPECT_EQ(manager->GetDatabaseParameter(QStringLiteral("Version")), QStringLiteral("1.004"));
    EXPECT_EQ(manager->GetDatabaseParameter(QStringLiteral("NoSuchParameter")), QString());

    // Folder texts: empty is the location; the same text is one row; case makes another.
    EXPECT_EQ(manager->GetRelativePathRecSetId(QString()), 0);
    const qint32 films = manager->GetRelativePathRecSetId(QStringLiteral("Films\\It's \"new\""));
    EXPECT_GT(films, 0);
    EXPECT_EQ(manager->GetRelativePathRecSetId(QStringLiteral("Films\\It's \"new\"")), films);
    const qint32 lower = manager->GetRelativePathRecSetId(QStringLiteral("films\\it's \"new\""));
    EXPECT_GT(lower, 0);
    EXPECT_NE(lower, films);

    // A note added twice is there once.
    AddFile(1, 1, 0, QStringLiteral("bad.bin"));
    manager->SetFileRecSetError(1, QStringLiteral("Error reading from file"));
    manager->SetFileRecSetError(1, QStringLiteral("Error reading from file"));
    manager->SetFileRecSetError(1, QStringLiteral("Another problem"));
    {
        CDbStatement info = db.Prepare(QStringLiteral(
            "SELECT FileInfo.FileInfoId, Notes, ContainsError FROM FileInfo INNER JOIN File ON FileInfo.FileInfoId = "
            "File.FileInfoId WHERE File.FileId=1"));
        ASSERT_TRUE(info.Step());
        EXPECT_EQ(info.Value(1).ToString(), QStringLiteral("Error reading from file\r\nAnother problem"));
        EXPECT_TRUE(info.Value(2).ToBool());
    }

    // A FileInfo shared with a duplicate: the noted file gets its own row; the other keeps the old.
    db.Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description) VALUES (500, 'shared')"));
    AddFile(2, 1, 0, QStringLiteral("copy1"));
    AddFile(3, 1, 0, QStringLiteral("copy2"));
    db.Execute(QStringLiteral("UPDATE File SET FileInfoId=500 WHERE FileId IN (2, 3)"));
    manager->SetFileRecSetError(2, QStringLiteral("Error reading from file"));
    CDbStatement ids = db.Prepare(QStringLiteral("SELECT FileId, FileInfoId FROM File WHERE FileId IN (2, 3) ORDER BY FileId"));
    ASSERT_TRUE(ids.Step());
    const qint32 own = ids.Value(1).ToLong();
    EXPECT_NE(own, 500);
    ASSERT_TRUE(ids.Step());
    EXPECT_EQ(ids.Value(1).ToLong(), 500);
    CDbStatement shared = db.Prepare(QStringLiteral("SELECT Notes FROM FileInfo WHERE FileInfoId=500"));
    ASSERT_TRUE(shared.Step());
    EXPECT_TRUE(shared.Value(0).IsNull() || shared.Value(0).ToString().isEmpty());
    db.Close();
}

TEST_F(TaskManagerTest, MarkDeletedMarksOnlyLiveFilesThatAreGone)
{
    const QString media = m_dir.filePath("media");
    ASSERT_TRUE(QDir().mkpath(media + "/Films"));
    ASSERT_TRUE(QDir().mkpath(media + "/films"));
    for (const char* name : {"Films/kept.mkv", "films/other.mkv", "top.txt"})
    {
        QFile f(media + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    AddFolder(5, QStringLiteral("Films"));
    AddFolder(6, QStringLiteral("films")); // another folder on a case-sensitive medium
    AddFile(1, 1, 5, QStringLiteral("kept.mkv"));
    AddFile(2, 1, 5, QStringLiteral("gone.mkv"));
    AddFile(3, 1, 6, QStringLiteral("other.mkv"));
    AddFile(4, 1, 6, QStringLiteral("kept.mkv")); // only in Films, not in films
    AddFile(5, 1, 0, QStringLiteral("top.txt"));
    AddFile(6, 1, 0, QStringLiteral("Top.txt")); // only in another letter case
    AddFile(7, 1, 5, QStringLiteral("ghost.mkv"));
    m_db.Execute(QStringLiteral("UPDATE File SET Ghost=TRUE WHERE FileId=7"));

    auto deletedIds = [&] {
        QList<qint32> ids;
        CDbStatement st = m_db.Prepare(QStringLiteral("SELECT FileId FROM File WHERE Deleted=TRUE ORDER BY FileId"));
        while (st.Step())
            ids.append(st.Value(0).ToLong());
        return ids;
    };
    auto run = [&](qint32 catalogue) {
        m_request.m_strCommandLine = Line(catalogue);
        m_request.m_line = SynchCommandLine::Parse(Line(catalogue));
        CMwuTaskManagerMarkDeleted manager(m_request, m_context);
        return manager.Manage();
    };

    EXPECT_EQ(run(1), 0);
    EXPECT_EQ(deletedIds(), QList<qint32>({2, 4, 6}));
    const auto rows = Rows();
    ASSERT_EQ(rows.size(), 4u); // Top and three folders
    EXPECT_EQ(rows[0].m_lProgressMax, 6) << "the ghost is not counted";
    EXPECT_EQ(rows[0].m_lProgressCurrent, 6);

    // A second run looks only at live records.
    EXPECT_EQ(run(1), 0);
    EXPECT_EQ(Rows()[4].m_lProgressMax, 3);
    EXPECT_EQ(deletedIds(), QList<qint32>({2, 4, 6}));

    // The medium is missing: nothing is marked, the top row says why.
    AddCatalogue(3, QStringLiteral("Elsewhere"), 0x0BADF00D);
    AddFile(8, 3, 0, QStringLiteral("anything"));
    EXPECT_EQ(run(3), CMwuTaskManager::ResultFileNotFound);
    EXPECT_EQ(deletedIds(), QList<qint32>({2, 4, 6}));
    EXPECT_EQ(Rows().back().m_status, TaskStatusMediaNotFound);
}
