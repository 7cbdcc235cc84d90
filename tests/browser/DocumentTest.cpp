#include "DocumentFixture.h"

#include "TestFiles.h"
#include "database/DbTransaction.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>

#include <iostream>

namespace
{
QByteArray FileHash(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}
} // namespace

TEST_F(DocumentTest, NewDatabasesStartFromTheTemplate)
{
    EXPECT_TRUE(m_doc.IsOpen());
    EXPECT_EQ(m_doc.Title(), QStringLiteral("Films.qrl"));
    EXPECT_DOUBLE_EQ(m_doc.GetDatabaseVersion(), 1.004);
    EXPECT_EQ(m_doc.GetNewRecSetId(QStringLiteral("FileListFieldView_FileListFieldViewId")), 7);
    EXPECT_EQ(m_doc.GetNewRecSetId(QStringLiteral("Brand_New_Name")), 1);
    EXPECT_EQ(m_doc.GetNewRecSetId(QStringLiteral("Brand_New_Name")), 2);
    EXPECT_EQ(m_doc.UserName(), QStringLiteral("ann"));

    EXPECT_TRUE(m_doc.SetDatabaseParameter(QStringLiteral("NavigatorWndWidth_ann"), QStringLiteral("240")));
    EXPECT_EQ(m_doc.GetDatabaseParameter(QStringLiteral("NavigatorWndWidth_ann")), QStringLiteral("240"));
    EXPECT_EQ(m_doc.GetDatabaseParameter(QStringLiteral("Missing")), QString());

    // Cancelling New keeps the open database and its title.
    QSignalSpy titles(&m_doc, &CMirrowelDoc::titleChanged);
    EXPECT_FALSE(m_doc.NewDatabase(std::nullopt));
    EXPECT_TRUE(m_doc.IsOpen());
    EXPECT_EQ(m_doc.Title(), QStringLiteral("Films.qrl"));
    ASSERT_EQ(titles.count(), 1);
    EXPECT_EQ(titles[0][0].toString(), QStringLiteral("Films.qrl"));

    // A second New closes the first database and opens the new one, as written from the template.
    const QString other = Path(QStringLiteral("Other.qrl"));
    EXPECT_TRUE(m_doc.NewDatabase(other));
    EXPECT_EQ(m_doc.Title(), QStringLiteral("Other.qrl"));
    m_doc.CloseDatabase();
    EXPECT_EQ(m_doc.Title(), QStringLiteral("Untitled"));
    EXPECT_EQ(m_doc.GetDatabaseParameter(QStringLiteral("Version")), QString()) << "no database, no parameter";
}

TEST_F(DocumentTest, OtherVersionsAreRefusedAndLeftUnchanged)
{
    m_doc.CloseDatabase();
    for (const char* version : {"1.003", "1.005"})
    {
        const QString path = Path(QStringLiteral("v%1.qrl").arg(version));
        ASSERT_TRUE(WriteTemplateDatabase(path));
        {
            CDbDatabase db;
            db.Open(path);
            db.Execute(QStringLiteral("UPDATE Parameter SET [Value]=? WHERE Parameter='Version'"),
                       {CDbValue(QString::fromLatin1(version))});
        }
        const QByteArray before = FileHash(path);
        EXPECT_FALSE(m_doc.OpenDatabase(path));
        EXPECT_FALSE(m_doc.IsOpen());
        EXPECT_EQ(FileHash(path), before) << version;
    }
    const auto m = m_ui.Messages();
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].caption, QStringLiteral("Old Quarrane Database"));
    EXPECT_TRUE(m[0].text.contains(QStringLiteral("\r\n\r\n\r\nPlease create a new, or open a current version")));
    EXPECT_EQ(m[1].caption, QStringLiteral("Database Created by a Newer Version of Quarrane"));
    EXPECT_TRUE(m[1].text.endsWith(QStringLiteral("Please download the latest version of Quarrane from\r\n\r\n    "
                                                  "https://www.brevold.org/quarrane")));
}

