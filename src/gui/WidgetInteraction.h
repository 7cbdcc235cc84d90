#pragma once

#include "common/UserInteraction.h"

#include <QObject>
#include <QPointer>

class QProgressBar;
class QStatusBar;
class QWidget;

// The interaction with Qt widgets. Safe from any thread: a worker's question is shown on the GUI
// thread and the worker waits for the answer; status and progress updates are queued to it.
// Esc anywhere in the application clears the operation-running flag.
class CWidgetInteraction final : public QObject, public CUserInteraction
{
    Q_OBJECT

public:
    explicit CWidgetInteraction(QWidget* pOwner = nullptr, QStatusBar* pStatusBar = nullptr,
                                QProgressBar* pProgressBar = nullptr);
    ~CWidgetInteraction() override;

    // The window that owns the boxes and shows status and progress, once it exists: the document
    // that talks through this interaction is made before its window.
    void SetWidgets(QWidget* pOwner, QStatusBar* pStatusBar, QProgressBar* pProgressBar);

    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    void SetStatusText(const QString& text) override;
    void SetProgressRange(int lower, int upper) override;
    void SetProgressPos(int pos) override;
    void StepProgress() override;
    void ClearProgress() override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MsgAnswer ShowMessageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons);
    template <typename F> void OnGuiThread(F&& f);

    QPointer<QWidget> m_pOwner;
    QPointer<QStatusBar> m_pStatusBar;
    QPointer<QProgressBar> m_pProgressBar;
};
