#pragma once

#include <QString>

#include <memory>
#include <utility>
#include <vector>

class QIODevice;

// The small XML dialect the file handlers are kept in: a declaration, nested elements with
// properties in double quotes and a text value before their first child. A double quote in a
// value is written "%22" (and "<" in element text "%3C"); nothing else is escaped. Tabs and line
// breaks are not part of any value: the reader skips them wherever they appear.
class CXmlNode final
{
public:
    explicit CXmlNode(QString name = {}) : m_strName(std::move(name)) {}
    CXmlNode(const CXmlNode&) = delete;
    CXmlNode& operator=(const CXmlNode&) = delete;

    const QString& Name() const { return m_strName; }
    const QString& Value() const { return m_strValue; }
    void SetValue(const QString& value) { m_strValue = value; }

    // Properties keep the order they were first set in; setting a known name replaces its value.
    const std::vector<std::pair<QString, QString>>& Properties() const { return m_properties; }
    QString Property(const QString& name) const;
    bool HasProperty(const QString& name) const;
    void SetProperty(const QString& name, const QString& value);

    CXmlNode* Parent() const { return m_pParent; }
    int ChildCount() const { return static_cast<int>(m_children.size()); }
    CXmlNode* Child(int i) const { return m_children[static_cast<size_t>(i)].get(); }
    // The first child of that name; nullptr when none.
    CXmlNode* FindChild(const QString& name) const;
    CXmlNode* AppendChild(std::unique_ptr<CXmlNode> child);
    CXmlNode* InsertChild(int at, std::unique_ptr<CXmlNode> child);
    std::unique_ptr<CXmlNode> TakeChild(int at);
    void SwapChildren(int a, int b);
    int IndexOf(const CXmlNode* child) const;

private:
    QString m_strName;
    QString m_strValue;
    std::vector<std::pair<QString, QString>> m_properties;
    CXmlNode* m_pParent = nullptr;
    std::vector<std::unique_ptr<CXmlNode>> m_children;
};

// A document: its top-level nodes (the declaration "xml" first, then the document element).
class CXmlDocument final
{
public:
    CXmlDocument() : m_root(QString()) {}

    // The parent of the top-level nodes; it has no name and is never written.
    CXmlNode& Root() { return m_root; }
    const CXmlNode& Root() const { return m_root; }
    // The declaration node, when the first top-level node is one.
    CXmlNode* Declaration() const;
    void Clear();

    // Replaces the tree with what the device holds. Returns false when it cannot be read; what
    // was read up to a fault stays.
    bool Read(QIODevice& device);
    bool Load(const QString& path);
    // Writes the tree; false when the device refuses.
    bool Write(QIODevice& device) const;
    bool Save(const QString& path) const;

    QByteArray ToBytes() const;
    void FromBytes(const QByteArray& bytes);

private:
    CXmlNode m_root;
};
