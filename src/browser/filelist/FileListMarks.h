#pragma once

#include <QString>

#include <vector>

class CDbDatabase;
class CDbRetryPolicy;
class CRecordSetList;

// The per-user check mark of files (FileUserSelect.Mark) and the Never AutoCheck attribute of
// files (File.DontMark), written for a whole selection at once.
class CFileListMarks final
{
public:
    // Checks or unchecks the files for the user: each file's FileUserSelect row is edited, or
    // added when the user has none. One transaction under the retry rules; false when given up
    // (nothing is written then).
    static bool WriteMarks(CDbDatabase& db, CDbRetryPolicy& policy, const QString& userName,
                           const std::vector<qint32>& fileIds, bool mark);

    // Sets File.DontMark of the rows through the list's row editor; the rows whose value could
    // not be set are returned (their edit is dropped).
    static std::vector<int> SetNeverAutoCheck(CRecordSetList& list, const std::vector<int>& rows, bool value);
};
