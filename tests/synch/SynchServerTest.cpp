// Real synchronizer processes cataloguing folders into a catalogue on a throwaway PostgreSQL
// server, alone and together with other writers (skipped with the reason without PostgreSQL).

#include "ProcessEnvironment.h"
#include "ServerCatalogue.h"
#include "common/DbException.h"
#include "common/ScriptedInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/TemplateDatabase.h"
#include "platform/FixtureVolumeTable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

namespace
{
constexpr quint32 kSerials[] = {0x1234ABCD, 0x5678CDEF};

class SynchServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QUARRANE_NEED_SERVER();
        ASSERT_TRUE(m_dir.isValid());
        m_address = CTestPostgresServer::Instance().NewDatabase();
        ASSERT_FALSE(m_address.isEmpty());
        QString error;
        ASSERT_TRUE(CreateServerCatalogue(m_address, &error)) << error.toStdString();
        std::vector<CFixtureVolumeTable::CEntry> volumes;
        for (int i = 0; i < 2; ++i)
        {
            ASSERT_TRUE(QDir().mkpath(Medium(i)));
            volumes.push_back(
                CFixtureVolumeTable::MakeEntry(Medium(i), 3, kSerials[i], QStringLiteral("DATA%1").arg(i)));
        }
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(m_dir.filePath(QStringLiteral("volumes")), volumes));
        m_db.Open(m_address);
    }

    QString Medium(int i) const { return m_dir.filePath(QStringLiteral("medium%1").arg(i)); }

    void Write(int medium, const QString& relative, qint64 size)
    {
        const QString path = Medium(medium) + QLatin1Char('/') + relative;
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(QByteArray(size, 'q')), size);
    }

    // A catalogue of medium i, with an identifier from the counter as the browser takes it.
    qint32 AddCatalogue(int i)
    {
        CScriptedInteraction ui;
        CDbRetryPolicy policy(ui);
        const qint32 id = GetNewRecSetId(m_db, QStringLiteral("Catalogue_CatalogueId"), policy);
        m_db.Execute(
            QStringLiteral("INSERT INTO Catalogue (GroupId, CatalogueId, Catalogue, Volume, VolumeSerial, "
                           "Location, DriveType) VALUES (0, ?, ?, ?, ?, ?, 'Fixed')"),
            {CDbValue(id), CDbValue(QStringLiteral("Medium %1").arg(i)),
             CDbValue(QStringLiteral("DATA%1").arg(i)), CDbValue(static_cast<qint32>(kSerials[i])),
             CDbValue(Medium(i))});
        return id;
    }

    // A synchronizer process of its own (its own runtime folder, so that two run side by side).
    std::unique_ptr<QProcess> StartSynchronizer(qint32 catalogueId, const QString& runtime)
    {
        auto synch = std::make_unique<QProcess>();
        QProcessEnvironment env = IsolatedProcessEnvironment(m_dir);
        env.insert(QStringLiteral("QUARRANE_RUNTIME_DIR"), m_dir.filePath(runtime));
        synch->setProcessEnvironment(env);
        synch->setWorkingDirectory(m_dir.path());
        synch->start(QStringLiteral(QUARRANESYNCH_PATH),
                     {QStringLiteral("-Database=%1").arg(m_address),
                      QStringLiteral("-CatalogueID=%1").arg(catalogueId), QStringLiteral("-AddFiles"),
                      QStringLiteral("-Unattended"), QStringLiteral("-Quit")});
        return synch;
    }

    static void ExpectDone(QProcess& synch)
    {
        ASSERT_TRUE(synch.waitForFinished(ScaledTimeout(180000)));
        EXPECT_EQ(synch.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(synch.exitCode(), 0) << synch.readAllStandardError().toStdString();
    }

    // "folder\name size" of every live file of a catalogue, folders as the catalogue writes them
    // (the root folder has no row of its own: its files show an empty folder).
    QStringList CataloguedFiles(qint32 catalogueId)
    {
        CDbStatement st = m_db.Prepare(QStringLiteral(
            "SELECT RelativePath.RelativePath, File.File, File.FileSizeDouble FROM File LEFT JOIN "
            "RelativePath ON File.RelativePathId = RelativePath.RelativePathId WHERE "
            "File.CatalogueId = ? AND File.Deleted = FALSE"));
        st.Bind(1, catalogueId);
        QStringList files;
        while (st.Step())
            files.append(QStringLiteral("%1\\%2 %3")
                             .arg(st.Value(0).ToString(), st.Value(1).ToString())
                             .arg(static_cast<qint64>(st.Value(2).ToDouble())));
        files.sort();
        return files;
    }

    qint64 Scalar(const QString& sql)
    {
        CDbStatement st = m_db.Prepare(sql);
        return st.Step() ? static_cast<qint64>(st.Value(0).ToDouble()) : -1;
    }

    QTemporaryDir m_dir;
    QString m_address;
    CDbDatabase m_db;
};
} // namespace

TEST_F(SynchServerTest, ASynchronizerCataloguesAFolderIntoAServerCatalogue)
{
    Write(0, QStringLiteral("Films/a.mkv"), 10);
    Write(0, QStringLiteral("Films/Old/b 100%.mkv"), 20);
    Write(0, QStringLiteral("it's \"odd\".txt"), 3);
    Write(0, QStringLiteral("Ünïcode/Straße.txt"), 4);
    const qint32 id = AddCatalogue(0);

    std::unique_ptr<QProcess> synch = StartSynchronizer(id, QStringLiteral("run"));
    ExpectDone(*synch);

    const QStringList expected{QStringLiteral("Films\\Old\\b 100%.mkv 20"), QStringLiteral("Films\\a.mkv 10"),
                               QStringLiteral("\\it's \"odd\".txt 3"),
                               QStringLiteral("Ünïcode\\Straße.txt 4")};
    EXPECT_EQ(CataloguedFiles(id), expected);
    // Every file took its identifier from the counter.
    EXPECT_EQ(Scalar(QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]='File_FileId'")),
              Scalar(QStringLiteral("SELECT Max(FileId) FROM File")));
}

