#include "common/FileOperations.h"

#include "common/FileFormat.h"
#include "common/FilePath.h"
#include "common/OutText.h"
#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/SystemErrorCodes.h"
#include "platform/Trash.h"
#include "platform/VolumeTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

namespace
{
constexpr int kMaxPathLength = 260;
// What a failed shell call reports when the object cannot do what was asked.
constexpr int kShortcutFailure = -2147467259; // 0x80004005

bool FileExistsAt(const QString& path)
{
    return (FindAttributes(path) & ~FileAttribute::Directory) != 0;
}

bool FolderExistsAt(const QString& path)
{
    return (FindAttributes(path) & FileAttribute::Directory) != 0;
}

bool CaseSensitiveAt(const QString& path)
{
    const std::optional<CVolume> volume = ProcessVolumeTable().VolumeOf(path);
    return !volume || volume->IsCaseSensitive();
}

// A folder as the system knows it, so that "a/../b" and a link to b are both b.
QString CanonicalFolder(const QString& folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (!canonical.isEmpty())
        return canonical;
    return QDir::cleanPath(QDir::current().absoluteFilePath(folder));
}

bool SameText(const QString& a, const QString& b, bool caseSensitive)
{
    return a.compare(b, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

// Whether destination names the source file itself: the same name in the same folder by the
// volume's case rule, or the same file reached another way.
bool IsSameFileByName(const QString& source, const QString& destination)
{
    const bool caseSensitive = CaseSensitiveAt(source);
    const FilePath src(source);
    const FilePath dst(destination);
    if (SameText(CanonicalFolder(src.Parent()), CanonicalFolder(dst.Parent()), caseSensitive) &&
        SameText(src.FileName(), dst.FileName(), caseSensitive))
        return true;
    return IsSameFile(source, destination);
}

void ReportTransferFailure(int code, const QString& destination, QString* pProblem, QString* pSolution)
{
    if (code == SystemError::FilenameTooLong)
    {
        SetText(pProblem, QStringLiteral("Destination (folder path plus) file name too long (%1 characters)").arg(destination.size()));
        SetText(pSolution, QStringLiteral("Rename the file to a shorter length (folder path+file name should be < %1 characters)").arg(kMaxPathLength));
        return;
    }
    SetText(pProblem, SystemErrorText(code, true));
    SetText(pSolution, QString());
}

// Steps shared by move and copy up to the point where the file is moved or copied: checks the
// names, makes the destination folder, settles the destination's full path and clears the way.
// Returns -1 to go on, else the result.
int PrepareTransfer(const QString& source, QString& destination, int kind, bool copy,
                    QString* pProblem, QString* pSolution)
{
    if (const int rc = ValidatePathName(destination, pProblem))
    {
        SetText(pSolution, QString());
        return rc;
    }
    if (!FileExistsAt(source))
    {
        SetText(pProblem, QStringLiteral("The system cannot find the file specified"));
        SetText(pSolution, QString());
        return SystemError::FileNotFound;
    }
    const FilePath dest(destination);
    QString folder;
    if (kind == MOVE_DEST_FOLDER)
        folder = FilePath(dest).StripTrailingSeparators().Text();
    else if (kind == MOVE_DEST_FILE)
        folder = dest.Parent();
    else
        folder = dest.FolderPart();
    if (kind == MOVE_DEST_FOLDER || (kind == MOVE_DEST_BY_TEXT && dest.HasNoExtension()))
        destination = FilePath(folder).Appended(FilePath(source).FileName()).Text();

    const bool caseSensitive = CaseSensitiveAt(source);
    const FilePath src(source);
    const FilePath target(destination);
    const bool sameFolder = SameText(CanonicalFolder(src.Parent()), CanonicalFolder(target.Parent()), caseSensitive);
    const bool sameName = SameText(src.FileName(), target.FileName(), caseSensitive);
    if ((sameFolder && sameName) || IsSameFile(source, destination))
    {
        SetText(pProblem, copy ? QStringLiteral("The source file cannot be copied to itself")
                               : QStringLiteral("The source file cannot be moved to itself"));
        SetText(pSolution, QString());
        return SystemError::AlreadyExists;
    }
    if (!copy && sameFolder && FindAttributes(destination) != 0)
    {
        SetText(pProblem, QStringLiteral("Cannot rename a file within a directory, when the destination file already exists"));
        SetText(pSolution, QString());
        return SystemError::AlreadyExists;
    }
    // The folder is made only once the operation is known to have an effect.
    if (const int rc = CreateFolderPath(folder, pProblem, pSolution))
        return rc;
    const unsigned existing = FindAttributes(destination);
    if (existing & FileAttribute::Directory)
    {
        // Replacing a folder by a file would throw away a whole tree for one file.
        SetText(pProblem, SystemErrorText(SystemError::AlreadyExists, true));
        SetText(pSolution, QString());
        return SystemError::AlreadyExists;
    }
    if (existing != 0)
    {
        if (const int rc = RemoveFile(destination, nullptr, nullptr, false))
        {
            SetText(pProblem, SystemErrorText(rc, true));
            SetText(pSolution, QString());
            return rc;
        }
    }
    return -1;
}

bool IsMountPoint(const QString& folder)
{
    CFileStatus self;
    CFileStatus parent;
    if (QueryFileStatus(folder, self) != 0)
        return false;
    const QString above = FilePath(folder).Parent();
    if (above.isEmpty() || folder == QStringView(u"/"))
        return true;
    return QueryFileStatus(above, parent) != 0 || parent.m_nDevice != self.m_nDevice;
}

// 0 when the folder can be listed and holds nothing, else the reason it cannot be removed.
int EmptyFolderState(const QString& folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return SystemError::FileNotFound;
    if (!dir.isReadable())
        return SystemError::AccessDenied;
    return dir.isEmpty(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
               ? 0
               : SystemError::DirNotEmpty;
}
} // namespace

int RemoveFile(const QString& path, QString* pProblem, QString* pSolution, bool permanent)
{
    const QString solution = QStringLiteral("Make sure delete file access permission is available for this file");
    const QString target = FilePath(path).StripTrailingSeparators().Text();
    const int rc = permanent ? DeleteEntry(target) : MoveToTrash(target);
    if (rc != 0)
    {
        SetText(pProblem, QStringLiteral("Unable to delete - %1").arg(SystemErrorText(rc, true)));
        SetText(pSolution, solution);
        return rc;
    }
    if (FindAttributes(target) != 0)
    {
        SetText(pProblem, QStringLiteral("Unable to delete file"));
        SetText(pSolution, solution);
        return SystemError::FileExists;
    }
    return 0;
}

bool FolderIsEmpty(const QString& folder)
{
    return EmptyFolderState(folder) != SystemError::DirNotEmpty;
}

int RemoveEmptyFolders(const QString& path, bool upward, QString* pProblem, QString* pSolution,
                       const QString& stopAt)
{
    QString folder = FilePath(path).StripTrailingSeparators().Text();
    const QString limit = stopAt.isEmpty() ? QString() : CanonicalFolder(stopAt);
    auto mayRemove = [&](const QString& candidate) {
        if (candidate.isEmpty() || candidate == QStringView(u"/") || IsMountPoint(candidate))
            return false;
        if (limit.isEmpty())
            return true;
        const QString canonical = CanonicalFolder(candidate);
        return canonical != limit && canonical.startsWith(limit + QLatin1Char('/'));
    };
    if (const int state = EmptyFolderState(folder))
        return state;
    if (!mayRemove(folder))
        return 0;
    int rc = RemoveFile(folder, pProblem, pSolution, false);
    while (upward && rc == 0)
    {
        folder = FilePath(folder).Parent();
        if (!mayRemove(folder) || EmptyFolderState(folder) != 0)
            break;
        rc = RemoveFile(folder, pProblem, pSolution, false);
    }
    return rc;
}

unsigned FindAttributes(const QString& path)
{
    const QString target = FilePath(path).StripTrailingSeparators().Text();
    if (target.isEmpty())
        return 0;
    CFileStatus status;
    if (QueryFileStatus(target, status) != 0)
        return 0;
    return status.m_nAttributes;
}

int CreateFolder(const QString& path, QString* pProblem, QString* pSolution)
{
    const int rc = MakeFolder(path);
    if (rc == 0 || rc == SystemError::FileExists || rc == SystemError::AlreadyExists)
        return 0;
    SetText(pSolution, QString());
    switch (rc)
    {
    case SystemError::FilenameTooLong: SetText(pProblem, QStringLiteral("The path: %1 is too long").arg(path)); break;
    case SystemError::BadPathName: SetText(pProblem, QStringLiteral("%1 is and invalid path name").arg(path)); break;
    case SystemError::Cancelled: SetText(pProblem, QStringLiteral("The operation was cancelled")); break;
    default: SetText(pProblem, SystemErrorText(rc)); break;
    }
    return rc;
}

int CreateFolderPath(const QString& path, QString* pProblem, QString* pSolution)
{
    if (path.isEmpty() || FolderExistsAt(path))
        return 0;
    // Every component is a folder here, dots or not: the callers pass folders, and a folder
    // named "v1.2" must be made like any other.
    const QStringList components = path.split(FilePath::NativeSeparator);
    QString prefix;
    for (int i = 0; i < components.size(); ++i)
    {
        if (components[i].isEmpty() && i > 0)
            continue;
        prefix += components[i] + FilePath::NativeSeparator;
        const FilePath current(prefix);
        if (current.IsDriveRoot() || current.IsUncServer() || current.IsUncShare() || FolderExistsAt(prefix))
            continue;
        const int rc = CreateFolder(prefix, pProblem, pSolution);
        if (rc == SystemError::AccessDenied)
        {
            SetText(pProblem, QStringLiteral("Folder creation access denied at the destination"));
            SetText(pSolution, QStringLiteral("Enable write access to the destination location"));
            return rc;
        }
        if (rc != 0)
            return rc;
    }
    return 0;
}

int MoveFileTo(const QString& source, const QString& destinationIn, int destinationKind,
               QString* pProblem, QString* pSolution)
{
    QString destination = destinationIn;
    const int prepared = PrepareTransfer(source, destination, destinationKind, false, pProblem, pSolution);
    if (prepared >= 0)
        return prepared;
    const int rc = MoveEntry(source, destination);
    if (rc != 0)
        ReportTransferFailure(rc, destination, pProblem, pSolution);
    return rc;
}

int CopyFileTo(const QString& source, const QString& destination, QString* pProblem, QString* pSolution)
{
    return CopyFileTo(source, destination, MOVE_DEST_BY_TEXT, pProblem, pSolution);
}

int CopyFileTo(const QString& source, const QString& destinationIn, int destinationKind, QString* pProblem,
               QString* pSolution)
{
    QString destination = destinationIn;
    const int prepared = PrepareTransfer(source, destination, destinationKind, true, pProblem, pSolution);
    if (prepared >= 0)
        return prepared;
    const int rc = CopyFileToNew(source, destination);
    if (rc != 0)
        ReportTransferFailure(rc, destination, pProblem, pSolution);
    return rc;
}

int CheckMoveCopy(const QString& source, const QString& destinationFolder, QString* pProblem,
                  QString* pSolution, bool copy)
{
    bool foreseen = false;
    const unsigned attributes = FindAttributes(source);
    if (attributes == 0)
    {
        SetText(pProblem, QStringLiteral("The source could not be found"));
        SetText(pSolution, QStringLiteral("Insert the source media"));
        foreseen = true;
    }
    else if (!copy && (attributes & (FileAttribute::ReadOnly | FileAttribute::Offline)))
    {
        SetText(pProblem, QStringLiteral("The source file is read only"));
        SetText(pSolution, QStringLiteral("Make the source file writeable"));
        foreseen = true;
    }
    const std::optional<CVolume> volume = ProcessVolumeTable().VolumeOf(destinationFolder);
    const int driveType = volume ? volume->m_nDriveType : DRIVE_UNKNOWN;
    if (driveType == DRIVE_CDROM || driveType == DRIVE_UNKNOWN || driveType == DRIVE_NO_ROOT_DIR)
    {
        SetText(pProblem, QStringLiteral("The destination location may not be writeable"));
        SetText(pSolution, QString());
        foreseen = true;
    }
    const QString target = FilePath(destinationFolder).Appended(FilePath(source).FileName()).Text();
    if (IsSameFileByName(source, target))
    {
        SetText(pProblem, QStringLiteral("The source file cannot be moved to itself"));
        SetText(pSolution, QStringLiteral("This operation has no effect."));
        return 0;
    }
    if (FindAttributes(target) != 0)
    {
        SetText(pProblem, QStringLiteral("A file or sub-folder with the same name exists at the destination (%1)").arg(target));
        SetText(pSolution, QStringLiteral("Overwrite the destination file"));
        return 0;
    }
    return foreseen ? 0 : 1;
}

int ValidatePathName(const QString& path, QString* pProblem)
{
    if (path.isEmpty())
    {
        SetText(pProblem, QStringLiteral("Zero length file paths are not valid"));
        return SystemError::InvalidName;
    }
    if (path.size() > kMaxPathLength)
        return SystemError::FilenameTooLong;
    for (const QChar c : path)
        if (c.unicode() < 32)
        {
            SetText(pProblem, QStringLiteral("A file path cannot contain characters in the range of 0 to 31"));
            return SystemError::InvalidName;
        }
    // The native separator "/" is allowed in a whole path, like ":" and "\".
    static const QString forbidden = QStringLiteral("*?\"<>|");
    for (const QChar c : path)
        if (forbidden.contains(c))
        {
            SetText(pProblem, QStringLiteral("A file path cannot contain any of the following characters: ") + forbidden);
            return SystemError::InvalidName;
        }
    const QString title = FilePath(path).Title();
    const QString upper = title.toUpper();
    static const QStringList reserved = {QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                         QStringLiteral("CLOCK$"), QStringLiteral("NUL")};
    QString stem = upper;
    while (!stem.isEmpty() && stem.back() >= QLatin1Char('0') && stem.back() <= QLatin1Char('9'))
        stem.chop(1);
    if (reserved.contains(upper) || stem == QStringView(u"COM") || stem == QStringView(u"LPT"))
    {
        SetText(pProblem, QStringLiteral("%1 is a reserved name").arg(title));
        return SystemError::InvalidName;
    }
    return 0;
}

int ResolveShortcut(QString& path)
{
    if (!path.endsWith(QStringLiteral(".desktop")))
        return kShortcutFailure;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return kShortcutFailure;
    bool inEntry = false;
    bool isLink = false;
    QString url;
    while (!file.atEnd())
    {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('[')))
        {
            inEntry = line == QStringView(u"[Desktop Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        if (line == QStringView(u"Type=Link"))
            isLink = true;
        else if (line.startsWith(QStringLiteral("URL=")))
            url = line.mid(4);
    }
    const QUrl target(url);
    if (!isLink || !target.isLocalFile() || target.toLocalFile().isEmpty())
        return kShortcutFailure;
    path = target.toLocalFile();
    return 0;
}
