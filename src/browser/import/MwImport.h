#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class CDbDatabase;
class CUserInteraction;

// How an import ended. nCode 0: imported. Otherwise what stopped it: 2 the other database cannot
// be read, 112 too little space for the temporary copy, 1223 cancelled (Esc), another system
// code for a file that could not be removed, or the engine's error number. strText and
// strCaption are what the person is to be told; the text is empty when they were told already
// (the error log's box) or when they cancelled.
struct SMwImportResult
{
    int nCode = 0;
    QString strText;
    QString strCaption;

    bool Succeeded() const { return nCode == 0; }
};

class CDbException;
// What an import that stopped on a database error tells: a full disk in its own words, anything
// else logged under context and told by its code.
SMwImportResult ImportResultOfError(const CDbException& e, const QString& context);

// Merges another catalogue database into the open one: groups, catalogues, folders, files and
// their edits, keywords, categories, collections and file list field views, the users' catalogue
// selections and some parameters. Usage lists and file marks stay behind.
//
// The other database is never changed: the work is done on a temporary copy beside the open
// database, attached to the connection it is given (a job's own connection, or the command
// line's). In the copy, identifiers that the open database uses already are moved above every
// identifier of both, and every reference to a moved row follows it, whether or not its relation
// cascades; then the rows are copied across in the order of the open database's ImportInfo table.
// The open database is written in one transaction: an import that fails, is cancelled or is
// killed halfway leaves it as it was.
class CMwImport final
{
public:
    // shouldContinue is asked between steps; false stops the import (Esc).
    CMwImport(CDbDatabase& db, CUserInteraction& ui, std::function<bool()> shouldContinue = {});
    ~CMwImport();
    CMwImport(const CMwImport&) = delete;
    CMwImport& operator=(const CMwImport&) = delete;

    SMwImportResult Import(const QString& importPath);

    // The temporary copy for a database at openDatabasePath: "_tmpimport.qrl" in its folder.
    static QString TemporaryPath(const QString& openDatabasePath);
    // The attempt-th candidate for a name already taken: "Films (Imported)", then
    // "Films (Imported 2)" ...; the name is shortened so that the candidate fits in size
    // characters (size 0: no limit).
    static QString ImportedName(const QString& name, int attempt, int size);

private:
    struct STable;
    struct SKeySpace;
    struct SStop;

    void CheckContinue() const;
    // The other database copied beside the open one; nCode 0 when it is there.
    SMwImportResult CopyImportDatabase(const QString& importPath);
    // The copy's identifiers moved out of the way of the open database's.
    void RenumberCopy();
    // The copy's rows added to the open database; false (nothing written) when the open
    // database gained identifiers meanwhile that the copy uses too.
    bool WriteOpenDatabase();
    void ReadImportInfo();
    QStringList ImportColumns(const QString& table);
    void PurgeCacheTables();
    void DropCopyIndexes();
    void MergeIndices(const QString& into, const QString& from);
    void ReIndexImportTables();
    bool ImportCollides();
    void ImportTables();
    void ImportNamedRows(const STable& table, const QStringList& columns);
    void ImportParameters(const QString& name, bool prefix);
    void RemoveCopy();

    CDbDatabase& m_db;
    CUserInteraction& m_ui;
    std::function<bool()> m_fnShouldContinue;
    QString m_strCopyPath;
    QString m_strContext; // the step under way, for the error log
    std::vector<STable> m_tables;
    std::vector<SKeySpace> m_keySpaces;
};
