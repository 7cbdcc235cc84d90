#include "FileTestFolder.h"

#include "../platform/TestTmpfsMount.h"

#include "common/FileOperations.h"
#include "common/SpaceRequestList.h"
#include "platform/FileAttributes.h"
#include "platform/SystemErrorCodes.h"

#include <QUrl>

namespace
{
class FileOperations : public FileTestFolder
{
protected:
    void SetUp() override
    {
        FileTestFolder::SetUp();
        // A FAT stick and an ext4 disk, both real folders; "cd" pretends to be a CD-ROM.
        m_volumes.SetEntries({
            CFixtureVolumeTable::MakeEntry(Path("stick"), DRIVE_REMOVABLE, 0x1234ABCD, QStringLiteral("STICK"), QString(), 1000000),
            CFixtureVolumeTable::MakeEntry(Path("disk"), DRIVE_FIXED, 0x5678, QStringLiteral("DISK"), QString(), 1000),
            CFixtureVolumeTable::MakeEntry(Path("cd"), DRIVE_CDROM, 0x9999, QStringLiteral("DISC")),
        });
        QDir().mkpath(Path("stick"));
        QDir().mkpath(Path("disk"));
        QDir().mkpath(Path("cd"));
    }

    // The original path a trashed entry records.
    QString TrashedFrom(const QString& name) const
    {
        const QByteArray info = Read(Trash() + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        const int start = info.indexOf("Path=");
        if (start < 0)
            return QStringLiteral("<no record>");
        const int end = info.indexOf('\n', start);
        return QUrl::fromPercentEncoding(info.mid(start + 5, end - start - 5));
    }
};
} // namespace

TEST_F(FileOperations, AFileMovedOntoItselfStaysUntouched)
{
    const QString onStick = Path("stick/photos/f.txt");
    const QString onDisk = Path("disk/docs/f.txt");
    Write(onStick, "stick");
    Write(onDisk, "disk");

    // In any letter case on a FAT volume, exactly on an ext4 one, also spelled another way.
    const struct
    {
        QString source;
        QString destination;
        int kind;
    } itself[] = {
        {onStick, Path("stick/photos/F.TXT"), MOVE_DEST_FILE},
        {onStick, Path("stick/PHOTOS"), MOVE_DEST_FOLDER},
        {onStick, Path("stick/photos/../photos/f.Txt"), MOVE_DEST_BY_TEXT},
        {onDisk, Path("disk/docs/f.txt"), MOVE_DEST_FILE},
        {onDisk, Path("disk/docs"), MOVE_DEST_FOLDER},
        {onDisk, Path("disk/./docs/f.txt"), MOVE_DEST_BY_TEXT},
    };
    for (const auto& c : itself)
    {
        SCOPED_TRACE(c.destination.toStdString());
        QString problem;
        QString solution = QStringLiteral("stale");
        EXPECT_EQ(MoveFileTo(c.source, c.destination, c.kind, &problem, &solution), 183);
        EXPECT_EQ(problem, QStringLiteral("The source file cannot be moved to itself"));
        EXPECT_EQ(solution, QString());
    }
    QString problem;
    EXPECT_EQ(CopyFileTo(onStick, Path("stick/photos/F.TXT"), &problem, nullptr), 183);
    EXPECT_EQ(problem, QStringLiteral("The source file cannot be copied to itself"));
    EXPECT_EQ(Entries(Path("stick/photos")), QStringList{QStringLiteral("f.txt")});
    EXPECT_EQ(Read(onStick), "stick");
    EXPECT_EQ(Entries(Path("stick")), QStringList{QStringLiteral("photos")});
    EXPECT_FALSE(QFileInfo::exists(Trash()));

    // On ext4 another letter case is another name: a plain rename.
    EXPECT_EQ(MoveFileTo(onDisk, Path("disk/docs/F.TXT"), MOVE_DEST_FILE, &problem, nullptr), 0);
    EXPECT_EQ(Entries(Path("disk/docs")), QStringList{QStringLiteral("F.TXT")});
    EXPECT_EQ(Read(Path("disk/docs/F.TXT")), "disk");
}

TEST_F(FileOperations, AnExistingDestinationGoesToTheTrashBeforeItIsReplaced)
{
    Write(Path("disk/a/x.txt"), "moved");
    Write(Path("disk/b/x.txt"), "old move target");
    Write(Path("disk/c/y.txt"), "copied");
    Write(Path("disk/d/y.txt"), "old copy target");

    QString problem;
    QString solution;
    ASSERT_EQ(MoveFileTo(Path("disk/a/x.txt"), Path("disk/b"), MOVE_DEST_FOLDER, &problem, &solution), 0);
    EXPECT_FALSE(QFileInfo::exists(Path("disk/a/x.txt")));
    EXPECT_EQ(Read(Path("disk/b/x.txt")), "moved");
    EXPECT_EQ(Read(Trash() + QStringLiteral("/files/x.txt")), "old move target");
    EXPECT_EQ(TrashedFrom(QStringLiteral("x.txt")), Path("disk/b/x.txt"));

    ASSERT_EQ(CopyFileTo(Path("disk/c/y.txt"), Path("disk/d/y.txt"), &problem, &solution), 0);
    EXPECT_EQ(Read(Path("disk/c/y.txt")), "copied");
    EXPECT_EQ(Read(Path("disk/d/y.txt")), "copied");
    EXPECT_EQ(Read(Trash() + QStringLiteral("/files/y.txt")), "old copy target");
    EXPECT_EQ(TrashedFrom(QStringLiteral("y.txt")), Path("disk/d/y.txt"));

    // Renaming onto another file of the same folder is refused; nothing moves.
    Write(Path("disk/e/1.txt"), "one");
    Write(Path("disk/e/2.txt"), "two");
    EXPECT_EQ(MoveFileTo(Path("disk/e/1.txt"), Path("disk/e/2.txt"), MOVE_DEST_FILE, &problem, &solution), 183);
    EXPECT_EQ(problem, QStringLiteral("Cannot rename a file within a directory, when the destination file already exists"));
    EXPECT_EQ(Read(Path("disk/e/1.txt")), "one");
    EXPECT_EQ(Read(Path("disk/e/2.txt")), "two");

    // A file never replaces a folder of the same name.
    Write(Path("disk/f/z.txt/inside.txt"), "inside");
    Write(Path("disk/g/z.txt"), "file");
    EXPECT_EQ(MoveFileTo(Path("disk/g/z.txt"), Path("disk/f"), MOVE_DEST_FOLDER, &problem, &solution), 183);
    EXPECT_EQ(Read(Path("disk/f/z.txt/inside.txt")), "inside");
    EXPECT_EQ(Read(Path("disk/g/z.txt")), "file");
}

TEST_F(FileOperations, DestinationKindsAndFailures)
{
    Write(Path("disk/src/a.txt"), "a");
    Write(Path("disk/src/b.txt"), "b");
    Write(Path("disk/src/c.txt"), "c");
    QString problem;
    QString solution;
    // Kind 0: no dot means a folder, a dot the new file's path.
    ASSERT_EQ(MoveFileTo(Path("disk/src/a.txt"), Path("disk/new folder"), MOVE_DEST_BY_TEXT, &problem, &solution), 0);
    EXPECT_EQ(Read(Path("disk/new folder/a.txt")), "a");
    ASSERT_EQ(MoveFileTo(Path("disk/src/b.txt"), Path("disk/deep/er/renamed.doc"), MOVE_DEST_BY_TEXT, &problem, &solution), 0);
    EXPECT_EQ(Read(Path("disk/deep/er/renamed.doc")), "b");
    // A folder with a dot in its name is made and filled like any other.
    ASSERT_EQ(MoveFileTo(Path("disk/src/c.txt"), Path("disk/v1.2"), MOVE_DEST_FOLDER, &problem, &solution), 0);
    EXPECT_EQ(Read(Path("disk/v1.2/c.txt")), "c");

    EXPECT_EQ(MoveFileTo(Path("disk/src/none.txt"), Path("disk/x"), MOVE_DEST_FOLDER, &problem, &solution), 2);
    EXPECT_EQ(problem, QStringLiteral("The system cannot find the file specified"));
    EXPECT_EQ(MoveFileTo(Path("disk/v1.2/c.txt"), Path("disk/bad|name.txt"), MOVE_DEST_FILE, &problem, &solution), 123);
    EXPECT_EQ(problem, QStringLiteral("A file path cannot contain any of the following characters: *?\"<>|"));
    EXPECT_EQ(MoveFileTo(Path("disk/v1.2/c.txt"), Path("disk/NUL.txt"), MOVE_DEST_FILE, &problem, &solution), 123);
    EXPECT_EQ(Read(Path("disk/v1.2/c.txt")), "c");
    // A folder cannot be made below a file.
    EXPECT_EQ(MoveFileTo(Path("disk/v1.2/c.txt"), Path("disk/deep/er/renamed.doc/x"), MOVE_DEST_FOLDER, &problem, &solution), 3);
    EXPECT_EQ(Read(Path("disk/v1.2/c.txt")), "c");

    // A path that passes validation but whose name is too long for the file system (over 255
    // bytes in UTF-8, though far fewer than 260 characters).
    const QString tooLong = Path("disk/") + QString(130, QChar(0xE9)) + QStringLiteral(".txt");
    ASSERT_LE(tooLong.size(), 260);
    EXPECT_EQ(CopyFileTo(Path("disk/v1.2/c.txt"), tooLong, &problem, &solution), 206);
    EXPECT_EQ(problem, QStringLiteral("Destination (folder path plus) file name too long (%1 characters)").arg(tooLong.size()));
    EXPECT_EQ(solution, QStringLiteral("Rename the file to a shorter length (folder path+file name should be < 260 characters)"));
    EXPECT_EQ(Read(Path("disk/v1.2/c.txt")), "c");
}

TEST_F(FileOperations, MovesAcrossVolumesKeepTheFileIntact)
{
    CTestTmpfsMount volume(Path("mounted"));
    if (!volume.Mounted())
        GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
    Write(Path("disk/big.bin"), QByteArray(2 * 1024 * 1024, 'b'));
    QString problem;
    ASSERT_EQ(MoveFileTo(Path("disk/big.bin"), volume.Folder() + QStringLiteral("/in"), MOVE_DEST_FOLDER, &problem, nullptr), 0);
    EXPECT_EQ(Read(volume.Folder() + QStringLiteral("/in/big.bin")), QByteArray(2 * 1024 * 1024, 'b'));
    EXPECT_FALSE(QFileInfo::exists(Path("disk/big.bin")));
}

TEST_F(FileOperations, CreatingFolders)
{
    QString problem;
    QString solution;
    EXPECT_EQ(CreateFolderPath(Path("disk/a/b.c/d"), &problem, &solution), 0);
    EXPECT_TRUE(QFileInfo(Path("disk/a/b.c/d")).isDir());
    EXPECT_EQ(CreateFolderPath(Path("disk/a/b.c/d/"), &problem, &solution), 0);
    EXPECT_EQ(CreateFolder(Path("disk/a"), &problem, &solution), 0);
    Write(Path("disk/file"), "f");
    problem = QStringLiteral("stale");
    EXPECT_EQ(CreateFolderPath(Path("disk/file/sub"), &problem, &solution), 3);
    EXPECT_EQ(problem, QStringLiteral("The system cannot find the path specified."));
    EXPECT_EQ(solution, QString());

    CTestTmpfsMount readOnly(Path("readonly"), QStringLiteral("ro,size=1m"));
    if (!readOnly.Mounted())
        GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
    EXPECT_EQ(CreateFolderPath(readOnly.Folder() + QStringLiteral("/x/y"), &problem, &solution), 5);
    EXPECT_EQ(problem, QStringLiteral("Folder creation access denied at the destination"));
    EXPECT_EQ(solution, QStringLiteral("Enable write access to the destination location"));
    EXPECT_FALSE(QFileInfo::exists(readOnly.Folder() + QStringLiteral("/x")));
}

TEST_F(FileOperations, RemovingFilesAndEmptyFolders)
{
    Write(Path("disk/t.txt"), "trash me");
    Write(Path("disk/p.txt"), "delete me");
    QString problem;
    QString solution;
    ASSERT_EQ(RemoveFile(Path("disk/t.txt"), &problem, &solution), 0);
    EXPECT_EQ(Read(Trash() + QStringLiteral("/files/t.txt")), "trash me");
    EXPECT_EQ(TrashedFrom(QStringLiteral("t.txt")), Path("disk/t.txt"));
    ASSERT_EQ(RemoveFile(Path("disk/p.txt"), &problem, &solution, true), 0);
    EXPECT_FALSE(QFileInfo::exists(Path("disk/p.txt")));
    EXPECT_FALSE(QFileInfo::exists(Trash() + QStringLiteral("/files/p.txt")));

    EXPECT_EQ(RemoveFile(Path("disk/none.txt"), &problem, &solution), 2);
    EXPECT_EQ(problem, QStringLiteral("Unable to delete - The system cannot find the file specified."));
    EXPECT_EQ(solution, QStringLiteral("Make sure delete file access permission is available for this file"));

    // Empty folders go, up to the first that holds something.
    QDir().mkpath(Path("disk/top/a/b/c"));
    Write(Path("disk/top/keep.txt"), "k");
    EXPECT_TRUE(FolderIsEmpty(Path("disk/top/a/b/c")));
    EXPECT_FALSE(FolderIsEmpty(Path("disk/top")));
    EXPECT_TRUE(FolderIsEmpty(Path("disk/none")));
    EXPECT_EQ(RemoveEmptyFolders(Path("disk/top/a"), true, &problem, &solution), 145);
    EXPECT_TRUE(QFileInfo::exists(Path("disk/top/a/b/c")));
    EXPECT_EQ(RemoveEmptyFolders(Path("disk/top/a/b/c/"), true, &problem, &solution), 0);
    EXPECT_EQ(Entries(Path("disk/top")), QStringList{QStringLiteral("keep.txt")});
    EXPECT_TRUE(QFileInfo(Trash() + QStringLiteral("/files/c")).isDir());
    EXPECT_TRUE(QFileInfo(Trash() + QStringLiteral("/files/a")).isDir());

    // Never above the limit the caller sets, nor a folder that cannot be listed.
    QDir().mkpath(Path("disk/limit/a/b"));
    EXPECT_EQ(RemoveEmptyFolders(Path("disk/limit/a/b"), true, &problem, &solution, Path("disk/limit")), 0);
    EXPECT_TRUE(QFileInfo(Path("disk/limit")).isDir());
    EXPECT_FALSE(QFileInfo::exists(Path("disk/limit/a")));
    EXPECT_EQ(RemoveEmptyFolders(Path("disk/none"), false, &problem, &solution), 2);
}

TEST_F(FileOperations, CheckMoveCopyForeseesProblems)
{
    Write(Path("disk/src/f.txt"), "f");
    Write(Path("disk/src/ro.txt"), "r");
    ASSERT_TRUE(QFile(Path("disk/src/ro.txt")).setPermissions(QFileDevice::ReadOwner));
    Write(Path("stick/taken/f.txt"), "other");
    QDir().mkpath(Path("stick/free"));
    QDir().mkpath(Path("elsewhere"));

    const struct
    {
        QString source;
        QString folder;
        bool copy;
        int result;
        QString problem;
        QString solution;
    } cases[] = {
        {Path("disk/src/f.txt"), Path("stick/free"), false, 1, QString(), QString()},
        {Path("disk/src/none.txt"), Path("stick/free"), false, 0, QStringLiteral("The source could not be found"), QStringLiteral("Insert the source media")},
        {Path("disk/src/ro.txt"), Path("stick/free"), false, 0, QStringLiteral("The source file is read only"), QStringLiteral("Make the source file writeable")},
        {Path("disk/src/ro.txt"), Path("stick/free"), true, 1, QString(), QString()},
        {Path("disk/src/f.txt"), Path("cd"), true, 0, QStringLiteral("The destination location may not be writeable"), QString()},
        {Path("disk/src/f.txt"), Path("elsewhere"), true, 0, QStringLiteral("The destination location may not be writeable"), QString()},
        // The last failing check is the one reported.
        {Path("disk/src/none.txt"), Path("cd"), false, 0, QStringLiteral("The destination location may not be writeable"), QString()},
        {Path("disk/src/f.txt"), Path("stick/taken"), false, 0,
         QStringLiteral("A file or sub-folder with the same name exists at the destination (%1)").arg(Path("stick/taken/f.txt")),
         QStringLiteral("Overwrite the destination file")},
        {Path("disk/src/f.txt"), Path("disk/src"), true, 0, QStringLiteral("The source file cannot be moved to itself"), QStringLiteral("This operation has no effect.")},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE((c.source + QStringLiteral(" -> ") + c.folder).toStdString());
        QString problem;
        QString solution;
        EXPECT_EQ(CheckMoveCopy(c.source, c.folder, &problem, &solution, c.copy), c.result);
        EXPECT_EQ(problem, c.problem);
        EXPECT_EQ(solution, c.solution);
    }
    EXPECT_EQ(Read(Path("stick/taken/f.txt")), "other");
    EXPECT_EQ(Entries(Path("stick/free")), QStringList());
}

TEST_F(FileOperations, AttributesAndShortcuts)
{
    Write(Path("disk/f.txt"), "f");
    EXPECT_EQ(FindAttributes(Path("disk/f.txt")), FileAttribute::Normal);
    EXPECT_EQ(FindAttributes(Path("disk/")), FileAttribute::Directory);
    EXPECT_EQ(FindAttributes(Path("disk/none")), 0u);
    EXPECT_EQ(FindAttributes(QString()), 0u);

    Write(Path("disk/link.desktop"), QStringLiteral("[Desktop Entry]\nName=x\nType=Link\nURL=%1\n")
                                         .arg(QUrl::fromLocalFile(Path("disk/f.txt")).toString()).toUtf8());
    Write(Path("disk/app.desktop"), "[Desktop Entry]\nType=Application\nExec=true\n");
    QString path = Path("disk/link.desktop");
    EXPECT_EQ(ResolveShortcut(path), 0);
    EXPECT_EQ(path, Path("disk/f.txt"));
    for (const QString& other : {Path("disk/app.desktop"), Path("disk/f.txt"), Path("disk/none.desktop")})
    {
        path = other;
        EXPECT_LT(ResolveShortcut(path), 0);
        EXPECT_EQ(path, other);
    }
}

TEST_F(FileOperations, FreeSpaceIsCheckedPerVolume)
{
    CSpaceRequestList requests;
    AddSpaceRequest(requests, Path("disk/a/x.bin"), 600);
    AddSpaceRequest(requests, Path("stick/y.bin"), 10);
    AddSpaceRequest(requests, Path("disk/not/yet/made/z.bin"), 600);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].m_strKey, Path("disk"));
    EXPECT_EQ(requests[0].m_nBytes, 1200u);

    QString message = QStringLiteral("stale");
    EXPECT_EQ(CheckDiskSpace(requests, &message), 112);
    EXPECT_EQ(message, QStringLiteral("There is not enough disk space to complete this operation.\r\n\r\nPlease free:"
                                      "\r\n    1 KB on %1\r\n\r\nThen retry this operation.").arg(Path("disk")));
    EXPECT_EQ(requests[0].m_nShortfall, 200u);
    EXPECT_FALSE(requests[1].m_bShort);

    ClearSpaceRequests(requests);
    EXPECT_TRUE(requests.empty());
    AddSpaceRequest(requests, Path("disk/a/x.bin"), 1000);
    AddSpaceRequest(requests, Path("stick/y.bin"), 1000000);
    EXPECT_EQ(CheckDiskSpace(requests, &message), 0);
    EXPECT_EQ(message, QString());
}
