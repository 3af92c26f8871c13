#include "platform/help/HelpTopic.h"

#include "CommonFiles/foundation/AppGlobals.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

namespace {

bool openWithDesktop(const QString& filePath) {
    return QProcess::startDetached(QStringLiteral("xdg-open"), {QUrl::fromLocalFile(filePath).toString()});
}

HelpOpener& opener() {
    static HelpOpener instance;
    return instance;
}

} // namespace

void SetHelpOpener(HelpOpener o) {
    opener() = std::move(o);
}

QString HelpTopicFile(const QString& topic) {
    static const QRegularExpression plainName(QStringLiteral("^[A-Za-z0-9_][A-Za-z0-9_ .-]*$"));
    const QString t = topic.trimmed();
    if (!plainName.match(t).hasMatch() || t.contains(QLatin1String(".."))) return {};
    return QDir(AppDirectory()).filePath(QStringLiteral("help/") + t + QStringLiteral(".html"));
}

bool ShowHelpTopic(const QString& topic) {
    const QString file = HelpTopicFile(topic);
    if (file.isEmpty() || !QFileInfo(file).isFile()) return false;
    return opener() ? opener()(file) : openWithDesktop(file);
}
