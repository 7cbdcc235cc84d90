#include "database/DbRetryPolicy.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/UserInteraction.h"
#include "database/DbErrors.h"

#include <QCoreApplication>

#include <thread>

CDbRetryPolicy::CDbRetryPolicy(CUserInteraction& ui)
    : m_ui(ui), m_wait([](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); }),
      m_strCaption(QCoreApplication::applicationName())
{
}

QString CDbRetryPolicy::DiskFullText()
{
    return QStringLiteral("There is not enough space on disk. Free some space and press Retry to try again or press "
                          "Cancel to abort this operation.");
}

bool CDbRetryPolicy::IsDiskFull(long code) const
{
    return code == DbErrors::kDiskFull || (m_bResourcesAsDiskFull && code == DbErrors::kResourcesExceeded);
}

bool CDbRetryPolicy::Run(const QString& context, const std::function<void()>& step)
{
    return Run([&context] { return context; }, step);
}

bool CDbRetryPolicy::Run(const std::function<QString()>& context, const std::function<void()>& step)
{
    int failures = 0;
    for (;;)
    {
        QString description;
        try
        {
            step();
            m_nLastError = 0;
            return true;
        }
        catch (const CDbException& e)
        {
            m_nLastError = e.m_nErrorCode;
            description = e.m_strDescription;
            ++failures;
            if (IsDiskFull(e.m_nErrorCode))
            {
                if (m_ui.MessageBox(DiskFullText(), m_strCaption, MsgIcon::Error, MsgButtons::RetryCancel) !=
                    MsgAnswer::Retry)
                    return false;
                failures = 0;
                continue;
            }
            if (DbErrors::IsWaitAndRetryError(e.m_nErrorCode))
            {
                if (failures < kMaxAttempts)
                    m_wait(kRetryWait);
            }
            else
                LOG_EXCEPTION(e, QString(), context());
        }
        // Asked every time a series fails: retrying silently for ever would hang the program
        // while the other side keeps its lock.
        if (failures >= kMaxAttempts)
        {
            if (m_ui.MessageBox(description, m_strCaption, MsgIcon::Warning, MsgButtons::RetryCancel) !=
                MsgAnswer::Retry)
                return false;
            failures = 0;
        }
    }
}
