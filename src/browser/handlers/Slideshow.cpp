#include "browser/handlers/Slideshow.h"

#include "platform/ProcessControl.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

CSlideshow::CSlideshow(Candidates candidates, Opener open, QObject* parent)
    : QObject(parent), m_candidates(std::move(candidates)), m_open(std::move(open)),
      m_random([](int count) { return static_cast<int>(QRandomGenerator::global()->bounded(count)); })
{
    m_slideTimer.setSingleShot(true);
    connect(&m_slideTimer, &QTimer::timeout, this, &CSlideshow::Advance);
    m_exitPoll.setInterval(kExitPollMs);
    connect(&m_exitPoll, &QTimer::timeout, this,
            [this]
            {
                if (!IsProcessRunning(m_current.pid))
                {
                    m_exitPoll.stop();
                    Advance();
                }
            });
}

CSlideshow::~CSlideshow() = default;

int CSlideshow::KillDelayMs(double seconds)
{
    if (!std::isfinite(seconds) || seconds * 1000.0 < kMinKillDelayMs)
        return kMinKillDelayMs;
    return static_cast<int>(std::min(seconds * 1000.0, 24.0 * 3600 * 1000));
}

void CSlideshow::SetState(EState state)
{
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void CSlideshow::Play()
{
    if (m_state == EState::Playing)
        return;
    if (m_state == EState::Paused)
    {
        SetState(EState::Playing);
        ScheduleAdvance();
        return;
    }
    m_files = m_candidates(m_settings.files);
    m_nIndex = -1;
    m_history.clear();
    m_nHistoryPos = -1;
    m_nLastDraw = -1;
    if (m_files.empty())
        return;
    SetState(EState::Playing);
    if (Move(+1))
        ScheduleAdvance();
}

void CSlideshow::Stop()
{
    m_slideTimer.stop();
    m_exitPoll.stop();
    if (m_current.pid > 0 && IsProcessRunning(m_current.pid))
        TerminateProcess(m_current.pid);
    m_current = {};
    m_files.clear();
    m_nIndex = -1;
    m_nCurrentFileId = 0;
    SetState(EState::Stopped);
}

void CSlideshow::Pause()
{
    if (m_state != EState::Playing)
        return;
    m_slideTimer.stop();
    m_exitPoll.stop();
    SetState(EState::Paused);
}

void CSlideshow::Next()
{
    if (m_state == EState::Stopped)
        return;
    if (Move(+1) && m_state == EState::Playing)
        ScheduleAdvance();
}

void CSlideshow::Previous()
{
    if (m_state == EState::Stopped)
        return;
    if (Move(-1) && m_state == EState::Playing)
        ScheduleAdvance();
}

void CSlideshow::Advance()
{
    if (m_state == EState::Playing && Move(+1))
        ScheduleAdvance();
}

bool CSlideshow::Move(int direction)
{
    m_slideTimer.stop();
    m_exitPoll.stop();
    if (m_settings.order == ESlideOrder::Random)
        return MoveRandom(direction);
    const int count = static_cast<int>(m_files.size());
    int next = m_nIndex + direction;
    if (next < 0 || next >= count)
    {
        if (m_settings.order == ESlideOrder::Once || count == 0)
        {
            Stop();
            return false;
        }
        next = (next + count) % count;
    }
    m_nIndex = next;
    Show(m_files[static_cast<size_t>(m_nIndex)]);
    return true;
}

bool CSlideshow::MoveRandom(int direction)
{
    const int size = static_cast<int>(m_history.size());
    if (direction < 0)
    {
        if (size <= 1)
        {
            Stop();
            return false;
        }
        m_nHistoryPos = m_nHistoryPos > 0 ? m_nHistoryPos - 1 : size - 1;
        Show(m_history[static_cast<size_t>(m_nHistoryPos)]);
        return true;
    }
    if (m_nHistoryPos >= 0 && m_nHistoryPos < size - 1)
    {
        ++m_nHistoryPos;
        Show(m_history[static_cast<size_t>(m_nHistoryPos)]);
        return true;
    }
    // The candidates as they are now: files checked or unchecked since Play count.
    if (m_state != EState::Stopped && m_settings.files == ESlideFiles::Checked)
        m_files = m_candidates(m_settings.files);
    const int count = static_cast<int>(m_files.size());
    if (count == 0)
    {
        Stop();
        return false;
    }
    int draw = std::clamp(m_random(count), 0, count - 1);
    while (draw == m_nLastDraw && count >= 2)
        draw = std::clamp(m_random(count), 0, count - 1);
    m_nLastDraw = draw;
    m_history.push_back(m_files[static_cast<size_t>(draw)]);
    if (static_cast<int>(m_history.size()) > kRandomHistory)
        m_history.pop_front();
    m_nHistoryPos = static_cast<int>(m_history.size()) - 1;
    Show(m_history.back());
    return true;
}

void CSlideshow::Show(qint32 fileId)
{
    m_nCurrentFileId = fileId;
    m_current = m_open(fileId);
    emit slideShown(fileId);
    if (m_current.bKillPrevApp && m_current.pid > 0)
    {
        const qint64 pid = m_current.pid;
        const int delay = KillDelayMs(m_current.dKillPrevAppTime);
        // A coarse timer may fire up to 5% early, which would end the application too soon.
        QTimer::singleShot(delay, Qt::PreciseTimer, this,
                           [pid]
                           {
                               if (IsProcessRunning(pid))
                                   TerminateProcess(pid);
                           });
        emit killScheduled(pid, delay);
    }
}

void CSlideshow::ScheduleAdvance()
{
    if (m_current.bWaitForAppExit && m_current.pid > 0)
    {
        m_exitPoll.start();
        return;
    }
    const double ms = std::max(0.0, m_settings.dSlideTime) * 1000.0;
    m_slideTimer.start(static_cast<int>(std::min(ms, 24.0 * 3600 * 1000)));
}
