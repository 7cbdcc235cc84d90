#include "DocumentFixture.h"

#include "browser/CatalogueTreeEdits.h"
#include "browser/DragPayloads.h"
#include "browser/MediaPresence.h"
#include "browser/models/CatalogueTreeModel.h"

#include <QMimeData>
#include <QSignalSpy>

namespace
{
// Groups Media > Films > Old and Music; catalogues Disk (in Media), Reel (in Films), Tape (in Old)
// and Loose (at the top).
class CatalogueTreeEditsTest : public DocumentTest
{
protected:
    void SetUp() override
    {
        DocumentTest::SetUp();
        Db().ExecuteSqliteScript(QStringLiteral(
            "INSERT INTO \"Group\" (GroupId, \"Group\", ParentGroupId) VALUES (1, 'Media', 0), (2, 'Films', "
            "1), "
            "(3, 'Old', 2), (4, 'Music', 0);"
            "INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, DriveType) VALUES (1, 1, 'Disk', "
            "'Fixed'), "
            "(2, 2, 'Reel', 'Fixed'), (3, 3, 'Tape', 'Removable'), (0, 4, 'Loose', 'CD-ROM');"
            "INSERT INTO \"File\" (CatalogueId, RelativePathId, FileId, \"File\", FileSize, FileSizeHigh, "
            "FileSizeDouble, Deleted) VALUES (1, 0, 1, 'a.bin', 1, 0, 1, 0), (1, 0, 2, 'b.bin', 1, 0, 1, "
            "0);"));
        m_model.SetDatabase(m_doc.Database(), m_doc.UserName());
    }

    CCatalogueDragPayload Dragged(qint32 kind, qint32 groupId, qint32 catalogueId = 0)
    {
        CCatalogueDragPayload payload;
        payload.record.nKind = kind;
        payload.record.lGroupId = groupId;
        payload.record.lCatalogueId = catalogueId;
        payload.strDatabasePath = m_strDatabase;
        return payload;
    }
    static CCatalogueTreeRecord GroupTarget(qint32 groupId)
    {
        CCatalogueTreeRecord target;
        target.nKind = groupId == 0 ? CCatalogueTreeRecord::KindNone : CCatalogueTreeRecord::KindGroup;
        target.lGroupId = groupId;
        return target;
    }

    CCatalogueTreeModel m_model{m_ui, m_doc.RetryPolicy()};
    CCatalogueTreeEdits m_edits{m_doc, m_model};
};
} // namespace

