#include "ServerThread.h"
#include "common/ConversationClient.h"
#include "common/ConversationServer.h"
#include "common/DdeSender.h"
#include "common/ScriptedInteraction.h"

#include <QEventLoop>
#include <QLocalSocket>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

namespace
{
class ConversationTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_runtime.IsValid()); }
    CPrivateRuntimeDir m_runtime;
};
} // namespace

TEST(ConversationFrames, SurvivePiecesAndRefuseWhatIsMalformed)
{
    const QByteArray frame = EncodeConversationFrame(
        {ConversationKind::Poke, 7, 0, {QStringLiteral("item ä"), QStringLiteral("-Database=\"x y\"")}});
    const QByteArray two = frame + EncodeConversationFrame({ConversationKind::Answer, 7, kDdeFAck, {}});

    // Byte by byte: nothing until each frame is whole, then both in order.
    CConversationFrameReader reader;
    std::vector<ConversationFrame> frames;
    for (char byte : two)
    {
        reader.Append(QByteArray(1, byte));
        ConversationFrame f;
        while (reader.Next(f) == CConversationFrameReader::Result::Frame)
            frames.push_back(f);
    }
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].kind, ConversationKind::Poke);
    EXPECT_EQ(frames[0].transactionId, 7u);
    EXPECT_EQ(frames[0].strings, QStringList({"item ä", "-Database=\"x y\""}));
    EXPECT_EQ(frames[1].kind, ConversationKind::Answer);
    EXPECT_EQ(frames[1].value, kDdeFAck);

    auto verdict = [](const QByteArray& bytes) {
        CConversationFrameReader r;
        r.Append(bytes);
        ConversationFrame f;
        return r.Next(f);
    };
    using R = CConversationFrameReader::Result;
    QByteArray oversized("\x7f\xff\xff\xff", 4);
    EXPECT_EQ(verdict(oversized), R::Malformed);
    QByteArray wrongVersion = frame;
    wrongVersion[4] = 2;
    EXPECT_EQ(verdict(wrongVersion), R::Malformed);
    QByteArray unknownKind = frame;
    unknownKind[5] = 0x7e;
    EXPECT_EQ(verdict(unknownKind), R::Malformed);
    // A string length that runs past the frame, and a frame with bytes left over.
    QByteArray overrun = frame;
    overrun[17] = 0x7f;
    EXPECT_EQ(verdict(overrun), R::Malformed);
    QByteArray trailing = EncodeConversationFrame({ConversationKind::Answer, 1, 0, {}});
    trailing[3] = static_cast<char>(trailing[3] + 1);
    trailing.append('x');
    EXPECT_EQ(verdict(trailing), R::Malformed);
    EXPECT_EQ(verdict(frame.left(frame.size() - 1)), R::NeedMore);
}

TEST_F(ConversationTest, TransactionsReachTheHandlerAndLinksGetAdvises)
{
    ServerThread server(QStringLiteral("QuarraneSynch"));
    ASSERT_TRUE(server.Listening());

    CConversationClient client;
    ASSERT_TRUE(client.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("AddFiles")));
    EXPECT_EQ(client.AdviseStart(QStringLiteral("-Database=\"/a b.qrl\" -CatalogueID=7 -AddFiles")), kDdeFAck);
    EXPECT_EQ(client.AdviseStart(QStringLiteral("busy")), kDdeFBusy);
    EXPECT_EQ(client.LastError(), kDmlErrBusy);
    EXPECT_EQ(client.Execute(QString::fromUtf8("with\0nul", 8)), kDdeFAck);
    EXPECT_EQ(client.Poke(QStringLiteral("item"), QStringLiteral("data")), kDdeFAck);

    const auto transactions = server.Transactions();
    ASSERT_EQ(transactions.size(), 4u);
    EXPECT_EQ(transactions[0].kind, ConversationKind::AdviseStart);
    EXPECT_EQ(transactions[0].topic, QStringLiteral("AddFiles"));
    EXPECT_EQ(transactions[0].item, QStringLiteral("-Database=\"/a b.qrl\" -CatalogueID=7 -AddFiles"));
    EXPECT_EQ(transactions[2].data, QStringLiteral("withnul"));
    EXPECT_EQ(transactions[3].item, QStringLiteral("item"));
    EXPECT_EQ(transactions[3].data, QStringLiteral("data"));

    // Only the acknowledged advise-start made a link: one advise, then the final notice.
    server.OnServer([](CConversationServer& s) { s.PostAdvise(); });
    const quint64 link = transactions[0].linkId;
    server.OnServer([link](CConversationServer& s) { s.PostFinalAdvise(link, 4313); });
    EXPECT_EQ(client.WaitForFinalAdvise(5000), 4313u);
    const auto advises = client.TakeAdvises();
    ASSERT_EQ(advises.size(), 1u);
    EXPECT_FALSE(advises[0].final);
    EXPECT_EQ(advises[0].topic, QStringLiteral("AddFiles"));
    EXPECT_EQ(advises[0].item, QStringLiteral("-Database=\"/a b.qrl\" -CatalogueID=7 -AddFiles"));
}

