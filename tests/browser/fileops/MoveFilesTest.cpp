#include "FileOpsFixture.h"

#include "browser/fileops/MoveFiles.h"

namespace
{
CMoveFilesRequest Request(std::vector<qint32> ids, qint32 catalogueId, qint32 folderId, bool copy,
                          bool keep = false)
{
    CMoveFilesRequest r;
    r.lCatalogueId = catalogueId;
    r.lRelativePathId = folderId;
    r.fileIds = std::move(ids);
    r.bCopy = copy;
    r.bKeepFolders = keep;
    return r;
}
} // namespace

class MoveFilesTest : public FileOpsTest
{
protected:
    bool Run(const CMoveFilesRequest& request, CUserInteraction* ui = nullptr)
    {
        return RunAsJob([&](CJobContext& job) { return RunMoveFilesTo(job, request, m_problems, m_result); },
                        ui);
    }
    CFileOpResult m_result;
};

TEST_F(MoveFilesTest, ACopyOntoAnExistingNameTrashesTheOldFileAndAddsASimilarRecord)
{
    const QString tth = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ234567ABCDEFG");
    AddFile(101, 1, 0, QStringLiteral("song.mp3"), "new song", tth);
    AddFile(102, 2, 0, QStringLiteral("song.mp3"), "old song");
    m_problems.answers = {CFileProblems::kGoOn};

    ASSERT_TRUE(Run(Request({101}, 2, 0, true)));
    ASSERT_EQ(m_problems.asked.size(), 1u) << "the checking pass foresees the overwrite";
    EXPECT_EQ(m_problems.asked[0].strHeader,
              QStringLiteral("There may be problems copying the following selected files:"));
    EXPECT_EQ(m_problems.asked[0].strQuestion, QStringLiteral("Attempt to copy all selected files anyway?"));
    EXPECT_EQ(m_problems.asked[0].nStyle, CFileProblems::kWarningIcon);
    EXPECT_EQ(m_problems.asked[0].rows.value(2), QStringLiteral("Overwrite the destination file"));

    EXPECT_EQ(Read(FilePathOf(2, 0, QStringLiteral("song.mp3"))), QByteArray("new song"));
    EXPECT_EQ(Read(FilePathOf(1, 0, QStringLiteral("song.mp3"))), QByteArray("new song"));
    EXPECT_EQ(Trashed(), QList<QByteArray>{"old song"});
    EXPECT_TRUE(Field(102, QStringLiteral("Deleted")).ToBool());

    const qint32 copy = Long(QStringLiteral("SELECT FileId FROM File WHERE CatalogueId=2 AND Deleted=FALSE"));
    ASSERT_GT(copy, 0);
    EXPECT_NE(copy, 101);
    const qint32 similar = Field(101, QStringLiteral("SimilarityId")).ToLong();
    EXPECT_NE(similar, 0) << "a source without a SimilarityId gets a new one";
    EXPECT_EQ(Field(copy, QStringLiteral("SimilarityId")).ToLong(), similar);
    EXPECT_EQ(Field(copy, QStringLiteral("TTH")).ToString(), tth);
    EXPECT_EQ(Field(copy, QStringLiteral("Extension")).ToString(), QStringLiteral("mp3"));
    EXPECT_TRUE(Field(copy, QStringLiteral("New")).ToBool());
    EXPECT_TRUE(Field(copy, QStringLiteral("FileInfoId")).IsNull());
    EXPECT_TRUE(Field(copy, QStringLiteral("AlternateFile")).IsNull());
    EXPECT_FALSE(Field(copy, QStringLiteral("Attributes")).IsNull()) << "the new file's own attributes";
    EXPECT_EQ(Field(copy, QStringLiteral("FileSize")).ToLong(), 8);
    EXPECT_EQ(m_result.doneFileIds, std::vector<qint32>{101});
    EXPECT_TRUE(m_result.bDoingPassRan);

    // A second copy shares the SimilarityId the first one made.
    ASSERT_TRUE(Run(Request({101}, 2, 5, true)));
    const qint32 second =
        Long(QStringLiteral("SELECT FileId FROM File WHERE CatalogueId=2 AND RelativePathId=5"));
    EXPECT_EQ(Field(second, QStringLiteral("SimilarityId")).ToLong(), similar);
}

