#include "hash/TthHashService.h"
#include "hash/TthHashQueue.h"
#include "platform/HashInputFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <fcntl.h>
#include <random>
#include <thread>
#include <unistd.h>

namespace
{
constexpr std::uint64_t MiB = 1024 * 1024;

class TthHashServiceTest : public ::testing::Test
{
protected:
    // The direct path needs a folder on a disk filesystem; /tmp may be a tmpfs that refuses
    // O_DIRECT, so the usual places for temporary files are tried in turn.
    void SetUp() override
    {
        const QString bases[] = {QDir::tempPath(), QStringLiteral("/var/tmp"), QCoreApplication::applicationDirPath()};
        for (const QString& base : bases)
        {
            auto dir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/quarrane-hash-XXXXXX"));
            if (!dir->isValid())
                continue;
            const bool direct = TakesDirectReads(dir->path());
            if (!m_pDir || direct)
            {
                m_pDir = std::move(dir);
                m_direct = direct;
            }
            if (direct)
                break;
        }
        ASSERT_TRUE(m_pDir);
    }

    static QString Write(const QString& path, std::uint64_t size, unsigned seed)
    {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        std::mt19937_64 random(seed);
        QByteArray block(1 << 16, Qt::Uninitialized);
        for (std::uint64_t done = 0; done < size; done += block.size())
        {
            for (int i = 0; i < block.size(); i += 8)
            {
                const std::uint64_t word = random();
                std::memcpy(block.data() + i, &word, 8);
            }
            file.write(block.constData(), qint64(std::min<std::uint64_t>(block.size(), size - done)));
        }
        return path;
    }

    QString WriteFile(const QString& name, std::uint64_t size, unsigned seed = 1)
    {
        return Write(m_pDir->filePath(name), size, seed);
    }

    static std::string Native(const QString& path) { return QFile::encodeName(path).toStdString(); }

    // Pushes the file out of the page cache so that direct reads really go to the device.
    static void Evict(const QString& path)
    {
        const int fd = open(QFile::encodeName(path).constData(), O_RDONLY);
        ASSERT_GE(fd, 0);
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }

    // Whether every byte of the file is in the page cache: a tmpfs file always is, eviction or not.
    static bool FullyCached(const QString& path)
    {
        CHashInputFile file;
        return file.Open(Native(path)) == 0 && file.Size() > 0 && file.IsCached(0, std::size_t(file.Size()));
    }

    // Whether the folder's filesystem takes direct reads of 256 KiB chunks and keeps its files on
    // a device, so that direct reads really bypass the cache.
    static bool TakesDirectReads(const QString& folder)
    {
        const QString probe = Write(folder + QStringLiteral("/probe"), 4096, 1);
        CHashInputFile file;
        if (file.Open(Native(probe)) != 0 || !CTthHashService::ChunkFitsAlignment(file.DirectAlignment()) ||
            !file.OpenDirect())
            return false;
        Evict(probe);
        return !FullyCached(probe);
    }

    static QString RhashTth(const QString& path)
    {
        QProcess rhash;
        rhash.start(QStringLiteral("rhash"), {QStringLiteral("--tth"), path});
        if (!rhash.waitForFinished(60000) || rhash.exitCode() != 0)
            return QString();
        return QString::fromUtf8(rhash.readAllStandardOutput()).section(QLatin1Char(' '), 0, 0).toUpper();
    }

