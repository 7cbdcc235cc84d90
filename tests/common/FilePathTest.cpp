#include "common/FilePath.h"

#include <gtest/gtest.h>

TEST(FilePath, ShapesAndDerivedValues)
{
    const QChar bs = FilePath::RelativeSeparator;
    const QChar sl = FilePath::NativeSeparator;
    const struct
    {
        const char* text;
        QChar separator;
        int components;
        const char* root;
        const char* parent;
        const char* folder;
        const char* fileName;
        const char* title;
        const char* extension;
    } cases[] = {
        {"C:\\a\\b\\file.txt", bs, 3, "C:\\", "C:\\a\\b", "C:\\a\\b", "file.txt", "file", "txt"},
        {"C:\\a\\b", bs, 3, "C:\\", "C:\\a", "C:\\a\\b", "b", "b", ""},
        {"C:\\", bs, 1, "C:\\", "", "C:", "", "", ""},
        {"C:", bs, 1, "C:\\", "", "C:", "C:", "C:", ""},
        {"\\\\server\\share\\dir\\f.txt", bs, 3, "\\\\server\\share\\", "\\\\server\\share\\dir", "\\\\server\\share\\dir", "f.txt", "f", "txt"},
        {"\\file.txt", bs, 1, "", "", "", "\\file.txt", "\\file", "txt"},
        {"photos\\2020", bs, 2, "", "photos", "photos\\2020", "2020", "2020", ""},
        {"/home/u/photo.2020/a.jpg", sl, 4, "/", "/home/u/photo.2020", "/home/u/photo.2020", "a.jpg", "a", "jpg"},
        // A final component with a dot is taken to be a file.
        {"/home/u/v1.2", sl, 3, "/", "/home/u", "/home/u", "v1.2", "v1", "2"},
        {"/home/u/", sl, 3, "/", "/home", "/home/u", "", "", ""},
        {"/a", sl, 2, "/", "/", "/a", "a", "a", ""},
        {"/file.txt", sl, 1, "/", "/", "/", "file.txt", "file", "txt"},
        {"/", sl, 1, "/", "", "/", "", "", ""},
        {"archive.tar.gz  ", sl, 0, "", "", "", "archive.tar.gz  ", "archive.tar", "gz"},
        {"", sl, 0, "", "", "", "", "", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.text);
        const FilePath path(QString::fromLatin1(c.text), c.separator);
        EXPECT_EQ(path.ComponentCount(), c.components);
        EXPECT_EQ(path.Root(), QString::fromLatin1(c.root));
        EXPECT_EQ(path.Parent(), QString::fromLatin1(c.parent));
        EXPECT_EQ(path.FolderPart(), QString::fromLatin1(c.folder));
        EXPECT_EQ(path.FileName(), QString::fromLatin1(c.fileName));
        EXPECT_EQ(path.Title(), QString::fromLatin1(c.title));
        EXPECT_EQ(path.Extension(), QString::fromLatin1(c.extension));
        EXPECT_EQ(path.HasNoExtension(), QString::fromLatin1(c.extension).isEmpty() && !QString::fromLatin1(c.text).section(c.separator, -1).contains(QLatin1Char('.')));
    }
}

TEST(FilePath, DriveRootsServersSharesAndComponents)
{
    const QChar bs = FilePath::RelativeSeparator;
    for (const char* root : {"C:", "c:\\", "z:"})
        EXPECT_TRUE(FilePath(QString::fromLatin1(root), bs).IsDriveRoot()) << root;
    for (const char* other : {"C:\\a", "1:", "C", "CC:", ""})
        EXPECT_FALSE(FilePath(QString::fromLatin1(other), bs).IsDriveRoot()) << other;
    EXPECT_TRUE(FilePath(QStringLiteral("/")).IsDriveRoot());
    EXPECT_FALSE(FilePath(QStringLiteral("/a")).IsDriveRoot());

    const FilePath server(QStringLiteral("\\\\server"), bs);
    const FilePath dottedServer(QStringLiteral("\\\\srv.example.com\\"), bs);
    const FilePath share(QStringLiteral("\\\\server\\share"), bs);
    EXPECT_TRUE(server.IsUncPath());
    EXPECT_TRUE(server.IsUncServer());
    EXPECT_TRUE(dottedServer.IsUncServer());
    EXPECT_TRUE(share.IsUncShare());
    EXPECT_FALSE(share.IsUncServer());
    EXPECT_EQ(share.Component(0), QStringLiteral("\\\\server"));
    EXPECT_EQ(share.Component(1), QStringLiteral("share"));
    EXPECT_EQ(server.Root(), QString());
    // A relative native path is no server path.
    EXPECT_FALSE(FilePath(QStringLiteral("a/b")).IsUncPath());
    EXPECT_TRUE(FilePath(QStringLiteral("//server/share/x")).IsUncPath());

    const FilePath native(QStringLiteral("/media/usb/photos/a.jpg"));
    EXPECT_EQ(native.Component(0), QString());
    EXPECT_EQ(native.Component(1), QStringLiteral("media"));
    EXPECT_EQ(native.Component(3), QStringLiteral("photos"));
    EXPECT_EQ(native.Component(9), QString());
}

TEST(FilePath, SeparatorsAndJoining)
{
    EXPECT_EQ(FilePath(QStringLiteral("/a")).AddTrailingSeparator().Text(), QStringLiteral("/a/"));
    EXPECT_EQ(FilePath(QStringLiteral("/a/")).AddTrailingSeparator().Text(), QStringLiteral("/a/"));
    EXPECT_EQ(FilePath(QStringLiteral("/a///")).StripTrailingSeparators().Text(), QStringLiteral("/a"));
    EXPECT_EQ(FilePath(QStringLiteral("///")).StripTrailingSeparators().Text(), QStringLiteral("/"));
    EXPECT_EQ(FilePath::Relative(QStringLiteral("a\\b\\\\")).StripTrailingSeparators().Text(), QStringLiteral("a\\b"));
    EXPECT_EQ(FilePath::Relative(QStringLiteral("a")).AddTrailingSeparator().Text(), QStringLiteral("a\\"));
    EXPECT_EQ(FilePath(QStringLiteral("/a/")).Appended(QStringLiteral("/b")).Text(), QStringLiteral("/a/b"));

    EXPECT_EQ(CatalogueFilePath(QStringLiteral("/media/u/USB"), QStringLiteral("photos\\2020"), QStringLiteral("a.jpg")),
              QStringLiteral("/media/u/USB/photos/2020/a.jpg"));
    EXPECT_EQ(CatalogueFilePath(QStringLiteral("/media/u/USB/"), QString(), QStringLiteral("a.jpg")),
              QStringLiteral("/media/u/USB/a.jpg"));
    EXPECT_EQ(CatalogueFilePath(QStringLiteral("/"), QStringLiteral("x\\"), QString()), QStringLiteral("/x"));
    EXPECT_EQ(CatalogueFilePath(QStringLiteral("/data"), QString(), QString()), QStringLiteral("/data"));
    EXPECT_EQ(CatalogueFilePath(QStringLiteral("/data"), QStringLiteral("O'Brien"), QStringLiteral("it's \"x\".txt")),
              QStringLiteral("/data/O'Brien/it's \"x\".txt"));
    EXPECT_EQ(RelativePathText(QStringLiteral("/a/b/")), QStringLiteral("a\\b"));
    EXPECT_EQ(RelativePathText(QString()), QString());
}
