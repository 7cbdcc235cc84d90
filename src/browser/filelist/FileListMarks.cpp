#include "browser/filelist/FileListMarks.h"

#include "browser/RecordSetList.h"
#include "browser/RecordSetRowEditor.h"
#include "database/DbDatabase.h"
#include "database/DbRetryPolicy.h"
#include "database/DbTransaction.h"

bool CFileListMarks::WriteMarks(CDbDatabase& db, CDbRetryPolicy& policy, const QString& userName,
                                const std::vector<qint32>& fileIds, bool mark)
{
    if (fileIds.empty())
        return true;
    const QString context = QStringLiteral("CMirrowelView::MarkFile( FileId(%1), Mark(%2) )")
                                .arg(fileIds.front())
                                .arg(mark ? -1 : 0);
    return policy.Run(context,
                      [&]
                      {
                          CDbTransaction transaction(db);
                          CDbStatement edit = db.Prepare(
                              QStringLiteral("UPDATE FileUserSelect SET Mark=? WHERE FileId=? AND [User]=?"));
                          CDbStatement add = db.Prepare(QStringLiteral(
                              "INSERT INTO FileUserSelect (FileId, [User], Mark) VALUES (?, ?, ?)"));
                          for (const qint32 fileId : fileIds)
                          {
                              edit.Bind(1, CDbValue(mark)).Bind(2, fileId).Bind(3, userName);
                              const bool found = edit.Execute() > 0;
                              edit.Reset();
                              if (found)
                                  continue;
                              add.Bind(1, fileId).Bind(2, userName).Bind(3, CDbValue(mark));
                              add.Execute();
                              add.Reset();
                          }
                          transaction.Commit();
                      });
}

std::vector<int> CFileListMarks::SetNeverAutoCheck(CRecordSetList& list, const std::vector<int>& rows,
                                                   bool value)
{
    std::vector<int> failed;
    for (const int row : rows)
    {
        std::unique_ptr<CRecordSetRowEditor> editor = list.DataCtrl_Edit(row);
        if (!editor)
        {
            failed.push_back(row);
            continue;
        }
        editor->SetFieldValue(QStringLiteral("File.DontMark"), CDbValue(value));
        if (!editor->Update())
        {
            editor->CancelUpdate();
            failed.push_back(row);
        }
    }
    return failed;
}
