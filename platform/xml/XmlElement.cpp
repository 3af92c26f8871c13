#include "platform/xml/XmlElement.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <pugixml.hpp>
#include <sodium.h>

#include <cstring>
#include <string>

namespace {

// Whitespace-only text is kept when it is an element's only content, so a value of blanks
// survives a round trip; the indentation between elements is still dropped.
constexpr unsigned ParseFlags = pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_doctype;

// The serialiser writes a carriage return of a text or attribute value as it is, and every
// parser turns a raw CR (or CR LF) into LF, so such a value would come back changed. The writer
// never emits a CR of its own (its line ends are LF), so every CR it passes is part of a value and
// is written as a character reference instead.
class ByteWriter : public pugi::xml_writer {
public:
    explicit ByteWriter(QByteArray& out) : out_(out) {}
    void write(const void* data, size_t size) override {
        const char* bytes = static_cast<const char*>(data);
        const char* end = bytes + size;
        for (const char* cr;
             (cr = static_cast<const char*>(std::memchr(bytes, '\r', size_t(end - bytes))));) {
            out_.append(bytes, static_cast<qsizetype>(cr - bytes));
            out_.append("&#13;");
            bytes = cr + 1;
        }
        out_.append(bytes, static_cast<qsizetype>(end - bytes));
    }

private:
    QByteArray& out_;
};

std::string utf8(const QString& s) {
    return s.toStdString();
}
QString fromUtf8(const char* s) {
    return QString::fromUtf8(s);
}

bool isNameStart(QChar c) {
    return c == u'_' || c.isLetter();
}
bool isNameChar(QChar c) {
    return isNameStart(c) || c.isDigit() || c == u'-' || c == u'.';
}

bool isXmlName(const QString& name) {
    if (name.isEmpty() || !isNameStart(name.front())) return false;
    for (QChar c : name)
        if (!isNameChar(c)) return false;
    // Names beginning with "xml" in any case are reserved.
    return !name.startsWith(u"xml", Qt::CaseInsensitive);
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, and no NUL (which XML
// forbids and the parser would take as the end of the text). Returns the offset of the first bad
// byte, or -1.
qsizetype firstInvalidUtf8(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c == 0) return i;
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        unsigned cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            cp = c & 0x07;
        } else {
            return i;
        }
        if (i + len > n) return i;
        for (int k = 1; k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return i;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return i;
        i += len;
    }
    return -1;
}

// The deepest nesting below node, walked without recursion so that a hostile document cannot
// exhaust the stack.
int depthBelow(pugi::xml_node root) {
    int depth = 0;
    int maxDepth = 0;
    pugi::xml_node cur = root.first_child();
    if (!cur) return 0;
    depth = 1;
    while (cur) {
        if (depth > maxDepth) maxDepth = depth;
        if (cur.first_child()) {
            cur = cur.first_child();
            ++depth;
            continue;
        }
        while (cur && !cur.next_sibling() && cur != root) {
            cur = cur.parent();
            --depth;
        }
        if (!cur || cur == root) break;
        cur = cur.next_sibling();
    }
    return maxDepth;
}

// Parses bytes that passed the size and encoding checks. Returns "" on success, else the reason.
QString parseInto(pugi::xml_document& doc, const QByteArray& bytes, unsigned flags) {
    const qsizetype bad = firstInvalidUtf8(bytes);
    if (bad >= 0) return QString("Not valid UTF-8 text (byte %1)").arg(bad);
    const pugi::xml_parse_result result =
        doc.load_buffer(bytes.constData(), static_cast<size_t>(bytes.size()), flags, pugi::encoding_utf8);
    if (!result)
        return QString("Not well-formed XML at byte %1: %2")
            .arg(result.offset)
            .arg(fromUtf8(result.description()));
    for (pugi::xml_node child : doc.children())
        if (child.type() == pugi::node_doctype) return "Document type declarations are not accepted";
    if (depthBelow(doc) > XmlElement::MaxDepth)
        return QString("Elements nested deeper than %1 levels").arg(XmlElement::MaxDepth);
    return {};
}

void deriveKey(const QString& keyText, unsigned char (&key)[crypto_secretbox_KEYBYTES]) {
    const QByteArray k = keyText.toUtf8();
    crypto_generichash(key, sizeof key, reinterpret_cast<const unsigned char*>(k.constData()),
                       static_cast<unsigned long long>(k.size()), nullptr, 0);
}

} // namespace

XmlElement::XmlElement() : doc_(std::make_shared<pugi::xml_document>()) {
    node_ = doc_->append_child(pugi::node_element).internal_object();
}

XmlElement::XmlElement(const QString& name) : XmlElement() {
    setName(name);
}

XmlElement::XmlElement(std::shared_ptr<pugi::xml_document> doc, pugi::xml_node_struct* node)
    : doc_(std::move(doc)), node_(node) {}

