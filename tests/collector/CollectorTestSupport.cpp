#include "tests/collector/CollectorTestSupport.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "tests/support/PgCluster.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace CollectorTest {

namespace {
std::unique_ptr<TempDir>& homeFolder() {
    static std::unique_ptr<TempDir> dir;
    return dir;
}
std::unique_ptr<TempDir>& logFolder() {
    static std::unique_ptr<TempDir> dir;
    return dir;
}
} // namespace

void InitProcess() {
    static const bool done = [] {
        homeFolder() = std::make_unique<TempDir>();
        qputenv("K48213_HOME", homeFolder()->path().toUtf8());
        DefineStartupKeys(AppConfig());
        AppMsgBox().setLogHandler(&AppLog());
        AppMsgBox().setSilentOperation(true);
        return true;
    }();
    (void)done;
}

QString ApplicationFolder() {
    return homeFolder()->path();
}

void StartNewLog() {
    AppLog().closeLog();
    logFolder() = std::make_unique<TempDir>();
    AppLog().setLogPath(logFolder()->path());
    AppLog().setLogHandleFile(logFolder()->file("k48213.log_handle"));
    AppLog().setBufferLength(1);
    AppLog().setVerbosity(9);
    AppLog().setEnabled(true);
}

QStringList LogMessages() {
    QStringList out;
    if (!logFolder()) return out;
    const QDir dir(logFolder()->path());
    for (const QString& name : dir.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name)) {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::ReadOnly)) continue;
        QString text = QString::fromUtf8(f.readAll());
        for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            out.append(line.mid(11)); // drop "hh:mm:ss : "
    }
    return out;
}

int CountLogMessage(const QString& message) {
    return static_cast<int>(LogMessages().count(message));
}

void SetConfig(const QString& key, const QString& value) {
    AppConfig().setItem(key, value);
}

QString Text(double date) {
    return OleDate::toIsoMs(date).left(19);
}

double Date(int y, int mo, int d, int h, int mi, int s) {
    return OleDate::fromParts(y, mo, d, h, mi, s);
}

Variant TimeOfDay(int h, int mi) {
    return Variant::fromDate(OleDate::fromParts(1899, 12, 30, h, mi));
}

std::string EngineName(const ::testing::TestParamInfo<fixtures::Engine>& info) {
    return info.param == fixtures::Engine::SQLite ? "SQLite" : "PostgreSQL";
}

} // namespace CollectorTest

void TargetTest::SetUp() {
    CollectorTest::InitProcess();
    CollectorTest::StartNewLog();
    fixtures::DatabaseHost host;
    if (GetParam() == fixtures::Engine::SQLite) {
        folder_ = std::make_unique<TempDir>();
        host = fixtures::DatabaseHost::sqliteFolder(folder_->path());
    } else {
        PgEnvironment::ensure();
        PgCluster& pg = PgCluster::shared();
        if (!pg.running()) pg.start();
        host = fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg.port(), pg.superuser());
    }
    target_.emplace(fixtures::TargetDatabase::create(host));

    using CollectorTest::SetConfig;
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE"), QStringLiteral("2"));
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER"), QStringLiteral("SQLNCLI"));
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE"), host.dataSource());
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS"), QString());
    SetConfig(QStringLiteral("OPTIONS\\NOIU\\LIMITFACILITY"), QString());
    SetConfig(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\SUBMIT_CALC_REQUEST"), QStringLiteral("NO"));
    SetConfig(QStringLiteral("OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE"), QStringLiteral("0"));
    SetConfig(QStringLiteral("VESKDRAQ\\G2_INDIRECT_TYPE"), QStringLiteral("FALSE"));
    SetRunAsNTService(true);
    SetWriteAsUser(QString());
}

void TargetTest::TearDown() {
    SetRunAsNTService(false);
    AppLog().closeLog();
}

ado::Connection TargetTest::OpenRoot() {
    ConnectionManager manager;
    if (!InitTargetConnectionManager(manager))
        throw std::runtime_error("the connection settings are unusable");
    ado::Connection cn;
    manager.ConfigCnn4QTXROOT(cn);
    cn.Open();
    return cn;
}

void TargetTest::AddFacility(const QString& filename, const QString& name, const Variant& lockDate) {
    target().addFacility({filename, Variant(name.isEmpty() ? filename + QStringLiteral(" plant") : name),
                          Variant::null(), lockDate});
}