TEST(DragPayloadTest, PayloadsKeepTheirByteLayoutAndRefuseForeignData)
{
    CCatalogueDragPayload item;
    item.record = {CCatalogueTreeRecord::KindCatalogue, 7, 42, 0, true};
    item.strDatabasePath = QStringLiteral("/data/Films.qrl");
    const QByteArray bytes = item.Encode();
    ASSERT_EQ(bytes.size(), 292);
    EXPECT_EQ(bytes[0], 2) << "kind first";
    EXPECT_EQ(bytes[8], 42) << "catalogue id at byte 8";
    EXPECT_EQ(bytes.mid(20, 16), QByteArray("/data/Films.qrl\0", 16));
    const auto decoded = CCatalogueDragPayload::Decode(bytes);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->record, item.record);
    EXPECT_EQ(decoded->strDatabasePath, item.strDatabasePath);

    CFileIdListPayload files;
    files.strDatabasePath = QStringLiteral("/data/Films.qrl");
    files.lGroupId = 3;
    files.lCatalogueId = 4;
    files.lRelativePathId = 5;
    files.lFocusFileId = 6;
    files.fileIds = {10, 11, 12};
    const QByteArray list = files.Encode();
    ASSERT_EQ(list.size(), 544 + 3 * 4);
    EXPECT_EQ(list[528], 4);
    EXPECT_EQ(list[540], 3) << "the count";
    EXPECT_EQ(list[548], 11);
    const auto back = CFileIdListPayload::Decode(list);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->fileIds, files.fileIds);
    EXPECT_EQ(back->lFocusFileId, 6);
    EXPECT_EQ(back->strDatabasePath, files.strDatabasePath);

    // A path longer than the field travels whole, after the fixed part.
    item.strDatabasePath = QStringLiteral("/deep/") + QString(400, QChar(0x00E9)) + QStringLiteral(".qrl");
    EXPECT_EQ(CCatalogueDragPayload::Decode(item.Encode())->strDatabasePath, item.strDatabasePath);
    files.strDatabasePath = item.strDatabasePath;
    EXPECT_EQ(CFileIdListPayload::Decode(files.Encode())->strDatabasePath, item.strDatabasePath);

    // Data that is not ours is refused, never read past its end.
    EXPECT_FALSE(CCatalogueDragPayload::Decode(bytes.left(100)));
    QByteArray badKind = bytes;
    badKind[0] = 9;
    EXPECT_FALSE(CCatalogueDragPayload::Decode(badKind));
    EXPECT_FALSE(CFileIdListPayload::Decode(list.left(550))) << "fewer ids than counted";
    QByteArray negative = list;
    negative[543] = char(0x80);
    EXPECT_FALSE(CFileIdListPayload::Decode(negative));

    std::unique_ptr<QMimeData> mime(CreateFileIdListMimeData(files));
    EXPECT_TRUE(mime->hasFormat(QStringLiteral("application/x-quarrane-fileid-list")));
    EXPECT_FALSE(CatalogueDragPayload(mime.get()));
    EXPECT_EQ(FileIdListPayload(mime.get())->fileIds, files.fileIds);

    EXPECT_TRUE(
        IsSameDatabasePath(QStringLiteral("/data/films.QRL"), QStringLiteral("/data/x/../Films.qrl")));
    EXPECT_FALSE(IsSameDatabasePath(QStringLiteral("/data/Films.qrl"), QStringLiteral("/other/Films.qrl")));
}

TEST_F(CatalogueTreeEditsTest, DropsThatWouldMakeACycleOrChangeNothingAreRefused)
{
    using K = CCatalogueTreeRecord;
    const auto media = Dragged(K::KindGroup, 1);
    EXPECT_FALSE(m_edits.CanDropItem(media, GroupTarget(1))) << "on itself";
    EXPECT_FALSE(m_edits.CanDropItem(media, GroupTarget(0))) << "on its parent (the top)";
    EXPECT_FALSE(m_edits.CanDropItem(media, GroupTarget(2))) << "on its subgroup";
    EXPECT_FALSE(m_edits.CanDropItem(media, GroupTarget(3))) << "on a deeper descendant";
    EXPECT_TRUE(m_edits.CanDropItem(media, GroupTarget(4)));
    EXPECT_TRUE(m_edits.CanDropItem(Dragged(K::KindGroup, 3), GroupTarget(0)));

    const auto reel = Dragged(K::KindCatalogue, 2, 2);
    EXPECT_FALSE(m_edits.CanDropItem(reel, GroupTarget(2))) << "on its own group";
    EXPECT_TRUE(m_edits.CanDropItem(reel, GroupTarget(3)));
    CCatalogueTreeRecord onCatalogue;
    onCatalogue.nKind = K::KindCatalogue;
    onCatalogue.lCatalogueId = 4;
    EXPECT_FALSE(m_edits.CanDropItem(reel, onCatalogue)) << "only groups and empty space take a drop";

    auto foreign = reel;
    foreign.strDatabasePath = Path(QStringLiteral("Other.qrl"));
    EXPECT_FALSE(m_edits.CanDropItem(foreign, GroupTarget(3))) << "another database";
    EXPECT_FALSE(m_edits.MoveTreeItemTo(foreign, GroupTarget(3)));
    EXPECT_EQ(Long(QStringLiteral("SELECT GroupId FROM Catalogue WHERE CatalogueId=2")), 2);

    // Accepted drops move the row and the item.
    ASSERT_TRUE(m_edits.MoveTreeItemTo(reel, GroupTarget(0)));
    EXPECT_EQ(Long(QStringLiteral("SELECT GroupId FROM Catalogue WHERE CatalogueId=2")), 0);
    EXPECT_TRUE(m_model.FindItem(K::KindCatalogue, 2).isValid());
    EXPECT_FALSE(m_model.FindItem(K::KindCatalogue, 2).parent().isValid());
    ASSERT_TRUE(m_edits.MoveTreeItemTo(media, GroupTarget(4)));
    EXPECT_EQ(Long(QStringLiteral("SELECT ParentGroupId FROM [Group] WHERE GroupId=1")), 4);
    const QModelIndex moved = m_model.FindItem(K::KindGroup, 1);
    EXPECT_TRUE(!moved.isValid() || moved.parent() == m_model.FindItem(K::KindGroup, 4))
        << "gone from the top";
    EXPECT_FALSE(m_edits.CanDropItem(Dragged(K::KindGroup, 4), GroupTarget(3)))
        << "Music now holds Old through Media and Films";
}

