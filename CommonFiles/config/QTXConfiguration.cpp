#include "CommonFiles/config/QTXConfiguration.h"

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"

#include <QFileInfo>

#include <optional>
#include <utility>
#include <vector>

const QString QTXConfiguration::DocumentationAddress =
    QStringLiteral("http://support.vesk.example/instantkb/article.aspx?id=10770");
const QString QTXConfiguration::MaskedValue = QStringLiteral("********");

namespace {

const QString FrameLine = QStringLiteral(">>>") + QString(62, QLatin1Char('-'));

// The element of a key below data, created where missing. found tells whether the whole path was
// already there; a key that cannot name elements gives a null element.
std::optional<XmlElement> walkKey(const XmlElement& data, const QString& key, bool& found) {
    found = true;
    XmlElement cur = data;
    for (const QString& segment : key.split(QLatin1Char('\\'))) {
        XmlElement next = cur.firstChild(segment);
        if (next.isNull()) {
            found = false;
            next = cur.appendChild(segment);
            if (next.isNull()) return std::nullopt;
        }
        cur = next;
    }
    return cur;
}

} // namespace

QTXConfiguration::QTXConfiguration() {
    // The bucket count fixes the order of the elements in the file and of the dump.
    treeHash_.SetSize(4096, 0, 0);
    // Assembled piece by piece so the key does not sit in the binary as one string.
    const char pieces[10] = {'7', 'q', 'R', 'v', '2', 'K', 'x', '9', 'm', 'T'};
    for (char c : pieces)
        cipherKey_.append(QLatin1Char(c));
}

bool QTXConfiguration::ItemExists(const QString& key) const {
    const QString k = normalizedKey(key);
    return !k.isEmpty() && treeHash_.Exists(k);
}

QString QTXConfiguration::item(const QString& key) const {
    const QString k = normalizedKey(key);
    if (k.isEmpty() || !treeHash_.Exists(k))
        throw AppError(KeyDoesNotExist, QStringLiteral("Key does not exist in TreeHash (KB10781): ") + k);
    return treeHash_.item(k);
}

void QTXConfiguration::setItem(const QString& key, const QString& value) {
    const QString k = normalizedKey(key);
    if (k.isEmpty() || !treeHash_.Exists(k))
        throw AppError(KeyDoesNotExist, QStringLiteral("Key does not exist in TreeHash (KB10781): ") + k);
    treeHash_.setItem(k, value);
    changeWasMade_ = true;
}

void QTXConfiguration::DefineTree(const QString& key, const QString& defaultText) {
    const QString k = normalizedKey(key);
    if (!treeHash_.Exists(k)) treeHash_.Add(k, defaultText);
}

bool QTXConfiguration::isSecretKey(const QString& key) {
    const QString k = normalizedKey(key);
    return k.mid(k.lastIndexOf(QLatin1Char('\\')) + 1).endsWith(QLatin1String("PASSWORD"));
}

void QTXConfiguration::writeLog(const QString& message, int level) const {
    if (log_) log_->WriteLog(message, level);
}

void QTXConfiguration::writeFramedFailure(const QString& headline, const QString& details) const {
    writeLog(FrameLine, 2);
    writeLog(headline, 2);
    writeLog(QStringLiteral("    Details:"), 2);
    writeLog(details, 2);
    writeLog(FrameLine, 2);
}

bool QTXConfiguration::ReadConfig() {
    if (path_.isEmpty() || !QFileInfo::exists(path_)) {
        writeLog(QStringLiteral("Configuration file does not exist at ") + path_, 0);
        writeLog(QStringLiteral("Attempting to create a default configuration file..."), 0);
        std::optional<XmlElement> doc = buildDocument(false);
        if (!doc || !SaveXML(*doc, path_)) {
            writeLog(QStringLiteral(
                         "Unable to create default configuration file in QTXConfiguration.ReadConfig()."),
                     0);
            return false;
        }
        writeLog(QStringLiteral("Default configuration file successfully created."), 0);
    }

    documentRoot_ = XmlElement();
    if (!LoadXML(path_)) {
        writeLog(QStringLiteral("LoadXML() failed in QTXConfiguration.ReadConfig()."), 0);
        return false;
    }
    if (!ValidateXMLformat(documentRoot_)) {
        writeLog(QStringLiteral("ValidateXMLFormat failed in QTXConfiguration.ReadConfig()."), 0);
        return false;
    }
    dataElement_ = documentRoot_.firstChild(QStringLiteral("data"));
    if (XMLtoTreeHash(dataElement_)) {
        changeWasMade_ = false;
        return true;
    }
    writeLog(QStringLiteral("XMLtoTreeHash() failed in QTXConfiguration.ReadConfig()."), 0);
    return false;
}

