#pragma once

#include <QMetaType>
#include <QtGlobal>

#include <vector>

// How a file operation ended, for the list that showed its files.
struct CFileOpResult
{
    // Whether any doing pass ran (then the list is read again).
    bool bDoingPassRan = false;
    // Esc ended it, or the person stopped it at a question.
    bool bStopped = false;
    // The first file that failed in a doing pass; 0 when none did.
    qint32 lFailedFileId = 0;
    // The files handled, in the order they were handled.
    std::vector<qint32> doneFileIds;
};
Q_DECLARE_METATYPE(CFileOpResult)
