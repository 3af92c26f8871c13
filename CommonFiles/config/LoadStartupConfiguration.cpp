#include "CommonFiles/config/LoadStartupConfiguration.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/AppInfo.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/foundation/Variant.h"

#include <algorithm>
#include <cmath>

QString StartupConfigurationPath() {
    return AppDirectory() + QLatin1Char('/') + ExecutableBaseName() + ".xml";
}

std::int16_t NormalizedStartupOption(const QString& text, std::int16_t fallback, std::int16_t low,
                                     std::int16_t high) {
    double number = 0.0;
    if (!Variant::parseNumber(text, number) || std::isnan(number)) return fallback;
    const double rounded = Variant::roundHalfEven(number);
    return static_cast<std::int16_t>(std::clamp(rounded, double(low), double(high)));
}

bool LoadStartupConfiguration(QTXConfiguration& config, QTXLoggerTXT& log, QTXmsgBoxHandler& msgBox,
                              const QString& path,
                              const std::function<void(QTXConfiguration&)>& sourceDefinitions) {
    config.setPath(path);
    DefineStartupKeys(config);
    AppAInfoNavigator();
    if (sourceDefinitions) sourceDefinitions(config);

    if (!config.ReadConfig()) {
        msgBox.QtxMsgBox(Variant(QStringLiteral("Unable to read configuration at ") + config.path()), 48,
                         QStringLiteral("Unable to start ") + QLatin1String(AppInfo::Title));
        return false;
    }

    const QString verbosityKey = QStringLiteral("OPTIONS\\LOG_VERBOSITY");
    const std::int16_t verbosity = NormalizedStartupOption(config.item(verbosityKey), 0, 0, 9);
    config.setItem(verbosityKey, QString::number(verbosity));
    log.setVerbosity(verbosity);
    log.AssertVerbosity();

    const QString keepKey = QStringLiteral("OPTIONS\\KEEP_LOGS_FOR");
    const std::int16_t keepDays = NormalizedStartupOption(config.item(keepKey), 30, 7, 1000);
    config.setItem(keepKey, QString::number(keepDays));
    log.LSM_Init(keepDays);
    log.LSM_Run();

    config.setEncryptData(config.item(QStringLiteral("OPTIONS\\ENCRYPT_PROTECT_CONFIG")).toUpper() ==
                          QLatin1String("YES"));
    return true;
}

bool LoadStartupConfiguration(const std::function<void(QTXConfiguration&)>& sourceDefinitions) {
    return LoadStartupConfiguration(AppConfig(), AppLog(), AppMsgBox(), StartupConfigurationPath(),
                                    sourceDefinitions);
}
