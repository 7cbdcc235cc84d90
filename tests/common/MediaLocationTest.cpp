#include "FileTestFolder.h"

#include "common/MediaLocation.h"
#include "common/ScriptedInteraction.h"
#include "platform/SystemErrorCodes.h"

namespace
{
class MediaLocation : public FileTestFolder
{
protected:
    struct CResult
    {
        int code;
        QString path;
        QString problem;
        QString solution;
    };

    CResult Locate(const QString& path, quint32 serial, const QString& label, int driveType = 0, bool multiLine = false)
    {
        CResult result{0, path, QStringLiteral("untouched"), QStringLiteral("untouched")};
        result.code = LocateMedia(m_volumes, result.path, qint32(serial), label, driveType, &result.problem,
                                  &result.solution, multiLine);
        return result;
    }
};
} // namespace

TEST_F(MediaLocation, SerialZeroScansOnWhileTheFileIsMissing)
{
    m_volumes.SetEntries({
        CFixtureVolumeTable::MakeEntry(Path("fixedA"), DRIVE_FIXED, 0x1111, QStringLiteral("A")),
        CFixtureVolumeTable::MakeEntry(Path("fixedB"), DRIVE_FIXED, 0x2222, QStringLiteral("B")),
        CFixtureVolumeTable::MakeEntry(Path("usb"), DRIVE_REMOVABLE, 0x3333, QStringLiteral("U")),
        CFixtureVolumeTable::MakeEntry(Path("cd"), DRIVE_CDROM, 0x4444, QStringLiteral("C")),
    });
    Write(Path("fixedA/a.txt"), "a");
    Write(Path("fixedB/docs/b.txt"), "b");
    Write(Path("usb/photos/c.jpg"), "c");
    Write(Path("cd/music/d.mp3"), "d");

    // Found on the volume that holds it, whichever type comes first in the walk; the path stays.
    for (const QString& path : {Path("fixedB/docs/b.txt"), Path("usb/photos/c.jpg"), Path("cd/music/d.mp3"), Path("fixedA")})
    {
        const CResult r = Locate(path, 0, QStringLiteral("any"));
        EXPECT_EQ(r.code, 0) << path.toStdString();
        EXPECT_EQ(r.path, path);
        EXPECT_EQ(r.problem, QStringLiteral("untouched"));
    }
    // Missing everywhere: no disk answers.
    const CResult missing = Locate(Path("fixedB/docs/gone.txt"), 0, QStringLiteral("B"));
    EXPECT_EQ(missing.code, 34);
    EXPECT_EQ(missing.problem, QStringLiteral("Disk not found"));
    EXPECT_EQ(missing.solution, QStringLiteral("Please insert disk :  B"));

    // A recorded drive type limits the walk to that type.
    EXPECT_EQ(Locate(Path("usb/photos/c.jpg"), 0, QStringLiteral("U"), DRIVE_CDROM).code, 34);
    EXPECT_EQ(Locate(Path("usb/photos/c.jpg"), 0, QStringLiteral("U"), DRIVE_REMOVABLE).code, 0);
}

