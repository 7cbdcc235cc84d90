#include "common/SynchCommandLine.h"

namespace
{
// The working copy: trimmed, upper case, one blank appended. Positions in it match positions in
// the trimmed original, which is where values are copied from.
struct WorkingCopy
{
    QString original;
    QString upper;
};

WorkingCopy MakeWorkingCopy(const QString& commandLine)
{
    WorkingCopy copy;
    copy.original = commandLine.trimmed() + QLatin1Char(' ');
    // Upper-casing character by character keeps positions aligned (ß would otherwise become SS).
    copy.upper = copy.original;
    for (QChar& c : copy.upper)
        c = c.toUpper();
    return copy;
}
} // namespace

qint32 AtoL(const QString& text)
{
    int i = 0;
    while (i < text.size() && (text[i] == QLatin1Char(' ') || (text[i] >= QChar(9) && text[i] <= QChar(13))))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('-') || text[i] == QLatin1Char('+')))
        negative = text[i++] == QLatin1Char('-');
    quint32 value = 0;
    for (; i < text.size() && text[i] >= QLatin1Char('0') && text[i] <= QLatin1Char('9'); ++i)
        value = value * 10 + static_cast<quint32>(text[i].unicode() - '0');
    return static_cast<qint32>(negative ? 0u - value : value);
}

bool SynchCommandLineFlag(const QString& commandLine, const QString& keyword)
{
    const QString upper = MakeWorkingCopy(commandLine).upper;
    return upper.contains(QLatin1Char('-') + keyword + QLatin1Char(' ')) ||
           upper.contains(QLatin1Char('/') + keyword + QLatin1Char(' '));
}

QString SynchCommandLineValue(const QString& commandLine, const QString& keyword)
{
    const WorkingCopy copy = MakeWorkingCopy(commandLine);
    const QString key = keyword + QLatin1Char('=');
    qsizetype start = -1;
    if (copy.upper.startsWith(key))
        start = key.size();
    else
        for (const QChar lead : {QLatin1Char('-'), QLatin1Char('/'), QLatin1Char(' '), QLatin1Char('\t')})
        {
            const qsizetype at = copy.upper.indexOf(lead + key);
            if (at >= 0)
            {
                start = at + 1 + key.size();
                break;
            }
        }
    if (start < 0 || start >= copy.original.size())
        return QString();

    QChar terminator = QLatin1Char(' ');
    if (copy.original[start] == QLatin1Char('"') || copy.original[start] == QLatin1Char('\''))
        terminator = copy.original[start++];
    const qsizetype end = copy.original.indexOf(terminator, start);
    if (end < 0)
        return QString();
    return copy.original.mid(start, end - start);
}

bool SynchCommandLine::TaskFlag(int index) const
{
    switch (index)
    {
    case 1:
        return addFiles;
    case 2:
        return markDeleted;
    case 3:
        return updateTTH;
    default:
        return false;
    }
}

SynchCommandLine SynchCommandLine::Parse(const QString& commandLine)
{
    SynchCommandLine line;
    line.database = SynchCommandLineValue(commandLine, QStringLiteral("DATABASE"));
    line.catalogue = SynchCommandLineValue(commandLine, QStringLiteral("CATALOGUE"));
    line.catalogueId = AtoL(SynchCommandLineValue(commandLine, QStringLiteral("CATALOGUEID")));
    line.addFiles = SynchCommandLineFlag(commandLine, QStringLiteral("ADDFILES"));
    line.markDeleted = SynchCommandLineFlag(commandLine, QStringLiteral("MARKDELETED"));
    line.updateTTH = SynchCommandLineFlag(commandLine, QStringLiteral("UPDATETTH"));
    line.forceUpdateTTH = SynchCommandLineFlag(commandLine, QStringLiteral("FORCEUPDATETTH"));
    line.noModifiedUpdateTTH = SynchCommandLineFlag(commandLine, QStringLiteral("NOMODIFIEDUPDATETTH"));
    line.deleteDuplicates = SynchCommandLineFlag(commandLine, QStringLiteral("DELETEDUPLICATES"));
    line.ghostDuplicates = SynchCommandLineFlag(commandLine, QStringLiteral("GHOSTDUPLICATES"));
    line.quit = SynchCommandLineFlag(commandLine, QStringLiteral("QUIT"));
    return line;
}

SynchCommandLine SynchCommandLine::ParseStartupArguments(const QStringList& arguments)
{
    SynchCommandLine line;
    for (QString argument : arguments)
    {
        // Options arrive with their dash or slash, which the keyword test does not include.
        if (argument.startsWith(QLatin1Char('-')) || argument.startsWith(QLatin1Char('/')))
            argument.remove(0, 1);
        const QString upper = argument.toUpper();
        if (upper.startsWith(QLatin1String("DATABASE=")))
            line.database = argument.mid(9);
        else if (upper.startsWith(QLatin1String("CATALOGUEID=")))
            line.catalogueId = AtoL(argument.mid(12));
        else if (upper.startsWith(QLatin1String("CATALOGUE=")))
            line.catalogue = argument.mid(10);
    }
    return line;
}

bool SynchCommandLine::WouldCreateRequest() const
{
    return !database.isEmpty() && (catalogueId != 0 || !catalogue.isEmpty());
}

QString SynchCommandLine::JoinArguments(const QStringList& arguments)
{
    QStringList parts;
    for (const QString& argument : arguments)
    {
        const bool needsQuotes = argument.contains(QLatin1Char(' ')) || argument.contains(QLatin1Char('\t'));
        if (!needsQuotes)
        {
            parts.append(argument);
            continue;
        }
        // Quote the value after "=", with whichever quote the value does not contain.
        const QChar quote = argument.contains(QLatin1Char('"')) ? QLatin1Char('\'') : QLatin1Char('"');
        const qsizetype equals = argument.indexOf(QLatin1Char('='));
        if (equals >= 0)
            parts.append(argument.left(equals + 1) + quote + argument.mid(equals + 1) + quote);
        else
            parts.append(quote + argument + quote);
    }
    return parts.join(QLatin1Char(' '));
}
