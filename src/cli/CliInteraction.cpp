#include "cli/CliInteraction.h"

#include <cstdio>

QString CCliInteraction::CommandLineText(const QString& text)
{
    // Advice that names the window's menus, and what to do at the command line instead.
    static const std::pair<const char*, const char*> advice[] = {
        {"Try Repairing the database using the File menus \"Repair Database\" command.",
         "Try: quarrane-cli repair DB"},
        {"then select Import from the File menu and import this database",
         "then import this database into it: quarrane-cli import NEW.qrl OLD.qrl"},
    };
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    for (const auto& [window, commandLine] : advice)
        shown.replace(QLatin1String(window), QLatin1String(commandLine));
    return shown.trimmed();
}

MsgAnswer CCliInteraction::MessageBox(const QString& text, const QString& caption, MsgIcon,
                                      MsgButtons buttons)
{
    const QByteArray line = (QStringLiteral("quarrane-cli: ") + caption + QStringLiteral(": ") +
                             CommandLineText(text) + QLatin1Char('\n'))
                                .toLocal8Bit();
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stderr);
    std::fflush(stderr);
    return SafeDefaultAnswer(buttons);
}
