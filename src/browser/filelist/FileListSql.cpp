#include "browser/filelist/FileListSql.h"

#include "database/JetSql.h"

SFolderViewSql FolderViewSql(const QString& userName, qint32 catalogueId, qint32 relativePathId)
{
    const QString user = CJetSql::QuoteText(userName);
    SFolderViewSql sql;
    sql.from = QStringLiteral(
                   "FROM FileInfo RIGHT JOIN ((Catalogue INNER JOIN (RelativePath RIGHT JOIN File ON "
                   "RelativePath.RelativePathId = File.RelativePathId) ON Catalogue.CatalogueId = "
                   "File.CatalogueId) LEFT JOIN FileUserSelect ON (File.FileId = FileUserSelect.FileId AND "
                   "FileUserSelect.User=%1)) ON FileInfo.FileInfoId = File.FileInfoId")
                   .arg(user);
    sql.where = QStringLiteral("WHERE ( (FileUserSelect.User=%1 Or (FileUserSelect.User) Is Null) AND "
                               "File.CatalogueId=%2 AND File.RelativePathId=%3 AND (File.Deleted=False) )")
                    .arg(user)
                    .arg(catalogueId)
                    .arg(relativePathId);
    return sql;
}

QString LetterJumpCriterion(QChar typed)
{
    if (typed == QLatin1Char('\''))
        return QStringLiteral("File.File LIKE '''*'");
    return QStringLiteral("File.File LIKE '[%1]*'").arg(typed);
}

QString ListCriterion(const QString& criterion, const std::vector<CDataCtrlDescriptor>& fields)
{
    QString result;
    qsizetype i = 0;
    const qsizetype n = criterion.size();
    auto isName = [](QChar c) { return c.isLetterOrNumber() || c == QLatin1Char('_'); };
    while (i < n)
    {
        const QChar c = criterion[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('#'))
        {
            // A literal, to its closing quote (a doubled quote stays inside it).
            qsizetype end = i + 1;
            while (end < n)
            {
                if (criterion[end] == c)
                {
                    if (end + 1 < n && criterion[end + 1] == c && c != QLatin1Char('#'))
                    {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            result += criterion.mid(i, end + 1 - i);
            i = end + 1;
            continue;
        }
        if (!isName(c) && c != QLatin1Char('['))
        {
            result += c;
            ++i;
            continue;
        }
        // A name, perhaps bracketed, perhaps qualified.
        qsizetype end = i;
        while (end < n && (isName(criterion[end]) || criterion[end] == QLatin1Char('.') ||
                           criterion[end] == QLatin1Char('[') || criterion[end] == QLatin1Char(']')))
            ++end;
        QString name = criterion.mid(i, end - i);
        QString bare = name;
        bare.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
        for (const CDataCtrlDescriptor& field : fields)
            if (bare.contains(QLatin1Char('.')) &&
                field.m_strFieldName.compare(bare, Qt::CaseInsensitive) == 0)
            {
                name = QLatin1Char('[') + bare.section(QLatin1Char('.'), 1) + QLatin1Char(']');
                break;
            }
        result += name;
        i = end;
    }
    return result;
}
