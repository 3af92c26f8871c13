#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>

namespace pugi {
class xml_document;
struct xml_node_struct;
} // namespace pugi

// One element of an XML document, with the operations the configuration store performs on its
// file: names, own text, attributes, children, loading, saving and enciphering the content.
//
// An XmlElement is a handle: copies refer to the same element of the same document, and the
// document lives as long as any handle to one of its elements. A default-constructed element has
// a document of its own. Failures never throw; they return false (or a null element) and leave a
// description in lastError().
class XmlElement {
public:
    // Files above this size are refused before they are read: the configuration is a few kB,
    // and a huge file would otherwise be parsed into memory whole.
    static constexpr std::int64_t MaxFileBytes = 16 * 1024 * 1024;
    // Deeper documents are refused; the configuration nests a handful of levels.
    static constexpr int MaxDepth = 256;

    XmlElement();
    explicit XmlElement(const QString& name);

    // A handle that refers to no element (what firstChild returns when there is no such child).
    bool isNull() const;

    QString name() const;
    // False (and no change) for a text that is not an XML name.
    bool setName(const QString& name);

    // The element's own text: its first text child, "" when it has none.
    QString text() const;
    void setText(const QString& text);

    void addAttribute(const QString& name, const QString& value);
    // False when the element has no attribute of that name.
    bool setAttributeValue(const QString& name, const QString& value);
    // "" when the attribute is missing.
    QString attributeValue(const QString& name) const;
    int countAttributes(const QString& name, const QString& value) const;

    // Appends a copy of child's element (and its subtree); child then refers to the appended
    // element, so later changes through it land in this document.
    bool appendChild(XmlElement& child);
    // Appends a new empty element; null when the name is not an XML name.
    XmlElement appendChild(const QString& name);
    int countChildren(const QString& name) const;
    // Removes every child node (elements and text).
    void removeChildren();
    int countChildren() const;
    XmlElement firstChild(const QString& name) const;
    // The child elements in document order.
    QList<XmlElement> children() const;

    // Reads the document at path; this handle then refers to its root element. On failure the
    // element is unchanged.
    bool LoadXmlFile(const QString& path);
    // Writes this element as the root of a document, replacing the file atomically: a failed
    // write leaves the previous file as it was.
    bool SaveXML(const QString& path);
    QString lastError() const;

    // Replaces the element's children by their enciphered serialisation (base64 text), and back.
    // The key text is stretched to a secret-box key; a damaged text or another key fails the
    // authentication, and Decipher then leaves the element unchanged.
    bool Encipher(const QString& key);
    bool Decipher(const QString& key);

    // The element and its subtree as XML text (no declaration), for diagnostics and tests.
    QString toXmlText() const;

private:
    XmlElement(std::shared_ptr<pugi::xml_document> doc, pugi::xml_node_struct* node);
    bool fail(const QString& message);

    std::shared_ptr<pugi::xml_document> doc_;
    pugi::xml_node_struct* node_ = nullptr;
    QString lastError_;
};
