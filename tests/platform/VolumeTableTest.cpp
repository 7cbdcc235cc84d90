#include "TestFiles.h"
#include "platform/FixtureVolumeTable.h"
#include "platform/LinuxVolumeTable.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

#ifndef PRINT_VOLUMES_PATH
#error "PRINT_VOLUMES_PATH must name the print_volumes helper"
#endif

namespace
{
void Link(const QString& target, const QString& link)
{
    QDir().mkpath(QFileInfo(link).path());
    ASSERT_TRUE(QFile::link(target, link)) << link.toStdString();
}

struct CChildResult
{
    int exitCode = -1;
    QString output;
};

CChildResult RunPrintVolumes(const QStringList& arguments, const QString& fixture)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (fixture.isEmpty())
        env.remove(QString::fromLatin1(kVolumeTableEnvironmentVariable));
    else
        env.insert(QString::fromLatin1(kVolumeTableEnvironmentVariable), fixture);
    child.setProcessEnvironment(env);
    child.start(QStringLiteral(PRINT_VOLUMES_PATH), arguments);
    CChildResult result;
    if (child.waitForFinished(30000) && child.exitStatus() == QProcess::NormalExit)
    {
        result.exitCode = child.exitCode();
        result.output = QString::fromUtf8(child.readAllStandardOutput());
    }
    return result;
}
} // namespace

TEST(VolumeTable, NamesSerialsAndCaseRules)
{
    const char* names[] = {"Unknown", "No Root Dir", "Removable", "Fixed", "Network", "CD-ROM", "RAM Disk"};
    for (int i = 0; i < 7; ++i)
    {
        EXPECT_EQ(DriveTypeName(i), QString::fromLatin1(names[i]));
        EXPECT_EQ(DriveTypeFromName(QString::fromLatin1(names[i])), i);
    }
    EXPECT_EQ(DriveTypeName(7), QString());
    EXPECT_EQ(DriveTypeName(-1), QString());
    EXPECT_EQ(DriveTypeFromName(QStringLiteral("fixed")), -1);

    const struct
    {
        const char* uuid;
        quint32 serial;
    } serials[] = {
        {"1234-ABCD", 0x1234ABCDu},                            // FAT, exFAT
        {"0123456789ABCDEF", 0x89ABCDEFu},                     // NTFS: low 32 bits
        {"3f1c6c6e-9d2a-4e6b-8c1a-0f1e2d3c4b5a", 0x3F1C6C6Eu}, // ext4 and the like: first 8 digits
        {"2019-11-21-12-34-56-00", 0x20191121u},               // iso9660 creation date
        {"", 0u},
    };
    for (const auto& c : serials)
        EXPECT_EQ(SerialFromUuid(QString::fromLatin1(c.uuid)), qint32(c.serial)) << c.uuid;

    CVolume volume;
    volume.m_nSerial = qint32(0x89ABCDEFu);
    EXPECT_LT(volume.m_nSerial, 0);
    EXPECT_EQ(volume.SerialText(), QStringLiteral("89ABCDEF"));
    volume.m_nSerial = 0xABC;
    EXPECT_EQ(volume.SerialText(), QStringLiteral("ABC"));

    for (const char* insensitive : {"vfat", "exfat", "ntfs", "ntfs3", "iso9660", "udf", "cifs"})
        EXPECT_FALSE(FileSystemIsCaseSensitive(QString::fromLatin1(insensitive))) << insensitive;
    for (const char* sensitive : {"ext4", "xfs", "btrfs", "tmpfs", "nfs"})
        EXPECT_TRUE(FileSystemIsCaseSensitive(QString::fromLatin1(sensitive))) << sensitive;

    EXPECT_TRUE(PathIsBelowMountPoint(QStringLiteral("/mnt/a/b"), QStringLiteral("/mnt/a")));
    EXPECT_TRUE(PathIsBelowMountPoint(QStringLiteral("/mnt/a"), QStringLiteral("/mnt/a")));
    EXPECT_FALSE(PathIsBelowMountPoint(QStringLiteral("/mnt/ab"), QStringLiteral("/mnt/a")));
    EXPECT_TRUE(PathIsBelowMountPoint(QStringLiteral("/x"), QStringLiteral("/")));
}