    std::unique_ptr<QTemporaryDir> m_pDir;
    bool m_direct = false;
};

TEST_F(TthHashServiceTest, EqualsRhashOnBothPathsWithOneAndTwoThreads)
{
    if (QStandardPaths::findExecutable(QStringLiteral("rhash")).isEmpty())
        GTEST_SKIP() << "rhash is not installed (scripts/install-deps installs it)";
    const bool direct = m_direct;
    std::vector<std::uint64_t> sizes = {0, 1, 1023, 1024, 1025, 262143, 262144, 262145, 32 * MiB, 32 * MiB + 1};
    std::mt19937 random(20261207);
    for (int i = 0; i < 4; ++i)
        sizes.push_back(random() % (3 * MiB));
    for (std::uint64_t size : sizes)
    {
        const QString path = WriteFile(QStringLiteral("f%1").arg(size), size, unsigned(size));
        const QString expected = RhashTth(path);
        ASSERT_EQ(expected.size(), 39) << "rhash failed on " << size << " bytes";
        for (ETthReadMode mode : {ETthReadMode::Auto, ETthReadMode::BufferedOnly, ETthReadMode::Direct})
            for (int threads : {1, 2})
            {
                Evict(path);
                const CTthHashResult result = CTthHashService(threads, mode).Hash(Native(path));
                const auto where = ::testing::Message()
                                   << size << " bytes, " << threads << " thread(s), mode " << int(mode);
                EXPECT_EQ(QString::fromStdString(result.tth), expected) << where;
                EXPECT_EQ(result.bytesHashed, size) << where;
                // Small files take one buffered read unless direct reads are asked for.
                const bool unbuffered =
                    direct && (mode == ETthReadMode::Direct ||
                               (mode == ETthReadMode::Auto && size >= CTthHashService::DirectFileMinimum));
                EXPECT_EQ(result.path, unbuffered ? ETthReadPath::Unbuffered : ETthReadPath::Buffered) << where;
                // An evicted file comes wholly from the device on the direct path.
                EXPECT_EQ(result.directBytes, unbuffered && !FullyCached(path) ? size : 0u) << where;
            }
    }
    if (!direct)
        GTEST_SKIP() << "the temporary folder " << m_pDir->path().toStdString()
                     << " takes no direct reads: only the buffered path was compared";
}

TEST_F(TthHashServiceTest, DirectReadsSkipCachedRangesOnly)
{
    if (!m_direct)
        GTEST_SKIP() << "the temporary folder takes no direct reads";
    const QString path = WriteFile(QStringLiteral("cached"), 3 * MiB + 17);
    const CTthHashService service(1, ETthReadMode::Direct);

    Evict(path);
    if (FullyCached(path))
        GTEST_SKIP() << "the temporary folder keeps its files in memory: nothing is read from a device";
    const CTthHashResult cold = service.Hash(Native(path));
    EXPECT_EQ(cold.directBytes, 3 * MiB + 17);

    // Read it through the cache once; a second hash then finds every page there.
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().size(), qint64(3 * MiB + 17));
    const CTthHashResult warm = service.Hash(Native(path));
    EXPECT_EQ(warm.path, ETthReadPath::Unbuffered);
    EXPECT_EQ(warm.directBytes, 0u);
    EXPECT_EQ(warm.tth, cold.tth);
}

TEST_F(TthHashServiceTest, BlockSizeFollowsTheFileSize)
{
    const struct
    {
        std::uint64_t fileSize;
        std::uint64_t blockSize;
    } cases[] = {{0, 65536},           {1, 65536},
                 {32 * MiB, 65536},    {32 * MiB + 1, 131072},
                 {64 * MiB, 131072},   {1024 * MiB, 2 * MiB},
                 {1024 * MiB + 1, 4 * MiB}, {std::uint64_t(1) << 40, std::uint64_t(1) << 31}};
    for (const auto& c : cases)
        EXPECT_EQ(CTthHashService::BlockSizeFor(c.fileSize), c.blockSize) << c.fileSize;

    const CTthHashService service(2);
    const CTthHashResult exact = service.Hash(Native(WriteFile(QStringLiteral("a"), 32 * MiB, 4)));
    EXPECT_EQ(exact.blockSize, 65536u);
    EXPECT_EQ(exact.blockCount, 512u);
    const CTthHashResult larger = service.Hash(Native(WriteFile(QStringLiteral("b"), 32 * MiB + 1, 4)));
    EXPECT_EQ(larger.blockSize, 131072u);
    EXPECT_EQ(larger.blockCount, 257u);
}

