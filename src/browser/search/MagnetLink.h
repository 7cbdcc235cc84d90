#pragma once

#include <QString>

#include <optional>

// Magnet links that name a file by its Tiger tree hash, as file-sharing programs copy them:
// magnet:?xt=urn:tree:tiger:<TTH>&xl=<size>&dn=<name>.
struct SMagnetLink
{
    QString strTth;    // upper case, 39 Base32 characters
    QString strName;   // decoded; empty when the link has no name
    qint64 nSize = -1; // -1 when the link has no size
};

// The link in text (blanks around it ignored). The hash parameter may stand anywhere among the
// parameters, in any case, also in the "urn:tree:tiger/1024:" form; nothing when there is no
// hash of a Tiger tree.
std::optional<SMagnetLink> ParseMagnetLink(const QString& text);

// A name made into words to search for: letters and digits kept, every run of other characters
// ends a word. One word a line, so that each is a term of its own: a name's dots, brackets and
// underscores never stop it from being found.
QString MagnetNameSearchText(const QString& name);

// The link of one file.
QString BuildMagnetLink(const QString& tth, qint64 size, const QString& name);

// What the clipboard commands say when the clipboard holds no link.
inline const QString kMagnetNotFoundText =
    QStringLiteral("Magnetic links can be copied to the clipboard in DC++ by\r\nright clicking on a file and "
                   "selecting \"Copy "
                   "magnetic link to clipboard\".");
inline const QString kMagnetNotFoundCaption = QStringLiteral("Magnetic link not found in the clipboard");