// A recorded mount table with fake /dev/disk and /sys folders: every rule of the Linux backend.
TEST(VolumeTable, LinuxBackendReadsMountsLabelsSerialsAndRemovableMedia)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString root = dir.path();
    const QString stickDevice = root + QStringLiteral("/devnodes/sdb1");
    const QString diskDevice = root + QStringLiteral("/devnodes/sdc1");
    WriteText(stickDevice, "");
    WriteText(diskDevice, "");
    Link(stickDevice, root + QStringLiteral("/disk/by-uuid/1234-ABCD"));
    Link(stickDevice, root + QStringLiteral("/disk/by-label/MY\\x20STICK"));
    Link(diskDevice, root + QStringLiteral("/disk/by-uuid/3f1c6c6e-9d2a-4e6b-8c1a-0f1e2d3c4b5a"));
    // sdb is a removable disk, sdc a fixed one; /sys/dev/block links lead to their partitions.
    WriteText(root + QStringLiteral("/sys/devices/sdb/removable"), "1\n");
    WriteText(root + QStringLiteral("/sys/devices/sdb/sdb1/partition"), "1\n");
    WriteText(root + QStringLiteral("/sys/devices/sdc/removable"), "0\n");
    WriteText(root + QStringLiteral("/sys/devices/sdc/sdc1/partition"), "1\n");
    Link(root + QStringLiteral("/sys/devices/sdb/sdb1"), root + QStringLiteral("/sys/dev/block/8:17"));
    Link(root + QStringLiteral("/sys/devices/sdc/sdc1"), root + QStringLiteral("/sys/dev/block/8:33"));

    const QByteArray nodes = QFile::encodeName(root + QStringLiteral("/devnodes"));
    const QByteArray mountInfo =
        "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
        "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/nonexistent-vda rw\n"
        "40 27 8:17 / /media/u/MY\\040STICK rw,nosuid shared:5 - vfat " + nodes + "/sdb1 rw\n"
        "41 27 11:0 / /media/u/CD ro,nosuid - iso9660 /dev/nonexistent-sr0 ro\n"
        "42 27 0:50 / /mnt/share rw - cifs //server/share rw\n"
        "43 27 0:51 / /run/user/0 rw - tmpfs tmpfs rw\n"
        "44 23 0:28 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
        "45 27 8:33 / /mnt/over rw - ext4 /dev/nonexistent-sdd1 rw\n"
        "46 27 8:33 / /mnt/over rw - ext4 " + nodes + "/sdc1 rw\n"
        "47 27 0:60 / /sys/kernel/debug rw - debugfs debugfs rw\n"
        "garbage line\n";
    WriteText(root + QStringLiteral("/mountinfo"), mountInfo);

    const CLinuxVolumeTable table(root + QStringLiteral("/mountinfo"), root + QStringLiteral("/disk"),
                                  root + QStringLiteral("/sys"));
    const std::vector<CVolume> volumes = table.Volumes();
    const struct
    {
        const char* mountPoint;
        const char* fileSystem;
        int driveType;
        const char* label;
        quint32 serial;
        bool readOnly;
    } expected[] = {
        {"/", "ext4", DRIVE_FIXED, "", 0, false},
        {"/media/u/MY STICK", "vfat", DRIVE_REMOVABLE, "MY STICK", 0x1234ABCDu, false},
        {"/media/u/CD", "iso9660", DRIVE_CDROM, "", 0, true},
        {"/mnt/share", "cifs", DRIVE_REMOTE, "", 0, false},
        {"/run/user/0", "tmpfs", DRIVE_RAMDISK, "", 0, false},
        {"/mnt/over", "ext4", DRIVE_FIXED, "", 0x3F1C6C6Eu, false},
    };
    ASSERT_EQ(volumes.size(), std::size(expected));
    for (size_t i = 0; i < volumes.size(); ++i)
    {
        SCOPED_TRACE(expected[i].mountPoint);
        EXPECT_EQ(volumes[i].m_strMountPoint, QString::fromUtf8(expected[i].mountPoint));
        EXPECT_EQ(volumes[i].m_strFileSystem, QString::fromUtf8(expected[i].fileSystem));
        EXPECT_EQ(volumes[i].m_nDriveType, expected[i].driveType);
        EXPECT_EQ(volumes[i].m_strLabel, QString::fromUtf8(expected[i].label));
        EXPECT_EQ(volumes[i].m_nSerial, qint32(expected[i].serial));
        EXPECT_EQ(volumes[i].m_bReadOnly, expected[i].readOnly);
    }
    EXPECT_EQ(volumes[3].m_strDevice, QStringLiteral("//server/share"));

    // The volume of a path: the longest mount point that is a prefix, component by component.
    EXPECT_EQ(table.VolumeOf(QStringLiteral("/media/u/MY STICK/a/b.txt"))->m_strMountPoint, QStringLiteral("/media/u/MY STICK"));
    EXPECT_EQ(table.VolumeOf(QStringLiteral("/media/u/MY STICKS/a"))->m_strMountPoint, QStringLiteral("/"));
    EXPECT_EQ(table.VolumeOf(QStringLiteral("/mnt/share"))->m_nDriveType, DRIVE_REMOTE);
    // Plumbing is no volume but still holds its paths, with an unknown drive type.
    const std::optional<CVolume> debug = table.VolumeOf(QStringLiteral("/sys/kernel/debug/x"));
    ASSERT_TRUE(debug.has_value());
    EXPECT_EQ(debug->m_strFileSystem, QStringLiteral("debugfs"));
    EXPECT_EQ(debug->m_nDriveType, DRIVE_UNKNOWN);

    const CLinuxVolumeTable missing(root + QStringLiteral("/no-such-mountinfo"));
    EXPECT_TRUE(missing.Volumes().empty());
    EXPECT_FALSE(missing.VolumeOf(QStringLiteral("/")).has_value());
}

