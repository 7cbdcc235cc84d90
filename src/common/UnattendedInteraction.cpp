#include "common/UnattendedInteraction.h"

#include <cstdio>

MsgAnswer CUnattendedInteraction::MessageBox(const QString& text, const QString& caption, MsgIcon,
                                             MsgButtons buttons)
{
    const MsgAnswer answer = SafeDefaultAnswer(buttons);
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray line = (caption + QStringLiteral(": ") + shown + QStringLiteral(" [answered ") +
                             QLatin1String(MsgAnswerName(answer)) + QStringLiteral("]\n"))
                                .toLocal8Bit();
    std::lock_guard lock(m_mutex);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    return answer;
}