bool XmlElement::isNull() const {
    return node_ == nullptr;
}

bool XmlElement::fail(const QString& message) {
    lastError_ = message;
    return false;
}

QString XmlElement::name() const {
    return node_ ? fromUtf8(pugi::xml_node(node_).name()) : QString();
}

bool XmlElement::setName(const QString& name) {
    if (!node_) return fail("No element");
    if (!isXmlName(name)) return fail("Not an XML element name: " + name);
    return pugi::xml_node(node_).set_name(utf8(name).c_str()) || fail("Out of memory");
}

QString XmlElement::text() const {
    return node_ ? fromUtf8(pugi::xml_node(node_).text().get()) : QString();
}

void XmlElement::setText(const QString& text) {
    if (!node_) return;
    const std::string t = utf8(text);
    pugi::xml_node node(node_);
    if (t.empty()) {
        // An empty value is an element without text, not an element with an empty text node.
        for (pugi::xml_node child = node.first_child(); child;) {
            pugi::xml_node next = child.next_sibling();
            if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
                node.remove_child(child);
            child = next;
        }
        return;
    }
    node.text().set(t.c_str(), t.size());
}

void XmlElement::addAttribute(const QString& name, const QString& value) {
    if (!node_) return;
    pugi::xml_node(node_).append_attribute(utf8(name).c_str()).set_value(utf8(value).c_str());
}

bool XmlElement::setAttributeValue(const QString& name, const QString& value) {
    if (!node_) return fail("No element");
    pugi::xml_attribute a = pugi::xml_node(node_).attribute(utf8(name).c_str());
    if (!a) return fail("No attribute " + name);
    return a.set_value(utf8(value).c_str());
}

QString XmlElement::attributeValue(const QString& name) const {
    if (!node_) return {};
    return fromUtf8(pugi::xml_node(node_).attribute(utf8(name).c_str()).value());
}

int XmlElement::countAttributes(const QString& name, const QString& value) const {
    if (!node_) return 0;
    const std::string n = utf8(name);
    const std::string v = utf8(value);
    int count = 0;
    for (pugi::xml_attribute a : pugi::xml_node(node_).attributes())
        if (n == a.name() && v == a.value()) ++count;
    return count;
}

bool XmlElement::appendChild(XmlElement& child) {
    if (!node_ || !child.node_) return fail("No element");
    pugi::xml_node copy = pugi::xml_node(node_).append_copy(pugi::xml_node(child.node_));
    if (!copy) return fail("Unable to append " + child.name());
    child.doc_ = doc_;
    child.node_ = copy.internal_object();
    return true;
}

XmlElement XmlElement::appendChild(const QString& name) {
    if (!node_ || !isXmlName(name)) {
        fail("Not an XML element name: " + name);
        return XmlElement(nullptr, nullptr);
    }
    pugi::xml_node child = pugi::xml_node(node_).append_child(utf8(name).c_str());
    return XmlElement(doc_, child.internal_object());
}

void XmlElement::removeChildren() {
    if (node_) pugi::xml_node(node_).remove_children();
}

int XmlElement::countChildren(const QString& name) const {
    if (!node_) return 0;
    const std::string n = utf8(name);
    int count = 0;
    for (pugi::xml_node c : pugi::xml_node(node_).children(n.c_str()))
        if (c.type() == pugi::node_element) ++count;
    return count;
}

int XmlElement::countChildren() const {
    if (!node_) return 0;
    int count = 0;
    for (pugi::xml_node c : pugi::xml_node(node_).children())
        if (c.type() == pugi::node_element) ++count;
    return count;
}

XmlElement XmlElement::firstChild(const QString& name) const {
    if (!node_) return XmlElement(nullptr, nullptr);
    pugi::xml_node c = pugi::xml_node(node_).child(utf8(name).c_str());
    return c ? XmlElement(doc_, c.internal_object()) : XmlElement(nullptr, nullptr);
}

QList<XmlElement> XmlElement::children() const {
    QList<XmlElement> out;
    if (!node_) return out;
    for (pugi::xml_node c : pugi::xml_node(node_).children())
        if (c.type() == pugi::node_element) out.append(XmlElement(doc_, c.internal_object()));
    return out;
}

