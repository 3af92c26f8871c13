#include "tests/support/PgCluster.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

namespace {

const char* const kBinDir = "/usr/lib/postgresql/15/bin";
const char* const kFolderPrefix = "k48213-pg-";

int freePort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("PgCluster: no socket for a port probe");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof(addr);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("PgCluster: cannot find a free port");
    }
    int port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

bool validName(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,62}$"));
    return re.match(name).hasMatch();
}

// A crashed test run cannot stop its server; the next run does, so clusters never pile up.
void removeStaleClusters(const QString& pgCtl, bool asPostgres) {
    QDirIterator it(QDir::tempPath(), {QString(kFolderPrefix) + "*"}, QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        const QString dir = it.next();
        QFile ownerFile(dir + "/owner.pid");
        if (!ownerFile.open(QIODevice::ReadOnly)) continue;
        const pid_t owner = ownerFile.readAll().trimmed().toInt();
        if (owner <= 0 || ::kill(owner, 0) == 0) continue;
        QStringList args{pgCtl, "stop", "-D", dir + "/data", "-m", "immediate", "-w"};
        if (asPostgres) args = QStringList{"-u", "postgres", "--"} + args;
        QProcess::execute(asPostgres ? "runuser" : pgCtl, asPostgres ? args : args.mid(1));
        QDir(dir).removeRecursively();
    }
}

} // namespace

PgCluster::PgCluster() : asPostgresUser_(::geteuid() == 0), superuser_(QStringLiteral("postgres")) {}

PgCluster::~PgCluster() {
    if (running_) {
        try {
            stop();
        } catch (...) {
        }
    }
    if (!root_.isEmpty()) QDir(root_).removeRecursively();
}

QString PgCluster::pgBin(const QString& tool) const {
    return QString(kBinDir) + "/" + tool;
}

QString PgCluster::dataDir() const {
    return root_ + "/data";
}

QString PgCluster::connectionDataSource() const {
    return QStringLiteral("postgresql://127.0.0.1:%1").arg(port_);
}

void PgCluster::runAsOwner(const QStringList& args, const QString& what) const {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (asPostgresUser_)
        p.start("runuser", QStringList{"-u", "postgres", "--"} + args);
    else
        p.start(args.first(), args.mid(1));
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        throw std::runtime_error(
            QString("PgCluster: %1 failed: %2").arg(what, QString::fromLocal8Bit(p.readAll())).toStdString());
    }
}

void PgCluster::start() {
    if (running_) return;
    if (!initialised_) {
        if (asPostgresUser_ && !::getpwnam("postgres"))
            throw std::runtime_error("PgCluster: running as root needs the postgres OS user");
        removeStaleClusters(pgBin("pg_ctl"), asPostgresUser_);
        QByteArray templ = QFile::encodeName(QDir::tempPath() + "/" + kFolderPrefix + "XXXXXX");
        if (!::mkdtemp(templ.data())) throw std::runtime_error("PgCluster: cannot create a temporary folder");
        root_ = QFile::decodeName(templ);
        QFile ownerFile(root_ + "/owner.pid");
        if (ownerFile.open(QIODevice::WriteOnly)) ownerFile.write(QByteArray::number(::getpid()));
        ownerFile.close();
        if (asPostgresUser_) {
            const passwd* pw = ::getpwnam("postgres");
            if (::chown(templ.constData(), pw->pw_uid, pw->pw_gid) != 0)
                throw std::runtime_error("PgCluster: cannot hand the folder to the postgres user");
        }
        runAsOwner({pgBin("initdb"), "-D", dataDir(), "-U", superuser_, "-E", "UTF8", "--locale=C",
                    "--auth-local=trust", "--auth-host=trust", "--no-sync"},
                   "initdb");
        initialised_ = true;
        port_ = freePort();
    }
    const QString opts = QStringLiteral("-p %1 -c listen_addresses=127.0.0.1 -c unix_socket_directories=%2 "
                                        "-c fsync=off -c synchronous_commit=off -c full_page_writes=off "
                                        "-c max_connections=50")
                             .arg(port_)
                             .arg(root_);
    for (int attempt = 0;; ++attempt) {
        try {
            runAsOwner({pgBin("pg_ctl"), "start", "-D", dataDir(), "-w", "-t", "60", "-l",
                        root_ + "/server.log", "-o", opts},
                       "pg_ctl start");
            break;
        } catch (const std::exception&) {
            // The probed port may have been taken meanwhile: try another one.
            if (attempt >= 2) throw;
            port_ = freePort();
        }
    }
    running_ = true;
}

void PgCluster::stop() {
    if (!running_) return;
    running_ = false;
    runAsOwner({pgBin("pg_ctl"), "stop", "-D", dataDir(), "-m", "fast", "-w", "-t", "60"}, "pg_ctl stop");
}

void PgCluster::restart() {
    stop();
    start();
}

void PgCluster::createDatabase(const QString& name) {
    if (!validName(name)) throw std::runtime_error("PgCluster: bad database name " + name.toStdString());
    exec("postgres", "CREATE DATABASE " + name.toLower());
}

void PgCluster::createRole(const QString& name, const QString& password, bool superuser) {
    if (!validName(name)) throw std::runtime_error("PgCluster: bad role name " + name.toStdString());
    QString pw = password;
    pw.replace("'", "''");
    exec("postgres", QStringLiteral("CREATE ROLE %1 LOGIN %2 PASSWORD '%3'")
                         .arg(name.toLower(), superuser ? "SUPERUSER" : "", pw));
}

void PgCluster::exec(const QString& db, const QString& sql) {
    const QByteArray conninfo = QStringLiteral("host=127.0.0.1 port=%1 user=%2 dbname=%3 connect_timeout=10")
                                    .arg(port_)
                                    .arg(superuser_, db.toLower())
                                    .toUtf8();
    PGconn* conn = PQconnectdb(conninfo.constData());
    if (PQstatus(conn) != CONNECTION_OK) {
        const std::string msg = PQerrorMessage(conn);
        PQfinish(conn);
        throw std::runtime_error("PgCluster: connect failed: " + msg);
    }
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    PGresult* res = PQexec(conn, sql.toUtf8().constData());
    const ExecStatusType st = PQresultStatus(res);
    const std::string msg = PQresultErrorMessage(res);
    PQclear(res);
    PQfinish(conn);
    if (st != PGRES_COMMAND_OK && st != PGRES_TUPLES_OK)
        throw std::runtime_error("PgCluster: script failed: " + msg);
}

PgCluster& PgCluster::shared() {
    static PgCluster cluster;
    return cluster;
}

void PgEnvironment::SetUp() {
    PgCluster::shared().start();
}

void PgEnvironment::TearDown() {
    PgCluster::shared().stop();
}

bool PgEnvironment::ensure() {
    static const bool registered = [] {
        ::testing::AddGlobalTestEnvironment(new PgEnvironment);
        return true;
    }();
    return registered;
}