TEST_F(CatalogueTreeEditsTest, DeletingAGroupMovesOnlyItsDirectChildrenAfterAsking)
{
    m_ui.QueueAnswer(MsgAnswer::No);
    EXPECT_FALSE(m_edits.DeleteGroup(1));
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM [Group] WHERE GroupId=1")), 1);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(
        m_ui.Messages()[0].text,
        QStringLiteral("Are you sure that you wish to delete the group:  Media?\n\n(Child catalogues and "
                       "groups of 'Media' will be moved outside all hierarchies.)\n\nNote that this cannot "
                       "be undone."));
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Confirm Delete Group"));

    m_ui.QueueAnswer(MsgAnswer::Yes);
    ASSERT_TRUE(m_edits.DeleteGroup(1));
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM [Group] WHERE GroupId=1")), 0);
    EXPECT_EQ(Long(QStringLiteral("SELECT ParentGroupId FROM [Group] WHERE GroupId=2")), 0)
        << "Films to the top";
    EXPECT_EQ(Long(QStringLiteral("SELECT ParentGroupId FROM [Group] WHERE GroupId=3")), 2)
        << "Old stays in Films";
    EXPECT_EQ(Long(QStringLiteral("SELECT GroupId FROM Catalogue WHERE CatalogueId=1")), 0)
        << "Disk to the top";
    EXPECT_EQ(Long(QStringLiteral("SELECT GroupId FROM Catalogue WHERE CatalogueId=2")), 2) << "Reel stays";
    EXPECT_TRUE(m_model.FindItem(CCatalogueTreeRecord::KindGroup, 2).isValid());
    EXPECT_TRUE(m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, 1).isValid());
}

TEST_F(CatalogueTreeEditsTest, DeletingACatalogueTakesItsFilesAndItsItem)
{
    ASSERT_TRUE(m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, 4).isValid());
    m_ui.QueueAnswer(MsgAnswer::No);
    EXPECT_FALSE(m_edits.DeleteCatalogue(4));
    EXPECT_TRUE(m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, 4).isValid());

    m_ui.QueueAnswer(MsgAnswer::Yes);
    ASSERT_TRUE(m_edits.DeleteCatalogue(4));
    EXPECT_EQ(
        m_ui.Messages().back().text,
        QStringLiteral("Are you sure that you wish to delete the catalogue:  Loose?\n\nNote that this cannot "
                       "be undone."));
    EXPECT_EQ(m_ui.Messages().back().caption, QStringLiteral("Confirm Delete Catalogue"));
    EXPECT_FALSE(m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, 4).isValid());
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM Catalogue WHERE CatalogueId=4")), 0);

    // Its files go with it.
    m_model.ReloadChildren(m_model.FindItem(CCatalogueTreeRecord::KindGroup, 1));
    ASSERT_TRUE(m_model.FindItem(CCatalogueTreeRecord::KindCatalogue, 1).isValid());
    m_ui.QueueAnswer(MsgAnswer::Yes);
    ASSERT_TRUE(m_edits.DeleteCatalogue(1));
    EXPECT_EQ(Long(QStringLiteral("SELECT Count(*) FROM File WHERE CatalogueId=1")), 0);
}

