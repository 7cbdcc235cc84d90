#include "TestFiles.h"
#include "TestTmpfsMount.h"

#include "platform/FileAttributes.h"
#include "platform/FileSystem.h"
#include "platform/SystemErrorCodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace
{
void SetModified(const QString& path, qint64 secs)
{
    const struct timespec times[2] = {{secs, 0}, {secs, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

qint64 Modified(const QString& path)
{
    CFileStatus status;
    return QueryFileStatus(path, status) == 0 ? status.m_nModifiedSecs : -1;
}
} // namespace

TEST(FileSystem, ErrnoValuesMapOntoResultCodes)
{
    const struct
    {
        int errnoValue;
        int code;
    } cases[] = {{0, 0},          {ENOENT, 2},     {ENOTDIR, 3},      {EACCES, 5},   {EPERM, 5},
                 {EROFS, 5},      {EXDEV, 17},     {EBUSY, 32},       {ENOSPC, 112}, {EDQUOT, 112},
                 {ENOTEMPTY, 145}, {EEXIST, 183},  {ENAMETOOLONG, 206}, {ECANCELED, 1223}};
    for (const auto& c : cases)
        EXPECT_EQ(SystemErrorFromErrno(c.errnoValue), c.code) << c.errnoValue;
    // Without an equivalent the errno is kept, with the system's own words for it.
    const int code = SystemErrorFromErrno(EPROTO);
    EXPECT_EQ(code, SystemError::ErrnoCodeBase + EPROTO);
    EXPECT_FALSE(ErrnoCodeDescription(code).isEmpty());
    EXPECT_TRUE(ErrnoCodeDescription(5).isEmpty());
}

TEST(FileSystem, AttributesOfFilesAndFolders)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString plain = dir.path() + QStringLiteral("/plain.txt");
    const QString readOnly = dir.path() + QStringLiteral("/readonly.txt");
    const QString hidden = dir.path() + QStringLiteral("/.hidden");
    const QString sparse = dir.path() + QStringLiteral("/sparse.bin");
    const QString link = dir.path() + QStringLiteral("/dangling");
    WriteText(plain, "x");
    WriteText(readOnly, "x");
    WriteText(hidden, "x");
    ASSERT_TRUE(QFile(readOnly).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    {
        QFile file(sparse);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(8 * 1024 * 1024));
    }
    ASSERT_TRUE(QFile::link(dir.path() + QStringLiteral("/gone"), link));

    const struct
    {
        QString path;
        unsigned attributes;
    } cases[] = {
        {plain, FileAttribute::Normal},
        {readOnly, FileAttribute::ReadOnly},
        {hidden, FileAttribute::Hidden},
        {sparse, FileAttribute::Sparse},
        {dir.path(), FileAttribute::Directory},
        {link, FileAttribute::Normal},
    };
    for (const auto& c : cases)
    {
        CFileStatus status;
        ASSERT_EQ(QueryFileStatus(c.path, status), 0) << c.path.toStdString();
        EXPECT_EQ(status.m_nAttributes, c.attributes) << c.path.toStdString();
    }
    CFileStatus status;
    EXPECT_EQ(QueryFileStatus(dir.path() + QStringLiteral("/none"), status), SystemError::FileNotFound);
    EXPECT_EQ(QueryFileStatus(plain + QStringLiteral("/below"), status), SystemError::PathNotFound);
    EXPECT_TRUE(IsSameFile(plain, dir.path() + QStringLiteral("/./plain.txt")));
    EXPECT_FALSE(IsSameFile(plain, readOnly));
}

TEST(FileSystem, CopyKeepsContentTimeAndPermissionsAndNeverReplaces)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString source = dir.path() + QStringLiteral("/source.dat");
    const QString copy = dir.path() + QStringLiteral("/copy.dat");
    QByteArray data(3 * 1024 * 1024 + 17, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    WriteText(source, data);
    ASSERT_TRUE(QFile(source).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
    SetModified(source, 1000000000);

    ASSERT_EQ(CopyFileToNew(source, copy), 0);
    EXPECT_EQ(ReadAll(copy), data);
    EXPECT_EQ(Modified(copy), 1000000000);
    EXPECT_EQ(QFile(copy).permissions(), QFile(source).permissions());

    WriteText(copy, "other");
    EXPECT_EQ(CopyFileToNew(source, copy), SystemError::AlreadyExists);
    EXPECT_EQ(ReadAll(copy), "other");
    EXPECT_EQ(CopyFileToNew(dir.path() + QStringLiteral("/none"), dir.path() + QStringLiteral("/x")), SystemError::FileNotFound);
    EXPECT_FALSE(QFileInfo::exists(dir.path() + QStringLiteral("/x")));
    EXPECT_EQ(CopyFileToNew(dir.path(), dir.path() + QStringLiteral("/y")), SystemError::AccessDenied);
}

TEST(FileSystem, MovesAcrossVolumesCopyThenRemoveTheSource)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CTestTmpfsMount volume(dir.path() + QStringLiteral("/vol"));
    if (!volume.Mounted())
        GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
    const QString file = dir.path() + QStringLiteral("/a.txt");
    const QString folder = dir.path() + QStringLiteral("/album");
    WriteText(file, "alpha");
    SetModified(file, 1200000000);
    WriteText(folder + QStringLiteral("/cd1/track.mp3"), "track");
    WriteText(volume.Folder() + QStringLiteral("/b.txt"), "old");

    EXPECT_EQ(RenameEntry(file, volume.Folder() + QStringLiteral("/b.txt")), SystemError::NotSameDevice);
    ASSERT_EQ(MoveEntry(file, volume.Folder() + QStringLiteral("/b.txt")), 0);
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_EQ(ReadAll(volume.Folder() + QStringLiteral("/b.txt")), "alpha");
    EXPECT_EQ(Modified(volume.Folder() + QStringLiteral("/b.txt")), 1200000000);

    ASSERT_EQ(MoveEntry(folder, volume.Folder() + QStringLiteral("/album")), 0);
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(ReadAll(volume.Folder() + QStringLiteral("/album/cd1/track.mp3")), "track");
    // No partial file is left beside the moved one.
    EXPECT_EQ(QDir(volume.Folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              (QStringList{QStringLiteral("album"), QStringLiteral("b.txt")}));
}

TEST(FileSystem, AMoveThatCannotRemoveItsSourceUndoesTheCopy)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CTestTmpfsMount source(dir.path() + QStringLiteral("/src"));
    if (!source.Mounted())
        GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
    WriteText(source.Folder() + QStringLiteral("/f.txt"), "data");
    if (!source.RemountReadOnly())
        GTEST_SKIP() << "cannot remount the tmpfs read-only here";
    const QString target = dir.path() + QStringLiteral("/f.txt");
    EXPECT_EQ(MoveEntry(source.Folder() + QStringLiteral("/f.txt"), target), SystemError::AccessDenied);
    EXPECT_EQ(ReadAll(source.Folder() + QStringLiteral("/f.txt")), "data");
    EXPECT_FALSE(QFileInfo::exists(target));
}
