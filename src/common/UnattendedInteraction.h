#pragma once

#include "common/UserInteraction.h"


#include <mutex>

// For a program that runs with nobody at the screen: every question gets the answer that changes
// nothing (Cancel or No), and its text goes to stderr so that the run's output explains itself.
class CUnattendedInteraction : public CUserInteraction
{
public:
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override;
    void SetStatusText(const QString&) override {}
    void SetProgressRange(int, int) override {}
    void SetProgressPos(int) override {}
    void StepProgress() override {}
    void ClearProgress() override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

private:
    std::mutex m_mutex;
};