TEST(VolumeTable, FixtureTextRoundTripsAndRejectsBadLines)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString cd = dir.path() + QStringLiteral("/cd");
    const QString text = QStringLiteral(
                             "# a comment\n"
                             "%1\tCD-ROM\t1234ABCD\tMY DISC\n"
                             "%2\t3\t0\t\text4\t5000\n"
                             "%3\tFloppy\t1\tx\n"
                             "relative\tFixed\t1\tx\n"
                             "%4\tFixed\tnot-hex\tx\n")
                             .arg(cd, dir.path() + QStringLiteral("/disk"), dir.path() + QStringLiteral("/bad"),
                                  dir.path() + QStringLiteral("/bad2"));
    QStringList errors;
    const auto entries = CFixtureVolumeTable::Parse(text, &errors);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(errors.size(), 3);
    EXPECT_EQ(entries[0].m_volume.m_nDriveType, DRIVE_CDROM);
    EXPECT_EQ(entries[0].m_volume.m_nSerial, qint32(0x1234ABCD));
    EXPECT_EQ(entries[0].m_volume.m_strLabel, QStringLiteral("MY DISC"));
    EXPECT_EQ(entries[0].m_volume.m_strFileSystem, QStringLiteral("iso9660"));
    EXPECT_FALSE(entries[0].m_volume.IsCaseSensitive());
    EXPECT_FALSE(entries[0].m_nFreeBytes.has_value());
    EXPECT_EQ(entries[1].m_volume.m_nDriveType, DRIVE_FIXED);
    EXPECT_EQ(entries[1].m_nFreeBytes, std::optional<quint64>(5000));

    const auto again = CFixtureVolumeTable::Parse(CFixtureVolumeTable::Format(entries));
    ASSERT_EQ(again.size(), entries.size());
    for (size_t i = 0; i < again.size(); ++i)
    {
        EXPECT_EQ(again[i].m_volume, entries[i].m_volume);
        EXPECT_EQ(again[i].m_nFreeBytes, entries[i].m_nFreeBytes);
    }

    // The fixture's free figure stands in for the real one; other volumes ask the system.
    QDir().mkpath(dir.path() + QStringLiteral("/disk"));
    QDir().mkpath(cd);
    const CFixtureVolumeTable table(entries);
    quint64 freeBytes = 0;
    EXPECT_EQ(table.FreeSpace(dir.path() + QStringLiteral("/disk"), freeBytes), 0);
    EXPECT_EQ(freeBytes, 5000u);
    EXPECT_EQ(table.FreeSpace(cd, freeBytes), 0);
    EXPECT_GT(freeBytes, 0u);
    EXPECT_NE(table.FreeSpace(dir.path() + QStringLiteral("/disk/missing"), freeBytes), 0);
    EXPECT_FALSE(table.VolumeOf(dir.path() + QStringLiteral("/elsewhere")).has_value());
    EXPECT_EQ(table.VolumeOf(cd + QStringLiteral("/a/b"))->m_strLabel, QStringLiteral("MY DISC"));
}

