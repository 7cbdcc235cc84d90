#include "browser/handlers/XmlDocument.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace
{
const QString kQuote = QStringLiteral("%22");
const QString kLess = QStringLiteral("%3C");

QString EscapeProperty(QString value)
{
    return value.replace(QLatin1Char('"'), kQuote);
}

// Element text ends at the next "<", so that is escaped there too.
QString EscapeText(QString value)
{
    return value.replace(QLatin1Char('"'), kQuote).replace(QLatin1Char('<'), kLess);
}

QString UnescapeProperty(QString value)
{
    return value.replace(kQuote, QStringLiteral("\""));
}

QString UnescapeText(QString value)
{
    return value.replace(kQuote, QStringLiteral("\"")).replace(kLess, QStringLiteral("<"));
}

// A character-by-character reader fed block by block. Tabs and line breaks are dropped before
// they reach any state, so a value never holds one.
class CXmlReader final
{
public:
    explicit CXmlReader(CXmlNode& root) : m_pCurrent(&root), m_root(root) {}

    void Feed(char c)
    {
        if (c == '\t' || c == '\n' || c == '\r')
            return;
        switch (m_state)
        {
        case State::Between:
            if (c == '<')
                OpenAngle();
            else if (m_pCurrent != &m_root)
                m_token += c;
            break;
        case State::TagStart:
            m_token.clear();
            if (c == '/')
            {
                // A closing tag right after text: the leaf's value is that text, blanks and all.
                if (!m_pendingText.isEmpty() && m_pCurrent->ChildCount() == 0)
                    m_pCurrent->SetValue(m_pendingText);
                m_pendingText.clear();
                m_state = State::CloseName;
            }
            else if (c == '?')
                m_state = State::TagName;
            else
            {
                m_token += c;
                m_state = State::TagName;
            }
            break;
        case State::TagName:
            if (c == ' ' || c == '>' || c == '/' || c == '?')
            {
                StartNode();
                m_state = State::InTag;
                if (c != ' ')
                    Feed(c);
            }
            else
                m_token += c;
            break;
        case State::InTag:
            if (c == '/' || c == '?')
                m_bClosedAtOnce = true;
            else if (c == '>')
                EndStartTag();
            else if (c != ' ')
            {
                m_name.clear();
                m_name += c;
                m_state = State::PropertyName;
            }
            break;
        case State::PropertyName:
            if (c == '=')
                m_state = State::AfterEquals;
            else if (c == '>' || c == '/' || c == ' ')
            {
                m_pOpen->SetProperty(Decode(m_name), QString());
                m_state = State::InTag;
                Feed(c);
            }
            else
                m_name += c;
            break;
        case State::AfterEquals:
            if (c == '"')
            {
                m_token.clear();
                m_state = State::Quoted;
            }
            else if (c == '>')
            {
                m_pOpen->SetProperty(Decode(m_name), QString());
                EndStartTag();
            }
            break;
        case State::Quoted:
            if (c == '"')
            {
                m_pOpen->SetProperty(Decode(m_name), UnescapeProperty(Decode(m_token)));
                m_state = State::InTag;
            }
            else
                m_token += c;
            break;
        case State::CloseName:
            if (c == '>')
            {
                if (m_pCurrent != &m_root)
                    m_pCurrent = m_pCurrent->Parent();
                m_token.clear();
                m_state = State::Between;
            }
            break;
        }
    }

private:
    enum class State
    {
        Between, // between tags, gathering an element's text
        TagStart,
        TagName,
        InTag,
        PropertyName,
        AfterEquals,
        Quoted,
        CloseName,
    };

    void OpenAngle()
    {
        // The text read since the start tag is the element's value, when no child came before.
        if (m_pCurrent != &m_root && m_pCurrent->ChildCount() == 0 && m_pCurrent->Value().isEmpty())
            m_pendingText = UnescapeText(Decode(m_token));
        else
            m_pendingText.clear();
        m_token.clear();
        m_state = State::TagStart;
    }

    void StartNode()
    {
        // A child follows the text: the blanks before it are the writer's indentation.
        if (!m_pendingText.isEmpty())
        {
            qsizetype end = m_pendingText.size();
            while (end > 0 && m_pendingText[end - 1] == QLatin1Char(' '))
                --end;
            m_pCurrent->SetValue(m_pendingText.left(end));
            m_pendingText.clear();
        }
        m_pOpen = m_pCurrent->AppendChild(std::make_unique<CXmlNode>(Decode(m_token)));
        m_token.clear();
        m_bClosedAtOnce = false;
    }

    void EndStartTag()
    {
        if (m_bClosedAtOnce)
        {
            if (m_pOpen->Parent() == &m_root && m_pOpen->Name() == QLatin1String("xml"))
            {
                const QString encoding = m_pOpen->Property(QStringLiteral("encoding")).toLower();
                m_bLatin1 = encoding == QLatin1String("iso-8859-1") || encoding == QLatin1String("latin1");
            }
        }
        else
            m_pCurrent = m_pOpen;
        m_token.clear();
        m_state = State::Between;
    }

    // Files written by this program are UTF-8; older ones say iso-8859-1 in their declaration.
    QString Decode(const QByteArray& bytes) const
    {
        return m_bLatin1 ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
    }

private:
    State m_state = State::Between;
    CXmlNode* m_pCurrent;
    CXmlNode* m_pOpen = nullptr;
    CXmlNode& m_root;
    QByteArray m_token;
    QByteArray m_name;
    QString m_pendingText;
    bool m_bClosedAtOnce = false;
    bool m_bLatin1 = false;
};

void WriteProperties(QByteArray& out, const CXmlNode& node)
{
    for (const auto& [name, value] : node.Properties())
        out += ' ' + name.toUtf8() + "=\"" + EscapeProperty(value).toUtf8() + '"';
}

void WriteNode(QByteArray& out, const CXmlNode& node, int level, bool topLevel)
{
    if (topLevel && node.Name() == QLatin1String("xml"))
    {
        out += "<?" + node.Name().toUtf8();
        WriteProperties(out, node);
        out += "?>\r\n";
        return;
    }
    const QByteArray indent(level * 4, ' ');
    out += indent + '<' + node.Name().toUtf8();
    WriteProperties(out, node);
    if (node.ChildCount() == 0)
    {
        if (node.Value().isEmpty())
            out += "/>\r\n";
        else
            out += '>' + EscapeText(node.Value()).toUtf8() + "</" + node.Name().toUtf8() + ">\r\n";
        return;
    }
    out += '>' + EscapeText(node.Value()).toUtf8() + "\r\n";
    for (int i = 0; i < node.ChildCount(); ++i)
        WriteNode(out, *node.Child(i), level + 1, false);
    out += indent + "</" + node.Name().toUtf8() + ">\r\n";
}
} // namespace

