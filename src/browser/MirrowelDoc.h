#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

#include "database/DbDatabase.h"

class CCatalogueStore;
class CCurrentFileEditor;
class CDbRetryPolicy;
class CDbValue;
class CJobRunner;
class CQueryRunner;
class CSynchLink;
class CUserInteraction;

// The browser's document: a session on the one open catalogue database. It creates, opens,
// closes and compacts databases, hands out identifiers and parameters, and owns the services that
// work on the open database:
//
//   Catalogues()  groups, catalogues and folders, their dialogs' logic and lookups
//   Queries()     the query scripts and the duplicate routine
//   Editor()      the current file and its pending edits
//   Synch()       the link to the synchronizer and the refreshes it causes
//   Jobs()        long operations off the window's thread, with their own connections
//
// No widgets: it talks to the person through the interaction it is given, and to its views
// through signals. Commands that write refuse while a job that writes runs (CanWrite()).
class CMirrowelDoc final : public QObject
{
    Q_OBJECT

public:
    static constexpr double kVersion = 1.004;

    explicit CMirrowelDoc(CUserInteraction& ui, QObject* parent = nullptr);
    ~CMirrowelDoc() override;

    // The person the per-user rows belong to: the login name unless set otherwise.
    void SetUserName(const QString& userName);
    QString UserName() const { return m_strUserName; }

    // Loads the catalogue and query browsers after an open; false makes the open fail.
    void SetBrowserLoader(std::function<bool()> loader) { m_fnLoadBrowsers = std::move(loader); }

    // Lifecycle.
    // New: chosenPath is the save dialog's answer (nothing when cancelled).
    bool NewDatabase(const std::optional<QString>& chosenPath, bool bStartingUp = false);
    // What "Error Creating Database" says when the template (neededBytes long) could not be
    // written to path: a missing folder, too little space, else the system's reason (read-only
    // filesystem, permission ...).
    static QString NewDatabaseFailureText(const QString& path, const QString& systemText, qint64 neededBytes);
    // ReadOnly for a file that is not to be written, or may not be; a read-write open of a file
    // this user may not write (read-only media, someone else's catalogue) opens it read-only.
    // Read-only, the title says so and every command that writes refuses (CanWrite()).
    bool OpenDatabase(const QString& path, EDbOpenMode mode = EDbOpenMode::ReadWrite);
    bool CloseDatabase();
    // The Close command (also the first step of New and Open while a database is open): close,
    // then compact when CompactOnExit is set.
    bool CloseCommand();
    // The Compact Database command: close, compact as a job, open again once it has ended.
    bool CompactDatabaseCommand();
    // Compacts (repairs) the database file at path, which must not be open here.
    bool CompactDatabase(const QString& path);
    // The Repair Database command: compacts the chosen file as a job. The open database itself is
    // closed first and opened again afterwards, as Compact Database does.
    bool RepairDatabaseCommand(const QString& path);

    bool IsOpen() const;
    bool IsReadOnly() const;
    bool IsClosing() const { return m_bClosing; }
    // False while a job writes to the database (commands that would write wait for it) and
    // while the database is open read-only.
    bool CanWrite() const;
    QString Path() const { return m_strPath; }
    QString Title() const { return m_strTitle; }
    CDbDatabase* Database();
    CDbRetryPolicy& RetryPolicy() { return *m_pPolicy; }
    CUserInteraction& Interaction() { return m_ui; }
    bool CompactOnExit();

    CCatalogueStore& Catalogues() { return *m_pCatalogues; }
    CQueryRunner& Queries() { return *m_pQueries; }
    CCurrentFileEditor& Editor() { return *m_pEditor; }
    CSynchLink& Synch() { return *m_pSynch; }
    CJobRunner& Jobs() { return *m_pJobs; }

    // Identifiers and parameters.
    qint32 GetNewRecSetId(const QString& name);
    QString GetDatabaseParameter(const QString& name);
    bool SetDatabaseParameter(const QString& name, const QString& value);
    double GetDatabaseVersion();

    // For the services: a write under the retry rules; the first value of a one-row lookup by
    // one key (Null when there is none; errors logged); the status text.
    bool Write(const QString& context, const std::function<void()>& step);
    CDbValue Lookup(const QString& sql, const CDbValue& key, const QString& context);
    void ShowStatus(const QString& text) { emit statusText(text); }

signals:
    void titleChanged(const QString& title);
    void statusText(const QString& text);
    // The database is about to close: views let go of what they show of it.
    void closing();

private:
    void SetTitle(const QString& title);
    // Compacts the closed database at path as a job; done follows on this thread.
    bool StartCompaction(const QString& path, std::function<void(bool)> done);

    CUserInteraction& m_ui;
    std::unique_ptr<CDbDatabase> m_pDatabase;
    std::unique_ptr<CDbRetryPolicy> m_pPolicy;
    std::function<bool()> m_fnLoadBrowsers;
    QString m_strPath;
    QString m_strTitle = QStringLiteral("Untitled");
    QString m_strUserName;
    bool m_bClosing = false;
    std::unique_ptr<CJobRunner> m_pJobs;
    std::unique_ptr<CCatalogueStore> m_pCatalogues;
    std::unique_ptr<CQueryRunner> m_pQueries;
    std::unique_ptr<CCurrentFileEditor> m_pEditor;
    std::unique_ptr<CSynchLink> m_pSynch;
};