TEST_F(ConversationTest, MalformedOrOversizedMessagesDropOnlyTheirConnection)
{
    ServerThread server(QStringLiteral("QuarraneSynch"));
    ASSERT_TRUE(server.Listening());
    CConversationClient good;
    ASSERT_TRUE(good.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("CmdLine")));

    const QString path = ConversationServerPath(QStringLiteral("QuarraneSynch"));
    const QByteArray attacks[] = {
        QByteArray("\x7f\xff\xff\xff" "garbage", 11),                             // claims 2 GB
        QByteArray(64, '\x00'),                                                    // too short to be a frame
        EncodeConversationFrame({ConversationKind::AdviseStart, 1, 0, {"no connect first"}}),
        EncodeConversationFrame({ConversationKind::Answer, 1, 0, {}}),             // a server's message
    };
    for (const QByteArray& bytes : attacks)
    {
        QLocalSocket bad;
        bad.connectToServer(path);
        ASSERT_TRUE(bad.waitForConnected(2000));
        bad.write(bytes);
        bad.flush();
        // The server closes the connection rather than answering.
        EXPECT_FALSE(bad.waitForReadyRead(2000) && bad.bytesAvailable() > 0);
        EXPECT_TRUE(bad.state() == QLocalSocket::UnconnectedState || bad.waitForDisconnected(2000));
    }
    EXPECT_EQ(good.Execute(QStringLiteral("still here")), kDdeFAck);
    ASSERT_EQ(server.Transactions().size(), 1u);
    EXPECT_EQ(server.Transactions()[0].data, QStringLiteral("still here"));
}

TEST_F(ConversationTest, AStaleSocketIsReplacedButALiveServerKeepsItsName)
{
    {
        ServerThread first(QStringLiteral("Svc"));
        ASSERT_TRUE(first.Listening());
        ServerThread second(QStringLiteral("Svc"));
        EXPECT_FALSE(second.Listening());
    }
    // A crashed server leaves its socket file; a plain file of that name stands in for it.
    QFile stale(ConversationServerPath(QStringLiteral("Stale")));
    ASSERT_TRUE(stale.open(QIODevice::WriteOnly));
    stale.close();
    ServerThread third(QStringLiteral("Stale"));
    EXPECT_TRUE(third.Listening());
}

