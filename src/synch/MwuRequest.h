#pragma once

#include "common/SynchCommandLine.h"

#include <QString>

#include <atomic>

// How a request reached the synchronizer.
enum class RequestSource
{
    CommandLine, // the program's own command line (topic "CmdLine")
    AdviseStart, // an advise-start transaction: its client holds a link and hears of progress
    Execute,     // an execute transaction
};

// One command line to carry out: its tasks run in the fixed order add files, mark deleted, update
// TTH on a worker thread of its own.
struct CMwuRequest
{
    QString m_strTopic;
    QString m_strCommandLine;
    RequestSource m_source = RequestSource::CommandLine;
    quint64 m_linkId = 0; // the advise link of an advise-start request

    // Parsed by the worker from the command line as received.
    SynchCommandLine m_line;

    std::atomic<bool> m_bDone{false};
    // 0, or the first non-zero result of its task managers (2, 30, 4313).
    std::atomic<int> m_nResult{0};
};
