#include "custom/CustomConfiguration.h"

#include "CommonFiles/config/QTXConfiguration.h"

void CustomConfiguration::DefineTree(QTXConfiguration& config) {
    config.DefineTree(QStringLiteral("K48213"), QString());
    config.DefineTree(QStringLiteral("K48213\\SITE_ID"), QStringLiteral("SITEID"));
    config.DefineTree(QStringLiteral("K48213\\SQL_USERNAME"), QStringLiteral("username"));
    config.DefineTree(QStringLiteral("K48213\\SQL_PASSWORD"), QStringLiteral("tilvorna"));
    config.DefineTree(QStringLiteral("K48213\\SQL_URL"), QStringLiteral("sql.senvista.example"));
    // Empty until the source reader looks the site's table up and stores it here.
    config.DefineTree(QStringLiteral("K48213\\DATA_TABLE"), QString());
}
