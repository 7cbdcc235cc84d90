#pragma once

#include <QString>

class CDbDatabase;
class CRecordSetList;
class CUserInteraction;

// Renaming a catalogued file from the file list: the physical file on its medium (found by the
// catalogue's volume serial number, asking for the disk when it is not mounted) and then its
// record. When the record cannot be written the physical file is renamed back.
class CFileRename final
{
public:
    enum class EResult
    {
        Renamed,
        Unchanged,     // empty, blank or the same name: nothing to do
        InvalidName,   // a folder separator, or a name the media rules refuse
        Exists,        // another file of that name is in the folder
        MediumMissing, // the person cancelled the request for the disk
        RenameFailed,  // the file system refused; Problem() and Solution() tell why
        RecordFailed,  // the record could not be written; the file has its old name again
    };

    CFileRename(CDbDatabase& db, CUserInteraction& ui) : m_db(db), m_ui(ui) {}

    EResult Rename(CRecordSetList& list, int row, const QString& newName);

    const QString& Problem() const { return m_strProblem; }
    const QString& Solution() const { return m_strSolution; }

    // The extension a name's record holds: the text after its last "." (trailing blanks
    // removed); empty for none.
    static QString ExtensionOf(const QString& name);

private:
    CDbDatabase& m_db;
    CUserInteraction& m_ui;
    QString m_strProblem;
    QString m_strSolution;
};