TEST_F(TthHashServiceTest, DirectReadsNeedAChunkThatIsAWholeNumberOfBlocks)
{
    const struct
    {
        std::size_t alignment;
        bool fits;
    } cases[] = {{0, false}, {512, true}, {4096, true}, {65536, true}, {262144, true},
                 {524288, false}, {3000, false}, {1536, false}};
    for (const auto& c : cases)
        EXPECT_EQ(CTthHashService::ChunkFitsAlignment(c.alignment), c.fits) << c.alignment;
}

TEST_F(TthHashServiceTest, CapacityRuleOfTheSynchronizerForm)
{
    const QString path = WriteFile(QStringLiteral("c"), 5000);
    const CTthHashService service;
    const std::string tth = service.Hash(Native(path)).tth;

    QString text = QStringLiteral("old");
    EXPECT_EQ(service.HashFile(path, text, 39), 39);
    EXPECT_EQ(text.toStdString(), tth);
    EXPECT_EQ(service.HashFile(path, text, 38), 39);
    EXPECT_TRUE(text.isEmpty());

    const QString plainFile = WriteFile(QStringLiteral("plain"), 10);
    for (const QString& bad : {m_pDir->filePath(QStringLiteral("missing")), m_pDir->path(),
                               plainFile + QStringLiteral("/below")})
    {
        text = QStringLiteral("old");
        EXPECT_EQ(service.HashFile(bad, text, 39), 0) << bad.toStdString();
        EXPECT_TRUE(text.isEmpty());
    }
    EXPECT_EQ(service.Hash(Native(m_pDir->path())).error, EISDIR);
    EXPECT_EQ(service.Hash(Native(plainFile + QStringLiteral("/below"))).error, ENOTDIR);
}

TEST_F(TthHashServiceTest, NonAsciiNamesAreHashedLikeAnyOther)
{
    const QString plain = WriteFile(QStringLiteral("plain.bin"), 70000, 8);
    const QString accented = WriteFile(QStringLiteral("Crème brûlée – 文件.bin"), 70000, 8);
    QString a, b;
    const CTthHashService service;
    EXPECT_EQ(service.HashFile(plain, a, 39), 39);
    EXPECT_EQ(service.HashFile(accented, b, 39), 39);
    EXPECT_EQ(a, b);
}

TEST_F(TthHashServiceTest, StopAndCancelEndTheHashUnsuccessfully)
{
    const QString path = WriteFile(QStringLiteral("s"), 600000);
    CTthHashService service(2);
    std::atomic<bool> cancel(true);
    QString text = QStringLiteral("old");
    EXPECT_EQ(service.HashFile(path, text, 39, &cancel), 0);
    EXPECT_TRUE(text.isEmpty());
    cancel = false;
    EXPECT_EQ(service.HashFile(path, text, 39, &cancel), 39);

    service.Stop();
    for (ETthReadMode mode : {ETthReadMode::Auto, ETthReadMode::BufferedOnly})
    {
        CTthHashService stopped(1, mode);
        stopped.Stop();
        const CTthHashResult result = stopped.Hash(Native(path));
        EXPECT_FALSE(result.Succeeded());
        EXPECT_EQ(result.error, ECANCELED);
    }
    EXPECT_EQ(service.HashFile(path, text, 39), 0);
}

