#include "database/DbRetryPolicy.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <algorithm>

#include <thread>

CDbRetryPolicy::SRules CDbRetryPolicy::BrowserRules()
{
    return SRules();
}

CDbRetryPolicy::SRules CDbRetryPolicy::SynchronizerRules()
{
    SRules rules;
    rules.reopenOnReopenErrors = true;
    rules.waitBeforeSeriesQuestion = true;
    rules.exceptionBox = false;
    rules.diskFullIcon = MsgIcon::Warning;
    return rules;
}

CDbRetryPolicy::CDbRetryPolicy(CUserInteraction& ui, SRules rules)
    : m_ui(ui), m_rules(std::move(rules)),
      m_wait([](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); })
{
    if (m_rules.caption.isEmpty())
        m_rules.caption = QCoreApplication::applicationName();
}

std::chrono::milliseconds CDbRetryPolicy::RetryWait(int failures)
{
    const int doublings = std::clamp(failures - 1, 0, 20);
    const qint64 ceiling = std::min<qint64>(kFirstRetryWait.count() << doublings, kRetryWait.count());
    const qint64 floor = std::max<qint64>(1, ceiling / 2);
    return std::chrono::milliseconds(floor + QRandomGenerator::global()->bounded(ceiling - floor + 1));
}

QString CDbRetryPolicy::DiskFullText()
{
    return QStringLiteral("There is not enough space on disk. Free some space and press Retry to try again or press "
                          "Cancel to abort this operation.");
}

bool CDbRetryPolicy::IsDiskFull(long code) const
{
    return code == DbErrors::kDiskFull ||
           (m_rules.resourcesExceededAsDiskFull && code == DbErrors::kResourcesExceeded);
}

bool CDbRetryPolicy::Ask(EQuestion question, const QString& text, MsgIcon icon)
{
    const MsgAnswer answer = m_ui.MessageBox(text, m_rules.caption, icon, MsgButtons::RetryCancel);
    if (m_rules.answered)
        m_rules.answered(question, answer);
    return answer == MsgAnswer::Retry;
}

void CDbRetryPolicy::LogOther(const CDbException& e, const QString& context) const
{
    if (m_rules.exceptionBox)
        LOG_EXCEPTION(e, QString(), context);
    else
        // The person hears of a lasting failure once, at the end of the series.
        AppendErrorLogLine(FormatErrorLogLine(QStringLiteral(__FILE__), __LINE__,
                                              FormatExceptionMessage(e, QString()), context));
}

bool CDbRetryPolicy::Run(const QString& context, const Step& step, const Step& reopen)
{
    return Run([&context] { return context; }, step, reopen);
}

bool CDbRetryPolicy::Run(const std::function<QString()>& context, const Step& step, const Step& reopen)
{
    int failures = 0;
    for (;;)
    {
        if (m_rules.mayTry && !m_rules.mayTry())
            return false;
        QString description;
        try
        {
            step();
            m_nLastError = 0;
            return true;
        }
        catch (const CDbException& e)
        {
            const long code = e.m_nErrorCode;
            m_nLastError = code;
            description = e.m_strDescription;
            ++failures;
            if (m_rules.reopenOnReopenErrors && DbErrors::IsReopenError(code))
            {
                // Without a way to reopen here, the enclosing step reopens what it opened.
                if (!reopen)
                    throw;
                reopen();
            }
            else if (IsDiskFull(code))
            {
                if (!Ask(EQuestion::DiskFull, DiskFullText(), m_rules.diskFullIcon))
                    return false;
                failures = 0;
                continue;
            }
            else if (DbErrors::IsWaitAndRetryError(code))
            {
                if (failures < m_rules.attemptsPerSeries || m_rules.waitBeforeSeriesQuestion)
                    m_wait(RetryWait(failures));
            }
            else
                LogOther(e, context());
        }
        if (failures >= m_rules.attemptsPerSeries)
        {
            if (!Ask(EQuestion::Series, description, MsgIcon::Warning))
                return false;
            failures = 0;
        }
    }
}
