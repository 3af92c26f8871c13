// Placeholder bodies so callers can build against the headers while the backends are written.
#include "platform/ado/Command.h"
#include "platform/ado/Connection.h"
#include "platform/ado/FaultHook.h"
#include "platform/ado/Recordset.h"

namespace ado {
namespace {
[[noreturn]] void notYet() { throw AdoError(LayerError::NotSupported, "database layer not built yet"); }
} // namespace

void setFaultHook(std::function<void(const CallInfo&)>) {}

struct Connection::Data {};
Connection::Connection() {}
Connection::Connection(std::shared_ptr<Data> d) : d_(std::move(d)) {}
QString Connection::ConnectionString() const { return {}; }
void Connection::setConnectionString(const QString&) {}
int Connection::CursorLocation() const { return adUseServer; }
void Connection::setCursorLocation(int) {}
int Connection::ConnectionTimeout() const { return 15; }
void Connection::setConnectionTimeout(int) {}
int Connection::CommandTimeout() const { return 30; }
void Connection::setCommandTimeout(int) {}
void Connection::Open(const QString&, const QString&, const QString&, int) { notYet(); }
void Connection::Close() {}
int Connection::State() const { return adStateClosed; }
Recordset Connection::Execute(const QString&) { notYet(); }
QList<Error> Connection::Errors() const { return {}; }
QString Connection::Property(const QString&) const { return {}; }
void Connection::BeginTrans() { notYet(); }
void Connection::CommitTrans() { notYet(); }
void Connection::RollbackTrans() { notYet(); }
std::uint64_t Connection::RoundTrips() const { return 0; }
bool Connection::isNull() const { return !d_; }

struct Recordset::Data {};
Recordset::Recordset() {}
void Recordset::Open(const QString&, const Connection&, int, int, int) { notYet(); }
void Recordset::Open(Command&, int, int) { notYet(); }
void Recordset::Close() {}
int Recordset::State() const { return adStateClosed; }
bool Recordset::Eof() const { return true; }
bool Recordset::Bof() const { return true; }
std::int32_t Recordset::RecordCount() const { return 0; }
void Recordset::MoveNext() { notYet(); }
void Recordset::MoveFirst() { notYet(); }
void Recordset::MoveLast() { notYet(); }
void Recordset::MovePrevious() { notYet(); }
int Recordset::FieldCount() const { return 0; }
QString Recordset::FieldName(int) const { notYet(); }
Variant Recordset::Fields(int) const { notYet(); }
Variant Recordset::Fields(const QString&) const { notYet(); }
bool Recordset::hasField(const QString&) const { return false; }
void Recordset::setField(const QString&, const Variant&) { notYet(); }
void Recordset::setField(int, const Variant&) { notYet(); }
void Recordset::AddNew() { notYet(); }
void Recordset::Update() { notYet(); }
void Recordset::CancelUpdate() {}
void Recordset::Resync() { notYet(); }
bool Recordset::isNull() const { return !d_; }

struct Command::Data {
    QList<Parameter> params;
};
Command::Command() : d_(std::make_shared<Data>()) {}
void Command::setActiveConnection(const Connection&) {}
Connection Command::ActiveConnection() const { return {}; }
void Command::setCommandText(const QString&) {}
QString Command::CommandText() const { return {}; }
void Command::setCommandType(int) {}
int Command::CommandType() const { return adCmdText; }
int Command::CommandTimeout() const { return -1; }
void Command::setCommandTimeout(int) {}
Parameter Command::CreateParameter(const QString& name, int type, int direction, int size, const Variant& value) {
    return Parameter(name, type, direction, size, value);
}
void Command::appendParameter(const Parameter& p) { d_->params.append(p); }
int Command::ParameterCount() const { return int(d_->params.size()); }
Parameter& Command::Parameters(int index) { return d_->params[index]; }
Parameter& Command::Parameters(const QString&) { notYet(); }
void Command::clearParameters() { d_->params.clear(); }
void Command::Execute() { notYet(); }
Recordset Command::ExecuteQuery() { notYet(); }

} // namespace ado
