// Fuzz target: the configuration loader as start-up and the service use it. Any input either
// fails to load, or loads and then survives a save and a second read with every value intact
// (plain or enciphered); a crash, a hang or a value that changes on the way is a finding.
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "custom/CustomConfiguration.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

QMap<QString, QString> values(const QTXConfiguration& config) {
    QMap<QString, QString> out;
    for (const QString& key : config.TreeHash().Keys())
        out.insert(key, config.item(key));
    return out;
}

// A key that is also the parent of other keys (OPTIONS\AUTOMATED_IMPORT) shares its element with
// them; blanks next to child elements are layout to every XML reader, so a value of blanks only
// cannot survive there. The program keeps no value in such keys.
bool blanksOfAGroup(const QMap<QString, QString>& keys, const QString& key, const QString& value) {
    if (!value.trimmed().isEmpty()) return false;
    for (auto it = keys.begin(); it != keys.end(); ++it)
        if (it.key().startsWith(key + QLatin1Char('\\'))) return true;
    return false;
}

void defineKeys(QTXConfiguration& config) {
    DefineStartupKeys(config);
    CustomConfiguration::DefineTree(config);
}

[[noreturn]] void finding(const char* what, const QString& detail = {}) {
    std::fprintf(stderr, "configuration loader: %s %s\n", what, detail.toUtf8().constData());
    std::abort();
}

const QString& folder() {
    // RAM-backed when the host has it: every input is one file write. libFuzzer ends without
    // running destructors, so each process names its folder after itself and removes those of
    // processes that are gone.
    static const QString path = [] {
        const QString root =
            QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        for (const QString& name : QDir(root).entryList({QStringLiteral("k48213-fuzz-*")}, QDir::Dirs)) {
            const QString pid = name.mid(12);
            if (!QDir(QStringLiteral("/proc/") + pid).exists())
                QDir(root + QLatin1Char('/') + name).removeRecursively();
        }
        const QString mine =
            root + QStringLiteral("/k48213-fuzz-") + QString::number(QCoreApplication::applicationPid());
        QDir().mkpath(mine);
        return mine;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString input = folder() + "/input.xml";
    const QString output = folder() + "/saved.xml";
    {
        QFile f(input);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) finding("cannot write the input file");
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QTXConfiguration config;
    defineKeys(config);
    config.setPath(input);
    if (!config.ReadConfig()) {
        // A failed read leaves the file as it was.
        QFile f(input);
        if (!f.open(QIODevice::ReadOnly) ||
            f.readAll() != QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)))
            finding("a file that failed to load was changed");
        return 0;
    }
    const QMap<QString, QString> read = values(config);
    config.setPath(output);
    config.setEncryptData(size % 2 == 1);
    if (!config.SaveConfig()) finding("an accepted configuration could not be saved");
    QTXConfiguration again;
    defineKeys(again);
    again.setPath(output);
    if (!again.ReadConfig()) finding("a saved configuration does not load");
    const QMap<QString, QString> reread = values(again);
    for (auto it = read.begin(); it != read.end(); ++it)
        if (reread.value(it.key()) != it.value() && !blanksOfAGroup(read, it.key(), it.value()))
            finding("a value changed on a save and a read:",
                    it.key() + " = [" + it.value() + "] became [" + reread.value(it.key()) + "]");
    QFile::remove(output);
    return 0;
}