TEST_F(DocumentTest, OpenFailuresOfferRetryAndTheRepairHint)
{
    m_doc.CloseDatabase();
    const QString junk = Path(QStringLiteral("junk.qrl"));
    {
        QFile f(junk);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(4096, 'j'));
    }
    m_ui.QueueAnswer(MsgAnswer::Retry);
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_FALSE(m_doc.OpenDatabase(junk));
    const auto m = m_ui.Messages();
    ASSERT_EQ(m.size(), 2u) << "Retry tries again";
    EXPECT_EQ(m[0].caption, QStringLiteral("Database Error"));
    EXPECT_EQ(m[0].buttons, MsgButtons::RetryCancel);
    EXPECT_TRUE(m[0].text.endsWith(
        QStringLiteral("\r\n\r\nTry Repairing the database using the File menus \"Repair Database\" command.")));
    EXPECT_FALSE(m_doc.IsOpen());
}

TEST_F(DocumentTest, ClosingDuringABackgroundTaskAsksFirst)
{
    // A job that works until it is told to stop, an item at a time.
    std::atomic<int> items{0};
    ASSERT_TRUE(m_doc.Jobs().Start({QStringLiteral("endless"), m_strDatabase, QStringLiteral("ann"), true},
                                   [&](CJobContext& job)
                                   {
                                       while (job.ShouldContinue())
                                       {
                                           job.Database().Execute(QStringLiteral("SELECT 1"));
                                           ++items;
                                           QThread::msleep(1);
                                       }
                                       return false;
                                   }));
    EXPECT_FALSE(m_doc.CanWrite()) << "commands that write wait for a job that writes";
    qint32 parent = 0;
    qint32 group = 0;
    bool asked = false;
    EXPECT_FALSE(m_doc.Catalogues().NewGroup(parent, group, [&](CGroupDialogData&) { return asked = true; }));
    EXPECT_FALSE(asked) << "no dialog while the job writes";
    m_ui.QueueAnswer(MsgAnswer::No);
    QSignalSpy closing(&m_doc, &CMirrowelDoc::closing);
    EXPECT_FALSE(m_doc.CloseDatabase());
    EXPECT_TRUE(m_doc.IsOpen());
    EXPECT_TRUE(m_doc.Jobs().IsRunning());
    const int before = items;
    EXPECT_TRUE(QTest::qWaitFor([&] { return items > before + 2; }, 5000)) << "No lets the job go on";
    EXPECT_EQ(closing.count(), 0);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Background Processing in Progress"));

    m_ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_TRUE(m_doc.CloseDatabase());
    EXPECT_FALSE(m_doc.Jobs().IsRunning()) << "closing stops the job and waits for it";
    EXPECT_FALSE(m_ui.IsOperationRunning());
    EXPECT_EQ(closing.count(), 1);
}

TEST_F(DocumentTest, CompactingReplacesTheFileOnlyWithAGoodCopy)
{
    Db().Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (1, 'Media', 0)"));
    m_doc.CloseDatabase();

    // Held by another connection in a write transaction: the file stays as it is, the engine says why.
    {
        CDbDatabase holder;
        holder.Open(m_strDatabase);
        CDbTransaction lock(holder);
        holder.Execute(QStringLiteral("UPDATE [Group] SET [Group]='Held' WHERE GroupId=1"));
        const QByteArray before = FileHash(m_strDatabase);
        EXPECT_FALSE(m_doc.CompactDatabase(m_strDatabase));
        EXPECT_EQ(FileHash(m_strDatabase), before);
        ASSERT_EQ(m_ui.Messages().size(), 1u);
        EXPECT_FALSE(m_ui.Messages()[0].text.isEmpty());
        EXPECT_FALSE(QFile::exists(m_strDatabase + QStringLiteral(".compacted.ann")));
    }

    // Free: compacted in place, the data kept, the old file in the trash rather than gone.
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", Path(QStringLiteral("xdg")).toUtf8());
    EXPECT_TRUE(m_doc.CompactDatabase(m_strDatabase));
    qputenv("XDG_DATA_HOME", dataHome);
    EXPECT_FALSE(QFile::exists(m_strDatabase + QStringLiteral(".compacted.ann")));
    ASSERT_TRUE(m_doc.OpenDatabase(m_strDatabase));
    EXPECT_EQ(m_doc.Catalogues().GetGroupNameFromGroupId(1), QStringLiteral("Media"));
}

