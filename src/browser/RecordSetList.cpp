#include "browser/RecordSetList.h"

#include "browser/RecordSetRowEditor.h"
#include "common/DbException.h"
#include "common/ErrorLog.h"
#include "common/FileFormat.h"
#include "database/DbDatabase.h"
#include "database/DbErrorCodes.h"

#include <QLocale>

#include <malloc.h>

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace
{
// Blocks from this size up are mapped on their own.
constexpr int kMappedBlockBytes = 1 << 20;

QVariant ToVariant(const CDbValue& value)
{
    switch (value.GetType())
    {
    case CDbValue::Type::Long:
        return value.ToLong();
    case CDbValue::Type::Double:
        return value.ToDouble();
    case CDbValue::Type::Text:
        return value.ToString();
    case CDbValue::Type::Bool:
        return value.ToBool();
    case CDbValue::Type::DateTime:
        return value.ToDateTime();
    default:
        return QVariant();
    }
}

CDbValue FromVariant(const QVariant& value)
{
    if (!value.isValid() || value.isNull())
        return CDbValue::Null();
    switch (value.typeId())
    {
    case QMetaType::Bool:
        return CDbValue(value.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return CDbValue(static_cast<qint32>(value.toLongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return CDbValue(value.toDouble());
    case QMetaType::QDateTime:
        return CDbValue(value.toDateTime());
    default:
        return CDbValue(value.toString());
    }
}

void LogReadError(long code, const QString& description, int row, int fieldIndex)
{
    // Disk and network errors show in the cells; a row deleted meanwhile shows empty cells.
    if (code == 0 || code == DbErrors::kDiskOrNetworkError || code == DbErrors::kRecordDeleted)
        return;
    AppendErrorLogLine(FormatErrorLogLine(
        QStringLiteral(__FILE__), __LINE__,
        FormatExceptionMessage(CDbException(code, description), QString()),
        QStringLiteral("CRecordSetList::DataCtrlGetRowColumnValue( %1, %2 )").arg(row).arg(fieldIndex)));
}
} // namespace

CRecordSetList::CRecordSetList(QObject* parent) : QAbstractTableModel(parent)
{
    // A list of a million rows makes blocks of megabytes (its keys, the view's row entries) that
    // grow a slice at a time. Left to itself malloc raises the size it maps blocks from to the
    // largest block freed, and then grows such blocks by copying them into fresh memory, tens of
    // milliseconds of page faults; mapped on their own they grow in place and go back to the
    // system when freed.
    static const bool mapped = [] { return mallopt(M_MMAP_THRESHOLD, kMappedBlockBytes) == 1; }();
    Q_UNUSED(mapped);
    m_dispatchTimer.setSingleShot(true);
    m_dispatchTimer.setInterval(0);
    connect(&m_dispatchTimer, &QTimer::timeout, this, &CRecordSetList::DispatchPages);
    m_insertTimer.setSingleShot(true);
    m_insertTimer.setInterval(0);
    connect(&m_insertTimer, &QTimer::timeout, this, &CRecordSetList::InsertRows);
    // The loader answers on its own thread into the inbox; the answers are taken in on the
    // model's thread. Only the inbox is shared, under its mutex: nothing the loader made is still
    // in its hands when the model reads it.
    m_pLoader = std::make_unique<CRecordSetLoader>(
        [this](CRecordSetKeys keys)
        {
            {
                std::lock_guard lock(m_inboxMutex);
                m_inboxKeys.push_back(std::move(keys));
            }
            QMetaObject::invokeMethod(this, &CRecordSetList::TakeInbox, Qt::QueuedConnection);
        },
        [this](CRecordSetPage page)
        {
            {
                std::lock_guard lock(m_inboxMutex);
                m_inboxPages.push_back(std::move(page));
            }
            QMetaObject::invokeMethod(this, &CRecordSetList::TakeInbox, Qt::QueuedConnection);
        });
}

void CRecordSetList::TakeInbox()
{
    std::deque<CRecordSetKeys> keys;
    std::deque<CRecordSetPage> pages;
    {
        std::lock_guard lock(m_inboxMutex);
        keys.swap(m_inboxKeys);
        pages.swap(m_inboxPages);
    }
    for (CRecordSetKeys& k : keys)
        OnKeys(std::move(k));
    for (CRecordSetPage& p : pages)
        OnPage(std::move(p));
}

CRecordSetList::~CRecordSetList()
{
    // Nothing may answer once the model starts going.
    m_pLoader.reset();
}

void CRecordSetList::DataCtrl_AddField(const CDataCtrlDescriptor& field)
{
    m_sql.AddField(field);
    UpdatePageLayout();
}

void CRecordSetList::AddColumn(const CDataCtrlDescriptor& column)
{
    const int at = columnCount();
    beginInsertColumns(QModelIndex(), at, at);
    m_sql.AddColumn(column);
    endInsertColumns();
    UpdatePageLayout();
}

void CRecordSetList::ClearFieldsAndColumns()
{
    if (columnCount() > 0)
    {
        beginRemoveColumns(QModelIndex(), 0, columnCount() - 1);
        m_sql.ClearColumns();
        endRemoveColumns();
    }
    m_sql.ClearFields();
    UpdatePageLayout();
}

void CRecordSetList::CacheShownFields(const QStringList& alsoCached)
{
    m_bCacheShownOnly = true;
    m_alsoCached = alsoCached;
    UpdatePageLayout();
}

bool CRecordSetList::IsCachedField(int fieldIndex) const
{
    return fieldIndex >= 0 && static_cast<size_t>(fieldIndex) < m_pageSlots.size() &&
           m_pageSlots[static_cast<size_t>(fieldIndex)] >= 0;
}

void CRecordSetList::UpdatePageLayout()
{
    const std::vector<CDataCtrlDescriptor>& fields = m_sql.Fields();
    std::vector<char> cached(fields.size(), m_bCacheShownOnly ? 0 : 1);
    if (m_bCacheShownOnly)
    {
        for (const CDataCtrlDescriptor& column : m_sql.Columns())
            if (column.m_bBound && column.m_nFieldIndex >= 0 &&
                static_cast<size_t>(column.m_nFieldIndex) < fields.size())
                cached[static_cast<size_t>(column.m_nFieldIndex)] = 1;
        for (const QString& name : m_alsoCached)
            if (const int field = m_sql.FieldIndex(name); field >= 0)
                cached[static_cast<size_t>(field)] = 1;
    }
    std::vector<int> pageFields;
    QStringList names;
    m_pageSlots.assign(fields.size(), -1);
    for (size_t i = 0; i < fields.size(); ++i)
        if (cached[i] && !fields[i].m_strFieldName.isEmpty())
        {
            m_pageSlots[i] = static_cast<int>(pageFields.size());
            pageFields.push_back(static_cast<int>(i));
            names.append(fields[i].m_strFieldName);
        }
    m_pageFields = std::move(pageFields);
    if (names == m_pageFieldNames)
        return;
    // Other fields: the pages cached hold the wrong ones, and pages on their way too.
    m_pageFieldNames = std::move(names);
    ++m_nLayout;
    m_pages.clear();
    m_loading.clear();
    m_refresh.clear();
    if (!m_pDatabase)
        return;
    m_strPageSql = PageStatement();
    if (m_nRows > 0 && columnCount() > 0)
        emit dataChanged(index(0, 0), index(Rows() - 1, columnCount() - 1));
}

QString CRecordSetList::PageStatement() const
{
    return m_sql.ResolveUser(m_sql.PageStatement(kPageRows, m_pageFields));
}

CRecordSetConnection CRecordSetList::Connection(CDbDatabase& db) const
{
    return {db.Path(), db.UserName(), db.IsReadOnly()};
}

std::optional<int> CRecordSetList::StartOpen(CDbDatabase* db, COpen& open)
{
    if (!db)
        db = m_pLastDatabase;
    if (!db)
        return 21;
    m_pLastDatabase = db;
    if (!m_sql.HasFieldNames())
        return 0;
    open.nGeneration = ++m_nGeneration;
    open.pDatabase = db;
    open.strLastSql = m_sql.BuildSelect();
    UpdatePageLayout();
    open.strPageSql = PageStatement();
    open.nLayout = m_nLayout;
    open.keyJob.nGeneration = open.nGeneration;
    open.keyJob.connection = Connection(*db);
    open.keyJob.strSql = m_sql.ResolveUser(m_sql.KeyStatement());
    open.keyJob.nGroupValues = m_sql.KeyStatementGroupValues();
    return std::nullopt;
}

std::optional<int> CRecordSetList::StartRequery(COpen& open)
{
    if (!m_pDatabase)
        return 0;
    open.nGeneration = ++m_nGeneration;
    open.pDatabase = m_pDatabase;
    open.strLastSql = m_strLastSql;
    open.strPageSql = m_strPageSql;
    open.nLayout = m_nLayout;
    open.keyJob = m_shownKeyJob;
    open.keyJob.nGeneration = open.nGeneration;
    open.keyJob.nHeadRows = 0; // the same rows: the focused file keeps its place
    return std::nullopt;
}

int CRecordSetList::DataCtrl_Open(CDbDatabase* db)
{
    COpen open;
    if (const std::optional<int> result = StartOpen(db, open))
        return *result;
    m_pending.reset();
    return ApplyKeys(open, m_pLoader->LoadKeysNow(open.keyJob));
}

void CRecordSetList::DataCtrl_OpenAsync(CDbDatabase* db)
{
    COpen open;
    if (const std::optional<int> result = StartOpen(db, open))
    {
        emit opened(*result);
        return;
    }
    // Other rows than those shown (another folder, another query) show their head first; a new
    // order of the same rows waits for all of them, so that the focused file stays where it is.
    if (m_pDatabase != open.pDatabase || m_strPageSql != open.strPageSql)
    {
        open.keyJob.nHeadRows = kHeadRows;
        open.keyJob.strPageSql = open.strPageSql;
        open.keyJob.nPageRows = kPageRows;
        open.keyJob.nPageLayout = open.nLayout;
    }
    m_pending = open;
    m_pLoader->PostKeys(open.keyJob);
}

int CRecordSetList::DataCtrl_Requery()
{
    COpen open;
    if (!m_pDatabase)
    {
        DataCtrl_Close();
        return 0;
    }
    StartRequery(open);
    m_pending.reset();
    return ApplyKeys(open, m_pLoader->LoadKeysNow(open.keyJob));
}

void CRecordSetList::DataCtrl_RequeryAsync()
{
    COpen open;
    if (!m_pDatabase)
    {
        DataCtrl_Close();
        emit opened(0);
        return;
    }
    StartRequery(open);
    m_pending = open;
    m_pLoader->PostKeys(open.keyJob);
}

void CRecordSetList::OnKeys(CRecordSetKeys keys)
{
    // Keys of an open that a later open, sort or close replaced are dropped.
    if (!m_pending || keys.nGeneration != m_pending->nGeneration)
        return;
    if (keys.bHead)
    {
        // Shown as the list for now; the open goes on until the whole list is in.
        m_pending->bHeadShown = true;
        const COpen open = *m_pending;
        ApplyKeys(open, std::move(keys));
        return;
    }
    const COpen open = std::move(*m_pending);
    m_pending.reset();
    if (open.bHeadShown && open.nGeneration == m_nShownGeneration && keys.nErrorCode == 0)
        CompleteHead(open, std::move(keys));
    else
        ApplyKeys(open, std::move(keys));
}

void CRecordSetList::CompleteHead(const COpen& open, CRecordSetKeys keys)
{
    const size_t shown = m_nRows;
    const bool sameHead =
        keys.keys.size() >= shown &&
        std::equal(m_keys.begin(), m_keys.begin() + static_cast<std::ptrdiff_t>(shown), keys.keys.begin()) &&
        (m_bands.empty()
             ? keys.bands.empty()
             : keys.bands.size() >= shown && std::equal(m_bands.begin(), m_bands.end(), keys.bands.begin()));
    if (!sameHead)
    {
        // Rows of equal sort values may come in another order from the whole sort.
        ApplyKeys(open, std::move(keys));
        return;
    }
    // The rest joins the rows a slice an event-loop turn: the view's bookkeeping for a million
    // rows inserted at once would hold the window for tens of milliseconds.
    m_keys = std::move(keys.keys);
    m_bands = std::move(keys.bands);
    m_bOpenedWhenInserted = true;
    InsertRows();
}

void CRecordSetList::InsertRows()
{
    const size_t end = std::min(m_keys.size(), m_nRows + static_cast<size_t>(kInsertRows));
    if (end > m_nRows)
    {
        const int oldCount = rowCount();
        beginInsertRows(QModelIndex(), oldCount, static_cast<int>(end) - 1);
        m_nRows = end;
        endInsertRows();
        emit rowCountChanged(oldCount);
    }
    if (m_nRows < m_keys.size())
        m_insertTimer.start();
    else if (std::exchange(m_bOpenedWhenInserted, false))
        emit opened(0);
}

int CRecordSetList::ApplyKeys(const COpen& open, CRecordSetKeys keys)
{
    int result = 0;
    const int oldCount = rowCount();
    beginResetModel();
    m_nShownGeneration = open.nGeneration;
    m_pages.clear();
    m_loading.clear();
    m_wanted.clear();
    m_refresh.clear();
    m_strLastSql = open.strLastSql;
    m_strPageSql = open.strPageSql;
    // Fields changed while its keys were read: its pages read the fields wanted now.
    if (open.nLayout != m_nLayout)
        m_strPageSql = PageStatement();
    m_shownKeyJob = open.keyJob;
    m_connection = open.keyJob.connection;
    m_nLastWantedRow = 0;
    m_bOpenedWhenInserted = false;
    if (keys.nErrorCode != 0)
    {
        m_keys.clear();
        m_keys.shrink_to_fit();
        m_bands.clear();
        m_pDatabase = nullptr;
        m_strLastError = keys.strError;
        result = static_cast<int>(0x800A0000u | static_cast<unsigned>(keys.nErrorCode));
    }
    else
    {
        m_keys = std::move(keys.keys);
        m_bands = std::move(keys.bands);
        m_pDatabase = open.pDatabase;
        m_strLastError.clear();
    }
    m_nRows = m_keys.size();
    endResetModel();
    m_pLoader->Forget(open.nGeneration);
    if (keys.nErrorCode != 0 && keys.nErrorCode != DbErrors::kDiskOrNetworkError &&
        keys.nErrorCode != DbErrors::kInputNotFound)
        AppendErrorLogLine(FormatErrorLogLine(
            QStringLiteral(__FILE__), __LINE__,
            FormatExceptionMessage(CDbException(keys.nErrorCode, keys.strError), QString()),
            QStringLiteral("CRecordSetList::DataCtrlOpenRecordSet() - m_pRecSet->Open() - %1")
                .arg(m_strLastSql)));
    emit rowCountChanged(oldCount);
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (!keys.bHead)
        emit opened(result);
    return result;
}

void CRecordSetList::DataCtrl_Close()
{
    const int oldCount = rowCount();
    m_nShownGeneration = ++m_nGeneration;
    m_pending.reset();
    beginResetModel();
    m_pDatabase = nullptr;
    m_bOpenedWhenInserted = false;
    m_keys.clear();
    m_keys.shrink_to_fit();
    m_bands.clear();
    m_bands.shrink_to_fit();
    m_nRows = 0;
    m_pages.clear();
    m_loading.clear();
    m_wanted.clear();
    m_refresh.clear();
    endResetModel();
    m_pLoader->Forget(m_nGeneration);
    m_pLoader->CloseConnection();
    emit rowCountChanged(oldCount);
}

bool CRecordSetList::ReadWhenIdle(CRecordSetLoader::IdleWork work)
{
    if (!m_pDatabase)
        return false;
    m_pLoader->PostIdle(m_connection, std::move(work));
    return true;
}

qint32 CRecordSetList::Key(int row) const
{
    return row >= 0 && row < Rows() ? m_keys[static_cast<size_t>(row)] : 0;
}

int CRecordSetList::RowOfKey(qint32 key) const
{
    const auto end = m_keys.begin() + Rows();
    const auto it = std::find(m_keys.begin(), end, key);
    return it == end ? -1 : static_cast<int>(it - m_keys.begin());
}

std::vector<int> CRecordSetList::RowsOfKeys(const std::vector<qint32>& keys) const
{
    std::vector<int> rows;
    if (keys.empty())
        return rows;
    if (keys.size() == 1)
    {
        if (const int row = RowOfKey(keys.front()); row >= 0)
            rows.push_back(row);
        return rows;
    }
    const std::unordered_set<qint32> wanted(keys.begin(), keys.end());
    for (size_t row = 0; row < m_nRows; ++row)
        if (wanted.count(m_keys[row]))
            rows.push_back(static_cast<int>(row));
    return rows;
}

CRecordSetList::CRowStore CRecordSetList::RowStoreBytes() const
{
    CRowStore store{m_keys.capacity() * sizeof(qint32), (m_bands.capacity() + 7) / 8, 0};
    for (const auto& [number, page] : m_pages)
        store.pages += page.cells.Bytes() + page.found.capacity();
    return store;
}

void CRecordSetList::DataCtrl_OnHeaderClick(int column)
{
    if (!m_sql.HeaderClick(column))
        return;
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (m_pLastDatabase)
        DataCtrl_OpenAsync(m_pLastDatabase);
}

void CRecordSetList::sort(int column, Qt::SortOrder order)
{
    if (!m_sql.Sort(column, order))
        return;
    if (columnCount() > 0)
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    if (m_pLastDatabase)
        DataCtrl_OpenAsync(m_pLastDatabase);
}

const CRecordSetList::CPage* CRecordSetList::CachedPage(int row, size_t& at) const
{
    const auto it = m_pages.find(row / kPageRows);
    if (it == m_pages.end())
        return nullptr;
    at = static_cast<size_t>(row % kPageRows);
    return at < it->second.found.size() ? &it->second : nullptr;
}

CRecordSetPageJob CRecordSetList::PageJob(int page) const
{
    CRecordSetPageJob job;
    job.nGeneration = m_nShownGeneration;
    job.nPage = page;
    job.nLayout = m_nLayout;
    job.connection = m_connection;
    job.strSql = m_strPageSql;
    job.nStatementRows = kPageRows;
    const size_t first = static_cast<size_t>(page) * kPageRows;
    const size_t last = std::min(m_keys.size(), first + kPageRows);
    if (first < last)
        job.keys.assign(m_keys.begin() + static_cast<std::ptrdiff_t>(first),
                        m_keys.begin() + static_cast<std::ptrdiff_t>(last));
    return job;
}

void CRecordSetList::Want(int row) const
{
    m_nLastWantedRow = row;
    m_nFirstWantedRow = m_wanted.empty() ? row : std::min(m_nFirstWantedRow, row);
    m_nEndWantedRow = m_wanted.empty() ? row + 1 : std::max(m_nEndWantedRow, row + 1);
    m_wanted.insert(row / kPageRows);
    if (!m_dispatchTimer.isActive())
        m_dispatchTimer.start();
}

void CRecordSetList::DispatchPages()
{
    if (!m_pDatabase || m_nRows == 0)
    {
        m_wanted.clear();
        return;
    }
    const int pageCount = static_cast<int>((m_nRows + kPageRows - 1) / kPageRows);
    const int centre = m_nLastWantedRow / kPageRows;
    std::set<int> pages = std::move(m_wanted);
    m_wanted.clear();
    // Reading ahead on both sides, as far as the rows asked for span (about a screen), keeps a
    // scroll by a screen in the cache, so that the next screen is painted once, with its cells.
    const int span = std::max(m_nEndWantedRow - m_nFirstWantedRow, 1);
    for (int row = m_nFirstWantedRow - span; row < m_nEndWantedRow + span; row += kPageRows)
        pages.insert(row < 0 ? -1 : row / kPageRows);
    pages.insert((m_nEndWantedRow + span - 1) / kPageRows);
    pages.insert(centre - 1);
    pages.insert(centre + 1);
    // Only the pages nearest to where the view looks last: a burst of requests (a fast scroll,
    // a walk over every row) reads what will still be on screen, not the whole way there.
    std::vector<int> nearest;
    for (int page : pages)
        if (page >= 0 && page < pageCount && !m_loading.count(page) &&
            (!m_pages.count(page) || m_refresh.count(page)))
            nearest.push_back(page);
    std::sort(nearest.begin(), nearest.end(),
              [&](int a, int b) { return std::abs(a - centre) < std::abs(b - centre); });
    if (nearest.size() > static_cast<size_t>(kCachedPages / 2))
        nearest.resize(static_cast<size_t>(kCachedPages / 2));
    std::vector<CRecordSetPageJob> jobs;
    for (int page : nearest)
    {
        jobs.push_back(PageJob(page));
        m_loading.insert(page);
    }
    if (jobs.empty())
        return;
    for (int dropped : m_pLoader->QueuePages(std::move(jobs), centre, kCachedPages / 2))
        m_loading.erase(dropped);
}

void CRecordSetList::OnPage(CRecordSetPage page)
{
    // A page read for rows that a later open, requery, sort or close replaced, or for other
    // fields than the pages hold now.
    if (page.nGeneration != m_nShownGeneration || page.nLayout != m_nLayout)
        return;
    m_loading.erase(page.nPage);
    const int first = page.nPage * kPageRows;
    const int last = first + static_cast<int>(page.found.size()) - 1;
    LogReadError(page.nErrorCode, page.strError, first, 0);
    StorePage(page.nPage, std::move(page));
    if (m_pages.count(first / kPageRows) && last >= first && columnCount() > 0)
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void CRecordSetList::StorePage(int page, CRecordSetPage loaded)
{
    CPage& stored = m_pages[page];
    stored.cells = std::move(loaded.cells);
    stored.found = std::move(loaded.found);
    stored.nErrorCode = loaded.nErrorCode;
    m_refresh.erase(page);
    // The pages farthest from where the view last looked go first; the page just read stays.
    const int centre = m_nLastWantedRow / kPageRows;
    while (m_pages.size() > static_cast<size_t>(kCachedPages))
    {
        auto farthest = m_pages.end();
        for (auto it = m_pages.begin(); it != m_pages.end(); ++it)
            if (it->first != page && (farthest == m_pages.end() ||
                                      std::abs(it->first - centre) > std::abs(farthest->first - centre)))
                farthest = it;
        if (farthest == m_pages.end())
            break;
        m_refresh.erase(farthest->first);
        m_pages.erase(farthest);
    }
}

const CRecordSetList::CPage* CRecordSetList::PageNow(int row, size_t& at)
{
    if (const CPage* cached = CachedPage(row, at); cached && !m_refresh.count(row / kPageRows))
        return cached;
    if (!m_pDatabase || row < 0 || row >= Rows())
        return nullptr;
    const int page = row / kPageRows;
    CRecordSetPage loaded = m_pLoader->LoadPageNow(PageJob(page));
    LogReadError(loaded.nErrorCode, loaded.strError, row, 0);
    const int first = page * kPageRows;
    const int last = first + static_cast<int>(loaded.found.size()) - 1;
    StorePage(page, std::move(loaded));
    if (last >= first && columnCount() > 0)
        emit dataChanged(index(first, 0), index(last, columnCount() - 1));
    return CachedPage(row, at);
}

QString CRecordSetList::CellText(const CDbValue& value, const CDataCtrlDescriptor& field)
{
    switch (value.GetType())
    {
    case CDbValue::Type::Null:
        return QString();
    case CDbValue::Type::Long:
        return QString::number(value.ToLong()) + QStringLiteral("  ");
    case CDbValue::Type::Double:
        if (field.m_nKind == CDataCtrlDescriptor::KindFileSize)
            return FormatFileSize(value.ToDouble()) + QStringLiteral("  ");
        return QString::asprintf(field.m_strFormat.toLatin1().constData(), value.ToDouble()) +
               QStringLiteral("  ");
    case CDbValue::Type::DateTime:
        return QLocale().toString(value.ToDateTime(), QLocale::ShortFormat);
    case CDbValue::Type::Text:
        return value.ToString();
    default:
        return QStringLiteral("<Not Implemented>");
    }
}

CDbValue CRecordSetList::PageValue(const CPage& page, size_t at, int fieldIndex) const
{
    if (!IsCachedField(fieldIndex))
        return CDbValue::Null();
    return page.cells.Value(at, m_pageSlots[static_cast<size_t>(fieldIndex)]);
}

CRecordSetPage CRecordSetList::ReadFieldNow(int row, int fieldIndex)
{
    CRecordSetPageJob job;
    job.nGeneration = m_nShownGeneration;
    job.nPage = row / kPageRows;
    job.connection = m_connection;
    job.strSql = m_sql.ResolveUser(m_sql.PageStatement(1, {fieldIndex}));
    job.nStatementRows = 1;
    job.keys.push_back(Key(row));
    CRecordSetPage read = m_pLoader->LoadPageNow(job);
    LogReadError(read.nErrorCode, read.strError, row, fieldIndex);
    return read;
}

QString CRecordSetList::DataCtrlGetRowColumnValue(int row, int fieldIndex)
{
    if (!m_pDatabase || row < 0 || row >= Rows())
        return QStringLiteral("<Connection Lost>");
    const bool known = fieldIndex >= 0 && fieldIndex < static_cast<int>(m_sql.Fields().size());
    if (known && !IsCachedField(fieldIndex))
    {
        const CRecordSetPage read = ReadFieldNow(row, fieldIndex);
        if (read.nErrorCode == DbErrors::kDiskOrNetworkError)
            return QStringLiteral("<Disk/Network Error>");
        if (read.nErrorCode != 0 || read.found.empty() || !read.found[0])
            return QString();
        return CellText(read.cells.Value(0, 0), m_sql.Fields()[static_cast<size_t>(fieldIndex)]);
    }
    size_t at = 0;
    const CPage* page = PageNow(row, at);
    if (!page || page->nErrorCode == DbErrors::kDiskOrNetworkError)
        return QStringLiteral("<Disk/Network Error>");
    if (page->nErrorCode != 0 || !page->found[at] || !known)
        return QString();
    return CellText(PageValue(*page, at, fieldIndex), m_sql.Fields()[static_cast<size_t>(fieldIndex)]);
}

CDbValue CRecordSetList::DataCtrl_GetFieldValue(int row, int fieldIndex)
{
    if (!m_pDatabase)
        return CDbValue(QStringLiteral("<Connection Lost>"));
    if (row < 0 || row >= Rows() || fieldIndex < 0 || fieldIndex >= static_cast<int>(m_sql.Fields().size()))
        return CDbValue::Null();
    if (!IsCachedField(fieldIndex))
    {
        const CRecordSetPage read = ReadFieldNow(row, fieldIndex);
        if (read.nErrorCode != 0 || read.found.empty() || !read.found[0])
            return CDbValue::Null();
        return read.cells.Value(0, 0);
    }
    size_t at = 0;
    const CPage* page = PageNow(row, at);
    if (!page || page->nErrorCode != 0 || !page->found[at])
        return CDbValue::Null();
    return PageValue(*page, at, fieldIndex);
}

CDbValue CRecordSetList::DataCtrl_GetFieldValue(int row, const QString& fieldName)
{
    const int field = m_sql.FieldIndex(fieldName);
    if (field < 0)
        return m_pDatabase ? CDbValue::Null() : CDbValue(QStringLiteral("<Connection Lost>"));
    return DataCtrl_GetFieldValue(row, field);
}

bool CRecordSetList::DataCtrl_IsRowValid(int row)
{
    if (!m_pDatabase || row < 0 || row >= Rows())
        return false;
    size_t at = 0;
    const CPage* page = PageNow(row, at);
    return page && page->nErrorCode == 0 && page->found[at];
}

int CRecordSetList::DataCtrl_FindFirst(const QString& criterion)
{
    return DataCtrl_FindNext(criterion, -1);
}

int CRecordSetList::DataCtrl_FindNext(const QString& criterion, int afterRow)
{
    if (!m_pDatabase || m_nRows == 0)
        return -1;
    std::unordered_set<qint32> matches;
    try
    {
        // On the list's own connection: a find is a short read the caller waits for anyway.
        CDbStatement rows = m_pDatabase->Prepare(m_sql.ResolveUser(m_sql.FindStatement(criterion)));
        while (rows.Step())
            matches.insert(rows.Value(0).ToLong());
    }
    catch (const CDbException& e)
    {
        AppendErrorLogLine(
            FormatErrorLogLine(QStringLiteral(__FILE__), __LINE__, FormatExceptionMessage(e, QString()),
                               QStringLiteral("CRecordSetList::DataCtrl_FindFirst() - %1").arg(criterion)));
        return -1;
    }
    for (size_t row = static_cast<size_t>(std::max(afterRow + 1, 0)); row < m_nRows; ++row)
        if (matches.count(m_keys[row]))
            return static_cast<int>(row);
    return -1;
}

bool CRecordSetList::IsEditableField(int fieldIndex) const
{
    if (fieldIndex < 0 || fieldIndex >= static_cast<int>(m_sql.Fields().size()))
        return false;
    const auto [keyTable, keyColumn] = CRecordSetSql::SplitField(m_sql.KeyField());
    const auto [table, column] =
        CRecordSetSql::SplitField(m_sql.Fields()[static_cast<size_t>(fieldIndex)].m_strFieldName);
    return !table.isEmpty() && table.compare(keyTable, Qt::CaseInsensitive) == 0 &&
           column.compare(keyColumn, Qt::CaseInsensitive) != 0;
}

std::unique_ptr<CRecordSetRowEditor> CRecordSetList::DataCtrl_Edit(int row)
{
    if (!DataCtrl_IsRowValid(row))
        return nullptr;
    return std::make_unique<CRecordSetRowEditor>(*this, Key(row));
}

void CRecordSetList::RowWritten(qint32 key, const std::vector<std::pair<int, CDbValue>>& values)
{
    const int row = RowOfKey(key);
    if (row < 0)
        return;
    size_t at = 0;
    const int page = row / kPageRows;
    if (CachedPage(row, at))
    {
        CPage& stored = m_pages[page];
        for (const auto& [field, value] : values)
            if (IsCachedField(field))
                stored.cells.Set(at, m_pageSlots[static_cast<size_t>(field)], value);
        // Read again for what the write changed beyond the values written.
        m_refresh.insert(page);
        m_wanted.insert(page);
        if (!m_dispatchTimer.isActive())
            m_dispatchTimer.start();
    }
    if (columnCount() > 0)
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

int CRecordSetList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Rows();
}

int CRecordSetList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_sql.Columns().size());
}

QVariant CRecordSetList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= Rows() ||
        index.column() >= static_cast<int>(m_sql.Columns().size()))
        return QVariant();
    const int row = index.row();
    const CDataCtrlDescriptor& column = m_sql.Columns()[static_cast<size_t>(index.column())];
    size_t at = 0;
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::EditRole:
    {
        if (!column.m_bBound)
            return role == Qt::DisplayRole ? QVariant(QStringLiteral("Not Set by CDataCtrlList"))
                                           : QVariant();
        const CPage* page = CachedPage(row, at);
        if (!page)
        {
            // Not read yet: the loader reads its page and dataChanged fills the cell.
            Want(row);
            return QVariant();
        }
        if (page->nErrorCode == DbErrors::kDiskOrNetworkError)
            return role == Qt::DisplayRole ? QVariant(QStringLiteral("<Disk/Network Error>")) : QVariant();
        const int field = column.m_nFieldIndex;
        if (page->nErrorCode != 0 || !page->found[at] || !IsCachedField(field))
            return role == Qt::DisplayRole ? QVariant(QString()) : QVariant();
        const CDbValue value = PageValue(*page, at, field);
        return role == Qt::DisplayRole ? QVariant(CellText(value, m_sql.Fields()[static_cast<size_t>(field)]))
                                       : ToVariant(value);
    }
    case Qt::TextAlignmentRole:
    {
        const CDataCtrlDescriptor* field = m_sql.ColumnField(index.column());
        const int kind = field ? field->m_nKind : column.m_nKind;
        const bool right =
            kind == CDataCtrlDescriptor::KindNumber || kind == CDataCtrlDescriptor::KindFileSize;
        return QVariant::fromValue(Qt::Alignment(right ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
    }
    case BandRole:
        return !m_bands.empty() && m_bands[static_cast<size_t>(row)];
    case KeyRole:
        return m_keys[static_cast<size_t>(row)];
    case LoadingRole:
        return CachedPage(row, at) == nullptr;
    case RowDeletedRole:
    {
        const CPage* page = CachedPage(row, at);
        return page && page->nErrorCode == 0 && !page->found[at];
    }
    default:
        return QVariant();
    }
}

CDbValue CRecordSetList::CachedFieldValue(int row, int fieldIndex) const
{
    if (row < 0 || row >= Rows())
        return CDbValue::Null();
    size_t at = 0;
    const CPage* page = CachedPage(row, at);
    if (!page)
    {
        Want(row);
        return CDbValue::Null();
    }
    if (page->nErrorCode != 0 || !page->found[at])
        return CDbValue::Null();
    return PageValue(*page, at, fieldIndex);
}

QVariant CRecordSetList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QVariant();
    switch (role)
    {
    case Qt::DisplayRole:
        return m_sql.Columns()[static_cast<size_t>(section)].m_strCaption;
    case SortImageRole:
        return m_sql.SortImage(section);
    case Qt::InitialSortOrderRole:
        // A click on a column not sorted yet sorts it ascending.
        return QVariant::fromValue(Qt::AscendingOrder);
    default:
        return QVariant();
    }
}

Qt::ItemFlags CRecordSetList::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (!index.isValid())
        return result;
    result |= Qt::ItemNeverHasChildren;
    const CDataCtrlDescriptor& column = m_sql.Columns()[static_cast<size_t>(index.column())];
    if (!m_pDatabase || !column.m_bBound || !IsEditableField(column.m_nFieldIndex))
        return result;
    size_t at = 0;
    const CPage* page = CachedPage(index.row(), at);
    if (page && (page->nErrorCode != 0 || !page->found[at]))
        return result;
    return result | Qt::ItemIsEditable;
}

bool CRecordSetList::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid) ||
        !(flags(index) & Qt::ItemIsEditable))
        return false;
    std::unique_ptr<CRecordSetRowEditor> editor = DataCtrl_Edit(index.row());
    if (!editor)
        return false;
    const CDataCtrlDescriptor& column = m_sql.Columns()[static_cast<size_t>(index.column())];
    editor->SetFieldValue(m_sql.Fields()[static_cast<size_t>(column.m_nFieldIndex)].m_strFieldName,
                          FromVariant(value));
    return editor->Update();
}
