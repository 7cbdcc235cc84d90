#pragma once

#include <QString>

#include <chrono>
#include <functional>

class CDbException;
class CUserInteraction;

// The rule for writes to a database that another program may hold locked at the same moment:
//
//   - 3011, 3043, 3078 and the locking family: wait (1000 ms) and try again;
//   - 3026 (and 3035 where asked): "There is not enough space on disk ..." with Retry and Cancel;
//     Retry starts the count afresh, Cancel gives up;
//   - any other error: logged with the step's context string, tried again at once;
//   - after 16 failed attempts the engine's description is shown with Retry and Cancel; Retry
//     starts a fresh series of 16, Cancel gives up.
//
// Run() performs the step; the step undoes its own pending work when it throws (a CDbTransaction
// in it does that by itself). The wait is injectable so that tests do not sleep.
class CDbRetryPolicy final
{
public:
    using Wait = std::function<void(std::chrono::milliseconds)>;

    static constexpr int kMaxAttempts = 16;
    static constexpr std::chrono::milliseconds kRetryWait{1000};

    explicit CDbRetryPolicy(CUserInteraction& ui);

    void SetWait(Wait wait) { m_wait = std::move(wait); }
    // At the steps that open or run a query definition, 3035 counts as disk full too.
    void SetResourcesExceededAsDiskFull(bool enable) { m_bResourcesAsDiskFull = enable; }
    // The caption of the Retry/Cancel boxes (the program's title).
    void SetCaption(const QString& caption) { m_strCaption = caption; }

    // Runs step until it succeeds (true) or the person cancels (false). context names the step in
    // the error log; it may be a function of the failure when the context depends on how far the
    // step got (for example "Getting %s" against "Adding new %s").
    bool Run(const QString& context, const std::function<void()>& step);
    bool Run(const std::function<QString()>& context, const std::function<void()>& step);

    // The last failure seen by Run (code 0 when none).
    long LastErrorCode() const { return m_nLastError; }

    static QString DiskFullText();

private:
    bool IsDiskFull(long code) const;

    CUserInteraction& m_ui;
    Wait m_wait;
    bool m_bResourcesAsDiskFull = false;
    QString m_strCaption;
    long m_nLastError = 0;
};