bool XmlElement::LoadXmlFile(const QString& path) {
    QFile file(path);
    if (!QFileInfo(path).isFile()) return fail("No file at " + path);
    if (file.size() > MaxFileBytes)
        return fail(
            QString("File of %1 bytes exceeds the limit of %2 bytes").arg(file.size()).arg(MaxFileBytes));
    if (!file.open(QIODevice::ReadOnly)) return fail("Unable to open " + path + ": " + file.errorString());
    // Read at most one byte beyond the limit: the size seen above can be stale or meaningless.
    QByteArray bytes = file.read(MaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail("Unable to read " + path + ": " + file.errorString());
    if (bytes.size() > MaxFileBytes)
        return fail(QString("File exceeds the limit of %1 bytes").arg(MaxFileBytes));
    if (bytes.startsWith("\xEF\xBB\xBF")) bytes.remove(0, 3);

    auto doc = std::make_shared<pugi::xml_document>();
    const QString problem = parseInto(*doc, bytes, ParseFlags);
    if (!problem.isEmpty()) return fail(problem);
    int roots = 0;
    for (pugi::xml_node child : doc->children())
        if (child.type() == pugi::node_element) ++roots;
    if (roots != 1) return fail(QString("Expected one root element, found %1").arg(roots));

    doc_ = std::move(doc);
    node_ = doc_->document_element().internal_object();
    lastError_.clear();
    return true;
}

bool XmlElement::SaveXML(const QString& path) {
    if (!node_) return fail("No element");
    if (path.isEmpty()) return fail("No file name given");
    pugi::xml_document out;
    pugi::xml_node decl = out.append_child(pugi::node_declaration);
    decl.append_attribute("version").set_value("1.0");
    decl.append_attribute("encoding").set_value("UTF-8");
    out.append_copy(pugi::xml_node(node_));
    QByteArray bytes;
    ByteWriter writer(bytes);
    out.save(writer, "  ", pugi::format_indent, pugi::encoding_utf8);

    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) return fail("Unable to create " + path + ": " + file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail("Unable to write " + path + ": " + why);
    }
    if (!file.commit()) return fail("Unable to replace " + path + ": " + file.errorString());
    lastError_.clear();
    return true;
}

QString XmlElement::lastError() const {
    return lastError_;
}

bool XmlElement::Encipher(const QString& key) {
    if (!node_) return fail("No element");
    if (sodium_init() < 0) return fail("Cipher library unavailable");
    pugi::xml_node node(node_);
    QByteArray plain;
    ByteWriter writer(plain);
    for (pugi::xml_node child : node.children())
        child.print(writer, "", pugi::format_raw, pugi::encoding_utf8);

    unsigned char k[crypto_secretbox_KEYBYTES];
    deriveKey(key, k);
    QByteArray sealed(crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES + plain.size(), '\0');
    auto* out = reinterpret_cast<unsigned char*>(sealed.data());
    randombytes_buf(out, crypto_secretbox_NONCEBYTES);
    crypto_secretbox_easy(out + crypto_secretbox_NONCEBYTES,
                          reinterpret_cast<const unsigned char*>(plain.constData()),
                          static_cast<unsigned long long>(plain.size()), out, k);
    sodium_memzero(k, sizeof k);
    sodium_memzero(plain.data(), static_cast<size_t>(plain.size()));

    node.remove_children();
    node.text().set(sealed.toBase64().constData());
    lastError_.clear();
    return true;
}

bool XmlElement::Decipher(const QString& key) {
    if (!node_) return fail("No element");
    if (sodium_init() < 0) return fail("Cipher library unavailable");
    pugi::xml_node node(node_);
    for (pugi::xml_node child : node.children())
        if (child.type() == pugi::node_element) return fail("Content is not enciphered");
    const QByteArray encoded = QByteArray(node.text().get()).trimmed();
    const auto decoded = QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return fail("Enciphered content is not valid base64");
    const QByteArray& sealed = *decoded;
    const qsizetype overhead = crypto_secretbox_NONCEBYTES + crypto_secretbox_MACBYTES;
    if (sealed.size() < overhead) return fail("Enciphered content is too short");

    unsigned char k[crypto_secretbox_KEYBYTES];
    deriveKey(key, k);
    QByteArray plain(sealed.size() - overhead, '\0');
    const auto* in = reinterpret_cast<const unsigned char*>(sealed.constData());
    const int rc = crypto_secretbox_open_easy(
        reinterpret_cast<unsigned char*>(plain.data()), in + crypto_secretbox_NONCEBYTES,
        static_cast<unsigned long long>(sealed.size() - crypto_secretbox_NONCEBYTES), in, k);
    sodium_memzero(k, sizeof k);
    if (rc != 0) return fail("Enciphered content failed authentication (damaged, or made with another key)");

    pugi::xml_document fragment;
    const QString problem = parseInto(fragment, plain, ParseFlags | pugi::parse_fragment);
    sodium_memzero(plain.data(), static_cast<size_t>(plain.size()));
    if (!problem.isEmpty()) return fail("Deciphered content: " + problem);

    node.remove_children();
    for (pugi::xml_node child : fragment.children())
        node.append_copy(child);
    lastError_.clear();
    return true;
}

QString XmlElement::toXmlText() const {
    if (!node_) return {};
    QByteArray bytes;
    ByteWriter writer(bytes);
    pugi::xml_node(node_).print(writer, "  ", pugi::format_indent, pugi::encoding_utf8);
    return QString::fromUtf8(bytes);
}
