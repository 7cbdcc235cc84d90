#pragma once

#include <QString>

// Result codes of the file operations. The numbers are those of the operating system the
// catalogue format was born on, so that codes kept in logs and compared by callers keep their
// meaning; errno values are mapped onto them where the meaning is the same. An errno without an
// equivalent is carried as ErrnoCodeBase + errno so that nothing is lost; SystemErrorText gives
// a readable text for every code these functions return.
namespace SystemError
{
constexpr int Success = 0;
constexpr int FileNotFound = 2;
constexpr int PathNotFound = 3;
constexpr int TooManyOpenFiles = 4;
constexpr int AccessDenied = 5;
constexpr int NotEnoughMemory = 8;
constexpr int NotSameDevice = 17;
constexpr int NotReady = 21;
constexpr int SharingViolation = 32;
constexpr int WrongDisk = 34;
constexpr int BadNetPath = 53;
constexpr int NetNameDeleted = 64;
constexpr int FileExists = 80;
constexpr int InvalidParameter = 87;
constexpr int DiskFull = 112;
constexpr int InvalidName = 123;
constexpr int DirNotEmpty = 145;
constexpr int BadPathName = 161;
constexpr int AlreadyExists = 183;
constexpr int FilenameTooLong = 206;
constexpr int FileTooLarge = 223;
constexpr int IoDevice = 1117;
constexpr int Cancelled = 1223;
constexpr int CantResolveFilename = 1921;
constexpr int ErrnoCodeBase = 0x20000000;
} // namespace SystemError

// The result code for an errno value (0 for 0).
int SystemErrorFromErrno(int errnoValue);

// The system's own description of an errno carried as ErrnoCodeBase + errno; empty for any other
// code.
QString ErrnoCodeDescription(int code);
