#include "platform/SystemErrorCodes.h"

#include <cerrno>
#include <cstring>

int SystemErrorFromErrno(int e)
{
    using namespace SystemError;
    switch (e)
    {
    case 0: return Success;
    case ENOENT: return FileNotFound;
    case ENOTDIR: return PathNotFound;
    case EMFILE:
    case ENFILE: return TooManyOpenFiles;
    // A read-only medium refuses writes the way a protected folder does: the caller reacts alike.
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return AccessDenied;
    case ENOMEM: return NotEnoughMemory;
    case EXDEV: return NotSameDevice;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM: return NotReady;
    case EBUSY:
    case ETXTBSY: return SharingViolation;
    case EHOSTUNREACH:
    case EHOSTDOWN:
    case ENETUNREACH:
    case ENETDOWN: return BadNetPath;
    case ENOTCONN:
    case ECONNRESET:
    case ETIMEDOUT:
    case ESTALE: return NetNameDeleted;
    case EINVAL: return InvalidParameter;
    case ENOSPC:
    case EDQUOT: return DiskFull;
    case EILSEQ: return InvalidName;
    case ENOTEMPTY: return DirNotEmpty;
    case EEXIST: return AlreadyExists;
    case ENAMETOOLONG: return FilenameTooLong;
    case EFBIG: return FileTooLarge;
    case EIO: return IoDevice;
    case ECANCELED: return Cancelled;
    case ELOOP: return CantResolveFilename;
    default: return ErrnoCodeBase + e;
    }
}

QString ErrnoCodeDescription(int code)
{
    if (code <= SystemError::ErrnoCodeBase || code >= SystemError::ErrnoCodeBase + 0x10000)
        return {};
    char buffer[256] = {};
    // The GNU strerror_r returns its text, which may or may not be the buffer.
    const char* text = strerror_r(code - SystemError::ErrnoCodeBase, buffer, sizeof buffer);
    return QString::fromLocal8Bit(text);
}