TEST_F(MoveFilesTest, AMoveIntoItsOwnFolderIsForeseenAndFailsWhenAttempted)
{
    AddFile(101, 1, 5, QStringLiteral("a.txt"), "stays");
    m_problems.answers = {CFileProblems::kGoOn, CFileProblems::kStop};

    ASSERT_TRUE(Run(Request({101}, 1, 5, false)));
    ASSERT_EQ(m_problems.asked.size(), 2u);
    const CFileProblems& check = m_problems.asked[0];
    EXPECT_EQ(check.rows, QStringList({FilePathOf(1, 5, QStringLiteral("a.txt")),
                                       QStringLiteral("The source file cannot be moved to itself"),
                                       QStringLiteral("This operation has no effect.")}));
    const CFileProblems& done = m_problems.asked[1];
    EXPECT_EQ(done.strHeader, QStringLiteral("There were problems moving the following selected files:"));
    EXPECT_EQ(done.strQuestion, QStringLiteral("Re-attempt to move these selected files?"));
    EXPECT_EQ(done.nStyle, CFileProblems::kErrorIcon);
    EXPECT_EQ(done.rows.value(1), QStringLiteral("The source file cannot be moved to itself"));
    EXPECT_EQ(Read(FilePathOf(1, 5, QStringLiteral("a.txt"))), QByteArray("stays"));
    EXPECT_EQ(Field(101, QStringLiteral("RelativePathId")).ToLong(), 5);
    EXPECT_EQ(m_result.lFailedFileId, 101);
    EXPECT_TRUE(m_result.bStopped);
}

TEST_F(MoveFilesTest, AGhostIsMovedAndCopiedInTheDatabaseOnly)
{
    AddFile(101, 1, 5, QStringLiteral("gone.avi"), {}, {}, true);
    AddFile(102, 2, 0, QStringLiteral("gone.avi"), "a live file of the same name");

    ASSERT_TRUE(Run(Request({101}, 2, 0, true)));
    EXPECT_TRUE(m_problems.asked.empty());
    const qint32 copy = Long(QStringLiteral("SELECT FileId FROM File WHERE CatalogueId=2 AND Ghost=TRUE"));
    ASSERT_GT(copy, 0);
    EXPECT_TRUE(Field(copy, QStringLiteral("Attributes")).IsNull());
    EXPECT_FALSE(Field(102, QStringLiteral("Deleted")).ToBool()) << "no file of a ghost replaced it";

    ASSERT_TRUE(Run(Request({101}, 2, 6, false)));
    EXPECT_EQ(Field(101, QStringLiteral("CatalogueId")).ToLong(), 2);
    EXPECT_EQ(Field(101, QStringLiteral("RelativePathId")).ToLong(), 6);
    EXPECT_FALSE(QFileInfo::exists(FilePathOf(2, 6, QStringLiteral("gone.avi"))));
    EXPECT_FALSE(QFileInfo::exists(FilePathOf(2, 0, QStringLiteral("gone.avi"))) &&
                 Read(FilePathOf(2, 0, QStringLiteral("gone.avi"))) != "a live file of the same name");
    EXPECT_TRUE(Trashed().isEmpty());
}

TEST_F(MoveFilesTest, EscDuringTheDoingPassLeavesTheRestUntouched)
{
    AddFile(101, 1, 0, QStringLiteral("one.txt"), "one");
    AddFile(102, 1, 0, QStringLiteral("two.txt"), "two");
    AddFile(103, 1, 0, QStringLiteral("three.txt"), "three");
    // Three steps of the checking pass, then Esc after the first file of the doing pass.
    CEscAfterSteps esc(m_ui, 4);

    ASSERT_TRUE(Run(Request({101, 102, 103}, 2, 0, false), &esc));
    EXPECT_TRUE(m_result.bStopped);
    EXPECT_EQ(m_result.doneFileIds, std::vector<qint32>{101});
    EXPECT_EQ(Read(FilePathOf(2, 0, QStringLiteral("one.txt"))), QByteArray("one"));
    EXPECT_EQ(Field(101, QStringLiteral("CatalogueId")).ToLong(), 2);
    for (const auto& [id, name] : {std::pair{102, "two.txt"}, std::pair{103, "three.txt"}})
    {
        EXPECT_TRUE(QFileInfo::exists(FilePathOf(1, 0, QString::fromLatin1(name))));
        EXPECT_FALSE(QFileInfo::exists(FilePathOf(2, 0, QString::fromLatin1(name))));
        EXPECT_EQ(Field(id, QStringLiteral("CatalogueId")).ToLong(), 1);
    }
    EXPECT_TRUE(m_problems.asked.empty());
}

