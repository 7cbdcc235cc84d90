#pragma once

#include <QString>

#include <concepts>

// The short texts that lists and messages show for sizes, attributes and result codes.

// "0 KB", "%d KB" (up to 99 MB, always rounded up by one), "%d MB" (up to 2 GB), "%.02f GB".
QString FormatFileSize(double size);
template <std::integral T>
QString FormatFileSize(T size)
{
    return FormatFileSize(double(size));
}

// The attribute letters of a file in their fixed order R A S H S D E N T P C O (the system bit
// gives "S" twice); empty for no bits.
QString AttributeLetters(unsigned attributes);

// A readable text for a result code of the file operations (SystemErrorCodes.h). With flatten,
// line breaks become two blanks so that the text fits one line.
QString SystemErrorText(int code, bool flatten = false);
