#include "common/ScriptedInteraction.h"
#include "common/UnattendedInteraction.h"

#include <gtest/gtest.h>

TEST(Interaction, TheSafeDefaultChangesNothing)
{
    EXPECT_EQ(SafeDefaultAnswer(MsgButtons::Ok), MsgAnswer::Ok);
    EXPECT_EQ(SafeDefaultAnswer(MsgButtons::OkCancel), MsgAnswer::Cancel);
    EXPECT_EQ(SafeDefaultAnswer(MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(SafeDefaultAnswer(MsgButtons::YesNoCancel), MsgAnswer::Cancel);
    EXPECT_EQ(SafeDefaultAnswer(MsgButtons::RetryCancel), MsgAnswer::Cancel);
    EXPECT_EQ(SafeDefaultAnswer(MsgButtons::AbortRetryIgnore), MsgAnswer::Abort);

    CUnattendedInteraction unattended;
    testing::internal::CaptureStderr();
    const MsgAnswer answer = unattended.MessageBox(QStringLiteral("Insert the disk\r\nwith serial 1234ABCD"),
                                                   QStringLiteral("Locate Media"), MsgIcon::Question,
                                                   MsgButtons::RetryCancel);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, MsgAnswer::Cancel);
    EXPECT_EQ(err, "Locate Media: Insert the disk\nwith serial 1234ABCD [answered Cancel]\n");
}

TEST(Interaction, ScriptedAnswersComeFromTheResponderThenTheQueue)
{
    CScriptedInteraction ui;
    ui.QueueAnswer(MsgAnswer::Retry);
    ui.QueueAnswer(MsgAnswer::Yes);
    int asked = 0;
    ui.SetResponder([&](const CScriptedInteraction::Message& m) -> std::optional<MsgAnswer> {
        ++asked;
        if (m.caption == QStringLiteral("Special"))
            return MsgAnswer::Ignore;
        return std::nullopt;
    });

    EXPECT_EQ(ui.MessageBox("a", "Special", MsgIcon::Warning, MsgButtons::AbortRetryIgnore), MsgAnswer::Ignore);
    EXPECT_EQ(ui.MessageBox("b", "c", MsgIcon::Warning, MsgButtons::RetryCancel), MsgAnswer::Retry);
    EXPECT_EQ(ui.MessageBox("d", "c", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::Yes);
    EXPECT_EQ(ui.UnexpectedMessages(), 0);
    EXPECT_EQ(ui.MessageBox("e", "c", MsgIcon::Question, MsgButtons::YesNo), MsgAnswer::No);
    EXPECT_EQ(ui.UnexpectedMessages(), 1);
    EXPECT_EQ(asked, 4);

    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[1].text, QStringLiteral("b"));
    EXPECT_EQ(messages[1].answer, MsgAnswer::Retry);

    ui.SetProgressRange(0, 10);
    ui.StepProgress();
    ui.StepProgress();
    EXPECT_EQ(ui.ProgressPos(), 2);
    ui.SetStatusText(QStringLiteral("Working (Esc to Cancel)..."));
    EXPECT_EQ(ui.StatusTexts(), QStringList{QStringLiteral("Working (Esc to Cancel)...")});
    {
        CWaitCursorScope wait(ui);
        EXPECT_EQ(ui.WaitCursorDepth(), 1);
    }
    EXPECT_EQ(ui.WaitCursorDepth(), 0);
}
