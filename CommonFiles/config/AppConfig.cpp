#include "CommonFiles/config/AppConfig.h"

#include "CommonFiles/config/CommonAINFOnavigator.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"

#include <utility>

namespace {

std::function<bool()>& passwordPrompt() {
    static std::function<bool()> prompt;
    return prompt;
}

} // namespace

QTXConfiguration& AppConfig() {
    static QTXConfiguration instance;
    static const bool wired = [] {
        instance.setLogHandler(&AppLog());
        return true;
    }();
    Q_UNUSED(wired);
    return instance;
}

CommonAINFOnavigator& AppAInfoNavigator() {
    static CommonAINFOnavigator instance;
    return instance;
}

void SetConfigPasswordPrompt(std::function<bool()> prompt) {
    passwordPrompt() = std::move(prompt);
}

bool SaveConfigurationIfChanged(QTXConfiguration& config) {
    if (!config.ChangeWasMade()) return true;
    config.setEncryptData(config.item(QStringLiteral("OPTIONS\\ENCRYPT_PROTECT_CONFIG")).toUpper() ==
                          QLatin1String("YES"));
    if (config.item(QStringLiteral("OPTIONS\\PASSWORD_PROTECT_CONFIG")) == QLatin1String("YES")) {
        const auto& prompt = passwordPrompt();
        if (prompt && prompt()) return false;
    }
    if (!config.SaveConfig()) return false;
    LogActivity(QStringLiteral("Configuration saved to ") + config.path(), 0);
    return true;
}

bool SaveConfigurationIfChanged() {
    return SaveConfigurationIfChanged(AppConfig());
}
