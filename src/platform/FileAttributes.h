#pragma once

// File attribute bits as catalogues store them (through their letters): the values of the
// system the catalogue format comes from, filled from what Linux knows about a file.
namespace FileAttribute
{
constexpr unsigned ReadOnly = 0x1;     // no write permission bit, or FAT's read-only bit
constexpr unsigned Hidden = 0x2;       // a name beginning with ".", or FAT's hidden bit
constexpr unsigned System = 0x4;       // FAT's system bit
constexpr unsigned Directory = 0x10;
constexpr unsigned Archive = 0x20;     // FAT's archive bit
constexpr unsigned Normal = 0x80;      // a file for which no other bit applies
constexpr unsigned Temporary = 0x100;  // never set on Linux
constexpr unsigned Sparse = 0x200;     // fewer blocks allocated than the size needs
constexpr unsigned Compressed = 0x800; // the filesystem compresses it
constexpr unsigned Offline = 0x1000;   // never set on Linux
constexpr unsigned Encrypted = 0x4000; // the filesystem encrypts it
} // namespace FileAttribute