TEST_F(CatalogueTreeEditsTest, FilesAreTakenOnlyByAnotherFolderOfTheSameDatabase)
{
    CFileIdListPayload files;
    files.strDatabasePath = m_strDatabase;
    files.lCatalogueId = 1;
    files.lRelativePathId = 0;
    files.fileIds = {1, 2};
    CCatalogueTreeRecord disk{CCatalogueTreeRecord::KindCatalogue, 1, 1, 0, false};
    CCatalogueTreeRecord reel{CCatalogueTreeRecord::KindCatalogue, 2, 2, 0, false};
    CCatalogueTreeRecord diskFolder{CCatalogueTreeRecord::KindFolder, 1, 1, 5, false};
    CCatalogueTreeRecord media{CCatalogueTreeRecord::KindGroup, 1, 0, 0, false};
    EXPECT_FALSE(m_edits.CanDropFiles(files, disk)) << "where they already are";
    EXPECT_TRUE(m_edits.CanDropFiles(files, reel));
    EXPECT_TRUE(m_edits.CanDropFiles(files, diskFolder));
    EXPECT_FALSE(m_edits.CanDropFiles(files, media));
    files.strDatabasePath = Path(QStringLiteral("Other.qrl"));
    EXPECT_FALSE(m_edits.CanDropFiles(files, reel));
}

TEST_F(CatalogueTreeEditsTest, MediaAreOnlineWhileTheirVolumeIsMounted)
{
    // Disk sits on the fixture's fixed volume 1234ABCD; Tape's removable medium 00C0FFEE is away.
    const QString tape = Path(QStringLiteral("usb"));
    QDir().mkpath(tape);
    Db().ExecuteSqliteScript(
        QStringLiteral(
            "UPDATE Catalogue SET Location='%1', VolumeSerial=%2, Volume='DATA' WHERE CatalogueId=1;"
            "UPDATE Catalogue SET Location='/media/ann/TAPE/x', VolumeSerial=%3, Volume='TAPE' "
            "WHERE CatalogueId=3;")
            .arg(Path(QStringLiteral("media")))
            .arg(qint32(0x1234ABCD))
            .arg(qint32(0x00C0FFEE)));
    CMediaPresence presence;
    QSignalSpy arrived(&presence, &CMediaPresence::mediumArrived);
    QSignalSpy changed(&presence, &CMediaPresence::onlineChanged);
    presence.SetDatabase(m_doc.Database());
    EXPECT_EQ(presence.IsOnline(1), std::optional<bool>(true)) << "a missing folder on a present medium";
    EXPECT_EQ(presence.IsOnline(3), std::optional<bool>(false));
    EXPECT_EQ(presence.IsOnline(4), std::optional<bool>(false)) << "no location recorded";
    EXPECT_FALSE(presence.IsOnline(99));
    EXPECT_EQ(arrived.count(), 0) << "nothing arrives at opening";

    // The stick comes in under another mount point.
    auto entries = m_volumes.Entries();
    entries.push_back(CFixtureVolumeTable::MakeEntry(tape, 2, 0x00C0FFEE, QStringLiteral("TAPE")));
    m_volumes.SetEntries(entries);
    changed.clear();
    presence.Refresh();
    EXPECT_EQ(presence.IsOnline(3), std::optional<bool>(true));
    ASSERT_EQ(arrived.count(), 1);
    EXPECT_EQ(arrived[0][0].toInt(), 3);
    EXPECT_EQ(arrived[0][1].toString(), QStringLiteral("Tape"));
    ASSERT_EQ(changed.count(), 1) << "only what changed is told";

    entries.pop_back();
    m_volumes.SetEntries(entries);
    presence.Refresh();
    EXPECT_EQ(presence.IsOnline(3), std::optional<bool>(false));
    EXPECT_EQ(arrived.count(), 1);
}