TEST_F(DocumentTest, CompactionRunsAsAJobAndTheDatabaseOpensAfterIt)
{
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", Path(QStringLiteral("xdg")).toUtf8());
    Db().Execute(
        QStringLiteral("INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (1, 'Media', 0)"));

    // Compact Database: closed, compacted off this thread, opened again once the job ended.
    QSignalSpy finished(&m_doc.Jobs(), &CJobRunner::jobFinished);
    ASSERT_TRUE(m_doc.CompactDatabaseCommand());
    ASSERT_TRUE(finished.count() == 1 || finished.wait(20000));
    EXPECT_TRUE(finished[0][1].toBool());
    ASSERT_TRUE(m_doc.IsOpen());
    EXPECT_EQ(m_doc.Catalogues().GetGroupNameFromGroupId(1), QStringLiteral("Media"));
    EXPECT_EQ(QDir(Path(QStringLiteral("xdg/Trash/files"))).entryList(QDir::Files).size(), 1)
        << "the original went to the trash";

    // Close with CompactOnExit: the compaction goes on in the background, and opening the same
    // file waits for it rather than meeting a half-replaced file.
    ASSERT_TRUE(m_doc.SetDatabaseParameter(QStringLiteral("CompactOnExit"), QStringLiteral("1")));
    ASSERT_TRUE(m_doc.CloseCommand());
    EXPECT_FALSE(m_doc.IsOpen());
    ASSERT_TRUE(m_doc.OpenDatabase(m_strDatabase));
    EXPECT_FALSE(m_doc.Jobs().IsRunning());
    EXPECT_EQ(m_doc.Catalogues().GetGroupNameFromGroupId(1), QStringLiteral("Media"));
    EXPECT_EQ(QDir(Path(QStringLiteral("xdg/Trash/files"))).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
    qputenv("XDG_DATA_HOME", dataHome);
}

namespace
{
// A file with a FileInfo row and similar files, for the edit cases.
void AddFile(CDbDatabase& db, qint32 fileId, qint32 similarityId, const CDbValue& fileInfoId, qint32 catalogueId = 1)
{
    db.Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, FileInfoId, SimilarityId, File, "
                              "FileSize, FileSizeDouble) VALUES (?, 0, ?, ?, ?, ?, 1, 1)"),
               {CDbValue(catalogueId), CDbValue(fileId), fileInfoId, CDbValue(similarityId),
                CDbValue(QStringLiteral("f%1").arg(fileId))});
}
} // namespace

TEST_F(DocumentTest, SavingEditsCreatesSharesAndRemovesFileInfo)
{
    Db().Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (0, 1, 'C')"));
    AddFile(Db(), 1, 0, CDbValue::Null());
    AddFile(Db(), 2, 9, CDbValue::Null());
    AddFile(Db(), 3, 9, CDbValue::Null());
    AddFile(Db(), 4, 9, CDbValue::Null());
    Db().Execute(QStringLiteral("INSERT INTO FileInfo (FileInfoId, Description) VALUES (50, 'own')"));
    AddFile(Db(), 5, 9, CDbValue(50));
    const auto fileInfoOf = [&](qint32 fileId) {
        return Long(QStringLiteral("SELECT FileInfoId FROM File WHERE FileId=%1").arg(fileId));
    };

    // Blanks only on an unedited file: nothing is created.
    m_doc.Editor().MoveToRecord(1, false);
    m_doc.Editor().SetDetailsFormText(QStringLiteral("   "), QStringLiteral("\t "));
    m_doc.Editor().MoveToRecord(2, false);
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM FileInfo")), 1);
    EXPECT_EQ(fileInfoOf(1), 0);

    // An edit of a file shares its new row with its similar files that have none; a copy with
    // its own row keeps it.
    m_doc.Editor().SetDetailsFormText(QStringLiteral("Holiday  "), QString());
    EXPECT_TRUE(m_doc.Editor().NavigatingAway());
    const qint32 shared = fileInfoOf(2);
    EXPECT_GT(shared, 0);
    EXPECT_EQ(fileInfoOf(3), shared);
    EXPECT_EQ(fileInfoOf(4), shared);
    EXPECT_EQ(fileInfoOf(5), 50);
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM FileInfo WHERE Description='Holiday'")), 1)
        << "trailing blanks are removed";

    // Emptied: all three files are unedited again and the row is gone.
    m_doc.Editor().MoveToRecord(3, false);
    m_doc.Editor().SetDetailsFormText(QString(), QString());
    m_doc.Editor().SaveChanges();
    EXPECT_EQ(fileInfoOf(2), 0);
    EXPECT_EQ(fileInfoOf(3), 0);
    EXPECT_EQ(fileInfoOf(4), 0);
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM FileInfo WHERE FileInfoId=%1").arg(shared)), 0);

    // A row that still has keywords stays when description and notes are cleared.
    Db().Execute(QStringLiteral("UPDATE FileInfo SET Keyword='Beach;  ', Notes='n' WHERE FileInfoId=50"));
    m_doc.Editor().MoveToRecord(5, false);
    m_doc.Editor().SetDetailsFormText(QString(), QString());
    m_doc.Editor().MoveToRecord(1, false);
    EXPECT_EQ(fileInfoOf(5), 50);
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM FileInfo WHERE FileInfoId=50 AND Description Is Null AND "
                                  "Notes Is Null")),
              1);
}

