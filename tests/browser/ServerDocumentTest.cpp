// The browser's document on a catalogue on a throwaway PostgreSQL server: what it shows and keeps
// of the address, the version check, and what it does not do to a server (skipped with the reason
// without PostgreSQL). The recent-file list's handling of addresses needs no server.

#include "ServerCatalogue.h"
#include "browser/DragPayloads.h"
#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/RecentFileList.h"
#include "common/ErrorLog.h"
#include "common/ScriptedInteraction.h"
#include "database/DbAddress.h"
#include "database/DbDatabase.h"
#include "database/DbServices.h"
#include "database/TemplateDatabase.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ServerAddressLists, RecentFilesKeepAddressesWithoutTheirPasswords)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CRecentFileList recent;
    recent.Add(QStringLiteral("host=db dbname=films password=s3cret"));
    recent.Add(QStringLiteral("postgresql://ann:s3cret@db/music"));
    recent.Add(dir.filePath(QStringLiteral("Local.qrl")));
    // The same server catalogue with another password is the same entry.
    recent.Add(QStringLiteral("host=db dbname=films password=other"));
    ASSERT_EQ(recent.Files(),
              (QStringList{QStringLiteral("host=db dbname=films"), dir.filePath(QStringLiteral("Local.qrl")),
                           QStringLiteral("postgresql://ann@db/music")}));
    EXPECT_EQ(recent.MenuText(0), QStringLiteral("&1 host=db dbname=films"));

    const QString ini = dir.filePath(QStringLiteral("settings.ini"));
    {
        QSettings settings(ini, QSettings::IniFormat);
        recent.Save(settings);
    }
    QFile saved(ini);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_FALSE(saved.readAll().contains("s3cret"));
    CRecentFileList loaded;
    loaded.Load(QSettings(ini, QSettings::IniFormat));
    EXPECT_EQ(loaded.Files(), recent.Files());
    loaded.Remove(QStringLiteral("postgresql://ann:x@db/music"));
    EXPECT_EQ(loaded.Files().size(), 2);

    // A file named like a connection string is listed as the file it is.
    const QString odd = dir.filePath(QStringLiteral("host=films"));
    QFile file(odd);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QString saved_dir = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    loaded.Add(QStringLiteral("host=films"));
    QDir::setCurrent(saved_dir);
    EXPECT_EQ(loaded.Files().constFirst(), odd);
}

TEST(ServerAddressLists, DraggedCataloguesNameTheirServerWithoutThePassword)
{
    CCatalogueDragPayload payload;
    payload.record.nKind = CCatalogueTreeRecord::KindCatalogue;
    payload.strDatabasePath = QStringLiteral("host=db dbname=films password=s3cret");
    const QByteArray bytes = payload.Encode();
    EXPECT_FALSE(bytes.contains("s3cret"));
    const std::optional<CCatalogueDragPayload> back = CCatalogueDragPayload::Decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_TRUE(IsSameDatabasePath(back->strDatabasePath, payload.strDatabasePath));
    EXPECT_FALSE(IsSameDatabasePath(back->strDatabasePath, QStringLiteral("host=db dbname=music")));
}

namespace
{
class ServerDocumentTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QUARRANE_NEED_SERVER();
        ASSERT_TRUE(m_dir.isValid());
        SetErrorLogFolder(m_dir.path());
        m_address = CTestPostgresServer::Instance().NewDatabase();
        ASSERT_FALSE(m_address.isEmpty());
        QString error;
        ASSERT_TRUE(CreateServerCatalogue(m_address, &error)) << error.toStdString();
        QObject::connect(&m_doc, &CMirrowelDoc::statusText,
                         [this](const QString& text) { m_shown.append(text); });
        QObject::connect(&m_doc, &CMirrowelDoc::titleChanged,
                         [this](const QString& text) { m_shown.append(text); });
    }
    void TearDown() override { m_doc.CloseDatabase(); }

    void SetVersion(const QString& version)
    {
        CDbDatabase db;
        db.Open(m_address);
        ASSERT_TRUE(SetDatabaseParameter(&db, QStringLiteral("Version"), version));
    }

    QTemporaryDir m_dir;
    QString m_address;
    CScriptedInteraction m_ui;
    CMirrowelDoc m_doc{m_ui};
    QStringList m_shown;
};
} // namespace

TEST_F(ServerDocumentTest, TheTitleShowsTheAddressAndNoPasswordReachesTheWindow)
{
    // The throwaway server trusts its local user: the password is carried, never checked.
    const QString withPassword = m_address + QStringLiteral(" password=s3cret");
    ASSERT_TRUE(m_doc.OpenDatabase(withPassword));
    EXPECT_EQ(m_doc.Title(), m_address);
    EXPECT_FALSE(m_shown.join(QLatin1Char('\n')).contains(QLatin1String("s3cret")));
    EXPECT_TRUE(m_doc.IsOpen());
    EXPECT_GT(m_doc.GetNewRecSetId(QStringLiteral("Group_GroupId")), 0);
}

TEST_F(ServerDocumentTest, AServerCatalogueIsNeverCompacted)
{
    ASSERT_TRUE(m_doc.OpenDatabase(m_address));
    ASSERT_TRUE(m_doc.SetDatabaseParameter(QStringLiteral("CompactOnExit"), QStringLiteral("1")));
    EXPECT_FALSE(m_doc.CompactDatabaseCommand());
    EXPECT_TRUE(m_doc.IsOpen());
    EXPECT_FALSE(m_doc.RepairDatabaseCommand(m_address));
    EXPECT_TRUE(m_doc.CloseCommand());
    EXPECT_FALSE(m_doc.Jobs().IsRunning());
    EXPECT_TRUE(m_ui.Messages().empty());
    // Still there, as it was.
    ASSERT_TRUE(m_doc.OpenDatabase(m_address));
    EXPECT_EQ(m_doc.GetDatabaseParameter(QStringLiteral("CompactOnExit")), QStringLiteral("1"));
}

TEST_F(ServerDocumentTest, ACatalogueOfAnotherVersionIsRefusedAndLeftAsItWas)
{
    struct Case
    {
        const char* version;
        const char* caption;
    };
    for (const Case& c : {Case{"1.003", "Old Quarrane Database"},
                          Case{"1.005", "Database Created by a Newer Version of Quarrane"}})
    {
        SCOPED_TRACE(c.version);
        SetVersion(QString::fromLatin1(c.version));
        const size_t before = m_ui.Messages().size();
        EXPECT_FALSE(m_doc.OpenDatabase(m_address + QStringLiteral(" password=s3cret")));
        EXPECT_FALSE(m_doc.IsOpen());
        ASSERT_EQ(m_ui.Messages().size(), before + 1);
        const CScriptedInteraction::Message shown = m_ui.Messages().back();
        EXPECT_EQ(shown.caption, QString::fromLatin1(c.caption));
        EXPECT_TRUE(shown.text.contains(m_address)) << shown.text.toStdString();
        EXPECT_FALSE(shown.text.contains(QLatin1String("s3cret")));
        CDbDatabase db;
        db.Open(m_address);
        EXPECT_EQ(GetDatabaseParameter(&db, QStringLiteral("Version")), QString::fromLatin1(c.version));
    }
    SetVersion(QStringLiteral("1.004"));
    EXPECT_TRUE(m_doc.OpenDatabase(m_address));
}
