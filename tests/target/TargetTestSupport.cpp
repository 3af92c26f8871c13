#include "tests/target/TargetTestSupport.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/ConfigurationKeys.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/target/ConnectionManager.h"
#include "CommonFiles/target/TargetConnection.h"
#include "tests/support/PgCluster.h"

#include <QFile>

namespace {

const bool pgRegistered = PgEnvironment::ensure();

// The configuration keys exist once per process, as start-up defines them.
void defineKeys() {
    static const bool defined = [] {
        DefineStartupKeys(AppConfig());
        return true;
    }();
    (void)defined;
}

} // namespace

std::string engineName(const ::testing::TestParamInfo<fixtures::Engine>& info) {
    return info.param == fixtures::Engine::SQLite ? "SQLite" : "PostgreSQL";
}

TargetSite::TargetSite(fixtures::Engine engine) {
    (void)pgRegistered;
    defineKeys();
    if (engine == fixtures::Engine::SQLite) {
        dir_ = std::make_unique<TempDir>();
        host_ = fixtures::DatabaseHost::sqliteFolder(dir_->path());
    } else {
        PgCluster& pg = PgCluster::shared();
        host_ = fixtures::DatabaseHost::postgres(QStringLiteral("127.0.0.1"), pg.port(), pg.superuser());
    }
    target_ = fixtures::TargetDatabase::create(host_);
    configure();
}

TargetSite::~TargetSite() = default;

void TargetSite::configure(int dbType) const {
    QTXConfiguration& config = AppConfig();
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DBTYPE"), QString::number(dbType));
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_PROVIDER"),
                   dbType == 1 ? QStringLiteral("OraOLEDB.Oracle") : QStringLiteral("SQLNCLI"));
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_DATASOURCE"), host_.dataSource());
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_CUSTOMIZATIONS"), QString());
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_TIMEOUT"), QStringLiteral("15"));
    config.setItem(QStringLiteral("VESKDRAQ\\VESKDRAQ_CONNECTION_COMMAND_TIMEOUT"), QStringLiteral("30"));
}

ado::Connection TargetSite::openRoot() const {
    ConnectionManager manager;
    EXPECT_TRUE(InitTargetConnectionManager(manager));
    ado::Connection cn;
    manager.ConfigCnn4QTXROOT(cn);
    cn.Open();
    return cn;
}

ado::Connection TargetSite::openFacility(const QString& facility) const {
    ConnectionManager manager;
    EXPECT_TRUE(InitTargetConnectionManager(manager));
    ado::Connection cn;
    manager.ConfigCnn4FACILITY(cn, facility);
    cn.Open();
    return cn;
}

LogCapture::LogCapture() {
    QTXLoggerTXT& log = AppLog();
    log.closeLog();
    log.setLogPath(dir_.path());
    log.setBufferLength(1);
    log.setVerbosity(9);
    log.setEnabled(true);
    AppMsgBox().setLogHandler(&log);
}

LogCapture::~LogCapture() {
    AppLog().closeLog();
    AppLog().setEnabled(false);
}

QStringList LogCapture::messages() const {
    const QString name = AppLog().currentFileName();
    if (name.isEmpty()) return {};
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QStringList out;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        QString line = QString::fromUtf8(raw);
        if (line.endsWith(QLatin1Char('\r'))) line.chop(1);
        if (line.size() >= 11 && line.mid(8, 3) == QLatin1String(" : "))
            out.append(line.mid(11));
        else if (!line.isEmpty() && !out.isEmpty())
            out.last() += '\n' + line; // a message with a line break
    }
    return out;
}

RecordingPresenter::RecordingPresenter() {
    AppMsgBox().setSilentOperation(false);
    AppMsgBox().setPresenter(this);
}

RecordingPresenter::~RecordingPresenter() {
    AppMsgBox().setPresenter(nullptr);
}

int RecordingPresenter::show(const QString& prompt, int buttons, const std::optional<QString>& title,
                             const std::optional<QString>&, const std::optional<int>&) {
    boxes.append({prompt, buttons, title.value_or(QString())});
    return QTXmsgBoxHandler::vbOK;
}

RunMode::RunMode(bool service) {
    SetRunAsNTService(service);
}
RunMode::~RunMode() {
    SetRunAsNTService(false);
}
