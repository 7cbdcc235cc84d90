#pragma once

#include "platform/FileSystem.h"

#include <QString>

#include <memory>

// One pass over the entries of one folder, in the order the directory is read, with the status of
// an entry looked up relative to the open folder. A catalogue scan stats every file of a medium:
// looking each one up by its name in the open folder instead of by its full path saves the walk
// down the path from the root, which is most of the cost of a stat on a deep tree.
// It makes the same calls as QueryFileStatus, relative to the folder.
class CFolderListing final
{
public:
    enum class Kind
    {
        File, // a regular file
        Folder,
        FolderLink, // a symbolic link to a folder: never walked
        Link,       // a symbolic link to anything else, or to nothing
        Special,    // a named pipe, a socket or a device
    };
    struct Entry
    {
        QString name;
        Kind kind = Kind::File;
    };

    // fullStatus: the volume keeps attribute bits that only QueryFileStatus reads (FAT's).
    explicit CFolderListing(const QString& folder, bool fullStatus = false);
    ~CFolderListing();
    CFolderListing(const CFolderListing&) = delete;
    CFolderListing& operator=(const CFolderListing&) = delete;

    // False when the folder could not be opened for listing.
    bool IsOpen() const;
    // The next entry other than "." and ".."; false at the end.
    bool Next(Entry& entry);
    // The status of an entry of this folder itself (a link is not followed); 0 on success, else a
    // result code.
    int Status(const Entry& entry, CFileStatus& status) const;

private:
    struct CDirectory;
    QString m_strFolder;
    bool m_bFullStatus;
    std::unique_ptr<CDirectory> m_pDirectory;
};
