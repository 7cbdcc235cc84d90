#include "platform/MountTableWatcher.h"
#include "TestTmpfsMount.h"
#include "platform/FixtureVolumeTable.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>

TEST(MountTableWatcherTest, AFixtureTableIsFollowedAcrossItsRewrites)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fixture = dir.filePath(QStringLiteral("volumes"));
    const auto disk = CFixtureVolumeTable::MakeEntry(dir.path(), 3, 0x1234ABCD, QStringLiteral("DATA"));
    ASSERT_TRUE(CFixtureVolumeTable::WriteFile(fixture, {disk}));
    CMountTableWatcher watcher(fixture, true);
    ASSERT_TRUE(watcher.IsWatching());
    QSignalSpy changed(&watcher, &CMountTableWatcher::changed);

    // Each rewrite replaces the file: the watch must survive it, more than once.
    for (int round = 0; round < 3; ++round)
    {
        std::vector<CFixtureVolumeTable::CEntry> entries{disk};
        if (round % 2 == 0)
            entries.push_back(CFixtureVolumeTable::MakeEntry(dir.filePath(QStringLiteral("usb")), 2, 0xC0FFEE,
                                                             QStringLiteral("STICK")));
        changed.clear();
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(fixture, entries));
        EXPECT_TRUE(changed.wait(1000)) << "round " << round;
    }
    // A burst is told once.
    changed.clear();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(CFixtureVolumeTable::WriteFile(fixture, {disk}));
    ASSERT_TRUE(changed.wait(1000));
    QTest::qWait(3 * CMountTableWatcher::kSettleMs);
    EXPECT_EQ(changed.count(), 1);
}

TEST(MountTableWatcherTest, TheKernelsMountTableTellsOfAMount)
{
    // A mount table of this test's own, where it may have one, so that other tests' mounts stay
    // out of it.
    if (::unshare(CLONE_NEWNS) == 0)
        ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CMountTableWatcher watcher(QStringLiteral("/proc/self/mountinfo"), false);
    ASSERT_TRUE(watcher.IsWatching());
    QSignalSpy changed(&watcher, &CMountTableWatcher::changed);
    // Nothing is told while the table stays as it is. Other tests may mount meanwhile: a change
    // told then must show in the table itself.
    const auto table = []
    {
        QFile file(QStringLiteral("/proc/self/mountinfo"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray before = table();
    if (changed.wait(200))
        EXPECT_NE(table(), before) << "a change told while the mount table stayed as it was";
    {
        CTestTmpfsMount mount(dir.filePath(QStringLiteral("mnt")));
        if (!mount.Mounted())
            GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
        EXPECT_TRUE(changed.wait(1000)) << "mounted";
        changed.clear();
    }
    EXPECT_TRUE(changed.count() > 0 || changed.wait(1000)) << "unmounted";
}
