#include "synch/SynchUnattendedInteraction.h"

#include "common/ErrorLog.h"

MsgAnswer CSynchUnattendedInteraction::MessageBox(const QString& text, const QString& caption, MsgIcon icon,
                                                 MsgButtons buttons)
{
    const MsgAnswer answer = CUnattendedInteraction::MessageBox(text, caption, icon, buttons);
    QString flat = text;
    flat.replace(QStringLiteral("\r\n"), QStringLiteral(" "));
    AppendErrorLogLine(FormatErrorLogLine(QStringLiteral(__FILE__), __LINE__, flat,
                                          caption + QStringLiteral(" [answered ") +
                                              QLatin1String(MsgAnswerName(answer)) + QLatin1Char(']')));
    return answer;
}
