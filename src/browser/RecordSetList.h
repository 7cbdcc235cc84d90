#pragma once

#include "browser/DataCtrlDescriptor.h"
#include "browser/RecordSetLoader.h"
#include "browser/RecordSetSql.h"
#include "database/DbValue.h"

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

class CDbDatabase;
class CDbRetryPolicy;
class CRecordSetRowEditor;

// The data behind the file list: the rows of one statement (FROM, WHERE and ORDER BY parts and a
// list of fields), random-access at any position however many there are.
//
// Opening takes the rows' keys once, in display order (4 bytes a row, plus a band bit when the
// rows are grouped). Cells are read by pages of rows, by key, into a cache of pages around the
// rows the view last asked for. Both run on a loader thread with a connection of its own: data()
// only reads what is cached, answers an empty value for a cell not read yet and asks the loader
// for its page, whose arrival is announced by dataChanged. A row another program deleted
// meanwhile shows empty cells.
//
// The model keeps no cursor and no edit: an edit is a CRecordSetRowEditor for a row's key, which
// survives any painting and scrolling; selection and focus belong to the view's
// QItemSelectionModel (CRecordSetSelection keeps them by key across reopening).
class CRecordSetList : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int kUnsorted = CRecordSetSql::kUnsorted;
    static constexpr int kPageRows = 128;
    static constexpr int kCachedPages = 16;
    // The leading rows a new list shows while the rest of its keys are read.
    static constexpr int kHeadRows = 2 * kPageRows;
    // The rows joining a list in one event-loop turn once the rest of its keys are in.
    static constexpr int kInsertRows = 64 * 1024;

    enum Role
    {
        // Whether the row lies in a shaded band of the grouping (bool).
        BandRole = Qt::UserRole + 1,
        // The row's key (its FileId).
        KeyRole,
        // True when the row's cells have not been read yet.
        LoadingRole,
        // True when the row was deleted since the list was opened.
        RowDeletedRole,
        // Header: the image of the sort arrow, 0 none, 1 ascending, 2 descending.
        SortImageRole,
    };

    explicit CRecordSetList(QObject* parent = nullptr);
    ~CRecordSetList() override;

    // The user whose name replaces GetUserName() and [ParamUserName] in the SQL.
    void SetUserName(const QString& userName) { m_sql.SetUserName(userName); }
    // The column that identifies a row of the statement ("File.FileId" by default).
    void SetKeyField(const QString& keyField) { m_sql.SetKeyField(keyField); }
    // How writes through the list meet a locked database; without one a failed write is logged.
    void SetRetryPolicy(CDbRetryPolicy* policy) { m_pRetryPolicy = policy; }

    // SQL.
    void DataCtrl_SetSQL(const QString& sql) { m_sql.SetSQL(sql); }
    void DataCtrl_SetFrom(const QString& from) { m_sql.SetFrom(from); }
    void DataCtrl_SetWhere(const QString& where) { m_sql.SetWhere(where); }
    void DataCtrl_SetOrderBy(const QString& orderBy) { m_sql.SetOrderBy(orderBy); }
    void DataCtrl_AddWhere(const QString& condition) { m_sql.AddWhere(condition); }
    const QString& From() const { return m_sql.From(); }
    const QString& Where() const { return m_sql.Where(); }
    const QString& OrderBy() const { return m_sql.OrderBy(); }
    const CRecordSetSql& Sql() const { return m_sql; }
    // The statement the last open ran (without the key column).
    const QString& LastSql() const { return m_strLastSql; }

    // Fields and columns.
    void DataCtrl_AddField(const CDataCtrlDescriptor& field);
    void AddColumn(const CDataCtrlDescriptor& column);
    void ClearFieldsAndColumns();
    const std::vector<CDataCtrlDescriptor>& Fields() const { return m_sql.Fields(); }
    // Which fields the cached pages hold: every field (the default), or only those the columns
    // show plus these (what painting needs beyond the cells: a row's state, its icon). A list of
    // a million rows keeps a cache of thousands of rows; fields nobody paints would be most of
    // it. A field left out is read for its row alone when DataCtrl_GetFieldValue asks for it;
    // CachedFieldValue answers Null for it. Columns shown later are read with the pages from
    // then on.
    void CacheShownFields(const QStringList& alsoCached);
    // Whether the cached pages hold a field.
    bool IsCachedField(int fieldIndex) const;

    // Opening. The blocking open waits for the keys and returns 0, 21 without a database, or the
    // engine's error code with 0x800A0000; the asynchronous one returns at once and announces
    // the same result through opened(). Both replace the rows in one reset.
    int DataCtrl_Open(CDbDatabase* db);
    void DataCtrl_OpenAsync(CDbDatabase* db);
    void DataCtrl_Close();
    // The same statement run again, in place.
    int DataCtrl_Requery();
    void DataCtrl_RequeryAsync();
    bool IsOpen() const { return m_pDatabase != nullptr; }
    // Whether keys are being read for an open, requery or sort that has not arrived yet, or rows
    // read are still joining the list.
    bool IsLoading() const { return m_pending.has_value() || m_nRows < m_keys.size(); }
    QString LastError() const { return m_strLastError; }
    // Pages asked of the loader and not arrived yet.
    int PagesLoading() const { return static_cast<int>(m_loading.size()); }
    // Holds the background reads (blocking reads still run), so that tests and benchmarks can
    // line requests up.
    void HoldLoader(bool hold) { m_pLoader->Hold(hold); }
    // Whether the list's reader holds its connection now; it lets go of one to a file at rest.
    bool IsReaderConnected() const { return m_pLoader->IsConnected(); }
    // A read over the shown list's database, on the loader's thread and connection whenever it
    // has nothing else to read; work runs there (db is nullptr when the database cannot be
    // opened) and must hand its answer back itself; while it answers true it runs again, a step
    // at a time, after whatever else the loader was asked for. False when the list is not open.
    bool ReadWhenIdle(CRecordSetLoader::IdleWork work);
    int DataCtrl_GetRecordCount() const { return Rows(); }

    // Rows and keys.
    qint32 Key(int row) const;
    // The row showing a key; -1 when none. A pass over the keys: the list keeps no index of them,
    // which would cost more than the keys themselves.
    int RowOfKey(qint32 key) const;
    // The rows showing any of these keys, in order, found in one pass.
    std::vector<int> RowsOfKeys(const std::vector<qint32>& keys) const;
    // What the list's own stores hold, in bytes (capacity, not size): the rows' keys and band
    // bits, and the cached pages of cells with their texts.
    struct CRowStore
    {
        size_t keys = 0;
        size_t bands = 0;
        size_t pages = 0;
    };
    CRowStore RowStoreBytes() const;

    // Sorting and grouping.
    void DataCtrl_SetGrouping(const QString& orderBy, int depth) { m_sql.SetGrouping(orderBy, depth); }
    const QStringList& GroupingColumns() const { return m_sql.GroupingColumns(); }
    int SortColumn() const { return m_sql.SortColumn(); }
    bool IsGroupedOrder() const { return m_sql.IsGroupedOrder(); }
    void SetGroupedOrder(bool on) { m_sql.SetGroupedOrder(on); }
    void SetSortingAllowed(bool allowed) { m_sql.SetSortingAllowed(allowed); }
    // A click on the header of a column (0-based): sort by it, flip it, or go back to the grouped
    // order; the list reopens in the background.
    void DataCtrl_OnHeaderClick(int column);

    // A field of a row as far as it has been read: Null while its page is not in (the page is
    // asked for, and dataChanged follows). For painting, which must never wait.
    CDbValue CachedFieldValue(int row, int fieldIndex) const;

    // Reading a row now (scripts and logic that need a value at once): waits for its page when
    // it is not cached. "<Connection Lost>" when the list is not open.
    CDbValue DataCtrl_GetFieldValue(int row, int fieldIndex);
    CDbValue DataCtrl_GetFieldValue(int row, const QString& fieldName);
    // Open, within the rows, and not deleted since the open.
    bool DataCtrl_IsRowValid(int row);
    // The text of a cell as the list shows it, read now.
    QString DataCtrlGetRowColumnValue(int row, int fieldIndex);
    // Finding rows by a criterion in the engine's dialect ("FileId=12"): the first matching row,
    // or the first after a row; -1 when there is none.
    int DataCtrl_FindFirst(const QString& criterion);
    int DataCtrl_FindNext(const QString& criterion, int afterRow);

    // Editing a row: nullptr when the row is not valid. The editor holds the row's key and its
    // pending values until Update or CancelUpdate.
    std::unique_ptr<CRecordSetRowEditor> DataCtrl_Edit(int row);
    // Whether a field can be written through the list: a field of the key's own table.
    bool IsEditableField(int fieldIndex) const;

    // Qt model.
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    // The text a value shows in the list.
    static QString CellText(const CDbValue& value, const CDataCtrlDescriptor& field);

