#include "cli/CliSearch.h"

#include "browser/MirrowelDoc.h"
#include "browser/search/FindSession.h"
#include "browser/search/MagnetLink.h"
#include "cli/CliCommands.h"
#include "cli/CliOptions.h"
#include "cli/CliTable.h"
#include "common/FilePath.h"
#include "database/DbDatabase.h"

#include <QFileInfo>

#include <cstdio>

namespace
{
int Refuse(int status, const QString& text)
{
    std::fprintf(stderr, "quarrane-cli: %s\n", qPrintable(text));
    return status;
}
} // namespace

int RunCliSearch(CMirrowelDoc& doc, const CCliOptions& o, QTextStream& out)
{
    if (!o.arguments.isEmpty() || (!o.name.isEmpty()) + (!o.tth.isEmpty()) + (!o.magnet.isEmpty()) != 1)
        return Refuse(kCliUsage, QStringLiteral("search takes one of --name TEXT, --tth TTH, --magnet LINK\n"
                                                "(quarrane-cli --help tells how to use it)"));
    CDbDatabase& db = *doc.Database();
    const std::vector<SSearchField> fields = LoadSearchableFields(db);
    SQueryFieldParam param;
    if (!o.name.isEmpty())
    {
        param.strOperator = QStringLiteral("Contains");
        param.strValue = o.name;
    }
    else
    {
        QString tth = o.tth.trimmed().toUpper();
        if (!o.magnet.isEmpty())
        {
            const std::optional<SMagnetLink> link = ParseMagnetLink(o.magnet);
            if (!link)
                return Refuse(
                    kCliUsage,
                    QStringLiteral("not a magnet link with a TTH (xt=urn:tree:tiger:...): %1").arg(o.magnet));
            tth = link->strTth;
        }
        param.strOperator = QStringLiteral("=");
        param.strValue = tth;
    }
    const SSearchField* field =
        FindSearchField(fields, o.name.isEmpty() ? QStringLiteral("TTH") : kFileNameFolderAlternateFile);
    if (!field)
        return Refuse(kCliFailed, QStringLiteral("the database has no searchable field for this search"));
    param.field = *field;
    const SConditionFragment condition = QueryFieldCondition(param, QDateTime::currentDateTime());
    const QString base = DefaultSearchSql(db, false);
    if (base.isEmpty())
        return Refuse(kCliFailed, QStringLiteral("the database has no DefaultSearchAllCataloguesQuery"));
    const QString sql =
        SearchStatement(base, condition.strFragment,
                        QStringLiteral("Catalogue.Catalogue, RelativePath.RelativePath, File.File, "
                                       "File.FileSizeDouble, Catalogue.Location"),
                        doc.UserName());
    CDbStatement rows = db.Prepare(sql);
    CCliTableWriter writer(out, o.format, {"Catalogue", "Folder", "File", "Size", "Online"});
    while (rows.Step())
    {
        const QString folder = rows.Value(1).IsNull() ? QString() : rows.Value(1).ToString();
        const QString path = CatalogueFilePath(rows.Value(4).ToString(), folder, rows.Value(2).ToString());
        writer.Row({rows.Value(0), CDbValue(CliFolderText(folder)), rows.Value(2),
                    CDbValue(rows.Value(3).ToDouble()), CDbValue(QFileInfo::exists(path))});
    }
    writer.Finish();
    if (writer.RowCount() == 0 && !o.quiet)
        std::fprintf(stderr, "quarrane-cli: no file matches\n");
    return kCliDone;
}
