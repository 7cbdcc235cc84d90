#include "common/FileFormat.h"

#include "platform/FileAttributes.h"
#include "platform/SystemErrorCodes.h"


QString FormatFileSize(double size)
{
    if (size > 2147483647.0)
        return QString::asprintf("%.02f GB", size / 1073741824.0);
    if (size > 103809024.0)
        return QString::asprintf("%d MB", int(size / 1048576.0));
    if (size > 0.0)
        return QString::asprintf("%d KB", int(size / 1024.0 + 1.0));
    return QStringLiteral("0 KB");
}

QString AttributeLetters(unsigned attributes)
{
    using namespace FileAttribute;
    static const struct
    {
        unsigned bit;
        char letter;
    } table[] = {{ReadOnly, 'R'},  {Archive, 'A'},   {System, 'S'},    {Hidden, 'H'},
                 {System, 'S'},    {Directory, 'D'}, {Encrypted, 'E'}, {Normal, 'N'},
                 {Temporary, 'T'}, {Sparse, 'P'},    {Compressed, 'C'}, {Offline, 'O'}};
    QString letters;
    for (const auto& row : table)
        if (attributes & row.bit)
            letters += QLatin1Char(row.letter);
    return letters;
}

QString SystemErrorText(int code, bool flatten)
{
    using namespace SystemError;
    QString text;
    switch (code)
    {
    case Success: text = QStringLiteral("The operation completed successfully."); break;
    case FileNotFound: text = QStringLiteral("The system cannot find the file specified."); break;
    case PathNotFound: text = QStringLiteral("The system cannot find the path specified."); break;
    case TooManyOpenFiles: text = QStringLiteral("The system cannot open the file."); break;
    case AccessDenied: text = QStringLiteral("Access is denied."); break;
    case NotEnoughMemory:
        text = QStringLiteral("Not enough memory resources are available to process this command.");
        break;
    case NotSameDevice:
        text = QStringLiteral("The system cannot move the file to a different disk drive.");
        break;
    case NotReady: text = QStringLiteral("The device is not ready."); break;
    case SharingViolation:
        text = QStringLiteral("The process cannot access the file because it is being used by another process.");
        break;
    case WrongDisk: text = QStringLiteral("The wrong disk is in the drive."); break;
    case BadNetPath: text = QStringLiteral("The network path was not found."); break;
    case NetNameDeleted: text = QStringLiteral("The specified network name is no longer available."); break;
    case FileExists: text = QStringLiteral("The file exists."); break;
    case InvalidParameter: text = QStringLiteral("The parameter is incorrect."); break;
    case DiskFull: text = QStringLiteral("There is not enough space on the disk."); break;
    case InvalidName:
        text = QStringLiteral("The filename, directory name, or volume label syntax is incorrect.");
        break;
    case DirNotEmpty: text = QStringLiteral("The directory is not empty."); break;
    case BadPathName: text = QStringLiteral("The specified path is invalid."); break;
    case AlreadyExists: text = QStringLiteral("Cannot create a file when that file already exists."); break;
    case FilenameTooLong: text = QStringLiteral("The filename or extension is too long."); break;
    case FileTooLarge:
        text = QStringLiteral("The file size exceeds the limit allowed and cannot be saved.");
        break;
    case IoDevice:
        text = QStringLiteral("The request could not be performed because of an I/O device error.");
        break;
    case Cancelled: text = QStringLiteral("The operation was canceled by the user."); break;
    case CantResolveFilename:
        text = QStringLiteral("The name of the file cannot be resolved by the system.");
        break;
    default:
        text = ErrnoCodeDescription(code);
        if (text.isEmpty())
            text = code < 0 ? QStringLiteral("Unspecified error (%1).").arg(code)
                            : QStringLiteral("Unknown error (%1).").arg(code);
        break;
    }
    if (flatten)
    {
        text.replace(QStringLiteral("\r\n"), QStringLiteral("  "));
        text.replace(QLatin1Char('\n'), QStringLiteral("  "));
    }
    return text;
}
