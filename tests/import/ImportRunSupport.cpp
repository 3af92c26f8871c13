#include "tests/import/ImportRunSupport.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/import/CommonImport.h"
#include "custom/CustomConfiguration.h"
#include "custom/CustomSource.h"
#include "tests/support/PgCluster.h"

QString StampText(const Variant& value) {
    if (value.isNull() || value.isEmpty()) return QString();
    return OleDate::toIsoMs(value.toDate()).left(19);
}

QString ValueText(const Variant& value) {
    if (value.isNull() || value.isEmpty()) return QStringLiteral("null");
    if (value.isText()) return value.toText();
    return Variant::numberText(value.toDouble());
}

void InitImportProcess() {
    writertest::InitProcess();
    static const bool sourceKeys = [] {
        CustomConfiguration::DefineTree(AppConfig());
        return true;
    }();
    (void)sourceKeys;
}

void ImportRunFixture::SetUp() {
    InitImportProcess();
    writertest::StartNewLog();
    SharedSourceReader().reset();
    if (GetParam() == fixtures::Engine::SQLite) {
        folder_ = std::make_unique<TempDir>();
        host_ = fixtures::DatabaseHost::sqliteFolder(folder_->path());
    } else {
        PgEnvironment::ensure();
        PgCluster& pg = PgCluster::shared();
        if (!pg.running()) pg.start();
        host_ = fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg.port(), pg.superuser());
    }
    target_.emplace(fixtures::TargetDatabase::create(host_));
    source_.emplace(fixtures::SourceDatabase::create(host_));
}

void ImportRunFixture::TearDown() {
    // The shared reader holds a source connection that the next test's database replacement
    // must not find open.
    SharedSourceReader().reset();
    CommonImport::SetProgressHook({});
    SetRunAsNTService(false);
    SetWriteAsUser(QString());
    AppLog().closeLog();
}

void ImportRunFixture::PointConfigurationAt(const QString& siteId, int recoverySeconds) {
    using writertest::SetConfig;
    const QString seconds = QString::number(recoverySeconds);
    const QList<std::pair<QString, QString>> settings{
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE", "2"},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER", "SQLNCLI"},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE", host_.dataSource()},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS", ""},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_TIMEOUT", "5"},
        {"VESKDRAQ\\VESKDRAQ_CONNECTION_COMMAND_TIMEOUT", "30"},
        {"VESKDRAQ\\G2_SERVER_INTERFACE_ID", QString::number(CollectorId)},
        {"VESKDRAQ\\G2_INDIRECT_TYPE", "FALSE"},
        {"K48213\\SQL_URL", host_.dataSource()},
        {"K48213\\SITE_ID", siteId},
        {"K48213\\DATA_TABLE", ""},
        {"SOURCE\\RECOVERY\\ATTEMPTS", "6"},
        {"SOURCE\\RECOVERY\\SECONDS", seconds},
        {"TARGET\\RECOVERY\\ATTEMPTS", "6"},
        {"TARGET\\RECOVERY\\SECONDS", seconds},
        {"SOURCE\\STATICCOMMONIMPORT", "FALSE"},
        {"SOURCE\\CACHE\\ENABLED", "TRUE"},
        {"OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE", "0"},
        {"OPTIONS\\PERFORMANCE\\THROTTLE", "FALSE"},
        {"OPTIONS\\NOIU\\ASKFORDATES\\HIDE_UI", "TRUE"},
        {"OPTIONS\\PASSWORD_PROTECT_INTERACTIVE_IMPORT", "NO"},
        {"OPTIONS\\LOG_VERBOSITY", "9"},
    };
    for (const auto& [key, value] : settings)
        SetConfig(key, value);
}

QStringList ImportRunFixture::ValueRows(const QString& facility) {
    QStringList out;
    const QStringList tables{"DATATBL", "DATADD4", "DATADDH", "DATADD3", "DATADDF", "DATADD5", "DATADD1"};
    for (const QString& table : tables) {
        const QString stamp = table == QLatin1String("DATATBL") ? "datestamp" : "slotstarttime";
        for (const QList<Variant>& r :
             target().query(facility, "select varid, " + stamp +
                                          ", curvalue, textvalue, status, audituser from " + table))
            out.append(table + " " + r[0].toText() + " " + StampText(r[1]) + " " +
                       (r[3].isNull() ? ValueText(r[2]) : r[3].toText()) + " " + r[4].toText() + " " +
                       r[5].toText());
    }
    out.sort();
    return out;
}

QStringList ImportRunFixture::Rows(const QString& facility, const QString& table, int varid) {
    const QString stamp = table == QLatin1String("DATATBL") ? "datestamp" : "slotstarttime";
    QStringList out;
    for (const QList<Variant>& r : target().query(facility,
                                                  "select " + stamp + ", curvalue, textvalue from " + table +
                                                      " where varid = ? order by " + stamp,
                                                  {Variant(varid)}))
        out.append(StampText(r[0]) + "=" + (r[2].isNull() ? ValueText(r[1]) : r[2].toText()));
    return out;
}

QString ImportRunFixture::LastRun(const QString& facility) {
    const auto rows =
        target().query(QStringLiteral("QTXROOT"),
                       "select LASTRUN from g2_server_run where INTERFACE_ID = ? and FILENAME = ?",
                       {Variant(CollectorId), Variant(facility)});
    if (rows.isEmpty()) return QString();
    return StampText(rows[0][0]);
}