TEST_F(MoveFilesTest, MoveToSubfoldersKeepsFoldersAndMoveHereUsesTheTargetFolder)
{
    AddFile(101, 1, 5, QStringLiteral("a.ogg"), "a");
    AddFile(102, 1, 6, QStringLiteral("b.ogg"), "b");
    AddFile(103, 1, 6, QStringLiteral("c.ogg"), "c");

    ASSERT_TRUE(Run(Request({101, 102}, 2, 0, false, true)));
    EXPECT_EQ(Read(FilePathOf(2, 5, QStringLiteral("a.ogg"))), QByteArray("a"));
    EXPECT_EQ(Read(FilePathOf(2, 6, QStringLiteral("b.ogg"))), QByteArray("b"));
    EXPECT_EQ(Field(101, QStringLiteral("RelativePathId")).ToLong(), 5);
    EXPECT_EQ(Field(102, QStringLiteral("RelativePathId")).ToLong(), 6);
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM File WHERE CatalogueId=2")), 2);
    EXPECT_FALSE(QFileInfo::exists(FilePathOf(1, 5, QStringLiteral("a.ogg"))));

    ASSERT_TRUE(Run(Request({103}, 2, 0, false)));
    EXPECT_EQ(Read(FilePathOf(2, 0, QStringLiteral("c.ogg"))), QByteArray("c"));
    EXPECT_EQ(Field(103, QStringLiteral("RelativePathId")).ToLong(), 0);
    EXPECT_EQ(Field(103, QStringLiteral("CatalogueId")).ToLong(), 2);
}

TEST_F(MoveFilesTest, AReattemptHandlesOnlyTheFilesStillToDo)
{
    AddFile(101, 1, 0, QStringLiteral("here.txt"), "here");
    AddFile(102, 1, 0, QStringLiteral("late.txt"), "late");
    const QString late = FilePathOf(1, 0, QStringLiteral("late.txt"));
    ASSERT_TRUE(QFile::rename(late, Path(QStringLiteral("aside"))));
    m_problems.answers = {CFileProblems::kGoOn, CFileProblems::kGoOn};
    // When the doing pass reports the missing file, the person puts it back.
    m_problems.onAsk = [&](const CFileProblems& p)
    {
        if (p.nStyle == CFileProblems::kErrorIcon)
            QFile::rename(Path(QStringLiteral("aside")), late);
    };

    ASSERT_TRUE(Run(Request({101, 102}, 2, 0, true)));
    ASSERT_EQ(m_problems.asked.size(), 2u);
    EXPECT_EQ(m_problems.asked[0].RowCount(), 1);
    EXPECT_EQ(m_problems.asked[0].rows.value(0), late);
    EXPECT_EQ(m_problems.asked[1].RowCount(), 1);
    EXPECT_EQ(m_result.doneFileIds, (std::vector<qint32>{101, 102}));
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM File WHERE CatalogueId=2 AND File='here.txt'")), 1)
        << "the file done in the first doing pass is not copied again";
    EXPECT_EQ(Read(FilePathOf(2, 0, QStringLiteral("late.txt"))), QByteArray("late"));
    EXPECT_EQ(m_result.lFailedFileId, 102);
}

TEST_F(MoveFilesTest, AMissingTargetMediumIsToldAndNothingChanges)
{
    AddFile(101, 1, 0, QStringLiteral("x.txt"), "x");
    Db().Execute(QStringLiteral(
        "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, Location, "
        "DriveType) VALUES (0, 3, 'Disc', 'BACKUP', 77, '/media/nowhere/backup', 'CD-ROM')"));

    EXPECT_FALSE(Run(Request({101}, 3, 0, false)));
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].icon, MsgIcon::Warning);
    EXPECT_FALSE(m_ui.Messages()[0].caption.isEmpty());
    EXPECT_TRUE(m_ui.Messages()[0].text.contains(QStringLiteral("BACKUP")));
    EXPECT_EQ(Field(101, QStringLiteral("CatalogueId")).ToLong(), 1);
    EXPECT_TRUE(QFileInfo::exists(FilePathOf(1, 0, QStringLiteral("x.txt"))));
    EXPECT_FALSE(m_result.bDoingPassRan);
}
