#include "gui/WidgetInteraction.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QThread>

namespace
{
QMessageBox::Icon ToQtIcon(MsgIcon icon)
{
    switch (icon)
    {
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::Warning:
        return QMessageBox::Warning;
    case MsgIcon::Error:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MsgButtons buttons)
{
    switch (buttons)
    {
    case MsgButtons::Ok:
        return QMessageBox::Ok;
    case MsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MsgButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MsgButtons::RetryCancel:
        return QMessageBox::Retry | QMessageBox::Cancel;
    case MsgButtons::AbortRetryIgnore:
        return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

MsgAnswer FromQtButton(int button, MsgButtons offered)
{
    switch (button)
    {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Cancel:
        return MsgAnswer::Cancel;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    case QMessageBox::Retry:
        return MsgAnswer::Retry;
    case QMessageBox::Abort:
        return MsgAnswer::Abort;
    case QMessageBox::Ignore:
        return MsgAnswer::Ignore;
    default:
        // Closed without a button (window manager, Esc without a Cancel button).
        return SafeDefaultAnswer(offered);
    }
}
} // namespace

CWidgetInteraction::CWidgetInteraction(QWidget* pOwner, QStatusBar* pStatusBar, QProgressBar* pProgressBar)
    : m_pOwner(pOwner), m_pStatusBar(pStatusBar), m_pProgressBar(pProgressBar)
{
    if (qApp)
        qApp->installEventFilter(this);
}

CWidgetInteraction::~CWidgetInteraction()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

void CWidgetInteraction::SetWidgets(QWidget* pOwner, QStatusBar* pStatusBar, QProgressBar* pProgressBar)
{
    m_pOwner = pOwner;
    m_pStatusBar = pStatusBar;
    m_pProgressBar = pProgressBar;
}

template <typename F> void CWidgetInteraction::OnGuiThread(F&& f)
{
    if (QThread::currentThread() == thread())
        f();
    else
        QMetaObject::invokeMethod(this, std::forward<F>(f), Qt::QueuedConnection);
}

MsgAnswer CWidgetInteraction::MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                                         MsgButtons buttons)
{
    if (QThread::currentThread() == thread())
        return ShowMessageBox(text, caption, icon, buttons);
    MsgAnswer answer = SafeDefaultAnswer(buttons);
    QMetaObject::invokeMethod(
        this, [&] { answer = ShowMessageBox(text, caption, icon, buttons); }, Qt::BlockingQueuedConnection);
    return answer;
}

MsgAnswer CWidgetInteraction::ShowMessageBox(const QString& text, const QString& caption, MsgIcon icon,
                                             MsgButtons buttons)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QMessageBox box(ToQtIcon(icon), caption, shown, ToQtButtons(buttons), m_pOwner);
    box.setTextFormat(Qt::PlainText);
    return FromQtButton(box.exec(), buttons);
}

void CWidgetInteraction::SetStatusText(const QString& text)
{
    OnGuiThread([this, text] {
        if (m_pStatusBar)
            m_pStatusBar->showMessage(text);
    });
}

void CWidgetInteraction::SetProgressRange(int lower, int upper)
{
    OnGuiThread([this, lower, upper] {
        if (!m_pProgressBar)
            return;
        m_pProgressBar->setRange(lower, upper);
        m_pProgressBar->setValue(lower);
        m_pProgressBar->show();
    });
}

void CWidgetInteraction::SetProgressPos(int pos)
{
    OnGuiThread([this, pos] {
        if (m_pProgressBar)
            m_pProgressBar->setValue(pos);
    });
}

void CWidgetInteraction::StepProgress()
{
    OnGuiThread([this] {
        if (m_pProgressBar)
            m_pProgressBar->setValue(m_pProgressBar->value() + 1);
    });
}

void CWidgetInteraction::ClearProgress()
{
    OnGuiThread([this] {
        if (!m_pProgressBar)
            return;
        m_pProgressBar->reset();
        m_pProgressBar->hide();
    });
}

void CWidgetInteraction::BeginWaitCursor()
{
    OnGuiThread([] { QApplication::setOverrideCursor(Qt::WaitCursor); });
}

void CWidgetInteraction::EndWaitCursor()
{
    OnGuiThread([] { QApplication::restoreOverrideCursor(); });
}

bool CWidgetInteraction::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && IsOperationRunning() &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
    {
        SetOperationRunning(false);
        return true;
    }
    return QObject::eventFilter(watched, event);
}