TEST_F(DocumentTest, LookupsByIdentifier)
{
    Db().Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (3, 'Media', 0), "
                                "(4, 'Films', 3)"));
    Db().Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue) VALUES (4, 7, 'It''s \"x\"')"));
    AddFile(Db(), 1, 0, CDbValue::Null(), 7);
    EXPECT_EQ(m_doc.Catalogues().GetGroupNameFromGroupId(4), QStringLiteral("Films"));
    EXPECT_EQ(m_doc.Catalogues().GetParentGroupFromGroup(4), 3);
    EXPECT_EQ(m_doc.Catalogues().GetParentGroupFromCatalogueId(7), 4);
    EXPECT_EQ(m_doc.Catalogues().GetCatalogueIdFromCatalogueName(QStringLiteral("It's \"x\"")), 7);
    EXPECT_EQ(m_doc.Catalogues().GetCatalogueIdFromCatalogueName(QStringLiteral("it's \"X\"")), 7)
        << "names ignore case";
    EXPECT_EQ(m_doc.Catalogues().GetCatalogueIdFromFileId(1), 7);
    EXPECT_EQ(m_doc.Catalogues().GetRelativePathIdFromFileId(1), 0);
    EXPECT_EQ(m_doc.Catalogues().GetCatalogueNameFromCatalogueId(7), QStringLiteral("It's \"x\""));
    EXPECT_EQ(m_doc.Catalogues().GetCatalogueNameFromCatalogueId(99), QString());
    EXPECT_EQ(m_doc.Queries().GetParentQueryGroupFromQueryGroup(999), 0);
}

TEST_F(DocumentTest, RepairingCompactsTheChosenFileAndReopensTheOpenOne)
{
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", Path(QStringLiteral("xdg")).toUtf8());
    Db().Execute(
        QStringLiteral("INSERT INTO [Group] (GroupId, [Group], ParentGroupId) VALUES (1, 'Media', 0)"));

    // Another file: compacted as a job while the open database stays open.
    const QString other = Path(QStringLiteral("Other.qrl"));
    {
        CMirrowelDoc second(m_ui);
        ASSERT_TRUE(second.NewDatabase(other));
        second.CloseDatabase();
    }
    QSignalSpy finished(&m_doc.Jobs(), &CJobRunner::jobFinished);
    ASSERT_TRUE(m_doc.RepairDatabaseCommand(other));
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(finished[0][1].toBool());
    EXPECT_TRUE(m_doc.IsOpen());
    EXPECT_EQ(m_doc.Path(), m_strDatabase);
    EXPECT_EQ(QDir(Path(QStringLiteral("xdg/Trash/files"))).entryList(QDir::Files).size(), 1);

    // The open file itself, by another spelling: closed first, then opened again with its data,
    // never compacted under its own open connection.
    ASSERT_TRUE(QDir().mkpath(Path(QStringLiteral("sub"))));
    ASSERT_TRUE(m_doc.RepairDatabaseCommand(Path(QStringLiteral("sub/../Films.qrl"))));
    EXPECT_FALSE(m_doc.IsOpen());
    ASSERT_TRUE(finished.wait(20000));
    EXPECT_TRUE(finished[1][1].toBool());
    ASSERT_TRUE(m_doc.IsOpen());
    EXPECT_EQ(m_doc.Catalogues().GetGroupNameFromGroupId(1), QStringLiteral("Media"));
    EXPECT_EQ(QDir(Path(QStringLiteral("xdg/Trash/files"))).entryList(QDir::Files).size(), 2);

    EXPECT_FALSE(m_doc.RepairDatabaseCommand(QString()));
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
    qputenv("XDG_DATA_HOME", dataHome);
}

