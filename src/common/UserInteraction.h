#pragma once

#include <QString>

#include <atomic>

// How logic talks to the person: message boxes, status text, progress, the wait cursor and the
// operation-running flag that Esc clears. Logic gets one of these injected and never includes a
// widget header; the programs install the widget implementation, tests a scripted one, and a
// program running without anyone at the screen the unattended one.

enum class MsgIcon
{
    None,
    Information,
    Warning,
    Error,
    Question,
};

enum class MsgButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesNoCancel,
    RetryCancel,
    AbortRetryIgnore,
};

enum class MsgAnswer
{
    Ok,
    Cancel,
    Yes,
    No,
    Retry,
    Abort,
    Ignore,
};

// The answer that changes nothing: Cancel where offered, else No, else Abort, else OK.
MsgAnswer SafeDefaultAnswer(MsgButtons buttons);

const char* MsgAnswerName(MsgAnswer answer);

class CUserInteraction
{
public:
    CUserInteraction() = default;
    CUserInteraction(const CUserInteraction&) = delete;
    CUserInteraction& operator=(const CUserInteraction&) = delete;
    virtual ~CUserInteraction();

    // Shows a box and returns the person's answer. Any thread may call it; the call returns once
    // the question is answered.
    virtual MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                                 MsgButtons buttons) = 0;

    virtual void SetStatusText(const QString& text) = 0;

    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressPos(int pos) = 0;
    virtual void StepProgress() = 0;
    virtual void ClearProgress() = 0;

    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // A long operation sets the flag when it starts and looks at it between items; Esc clears it.
    void SetOperationRunning(bool running) { m_bOperationRunning.store(running); }
    bool IsOperationRunning() const { return m_bOperationRunning.load(); }

private:
    std::atomic<bool> m_bOperationRunning{false};
};

// Shows the wait cursor for as long as it lives.
class CWaitCursorScope final
{
public:
    explicit CWaitCursorScope(CUserInteraction& ui) : m_ui(ui) { m_ui.BeginWaitCursor(); }
    ~CWaitCursorScope() { m_ui.EndWaitCursor(); }
    CWaitCursorScope(const CWaitCursorScope&) = delete;
    CWaitCursorScope& operator=(const CWaitCursorScope&) = delete;

private:
    CUserInteraction& m_ui;
};

// The process's interaction, for code that reports without having one injected (the error log).
// Until a program installs its own, reports go to the unattended implementation (stderr).
CUserInteraction& ProcessUserInteraction();
// Installs ui as the process's interaction (nullptr restores the unattended one). The caller
// keeps ownership and must uninstall it before destroying it.
void SetProcessUserInteraction(CUserInteraction* ui);
