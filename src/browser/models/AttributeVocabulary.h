#pragma once

#include <QString>

class CDbDatabase;
class CDbRetryPolicy;
class CUserInteraction;
struct CAttributeSelection;

// The vocabulary of one attribute kind (the Keyword or the Category table) and the name lists of
// the files that use it (FileInfo.Keyword or FileInfo.Category): adding, renaming, merging and
// deleting attributes. Every change to the vocabulary is carried into every file's list and into
// the selection's lists, so that a file never names an attribute that no longer exists.
class CAttributeVocabulary final
{
public:
    enum class EResult
    {
        Done,      // the tables changed
        Unchanged, // nothing to do, or the person said No
        Failed,    // the database refused (logged, and told where there is a text for it)
    };

    // table is "Keyword" or "Category": the table, its name column and the FileInfo column.
    CAttributeVocabulary(const QString& table, CDbDatabase& db, CUserInteraction& ui, CDbRetryPolicy& policy);

    // The id of an attribute named name (without regard to case) other than exceptId; 0 when
    // there is none, -1 when the database could not be read.
    qint32 FindOther(const QString& name, qint32 exceptId = 0);
    // The number of files' lists that hold the name; -1 when the database could not be read.
    int CountUsers(const QString& name);

    // A new attribute; a name that exists already is refused with "Duplicate ...".
    EResult Add(const QString& name);
    // Renames the attribute id (named oldName). Onto another attribute's name it offers to merge
    // the two; the merged files' lists name the remaining attribute once.
    EResult Rename(qint32 id, const QString& oldName, const QString& newName, CAttributeSelection* selection);
    // Deletes the attribute, taking it off every file first; asks only when files use it.
    EResult Delete(qint32 id, const QString& name, CAttributeSelection* selection);

private:
    // Replaces oldName by newName (nothing new when empty) in every file's list that holds it;
    // a FileInfo row left with nothing in it goes, as if its file had never been edited.
    void ReplaceInFileLists(const QString& oldName, const QString& newName);

    QString m_strTable;
    CDbDatabase& m_db;
    CUserInteraction& m_ui;
    CDbRetryPolicy& m_policy;
};

// Deletes the FileInfo row when its description, notes, keywords and categories are all empty,
// and makes every file that pointed at it unedited. Runs inside the caller's transaction.
// True when the row went.
bool DeleteFileInfoIfEmpty(CDbDatabase& db, qint32 fileInfoId);