QString CXmlNode::Property(const QString& name) const
{
    for (const auto& [key, value] : m_properties)
        if (key == name)
            return value;
    return {};
}

bool CXmlNode::HasProperty(const QString& name) const
{
    return std::any_of(m_properties.begin(), m_properties.end(),
                       [&](const auto& property) { return property.first == name; });
}

void CXmlNode::SetProperty(const QString& name, const QString& value)
{
    for (auto& [key, old] : m_properties)
        if (key == name)
        {
            old = value;
            return;
        }
    m_properties.emplace_back(name, value);
}

CXmlNode* CXmlNode::FindChild(const QString& name) const
{
    for (const auto& child : m_children)
        if (child->Name() == name)
            return child.get();
    return nullptr;
}

CXmlNode* CXmlNode::AppendChild(std::unique_ptr<CXmlNode> child)
{
    return InsertChild(ChildCount(), std::move(child));
}

CXmlNode* CXmlNode::InsertChild(int at, std::unique_ptr<CXmlNode> child)
{
    child->m_pParent = this;
    at = std::clamp(at, 0, ChildCount());
    return m_children.insert(m_children.begin() + at, std::move(child))->get();
}

std::unique_ptr<CXmlNode> CXmlNode::TakeChild(int at)
{
    if (at < 0 || at >= ChildCount())
        return nullptr;
    std::unique_ptr<CXmlNode> child = std::move(m_children[static_cast<size_t>(at)]);
    m_children.erase(m_children.begin() + at);
    child->m_pParent = nullptr;
    return child;
}

void CXmlNode::SwapChildren(int a, int b)
{
    if (a >= 0 && b >= 0 && a < ChildCount() && b < ChildCount())
        std::swap(m_children[static_cast<size_t>(a)], m_children[static_cast<size_t>(b)]);
}

int CXmlNode::IndexOf(const CXmlNode* child) const
{
    for (int i = 0; i < ChildCount(); ++i)
        if (m_children[static_cast<size_t>(i)].get() == child)
            return i;
    return -1;
}

CXmlNode* CXmlDocument::Declaration() const
{
    if (m_root.ChildCount() > 0 && m_root.Child(0)->Name() == QLatin1String("xml"))
        return m_root.Child(0);
    return nullptr;
}

void CXmlDocument::Clear()
{
    while (m_root.ChildCount() > 0)
        m_root.TakeChild(0);
}

bool CXmlDocument::Read(QIODevice& device)
{
    Clear();
    CXmlReader reader(m_root);
    char block[4096];
    for (;;)
    {
        const qint64 got = device.read(block, sizeof block);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        for (qint64 i = 0; i < got; ++i)
            reader.Feed(block[i]);
    }
}

bool CXmlDocument::Load(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    return Read(file);
}

bool CXmlDocument::Write(QIODevice& device) const
{
    const QByteArray bytes = ToBytes();
    return device.write(bytes) == bytes.size();
}

bool CXmlDocument::Save(const QString& path) const
{
    // Written beside and swapped in, so that a full disk never leaves half a file of handlers.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    return Write(file) && file.commit();
}

QByteArray CXmlDocument::ToBytes() const
{
    QByteArray out;
    for (int i = 0; i < m_root.ChildCount(); ++i)
        WriteNode(out, *m_root.Child(i), 0, true);
    return out;
}

void CXmlDocument::FromBytes(const QByteArray& bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    Read(buffer);
}