TEST_F(TthHashServiceTest, AFileChangingWhileReadIsHashedUpToItsEndOrItsFirstSize)
{
    // The file is changed at a known point of its reading, right after the chunk that ends at
    // 1 MiB has been read, so that every case ends the same way on a busy machine as on an idle
    // one. The hash covers the file as it was opened, or, once it has been cut short, the file
    // as it is after the cut; a file cut again while it is read anew is unreadable.
    enum class EChange
    {
        Grow,
        CutBehind, // below what has been read already
        CutAhead,  // inside the chunk still to be read
        CutTwice,  // and again while it is read anew
    };
    const struct
    {
        EChange change;
        std::uint64_t size;
        std::uint64_t expectedBytes; // 0: the hash fails
    } cases[] = {
        {EChange::Grow, 3 * MiB, 3 * MiB},
        {EChange::Grow, 9 * MiB, 9 * MiB},
        {EChange::CutBehind, 3 * MiB, MiB / 2 + 3},
        {EChange::CutBehind, 9 * MiB, MiB / 2 + 3},
        {EChange::CutAhead, 3 * MiB, MiB + 1000},
        {EChange::CutAhead, 9 * MiB, MiB + 1000},
        {EChange::CutTwice, 3 * MiB, 0},
        {EChange::CutTwice, 9 * MiB, 0},
    };
    const QString pristine = WriteFile(QStringLiteral("pristine"), 10 * MiB, 21);
    const QString path = m_pDir->filePath(QStringLiteral("changing"));
    for (const auto& c : cases)
    {
        // The root of the bytes the hash should cover, hashed as a file of their own.
        std::string expectedTth;
        if (c.expectedBytes != 0)
        {
            const QString prefix = m_pDir->filePath(QStringLiteral("prefix"));
            QFile::remove(prefix);
            ASSERT_TRUE(QFile::copy(pristine, prefix));
            ASSERT_TRUE(QFile::resize(prefix, qint64(c.expectedBytes)));
            expectedTth = CTthHashService(1, ETthReadMode::BufferedOnly).Hash(Native(prefix)).tth;
        }
        for (ETthReadMode mode : {ETthReadMode::Auto, ETthReadMode::BufferedOnly, ETthReadMode::Direct})
            for (int threads : {1, 2})
            {
                const auto where = ::testing::Message()
                                   << "change " << int(c.change) << ", " << c.size << " bytes, mode "
                                   << int(mode) << ", " << threads << " thread(s)";
                QFile::remove(path);
                ASSERT_TRUE(QFile::copy(pristine, path));
                ASSERT_TRUE(QFile::resize(path, qint64(c.size)));
                CTthHashService service(threads, mode);
                int changes = 0;
                service.SetReadObserver(
                    [&](std::uint64_t readUpTo)
                    {
                        // The second cut comes with the first chunk read anew.
                        if (changes > (c.change == EChange::CutTwice ? 1 : 0) ||
                            readUpTo < (changes == 0 ? MiB : 1))
                            return;
                        ++changes;
                        if (c.change == EChange::Grow)
                        {
                            QFile grow(path);
                            ASSERT_TRUE(grow.open(QIODevice::Append));
                            grow.write(QByteArray(int(MiB), 'x'));
                        }
                        else if (c.change == EChange::CutBehind)
                            ASSERT_TRUE(QFile::resize(path, qint64(MiB / 2 + 3)));
                        else if (c.change == EChange::CutAhead)
                            ASSERT_TRUE(QFile::resize(path, qint64(MiB + 1000)));
                        else
                            ASSERT_TRUE(QFile::resize(path, qint64(changes == 1 ? MiB / 2 : 100000)));
                    });
                const CTthHashResult result = service.Hash(Native(path));
                EXPECT_EQ(changes, c.change == EChange::CutTwice ? 2 : 1) << where;
                if (c.expectedBytes == 0)
                {
                    EXPECT_FALSE(result.Succeeded()) << where;
                    EXPECT_EQ(result.error, EIO) << where;
                    continue;
                }
                ASSERT_TRUE(result.Succeeded()) << where;
                EXPECT_EQ(result.bytesHashed, c.expectedBytes) << where;
                EXPECT_EQ(result.tth, expectedTth) << where;
            }
    }
}