signals:
    void rowCountChanged(int oldCount);
    // An open, requery or sort finished: 0 or the open's error result.
    void opened(int result);

private:
    friend class CRecordSetRowEditor;

    // What an open started with; its keys arrive later.
    struct COpen
    {
        quint64 nGeneration = 0;
        CDbDatabase* pDatabase = nullptr;
        CRecordSetKeyJob keyJob;
        QString strLastSql;
        QString strPageSql;
        quint64 nLayout = 0;     // the cached fields its page statement reads
        bool bHeadShown = false; // its leading rows are on show already
    };
    struct CPage
    {
        CRecordSetPageCells cells; // the cached fields, in m_pageFields' order
        std::vector<char> found;
        long nErrorCode = 0;
    };

    // Prepares an open on db (or the last database); the result code when there is nothing to
    // open.
    std::optional<int> StartOpen(CDbDatabase* db, COpen& open);
    std::optional<int> StartRequery(COpen& open);
    int ApplyKeys(const COpen& open, CRecordSetKeys keys);
    // The whole key list of an open whose leading rows are shown: the rest added after them
    // when the leading rows are the same, else all of them in one reset.
    void CompleteHead(const COpen& open, CRecordSetKeys keys);
    // The next slice of the keys read joins the rows; opened() follows the last one.
    void InsertRows();
    int Rows() const { return static_cast<int>(m_nRows); }
    // Takes in what the loader answered since the last time.
    void TakeInbox();
    void OnKeys(CRecordSetKeys keys);
    void OnPage(CRecordSetPage page);
    void StorePage(int page, CRecordSetPage loaded);
    CRecordSetPageJob PageJob(int page) const;
    // The cached page holding row (nullptr when not cached) and the row's place in it.
    const CPage* CachedPage(int row, size_t& at) const;
    // The page of row read now when it is not cached; nullptr when it cannot be.
    const CPage* PageNow(int row, size_t& at);
    // A field of a cached row; Null when the pages do not hold that field.
    CDbValue PageValue(const CPage& page, size_t at, int fieldIndex) const;
    // One field of one row read now, for a field the pages do not hold.
    CRecordSetPage ReadFieldNow(int row, int fieldIndex);
    // Works out which fields the pages hold after the fields, the columns or the choice changed;
    // when that is other fields than before, the cached pages go and are read again.
    void UpdatePageLayout();
    QString PageStatement() const;
    // data() asks for a row's page; the requests of one event-loop turn go out together.
    void Want(int row) const;
    void DispatchPages();
    void EvictPages();
    CRecordSetConnection Connection(CDbDatabase& db) const;
    // A row's edit written: the cache shows the new values and the row's page is read afresh.
    void RowWritten(qint32 key, const std::vector<std::pair<int, CDbValue>>& values);
    CDbDatabase* Database() const { return m_pDatabase; }
    CDbRetryPolicy* RetryPolicy() const { return m_pRetryPolicy; }

    CRecordSetSql m_sql;
    CDbRetryPolicy* m_pRetryPolicy = nullptr;
    CDbDatabase* m_pDatabase = nullptr;
    CDbDatabase* m_pLastDatabase = nullptr;
    QString m_strLastSql;
    QString m_strLastError;

    // The rows shown: their keys in order, their band bits, and how their pages are read.
    quint64 m_nGeneration = 0; // bumped by every open, requery, sort and close
    quint64 m_nShownGeneration = 0;
    std::vector<qint32> m_keys; // of the rows, and of those still to join them
    std::vector<bool> m_bands;
    size_t m_nRows = 0; // the model's rows: the first of m_keys
    QTimer m_insertTimer;
    bool m_bOpenedWhenInserted = false;
    CRecordSetKeyJob m_shownKeyJob; // for a requery
    QString m_strPageSql;
    CRecordSetConnection m_connection;

    std::optional<COpen> m_pending; // an open whose keys are being read

    // Which fields the pages hold: their indexes in page order, each field's place in a page
    // (-1 when left out), and a number that changes with them, so that a page read for other
    // fields is never taken for one of these.
    bool m_bCacheShownOnly = false;
    QStringList m_alsoCached;
    std::vector<int> m_pageFields;
    QStringList m_pageFieldNames;
    std::vector<int> m_pageSlots;
    quint64 m_nLayout = 0;

    // The page cache, its requests and the pages the loader is reading.
    std::map<int, CPage> m_pages;
    mutable std::set<int> m_wanted;
    mutable int m_nLastWantedRow = 0;
    // The rows asked for since the last dispatch: [first, end).
    mutable int m_nFirstWantedRow = 0;
    mutable int m_nEndWantedRow = 0;
    mutable QTimer m_dispatchTimer;
    std::set<int> m_loading;
    std::set<int> m_refresh; // cached pages read again after an edit

    std::mutex m_inboxMutex;
    std::deque<CRecordSetKeys> m_inboxKeys;
    std::deque<CRecordSetPage> m_inboxPages;
    std::unique_ptr<CRecordSetLoader> m_pLoader;
};