TEST_F(ConversationTest, SendersExplainFailuresInTheirOwnWords)
{
    CScriptedInteraction ui;
    EXPECT_EQ(DdeErrorText(0x400A), QStringLiteral("The attempt to establish a conversation has failed"));
    EXPECT_EQ(DdeErrorText(0x1234), QStringLiteral("An unknown DDE error occured."));

    // The program to start does not exist.
    const QString missing = m_runtime.FilePath(QStringLiteral("no-such-synch"));
    EXPECT_FALSE(SendDdeCommand(missing, QStringLiteral("QuarraneSynch"), QStringLiteral("AddFiles"),
                                QStringLiteral("-Database=x"), true, ui));
    // A file that cannot be executed.
    QFile text(m_runtime.FilePath(QStringLiteral("not-a-program")));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.close();
    EXPECT_FALSE(SendDdeCommand(text.fileName(), QStringLiteral("QuarraneSynch"), QStringLiteral("AddFiles"),
                                QStringLiteral("-Database=x"), true, ui));
    // Started (a program that serves nothing), but nobody answers.
    DdeSendOptions quick;
    quick.startWaitMs = 300;
    EXPECT_FALSE(SendDdeCommand(QStringLiteral("/bin/true"), QStringLiteral("QuarraneSynch"),
                                QStringLiteral("Synchronize"), QStringLiteral("-Database=x"), true, ui, quick));
    EXPECT_FALSE(ForwardCommandLine(missing, QStringLiteral("QuarraneSynch"), QStringLiteral("CmdLine"),
                                    QStringLiteral("-Database=x"), ui));
    EXPECT_FALSE(ForwardCommandLine(QStringLiteral("/bin/true"), QStringLiteral("QuarraneSynch"),
                                    QStringLiteral("CmdLine"), QStringLiteral("-Database=x"), ui, 300));

    const auto m = ui.Messages();
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].text, QStringLiteral("The following application could not be found:\r\n    ") + missing);
    EXPECT_EQ(m[0].caption, QStringLiteral("Unable to send the DDE message"));
    EXPECT_EQ(m[1].text, QStringLiteral("The following application could not be executed:\r\n    ") + text.fileName());
    EXPECT_EQ(m[2].text, QStringLiteral("The attempt to establish a conversation has failed"));
    EXPECT_EQ(m[2].caption, QStringLiteral("Unable to send the DDE message:  Synchronize"));
    EXPECT_EQ(m[3].text, QStringLiteral("The Quarrane Synchronizer module could not be found!"));
    EXPECT_EQ(m[3].caption, QStringLiteral("Missing Quarrane Synchronizer Module"));
    EXPECT_EQ(m[4].text, QStringLiteral("A connection to the QuarraneSynch module could not be made"));
    EXPECT_EQ(m[4].caption, QStringLiteral("Unable to send the DDE message:  CmdLine"));
    EXPECT_EQ(ui.WaitCursorDepth(), 0);

    // With a server up, the item arrives and the client can be kept to hear the final notice.
    ServerThread server(QStringLiteral("QuarraneSynch"));
    std::unique_ptr<CConversationClient> kept;
    DdeSendOptions keep;
    keep.pKeepClient = &kept;
    EXPECT_TRUE(SendDdeCommand(QStringLiteral("/bin/true"), QStringLiteral("QuarraneSynch"),
                               QStringLiteral("UpdateTTH"), QStringLiteral("-Database=\"x\" -UpdateTTH"), true, ui,
                               keep));
    ASSERT_TRUE(kept);
    ASSERT_EQ(server.Transactions().size(), 1u);
    EXPECT_EQ(server.Transactions()[0].topic, QStringLiteral("UpdateTTH"));
    const quint64 link = server.Transactions()[0].linkId;
    server.OnServer([link](CConversationServer& s) { s.PostFinalAdvise(link, 0); });
    EXPECT_EQ(kept->WaitForFinalAdvise(5000), 0u);
    EXPECT_TRUE(ForwardCommandLine(QStringLiteral("/bin/true"), QStringLiteral("QuarraneSynch"),
                                   QStringLiteral("CmdLine"), QStringLiteral("-Database=y"), ui));
    EXPECT_EQ(ui.Messages().size(), 5u);
}

TEST_F(ConversationTest, ABusyServerIsAskedAgainAndNeverToldTheItemArrived)
{
    CScriptedInteraction ui;
    ServerThread server(QStringLiteral("QuarraneSynch"));
    std::unique_ptr<CConversationClient> kept;
    DdeSendOptions keep;
    keep.pKeepClient = &kept;
    // Busy while it starts up: the item goes at the fourth asking.
    server.AnswerBusy(3);
    EXPECT_TRUE(SendDdeCommand(QStringLiteral("/bin/true"), QStringLiteral("QuarraneSynch"),
                               QStringLiteral("AddFiles"), QStringLiteral("-Database=x -AddFiles"), false, ui,
                               keep));
    ASSERT_EQ(server.Transactions().size(), 4u);
    EXPECT_TRUE(ui.Messages().empty());

    // A server that stops taking clients, as one that is ending does, keeps the conversations it
    // has: the final notice still arrives.
    server.OnServer([](CConversationServer& s) { s.StopListening(); });
    const quint64 link = server.Transactions()[3].linkId;
    server.OnServer([link](CConversationServer& s) { s.PostFinalAdvise(link, 0); });
    EXPECT_EQ(kept->WaitForFinalAdvise(5000), 0u);
    CConversationClient late;
    EXPECT_FALSE(late.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("AddFiles"), 500));
}

TEST_F(ConversationTest, AServerBusyForLongerThanAStartMayTakeIsReportedNotTakenForSent)
{
    CScriptedInteraction ui;
    ServerThread server(QStringLiteral("QuarraneSynch"));
    server.AnswerBusy(1000);
    DdeSendOptions quick;
    quick.startWaitMs = 300;
    EXPECT_FALSE(SendDdeCommand(QStringLiteral("/bin/true"), QStringLiteral("QuarraneSynch"),
                                QStringLiteral("AddFiles"), QStringLiteral("-Database=x"), false, ui, quick));
    const auto m = ui.Messages();
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].text, QStringLiteral("The synchronous advise transaction is busy"));
    EXPECT_EQ(m[0].caption, QStringLiteral("Unable to send the DDE message:  AddFiles"));
    EXPECT_GE(server.Transactions().size(), 2u);
}
