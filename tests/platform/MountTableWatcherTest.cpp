#include "platform/MountTableWatcher.h"
#include "TestTmpfsMount.h"
#include "platform/FixtureVolumeTable.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

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
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    CMountTableWatcher watcher(QStringLiteral("/proc/self/mountinfo"), false);
    ASSERT_TRUE(watcher.IsWatching());
    QSignalSpy changed(&watcher, &CMountTableWatcher::changed);
    // Nothing happens while nothing is mounted (other tests may mount meanwhile: only a short look).
    EXPECT_FALSE(changed.wait(200));
    {
        CTestTmpfsMount mount(dir.filePath(QStringLiteral("mnt")));
        if (!mount.Mounted())
            GTEST_SKIP() << CTestTmpfsMount::SkipReason().toStdString();
        EXPECT_TRUE(changed.wait(1000)) << "mounted";
        changed.clear();
    }
    EXPECT_TRUE(changed.count() > 0 || changed.wait(1000)) << "unmounted";
}
