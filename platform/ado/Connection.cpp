#include "platform/ado/Connection.h"

#include "platform/ado/ConnectionData.h"
#include "platform/ado/OdbcBackend.h"
#include "platform/ado/PgBackend.h"
#include "platform/ado/SqliteBackend.h"

namespace ado {

void Connection::Data::requireOpen() const {
    if (!isOpen()) throw AdoError(LayerError::ConnectionFailed, "The connection is closed");
}

void Connection::Data::fault(CallInfo::Kind kind, const QString& text) const {
    if (!detail::faultHookInstalled) return;
    CallInfo info;
    if (parsed) {
        info.dataSource = parsed->dataSource();
        info.catalog = parsed->catalog();
    } else {
        try {
            const ado::ConnectionString cs = ado::ConnectionString::parse(connectionString);
            info.dataSource = cs.dataSource();
            info.catalog = cs.catalog();
        } catch (const AdoError&) {
        }
    }
    info.kind = kind;
    info.text = text;
    detail::callFaultHook(info);
}

void Connection::Data::record(const AdoError& e) {
    errors = {Error{e.number(), e.description()}};
    if (backend && !backend->isOpen()) {
        // The engine lost the session: the handle reports closed and may be opened again.
        pastRoundTrips += backend->roundTrips();
        backend.reset();
        transactionDepth = 0;
    }
}

Connection::Connection() : d_(std::make_shared<Data>()) {}

Connection::Connection(std::shared_ptr<Data> d) : d_(std::move(d)) {}

QString Connection::ConnectionString() const {
    return d_->connectionString;
}
void Connection::setConnectionString(const QString& cs) {
    d_->connectionString = cs;
}
int Connection::CursorLocation() const {
    return d_->cursorLocation;
}
void Connection::setCursorLocation(int location) {
    d_->cursorLocation = location;
}
int Connection::ConnectionTimeout() const {
    return d_->connectionTimeout;
}
void Connection::setConnectionTimeout(int seconds) {
    d_->connectionTimeout = seconds < 0 ? 0 : seconds;
}
int Connection::CommandTimeout() const {
    return d_->commandTimeout;
}

void Connection::setCommandTimeout(int seconds) {
    d_->commandTimeout = seconds < 0 ? 0 : seconds;
    if (d_->isOpen()) d_->guarded([&] { d_->backend->setCommandTimeout(d_->commandTimeout); });
}

void Connection::Open(const QString& connectionString, const QString& userId, const QString& password, int) {
    d_->guarded([&] {
        if (d_->isOpen()) throw AdoError(LayerError::NotSupported, "The connection is already open");
        if (!connectionString.isEmpty()) d_->connectionString = connectionString;
        auto cs = ado::ConnectionString::parse(d_->connectionString);
        if (!userId.isEmpty()) cs.set("User ID", userId);
        if (!password.isEmpty()) cs.set("Password", password);
        d_->parsed = cs;
        d_->fault(CallInfo::Open, cs.dataSource());
        std::unique_ptr<Backend> backend;
        switch (cs.engine()) {
        case ado::ConnectionString::Engine::Sqlite:
            backend = std::make_unique<SqliteBackend>();
            break;
        case ado::ConnectionString::Engine::Postgres:
            backend = std::make_unique<PgBackend>();
            break;
        case ado::ConnectionString::Engine::Odbc:
            backend = std::make_unique<OdbcBackend>();
            break;
        }
        try {
            backend->open(cs, d_->connectionTimeout, d_->commandTimeout);
        } catch (...) {
            d_->pastRoundTrips += backend->roundTrips();
            throw;
        }
        d_->backend = std::move(backend);
        d_->everOpened = true;
        d_->transactionDepth = 0;
    });
}

void Connection::Close() {
    if (d_->backend) {
        d_->backend->close();
        d_->pastRoundTrips += d_->backend->roundTrips();
    }
    d_->backend.reset();
    d_->transactionDepth = 0;
}

int Connection::State() const {
    return d_->isOpen() ? adStateOpen : adStateClosed;
}

Recordset Connection::Execute(const QString& sql) {
    Recordset rs;
    rs.d_ = std::make_shared<Recordset::Data>();
    rs.d_->conn = d_;
    rs.d_->sql = sql;
    ResultSet result = d_->guarded([&] {
        d_->requireOpen();
        d_->fault(CallInfo::Statement, sql);
        return d_->backend->execute(sql, {});
    });
    if (result.hasRows) rs.d_->load(std::move(result));
    return rs;
}

QList<Error> Connection::Errors() const {
    return d_->errors;
}

QString Connection::Property(const QString& name) const {
    const QString n = name.simplified().toLower();
    if (n == "dbms name") return d_->backend ? d_->backend->dbmsName() : QString();
    try {
        const auto cs =
            d_->parsed && d_->isOpen() ? *d_->parsed : ado::ConnectionString::parse(d_->connectionString);
        if (n == "password") return {}; // never handed out
        return cs.value(name);
    } catch (const AdoError&) {
        return {};
    }
}

void Connection::BeginTrans() {
    d_->guarded([&] {
        d_->requireOpen();
        if (d_->transactionDepth > 0)
            throw AdoError(LayerError::NotSupported, "Nested transactions are not supported");
        d_->fault(CallInfo::Statement, "BEGIN");
        d_->backend->begin();
        d_->transactionDepth = 1;
    });
}

void Connection::CommitTrans() {
    d_->guarded([&] {
        d_->requireOpen();
        if (d_->transactionDepth == 0) throw AdoError(LayerError::NotSupported, "No transaction is active");
        d_->fault(CallInfo::Statement, "COMMIT");
        d_->transactionDepth = 0;
        d_->backend->commit();
    });
}

void Connection::RollbackTrans() {
    d_->guarded([&] {
        d_->requireOpen();
        if (d_->transactionDepth == 0) throw AdoError(LayerError::NotSupported, "No transaction is active");
        d_->transactionDepth = 0;
        d_->backend->rollback();
    });
}

std::uint64_t Connection::RoundTrips() const {
    return d_->pastRoundTrips + (d_->backend ? d_->backend->roundTrips() : 0);
}

bool Connection::isNull() const {
    return !d_ || !d_->everOpened;
}

} // namespace ado
