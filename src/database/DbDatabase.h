#pragma once

// The engine layer of the catalogue database: a .qrl file is an SQLite database, and this is the
// only code that talks to SQLite.
//
//   CDbDatabase db;
//   db.Open(path);                                   // shared, read-write; throws CDbException
//   CDbStatement st = db.Prepare("SELECT File.* FROM File WHERE File.CatalogueId=?");
//   st.Bind(1, catalogueId);
//   while (st.Step())
//       QString name = st.Value("File").ToString();
//   db.Execute("UPDATE [File] SET Deleted=TRUE WHERE FileId=:id", {{":id", fileId}});
//   {
//       CDbTransaction trans(db);                    // rolls back unless Commit() is reached
//       ...
//       trans.Commit();
//   }
//
// - Statement texts are Jet SQL, as the rest of the system writes them; CJetSql translates them
//   (once per text, cached) and the connection caches prepared statements per text.
// - Every failure throws CDbException with a Jet-style error number (table in DbErrors.cpp);
//   CDbRetryPolicy runs a step under the shared database's retry rules.
// - Names from people go in as bound values or through CJetSql::QuoteText/QuoteName/EscapeLike.
// - Text compares and sorts without regard to case (collation GENERAL); LIKE is Jet's LIKE;
//   StrComp(a, b, 0) compares exactly; GetUserName() in SQL is UserName(), the login name
//   unless set otherwise (SetUserName, or $QUARRANE_USER for scripts).
// - One connection belongs to one thread at a time. Statements must not outlive their database's
//   Close() in use (they stay safe to destroy).
//
// Stored queries: the StoredQuery table holds every query of the database by name with its Jet
// text. OpenQueryDef(name) / CreateQueryDef(sql) give a CDbQueryDef (DbQueryDef.h) to read the
// text, enumerate and set parameters, Execute an action query (one transaction) or open the
// rows of a select. Any statement may use a stored query's name as a table; Prepare and Execute
// resolve it (recursively) and rewrite UPDATE over joins (CJetSql::TranslateStatement). Texts
// with parameters need a CDbQueryDef: Prepare/Execute refuse them with 3061, as Jet does; as in
// Jet, an unqualified name that is no column, table or alias is a parameter, so a misspelt
// column name raises 3061 (a missing table 3078).
//
// A catalogue on a PostgreSQL server opens the same way: wherever a path is accepted, a
// postgresql:// URL or a libpq connection string ("host=/run/postgresql dbname=team") names one.
// Statements, values, transactions and error numbers are the same; a lock another session holds,
// a deadlock or a serialization failure raises 3218 so that the retry rules apply unchanged.
// CreateOnServer makes the catalogue in an empty server database (TemplateDatabase.h gives the
// script). A build without libpq refuses server addresses with 3051.
//
// Services on top: GetNewRecSetId and the parameter functions (DbServices.h), the template
// database (TemplateDatabase.h, library databasetemplate).

#include "database/DbStatement.h"
#include "database/DbValue.h"
#include "database/JetSql.h"

#include <QString>

#include <functional>
#include <initializer_list>
#include <memory>
#include <utility>
#include <vector>

class CDbConnection;
class CDbQueryDef;
struct sqlite3;

// ReadOnly opens a file that may not be written (read-only media, a file of someone else's):
// nothing is written to it, not even the journal mode, and every write statement fails.
enum class EDbOpenMode
{
    ReadWrite,
    ReadOnly
};

class CDbDatabase final
{
public:
    using NamedValue = std::pair<QString, CDbValue>;

    CDbDatabase();
    ~CDbDatabase();
    CDbDatabase(const CDbDatabase&) = delete;
    CDbDatabase& operator=(const CDbDatabase&) = delete;

    // Opens an existing catalogue file shared and read-write: foreign keys on, WAL journal on
    // local volumes, rollback journal on network filesystems. A missing file raises 3024 and
    // creates nothing. Header, schema and Version are read before anything may write: a file
    // that is not a database or not a catalogue, is damaged or has lost one of the tables both
    // programs need raises 3343; a catalogue of another version is opened without any change
    // (its journal mode stays as it is) so that the caller can refuse it by its version. A
    // refused file is left byte for byte as it was.
    void Open(const QString& path, EDbOpenMode mode = EDbOpenMode::ReadWrite);
    // Creates a new, empty database file (the template builder and tests); fails if it exists.
    void Create(const QString& path);
    void Close();
    bool IsOpen() const;
    // Whether the open catalogue lives on a server rather than in a file.
    bool IsServer() const;
    static bool IsServerAddress(const QString& address);
    // A path or server address as messages may show it: a server password left out.
    static QString DisplayAddress(const QString& address);
    // Whether this build can open server catalogues at all.
    static bool ServerSupportAvailable();
    // Makes a catalogue in the server database at address by running script (the server's
    // dialect) in one transaction, then opens it. 3204 when the database holds a catalogue
    // already; nothing is left behind when the script fails.
    void CreateOnServer(const QString& address, const QString& script);
    // The server functions that the statements call and that the open server catalogue lacks (one
    // made by an earlier build, opened by a login that could not add them); empty for a file.
    QStringList MissingServerFunctions();
    // The "not empty" rules of an open server catalogue made by an earlier build, as "Table.Column":
    // they compared under the case-insensitive collation, which takes a name of ignorable
    // characters (a zero-width space) for '' and so refused files a catalogue file takes. Empty
    // for a file.
    QStringList OutdatedServerRules();
    // Makes those rules exact, in one transaction (each table is locked while its rows are checked
    // against them): for repair, never on an ordinary open, where the table lock would queue
    // behind other people's work.
    void MendOutdatedServerRules();
    bool IsReadOnly() const { return m_bReadOnly; }
    QString Path() const { return m_strPath; }

