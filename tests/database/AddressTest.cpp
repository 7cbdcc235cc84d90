// Which texts name a server catalogue rather than a file, and what may be kept and shown of them.

#include "common/DbException.h"
#include "database/DbAddress.h"
#include "database/DbDatabase.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(AddressTest, UrlsAndConnectionStringsAreAddressesAndFileNamesAreNot)
{
    EXPECT_TRUE(DbAddress::IsServerAddress(QStringLiteral("postgresql://team@db.example/catalogue")));
    EXPECT_TRUE(DbAddress::IsServerAddress(QStringLiteral("POSTGRES://db/cat")));
    EXPECT_TRUE(DbAddress::IsServerAddress(QStringLiteral("host=/run/postgresql dbname=team")));
    EXPECT_TRUE(DbAddress::IsServerAddress(QStringLiteral("dbname='my team' user=x")));
    EXPECT_TRUE(DbAddress::IsServerAddress(QStringLiteral("service=team")));
    EXPECT_FALSE(DbAddress::IsServerAddress(QString()));
    EXPECT_FALSE(DbAddress::IsServerAddress(QStringLiteral("   ")));
    EXPECT_FALSE(DbAddress::IsServerAddress(QStringLiteral("my catalogue.qrl")));
    EXPECT_FALSE(DbAddress::IsServerAddress(QStringLiteral("postgresql.qrl")));
    EXPECT_FALSE(DbAddress::IsServerAddress(QStringLiteral("/home/a/host=1.qrl")));
    EXPECT_FALSE(DbAddress::IsServerAddress(QStringLiteral("a=b.qrl")));
    EXPECT_FALSE(DbAddress::IsServerAddress(QStringLiteral("dbname='unterminated")));
    // The engine layer asks the same rule.
    EXPECT_EQ(CDbDatabase::IsServerAddress(QStringLiteral("host=x dbname=y")), true);
    EXPECT_EQ(CDbDatabase::IsServerAddress(QStringLiteral("films.qrl")), false);
}

TEST(AddressTest, AnExistingFileNamedLikeAConnectionStringIsAFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const QString name = QStringLiteral("host=films");
    EXPECT_TRUE(DbAddress::IsServerAddress(name)) << "no such file yet";
    QFile file(name);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_FALSE(DbAddress::IsServerAddress(name));
    EXPECT_FALSE(DbAddress::IsServerAddress(dir.filePath(name)));
    // Opened as a file: not a database, rather than a server that cannot be reached.
    CDbDatabase db;
    try
    {
        db.Open(name);
        ADD_FAILURE() << "an empty file opened";
    }
    catch (const CDbException& e)
    {
        EXPECT_EQ(e.m_nErrorCode, 3343) << e.m_strDescription.toStdString();
    }
    QDir::setCurrent(saved);
}

TEST(AddressTest, PasswordsAreLeftOutOfWhatIsKeptAndShown)
{
    EXPECT_EQ(DbAddress::WithoutPassword(QStringLiteral("postgresql://ann:s3cret@db/cat")),
              QStringLiteral("postgresql://ann@db/cat"));
    EXPECT_EQ(DbAddress::WithoutPassword(QStringLiteral("postgresql://db/cat?password=x&sslmode=require")),
              QStringLiteral("postgresql://db/cat?sslmode=require"));
    EXPECT_EQ(DbAddress::WithoutPassword(QStringLiteral("postgresql://db/cat?sslmode=require&PASSWORD=x")),
              QStringLiteral("postgresql://db/cat?sslmode=require"));
    EXPECT_EQ(DbAddress::WithoutPassword(QStringLiteral("host=db password='a b' dbname=cat")),
              QStringLiteral("host=db dbname=cat"));
    EXPECT_EQ(DbAddress::WithoutPassword(QStringLiteral("password=x host=db")), QStringLiteral("host=db"));
    EXPECT_EQ(DbAddress::WithoutPassword(QStringLiteral("dbname='my  team' password = 'it\\'s' user=ann")),
              QStringLiteral("dbname='my  team' user=ann"));
    EXPECT_EQ(DbAddress::WithoutPassword(QStringLiteral("/data/password=x.qrl")),
              QStringLiteral("/data/password=x.qrl"));
    EXPECT_TRUE(DbAddress::HasPassword(QStringLiteral("host=db password=x")));
    EXPECT_FALSE(DbAddress::HasPassword(QStringLiteral("host=db dbname=x")));

    EXPECT_EQ(DbAddress::Display(QStringLiteral("host=db password='a b' dbname=cat")),
              QStringLiteral("host=db password=*** dbname=cat"));
    EXPECT_EQ(DbAddress::TitleName(QStringLiteral("postgresql://ann:pw@db/films")),
              QStringLiteral("postgresql://ann@db/films"));
    EXPECT_EQ(DbAddress::TitleName(QStringLiteral("/data/films.qrl")), QStringLiteral("films.qrl"));
}

TEST(AddressTest, KeysAreStableAndIgnoreThePassword)
{
    const QString key = DbAddress::Key(QStringLiteral("host=db dbname=films password=one"));
    EXPECT_TRUE(key.startsWith(QLatin1String("server-"))) << key.toStdString();
    EXPECT_EQ(key.size(), 7 + 16);
    EXPECT_FALSE(key.contains(QLatin1String("one")));
    EXPECT_EQ(key, DbAddress::Key(QStringLiteral(" host=db dbname=films password=two")));
    EXPECT_EQ(key, DbAddress::Key(QStringLiteral("host=db dbname=films")));
    EXPECT_NE(key, DbAddress::Key(QStringLiteral("host=db dbname=music")));

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    EXPECT_EQ(DbAddress::Key(dir.filePath(QStringLiteral("a/../films.qrl"))),
              DbAddress::Key(dir.filePath(QStringLiteral("films.qrl"))));
    EXPECT_TRUE(DbAddress::Key(QString()).isEmpty());
}
