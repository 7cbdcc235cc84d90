#pragma once

#include "common/UserInteraction.h"

#include <QStringList>

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

// The interaction for tests: answers come from a queue (or a responder that may also act, say
// release a lock when a prompt appears), and everything shown is kept to be read back. A question
// with nothing queued gets the safe default and is counted as unexpected.
class CScriptedInteraction final : public CUserInteraction
{
public:
    struct Message
    {
        QString text;
        QString caption;
        MsgIcon icon;
        MsgButtons buttons;
        MsgAnswer answer;
    };
    using Responder = std::function<std::optional<MsgAnswer>(const Message&)>;

    void QueueAnswer(MsgAnswer answer);
    // Asked first for every message; returning nothing falls back to the queue.
    void SetResponder(Responder responder);

    std::vector<Message> Messages() const;
    int UnexpectedMessages() const;
    QStringList StatusTexts() const;
    int ProgressLower() const;
    int ProgressUpper() const;
    int ProgressPos() const;
    int WaitCursorDepth() const;

    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    void SetStatusText(const QString& text) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override;
    void StepProgress() override;
    void ClearProgress() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

private:
    mutable std::mutex m_mutex;
    std::deque<MsgAnswer> m_answers;
    Responder m_responder;
    std::vector<Message> m_messages;
    int m_nUnexpected = 0;
    QStringList m_statusTexts;
    int m_nLower = 0;
    int m_nUpper = 0;
    int m_nPos = 0;
    int m_nWaitDepth = 0;
};
