#include "browser/SynchLauncher.h"
#include "ServerThread.h"
#include "common/ScriptedInteraction.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>

namespace
{
class SynchLauncherTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_runtime.IsValid()); }

    CPrivateRuntimeDir m_runtime;
    CScriptedInteraction m_ui;
};
} // namespace

TEST_F(SynchLauncherTest, TheSynchronizerIsWaitedForInTheBackground)
{
    // A program that ends at once, like a second instance, and a service that only answers some
    // time after the command line was posted: the caller is not held meanwhile.
    CDdeSynchLauncher launcher(m_ui, QStringLiteral("/bin/true"));
    launcher.SetStartInBackground(true);
    std::optional<bool> sent;
    launcher.Post(QStringLiteral("Synchronize"),
                  QStringLiteral("-Database=\"x.qrl\" -CatalogueID=\"1\" -MarkDeleted"),
                  [&](bool done) { sent = done; });
    EXPECT_FALSE(sent.has_value()) << "Post returns before the synchronizer answers";
    EXPECT_EQ(m_ui.StatusTexts().last(), QStringLiteral("Launching QuarraneSynch..."));

    ServerThread server(QStringLiteral("QuarraneSynch"));
    ASSERT_TRUE(server.Listening());
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent.has_value(); }, 20000));
    EXPECT_TRUE(*sent);
    ASSERT_FALSE(server.Transactions().empty());
    const CConversationServer::Transaction t = server.Transactions().back();
    EXPECT_EQ(t.topic, QStringLiteral("Synchronize"));
    EXPECT_EQ(t.item, QStringLiteral("-Database=\"x.qrl\" -CatalogueID=\"1\" -MarkDeleted"));
    EXPECT_EQ(m_ui.StatusTexts().last(), QString());
    EXPECT_EQ(launcher.SentCount(), 1);
}

TEST_F(SynchLauncherTest, AMissingSynchronizerIsToldWithoutHoldingTheCaller)
{
    const QString missing = m_runtime.FilePath(QStringLiteral("no-such-quarranesynch"));
    CDdeSynchLauncher launcher(m_ui, missing);
    launcher.SetStartInBackground(true);
    std::optional<bool> sent;
    launcher.Post(QStringLiteral("UpdateTTH"), QStringLiteral("-UpdateTTH"), [&](bool done) { sent = done; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return sent.has_value(); }, 10000));
    EXPECT_FALSE(*sent);
    ASSERT_EQ(m_ui.Messages().size(), 1u);
    EXPECT_EQ(m_ui.Messages()[0].text,
              QStringLiteral("The following application could not be found:\r\n    ") + missing);
    EXPECT_EQ(m_ui.Messages()[0].caption, QStringLiteral("Unable to send the DDE message"));
    EXPECT_EQ(launcher.SentCount(), 0);
}
