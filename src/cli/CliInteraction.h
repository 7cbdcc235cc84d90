#pragma once

#include "common/UnattendedInteraction.h"

// How the document's questions and messages reach a person at a shell: each on stderr as one
// message in words, with the safe answer taken (Cancel or No), and with the window's menu
// commands named as the command line's.
class CCliInteraction final : public CUnattendedInteraction
{
public:
    MsgAnswer MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                         MsgButtons buttons) override;

    // The text as printed: line breaks of this system, advice in the command line's terms.
    static QString CommandLineText(const QString& text);
};
