#include "common/FilePath.h"

namespace
{
bool IsAsciiLetter(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}
} // namespace

bool FilePath::IsDriveRoot() const
{
    if (m_separator == NativeSeparator && m_strText == QStringView(u"/"))
        return true;
    const qsizetype n = m_strText.size();
    if (n < 2 || n > 3 || m_strText[1] != QLatin1Char(':') || !IsAsciiLetter(m_strText[0]))
        return false;
    return n == 2 || m_strText[2] == m_separator;
}

bool FilePath::IsUncPath() const
{
    // Both leading characters must be separators: a relative native path such as "a/b" is no
    // server name.
    return m_strText.size() >= 2 && m_strText[0] == m_separator && m_strText[1] == m_separator;
}

bool FilePath::IsUncServer() const
{
    return IsUncPath() && ComponentCount() == 1;
}

bool FilePath::IsUncShare() const
{
    return IsUncPath() && ComponentCount() == 2;
}

int FilePath::CountStart() const
{
    return IsUncPath() && m_strText.size() >= 3 ? 2 : 0;
}

int FilePath::LastSeparator() const
{
    return int(m_strText.lastIndexOf(m_separator));
}

QString FilePath::LastComponent() const
{
    const int last = LastSeparator();
    return last < 0 ? m_strText : m_strText.mid(last + 1);
}

int FilePath::ComponentCount() const
{
    if (m_strText.isEmpty())
        return 0;
    const int start = CountStart();
    int separators = 0;
    int last = -1;
    for (int i = start; i < m_strText.size(); ++i)
        if (m_strText[i] == m_separator)
        {
            ++separators;
            last = i;
        }
    if (m_strText.endsWith(m_separator))
        return separators;
    // A UNC server name is a component even when it has dots in it.
    if (start == 2 && last < 0)
        return 1;
    return separators + (LastComponent().contains(QLatin1Char('.')) ? 0 : 1);
}

QString FilePath::Component(int i) const
{
    if (i < 0)
        return {};
    int begin = 0;
    int index = 0;
    for (int pos = CountStart(); pos <= m_strText.size(); ++pos)
    {
        if (pos == m_strText.size() || m_strText[pos] == m_separator)
        {
            if (index == i)
                return m_strText.mid(begin, pos - begin);
            ++index;
            begin = pos + 1;
        }
    }
    return {};
}

QString FilePath::Root() const
{
    if (m_strText.size() >= 2 && m_strText[1] == QLatin1Char(':') && IsAsciiLetter(m_strText[0]))
        return m_strText.left(2) + m_separator;
    if (IsUncPath())
    {
        if (ComponentCount() < 2)
            return {};
        return Component(0) + m_separator + Component(1) + m_separator;
    }
    if (m_separator == NativeSeparator && m_strText.startsWith(m_separator))
        return QString(m_separator);
    return {};
}

QString FilePath::Parent() const
{
    QString text = m_strText;
    if (text.size() > 1 && text.endsWith(m_separator))
        text.chop(1);
    const qsizetype last = text.lastIndexOf(m_separator);
    if (last < 0)
        return {};
    if (last == 0)
        return m_separator == NativeSeparator && text.size() > 1 ? QString(m_separator) : QString();
    return text.left(last);
}

QString FilePath::FolderPart() const
{
    if (!LastComponent().contains(QLatin1Char('.')))
        return FilePath(*this).StripTrailingSeparators().Text();
    const int last = LastSeparator();
    if (last < 0)
        return {};
    if (last == 0)
        return m_separator == NativeSeparator ? QString(m_separator) : QString();
    return m_strText.left(last);
}

QString FilePath::FileName() const
{
    const int last = LastSeparator();
    if (last < 0 || (last == 0 && m_separator != NativeSeparator))
        return m_strText;
    return m_strText.mid(last + 1);
}

QString FilePath::Title() const
{
    const QString name = FileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? name : name.left(dot);
}

QString FilePath::Extension() const
{
    const QString last = LastComponent();
    const qsizetype dot = last.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return {};
    QString extension = last.mid(dot + 1);
    while (!extension.isEmpty() && extension.back().isSpace())
        extension.chop(1);
    return extension;
}

bool FilePath::HasNoExtension() const
{
    return !LastComponent().contains(QLatin1Char('.'));
}

FilePath& FilePath::AddTrailingSeparator()
{
    if (!m_strText.isEmpty() && !m_strText.endsWith(m_separator))
        m_strText += m_separator;
    return *this;
}

FilePath& FilePath::StripTrailingSeparators()
{
    const bool wasAbsoluteNative = m_separator == NativeSeparator && m_strText.startsWith(m_separator);
    while (m_strText.endsWith(m_separator))
        m_strText.chop(1);
    if (m_strText.isEmpty() && wasAbsoluteNative)
        m_strText = QString(m_separator);
    return *this;
}

FilePath FilePath::Appended(const QString& name) const
{
    QString tail = name;
    while (tail.startsWith(m_separator))
        tail.remove(0, 1);
    if (m_strText.isEmpty())
        return FilePath(tail, m_separator);
    if (m_strText.endsWith(m_separator))
        return FilePath(m_strText + tail, m_separator);
    return FilePath(m_strText + m_separator + tail, m_separator);
}

QString CatalogueFilePath(const QString& location, const QString& relativePath, const QString& fileName)
{
    FilePath path = FilePath(location).StripTrailingSeparators();
    QString relative = relativePath;
    relative.replace(FilePath::RelativeSeparator, FilePath::NativeSeparator);
    relative = FilePath(relative).StripTrailingSeparators().Text();
    if (relative == QStringView(u"/"))
        relative.clear();
    if (!relative.isEmpty())
        path = path.Appended(relative);
    if (!fileName.isEmpty())
        path = path.Appended(fileName);
    return path.Text();
}

QString RelativePathText(const QString& nativeRelativePath)
{
    QString text = nativeRelativePath;
    text.replace(FilePath::NativeSeparator, FilePath::RelativeSeparator);
    while (text.startsWith(FilePath::RelativeSeparator))
        text.remove(0, 1);
    while (text.endsWith(FilePath::RelativeSeparator))
        text.chop(1);
    return text;
}
