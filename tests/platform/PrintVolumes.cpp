// Prints the volume table the programs see (this machine's, or the fixture named by
// QUARRANE_VOLUME_TABLE), one volume a line:
//   mount point, device, filesystem, label, serial, drive type number, drive type name
// With "--locate PATH SERIAL LABEL" it prints the result of locating that catalogued path.
#include "common/MediaLocation.h"
#include "platform/VolumeTable.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QStringLiteral("--locate"))
    {
        QString path = args[2];
        QString problem;
        QString solution;
        const int rc = LocateMedia(path, qint32(args[3].toUInt(nullptr, 16)), args[4], 0, &problem, &solution, false);
        out << rc << '\t' << path << '\t' << problem << '\t' << solution << '\n';
        return 0;
    }
    for (const CVolume& v : ProcessVolumeTable().Volumes())
        out << v.m_strMountPoint << '\t' << v.m_strDevice << '\t' << v.m_strFileSystem << '\t'
            << v.m_strLabel << '\t' << v.SerialText() << '\t' << v.m_nDriveType << '\t'
            << v.DriveTypeName() << '\n';
    return 0;
}
