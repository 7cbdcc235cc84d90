#include "FileOpsFixture.h"
#include "TestTmpfsMount.h"

#include "browser/fileops/DeleteOrGhost.h"

class DeleteOrGhostTest : public FileOpsTest
{
protected:
    bool Run(const std::vector<qint32>& ids, bool ghost)
    {
        return RunAsJob(
            [&](CJobContext& job)
            { return RunDeleteOrGhost(job, ids, ghost, QStringLiteral("ann"), m_problems, m_result); });
    }
    CFileOpResult m_result;
};

TEST_F(DeleteOrGhostTest, DeletingAndGhostingSendFilesToTheTrashAndChangeTheirRows)
{
    AddFile(101, 1, 0, QStringLiteral("deleted.txt"), "to delete", {}, false, true);
    AddFile(102, 1, 5, QStringLiteral("ghosted.txt"), "to ghost", {}, false, true);

    ASSERT_TRUE(Run({101}, false));
    EXPECT_TRUE(m_problems.asked.empty());
    EXPECT_FALSE(QFileInfo::exists(FilePathOf(1, 0, QStringLiteral("deleted.txt"))));
    EXPECT_TRUE(Field(101, QStringLiteral("Deleted")).ToBool());
    EXPECT_FALSE(Field(101, QStringLiteral("Ghost")).ToBool());
    EXPECT_TRUE(Mark(101)) << "deleting leaves the mark";

    ASSERT_TRUE(Run({102}, true));
    EXPECT_FALSE(QFileInfo::exists(FilePathOf(1, 5, QStringLiteral("ghosted.txt"))));
    EXPECT_TRUE(Field(102, QStringLiteral("Ghost")).ToBool());
    EXPECT_FALSE(Field(102, QStringLiteral("Deleted")).ToBool());
    EXPECT_FALSE(Mark(102)) << "a ghost is no longer checked";

    QList<QByteArray> trashed = Trashed();
    std::sort(trashed.begin(), trashed.end());
    EXPECT_EQ(trashed, QList<QByteArray>({"to delete", "to ghost"}));
    EXPECT_EQ(m_result.doneFileIds, std::vector<qint32>{102});
    EXPECT_FALSE(QFileInfo::exists(FilePathOf(1, 5, QStringLiteral("ghosted._qr"))));
}

TEST_F(DeleteOrGhostTest, GhostingADeletedRecordTouchesNoDisk)
{
    AddFile(101, 1, 0, QStringLiteral("again.txt"), "a new file under an old name");
    Db().Execute(QStringLiteral("UPDATE File SET Deleted=TRUE WHERE FileId=101"));

    ASSERT_TRUE(Run({101}, true));
    EXPECT_TRUE(Field(101, QStringLiteral("Ghost")).ToBool());
    EXPECT_FALSE(Field(101, QStringLiteral("Deleted")).ToBool());
    EXPECT_EQ(Read(FilePathOf(1, 0, QStringLiteral("again.txt"))),
              QByteArray("a new file under an old name"));
    EXPECT_TRUE(Trashed().isEmpty());
}

