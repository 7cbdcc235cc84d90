// Server catalogues made by an earlier build lack functions that this build's statements call:
// opening one for writing adds them; a login that may only read is told what to run.

#include "DatabaseFixture.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "database/DbErrorCodes.h"
#include "database/PgServerFunctions.h"

#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace
{
struct UpgradeRows : DatabaseFixture
{
    using DatabaseFixture::RowsOf;
};

class ServerUpgrade : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_log.isValid());
        SetErrorLogFolder(m_log.path());
        QUARRANE_NEW_SERVER_CATALOGUE(m_address);
        CDbDatabase db;
        db.Open(m_address);
        for (const char* name : {"b", "A", "c"})
            db.Execute(QStringLiteral("INSERT INTO [Group] (GroupId, [Group]) VALUES (?, ?)"),
                       {CDbValue(static_cast<qint32>(name[0])), CDbValue(QString::fromLatin1(name))});
        // What an earlier build made: no jet_order at all.
        db.ExecuteSqliteScript(
            QStringLiteral("DROP FUNCTION jet_order(text); DROP FUNCTION jet_order(anyelement)"));
    }
    void TearDown() override { SetErrorLogFolder(QString()); }

    static QStringList Rows(CDbDatabase& db, const char* jetSql)
    {
        return UpgradeRows::RowsOf(db, QString::fromUtf8(jetSql));
    }
    static QStringList Sorted(CDbDatabase& db)
    {
        return Rows(db, "SELECT [Group] FROM [Group] ORDER BY [Group].[Group]");
    }
    static QStringList Unsorted(CDbDatabase& db)
    {
        QStringList rows = Rows(db, "SELECT [Group] FROM [Group] WHERE GroupId > 0");
        rows.sort(Qt::CaseInsensitive);
        return rows;
    }
    QString LogText() const
    {
        QFile file(ErrorLogPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // A login of the server that may read the catalogue's tables and nothing more (or, not even
    // that).
    QString ReaderAddress(bool mayRead = true)
    {
        const QString role = QStringLiteral("%1_%2").arg(mayRead ? "reader" : "stranger").arg(::getpid());
        // Opened for reading, which adds nothing, then allowed to make the role.
        CDbDatabase owner;
        owner.Open(m_address, EDbOpenMode::ReadOnly);
        owner.ExecuteSqliteScript(QStringLiteral("SET default_transaction_read_only = off"));
        owner.ExecuteSqliteScript(
            QStringLiteral(
                "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE %1 "
                "LOGIN; END IF; END $$;%2")
                .arg(role, mayRead ? QStringLiteral(" GRANT SELECT ON ALL TABLES IN SCHEMA public TO ") + role
                                   : QString()));
        return QString(m_address).replace(QStringLiteral("user=quarrane"), QStringLiteral("user=") + role);
    }

    QTemporaryDir m_log;
    QString m_address;
};
} // namespace

TEST_F(ServerUpgrade, OpeningForWritingAddsWhatAnEarlierBuildLeftOut)
{
    const QStringList expected = {QStringLiteral("A"), QStringLiteral("b"), QStringLiteral("c")};
    {
        // Reading leaves the catalogue as it is: what needs the function says what to run.
        CDbDatabase reading;
        reading.Open(m_address, EDbOpenMode::ReadOnly);
        EXPECT_EQ(Unsorted(reading), expected);
        try
        {
            Sorted(reading);
            ADD_FAILURE() << "sorted without jet_order";
        }
        catch (const CDbException& e)
        {
            EXPECT_EQ(e.m_nErrorCode, DbErrors::kInputNotFound);
            EXPECT_TRUE(e.m_strDescription.contains(QLatin1String("jet_order")))
                << e.m_strDescription.toStdString();
            EXPECT_TRUE(e.m_strDescription.contains(QLatin1String("quarrane-cli repair")))
                << e.m_strDescription.toStdString();
        }
    }
    CDbDatabase writing;
    writing.Open(m_address);
    EXPECT_EQ(Sorted(writing), expected);
    EXPECT_EQ(Rows(writing, "SELECT Max(GroupId) FROM [Group] WHERE [Group] LIKE 'B*'"), QStringList{"98"});
    // Lacking it again, opened by several programs at once: each adds it or finds it added, and
    // none is refused.
    writing.ExecuteSqliteScript(
        QStringLiteral("DROP FUNCTION jet_order(text); DROP FUNCTION jet_order(anyelement)"));
    writing.Close();
    constexpr int kOpeners = 4;
    std::vector<QStringList> sorted(kOpeners);
    std::vector<std::string> failures(kOpeners);
    {
        std::vector<std::thread> openers;
        for (int i = 0; i < kOpeners; ++i)
            openers.emplace_back(
                [&, i]
                {
                    try
                    {
                        CDbDatabase db;
                        db.Open(m_address);
                        sorted[static_cast<size_t>(i)] = Sorted(db);
                    }
                    catch (const CDbException& e)
                    {
                        failures[static_cast<size_t>(i)] = e.m_strDescription.toStdString();
                    }
                });
        for (std::thread& opener : openers)
            opener.join();
    }
    for (int i = 0; i < kOpeners; ++i)
    {
        EXPECT_EQ(failures[static_cast<size_t>(i)], std::string()) << i;
        EXPECT_EQ(sorted[static_cast<size_t>(i)], expected) << i;
    }
    CDbDatabase reading;
    reading.Open(m_address, EDbOpenMode::ReadOnly);
    EXPECT_EQ(Sorted(reading), expected);
    EXPECT_EQ(LogText(), QString());
}

