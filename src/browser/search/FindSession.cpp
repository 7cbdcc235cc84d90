#include "browser/search/FindSession.h"

#include "browser/SqlText.h"
#include "browser/search/MagnetLink.h"

#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/UserInteraction.h"
#include "database/DbDatabase.h"
#include "database/DbQueryDef.h"

std::vector<SSearchField> LoadSearchableFields(CDbDatabase& db)
{
    std::vector<SSearchField> fields;
    CDbStatement rows =
        db.Prepare(QStringLiteral("SELECT Field.Field, Field.TableField, Field.Type FROM Field WHERE "
                                  "Field.Searchable=TRUE ORDER BY Field.FieldId"));
    while (rows.Step())
        fields.push_back({rows.Value(0).ToString(), rows.Value(1).ToString(), rows.Value(2).ToLong()});
    return fields;
}

const SSearchField* FindSearchField(const std::vector<SSearchField>& fields, const QString& caption)
{
    for (const SSearchField& field : fields)
        if (field.strField.compare(caption, Qt::CaseInsensitive) == 0)
            return &field;
    return nullptr;
}

QString DefaultSearchSql(CDbDatabase& db, bool checkedOnly)
{
    const QString name = checkedOnly ? QStringLiteral("DefaultSearchCheckedCataloguesQuery")
                                     : QStringLiteral("DefaultSearchAllCataloguesQuery");
    const QString context = QStringLiteral("CMirrowelDoc::OnMwQuerySearch() - IntermediateQryDef.Open");
    QString sql;
    try
    {
        sql = db.OpenQueryDef(name).Sql();
    }
    catch (const CDbException& e)
    {
        LOG_EXCEPTION(e, QString(), context);
    }
    return sql;
}

QString SearchStatement(const QString& baseSql, const QString& condition, const QString& selectList,
                        const QString& userName)
{
    const SqlParts parts = SplitSql(baseSql, userName);
    QStringList statement{QStringLiteral("SELECT ") + selectList, parts.from,
                          AddWhere(parts.where, condition)};
    if (!parts.orderBy.isEmpty())
        statement.append(StripTrailingSemicolon(parts.orderBy));
    return statement.join(QLatin1Char(' '));
}

QString MagnetLinksOfFiles(CDbDatabase& db, const std::vector<qint32>& fileIds)
{
    QStringList links;
    CDbStatement file = db.Prepare(
        QStringLiteral("SELECT File.TTH, File.FileSizeDouble, File.File FROM File WHERE File.FileId=?"));
    for (const qint32 id : fileIds)
    {
        file.Bind(1, id);
        if (file.Step())
        {
            const QString tth = file.Value(0).IsNull() ? QString() : file.Value(0).ToString();
            if (!tth.isEmpty())
                links.append(BuildMagnetLink(tth, static_cast<qint64>(file.Value(1).ToDouble()),
                                             file.Value(2).ToString()));
        }
        file.Reset();
    }
    return links.join(QLatin1Char('\n'));
}

CFindSession::CFindSession(CUserInteraction& ui, FindRows findRows, ShowSearch showSearch)
    : m_ui(ui), m_fnFindRows(std::move(findRows)), m_fnShowSearch(std::move(showSearch))
{
}

bool CFindSession::Execute(const SFindRequest& request, CDbDatabase* db, const void* listKey)
{
    if (request.mode == EFindMode::Cancel)
        return false;
    const QDateTime now = m_fnClock ? m_fnClock() : QDateTime::currentDateTime();
    const SConditionFragment condition = CombinedCondition(request.conditions, now);
    if (!condition.IsValid())
    {
        m_ui.MessageBox(condition.strError, QStringLiteral("Find"), MsgIcon::Warning, MsgButtons::Ok);
        return false;
    }
    // A dialog with no condition does not search.
    if (condition.strFragment.isEmpty())
        return false;

    if (request.mode == EFindMode::FindFirst || request.mode == EFindMode::FindNext)
    {
        m_ui.SetStatusText(QStringLiteral("%1 - %2...")
                               .arg(request.mode == EFindMode::FindFirst ? QStringLiteral("Finding First")
                                                                         : QStringLiteral("Finding Next"),
                                    request.strTitle));
        m_criteria.insert(listKey, condition.strFragment);
        const bool found = m_fnFindRows && m_fnFindRows(request.mode, condition.strFragment);
        m_ui.SetStatusText(found ? QString() : QStringLiteral("Item not found"));
        return found;
    }

    if (!db)
        return false;
    CWaitCursorScope wait(m_ui);
    m_ui.SetStatusText(QStringLiteral("Searching for - %1...").arg(request.strTitle));
    m_searches.insert(request.strTitle.toCaseFolded(), request);
    m_strLastSearch = request.strTitle;
    const QString sql = DefaultSearchSql(*db, request.mode == EFindMode::SearchChecked);
    if (m_fnShowSearch)
        m_fnShowSearch(request.strTitle, sql, condition.strFragment);
    m_ui.SetStatusText(QString());
    return true;
}

bool CFindSession::FindNext(const void* listKey)
{
    const auto it = m_criteria.constFind(listKey);
    if (it == m_criteria.constEnd())
        return false;
    const bool found = m_fnFindRows && m_fnFindRows(EFindMode::FindNext, *it);
    m_ui.SetStatusText(found ? QString() : QStringLiteral("Item not found"));
    return found;
}

SFindRequest CFindSession::SearchRequest(const QString& title) const
{
    return m_searches.value(title.toCaseFolded());
}

void CFindSession::Clear()
{
    m_criteria.clear();
    m_searches.clear();
    m_strLastSearch.clear();
}
