#include "browser/fileops/CheckToSize.h"

#include "browser/RecordSetSql.h"
#include "browser/fileops/FileRecord.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"

#include <QRegularExpression>
#include <QSet>

#include <cmath>
#include <limits>

const std::vector<CCapacityPreset>& CapacityPresets()
{
    static const std::vector<CCapacityPreset> presets = {
        {"650MB CD", 678428672},
        {"700MB CD", 730857472},
        {"4.7GB DVD (Large number of files)", 4507789921},
        {"4.7GB DVD (Small to Medium number of files - Maximum disk space)", 4687851677},
    };
    return presets;
}

const std::vector<std::pair<QString, qint64>>& CapacityUnits()
{
    static const std::vector<std::pair<QString, qint64>> units = {
        {QStringLiteral("Bytes"), 1},
        {QStringLiteral("KB"), 1024},
        {QStringLiteral("MB"), 1048576},
        {QStringLiteral("GB"), 1073741824},
    };
    return units;
}

std::optional<qint64> CustomCapacity(const QString& number, int unit)
{
    static const QRegularExpression decimal(QStringLiteral("^(\\d*)(\\.(\\d*))?$"));
    const QRegularExpressionMatch match = decimal.match(number);
    if (!match.hasMatch() || unit < 0 || unit >= static_cast<int>(CapacityUnits().size()))
        return std::nullopt;
    if (match.captured(1).isEmpty() && match.captured(3).isEmpty())
        return std::nullopt;
    // Whole part and fraction apart, so that 1.5 GB is exactly 1610612736 bytes and large whole
    // numbers lose nothing to a double.
    const qint64 factor = CapacityUnits()[unit].second;
    bool ok = true;
    const QString whole = match.captured(1);
    const qint64 wholeValue = whole.isEmpty() ? 0 : whole.toLongLong(&ok);
    if (!ok || wholeValue > std::numeric_limits<qint64>::max() / factor)
        return std::nullopt;
    qint64 bytes = wholeValue * factor;
    const QString fraction = match.captured(3).left(18);
    if (!fraction.isEmpty())
    {
        const long double part = fraction.toLongLong() / std::pow(10.0L, fraction.size());
        const auto extra = static_cast<qint64>(std::floor(part * factor));
        if (bytes > std::numeric_limits<qint64>::max() - extra)
            return std::nullopt;
        bytes += extra;
    }
    return bytes;
}

bool CheckFilesToSize(CDbDatabase& db, const CRecordSetSql& list, ECheckToSizeOrder order, qint64 capacity,
                      const QString& userName, CDbRetryPolicy& policy, CCheckToSizeResult& result)
{
    result = CCheckToSizeResult{};
    struct CRow
    {
        qint32 fileId;
        qint64 size;
        bool eligible; // neither DontMark nor a ghost
    };
    const QString orderBy = order == ECheckToSizeOrder::ByName
                                ? QStringLiteral("ORDER BY File.File")
                                : QStringLiteral("ORDER BY File.FileSizeHigh DESC, File.FileSize DESC");
    QString sql =
        QStringLiteral("SELECT File.FileId, File.FileSize, File.FileSizeHigh, File.DontMark, File.Ghost");
    for (const QString& part : {list.From().trimmed(), list.Where().trimmed(), orderBy})
        if (!part.isEmpty())
            sql += QLatin1Char(' ') + part;
    std::vector<CRow> rows;
    CDbStatement st = db.Prepare(list.ResolveUser(sql));
    while (st.Step())
    {
        // FileSize holds the low 32 bits as a signed number.
        const qint64 size = (qint64(st.Value(2).ToLong()) << 32) + quint32(st.Value(1).ToLong());
        rows.push_back({st.Value(0).ToLong(), size, !st.Value(3).ToBool() && !st.Value(4).ToBool()});
    }
    QSet<qint32> checked;
    {
        CDbStatement marks = db.PrepareSqlite(
            QStringLiteral("SELECT FileId FROM \"FileUserSelect\" WHERE \"User\" = ? AND Mark <> 0"));
        marks.Bind(1, userName);
        while (marks.Step())
            checked.insert(marks.Value(0).ToLong());
    }

    qint64 total = 0;
    for (const CRow& row : rows)
    {
        if (total >= capacity)
            break;
        if (checked.contains(row.fileId))
            total += row.size;
    }
    for (const CRow& row : rows)
    {
        if (total >= capacity)
            break;
        if (row.eligible && !checked.contains(row.fileId) && row.size <= capacity - total)
        {
            result.checkedFileIds.push_back(row.fileId);
            checked.insert(row.fileId);
            total += row.size;
        }
    }
    result.nTotal = total;
    if (result.checkedFileIds.empty())
        return true;
    return policy.Run(QStringLiteral("CMirrowelView::OnMwFilelistMarkToSize() - Mark"),
                      [&]
                      {
                          CDbTransaction transaction(db);
                          for (const qint32 id : result.checkedFileIds)
                              SetFileMark(db, id, userName, true);
                          transaction.Commit();
                      });
}
