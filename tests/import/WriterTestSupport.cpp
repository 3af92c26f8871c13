#include "tests/import/WriterTestSupport.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/QTXmsgBoxHandler.h"
#include "tests/support/PgCluster.h"

#include <QDir>
#include <QFile>

namespace writertest {

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

void StartNewLog() {
    AppLog().closeLog();
    logFolder() = std::make_unique<TempDir>();
    AppLog().setLogPath(logFolder()->path());
    AppLog().setLogHandleFile(logFolder()->file(QStringLiteral("k48213.log_handle")));
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
        const QString text = QString::fromUtf8(f.readAll());
        for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            out.append(line.mid(11)); // drop "hh:mm:ss : "
    }
    return out;
}

int CountLogMessage(const QString& message) {
    return static_cast<int>(LogMessages().count(message));
}

int CountLogMessagesStartingWith(const QString& prefix) {
    int n = 0;
    for (const QString& m : LogMessages())
        if (m.startsWith(prefix)) ++n;
    return n;
}

void SetConfig(const QString& key, const QString& value) {
    AppConfig().setItem(key, value);
}

double Date(int y, int mo, int d, int h, int mi, int s) {
    return OleDate::fromParts(y, mo, d, h, mi, s);
}

QString Text(double date) {
    return OleDate::toIsoMs(date).left(19);
}

QString Text(const Variant& value) {
    if (value.isNull() || value.isEmpty()) return QString();
    return Text(value.toDate());
}

std::string EngineName(const ::testing::TestParamInfo<fixtures::Engine>& info) {
    return info.param == fixtures::Engine::SQLite ? "SQLite" : "PostgreSQL";
}

} // namespace writertest

void WriterTest::SetUp() {
    writertest::InitProcess();
    writertest::StartNewLog();
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
    target().addFacility({Facility, QStringLiteral("Plant One"), Variant::null(), Variant::null()});
    target().addApprovalLevel(Facility, 1);
    target().addLogbook(Facility, 7);
    target().addLogbook(Facility, 8);

    using writertest::SetConfig;
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE"), QStringLiteral("2"));
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER"), QStringLiteral("SQLNCLI"));
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE"), host_.dataSource());
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS"), QString());
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_TIMEOUT"), QStringLiteral("15"));
    SetConfig(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_COMMAND_TIMEOUT"), QStringLiteral("30"));
    SetRunAsNTService(true);
    SetWriteAsUser(QString());
}

void WriterTest::TearDown() {
    SetRunAsNTService(false);
    AppLog().closeLog();
}

QList<QList<Variant>> WriterTest::rows(const QString& sql, const QList<Variant>& params) {
    return target().query(Facility, sql, params);
}
