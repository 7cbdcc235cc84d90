#pragma once

#include "browser/import/MwImport.h"

#include <QString>
#include <QStringList>

#include <algorithm>
#include <functional>
#include <vector>

class CDbDatabase;
class CUserInteraction;

// The import where either database is on a server: a server has no file to copy and cannot be
// attached to a file's connection, so the other database is read through the engine interface
// and its rows written into the open one, with the same rules as between two files: usage lists and file
// marks stay behind; identifiers the open database uses already move above every identifier of both, and
// every reference follows its row; names that are taken get " (Imported)"; counters end at or above both
// databases' identifiers.
//
// Identifier ranges are claimed first, in a short transaction of their own, so that other writers
// meanwhile take identifiers above them; the rows then go in one transaction: an import that
// fails or is cancelled leaves the open database's rows as they were.
//
// A server hands over a whole result at once, so the other database is read in pages by key, and
// rows go to a server many to a statement: memory stays bounded and round trips few however many
// files either side holds.
class CMwEngineImport final
{
public:
    CMwEngineImport(CDbDatabase& db, CUserInteraction& ui, std::function<bool()> shouldContinue = {});

    SMwImportResult Import(const QString& importPathOrAddress);

    // Rows of the other database read at a time (tests cross many pages with few rows).
    void SetPageRows(int rows) { m_nPageRows = std::max(1, rows); }
    static constexpr int kDefaultPageRows = 20000;

private:
    struct STable
    {
        QString strTable;
        QString strIndex;
        QString strNameField;
        bool bImport = false;
        bool bPurge = false;
    };
    // Identifiers of one counter. The other database's identifiers that the open one uses too
    // (ascending) move, in their order, to the numbers just above base.
    struct SKeySpace
    {
        QString strTable;
        QString strColumn;
        std::vector<qint32> colliding;
        qint64 base = 0;
        QString Counter() const { return strTable + QLatin1Char('_') + strColumn; }
        qint32 NewId(qint32 id) const;
    };

    void CheckContinue() const;
    SMwImportResult CheckSpace(CDbDatabase& source);
    void ReadImportInfo(CDbDatabase& source);
    void ClaimIdentifiers(CDbDatabase& source);
    void MergeCounters(CDbDatabase& source);
    void ImportTable(CDbDatabase& source, const STable& table);
    void ImportParameters(CDbDatabase& source);

    CDbDatabase& m_db;
    CUserInteraction& m_ui;
    std::function<bool()> m_fnShouldContinue;
    QString m_strContext;
    std::vector<STable> m_tables;
    std::vector<SKeySpace> m_keySpaces;
    int m_nPageRows = kDefaultPageRows;
};
