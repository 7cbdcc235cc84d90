#include "DocumentFixture.h"

#include "common/SynchCommandLine.h"

#include <QSignalSpy>
#include <QTest>

namespace
{
QStringList ChoiceTexts(const std::vector<GroupChoice>& choices)
{
    QStringList texts;
    for (const auto& [id, text] : choices)
        texts.append(QStringLiteral("%1 %2").arg(id).arg(text));
    return texts;
}
} // namespace

TEST_F(DocumentTest, GroupsNestWithoutCycles)
{
    qint32 parent = 0;
    qint32 media = 0;
    qint32 films = 0;
    qint32 old = 0;
    auto named = [](const QString& name, qint32 parentId) {
        return [name, parentId](CGroupDialogData& d) {
            d.strGroup = name;
            d.lParentGroupId = parentId;
            return true;
        };
    };
    ASSERT_TRUE(m_doc.Catalogues().NewGroup(parent, media, named("Media", 0)));
    ASSERT_TRUE(m_doc.Catalogues().NewGroup(parent, films, named("Films", media)));
    EXPECT_EQ(parent, media);
    ASSERT_TRUE(m_doc.Catalogues().NewGroup(parent, old, named("Old", films)));
    qint32 none = -1;
    EXPECT_FALSE(m_doc.Catalogues().NewGroup(parent, none, named("   ", 0)))
        << "an empty name creates nothing";
    EXPECT_EQ(none, 0);

    EXPECT_EQ(ChoiceTexts(m_doc.Catalogues().GroupParentChoices()),
              QStringList({"0  <No Group>", "1 /<Media>", "2 /Media/<Films>", "3 /Media/Films/<Old>"}));
    // Films cannot go below itself or its descendants: they are not offered.
    EXPECT_EQ(ChoiceTexts(m_doc.Catalogues().GroupParentChoices(films)),
              QStringList({"0  <No Group>", "1 /<Media>"}));

    // A script that insists is refused until it picks an allowed parent.
    int shown = 0;
    EXPECT_TRUE(m_doc.Catalogues().GroupProperties(films,
                                                   [&](CGroupDialogData& d)
                                                   {
                                                       if (shown == 0)
                                                       {
                                                           EXPECT_EQ(d.strGroup, QStringLiteral("Films"));
                                                       }
                                                       d.lParentGroupId = shown++ == 0 ? old : 0;
                                                       d.strGroup = QStringLiteral("Movies");
                                                       return true;
                                                   }));
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(m_doc.Catalogues().GetParentGroupFromGroup(films), 0);
    EXPECT_EQ(m_doc.Catalogues().GetGroupNameFromGroupId(films), QStringLiteral("Movies"));
    EXPECT_EQ(ChoiceTexts(m_doc.Catalogues().GroupParentChoices()),
              QStringList({"0  <No Group>", "1 /<Media>", "2 /<Movies>", "3 /Movies/<Old>"}));
}

