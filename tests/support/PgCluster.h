#pragma once

#include <QString>

#include <gtest/gtest.h>

#include <memory>

// A private PostgreSQL server for tests: a cluster in a fresh temporary folder, listening on
// 127.0.0.1 on a free port, with its socket in that folder. When the tests run as root the
// server runs as the postgres OS user (initdb refuses root). Trust authentication for local
// connections and md5/scram for passwords, fsync off. Stopped and removed by the destructor,
// also when a test fails.
class PgCluster {
public:
    PgCluster();
    ~PgCluster();
    PgCluster(const PgCluster&) = delete;
    PgCluster& operator=(const PgCluster&) = delete;

    void start();   // initdb on first use, then pg_ctl start; throws std::runtime_error on failure
    void stop();    // fast shutdown; connections are cut
    void restart(); // stop, then start on the same port
    bool running() const { return running_; }

    int port() const { return port_; }
    QString dataDir() const;
    // "postgresql://127.0.0.1:PORT", the Data Source that selects this server in a connection string.
    QString connectionDataSource() const;
    // The superuser the tests may connect as (trust authentication).
    QString superuser() const { return superuser_; }

    // Creates a database owned by the superuser (lower-cased, as unquoted names fold).
    void createDatabase(const QString& name);
    // Creates a login role with a password (lower-cased). Superuser by default, so a test can create
    // and read whatever it needs under that role; authentication is trust, so any password works.
    void createRole(const QString& name, const QString& password = QStringLiteral("secret"),
                    bool superuser = true);
    // Runs a script (several statements) in the database through libpq; throws on error.
    void exec(const QString& db, const QString& sql);

    // The one cluster of the test executable (started by PgEnvironment).
    static PgCluster& shared();

private:
    QString pgBin(const QString& tool) const;
    void runAsOwner(const QStringList& args, const QString& what) const;

    QString root_;
    int port_ = 0;
    bool running_ = false;
    bool initialised_ = false;
    bool asPostgresUser_ = false;
    QString superuser_;
};

// A gtest Environment that starts one cluster for the whole test executable and removes it at
// the end: `::testing::AddGlobalTestEnvironment(new PgEnvironment)` or PgEnvironment::ensure().
class PgEnvironment : public ::testing::Environment {
public:
    void SetUp() override;
    void TearDown() override;
    // Registers the environment once (safe to call from several test files' static initialisers).
    static bool ensure();
};
