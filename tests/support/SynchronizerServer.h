#pragma once

#include "ProcessEnvironment.h"
#include "common/ConversationClient.h"

#include <QTest>

// Waits until a synchronizer started by the test answers on its socket.
inline bool WaitForSynchronizerServer()
{
    return QTest::qWaitFor(
        []
        {
            CConversationClient probe;
            return probe.Connect(QStringLiteral("QuarraneSynch"), QStringLiteral("probe"), 200);
        },
        ScaledTimeout(20000));
}