TEST_F(MediaLocation, ASerialStopsAtTheFirstVolumeThatHasIt)
{
    // Two copies of one disc; the file is only on the second.
    m_volumes.SetEntries({
        CFixtureVolumeTable::MakeEntry(Path("fixed"), DRIVE_FIXED, 0x1111, QStringLiteral("F")),
        CFixtureVolumeTable::MakeEntry(Path("cdA"), DRIVE_CDROM, 0x1234ABCD, QStringLiteral("DISC")),
        CFixtureVolumeTable::MakeEntry(Path("cdB"), DRIVE_CDROM, 0x1234ABCD, QStringLiteral("DISC")),
    });
    Write(Path("cdA/other.txt"), "x");
    Write(Path("cdB/music/a.mp3"), "a");
    Write(Path("fixed/music/a.mp3"), "not the disc");

    CResult r = Locate(Path("old/music/a.mp3"), 0x1234ABCD, QStringLiteral("DISC   "));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.path, Path("cdA/music/a.mp3"));
    EXPECT_EQ(r.problem, QStringLiteral("File not found"));
    EXPECT_EQ(r.solution, QStringLiteral("The file was not found on volume/label:  DISC.  (%1)").arg(Path("cdA/music/a.mp3")));

    r = Locate(Path("old/music/a.mp3"), 0x1234ABCD, QString(), 0, true);
    EXPECT_EQ(r.solution, QStringLiteral("The file was not found on volume/label:  <No Label>.\r\n(%1)").arg(Path("cdA/music/a.mp3")));

    // The volume that holds the path answers before an earlier one with the same serial.
    r = Locate(Path("cdB/music/a.mp3"), 0x1234ABCD, QStringLiteral("DISC"));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.path, Path("cdB/music/a.mp3"));

    // The disc is asked for by label when no volume has its serial.
    r = Locate(Path("old/music/a.mp3"), 0x0BADF00D, QStringLiteral("BACKUP "));
    EXPECT_EQ(r.code, 34);
    EXPECT_EQ(r.path, Path("old/music/a.mp3"));
    EXPECT_EQ(r.solution, QStringLiteral("Please insert disk :  BACKUP"));
    // Without a label, by where it was mounted: here the first folder of the path that is gone.
    r = Locate(Path("old/music/a.mp3"), 0x0BADF00D, QStringLiteral("   "));
    EXPECT_EQ(r.solution, QStringLiteral("The required disk has no volume/label name.  Please insert the required disk.  "
                                         "(This disk was %1 when the catalogue was created.)").arg(Path("old")));
    r = Locate(Path("old/music/a.mp3"), 0x0BADF00D, QString(), 0, true);
    EXPECT_EQ(r.solution, QStringLiteral("The required disk has no volume/label name.\r\nPlease insert the required disk.\r\n"
                                         "(This disk was %1 when the catalogue was created.)").arg(Path("old")));
}

TEST_F(MediaLocation, AMediumFoundUnderANewMountPoint)
{
    m_volumes.SetEntries({
        CFixtureVolumeTable::MakeEntry(Path("fixed"), DRIVE_FIXED, 0x1111, QStringLiteral("F")),
        CFixtureVolumeTable::MakeEntry(Path("media/u/STICK2"), DRIVE_REMOVABLE, 0x0BADF00D, QStringLiteral("STICK")),
        CFixtureVolumeTable::MakeEntry(Path("mnt/usb"), DRIVE_REMOVABLE, 0x5EED, QString()),
    });
    Write(Path("media/u/STICK2/photos/2020/a.jpg"), "a");
    Write(Path("media/u/STICK2/photos/b.jpg"), "b");
    // An empty folder a disk used to be mounted on stays behind.
    QDir().mkpath(Path("mnt/old"));
    QDir().mkpath(Path("run/u"));
    Write(Path("mnt/usb/docs/c.txt"), "c");

    const struct
    {
        QString catalogued;
        quint32 serial;
        QString label;
        int code;
        QString located;
    } cases[] = {
        // The old mount folder is gone (the desktop removes it on unplugging).
        {Path("media/u/STICK/photos/2020/a.jpg"), 0x0BADF00D, QStringLiteral("STICK"), 0, Path("media/u/STICK2/photos/2020/a.jpg")},
        {Path("media/u/STICK"), 0x0BADF00D, QStringLiteral("STICK"), 0, Path("media/u/STICK2")},
        {Path("media/u/STICK/photos"), 0x0BADF00D, QString(), 0, Path("media/u/STICK2/photos")},
        {Path("media/u/STICK/photos/gone.jpg"), 0x0BADF00D, QStringLiteral("STICK"), 2, Path("media/u/STICK2/photos/gone.jpg")},
        // The old mount folder stayed behind, empty.
        {Path("mnt/old/docs/c.txt"), 0x5EED, QString(), 0, Path("mnt/usb/docs/c.txt")},
        {Path("mnt/old"), 0x5EED, QString(), 0, Path("mnt/usb")},
        {Path("mnt/old/docs/gone.txt"), 0x5EED, QString(), 2, Path("mnt/usb/docs/gone.txt")},
        // The folder that held the mount folder is empty now: the folder named after the label
        // was the mount point.
        {Path("run/u/STICK/photos/gone.jpg"), 0x0BADF00D, QStringLiteral("STICK"), 2, Path("media/u/STICK2/photos/gone.jpg")},
        {Path("run/u/STICK/photos/2020/a.jpg"), 0x0BADF00D, QString(), 0, Path("media/u/STICK2/photos/2020/a.jpg")},
        // Already in place.
        {Path("media/u/STICK2/photos/b.jpg"), 0x0BADF00D, QStringLiteral("STICK"), 0, Path("media/u/STICK2/photos/b.jpg")},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.catalogued.toStdString());
        const CResult r = Locate(c.catalogued, c.serial, c.label);
        EXPECT_EQ(r.code, c.code);
        EXPECT_EQ(r.path, c.located);
    }
}

