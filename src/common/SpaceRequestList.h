#pragma once

#include <QString>

#include <vector>

// The free-space check before a batch of moves or copies: the bytes each destination volume
// must receive are summed per volume, then compared with what the volume has free.

struct CSpaceRequest
{
    QString m_strKey;       // the volume: its mount point (or, on none, the destination's folder)
    QString m_strPath;      // the first destination requested on that volume
    quint64 m_nBytes = 0;   // bytes needed
    quint64 m_nShortfall = 0;
    bool m_bShort = false;  // set by CheckDiskSpace when the volume lacks space
};

// The list owns its entries; ClearSpaceRequests empties it.
using CSpaceRequestList = std::vector<CSpaceRequest>;

// Adds bytes to the request of the volume that holds destinationPath (a file or folder that
// need not exist yet), appending a request for a volume not yet in the list.
void AddSpaceRequest(CSpaceRequestList& list, const QString& destinationPath, quint64 bytes);

// 0 when every volume has the space, with the message emptied; 112 with the message "There is
// not enough disk space to complete this operation. Please free: <size> on <volume> ... Then
// retry this operation." naming each volume that lacks space and by how much; the result code of
// the free-space query when that fails.
int CheckDiskSpace(CSpaceRequestList& list, QString* pMessage);

void ClearSpaceRequests(CSpaceRequestList& list);
