#pragma once

#include "common/UnattendedInteraction.h"

// The synchronizer run with -Unattended: every question gets its safe default, and its text goes to
// the error log as well as stderr, so that a scripted run leaves a record of what it was asked.
class CSynchUnattendedInteraction final : public CUnattendedInteraction
{
public:
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon, MsgButtons buttons) override;
};