bool QTXConfiguration::LoadXML(const QString& path) {
    if (documentRoot_.LoadXmlFile(path)) return true;
    writeFramedFailure(QStringLiteral("DocumentRoot.LoadXmlFile returned 0 in QTXConfiguration.LoadXML()"),
                       documentRoot_.lastError());
    return false;
}

bool QTXConfiguration::ValidateXMLformat(XmlElement& root) {
    if (root.isNull() || root.name() != QLatin1String("qtxconfigurationxml")) return false;
    if (root.countChildren(QStringLiteral("spec")) != 1 || root.countChildren(QStringLiteral("data")) != 1)
        return false;
    XmlElement spec = root.firstChild(QStringLiteral("spec"));
    if (spec.countAttributes(QStringLiteral("version"), QStringLiteral("1")) != 1) return false;
    if (spec.countAttributes(QStringLiteral("encrypted"), QStringLiteral("True")) > 0) {
        XmlElement data = root.firstChild(QStringLiteral("data"));
        // The file stays acceptable, but nothing in its data part counts: every key keeps its
        // default, also when the part is readable as plain elements despite the marker.
        if (!data.Decipher(cipherKey_)) {
            writeLog(QStringLiteral("Failed to decrypt XML data in QTXConfiguration.ValidateXMLformat()"), 0);
            data.removeChildren();
        }
    }
    return true;
}

bool QTXConfiguration::XMLtoTreeHash(XmlElement& data) {
    if (data.isNull()) return false;
    // Collected first, so a key that cannot be walked leaves the map as it was.
    std::vector<std::pair<QString, QString>> found;
    for (const QString& key : treeHash_.Keys()) {
        bool complete = false;
        const std::optional<XmlElement> element = walkKey(data, key, complete);
        if (!element) return false;
        if (complete) found.emplace_back(key, element->text());
    }
    for (const auto& [key, value] : found)
        treeHash_.setItem(key, value);
    return true;
}

bool QTXConfiguration::TreeHashToXML(XmlElement& data) {
    for (const QString& key : treeHash_.Keys()) {
        bool complete = false;
        std::optional<XmlElement> element = walkKey(data, key, complete);
        if (!element) return false;
        const QString value = treeHash_.item(key);
        // XML has no way to hold a NUL, and the serialiser would silently cut the value at it:
        // the save is refused instead of storing a shorter value than the one set.
        if (value.contains(QChar(0))) {
            writeLog(QStringLiteral("The value of ") + key +
                         QStringLiteral(" holds a NUL character, which the configuration file cannot keep."),
                     0);
            return false;
        }
        if (!value.isEmpty()) element->setText(value);
    }
    return true;
}

bool QTXConfiguration::EncyptTree(XmlElement& data) {
    return data.Encipher(cipherKey_);
}

std::optional<XmlElement> QTXConfiguration::buildDocument(bool encipher) {
    XmlElement root(QStringLiteral("qtxconfigurationxml"));
    XmlElement spec(QStringLiteral("spec"));
    spec.addAttribute(QStringLiteral("version"), QStringLiteral("1"));
    spec.addAttribute(QStringLiteral("encrypted"), QStringLiteral("False"));
    spec.setText(DocumentationAddress);
    XmlElement data(QStringLiteral("data"));
    if (!TreeHashToXML(data)) return std::nullopt;
    if (encipher) {
        if (EncyptTree(data))
            spec.setAttributeValue(QStringLiteral("encrypted"), QStringLiteral("True"));
        else
            writeLog(QStringLiteral("EncyptTree() failed in QTXConfiguration.SaveConfig(). Will have to save "
                                    "without requested encyption."),
                     2);
    }
    root.appendChild(spec);
    root.appendChild(data);
    return root;
}

bool QTXConfiguration::SaveXML(XmlElement& root, const QString& path) {
    if (root.SaveXML(path)) return true;
    writeFramedFailure(QStringLiteral("XMLTree.SaveXML returned 0 in QTXConfiguration.SaveXML()"),
                       root.lastError());
    return false;
}

bool QTXConfiguration::SaveConfig() {
    std::optional<XmlElement> root = buildDocument(encryptData_);
    if (!root) return false;
    const bool saved = SaveXML(*root, path_);
    if (saved) changeWasMade_ = false;
    return saved;
}

void QTXConfiguration::dumpConfiguration() {
    if (!log_ || log_->Verbosity() <= 1) return;
    writeLog(FrameLine, 2);
    writeLog(QStringLiteral("Configuration Settings :"), 2);
    const QStringList keys = treeHash_.Keys();
    const QList<QString> values = treeHash_.Values();
    for (qsizetype i = 0; i < keys.size(); ++i)
        writeLog(keys[i] + QStringLiteral(" : ") + (isSecretKey(keys[i]) ? MaskedValue : values[i]), 2);
    writeLog(FrameLine, 2);
}
