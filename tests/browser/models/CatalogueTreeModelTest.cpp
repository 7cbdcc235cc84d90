#include "ModelFixture.h"

#include "browser/models/CatalogueTreeModel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

namespace
{
using Record = CCatalogueTreeRecord;
using Model = CCatalogueTreeModel;
} // namespace

class CatalogueTreeModelTest : public ModelFixture
{
protected:
    void SetUp() override
    {
        ModelFixture::SetUp();
        m_model.SetDatabase(&m_db, QStringLiteral("alice"));
    }

    QModelIndex Expand(const QModelIndex& index)
    {
        if (m_model.canFetchMore(index))
            m_model.fetchMore(index);
        return index;
    }

    Model m_model{m_ui, m_policy};
};

TEST_F(CatalogueTreeModelTest, LoadsLazilyInItsOrderWithTheUsersMarks)
{
    // Subgroups first, then catalogues, each alphabetically without regard to case.
    EXPECT_EQ(Texts(m_model),
              QStringList({"A", "a2", "b", "Media", "cd", "Disk", "Gone", "RootOnly", "Weird"}));

    struct Expected
    {
        const char* text;
        qint32 kind;
        bool hasChildren;
        int image;
        int state;
    };
    const Expected expected[] = {
        {"A", Record::KindGroup, false, -1, 0},           {"Media", Record::KindGroup, true, -1, 0},
        {"cd", Record::KindCatalogue, false, 5, 7},       {"Disk", Record::KindCatalogue, true, 3, 2},
        {"Gone", Record::KindCatalogue, false, 2, 1},     // its only folder holds deleted files
        {"RootOnly", Record::KindCatalogue, false, 6, 1}, // every file in the root folder
        {"Weird", Record::KindCatalogue, false, 0, 1},    // a drive type of no known name
    };
    for (const Expected& e : expected)
    {
        const QModelIndex at = Child(m_model, QString::fromUtf8(e.text));
        ASSERT_TRUE(at.isValid()) << e.text;
        EXPECT_EQ(at.data(Model::KindRole).toInt(), e.kind) << e.text;
        EXPECT_EQ(m_model.hasChildren(at), e.hasChildren) << e.text;
        EXPECT_EQ(m_model.rowCount(at), 0) << e.text << ": nothing read before it is expanded";
        EXPECT_EQ(at.data(Model::ImageRole).toInt(), e.image) << e.text;
        EXPECT_EQ(at.data(Model::StateImageRole).toInt(), e.state) << e.text;
    }
    // A name longer than the column holds still has its image where it is stored whole.
    EXPECT_EQ(Model::DriveTypeImage("No Root Dir"), 1);
    EXPECT_EQ(Model::DriveTypeImage("fixed"), 0) << "names are matched exactly";
    EXPECT_EQ(Child(m_model, "Disk").data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(Child(m_model, "Media").data(Qt::CheckStateRole).isValid()) << "groups have no check box";

    // Expanding reads all children once, under the wait cursor and the status text.
    const QModelIndex media = Child(m_model, "Media");
    ASSERT_TRUE(m_model.canFetchMore(media));
    m_model.fetchMore(media);
    EXPECT_TRUE(m_ui.StatusTexts().contains("Updating Catalogue Browser..."));
    EXPECT_EQ(m_ui.WaitCursorDepth(), 0);
    EXPECT_FALSE(m_model.canFetchMore(media));
    EXPECT_TRUE(media.data(Model::ChildrenLoadedRole).toBool());
    EXPECT_EQ(Texts(m_model, media), QStringList({"Empty", "Films"}));
    EXPECT_FALSE(m_model.hasChildren(Child(m_model, "Empty", media)));
    // A subgroup comes before a catalogue that sorts before it.
    const QModelIndex films = Expand(Child(m_model, "Films", media));
    EXPECT_EQ(Texts(m_model, films), QStringList({"Old", "Archive"}));

    // One item per folder text ("music/rock" is "Music\Rock"), none for the root or for folders
    // whose files are all deleted.
    const QModelIndex disk = Expand(Child(m_model, "Disk"));
    EXPECT_EQ(Texts(m_model, disk), QStringList({"A", "a2", "b", "Music", "Music\\Rock", "Photos"}));
    const Record folder = m_model.Record(Child(m_model, "Music\\Rock", disk));
    EXPECT_EQ(folder, (Record{Record::KindFolder, 0, 1, 2, false}));
    EXPECT_FALSE(m_model.hasChildren(Child(m_model, "Music", disk)));
    EXPECT_FALSE(m_model.canFetchMore(Child(m_model, "Music", disk)));

    // Found only once loaded; the record says where it sits.
    EXPECT_FALSE(m_model.FindItem(Record::KindCatalogue, 4).isValid());
    EXPECT_EQ(m_model.FindItem(Record::KindCatalogue, 3), Child(m_model, "Archive", films));
    EXPECT_EQ(m_model.FindItem(Record::KindGroup, 5), films);
    EXPECT_EQ(m_model.FindFolder(1, 4), Child(m_model, "Photos", disk));
    EXPECT_EQ(m_model.Record(films), (Record{Record::KindGroup, 5, 0, 0, true}));
    EXPECT_EQ(m_model.Record(Child(m_model, "Archive", films)),
              (Record{Record::KindCatalogue, 5, 3, 0, false}));
    EXPECT_EQ(m_model.Record(films), films.data(Model::RecordRole).value<Record>());

    // A folder made in a catalogue not yet expanded: the expand button shows, and expanding reads it.
    const QModelIndex rootOnly = Child(m_model, "RootOnly");
    EXPECT_FALSE(m_model.AddFolderItem(5, 9, "New").isValid());
    EXPECT_TRUE(m_model.hasChildren(rootOnly));

    // The tester walks (and so loads) everything, down to the catalogue three groups deep.
    QAbstractItemModelTester tester(&m_model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex deep = m_model.FindItem(Record::KindCatalogue, 4);
    ASSERT_TRUE(deep.isValid());
    EXPECT_EQ(deep.parent().data().toString(), QStringLiteral("Older"));
    EXPECT_EQ(deep.parent().parent().data().toString(), QStringLiteral("Old"));
    EXPECT_EQ(Texts(m_model, deep), QStringList({"Photos"}));
}

TEST_F(CatalogueTreeModelTest, CheckMarksArePerUserAndKeepTheExcludedMark)
{
    Model bobs(m_ui, m_policy);
    bobs.SetDatabase(&m_db, QStringLiteral("bob"));
    QAbstractItemModelTester tester(&m_model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);

    const QModelIndex cd = Child(m_model, "cd");
    ASSERT_EQ(cd.data(Model::StateImageRole).toInt(), 7);
    ASSERT_TRUE(m_model.ToggleCatalogueCheck(cd));
    EXPECT_EQ(cd.data(Model::StateImageRole).toInt(), 8);
    EXPECT_EQ(Long("SELECT CatalogueSelect + 10 * ExcludeFromDuplicate FROM CatalogueUserSelect "
                   "WHERE CatalogueId=2 AND [User]='alice'"),
              11);
    ASSERT_TRUE(m_model.setData(cd, Qt::Unchecked, Qt::CheckStateRole));
    EXPECT_EQ(cd.data(Model::StateImageRole).toInt(), 7);
    EXPECT_GE(changed.count(), 2);

    // A catalogue without a row gets one; reading a missing row gives false for both.
    const QModelIndex rootOnly = Child(m_model, "RootOnly");
    EXPECT_FALSE(m_model.GetCatalogueUserProperties(5).bChecked);
    ASSERT_TRUE(m_model.setData(rootOnly, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(rootOnly.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_TRUE(m_model.GetCatalogueUserProperties(5).bChecked);
    EXPECT_FALSE(m_model.GetCatalogueUserProperties(5).bExcluded);
    EXPECT_EQ(Long("SELECT COUNT(*) FROM CatalogueUserSelect WHERE CatalogueId=5"), 1);

    // Only the excluded mark, leaving the check as it is.
    ASSERT_TRUE(m_model.SetCatalogueUserProperties(1, std::nullopt, true));
    EXPECT_EQ(Child(m_model, "Disk").data(Model::StateImageRole).toInt(), 8);
    EXPECT_FALSE(m_model.setData(Child(m_model, "Media"), Qt::Checked, Qt::CheckStateRole));

    // Bob's marks are his own.
    bobs.Requery();
    EXPECT_EQ(Child(bobs, "cd").data(Model::StateImageRole).toInt(), 8);
    EXPECT_EQ(Child(bobs, "Disk").data(Model::StateImageRole).toInt(), 1);
    EXPECT_EQ(Child(bobs, "RootOnly").data(Model::StateImageRole).toInt(), 1);
    EXPECT_EQ(m_ui.UnexpectedMessages(), 0);
}

TEST_F(CatalogueTreeModelTest, RequeryKeepsWhatWasLoadedAndFollowsTheDatabase)
{
    const QModelIndex media = Expand(Child(m_model, "Media"));
    Expand(Child(m_model, "Films", media));
    const QPersistentModelIndex b = Child(m_model, "b");
    const QPersistentModelIndex disk = Child(m_model, "Disk");

    Sql("UPDATE \"Group\" SET \"Group\"='zeta' WHERE GroupId=2");
    Sql("INSERT INTO \"Group\" (GroupId, \"Group\", ParentGroupId) VALUES (9, 'C', 0)");
    Sql("DELETE FROM Catalogue WHERE CatalogueId=6");
    Sql("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, DriveType) VALUES (5, 8, 'Backup', "
        "'Fixed')");
    AddFile(100, 5, 4);
    Sql("UPDATE CatalogueUserSelect SET CatalogueSelect=0 WHERE CatalogueId=1 AND \"User\"='alice'");

    m_model.Requery();
    EXPECT_TRUE(m_ui.StatusTexts().contains("Refreshing..."));
    EXPECT_EQ(Texts(m_model),
              QStringList({"A", "a2", "C", "Media", "zeta", "cd", "Disk", "Gone", "RootOnly"}));
    EXPECT_EQ(b.data().toString(), QStringLiteral("zeta")) << "a renamed item keeps its index";
    EXPECT_EQ(b.row(), 4);
    EXPECT_EQ(disk.data(Model::StateImageRole).toInt(), 1);
    const QModelIndex films = Child(m_model, "Films", Child(m_model, "Media"));
    EXPECT_TRUE(films.data(Model::ChildrenLoadedRole).toBool());
    EXPECT_EQ(Texts(m_model, films), QStringList({"Old", "Archive", "Backup"}));
    EXPECT_FALSE(Child(m_model, "Old", films).data(Model::ChildrenLoadedRole).toBool());
    EXPECT_FALSE(disk.data(Model::ChildrenLoadedRole).toBool());
    EXPECT_TRUE(m_model.hasChildren(Child(m_model, "RootOnly"))) << "a folder now holds a file";

    // With everything loaded, a requery that removes, renames and adds at several levels keeps
    // the model consistent.
    QAbstractItemModelTester tester(&m_model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    Sql("UPDATE \"Group\" SET \"Group\"='0ld' WHERE GroupId=6");
    Sql("UPDATE \"File\" SET Deleted=1 WHERE FileId IN (2, 3)");
    Sql("DELETE FROM \"Group\" WHERE GroupId=8");
    Sql("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (10, 'Aardvark')");
    AddFile(101, 1, 10);
    m_model.Requery();
    EXPECT_EQ(Texts(m_model, films), QStringList({"0ld", "Archive", "Backup"}));
    EXPECT_EQ(Texts(m_model, Child(m_model, "Media")), QStringList({"Films"}));
    EXPECT_EQ(Texts(m_model, disk), QStringList({"A", "a2", "Aardvark", "b", "music/rock", "Photos"}));
}

TEST_F(CatalogueTreeModelTest, ReloadingOneCatalogueAndAddingFolders)
{
    QAbstractItemModelTester tester(&m_model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    const QModelIndex disk = Expand(Child(m_model, "Disk"));

    // A folder typed again in another case or with the other separator is the one there.
    EXPECT_EQ(m_model.AddFolderItem(1, 9, "MUSIC/rock"), Child(m_model, "Music\\Rock", disk));
    const QModelIndex added = m_model.AddFolderItem(1, 9, "New\\Folder");
    EXPECT_EQ(Texts(m_model, disk),
              QStringList({"A", "a2", "b", "Music", "Music\\Rock", "New\\Folder", "Photos"}));
    EXPECT_EQ(m_model.Record(added).lRelativePathId, 9);
    Sql("UPDATE \"File\" SET Deleted=1 WHERE CatalogueId=1 AND RelativePathId=4");
    Sql("UPDATE Catalogue SET Catalogue='A disk', DriveType='Network' WHERE CatalogueId=1");
    ASSERT_TRUE(m_model.ReloadCatalogue(1));
    const QModelIndex reloaded = m_model.FindItem(Record::KindCatalogue, 1);
    EXPECT_EQ(reloaded.data().toString(), QStringLiteral("A disk"));
    EXPECT_EQ(reloaded.data(Model::ImageRole).toInt(), 4);
    EXPECT_EQ(Texts(m_model, reloaded), QStringList({"A", "a2", "b", "Music", "Music\\Rock"}));
    EXPECT_EQ(Texts(m_model).indexOf("A disk"), Texts(m_model).indexOf("cd") - 1);

    // Moved to a group that is not loaded: it leaves the top level.
    Sql("UPDATE Catalogue SET GroupId=1 WHERE CatalogueId=2");
    ASSERT_TRUE(m_model.ReloadCatalogue(2));
    EXPECT_FALSE(Texts(m_model).contains("cd"));
    Sql("DELETE FROM Catalogue WHERE CatalogueId=7");
    EXPECT_TRUE(m_model.ReloadCatalogue(7));
    EXPECT_FALSE(m_model.FindItem(Record::KindCatalogue, 7).isValid());
    EXPECT_FALSE(m_model.ReloadCatalogue(99));

    m_model.SetDatabase(nullptr, QString());
    EXPECT_EQ(m_model.rowCount(), 0);
}
