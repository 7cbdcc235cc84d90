#include "common/ScriptedInteraction.h"

void CScriptedInteraction::QueueAnswer(MsgAnswer answer)
{
    std::lock_guard lock(m_mutex);
    m_answers.push_back(answer);
}

void CScriptedInteraction::SetResponder(Responder responder)
{
    std::lock_guard lock(m_mutex);
    m_responder = std::move(responder);
}

std::vector<CScriptedInteraction::Message> CScriptedInteraction::Messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

int CScriptedInteraction::UnexpectedMessages() const
{
    std::lock_guard lock(m_mutex);
    return m_nUnexpected;
}

QStringList CScriptedInteraction::StatusTexts() const
{
    std::lock_guard lock(m_mutex);
    return m_statusTexts;
}

int CScriptedInteraction::ProgressLower() const
{
    std::lock_guard lock(m_mutex);
    return m_nLower;
}

int CScriptedInteraction::ProgressUpper() const
{
    std::lock_guard lock(m_mutex);
    return m_nUpper;
}

int CScriptedInteraction::ProgressPos() const
{
    std::lock_guard lock(m_mutex);
    return m_nPos;
}

int CScriptedInteraction::WaitCursorDepth() const
{
    std::lock_guard lock(m_mutex);
    return m_nWaitDepth;
}

MsgAnswer CScriptedInteraction::MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                                           MsgButtons buttons)
{
    Message message{text, caption, icon, buttons, SafeDefaultAnswer(buttons)};
    Responder responder;
    {
        std::lock_guard lock(m_mutex);
        responder = m_responder;
    }
    // The responder runs unlocked: it may call back into this object or wait for another thread.
    std::optional<MsgAnswer> answer = responder ? responder(message) : std::nullopt;

    std::lock_guard lock(m_mutex);
    if (answer)
        message.answer = *answer;
    else if (!m_answers.empty())
    {
        message.answer = m_answers.front();
        m_answers.pop_front();
    }
    else
        ++m_nUnexpected;
    m_messages.push_back(message);
    return message.answer;
}

void CScriptedInteraction::SetStatusText(const QString& text)
{
    std::lock_guard lock(m_mutex);
    m_statusTexts.append(text);
}

void CScriptedInteraction::SetProgressRange(int lower, int upper)
{
    std::lock_guard lock(m_mutex);
    m_nLower = lower;
    m_nUpper = upper;
    m_nPos = lower;
}

void CScriptedInteraction::SetProgressPos(int pos)
{
    std::lock_guard lock(m_mutex);
    m_nPos = pos;
}

void CScriptedInteraction::StepProgress()
{
    std::lock_guard lock(m_mutex);
    ++m_nPos;
}

void CScriptedInteraction::ClearProgress()
{
    std::lock_guard lock(m_mutex);
    m_nLower = m_nUpper = m_nPos = 0;
}

void CScriptedInteraction::BeginWaitCursor()
{
    std::lock_guard lock(m_mutex);
    ++m_nWaitDepth;
}

void CScriptedInteraction::EndWaitCursor()
{
    std::lock_guard lock(m_mutex);
    --m_nWaitDepth;
}
