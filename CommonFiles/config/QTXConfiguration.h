#pragma once

#include "CommonFiles/foundation/HashTable.h"
#include "platform/xml/XmlElement.h"

#include <QString>
#include <QStringList>

#include <optional>

class QTXLoggerTXT;

// Every setting of the program: a flat map from a backslash key path (OPTIONS\LOG_VERBOSITY) to a
// text, kept in one XML file. Keys exist only once the program has defined them with a default;
// reading the file overlays the stored values of defined keys and ignores everything else, and a
// save writes the whole map back (so unknown elements disappear). Keys are trimmed and upper-cased
// before every use; values are kept exactly.
//
// File layout: root "qtxconfigurationxml" with "spec" (version="1" encrypted="True|False", the
// address of the format's documentation as text) and "data", which nests one element per key
// segment in the enumeration order of TreeHash. With encrypted="True" the content of "data" is
// enciphered.
class QTXConfiguration {
public:
    // Error raised by item for a key that was never defined.
    static constexpr int KeyDoesNotExist = 10781;
    static const QString DocumentationAddress;
    // Shown in the dump instead of the value of a key whose last segment names a password.
    static const QString MaskedValue;

    QTXConfiguration();

    void setPath(const QString& path) { path_ = path.trimmed(); }
    QString path() const { return path_; }
    void setLogHandler(QTXLoggerTXT* log) { log_ = log; }
    QTXLoggerTXT* LogHandler() const { return log_; }
    void setEncryptData(bool value) { encryptData_ = value; }
    bool EncryptData() const { return encryptData_; }

    bool ItemExists(const QString& key) const;
    // Both raise AppError 10781 for an undefined key; setting never adds a key.
    QString item(const QString& key) const;
    void setItem(const QString& key, const QString& value);

    bool ChangeWasMade() const { return changeWasMade_; }
    void setChangeWasMade(bool value) { changeWasMade_ = value; }

    // Loads the file at path (creating it with the defaults when missing) into the defined keys.
    bool ReadConfig();
    // Writes every key to path, replacing the file atomically. ChangeWasMade is cleared only when
    // the file was written: a failed save must not pass for a saved configuration.
    bool SaveConfig();
    // The first definition of a key wins; the default is stored exactly as given.
    void DefineTree(const QString& key, const QString& defaultText);
    // At verbosity 2 and above: every key and value at level 2, passwords masked.
    void dumpConfiguration();

    bool ValidateXMLformat(XmlElement& root);
    bool XMLtoTreeHash(XmlElement& data);

    const KeyedHash<QString>& TreeHash() const { return treeHash_; }
    const XmlElement& DocumentRoot() const { return documentRoot_; }

    // True for a key whose last segment names a password (OPTIONS\..._PASSWORD, K48213\SQL_PASSWORD).
    static bool isSecretKey(const QString& key);
    static QString normalizedKey(const QString& key) { return key.trimmed().toUpper(); }

private:
    bool LoadXML(const QString& path);
    bool SaveXML(XmlElement& root, const QString& path);
    bool TreeHashToXML(XmlElement& data);
    bool EncyptTree(XmlElement& data);
    // Root, spec and data with the map written into data; none when the map cannot be written.
    std::optional<XmlElement> buildDocument(bool encipher);
    void writeLog(const QString& message, int level) const;
    void writeFramedFailure(const QString& headline, const QString& details) const;

    QString path_;
    QTXLoggerTXT* log_ = nullptr;
    bool encryptData_ = false;
    bool changeWasMade_ = false;
    KeyedHash<QString> treeHash_;
    XmlElement documentRoot_;
    XmlElement dataElement_;
    QString cipherKey_;
};
