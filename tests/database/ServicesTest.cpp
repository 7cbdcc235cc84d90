#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "database/DbRetryPolicy.h"
#include "database/DbServices.h"
#include "database/DbTransaction.h"

#include <QFile>

using ServicesTest = BothEnginesFixture;
QUARRANE_ON_BOTH_ENGINES(ServicesTest);

TEST_P(ServicesTest, IdentifiersStartAtOneAndNeverRepeat)
{
    CDbRetryPolicy policy(m_ui);
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), 1);
    EXPECT_EQ(Rows(QStringLiteral("SELECT IndexId FROM IndexId WHERE [Index]='File_FileId'")), QStringList{"1"});
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), 2);
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("FileListFieldView_FileListFieldViewId"), policy), 7);
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), 3);

    // Two connections (two programs) drawing from one counter never get the same value.
    CDbDatabase other;
    other.Open(m_path);
    QList<qint32> ids;
    for (int i = 0; i < 10; ++i)
    {
        ids << GetNewRecSetId(i % 2 ? other : m_db, QStringLiteral("Group_GroupId"), policy);
        EXPECT_EQ(ids.back(), i + 1);
    }
    // A name with a quote mark is just a name.
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("Odd\"Name'_Id"), policy), 1);
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("Odd\"Name'_Id"), policy), 2);
    // Inside a caller's transaction the counter rolls back with it.
    {
        CDbTransaction trans(m_db);
        EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), 4);
    }
    EXPECT_EQ(GetNewRecSetId(m_db, QStringLiteral("File_FileId"), policy), 4);
    EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_P(ServicesTest, ParametersReadWriteAndVersion)
{
    EXPECT_EQ(GetDatabaseParameter(&m_db, QStringLiteral("Version")), QStringLiteral("1.004"));
    EXPECT_EQ(GetDatabaseVersion(&m_db), 1.004);
    EXPECT_EQ(GetDatabaseParameter(&m_db, QStringLiteral("NavigatorWndWidth_alice")), QString());
    EXPECT_EQ(GetDatabaseParameter(nullptr, QStringLiteral("Version")), QString());
    EXPECT_FALSE(SetDatabaseParameter(nullptr, QStringLiteral("Version"), QStringLiteral("2")));

    EXPECT_TRUE(SetDatabaseParameter(&m_db, QStringLiteral("NavigatorWndWidth_alice"), QStringLiteral("250")));
    EXPECT_TRUE(SetDatabaseParameter(&m_db, QStringLiteral("CompactOnExit"), QStringLiteral("1")));
    EXPECT_TRUE(SetDatabaseParameter(&m_db, QStringLiteral("O'Brien's \"width\""), QStringLiteral("7")));
    EXPECT_EQ(GetDatabaseParameter(&m_db, QStringLiteral("NavigatorWndWidth_alice")), QStringLiteral("250"));
    EXPECT_EQ(GetDatabaseParameter(&m_db, QStringLiteral("CompactOnExit")), QStringLiteral("1"));
    EXPECT_EQ(GetDatabaseParameter(&m_db, QStringLiteral("O'Brien's \"width\"")), QStringLiteral("7"));
    EXPECT_EQ(Rows(QStringLiteral("SELECT Description FROM Parameter WHERE Parameter='CompactOnExit'")),
              QStringList{"Whether to compact this database on exit"});
    m_db.Execute(QStringLiteral("UPDATE Parameter SET [Value]=Null WHERE Parameter='CompactOnExit'"));
    EXPECT_EQ(GetDatabaseParameter(&m_db, QStringLiteral("CompactOnExit")), QString());

    const struct
    {
        const char* text;
        double version;
    } versions[] = {{"1.004", 1.004}, {"", 0.0}, {"1.005beta", 1.005}, {" 1.003", 1.003}, {"abc", 0.0}, {"2", 2.0}};
    for (const auto& v : versions)
        EXPECT_EQ(DatabaseVersionFromText(QString::fromUtf8(v.text)), v.version) << v.text;
    m_db.Execute(QStringLiteral("DELETE FROM Parameter WHERE Parameter='Version'"));
    EXPECT_EQ(GetDatabaseVersion(&m_db), 0.0);
    EXPECT_TRUE(m_ui.Messages().empty());
}

TEST_P(ServicesTest, ParameterFailuresAreLoggedWithTheirContext)
{
    m_db.ExecuteSqliteScript(QStringLiteral("DROP TABLE \"Parameter\""));
    EXPECT_EQ(GetDatabaseParameter(&m_db, QStringLiteral("Version"), QStringLiteral("CMwuTaskManager::Manage() - Version")), QString());
    EXPECT_TRUE(LogText().contains(QStringLiteral("CMwuTaskManager::Manage() - Version")));
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Exception Occurred"));
}

TEST(TemplateDatabase, NewDatabaseIsTheTemplateByteForByte)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("new.qrl"));
    // An older database of that name, with a journal left beside it, is replaced wholly.
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'x'));
    old.close();
    QFile stale(path + QStringLiteral("-wal"));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.write("stale");
    stale.close();

    ASSERT_TRUE(WriteTemplateDatabase(path));
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    EXPECT_EQ(bytes, TemplateDatabaseBytes());
    EXPECT_FALSE(QFile::exists(path + QStringLiteral("-wal")));
    QFile built(QStringLiteral(QUARRANE_TEMPLATE_QRL));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    EXPECT_EQ(bytes, built.readAll());

    // A folder that does not exist: a clear failure, nothing created.
    QString error;
    EXPECT_FALSE(WriteTemplateDatabase(dir.filePath(QStringLiteral("no/such/folder.qrl")), &error));
    EXPECT_FALSE(error.isEmpty());
}
