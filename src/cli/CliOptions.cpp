#include "cli/CliOptions.h"

const char* const kCliUsageText =
    "Usage: quarrane-cli COMMAND DB [ARGUMENTS] [OPTIONS]\n"
    "\n"
    "Commands that change the database:\n"
    "  new DB                         create an empty catalogue database\n"
    "  add-catalogue DB --name NAME --location FOLDER [--group ID] [--update-tth]\n"
    "                [--delete-duplicates] [--allow-same-name] [--create-location] [--no-wait]\n"
    "                                 catalogue a folder; prints the new catalogue's identifier\n"
    "  synchronize DB CATALOGUE_ID [--no-wait]   catalogue the folder again\n"
    "  update-tth DB CATALOGUE_ID [--no-wait]    hash the catalogue's files\n"
    "  check-catalogues DB (--all | --none | CATALOGUE_ID...)   choose the catalogues queries use\n"
    "  run-query DB \"QUERY NAME\"      run a stored query (see `queries`) and print its result\n"
    "  export DB --query NAME OUT     run a stored query and write its list as the window's\n"
    "                                 \"Export List...\" does (.csv or .tsv, or --format csv|tsv)\n"
    "  repair DB                      compact and repair the database (the old file goes to the trash);\n"
    "                                 on a server, add what a catalogue of an earlier version lacks\n"
    "  import DB OTHER                merge the catalogue database OTHER (unchanged) into DB\n"
    "  delete-checked DB [--ghost] [--yes]\n"
    "                                 delete (to the trash) or ghost the files checked for deletion;\n"
    "                                 without --yes it lists them and changes nothing. Of a file\n"
    "                                 whose every copy is checked, one copy is kept\n"
    "\n"
    "Commands that only read (the database is opened read-only, so read-only media work):\n"
    "  catalogues DB                  the catalogues\n"
    "  checked DB                     the files checked for deletion\n"
    "  queries DB                     the stored queries, by group, as the query browser orders them\n"
    "  sql DB \"SELECT ...\"            any read-only SQLite statement, with the catalogue's collation\n"
    "  check DB                       integrity, foreign keys and the catalogue's own rules\n"
    "  export DB --catalogue NAME [--folder PATH] OUT   a catalogue folder (its root without\n"
    "                                 --folder) as the folder view lists it\n"
    "  search DB (--name TEXT | --tth TTH | --magnet LINK)\n"
    "                                 the files of every catalogue whose name, folder or alternate\n"
    "                                 name holds TEXT, or with that TTH: catalogue, folder, file,\n"
    "                                 size, and whether the file can be reached now\n"
    "\n"
    "Options:\n"
    "  --format tsv|csv|json          how rows are printed (default tsv: tab-separated with a header;\n"
    "                                 tabs, line breaks and backslashes in values as \\t \\n \\\\)\n"
    "  --columns all                  every column of a query's result (default: catalogue, folder,\n"
    "                                 file, size, TTH, checked, where the result has them)\n"
    "  --quiet                        no progress and no report of success; errors still on stderr\n"
    "  --user NAME                    act for another user's marks\n"
    "  --help, --version\n"
    "\n"
    "Commands that start the synchronizer wait until it has done the work (unless --no-wait) and\n"
    "show its progress on stderr while that is a terminal. A location that does not exist is\n"
    "refused unless --create-location; a catalogue name already used (whatever its case) is\n"
    "refused unless --allow-same-name.\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  failed: the reason is on stderr; `check` found a problem\n"
    "  2  wrong usage\n"
    "  3  the synchronizer did not finish the work: what it reported is on stderr\n";

namespace
{
std::optional<ECliFormat> FormatFromName(const QString& name)
{
    if (name == QLatin1String("tsv"))
        return ECliFormat::Tsv;
    if (name == QLatin1String("csv"))
        return ECliFormat::Csv;
    if (name == QLatin1String("json"))
        return ECliFormat::Json;
    return std::nullopt;
}
} // namespace

const QStringList& CliCommandNames()
{
    static const QStringList names = {
        "new",           "add-catalogue", "synchronize", "update-tth", "check-catalogues",
        "run-query",     "repair",        "catalogues",  "checked",    "queries",
        "sql",           "check",         "import",      "export",     "search",
        "delete-checked"};
    return names;
}

