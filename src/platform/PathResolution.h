#pragma once

#include <QString>

// An absolute, clean form of path with the symbolic links of its longest existing prefix
// resolved, so that the volume holding it can be found by mount-point prefix even when the path
// names something that does not exist yet.
QString ResolvePathThroughLinks(const QString& path);