TEST_F(SynchServerTest, TwoSynchronizersAndTwoClientsLoseNothingAndShareNoIdentifier)
{
    constexpr int kFiles = 2500;
    constexpr int kRounds = 150;
    for (int medium = 0; medium < 2; ++medium)
        for (int i = 0; i < kFiles; ++i)
            Write(medium, QStringLiteral("Folder%1/file%2.dat").arg(i % 7).arg(i), i % 100);
    const qint32 first = AddCatalogue(0);
    const qint32 second = AddCatalogue(1);

    std::unique_ptr<QProcess> synchA = StartSynchronizer(first, QStringLiteral("runA"));
    std::unique_ptr<QProcess> synchB = StartSynchronizer(second, QStringLiteral("runB"));

    // Meanwhile two clients: one adds groups, one takes file identifiers and edits a catalogue.
    std::vector<qint32> groupIds;
    std::vector<qint32> takenFileIds;
    std::atomic<int> failures{0};
    const auto client = [&](bool groups)
    {
        try
        {
            CDbDatabase db;
            db.Open(m_address);
            CScriptedInteraction ui;
            CDbRetryPolicy policy(ui);
            for (int round = 0; round < kRounds; ++round)
            {
                if (groups)
                {
                    const qint32 id = GetNewRecSetId(db, QStringLiteral("Group_GroupId"), policy);
                    if (!policy.Run(QStringLiteral("group"),
                                    [&]
                                    {
                                        db.Execute(
                                            QStringLiteral(
                                                "INSERT INTO [Group] (GroupId, [Group], ParentGroupId) "
                                                "VALUES (?, ?, 0)"),
                                            {CDbValue(id), CDbValue(QStringLiteral("Team %1").arg(round))});
                                    }))
                        ++failures;
                    groupIds.push_back(id);
                }
                else
                {
                    takenFileIds.push_back(GetNewRecSetId(db, QStringLiteral("File_FileId"), policy));
                    if (!policy.Run(QStringLiteral("catalogue"),
                                    [&]
                                    {
                                        db.Execute(
                                            QStringLiteral(
                                                "UPDATE Catalogue SET CatalogueType=? WHERE CatalogueId=?"),
                                            {CDbValue(QStringLiteral("Edit %1").arg(round)),
                                             CDbValue(second)});
                                    }))
                        ++failures;
                }
            }
        }
        catch (const CDbException& e)
        {
            ADD_FAILURE() << e.m_strDescription.toStdString();
        }
    };
    std::thread groupsClient(client, true);
    std::thread idsClient(client, false);
    groupsClient.join();
    idsClient.join();
    ExpectDone(*synchA);
    ExpectDone(*synchB);
    EXPECT_EQ(failures.load(), 0);

    EXPECT_EQ(CataloguedFiles(first).size(), kFiles);
    EXPECT_EQ(CataloguedFiles(second).size(), kFiles);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM File")), 2 * kFiles);

    // Identifiers: every one handed out once, whoever took it.
    QSet<qint32> fileIds;
    CDbStatement files = m_db.Prepare(QStringLiteral("SELECT FileId FROM File"));
    while (files.Step())
        fileIds.insert(files.Value(0).ToLong());
    EXPECT_EQ(fileIds.size(), 2 * kFiles);
    const QSet<qint32> taken(takenFileIds.begin(), takenFileIds.end());
    EXPECT_EQ(taken.size(), kRounds);
    EXPECT_FALSE(taken.contains(-1));
    EXPECT_FALSE(fileIds.intersects(taken));
    const QSet<qint32> groups(groupIds.begin(), groupIds.end());
    EXPECT_EQ(groups.size(), kRounds);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM [Group] WHERE [Group] LIKE 'Team *'")), kRounds);
    EXPECT_EQ(Scalar(QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]='File_FileId'")),
              2 * kFiles + kRounds);
    EXPECT_EQ(
        Scalar(QStringLiteral("SELECT Count(*) FROM File LEFT JOIN RelativePath ON File.RelativePathId = "
                              "RelativePath.RelativePathId WHERE RelativePath.RelativePathId Is Null AND "
                              "File.RelativePathId <> 0")),
        0);
}

TEST_F(SynchServerTest, AServerCatalogueOfAnotherVersionIsLeftAlone)
{
    Write(0, QStringLiteral("a.mkv"), 1);
    const qint32 id = AddCatalogue(0);
    ASSERT_TRUE(SetDatabaseParameter(&m_db, QStringLiteral("Version"), QStringLiteral("1.005")));
    std::unique_ptr<QProcess> synch = StartSynchronizer(id, QStringLiteral("run"));
    ASSERT_TRUE(synch->waitForFinished(ScaledTimeout(60000)));
    EXPECT_EQ(synch->exitCode(), 43) << "a database of another version";
    EXPECT_TRUE(QString::fromUtf8(synch->readAllStandardError()).contains(QLatin1String("later version")));
    EXPECT_EQ(Scalar(QStringLiteral("SELECT Count(*) FROM File")), 0);
}