TEST_F(TthHashServiceTest, AFileCutShortBehindTheReadingIsHashedAgainAtItsNewSize)
{
    // Cut to a small size while a large file is being read, usually well behind what has been
    // hashed already: the result is the whole old file or the new one, never a hash of bytes the
    // file no longer holds.
    const std::uint64_t size = 48 * MiB;
    const std::uint64_t cut = MiB + 3;
    const QString path = WriteFile(QStringLiteral("cut"), size, 23);
    const QString expectedCut = WriteFile(QStringLiteral("cut-expected"), size, 23);
    QFile::resize(expectedCut, qint64(cut));
    const std::string cutTth = CTthHashService(1, ETthReadMode::BufferedOnly).Hash(Native(expectedCut)).tth;
    for (ETthReadMode mode : {ETthReadMode::Auto, ETthReadMode::BufferedOnly})
    {
        std::atomic<bool> started(false);
        std::thread cutter([&] {
            while (!started)
                std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            QFile::resize(path, qint64(cut));
        });
        const CTthHashService service(2, mode);
        started = true;
        const CTthHashResult result = service.Hash(Native(path));
        cutter.join();
        ASSERT_TRUE(result.Succeeded());
        if (result.bytesHashed == cut)
            EXPECT_EQ(result.tth, cutTth);
        else
            EXPECT_EQ(result.bytesHashed, size) << "a hash of bytes past the file's new end";
        WriteFile(QStringLiteral("cut"), size, 23);
    }
}
TEST_F(TthHashServiceTest, AQueueHandsOutResultsInTheOrderFilesWereAdded)
{
    // Small files around large ones, and failures among them: whichever thread finishes first,
    // each result belongs to its file.
    std::vector<std::string> paths;
    std::vector<CTthHashResult> expected;
    const CTthHashService reference(1, ETthReadMode::BufferedOnly);
    const std::uint64_t sizes[] = {0, 9 * MiB, 1, 5000, 2 * MiB + 7, 9 * MiB + 1024, 1024, 300000, 262144};
    for (std::size_t i = 0; i < std::size(sizes); ++i)
    {
        const QString written = WriteFile(QStringLiteral("q%1").arg(i), sizes[i], unsigned(i + 40));
        {
            // A time of its own for every file.
            QFile file(written);
            ASSERT_TRUE(file.open(QIODevice::ReadWrite));
            ASSERT_TRUE(file.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000 + 1000 * qint64(i)),
                                         QFileDevice::FileModificationTime));
        }
        paths.push_back(Native(written));
        if (i == 3)
            paths.push_back(Native(m_pDir->filePath(QStringLiteral("missing"))));
        if (i == 6)
            paths.push_back(Native(m_pDir->path()));
    }
    for (const std::string& path : paths)
        expected.push_back(reference.Hash(path));
    ASSERT_EQ(expected[4].error, ENOENT);
    ASSERT_EQ(expected[8].error, EISDIR);
    // Whether each file could be opened, and its time then: the synchronizer stores that time and
    // looks at a file itself only when it could not be opened.
    std::vector<std::int64_t> times;
    for (const std::string& path : paths)
        times.push_back(
            QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).lastModified().toSecsSinceEpoch());

    for (int threads : {1, 2, 3})
        for (std::size_t window : {std::size_t(1), std::size_t(3), paths.size()})
        {
            const auto where = ::testing::Message() << threads << " thread(s), window " << window;
            const CTthHashService service(threads);
            CTthHashQueue queue(service, threads);
            std::size_t added = 0;
            for (std::size_t i = 0; i < paths.size(); ++i)
            {
                while (added < paths.size() && queue.Pending() < window)
                    queue.Add(paths[added++]);
                const CTthHashResult result = queue.Take();
                EXPECT_EQ(result.tth, expected[i].tth) << where << ", file " << i;
                EXPECT_EQ(result.error, expected[i].error) << where << ", file " << i;
                EXPECT_EQ(result.bytesHashed, expected[i].bytesHashed) << where << ", file " << i;
                EXPECT_EQ(result.opened, i != 4 && i != 8) << where << ", file " << i;
                if (result.opened)
                    EXPECT_EQ(result.modifiedSecs, times[i]) << where << ", file " << i;
            }
            EXPECT_EQ(queue.Pending(), 0u);
        }

    // A cancel ends what is in flight and everything after it; a queue left with files in it
    // ends without waiting for them.
    std::atomic<bool> cancel(true);
    const CTthHashService service(2);
    CTthHashQueue cancelled(service, 2, &cancel);
    for (const std::string& path : paths)
        cancelled.Add(path);
    EXPECT_EQ(cancelled.Take().error, ECANCELED);
    EXPECT_EQ(cancelled.Take().error, ECANCELED);
}

} // namespace
