#include "cli/CliImport.h"

#include "browser/JobRunner.h"
#include "browser/MirrowelDoc.h"
#include "browser/import/MwImport.h"
#include "browser/import/MwImportCommand.h"
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "database/DbAddress.h"

#include <QFileInfo>

#include <cstdio>

int RunCliImport(CMirrowelDoc& doc, const CCliOptions& options)
{
    if (options.arguments.size() != 1)
    {
        std::fprintf(stderr,
                     "quarrane-cli: import needs the database to import\n(quarrane-cli --help tells how to "
                     "use it)\n");
        return kCliUsage;
    }
    // The other database may be a file or a catalogue on a server.
    const bool server = DbAddress::IsServerAddress(options.arguments[0]);
    const QString other = server ? options.arguments[0] : QFileInfo(options.arguments[0]).absoluteFilePath();
    if (!server && !QFileInfo(other).isFile())
    {
        std::fprintf(stderr, "quarrane-cli: %s does not exist\n", qPrintable(other));
        return kCliFailed;
    }
    // What went wrong reaches stderr through the document's messages.
    std::optional<SMwImportResult> result;
    if (!OnMwFileImport(doc, other, [&result](const SMwImportResult& r) { result = r; }))
        return kCliFailed;
    doc.Jobs().Wait();
    if (!result || !result->Succeeded())
        return kCliFailed;
    if (!options.quiet)
        std::fprintf(stderr, "%s imported into %s\n", qPrintable(DbAddress::Display(other)),
                     qPrintable(DbAddress::Display(doc.Path())));
    return kCliDone;
}
