#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// How a Linux name, which is any run of bytes but "/" and NUL, is held as text: in the catalogue's
// columns, in the program's paths, on screen. This is the one place that turns a path's text into
// the bytes the kernel is given and back; everything that touches a file goes through it.
//
// Bytes that form valid UTF-8 are their characters, with three exceptions that are each written
// byte by byte as one character of the private-use block U+F700..U+F7FF:
//   - a byte that is not part of valid UTF-8 (a Latin-1 "caf\xE9" from an old medium): the byte
//     0xHH becomes U+F7HH;
//   - the backslash 0x5C, which relative-path texts use between folders: U+F75C;
//   - the bytes of a character that already lies in U+F700..U+F7FF (EF 9C 80 .. EF 9F BF), so that
//     such a name cannot be mistaken for an escaped one: each of its three bytes 0xHH becomes U+F7HH.
// Back to bytes, U+F780..U+F7FF are the bytes 0x80..0xFF and U+F75C the backslash; every other
// character is its UTF-8. Bytes -> text -> bytes is exact for every name; text that came from bytes
// comes back unchanged. A literal "\" in a text (a path typed by a person) stays a backslash byte.
namespace NativeName
{
// The first character of the private-use block that escapes bytes.
inline constexpr char16_t EscapeBase = 0xF700;

QString FromBytes(QByteArrayView bytes);
QByteArray ToBytes(QStringView text);
} // namespace NativeName
