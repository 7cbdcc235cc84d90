// quarrane-cli: the browser's document operations for people at a shell and for scripts.
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "common/ProductVersion.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const CCliParse parse = ParseCliArguments(app.arguments().mid(1));
    if (parse.options.help)
    {
        std::printf("%s", kCliUsageText);
        return kCliDone;
    }
    if (parse.options.version)
    {
        std::printf("%s\n", qPrintable(ProductVersionLine(QStringLiteral("Quarrane"))));
        return kCliDone;
    }
    if (!parse.problem.isEmpty())
    {
        std::fprintf(stderr, "quarrane-cli: %s\n\n%s", qPrintable(parse.problem), kCliUsageText);
        return kCliUsage;
    }
    return RunCliCommand(parse.options);
}
