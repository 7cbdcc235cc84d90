#include "ServerThread.h"
#include "common/ConversationClient.h"
#include "common/ConversationProtocol.h"
#include "common/ErrorLog.h"
#include "platform/PrivateFolder.h"
#include "platform/ProgramInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#ifndef CONVERSATION_PEER_PATH
#error "CONVERSATION_PEER_PATH must name the conversation_peer helper"
#endif

namespace
{
constexpr uid_t kNobody = 65534;

// The error log of the refusals goes to a folder of the test's own.
class CErrorLogScope final
{
public:
    CErrorLogScope() { SetErrorLogFolder(m_dir.path()); }
    ~CErrorLogScope() { SetErrorLogFolder(QString()); }
    QString Text() const
    {
        QFile log(ErrorLogPath());
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

private:
    QTemporaryDir m_dir;
};

// The arguments that run a program as the user nobody; empty when that cannot be done here.
QStringList AsNobody()
{
    const QString setpriv = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    if (setpriv.isEmpty() || geteuid() != 0)
        return {};
    return {setpriv, QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
            QStringLiteral("--clear-groups")};
}

// Starts the helper, as nobody when asNobody, with the rest of the arguments.
void StartPeer(QProcess& process, bool asNobody, const QStringList& arguments)
{
    QStringList command = asNobody ? AsNobody() : QStringList();
    command << QStringLiteral(CONVERSATION_PEER_PATH) << arguments;
    process.start(command.takeFirst(), command);
}

mode_t ModeOf(const QString& path)
{
    struct stat status = {};
    return lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode : 0;
}

// A folder that every user may write in, as /tmp is.
QString SharedFolder(const QTemporaryDir& dir, const QString& name)
{
    const QString folder = dir.filePath(name);
    QDir().mkpath(folder);
    chmod(QFile::encodeName(dir.path()).constData(), 0755);
    chmod(QFile::encodeName(folder).constData(), 01777);
    return folder;
}
} // namespace

TEST(PrivateFolder, OnlyARealFolderOfOurOwnClosedToOthersIsUsed)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString ours = dir.filePath(QStringLiteral("ours"));
    ASSERT_TRUE(QDir().mkpath(ours));
    chmod(QFile::encodeName(ours).constData(), 0700);
    const QString open = dir.filePath(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkpath(open));
    chmod(QFile::encodeName(open).constData(), 0777);
    const QString groupReadable = dir.filePath(QStringLiteral("group"));
    ASSERT_TRUE(QDir().mkpath(groupReadable));
    chmod(QFile::encodeName(groupReadable).constData(), 0750);
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(ours, link));
    const QString plain = dir.filePath(QStringLiteral("plain"));
    QFile(plain).open(QIODevice::WriteOnly);

    const struct
    {
        QString path;
        bool accepted;
        QString reason;
    } cases[] = {
        {ours, true, QString()},
        {dir.filePath(QStringLiteral("new/deeper")), true, QString()},
        {open, false, QStringLiteral("other users")},
        {groupReadable, false, QStringLiteral("other users")},
        {link, false, QStringLiteral("not a folder")},
        {plain, false, QStringLiteral("not a folder")},
    };
    for (const auto& c : cases)
    {
        QString error;
        EXPECT_EQ(EnsurePrivateFolder(c.path, &error), c.accepted) << c.path.toStdString();
        EXPECT_TRUE(error.contains(c.reason)) << error.toStdString();
        if (c.accepted)
            EXPECT_EQ(ModeOf(c.path) & 0777, 0700u) << c.path.toStdString();
    }
    // Refusing changes nothing of what was found.
    EXPECT_EQ(ModeOf(open) & 0777, 0777u);
    EXPECT_TRUE(QFileInfo(link).isSymLink());

    if (geteuid() != 0)
        GTEST_SKIP() << "another user's folder needs root to make (chown)";
    const QString theirs = dir.filePath(QStringLiteral("theirs"));
    ASSERT_TRUE(QDir().mkpath(theirs));
    chmod(QFile::encodeName(theirs).constData(), 0700);
    ASSERT_EQ(chown(QFile::encodeName(theirs).constData(), kNobody, kNobody), 0);
    QString error;
    EXPECT_FALSE(EnsurePrivateFolder(theirs, &error));
    EXPECT_TRUE(error.contains(QStringLiteral("belongs to the user nobody"))) << error.toStdString();
}