bool IsReadOnlyCliCommand(const QString& command)
{
    static const QStringList readers = {"catalogues", "checked", "queries", "sql", "check", "search"};
    return readers.contains(command);
}

CCliParse ParseCliArguments(const QStringList& arguments)
{
    CCliParse parse;
    CCliOptions& o = parse.options;
    QStringList positional;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i)
    {
        const QString& a = arguments[i];
        if (optionsEnded || !a.startsWith(QLatin1String("--")))
        {
            positional.append(a);
            continue;
        }
        if (a == QLatin1String("--"))
        {
            optionsEnded = true;
            continue;
        }
        // "--name=X" and "--name X" alike.
        QString option = a;
        std::optional<QString> inlineValue;
        if (const qsizetype equals = a.indexOf(QLatin1Char('=')); equals > 0)
        {
            option = a.left(equals);
            inlineValue = a.mid(equals + 1);
        }
        static const QStringList valued = {"--name",   "--location", "--group", "--user",
                                           "--format", "--columns",  "--query", "--catalogue",
                                           "--folder", "--tth",      "--magnet"};
        if (valued.contains(option))
        {
            QString value;
            if (inlineValue)
                value = *inlineValue;
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
            {
                parse.problem = QStringLiteral("%1 needs a value").arg(option);
                return parse;
            }
            if (option == QLatin1String("--name"))
                o.name = value;
            else if (option == QLatin1String("--location"))
                o.location = value;
            else if (option == QLatin1String("--user"))
                o.user = value;
            else if (option == QLatin1String("--query"))
                o.query = value;
            else if (option == QLatin1String("--catalogue"))
                o.catalogue = value;
            else if (option == QLatin1String("--folder"))
                o.folder = value;
            else if (option == QLatin1String("--tth"))
                o.tth = value;
            else if (option == QLatin1String("--magnet"))
                o.magnet = value;
            else if (option == QLatin1String("--group"))
            {
                bool ok = false;
                o.group = value.toInt(&ok);
                if (!ok || *o.group < 0)
                {
                    parse.problem = QStringLiteral("not a group identifier: %1").arg(value);
                    return parse;
                }
            }
            else if (option == QLatin1String("--format"))
            {
                const std::optional<ECliFormat> format = FormatFromName(value);
                if (!format)
                {
                    parse.problem = QStringLiteral("unknown format %1 (tsv, csv or json)").arg(value);
                    return parse;
                }
                o.format = *format;
                o.formatGiven = true;
            }
            else
            {
                if (value != QLatin1String("all"))
                {
                    parse.problem = QStringLiteral("--columns takes \"all\"");
                    return parse;
                }
                o.allColumns = true;
            }
            continue;
        }
        if (inlineValue)
        {
            parse.problem = QStringLiteral("%1 takes no value").arg(option);
            return parse;
        }
        const std::pair<const char*, bool*> flags[] = {{"--update-tth", &o.updateTTH},
                                                       {"--delete-duplicates", &o.deleteDuplicates},
                                                       {"--no-wait", &o.noWait},
                                                       {"--all", &o.all},
                                                       {"--none", &o.none},
                                                       {"--quiet", &o.quiet},
                                                       {"--allow-same-name", &o.allowSameName},
                                                       {"--create-location", &o.createLocation},
                                                       {"--ghost", &o.ghost},
                                                       {"--yes", &o.yes},
                                                       {"--help", &o.help},
                                                       {"--version", &o.version}};
        bool known = false;
        for (const auto& [name, flag] : flags)
            if (option == QLatin1String(name))
            {
                *flag = true;
                known = true;
            }
        if (!known)
        {
            parse.problem = QStringLiteral("unknown option %1").arg(option);
            return parse;
        }
    }
    if (o.help || o.version)
        return parse;
    if (positional.size() < 2)
    {
        parse.problem = QStringLiteral("a command and a database are needed");
        return parse;
    }
    o.command = positional[0];
    o.database = positional[1];
    o.arguments = positional.mid(2);
    if (!CliCommandNames().contains(o.command))
        parse.problem = QStringLiteral("unknown command %1").arg(o.command);
    return parse;
}
