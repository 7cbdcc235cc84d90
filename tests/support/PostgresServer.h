#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <memory>

#include <pwd.h>
#include <sys/types.h>
#include <unistd.h>

// A throwaway PostgreSQL server for the tests of one program: initdb in a temporary folder, a
// Unix socket in that folder and no TCP port, trust for the local superuser "quarrane". Run as
// root, the server runs as nobody (the server refuses root). Started on first use, stopped when
// the program exits. Without the server programs (QUARRANE_PG_BINDIR, else the newest
// /usr/lib/postgresql/*/bin) Available() is false and Reason() says why, for GTEST_SKIP.
class CTestPostgresServer final
{
public:
    static CTestPostgresServer& Instance()
    {
        static CTestPostgresServer* server = []
        {
            auto* made = new CTestPostgresServer();
            std::atexit([] { Instance().Stop(); });
            return made;
        }();
        return *server;
    }

    bool Available() const { return m_running; }
    QString Reason() const { return m_reason; }

    // A new, empty database on the server; its address as a libpq connection string.
    QString NewDatabase() { return Create(QString()); }

    // A new database holding a copy of the one at address (no session may be connected to it).
    QString CopyDatabase(const QString& address)
    {
        return Create(QStringLiteral("-T %1").arg(DatabaseName(address)));
    }

    static QString DatabaseName(const QString& address)
    {
        return address.section(QStringLiteral("dbname="), 1).section(QLatin1Char(' '), 0, 0);
    }

    // Gives a database another name (nobody may be connected to it); false when that name is taken.
    bool RenameDatabase(const QString& address, const QString& name)
    {
        return Run(
            QStringLiteral("%1/psql -q -h %2 -U quarrane -d postgres -c 'ALTER DATABASE %3 RENAME TO %4' "
                           ">/dev/null 2>&1")
                .arg(m_bin, SocketDir(), DatabaseName(address), name),
            false);
    }

    // Whether the server is the whole test run's, shared with other test processes.
    bool Shared() const { return !m_sharedDir.isEmpty(); }

    QString AddressOf(const QString& database) const
    {
        return QStringLiteral("host=%1 user=quarrane dbname=%2").arg(SocketDir(), database);
    }
    QString SocketDir() const
    {
        return !m_sharedDir.isEmpty() ? m_sharedDir : m_dir ? m_dir->path() : QString();
    }

private:
    CTestPostgresServer()
    {
        if (UseSharedServer())
            return;
        m_bin = qEnvironmentVariable("QUARRANE_PG_BINDIR");
        if (m_bin.isEmpty())
        {
            const QDir versions(QStringLiteral("/usr/lib/postgresql"));
            QStringList found = versions.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
            std::sort(found.begin(), found.end(),
                      [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
            if (!found.isEmpty())
                m_bin = versions.filePath(found.last() + QStringLiteral("/bin"));
        }
        if (m_bin.isEmpty() || !QFileInfo(m_bin + QStringLiteral("/initdb")).isExecutable())
        {
            m_reason = QStringLiteral("PostgreSQL is not installed");
            return;
        }
        m_dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/qrlpg-XXXXXX"));
        if (!m_dir->isValid())
        {
            m_reason = QStringLiteral("no temporary folder for the server");
            return;
        }
        if (::geteuid() == 0)
        {
            const passwd* nobody = ::getpwnam("nobody");
            if (!nobody ||
                ::chown(QFile::encodeName(SocketDir()).constData(), nobody->pw_uid, nobody->pw_gid) != 0)
            {
                m_reason = QStringLiteral("cannot hand the server's folder to user nobody");
                return;
            }
            m_asNobody = true;
        }
        const QString data = SocketDir() + QStringLiteral("/data");
        if (!Run(QStringLiteral(
                     "%1/initdb -D %2 -U quarrane -A trust -E UTF8 --locale=C --no-sync >%3/initdb.log 2>&1")
                     .arg(m_bin, data, SocketDir()),
                 true))
        {
            m_reason = QStringLiteral("initdb failed (see %1/initdb.log)").arg(SocketDir());
            return;
        }
        const QString options =
            QStringLiteral(
                "-k %1 -c listen_addresses= -c fsync=off -c synchronous_commit=off -c full_page_writes=off")
                .arg(SocketDir());
        if (!Run(QStringLiteral("%1/pg_ctl -D %2 -w -t 60 -l %3/server.log -o '%4' start >/dev/null 2>&1")
                     .arg(m_bin, data, SocketDir(), options),
                 true))
        {
            m_reason = QStringLiteral("the server did not start (see %1/server.log)").arg(SocketDir());
            return;
        }
        m_running = true;
    }

    QString Create(const QString& options)
    {
        const QString name = QStringLiteral("test%1_%2").arg(::getpid()).arg(++m_databases);
        if (!Run(QStringLiteral("%1/createdb -h %2 -U quarrane %3 %4").arg(m_bin, SocketDir(), options, name),
                 false))
            return QString();
        return AddressOf(name);
    }

    // The server of the whole test run, where CTest started one: QUARRANE_TEST_PG_FILE (the
    // environment's, else the build's) names a file holding its folder and the server programs'.
    bool UseSharedServer()
    {
        QString path = qEnvironmentVariable("QUARRANE_TEST_PG_FILE");
#ifdef QUARRANE_TEST_PG_FILE
        if (path.isEmpty())
            path = QStringLiteral(QUARRANE_TEST_PG_FILE);
#endif
        QFile file(path);
        if (file.fileName().isEmpty() || !file.open(QIODevice::ReadOnly))
            return false;
        const QStringList lines = QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'));
        if (lines.size() < 2 || !QFileInfo::exists(lines[0] + QStringLiteral("/.s.PGSQL.5432")))
            return false;
        m_sharedDir = lines[0];
        m_bin = lines[1];
        m_running = true;
        return true;
    }

    void Stop()
    {
        if (!m_sharedDir.isEmpty())
            return;
        if (!m_running)
            return;
        m_running = false;
        Run(QStringLiteral("%1/pg_ctl -D %2/data -m immediate stop >/dev/null 2>&1").arg(m_bin, SocketDir()),
            true);
        m_dir.reset();
    }

    // Runs a shell command line (the paths here are ours, without spaces or quotes), as the
    // server's user where asServer.
    bool Run(const QString& command, bool asServer) const
    {
        const QString line = asServer && m_asNobody
                                 ? QStringLiteral("runuser -u nobody -- sh -c \"%1\"").arg(command)
                                 : command;
        return std::system(line.toLocal8Bit().constData()) == 0;
    }

    QString m_bin;
    QString m_reason;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_sharedDir;
    bool m_asNobody = false;
    bool m_running = false;
    std::atomic<int> m_databases{0};
};
