#pragma once

#include "browser/JobRunner.h"

#include <QSemaphore>

#include <atomic>

// A job of numbered items, each of which waits until the test lets it end, so that Esc and the
// close question can land in the middle of a known item.
class CSteppedJob final
{
public:
    CJobRunner::Body Body()
    {
        return [this](CJobContext& job)
        {
            for (int item = 1; item <= 1000; ++item)
            {
                if (!job.ShouldContinue())
                    return false;
                started = item;
                m_begun.release();
                // Bounded, so that a failed expectation cannot leave the job waiting for ever.
                m_proceed.tryAcquire(1, 10000);
                finished = item;
            }
            return true;
        };
    }
    // Waits until item has begun.
    bool WaitForItem(int item)
    {
        while (started < item)
            if (!m_begun.tryAcquire(1, 10000))
                return false;
        return true;
    }
    void Proceed(int items = 1) { m_proceed.release(items); }

    std::atomic<int> started{0};
    std::atomic<int> finished{0};

private:
    QSemaphore m_begun;
    QSemaphore m_proceed;
};