TEST_F(DeleteOrGhostTest, AFileThatCannotBeRenamedIsListedAndLeftAlone)
{
    CTestTmpfsMount medium(Path(QStringLiteral("ro")));
    if (!medium.Mounted())
        GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
    auto entries = m_volumes.Entries();
    entries.push_back(
        CFixtureVolumeTable::MakeEntry(medium.Folder(), 3, 0x0BADCAFE, QStringLiteral("LOCKED")));
    m_volumes.SetEntries(entries);
    Db().Execute(
        QStringLiteral(
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, Location, "
            "DriveType) VALUES (0, 3, 'Locked', 'LOCKED', ?, ?, 'Fixed')"),
        {CDbValue(qint32(0x0BADCAFE)), CDbValue(medium.Folder())});
    const QString path = medium.Folder() + QStringLiteral("/kept.bin");
    WriteText(path, "read-only medium");
    Db().Execute(QStringLiteral(
        "INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble) "
        "VALUES (3, 0, 101, 'kept.bin', 16, 16)"));
    ASSERT_TRUE(medium.RemountReadOnly());
    m_problems.answers = {CFileProblems::kGoOn};

    ASSERT_TRUE(Run({101}, false));
    ASSERT_EQ(m_problems.asked.size(), 2u);
    const CFileProblems& check = m_problems.asked[0];
    EXPECT_EQ(check.strHeader,
              QStringLiteral("There may be problems deleting the following selected files:"));
    EXPECT_EQ(check.strQuestion, QStringLiteral("Attempt to delete all selected files anyway?"));
    EXPECT_EQ(check.nStyle, CFileProblems::kInformationIcon);
    ASSERT_EQ(check.RowCount(), 1);
    EXPECT_EQ(check.rows[0], path);
    EXPECT_FALSE(check.rows[1].isEmpty()) << "the rename's own reason";
    const CFileProblems& report = m_problems.asked[1];
    EXPECT_TRUE(report.IsOkOnly());
    EXPECT_EQ(report.nStyle & CFileProblems::kErrorIcon, CFileProblems::kErrorIcon);
    EXPECT_TRUE(report.strQuestion.isEmpty());
    EXPECT_FALSE(Field(101, QStringLiteral("Deleted")).ToBool());
    EXPECT_EQ(Read(path), QByteArray("read-only medium"));
    EXPECT_EQ(m_result.lFailedFileId, 101);
    EXPECT_TRUE(m_result.doneFileIds.empty());
}

TEST_F(DeleteOrGhostTest, AFailedRemovalTakesTheRowsChangeAndTheMarkBack)
{
    AddFile(101, 1, 0, QStringLiteral("stuck.txt"), "cannot go to the trash", {}, false, true);
    AddFile(102, 1, 0, QStringLiteral("stuck2.txt"), "cannot go either");
    // A trash that cannot be made: its place is taken by a file.
    WriteText(Path(QStringLiteral("blocker")), "not a folder");
    qputenv("XDG_DATA_HOME", QFile::encodeName(Path(QStringLiteral("blocker/data"))));

    ASSERT_TRUE(Run({101}, true));
    ASSERT_TRUE(Run({102}, false));
    EXPECT_FALSE(Field(101, QStringLiteral("Ghost")).ToBool());
    EXPECT_TRUE(Mark(101)) << "the mark is restored";
    EXPECT_FALSE(Field(102, QStringLiteral("Deleted")).ToBool());
    EXPECT_EQ(Read(FilePathOf(1, 0, QStringLiteral("stuck.txt"))), QByteArray("cannot go to the trash"));
    ASSERT_EQ(m_problems.asked.size(), 2u);
    EXPECT_EQ(m_problems.asked[0].strHeader,
              QStringLiteral("There were problems ghosting the following selected files:"));
    EXPECT_EQ(m_problems.asked[1].strHeader,
              QStringLiteral("There were problems deleting the following selected files:"));
    EXPECT_EQ(m_result.lFailedFileId, 102);
}

TEST_F(DeleteOrGhostTest, TheTrialNameNeverReplacesAnotherFile)
{
    AddFile(101, 1, 0, QStringLiteral("song.mp3"), "the song");
    WriteText(FilePathOf(1, 0, QStringLiteral("song._qr")), "someone's own file");
    m_written.push_back("someone's own file");
    EXPECT_EQ(TrialRenamePath(FilePathOf(1, 0, QStringLiteral("song.mp3"))),
              FilePathOf(1, 0, QStringLiteral("song~1._qr")));
    EXPECT_EQ(TrialRenamePath(FilePathOf(1, 0, QStringLiteral("README"))),
              FilePathOf(1, 0, QStringLiteral("README._qr")));

    ASSERT_TRUE(Run({101}, false));
    EXPECT_EQ(Read(FilePathOf(1, 0, QStringLiteral("song._qr"))), QByteArray("someone's own file"));
    EXPECT_EQ(Trashed(), QList<QByteArray>{"the song"});
}