TEST_F(DocumentTest, NewCatalogueRecordsItsVolumeAndStartsTheSynchronizer)
{
    Touch(QStringLiteral("media/Films/a.mkv"));
    qint32 group = 0;
    QSignalSpy changed(&m_doc.Synch(), &CSynchLink::catalogueChanged);
    const qint32 id = m_doc.Catalogues().NewCatalogue(group, Path(QStringLiteral("media")),
                                                      [&](CCatalogueDialogData& d)
                                                      {
                                                          EXPECT_EQ(d.strCatalogue, QStringLiteral("media"))
                                                              << "proposed from the location";
                                                          EXPECT_EQ(d.strSerial, QStringLiteral("1234ABCD"));
                                                          EXPECT_EQ(d.strVolume, QStringLiteral("DATA"));
                                                          EXPECT_EQ(d.strDriveType, QStringLiteral("Fixed"));
                                                          d.strCatalogue = QStringLiteral("My \"Films\"");
                                                          d.bUpdateTTH = true;
                                                          d.bDeleteDuplicates = true;
                                                          d.bExcludeFromDuplicates = true;
                                                          return true;
                                                      });
    ASSERT_EQ(id, 1);
    EXPECT_EQ(Long(QStringLiteral("SELECT VolumeSerial FROM Catalogue WHERE CatalogueId=1")), 0x1234ABCD);
    EXPECT_EQ(Long(QStringLiteral("SELECT CatalogueKeepPriority FROM Catalogue WHERE CatalogueId=1")), 10000)
        << "the column default, not the dialog's 1000";
    EXPECT_EQ(Long(QStringLiteral("SELECT ExcludeFromDuplicate FROM CatalogueUserSelect WHERE CatalogueId=1 AND "
                                  "[User]='ann'")),
              1);
    ASSERT_EQ(m_launcher.sent.size(), 1);
    EXPECT_EQ(m_launcher.sent[0].first, QStringLiteral("AddFiles"));
    EXPECT_EQ(m_launcher.sent[0].second,
              QStringLiteral("-Database=\"%1\" -CatalogueID=1 -AddFiles -UpdateTTH -DeleteDuplicates").arg(m_strDatabase));
    EXPECT_EQ(m_doc.Synch().PendingRefreshCount(), 1);

    // Synchronize: the id in quotes, -UpdateTTH only when the catalogue says so.
    m_doc.Catalogues().SynchronizeCatalogue(1);
    EXPECT_EQ(m_launcher.sent.last().second,
              QStringLiteral("-Database=\"%1\" -CatalogueID=\"1\" -AddFiles -MarkDeleted -UpdateTTH").arg(m_strDatabase));
    Db().Execute(QStringLiteral("UPDATE Catalogue SET UpdateTTH=FALSE WHERE CatalogueId=1"));
    m_doc.Catalogues().SynchronizeCatalogue(1);
    EXPECT_EQ(m_launcher.sent.last().first, QStringLiteral("Synchronize"));
    EXPECT_EQ(m_launcher.sent.last().second,
              QStringLiteral("-Database=\"%1\" -CatalogueID=\"1\" -AddFiles -MarkDeleted").arg(m_strDatabase));
    // Update TTH names the catalogue; a name with a double quote goes in single quotes.
    m_doc.Catalogues().UpdateCatalogueTTH(1);
    EXPECT_EQ(m_launcher.sent.last().first, QStringLiteral("UpdateTTH"));
    EXPECT_EQ(m_launcher.sent.last().second,
              QStringLiteral("-Database=\"%1\" -Catalogue='My \"Films\"' -UpdateTTH").arg(m_strDatabase));
    EXPECT_EQ(SynchCommandLineValue(m_launcher.sent.last().second, QStringLiteral("CATALOGUE")),
              QStringLiteral("My \"Films\""));

    // Advise data naming the catalogue schedules its refresh; the refresh tells the views.
    m_doc.Synch().ScheduleCatalogueRefresh(1, 10);
    EXPECT_TRUE(QTest::qWaitFor([&] { return changed.count() >= 1; }, 2000));
    EXPECT_EQ(changed[0][0].toInt(), 1);
    emit m_launcher.adviseReceived(QStringLiteral("AddFiles"), m_launcher.sent[0].second, false, 0);
    EXPECT_EQ(m_doc.Synch().PendingRefreshCount(), 5) << "three launches, one advise";
}

TEST_F(DocumentTest, CataloguesOnAbsentLocationsAndRelocation)
{
    // Nothing there and nothing to create it in: the row is made, nothing is started.
    qint32 group = 0;
    const qint32 absent = m_doc.Catalogues().NewCatalogue(
        group, QString(),
        [&](CCatalogueDialogData& d)
        {
            m_doc.Catalogues().SetCatalogueDialogLocation(d, Path(QStringLiteral("unplugged/stick/photos")));
            EXPECT_EQ(d.strCatalogue, QStringLiteral("photos"));
            EXPECT_EQ(d.strDriveType, QStringLiteral("Unknown"));
            return true;
        });
    ASSERT_GT(absent, 0);
    EXPECT_TRUE(m_launcher.sent.isEmpty());
    EXPECT_EQ(m_ui.Messages().size(), 1u) << "the unreadable root is reported";
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("unplugged"))));

    // A catalogue that moves must find its first file at the new place, else the dialog stays.
    Touch(QStringLiteral("old/Films/a.mkv"));
    Touch(QStringLiteral("new/Films/a.mkv"));
    Db().Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Location) VALUES (0, 50, 'C', ?)"),
                 {CDbValue(Path(QStringLiteral("old")))});
    Db().Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (8, 'Films')"));
    Db().Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, "
                                "FileSizeDouble) VALUES (50, 8, 1, 'a.mkv', 1, 1)"));
    QStringList tried;
    int state = 0;
    EXPECT_TRUE(m_doc.Catalogues().CatalogueProperties(
        50, state,
        [&](CCatalogueDialogData& d)
        {
            tried.append(d.strLocation);
            m_doc.Catalogues().SetCatalogueDialogLocation(
                d, Path(tried.size() == 1 ? QStringLiteral("elsewhere") : QStringLiteral("new")));
            return true;
        }));
    EXPECT_EQ(tried.size(), 2);
    EXPECT_EQ(m_ui.Messages().back().caption, QStringLiteral("Catalogue Properties - checking relocation"));
    EXPECT_EQ(state, 1);
    CDbStatement st = Db().Prepare(QStringLiteral("SELECT Location, VolumeSerial, DriveType FROM Catalogue WHERE "
                                                  "CatalogueId=50"));
    ASSERT_TRUE(st.Step());
    EXPECT_EQ(st.Value(0).ToString(), Path(QStringLiteral("new")));
    EXPECT_EQ(st.Value(1).ToLong(), 0x1234ABCD);
    EXPECT_EQ(st.Value(2).ToString(), QStringLiteral("Fixed"));
}