// The fallback folder below the temporary folder, made first by another user: servers and
// clients refuse it, and the squatter receives nothing.
TEST(PrivateFolder, AFallbackFolderSquattedByAnotherUserIsRefused)
{
    if (AsNobody().isEmpty())
        GTEST_SKIP() << "cannot run a process as the user nobody (needs root and setpriv)";
    CErrorLogScope log;
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString tmp = SharedFolder(dir, QStringLiteral("tmp"));
    const QString squatted = tmp + QStringLiteral("/quarrane-") + CurrentLoginName();

    // The other user makes the folder, open to all, and waits there with a server of its own.
    QProcess mkdir;
    QStringList command = AsNobody();
    command << QStringLiteral("mkdir") << QStringLiteral("-m") << QStringLiteral("0777") << squatted;
    mkdir.start(command.takeFirst(), command);
    ASSERT_TRUE(mkdir.waitForFinished(10000));
    ASSERT_EQ(mkdir.exitCode(), 0) << mkdir.readAllStandardError().toStdString();
    QProcess squatter;
    StartPeer(squatter, true, {QStringLiteral("serve"), squatted + QStringLiteral("/QuarraneSynch")});
    ASSERT_TRUE(squatter.waitForReadyRead(10000));
    ASSERT_EQ(squatter.readLine().trimmed(), QByteArray("listening"));

    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    qunsetenv("QUARRANE_RUNTIME_DIR");
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", tmp.toUtf8());
    QString error;
    const QString path = ConversationServerPath(QStringLiteral("QuarraneSynch"), &error);
    CConversationClient client;
    const bool connected = client.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("CmdLine"), 2000);
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
    if (savedTmp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", savedTmp);

    EXPECT_TRUE(path.isEmpty()) << path.toStdString();
    EXPECT_TRUE(error.contains(QStringLiteral("belongs to the user nobody"))) << error.toStdString();
    EXPECT_FALSE(connected);
    EXPECT_TRUE(client.LastErrorText().contains(QStringLiteral("belongs to the user nobody")));
    // Not a byte reached the squatter's server.
    QTest::qWait(200);
    EXPECT_FALSE(squatter.readAllStandardOutput().contains("received"));
    EXPECT_EQ(ModeOf(squatted) & 0777, 0777u) << "the other user's folder is left as it is";
    squatter.kill();
    squatter.waitForFinished();
}

// A socket in our own folder that another user's program answers on (planted, or moved there):
// the client says nothing to it. The same helper run as ourselves is talked to, so the check is
// about the user and nothing else.
TEST(PeerCheck, AClientTalksOnlyToAServerOfItsOwnUser)
{
    if (AsNobody().isEmpty())
        GTEST_SKIP() << "cannot run a process as the user nobody (needs root and setpriv)";
    CErrorLogScope log;
    CPrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.IsValid());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString shared = SharedFolder(dir, QStringLiteral("shared"));

    for (const bool otherUser : {false, true})
    {
        SCOPED_TRACE(otherUser ? "server of another user" : "server of our own user");
        const QString where = shared + (otherUser ? QStringLiteral("/theirs") : QStringLiteral("/ours"));
        QProcess server;
        StartPeer(server, otherUser, {QStringLiteral("serve"), where});
        ASSERT_TRUE(server.waitForReadyRead(10000));
        ASSERT_EQ(server.readLine().trimmed(), QByteArray("listening"));
        // Put in place of the synchronizer's socket.
        const QString service = ConversationServerPath(QStringLiteral("QuarraneSynch"));
        QFile::remove(service);
        ASSERT_EQ(::rename(QFile::encodeName(where).constData(), QFile::encodeName(service).constData()), 0);

        CConversationClient client;
        const bool connected =
            client.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("CmdLine"), 3000);
        EXPECT_EQ(connected, !otherUser) << client.LastErrorText().toStdString();
        if (connected)
            EXPECT_EQ(client.Execute(QStringLiteral("-Database=x")), kDdeFAck);
        else
        {
            EXPECT_TRUE(client.LastErrorText().contains(QStringLiteral("another user")));
            EXPECT_TRUE(log.Text().contains(QStringLiteral("runs as another user")));
        }
        client.Disconnect();
        QTest::qWait(200);
        const QByteArray heard = server.readAllStandardOutput();
        EXPECT_EQ(heard.contains("received"), !otherUser) << heard.toStdString();
        server.kill();
        server.waitForFinished();
        QFile::remove(service);
    }
}

// Our server reached by another user's program (through a link to its socket that the other user
// can open): the connection is dropped without an answer. Our own user is answered.
TEST(PeerCheck, AServerDropsPeersOfAnotherUser)
{
    if (AsNobody().isEmpty())
        GTEST_SKIP() << "cannot run a process as the user nobody (needs root and setpriv)";
    CPrivateRuntimeDir runtime;
    ASSERT_TRUE(runtime.IsValid());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString shared = SharedFolder(dir, QStringLiteral("shared"));
    ServerThread server(QStringLiteral("QuarraneSynch"));
    ASSERT_TRUE(server.Listening());
    const QString socket = ConversationServerPath(QStringLiteral("QuarraneSynch"));
    const QString door = shared + QStringLiteral("/door");
    ASSERT_EQ(::link(QFile::encodeName(socket).constData(), QFile::encodeName(door).constData()), 0);
    ASSERT_EQ(chmod(QFile::encodeName(door).constData(), 0777), 0);

    for (const bool otherUser : {false, true})
    {
        QProcess peer;
        StartPeer(peer, otherUser, {QStringLiteral("send"), door});
        ASSERT_TRUE(peer.waitForFinished(15000));
        EXPECT_EQ(peer.readAllStandardOutput().trimmed(),
                  otherUser ? QByteArray("dropped") : QByteArray("answered"));
    }
    int refused = 0;
    server.OnServer([&refused](CConversationServer& s) { refused = s.RefusedPeerCount(); });
    EXPECT_EQ(refused, 1);
    // Only our own user's execute reached the handler.
    EXPECT_EQ(server.Transactions().size(), 1u);
}
