#pragma once

#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class CDbDatabase;
class CDbRetryPolicy;
class CUserInteraction;
class QThread;

// Long operations run as jobs: a body on a worker thread with its own connection to the open
// database, so that the window goes on painting and answering Esc while a query script, a
// compaction or a file operation works through its items.
//
//   document.Jobs().Start({"Executing query", document.Path(), user, true},
//                         [](CJobContext& job) {
//                             for (const Item& item : items)
//                             {
//                                 if (!job.ShouldContinue())
//                                     return false;
//                                 ... job.Database() ... job.Interaction().StepProgress();
//                             }
//                             return true;
//                         },
//                         [](bool completed) { ... back on the GUI thread ... });
//
// - The body talks to the person through the interaction, which is safe from any thread: status
//   text, progress, and questions that block the worker until they are answered.
// - Before each item the body asks ShouldContinue(): Esc clears the operation-running flag, and
//   so does a Yes to the close question, after which closeRequested() comes once the job ended.
// - One job at a time. While a job that writes runs, IsWriting() holds and the document refuses
//   the commands that would write, so nothing re-enters the document halfway through a job.
// - The runner owns its thread: destroying it stops the job and waits for it.

// What a job's body works with.
class CJobContext final
{
public:
    // With a policy the job uses it (a job run in place with its document's rules); without, its own.
    CJobContext(CUserInteraction& ui, CDbDatabase* pDatabase, CDbRetryPolicy* pPolicy = nullptr);
    ~CJobContext();
    CJobContext(const CJobContext&) = delete;
    CJobContext& operator=(const CJobContext&) = delete;

    CUserInteraction& Interaction() { return m_ui; }
    // The job's own connection; only for jobs started with a database path.
    CDbDatabase& Database() { return *m_pDatabase; }
    bool HasDatabase() const { return m_pDatabase != nullptr; }
    // The shared database's retry rules, asking through the job's interaction.
    CDbRetryPolicy& RetryPolicy() { return *m_pPolicy; }
    void SetRetryWait(const std::function<void(std::chrono::milliseconds)>& wait);
    // False once Esc or the close question stopped the operation: end the current item, return.
    bool ShouldContinue() const;

private:
    CUserInteraction& m_ui;
    CDbDatabase* m_pDatabase;
    std::unique_ptr<CDbRetryPolicy> m_pOwnPolicy;
    CDbRetryPolicy* m_pPolicy;
};

struct CJobParams
{
    QString strName;         // names the job in the error log
    QString strDatabasePath; // empty: the job needs no connection
    QString strUserName;     // the user the job's connection acts for
    bool bWrites = false;    // whether the job writes to the database
};

class CJobRunner final : public QObject
{
    Q_OBJECT

public:
    using Body = std::function<bool(CJobContext&)>;
    // Called on the runner's thread once the job ended: whether the body completed.
    using Done = std::function<void(bool)>;

    explicit CJobRunner(CUserInteraction& ui, QObject* parent = nullptr);
    ~CJobRunner() override;

    // Starts body on a worker thread; false (and nothing started) while another job runs.
    bool Start(const CJobParams& params, Body body, Done done = {});
    bool IsRunning() const { return m_pThread != nullptr; }
    bool IsWriting() const { return m_pThread != nullptr && m_params.bWrites; }

    // Esc: the job stops after its current item.
    void Stop();
    // The window is about to close: true when it may close now. While a job runs this asks the
    // close question; Yes stops the job after its current item and closeRequested() follows its
    // end, No lets it go on. Either way the window stays open for now.
    bool QueryClose();
    bool IsCloseRequested() const { return m_bCloseRequested; }
    // Asks whether closing ("application", "database") may cancel the running job.
    bool AskToCancel(const QString& closing);
    // Blocks until the running job has ended and its Done has run (scripts, shutdown, closing
    // the database); false when the time ran out first.
    bool Wait(int timeoutMs = -1);

    // How the jobs' retry policies wait between attempts (tests that must not sleep).
    void SetRetryWait(std::function<void(std::chrono::milliseconds)> wait)
    {
        m_fnRetryWait = std::move(wait);
    }

signals:
    void jobStarted(const QString& name);
    void jobFinished(const QString& name, bool completed);
    void writingChanged(bool writing);
    // The person confirmed closing during a job, which has now ended.
    void closeRequested();

private:
    void Run();
    void Finish();

    CUserInteraction& m_ui;
    CJobParams m_params;
    Body m_body;
    Done m_done;
    QThread* m_pThread = nullptr;
    std::atomic<bool> m_bCompleted{false};
    bool m_bCloseRequested = false;
    std::function<void(std::chrono::milliseconds)> m_fnRetryWait;
};
