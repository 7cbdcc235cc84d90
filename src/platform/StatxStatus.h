#pragma once

#include "platform/FileSystem.h"

#include <sys/stat.h>

// Inside the platform layer: the status fields and attribute bits a statx answer gives, so that a
// path lookup and a lookup relative to an open folder describe a file alike. extraBits are
// attributes read another way (FAT's); hiddenName is a name that begins with a dot.
void FillStatusFromStatx(const struct statx& info, bool hiddenName, unsigned extraBits, CFileStatus& status);