// The program prints this machine's table: at least the root filesystem, with a drive type.
TEST(VolumeTable, ThisMachineListsTheRootFilesystem)
{
    const CChildResult result = RunPrintVolumes({}, {});
    ASSERT_EQ(result.exitCode, 0);
    std::cout << result.output.toStdString();
    bool rootListed = false;
    for (const QString& line : result.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
    {
        const QStringList fields = line.split(QLatin1Char('\t'));
        ASSERT_EQ(fields.size(), 7) << line.toStdString();
        EXPECT_FALSE(fields[6].isEmpty()) << line.toStdString();
        EXPECT_NE(fields[2], QStringLiteral("proc"));
        EXPECT_NE(fields[2], QStringLiteral("sysfs"));
        if (fields[0] == QStringLiteral("/"))
            rootListed = DriveTypeFromName(fields[6]) > DRIVE_NO_ROOT_DIR;
    }
    EXPECT_TRUE(rootListed);

    const CLinuxVolumeTable table;
    const std::optional<CVolume> holder = table.VolumeOf(QDir::tempPath());
    ASSERT_TRUE(holder.has_value());
    quint64 freeBytes = 0;
    EXPECT_EQ(table.FreeSpace(QDir::tempPath(), freeBytes), 0);
    EXPECT_GT(freeBytes, 0u);
    EXPECT_GE(table.IoBlockSize(QDir::tempPath()), 512);
}

// A child process sees the fixture named by the environment variable, read afresh each time:
// a medium unplugged and plugged in again under another mount point.
TEST(VolumeTable, ChildProcessFollowsTheFixtureFile)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fixture = dir.path() + QStringLiteral("/volumes.txt");
    const QString first = dir.path() + QStringLiteral("/cd1");
    const QString second = dir.path() + QStringLiteral("/cd2");
    QDir().mkpath(first + QStringLiteral("/music"));
    WriteText(first + QStringLiteral("/music/a.mp3"), "a");
    ASSERT_TRUE(CFixtureVolumeTable::WriteFile(fixture, {CFixtureVolumeTable::MakeEntry(first, DRIVE_CDROM, 0x1234ABCD, QStringLiteral("DISC"))}));

    CChildResult result = RunPrintVolumes({}, fixture);
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.output, QStringLiteral("%1\tfixture\tiso9660\tDISC\t1234ABCD\t5\tCD-ROM\n").arg(first));

    const QString catalogued = first + QStringLiteral("/music/a.mp3");
    result = RunPrintVolumes({QStringLiteral("--locate"), catalogued, QStringLiteral("1234ABCD"), QStringLiteral("DISC")}, fixture);
    EXPECT_EQ(result.output, QStringLiteral("0\t%1\t\t\n").arg(catalogued));

    // Unplugged: the disk is asked for by its label.
    ASSERT_TRUE(CFixtureVolumeTable::WriteFile(fixture, {}));
    result = RunPrintVolumes({QStringLiteral("--locate"), catalogued, QStringLiteral("1234ABCD"), QStringLiteral("DISC")}, fixture);
    EXPECT_EQ(result.output, QStringLiteral("34\t%1\tDisk not found\tPlease insert disk :  DISC\n").arg(catalogued));

    // Back under another mount point.
    ASSERT_TRUE(QDir().rename(first, second));
    ASSERT_TRUE(CFixtureVolumeTable::WriteFile(fixture, {CFixtureVolumeTable::MakeEntry(second, DRIVE_CDROM, 0x1234ABCD, QStringLiteral("DISC"))}));
    result = RunPrintVolumes({QStringLiteral("--locate"), catalogued, QStringLiteral("1234ABCD"), QStringLiteral("DISC")}, fixture);
    EXPECT_EQ(result.output, QStringLiteral("0\t%1/music/a.mp3\t\t\n").arg(second));
}
