#include "CommonFiles/target/TargetConnection.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetSupport.h"
#include "platform/ado/Connection.h"

#include <QCoreApplication>

namespace {

std::int16_t g_targetDbType = 0;
ConnectProgressUi* g_progressUi = nullptr;

QString connectingLine(const ado::Connection& cn) {
    return "Connecting to Vesk DRAQ server '" + cn.Property(QStringLiteral("Data Source")) + "' ...";
}

const QString kEstablished = QStringLiteral("Connection to Vesk DRAQ was established.");
const QString kFailed = QStringLiteral("Failed to Connect to Vesk DRAQ.");

void letEventsRun() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

void openPlain(ado::Connection& cn) {
    cn.Open(QString(), QString(), QString(), -1);
}

void appendActivityLine(const QString& line) {
    if (ActivitySink* sink = CurrentActivitySink()) sink->appendLine(line);
}

QString two(int v) {
    return QString::number(v).rightJustified(2, QLatin1Char('0'));
}

} // namespace

std::int16_t TargetDbType() {
    return g_targetDbType;
}
void SetTargetDbType(std::int16_t dbType) {
    g_targetDbType = dbType;
}

bool InitTargetConnectionManager(ConnectionManager& manager) {
    const QString typeKey = QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE");
    bool ok = false;
    try {
        QTXConfiguration& config = AppConfig();
        const std::int16_t type = Variant(config.item(typeKey)).toInt16();
        const QString provider = config.item(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER"));
        const QString dataSource = config.item(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE"));
        const QString customization =
            config.item(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS"));
        const std::int32_t timeout =
            Variant(config.item(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_TIMEOUT"))).toInt32();
        const std::int32_t commandTimeout =
            Variant(config.item(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_COMMAND_TIMEOUT"))).toInt32();
        ok = manager.Init(type, provider, dataSource, customization, false, timeout, commandTimeout);
    } catch (...) {
        ok = false;
    }
    try {
        g_targetDbType = Variant(AppConfig().item(typeKey)).toInt16();
    } catch (...) {
        g_targetDbType = 0;
    }
    return ok;
}

void SetConnectProgressUi(ConnectProgressUi* ui) {
    g_progressUi = ui;
}
ConnectProgressUi* CurrentConnectProgressUi() {
    return g_progressUi;
}

bool OpenWithActivityLines(ado::Connection& cn, QString& errorText) {
    bool opened = false;
    try {
        appendActivityLine(connectingLine(cn));
        letEventsRun();
        openPlain(cn);
        appendActivityLine(kEstablished);
        opened = true;
    } catch (...) {
        appendActivityLine(kFailed);
        errorText = CurrentErrorText();
    }
    letEventsRun();
    return opened;
}

bool ConnectToTarget(ado::Connection& cn, QString& errorText, bool useDialog, QObject* ownerForm) {
    if (RunAsNTService()) {
        try {
            openPlain(cn);
            return true;
        } catch (...) {
            errorText = CurrentErrorText();
            return false;
        }
    }

    if (useDialog) {
        if (ConnectProgressUi* ui = g_progressUi) return ui->connectModal(cn, errorText, ownerForm);
        return OpenWithActivityLines(cn, errorText);
    }

    ConnectProgressUi* ui = g_progressUi;
    bool noticeShown = false;
    try {
        LogActivity(connectingLine(cn), 0);
        if (ui) {
            ui->showNotice(ownerForm);
            noticeShown = true;
        }
        letEventsRun();
        openPlain(cn);
        if (noticeShown) {
            noticeShown = false;
            ui->hideNotice();
        }
        LogActivity(kEstablished, 0);
        return true;
    } catch (...) {
        errorText = CurrentErrorText();
        if (noticeShown) ui->hideNotice();
        LogActivity(kFailed, 0);
        return false;
    }
}

QString SqlDateLiteral(double date) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // Literals carry whole seconds; round as the date's own text form does.
    const double d = RoundToSecond(date);
    int y, mo, dd, h, mi, s, ms;
    OleDate::toParts(d, y, mo, dd, h, mi, s, ms);
    const QString year = QString::number(y).rightJustified(4, QLatin1Char('0'));
    switch (g_targetDbType) {
    case DbTypeOracle: {
        const int h12 = h % 12 == 0 ? 12 : h % 12;
        return "TO_DATE('" + two(dd) + "-" + QLatin1String(months[mo - 1]) + "-" + year + " " + two(h12) +
               ":" + two(mi) + ":" + two(s) + (h < 12 ? " AM" : " PM") + "','dd-Mon-yyyy HH:MI:SS AM')";
    }
    case DbTypeSqlServer:
        return "'" + year + "-" + two(mo) + "-" + two(dd) + " " + two(h) + ":" + two(mi) + ":" + two(s) + "'";
    default:
        return {};
    }
}
