#include "TestFiles.h"
#include "TestTmpfsMount.h"

#include "platform/SystemErrorCodes.h"
#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace
{
ino_t Inode(const QString& path)
{
    struct stat info = {};
    return stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// The trash folder of the test: XDG_DATA_HOME points into a temporary folder for each test.
class TrashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_previous = qgetenv("XDG_DATA_HOME");
        m_hadPrevious = qEnvironmentVariableIsSet("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + QStringLiteral("/data")));
    }
    void TearDown() override
    {
        if (m_hadPrevious)
            qputenv("XDG_DATA_HOME", m_previous);
        else
            qunsetenv("XDG_DATA_HOME");
    }
    QString Home() const { return m_dir.path() + QStringLiteral("/data/Trash"); }

    // The info record of a trashed entry: its Path line and a sound deletion date.
    static QString RecordedPath(const QString& trash, const QString& name)
    {
        const QString info = QString::fromUtf8(ReadAll(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo")));
        const QRegularExpression shape(QStringLiteral("^\\[Trash Info\\]\nPath=([^\n]+)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\n$"));
        const QRegularExpressionMatch match = shape.match(info);
        if (!match.hasMatch())
            return QStringLiteral("<bad record: %1>").arg(info);
        return QUrl::fromPercentEncoding(match.captured(1).toLatin1());
    }

    QTemporaryDir m_dir;
    QByteArray m_previous;
    bool m_hadPrevious = false;
};
} // namespace

TEST_F(TrashTest, FilesAndFoldersGoToTheHomeTrashWithTheirRecord)
{
    const QString work = m_dir.path() + QStringLiteral("/work");
    const QString first = work + QStringLiteral("/a/my file%.txt");
    const QString second = work + QStringLiteral("/b/my file%.txt");
    const QString folder = work + QStringLiteral("/c/album");
    WriteText(first, "first");
    WriteText(second, "second");
    WriteText(folder + QStringLiteral("/song.mp3"), "song");

    QString trashed;
    ASSERT_EQ(MoveToTrash(first, &trashed), 0);
    EXPECT_EQ(trashed, Home() + QStringLiteral("/files/my file%.txt"));
    ASSERT_EQ(MoveToTrash(second, &trashed), 0);
    // The same name again gets a number of its own; neither is lost.
    EXPECT_EQ(trashed, Home() + QStringLiteral("/files/my file%.2.txt"));
    ASSERT_EQ(MoveToTrash(folder, &trashed), 0);

    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_FALSE(QFileInfo::exists(second));
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(ReadAll(Home() + QStringLiteral("/files/my file%.txt")), "first");
    EXPECT_EQ(ReadAll(Home() + QStringLiteral("/files/my file%.2.txt")), "second");
    EXPECT_EQ(ReadAll(Home() + QStringLiteral("/files/album/song.mp3")), "song");
    EXPECT_EQ(RecordedPath(Home(), QStringLiteral("my file%.txt")), first);
    EXPECT_EQ(RecordedPath(Home(), QStringLiteral("my file%.2.txt")), second);
    EXPECT_EQ(RecordedPath(Home(), QStringLiteral("album")), folder);
    // The raw record escapes what a URL path must.
    EXPECT_TRUE(ReadAll(Home() + QStringLiteral("/info/my file%.txt.trashinfo")).contains("my%20file%25.txt"));

    EXPECT_EQ(MoveToTrash(work + QStringLiteral("/missing.txt")), SystemError::FileNotFound);
    EXPECT_EQ(QDir(Home() + QStringLiteral("/info")).entryList(QDir::Files).size(), 3);
}

TEST_F(TrashTest, AnotherVolumeUsesItsOwnTrashWithoutCopying)
{
    CTestTmpfsMount volume(m_dir.path() + QStringLiteral("/vol"));
    if (!volume.Mounted())
        GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
    const QString file = volume.Folder() + QStringLiteral("/photos/a.jpg");
    WriteText(file, "jpeg");
    const ino_t inode = Inode(file);

    QString trashed;
    ASSERT_EQ(MoveToTrash(file, &trashed), 0);
    const QString volumeTrash = volume.Folder() + QStringLiteral("/.Trash-") + QString::number(geteuid());
    EXPECT_EQ(trashed, volumeTrash + QStringLiteral("/files/a.jpg"));
    EXPECT_EQ(Inode(trashed), inode);
    EXPECT_EQ(ReadAll(trashed), "jpeg");
    // Relative to the volume's top folder, so that it holds wherever the medium is mounted.
    EXPECT_EQ(RecordedPath(volumeTrash, QStringLiteral("a.jpg")), QStringLiteral("photos/a.jpg"));
    EXPECT_FALSE(QFileInfo::exists(Home()));

    // A mount point is never moved anywhere.
    EXPECT_EQ(MoveToTrash(volume.Folder()), SystemError::AccessDenied);
    EXPECT_TRUE(QFileInfo::exists(volume.Folder() + QStringLiteral("/photos")));
}

TEST_F(TrashTest, WithoutAVolumeTrashTheFileIsCopiedHomeAndOnlyThenRemoved)
{
    CTestTmpfsMount volume(m_dir.path() + QStringLiteral("/vol"));
    if (!volume.Mounted())
        GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
    // A plain file where the volume's trash would go: the volume trash cannot be made.
    WriteText(volume.Folder() + QStringLiteral("/.Trash-") + QString::number(geteuid()), "in the way");
    const QString file = volume.Folder() + QStringLiteral("/docs/report.txt");
    WriteText(file, QByteArray(300000, 'r'));

    QString trashed;
    ASSERT_EQ(MoveToTrash(file, &trashed), 0);
    EXPECT_EQ(trashed, Home() + QStringLiteral("/files/report.txt"));
    EXPECT_EQ(ReadAll(trashed), QByteArray(300000, 'r'));
    EXPECT_EQ(RecordedPath(Home(), QStringLiteral("report.txt")), file);
    EXPECT_FALSE(QFileInfo::exists(file));
}

TEST_F(TrashTest, AFailureLeavesTheFileWhereItWas)
{
    CTestTmpfsMount volume(m_dir.path() + QStringLiteral("/vol"));
    if (!volume.Mounted())
        GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
    const QString file = volume.Folder() + QStringLiteral("/keep.txt");
    WriteText(file, "keep");
    if (!volume.RemountReadOnly())
        GTEST_SKIP() << "cannot remount the tmpfs read-only here";

    EXPECT_EQ(MoveToTrash(file), SystemError::AccessDenied);
    EXPECT_EQ(ReadAll(file), "keep");
    // Neither a copy nor a record is left behind in the home trash.
    EXPECT_TRUE(QDir(Home() + QStringLiteral("/files")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_TRUE(QDir(Home() + QStringLiteral("/info")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}
