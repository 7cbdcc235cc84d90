#pragma once

#include "browser/handlers/CatalogueFileRequest.h"

#include <QObject>
#include <QTimer>

#include <deque>
#include <functional>
#include <vector>

enum class ESlideOrder
{
    Once,
    Loop,
    Random,
};

struct SSlideshowSettings
{
    ESlideFiles files = ESlideFiles::All;
    double dSlideTime = 5.0; // seconds
    ESlideOrder order = ESlideOrder::Once;
};

// What showing one slide started, and how the handler wants slide shows to treat it.
struct SSlideOpened
{
    qint64 pid = -1;
    bool bKillPrevApp = false;
    double dKillPrevAppTime = 0.0;
    bool bWaitForAppExit = false;
};

// A slide show over the files of the list: opens them one after another with their default
// handlers, once, in a loop or at random, after the slide time or once the application has ended.
// It runs on the thread it lives on; the files are taken when Play starts from stopped.
class CSlideshow final : public QObject
{
    Q_OBJECT

public:
    enum class EState
    {
        Stopped,
        Playing,
        Paused,
    };
    Q_ENUM(EState)

    static constexpr int kMinKillDelayMs = 4000;
    static constexpr int kExitPollMs = 250;
    static constexpr int kRandomHistory = 5;

    // candidates: the FileIds to walk, asked at each Play from stopped and for each random draw.
    // open: shows one file.
    using Candidates = std::function<std::vector<qint32>(ESlideFiles)>;
    using Opener = std::function<SSlideOpened(qint32 fileId)>;
    CSlideshow(Candidates candidates, Opener open, QObject* parent = nullptr);
    ~CSlideshow() override;

    void SetSettings(const SSlideshowSettings& settings) { m_settings = settings; }
    const SSlideshowSettings& Settings() const { return m_settings; }
    // Draws an index from 0 to count - 1 (tests make it predictable).
    void SetRandom(std::function<int(int count)> random) { m_random = std::move(random); }

    EState State() const { return m_state; }
    qint32 CurrentFileId() const { return m_nCurrentFileId; }
    const std::deque<qint32>& History() const { return m_history; }

    // The time after which the previous application is ended: never under four seconds, so that
    // an application has the time to show its file.
    static int KillDelayMs(double seconds);

public slots:
    void Play();
    void Stop();
    void Pause();
    void Next();
    void Previous();

signals:
    void stateChanged(CSlideshow::EState state);
    void slideShown(qint32 fileId);
    // A kill timer for the process was set with this delay.
    void killScheduled(qint64 pid, int delayMs);

private:
    // Moves one slide forward (+1) or back (-1); false when the show ends there.
    bool Move(int direction);
    bool MoveRandom(int direction);
    void Show(qint32 fileId);
    void ScheduleAdvance();
    void Advance();
    void SetState(EState state);

    Candidates m_candidates;
    Opener m_open;
    std::function<int(int)> m_random;
    SSlideshowSettings m_settings;
    EState m_state = EState::Stopped;

    std::vector<qint32> m_files;
    int m_nIndex = -1;
    std::deque<qint32> m_history;
    int m_nHistoryPos = -1;
    int m_nLastDraw = -1;

    qint32 m_nCurrentFileId = 0;
    SSlideOpened m_current;
    QTimer m_slideTimer;
    QTimer m_exitPoll;
};
