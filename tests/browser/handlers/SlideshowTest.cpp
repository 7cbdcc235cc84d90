#include "ProcessEnvironment.h"

#include "browser/BrowserCommands.h"
#include "browser/handlers/Slideshow.h"
#include "platform/ProcessControl.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QThread>

#include <cmath>

#include <gtest/gtest.h>

namespace
{
using State = CSlideshow::EState;

qint64 StartSleep(const QString& seconds)
{
    qint64 pid = -1;
    QProcess::startDetached(QStringLiteral("sleep"), {seconds}, QString(), &pid);
    return pid;
}

// A show over fixed files whose opener only records what it was asked to show.
class SlideshowTest : public ::testing::Test
{
protected:
    CSlideshow& Show(std::vector<qint32> files, ESlideOrder order, double slideTime = 3600)
    {
        m_files = std::move(files);
        m_pShow = std::make_unique<CSlideshow>(
            [this](ESlideFiles which)
            {
                m_asked.push_back(which);
                return m_files;
            },
            [this](qint32 id)
            {
                m_shown.push_back(id);
                return m_opened;
            });
        m_pShow->SetSettings({ESlideFiles::Checked, slideTime, order});
        return *m_pShow;
    }

    std::vector<qint32> m_files;
    std::vector<ESlideFiles> m_asked;
    std::vector<qint32> m_shown;
    SSlideOpened m_opened;
    std::unique_ptr<CSlideshow> m_pShow;
};
} // namespace

TEST_F(SlideshowTest, CheckedFilesWithNoneCheckedShowNothingAndStayStopped)
{
    CSlideshow& show = Show({}, ESlideOrder::Loop, 0);
    QSignalSpy states(&show, &CSlideshow::stateChanged);
    show.Play();
    EXPECT_EQ(show.State(), State::Stopped);
    EXPECT_EQ(m_asked, std::vector<ESlideFiles>{ESlideFiles::Checked});
    EXPECT_TRUE(m_shown.empty());
    EXPECT_EQ(states.count(), 0);
    show.Next();
    show.Previous();
    EXPECT_TRUE(m_shown.empty());
}

TEST_F(SlideshowTest, OnceShowsEachFileAfterTheSlideTimeAndStopsAtTheEnd)
{
    CSlideshow& show = Show({10, 20, 30}, ESlideOrder::Once, 0.01);
    QSignalSpy states(&show, &CSlideshow::stateChanged);
    show.Play();
    EXPECT_EQ(show.State(), State::Playing);
    ASSERT_TRUE(states.wait(ScaledTimeout(5000)));
    EXPECT_EQ(show.State(), State::Stopped);
    EXPECT_EQ(m_shown, (std::vector<qint32>{10, 20, 30}));

    // Once also stops when stepping back before the first.
    show.Play();
    show.Pause();
    show.Previous();
    EXPECT_EQ(show.State(), State::Stopped);
    EXPECT_EQ(m_shown, (std::vector<qint32>{10, 20, 30, 10}));
}

TEST_F(SlideshowTest, LoopWrapsAndTheControlsFollowTheStates)
{
    CSlideshow& show = Show({10, 20, 30}, ESlideOrder::Loop);
    show.Play();
    show.Pause();
    EXPECT_EQ(show.State(), State::Paused);
    show.Next();
    show.Next();
    show.Next();
    show.Previous();
    show.Previous();
    EXPECT_EQ(m_shown, (std::vector<qint32>{10, 20, 30, 10, 30, 20}));
    EXPECT_EQ(show.State(), State::Paused) << "moving while paused keeps the pause";
    show.Play();
    EXPECT_EQ(show.State(), State::Playing);
    EXPECT_EQ(show.CurrentFileId(), 20) << "Play continues from the current slide";
    show.Stop();
    EXPECT_EQ(show.State(), State::Stopped);
    show.Play();
    EXPECT_EQ(m_shown.back(), 10) << "Play after Stop starts from the beginning";
    EXPECT_EQ(m_asked.size(), 2u);
}