TEST_F(DeleteOrGhostTest, FilesThatWouldLoseEveryCopyAreCountedAndOneCopyOfEachKept)
{
    const QString a = QStringLiteral("AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA");
    const QString b = QStringLiteral("BBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBBB");
    Db().Execute(QStringLiteral("UPDATE Catalogue SET CatalogueKeepPriority=20000 WHERE CatalogueId=2"));
    // A: two copies, both going; the one in the catalogue of higher priority is kept.
    AddFile(101, 1, 0, QStringLiteral("a1"), "aaaa", a);
    AddFile(102, 2, 0, QStringLiteral("a2"), "aaaa", a);
    // B: three copies, one of them staying: not counted.
    AddFile(103, 1, 0, QStringLiteral("b1"), "bbbb", b);
    AddFile(104, 2, 0, QStringLiteral("b2"), "bbbb", b);
    AddFile(105, 2, 5, QStringLiteral("b3"), "bbbb", b);
    // C: no TTH; D: one copy only; E: the only other copy is a ghost.
    AddFile(106, 1, 0, QStringLiteral("c"), "cccc");
    AddFile(107, 1, 0, QStringLiteral("d"), "dddd",
            QStringLiteral("DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD"));
    AddFile(108, 1, 0, QStringLiteral("e"), "eeee",
            QStringLiteral("EEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEE"));
    AddFile(109, 2, 0, QStringLiteral("e"), {}, QStringLiteral("EEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEEE"),
            true);

    const std::vector<qint32> ids{101, 102, 103, 104, 106, 107, 108, 109};
    const CEveryCopyCheck check = FindFilesLosingEveryCopy(Db(), ids);
    EXPECT_EQ(check.nContents, 1);
    EXPECT_EQ(check.keepFileIds, std::vector<qint32>{102});
    EXPECT_EQ(WithoutKeptCopies(ids, check.keepFileIds),
              (std::vector<qint32>{101, 103, 104, 106, 107, 108, 109}));

    m_ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_EQ(ConfirmDeleteOrGhost(m_ui, false, check), EDeleteConfirmation::KeepOneCopy);
    m_ui.QueueAnswer(MsgAnswer::No);
    EXPECT_EQ(ConfirmDeleteOrGhost(m_ui, true, check), EDeleteConfirmation::All);
    m_ui.QueueAnswer(MsgAnswer::Cancel);
    EXPECT_EQ(ConfirmDeleteOrGhost(m_ui, true, check), EDeleteConfirmation::Cancel);
    m_ui.QueueAnswer(MsgAnswer::No);
    EXPECT_EQ(ConfirmDeleteOrGhost(m_ui, false, CEveryCopyCheck{}), EDeleteConfirmation::Cancel);
    const auto messages = m_ui.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_TRUE(messages[0].text.contains(QStringLiteral("1 files would lose every copy")));
    EXPECT_EQ(messages[0].buttons, MsgButtons::YesNoCancel);
    EXPECT_EQ(messages[1].caption, QStringLiteral("Confirm Ghost Selected Files"));
    EXPECT_EQ(messages[3].text, QStringLiteral("Are you sure that you wish to delete the selected files?\n\n"
                                               "Note that this cannot be undone."));
    EXPECT_EQ(messages[3].caption, QStringLiteral("Confirm Delete Selected Files"));
    EXPECT_EQ(messages[3].buttons, MsgButtons::YesNo);
}

TEST(DeleteOrGhostFocus, TheRowToFocusFollowsTheSelection)
{
    struct Case
    {
        std::vector<int> selected;
        int rows;
        int focused;
        bool ghost;
        int expected;
    } cases[] = {
        {{2, 3}, 10, 3, false, 4}, // the first unselected row after the first selected one
        {{2, 4}, 10, 4, false, 3}, // which may lie between selected rows
        {{8, 9}, 10, 9, false, 7}, // none after it: the row above
        {{0, 1}, 2, 1, false, 0},  // nothing after and nothing above
        {{5, 6}, 10, 6, true, 4},  // ghosting: the row above the first selected one
        {{0}, 10, 0, true, 0},     // ghosting the first row
        {{}, 10, 7, false, 7},     // nothing selected: the focused row
    };
    for (const Case& c : cases)
        EXPECT_EQ(RowToFocusAfterDeleteOrGhost(c.selected, c.rows, c.focused, c.ghost), c.expected)
            << "first selected " << (c.selected.empty() ? -1 : c.selected[0])
            << (c.ghost ? " ghost" : " delete");
}