    // The name GetUserName() gives in SQL: the effective user's login name unless overridden
    // (scripts and tests acting as another user).
    void SetUserName(const QString& userName);
    QString UserName() const { return m_strUserName; }

    // Keeps statement journals and temporary tables in memory instead of temporary files, from
    // the next Open on. For a writer of many small statements (the synchronizer): a many-row
    // insert inside a transaction journals a few hundred KiB per statement, which would otherwise
    // go through a temporary file every time. Not for connections that sort large results.
    void SetTemporaryStorageInMemory(bool inMemory) { m_bTemporaryInMemory = inMemory; }

    // The user a new connection acts for: $QUARRANE_USER when set (scripts acting as another
    // user), else the effective user's login name.
    static QString DefaultUserName();

    // How long a statement waits for another connection's lock before raising the locking error.
    // Short by default: the retry policies do the real waiting, with the person informed.
    void SetBusyTimeout(int milliseconds);

    CDbStatement Prepare(const QString& jetSql);
    CDbStatement PrepareSqlite(const QString& sqliteSql);

    // Runs one Jet statement with positional or named values; returns the rows changed.
    int Execute(const QString& jetSql, std::initializer_list<CDbValue> values = {});
    int Execute(const QString& jetSql, std::initializer_list<NamedValue> values);
    // Runs a script of SQLite statements (schema work).
    void ExecuteSqliteScript(const QString& sqliteScript);
    // Appends rows to a table of a server catalogue in one go (COPY): values holds columns.size()
    // values a row, in the order of columns, which are the table's own names. The server takes
    // many rows so in a fraction of the time the same INSERTs cost; a row that breaks a key or a
    // rule fails all of them with the error its INSERT would raise. A file refuses it (3001): many
    // rows a statement are as quick there.
    void CopyServerRows(const QString& table, const QStringList& columns,
                        const std::vector<CDbValue>& values);

    // The workspace transaction: nested calls use savepoints, so a service that writes in a
    // transaction of its own can run inside a caller's transaction.
    void BeginTrans(bool immediate = true);
    void CommitTrans();
    void Rollback();
    bool InTransaction() const;

    // Writes a compacted copy of the database at sourcePath to targetPath, which must not exist
    // (3204). The source is opened shared and left unchanged; a damaged source raises 3343 and
    // leaves no target behind. The copy uses the rollback journal until it is opened.
    static void CompactDatabase(const QString& sourcePath, const QString& targetPath);

    // The stored queries of the database, in name order.
    QStringList QueryDefNames();
    bool HasQueryDef(const QString& name);
    // A stored query by name (names ignore case); 3078 when there is none.
    CDbQueryDef OpenQueryDef(const QString& name);
    // A temporary, unnamed query definition made from SQL text.
    CDbQueryDef CreateQueryDef(const QString& jetSql);
    // Adds a stored query, or replaces the text of the one of that name.
    void StoreQueryDef(const QString& name, const QString& jetSql);
    // A statement translated with this database's tables and stored queries (cached per text
    // until the schema or the stored queries change).
    std::shared_ptr<const CJetTranslation> TranslateJet(const QString& jetSql);
    // Runs the statements of a translation in order, in one transaction when there are several;
    // bind gives each prepared statement its values. Returns the rows changed.
    int RunTranslation(const CJetTranslation& translation, const std::function<void(CDbStatement&)>& bind);

    // "wal" or "delete".
    QString JournalMode();
    int CachedStatementCount() const;
    sqlite3* Handle() const;

    // Whether a path lies on a network filesystem, where WAL cannot be shared between machines.
    static bool IsOnNetworkFileSystem(const QString& path);
    // Replaces the filesystem test (tests that need a "network" path); nullptr restores it.
    static void SetNetworkFileSystemTest(std::function<bool(const QString&)> test);

private:
    void OpenHandle(const QString& path, int flags, bool immutable = false);
    void OpenServer(const QString& address, EDbOpenMode mode, bool creating);
    // Adds the server functions that a catalogue made by an earlier build lacks, in a
    // transaction of its own; a login that may not create them leaves the catalogue as it is.
    void AddMissingServerFunctions();
    bool EngineInTransaction() const;
    void BeginServerTrans(bool immediate);
    void Configure(bool newFile);
    // Reads, never writes: true for a catalogue of this version with the tables both programs
    // need, false for a catalogue of another version; 3343 for anything else.
    bool IsCurrentCatalogue();
    // WAL on local volumes, the rollback journal on network filesystems: only for a file we
    // accept and may write.
    void ChooseJournalMode();

    struct CNames;
    CNames& Names();
    void ReadServerNames(CNames& names);

    std::shared_ptr<CDbConnection> m_connection;
    std::unique_ptr<CNames> m_names;
    QString m_strPath;
    QString m_strUserName;
    bool m_bTemporaryInMemory = false;
    bool m_bReadOnly = false;
    int m_nTransactionDepth = 0;
};
