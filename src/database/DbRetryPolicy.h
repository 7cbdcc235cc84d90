#pragma once

#include "common/UserInteraction.h"
#include "database/DbErrorCodes.h"

#include <QString>

#include <chrono>
#include <functional>

class CDbException;

// The rule for writes to a database that another program may hold locked at the same moment:
//
//   - the locking family, and 3011, 3043, 3078 where the program does not open its database
//     again for them: wait and try again. The waits grow from a few milliseconds to a second,
//     each drawn at random from its upper half (RetryWait): two programs that met on a lock do
//     not meet again in step, and a lock held for a moment costs a moment, not a second;
//   - 3011, 3043, 3078 where it does (the synchronizer): the step's reopen function runs before
//     the next attempt; a step without one passes the error on to the step that encloses it;
//   - 3026 (and 3035 where asked): "There is not enough space on disk ..." with Retry and Cancel;
//     Retry starts the count afresh, Cancel gives up;
//   - any other error: logged with the step's context string, tried again at once;
//   - after 16 failed attempts the engine's description is shown with Retry and Cancel; Retry
//     starts a fresh series of 16, Cancel gives up. Asked after every series, not only the first:
//     a lock that is never released must not keep the program retrying unseen.
//
// The two programs differ only in the details SRules holds. Run() performs the step; the step
// undoes its own pending work when it throws (a CDbTransaction in it does that by itself). The
// wait is injectable so that tests do not sleep.
class CDbRetryPolicy final
{
public:
    using Wait = std::function<void(std::chrono::milliseconds)>;
    using Step = std::function<void()>;

    static constexpr int kMaxAttempts = 16;
    // The wait before the database is opened again, and the longest wait between two attempts.
    static constexpr std::chrono::milliseconds kRetryWait{1000};
    static constexpr std::chrono::milliseconds kFirstRetryWait{2};

    // The wait after the given number of failures in a row (1 for the first): kFirstRetryWait
    // doubled per failure up to kRetryWait, drawn at random between half of that and all of it.
    static std::chrono::milliseconds RetryWait(int failures);

    // The two Retry/Cancel questions of the rule.
    enum class EQuestion
    {
        DiskFull,
        Series,
    };

    struct SRules
    {
        // 3011, 3043 and 3078 open the database again (the step's reopen function) instead of
        // waiting: the connection may be what broke.
        bool reopenOnReopenErrors = false;
        // At the steps that open or run a query definition, 3035 counts as disk full too.
        bool resourcesExceededAsDiskFull = false;
        // Whether the attempt that ends a series still waits before the question is asked.
        bool waitBeforeSeriesQuestion = false;
        // Other errors are logged with the "Exception Occurred" box, or (false) in the log alone.
        bool exceptionBox = true;
        MsgIcon diskFullIcon = MsgIcon::Error;
        int attemptsPerSeries = kMaxAttempts;
        // The caption of the Retry/Cancel boxes; empty: the program's name.
        QString caption;
        // Asked before every attempt: false ends Run at once (an earlier Cancel, a failed reopen).
        std::function<bool()> mayTry;
        // Told every answer to a Retry/Cancel question.
        std::function<void(EQuestion, MsgAnswer)> answered;
    };

    // The main program's writes: every code of the wait family waits, the last attempt of a
    // series asks without waiting first, other errors show the exception box.
    static SRules BrowserRules();
    // The synchronizer's database operations: reopen on 3011, 3043, 3078, lock errors wait on
    // every attempt, other errors are logged without a box (nobody watches each step), and the
    // disk-full box carries the warning icon.
    static SRules SynchronizerRules();

    explicit CDbRetryPolicy(CUserInteraction& ui, SRules rules = BrowserRules());

    void SetWait(Wait wait) { m_wait = std::move(wait); }
    void SetResourcesExceededAsDiskFull(bool enable) { m_rules.resourcesExceededAsDiskFull = enable; }
    void SetCaption(const QString& caption) { m_rules.caption = caption; }
    const SRules& Rules() const { return m_rules; }

    // Runs step until it succeeds (true) or the person cancels (false). context names the step in
    // the error log; it may be a function of the failure when the context depends on how far the
    // step got (for example "Getting %s" against "Adding new %s"). reopen is the step's way of
    // opening the database again, used under reopenOnReopenErrors.
    bool Run(const QString& context, const Step& step, const Step& reopen = {});
    bool Run(const std::function<QString()>& context, const Step& step, const Step& reopen = {});

    // The last failure seen by Run (code 0 when none).
    long LastErrorCode() const { return m_nLastError; }

    static QString DiskFullText();

private:
    bool IsDiskFull(long code) const;
    // Shows a Retry/Cancel question; true for Retry.
    bool Ask(EQuestion question, const QString& text, MsgIcon icon);
    void LogOther(const CDbException& e, const QString& context) const;

    CUserInteraction& m_ui;
    SRules m_rules;
    Wait m_wait;
    long m_nLastError = 0;
};