TEST_F(ServerUpgrade, ALoginThatMayOnlyReadIsToldWhatToRun)
{
    const QString reader = ReaderAddress();
    CDbDatabase db;
    db.Open(reader);
    EXPECT_EQ(Unsorted(db), (QStringList{"A", "b", "c"}));
    long code = 0;
    QString text;
    try
    {
        Sorted(db);
    }
    catch (const CDbException& e)
    {
        code = e.m_nErrorCode;
        text = e.m_strDescription;
    }
    EXPECT_EQ(code, DbErrors::kInputNotFound);
    EXPECT_TRUE(text.contains(QLatin1String("quarrane-cli repair"))) << text.toStdString();
    EXPECT_TRUE(LogText().contains(QLatin1String("jet_order(text), jet_order(anyelement)")))
        << LogText().toStdString();
    // Writing is refused as on a read-only file.
    EXPECT_EQ(ErrorOf([&] { db.Execute(QStringLiteral("UPDATE [Group] SET [Group]='d' WHERE GroupId=99")); }),
              DbErrors::kReadOnly);
    db.Close();

    // A login that may not even read is told so, not that the catalogue is no catalogue.
    CDbDatabase stranger;
    long refused = 0;
    try
    {
        stranger.Open(ReaderAddress(false));
    }
    catch (const CDbException& e)
    {
        refused = e.m_nErrorCode;
        EXPECT_TRUE(e.m_strDescription.contains(QLatin1String("may not read")))
            << e.m_strDescription.toStdString();
    }
    EXPECT_EQ(refused, DbErrors::kCannotOpen);

    // Once the owner has opened it, the reader sorts too.
    CDbDatabase owner;
    owner.Open(m_address);
    owner.Close();
    db.Open(reader);
    EXPECT_EQ(Sorted(db), (QStringList{"A", "b", "c"}));
}

// What an upgrade runs: the collation and the missing functions, nothing of what is there.
TEST(ServerFunctions, AnUpgradeCreatesOnlyWhatIsMissing)
{
    const QString sortOnly = PgServerFunctions::ScriptFor({QStringLiteral("jet_order(text)")});
    EXPECT_TRUE(sortOnly.contains(QLatin1String("CREATE COLLATION IF NOT EXISTS general")));
    EXPECT_TRUE(sortOnly.contains(QLatin1String("FUNCTION jet_order(value text)")));
    EXPECT_TRUE(sortOnly.contains(QLatin1String("FUNCTION jet_order(value anyelement)")));
    for (const char* other : {"FUNCTION jet_like", "FUNCTION strcomp", "FUNCTION getusername"})
        EXPECT_FALSE(sortOnly.contains(QLatin1String(other))) << other;
    // Every signature is made by the script, and all of them make all of it.
    const QString all = PgServerFunctions::ScriptFor(PgServerFunctions::Signatures());
    EXPECT_EQ(all.count(QLatin1String("CREATE OR REPLACE FUNCTION")),
              PgServerFunctions::Script().count(QLatin1String("CREATE OR REPLACE FUNCTION")));
    EXPECT_EQ(PgServerFunctions::Script().count(QLatin1String("CREATE OR REPLACE FUNCTION")),
              PgServerFunctions::Signatures().size());
    EXPECT_FALSE(PgServerFunctions::ScriptFor({}).contains(QLatin1String("FUNCTION")));
    EXPECT_EQ(PgServerFunctions::NamedIn(QStringLiteral("function jet_order(integer) does not exist")),
              QStringLiteral("jet_order"));
    EXPECT_EQ(PgServerFunctions::NamedIn(QStringLiteral("function lower(integer) does not exist")),
              QString());
}