TEST_F(MediaLocation, NetworkAndServerPathsAreReadyAtOnceAndOddPathsAreMissingDisks)
{
    m_volumes.SetEntries({CFixtureVolumeTable::MakeEntry(Path("share"), DRIVE_REMOTE, 0, QString())});
    QDir().mkpath(Path("share"));
    for (const QString& path : {Path("share/not/there.txt"), QStringLiteral("//server/share/x.txt"),
                                QStringLiteral("\\\\server\\share\\x.txt")})
    {
        const CResult r = Locate(path, 0x1234, QStringLiteral("L"));
        EXPECT_EQ(r.code, 0) << path.toStdString();
        EXPECT_EQ(r.path, path);
    }
    for (const QString& path : {QString(), QStringLiteral("x"), QStringLiteral("relative/path.txt")})
    {
        const CResult r = Locate(path, 0, QString());
        EXPECT_EQ(r.code, 34) << path.toStdString();
        EXPECT_EQ(r.problem, QStringLiteral("Disk not found"));
    }
}

TEST_F(MediaLocation, ThePromptAsksForTheDiskUntilItIsThere)
{
    Write(Path("stick/a.txt"), "a");
    CScriptedInteraction ui;
    int asked = 0;
    ui.SetResponder([&](const CScriptedInteraction::Message& m) -> std::optional<MsgAnswer> {
        // The person plugs the stick in when asked the second time.
        if (++asked == 2)
            m_volumes.SetEntries({CFixtureVolumeTable::MakeEntry(Path("stick"), DRIVE_REMOVABLE, 0xABCD, QStringLiteral("STICK"))});
        return m.buttons == MsgButtons::RetryCancel ? MsgAnswer::Retry : MsgAnswer::Cancel;
    });
    QString path = Path("stick/a.txt");
    EXPECT_EQ(LocateMediaWithPrompt(ui, path, qint32(0xABCD), QStringLiteral("STICK"), 0), 0);
    EXPECT_EQ(path, Path("stick/a.txt"));
    const auto messages = ui.Messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].caption, QStringLiteral("Disk not found"));
    EXPECT_EQ(messages[0].text, QStringLiteral("Please insert disk :  STICK"));
    EXPECT_EQ(messages[0].icon, MsgIcon::Warning);

    CScriptedInteraction cancelling;
    cancelling.QueueAnswer(MsgAnswer::Cancel);
    QString missing = Path("other/b.txt");
    EXPECT_EQ(LocateMediaWithPrompt(cancelling, missing, 0x7777, QStringLiteral("OTHER"), 0), 34);
    EXPECT_EQ(missing, Path("other/b.txt"));
    EXPECT_EQ(cancelling.UnexpectedMessages(), 0);
}