TEST_F(DocumentTest, FolderRenamesMoveTheFilesOrChangeNothing)
{
    Touch(QStringLiteral("media/Films/a.mkv"));
    Touch(QStringLiteral("media/Films/b.mkv"));
    Db().Execute(QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Location) VALUES (0, 1, 'C', ?)"),
                 {CDbValue(Path(QStringLiteral("media")))});
    Db().Execute(QStringLiteral("INSERT INTO RelativePath (RelativePathId, RelativePath) VALUES (8, 'Films')"));
    Db().Execute(QStringLiteral("INSERT INTO File (CatalogueId, RelativePathId, FileId, File, FileSize, FileSizeDouble) "
                                "VALUES (1, 8, 1, 'a.mkv', 1, 1), (1, 8, 2, 'b.mkv', 1, 1), (1, 8, 3, 'missing.mkv', 1, 1)"));
    auto rename = [&](const QString& to) {
        return [to](CRelativePathDialogData& d) {
            d.strFolder = to;
            d.lKeepPriority = 5;
            return true;
        };
    };

    // One file is missing: the name stays, the moved ones come back, the failure is listed.
    std::vector<CFileProblem> listed;
    m_doc.Catalogues().SetFileProblemsHandler(
        [&](const QString& header, const std::vector<CFileProblem>& problems)
        {
            EXPECT_EQ(header, QStringLiteral("There were problems moving the following files:"));
            listed = problems;
        });
    qint32 folderId = 8;
    QString newText;
    EXPECT_FALSE(m_doc.Catalogues().RelativePathProperties(1, folderId, newText,
                                                           rename(QStringLiteral("Movies/2024"))));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_TRUE(listed[0].strPath.endsWith(QStringLiteral("media/Films/missing.mkv")));
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("media/Films/a.mkv"))));
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("media/Films/b.mkv"))));
    CDbStatement text = Db().Prepare(QStringLiteral("SELECT RelativePath, KeepPriority FROM RelativePath WHERE RelativePathId=8"));
    ASSERT_TRUE(text.Step());
    EXPECT_EQ(text.Value(0).ToString(), QStringLiteral("Films"));
    EXPECT_EQ(text.Value(1).ToLong(), 5) << "the keep priority is stored in every case";
    text.Reset();

    // Without the missing file the folder is renamed, on disk and in the row, old folder removed.
    Db().Execute(QStringLiteral("UPDATE File SET Deleted=TRUE WHERE FileId=3"));
    EXPECT_TRUE(m_doc.Catalogues().RelativePathProperties(1, folderId, newText,
                                                          rename(QStringLiteral("Movies/2024"))));
    EXPECT_EQ(newText, QStringLiteral("Movies\\2024"));
    EXPECT_TRUE(QFile::exists(Path(QStringLiteral("media/Movies/2024/a.mkv"))));
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("media/Films"))));
    ASSERT_TRUE(text.Step());
    EXPECT_EQ(text.Value(0).ToString(), QStringLiteral("Movies\\2024"));
}