TEST_F(SlideshowTest, RandomNeverRepeatsADrawAndWalksBackThroughItsLastFive)
{
    CSlideshow& show = Show({10, 20, 30}, ESlideOrder::Random);
    std::vector<int> draws{1, 1, 2, 2, 0, 1, 1, 1, 2, 0, 1};
    size_t next = 0;
    show.SetRandom([&](int count) { return count == 3 && next < draws.size() ? draws[next++] : 0; });
    show.Play();
    show.Pause();
    for (int i = 0; i < 6; ++i)
        show.Next();
    // Draws 1, (1) 2, (2) 0, 1, (1 1) 2, 0, 1.
    EXPECT_EQ(m_shown, (std::vector<qint32>{20, 30, 10, 20, 30, 10, 20}));
    EXPECT_EQ(show.History(), (std::deque<qint32>{10, 20, 30, 10, 20}));

    show.Previous();
    show.Previous();
    EXPECT_EQ(m_shown.back(), 30);
    show.Next(); // forward through the history, no new draw
    EXPECT_EQ(m_shown.back(), 10);
    EXPECT_EQ(next, draws.size());
    for (int i = 0; i < 4; ++i)
        show.Previous(); // 30, 20, 10, then wraps to the newest
    EXPECT_EQ(m_shown.back(), 20);
    EXPECT_EQ(show.History().size(), 5u);

    // With one slide in the history, stepping back ends the show.
    CSlideshow& single = Show({10, 20}, ESlideOrder::Random);
    single.Play();
    single.Previous();
    EXPECT_EQ(single.State(), State::Stopped);
}

TEST_F(SlideshowTest, KillTimerNeverFiresBeforeFourSeconds)
{
    EXPECT_EQ(CSlideshow::KillDelayMs(0.0), 4000);
    EXPECT_EQ(CSlideshow::KillDelayMs(3.999), 4000);
    EXPECT_EQ(CSlideshow::KillDelayMs(-2), 4000);
    EXPECT_EQ(CSlideshow::KillDelayMs(std::nan("")), 4000);
    EXPECT_EQ(CSlideshow::KillDelayMs(6.5), 6500);

    const qint64 pid = StartSleep(QStringLiteral("30"));
    ASSERT_GT(pid, 0);
    m_opened = {pid, true, 0.0, false};
    CSlideshow& show = Show({10}, ESlideOrder::Once);
    QSignalSpy scheduled(&show, &CSlideshow::killScheduled);
    QElapsedTimer clock;
    clock.start();
    show.Play();
    ASSERT_EQ(scheduled.count(), 1);
    EXPECT_EQ(scheduled[0][1].toInt(), 4000);
    ASSERT_TRUE(WaitUntil([&] { return !IsProcessRunning(pid); }, ScaledTimeout(10000)));
    EXPECT_GE(clock.elapsed(), 4000);
}

TEST_F(SlideshowTest, WaitsForTheApplicationToExitAndStopEndsIt)
{
    const qint64 shortLived = StartSleep(QStringLiteral("0.4"));
    m_opened = {shortLived, false, 0.0, true};
    CSlideshow& show = Show({10, 20}, ESlideOrder::Once, 0);
    QSignalSpy shown(&show, &CSlideshow::slideShown);
    show.Play();
    QCoreApplication::processEvents();
    if (IsProcessRunning(shortLived))
    {
        EXPECT_EQ(shown.count(), 1) << "no advance while the application runs, whatever the slide time";
    }
    m_opened = {StartSleep(QStringLiteral("30")), false, 0.0, true};
    ASSERT_TRUE(WaitUntil([&] { return shown.count() == 2; }, ScaledTimeout(5000)));
    EXPECT_EQ(show.State(), State::Playing);
    const qint64 second = m_opened.pid;
    EXPECT_TRUE(IsProcessRunning(second));
    show.Stop();
    EXPECT_TRUE(WaitUntil([&] { return !IsProcessRunning(second); }, ScaledTimeout(5000)));
    EXPECT_EQ(show.State(), State::Stopped);
}

TEST(SlideshowCommandsTest, ToolbarFollowsTheShowsState)
{
    CMwCommandContext stopped;
    stopped.bDatabaseOpen = true;
    CMwCommandContext playing = stopped;
    playing.bSlideshowPlaying = true;
    CMwCommandContext paused = stopped;
    paused.bSlideshowPaused = true;
    const struct
    {
        EMwCommand id;
        bool closed, stopped, playing, paused;
    } cases[] = {
        {EMwCommand::SlideshowConfigure, false, true, true, true},
        {EMwCommand::SlideshowPrevious, false, false, true, true},
        {EMwCommand::SlideshowStop, false, false, true, true},
        {EMwCommand::SlideshowPause, false, false, true, false},
        {EMwCommand::SlideshowPlay, false, true, false, true},
        {EMwCommand::SlideshowNext, false, false, true, true},
        {EMwCommand::FileListOpen, false, true, true, true},
    };
    for (const auto& c : cases)
    {
        const SMwCommand& command = MwCommand(c.id);
        EXPECT_EQ(IsMwCommandEnabled(command, CMwCommandContext()), c.closed) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, stopped), c.stopped) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, playing), c.playing) << command.text;
        EXPECT_EQ(IsMwCommandEnabled(command, paused), c.paused) << command.text;
    }
}
