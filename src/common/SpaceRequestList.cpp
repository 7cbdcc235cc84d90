#include "common/SpaceRequestList.h"

#include "common/FileFormat.h"
#include "common/FileOperations.h"
#include "common/FilePath.h"
#include "platform/FileAttributes.h"
#include "platform/SystemErrorCodes.h"
#include "platform/VolumeTable.h"

#include <QDir>

namespace
{
// Free space is asked at the nearest folder that exists: the destination folder is often made
// by the operation itself.
QString NearestExistingFolder(const QString& path)
{
    QString folder = QDir::cleanPath(QDir::current().absoluteFilePath(FilePath(path).FolderPart()));
    while (!(FindAttributes(folder) & FileAttribute::Directory))
    {
        const QString parent = FilePath(folder).Parent();
        if (parent.isEmpty() || parent == folder)
            return folder;
        folder = parent;
    }
    return folder;
}
} // namespace

void AddSpaceRequest(CSpaceRequestList& list, const QString& destinationPath, quint64 bytes)
{
    const std::optional<CVolume> volume = ProcessVolumeTable().VolumeOf(destinationPath);
    const QString key = volume ? volume->m_strMountPoint : FilePath(destinationPath).FolderPart();
    for (CSpaceRequest& request : list)
        if (request.m_strKey == key)
        {
            request.m_nBytes += bytes;
            return;
        }
    CSpaceRequest request;
    request.m_strKey = key;
    request.m_strPath = destinationPath;
    request.m_nBytes = bytes;
    list.push_back(request);
}

int CheckDiskSpace(CSpaceRequestList& list, QString* pMessage)
{
    const CVolumeTable& table = ProcessVolumeTable();
    bool anyShort = false;
    for (CSpaceRequest& request : list)
    {
        quint64 freeBytes = 0;
        if (const int rc = table.FreeSpace(NearestExistingFolder(request.m_strPath), freeBytes))
            return rc;
        request.m_bShort = freeBytes < request.m_nBytes;
        request.m_nShortfall = request.m_bShort ? request.m_nBytes - freeBytes : 0;
        anyShort = anyShort || request.m_bShort;
    }
    if (!anyShort)
    {
        if (pMessage)
            pMessage->clear();
        return 0;
    }
    QString message = QStringLiteral("There is not enough disk space to complete this operation.\r\n\r\nPlease free:");
    for (const CSpaceRequest& request : list)
        if (request.m_bShort)
            message += QStringLiteral("\r\n    ") + FormatFileSize(request.m_nShortfall) + QStringLiteral(" on ") + request.m_strKey;
    message += QStringLiteral("\r\n\r\nThen retry this operation.");
    if (pMessage)
        *pMessage = message;
    return SystemError::DiskFull;
}

void ClearSpaceRequests(CSpaceRequestList& list)
{
    list.clear();
}