TEST_F(DocumentTest, AReadOnlyDatabaseIsReadAndNeverWritten)
{
    m_doc.CloseDatabase();
    const QByteArray before = FileHash(m_strDatabase);
    ASSERT_TRUE(m_doc.OpenDatabase(m_strDatabase, EDbOpenMode::ReadOnly));
    EXPECT_TRUE(m_doc.IsReadOnly());
    EXPECT_FALSE(m_doc.CanWrite());
    EXPECT_EQ(m_doc.Title(), QStringLiteral("Films.qrl (read-only)"));
    EXPECT_DOUBLE_EQ(m_doc.GetDatabaseVersion(), 1.004) << "reading works";

    // Commands that write refuse; nothing reaches the file, and closing compacts nothing even
    // when the database asks for it.
    qint32 parent = 0;
    qint32 created = 0;
    EXPECT_FALSE(m_doc.Catalogues().NewGroup(parent, created,
                                             [](CGroupDialogData& data)
                                             {
                                                 data.strGroup = QStringLiteral("Films");
                                                 return true;
                                             }));
    EXPECT_FALSE(m_doc.SetDatabaseParameter(QStringLiteral("CompactOnExit"), QStringLiteral("1")));
    m_doc.CloseCommand();
    EXPECT_EQ(FileHash(m_strDatabase), before);

    // Opened for writing again, it is an ordinary database.
    ASSERT_TRUE(m_doc.OpenDatabase(m_strDatabase));
    EXPECT_FALSE(m_doc.IsReadOnly());
    EXPECT_TRUE(m_doc.CanWrite());
    EXPECT_EQ(m_doc.Title(), QStringLiteral("Films.qrl"));
}

// "New" says what went wrong with the chosen path instead of blaming a lock.
TEST_F(DocumentTest, NewSaysWhatWentWrongWithThePath)
{
    const QString mounts = Path(QStringLiteral("mounts"));
    const auto mountTmpfs = [&](const QString& name, const QString& options)
    {
        const QString where = mounts + QLatin1Char('/') + name;
        QDir().mkpath(where);
        return QProcess::execute(QStringLiteral("mount"),
                                 {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                  options, QStringLiteral("tmpfs"), where}) == 0
                   ? where
                   : QString();
    };
    const QString readOnly = mountTmpfs(QStringLiteral("ro"), QStringLiteral("ro,size=1m"));
    const QString full = mountTmpfs(QStringLiteral("full"), QStringLiteral("size=64k"));
    const auto unmount = qScopeGuard(
        [&]
        {
            for (const QString& where : {readOnly, full})
                if (!where.isEmpty())
                    QProcess::execute(QStringLiteral("umount"), {where});
        });

    const struct
    {
        QString folder;
        const char* says;
    } cases[] = {
        {Path(QStringLiteral("no/such/folder")), "does not exist"},
        {readOnly, "Read-only file system"},
        {full, "not enough space on disk"},
    };
    for (const auto& c : cases)
    {
        if (c.folder.isEmpty())
        {
            std::cout << "  [ skipped ] " << c.says << ": cannot mount a tmpfs here (needs root)\n";
            continue;
        }
        SCOPED_TRACE(c.says);
        const size_t before = m_ui.Messages().size();
        const QString path = c.folder + QStringLiteral("/New.qrl");
        EXPECT_FALSE(m_doc.NewDatabase(path));
        const auto messages = m_ui.Messages();
        ASSERT_GT(messages.size(), before);
        EXPECT_EQ(messages[before].caption, QStringLiteral("Error Creating Database"));
        EXPECT_TRUE(messages[before].text.contains(QString::fromLatin1(c.says)))
            << messages[before].text.toStdString();
        EXPECT_TRUE(messages[before].text.contains(path) || messages[before].text.contains(c.folder));
        EXPECT_EQ(messages.size(), before + 1) << "one message says it all";
        EXPECT_FALSE(QFileInfo::exists(path)) << "nothing half-written is left";
        EXPECT_FALSE(m_doc.IsOpen());
    }

    // A file that was to be replaced stays as it was, and is not opened as if it were the new one.
    if (!full.isEmpty())
    {
        const QString old = full + QStringLiteral("/Old.qrl");
        WriteText(old, "an older file");
        const size_t before = m_ui.Messages().size();
        EXPECT_FALSE(m_doc.NewDatabase(old));
        EXPECT_EQ(m_ui.Messages().size(), before + 1);
        EXPECT_FALSE(m_doc.IsOpen());
        QFile kept(old);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray("an older file"));
    }
}
