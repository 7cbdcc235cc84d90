#pragma once

#include <QString>

// A path as text, with the separator it is written with: "/" for the native paths of this
// machine, "\" for the relative-path texts that catalogues store (so that a database means the
// same on every machine). FilePath only reads the text; it never touches the file system.
//
// A final component that contains a "." is taken to be a file: "/a/b/file.txt" has three
// components ("", "a", "b"), and so has "/a/b". Only the last component's dots count, so a folder
// such as "/a/v1.2/b" is a folder all the way.
class FilePath final
{
public:
    static constexpr QChar NativeSeparator = QLatin1Char('/');
    static constexpr QChar RelativeSeparator = QLatin1Char('\\');

    FilePath() = default;
    explicit FilePath(QString text, QChar separator = NativeSeparator)
        : m_strText(std::move(text)), m_separator(separator)
    {
    }
    // A relative-path text as catalogues store it ("photos\2020").
    static FilePath Relative(QString text) { return FilePath(std::move(text), RelativeSeparator); }

    const QString& Text() const { return m_strText; }
    QChar Separator() const { return m_separator; }
    bool IsEmpty() const { return m_strText.isEmpty(); }

    // Shapes. A drive root is "C:" or "C:\" (and "/" for native paths); a UNC path starts with
    // two separators; a UNC server has one component ("\\server"), a UNC share two
    // ("\\server\share").
    bool IsDriveRoot() const;
    bool IsUncPath() const;
    bool IsUncServer() const;
    bool IsUncShare() const;

    int ComponentCount() const;
    // Component i: the text between the i-th and the (i+1)-th separator ("" for the root of a
    // native path, "C:" for a drive, "\\server" for a UNC path); empty when there is no such one.
    QString Component(int i) const;

    // "/" for a native absolute path, "C:\" for a drive path, "\\server\share\" for a UNC path
    // with a share; otherwise empty.
    QString Root() const;
    // The text before the last separator once a trailing separator is removed ("/" for "/a").
    QString Parent() const;
    // The folder a path names or holds: the text itself (without trailing separators) when its
    // last component has no ".", otherwise the text before the last separator.
    QString FolderPart() const;
    // The text after the last separator.
    QString FileName() const;
    // The file name without its extension.
    QString Title() const;
    // The text after the last "." of the last component, right-trimmed; empty without one.
    QString Extension() const;
    bool HasNoExtension() const;

    FilePath& AddTrailingSeparator();
    // Removes every trailing separator (the native root "/" stays "/").
    FilePath& StripTrailingSeparators();

    // this + separator + name, with exactly one separator between them.
    FilePath Appended(const QString& name) const;

private:
    // Where counting separators starts: after the two leading ones of a UNC path.
    int CountStart() const;
    int LastSeparator() const;
    QString LastComponent() const;

    QString m_strText;
    QChar m_separator = NativeSeparator;
};

// The native path of a catalogued file: the catalogue's location (native), its relative path
// (catalogue text, folders separated by "\", empty for the location itself) and the file name
// (empty for the folder itself). Names are held as NativeName maps them (platform/NativeName.h):
// a backslash inside a name is never a "\" in the text, so every "\" of a relative path is a
// separator, and the platform layer turns the joined text back into the name's exact bytes.
QString CatalogueFilePath(const QString& location, const QString& relativePath, const QString& fileName = {});

// A native path below a location as a relative-path text ("a/b" -> "a\b"), without leading and
// trailing separators; empty for the location itself.
QString RelativePathText(const QString& nativeRelativePath);
