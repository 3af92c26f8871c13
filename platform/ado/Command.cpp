#include "platform/ado/Command.h"

#include "platform/ado/ConnectionData.h"

namespace ado {

namespace {

bool isText(int type) {
    return type == adVarChar || type == adVarWChar;
}

// A text longer than the parameter's size is an error, never a silent cut.
void checkSizes(const QList<Parameter>& params) {
    for (const Parameter& p : params) {
        if (!p.isInput() || p.Size() <= 0 || !isText(p.Type())) continue;
        const Variant& v = p.valueRef();
        if (v.isNull() || v.isEmpty()) continue;
        const qsizetype length = v.toText().size();
        if (length > p.Size())
            throw AdoError(LayerError::ParameterTooLong,
                           QStringLiteral("Parameter '%1': the text has %2 characters, more than its size %3")
                               .arg(p.Name())
                               .arg(length)
                               .arg(p.Size()));
    }
}

std::vector<BindValue> inputs(const QList<Parameter>& params) {
    std::vector<BindValue> out;
    out.reserve(size_t(params.size()));
    for (const Parameter& p : params)
        if (p.isInput())
            out.push_back({p.Type() == adLongVarBinary ? p.valueRef() : toParameterType(p.valueRef(), p.Type()),
                           p.Type() == adLongVarBinary});
    return out;
}

} // namespace

Command::Command() : d_(std::make_shared<Data>()) {
    d_->params.reserve(16);
}

void Command::setActiveConnection(const Connection& cn) {
    d_->conn = cn.d_;
}

Connection Command::ActiveConnection() const {
    return d_->conn ? Connection(d_->conn) : Connection();
}

void Command::setCommandText(const QString& text) {
    d_->text = text;
}
QString Command::CommandText() const {
    return d_->text;
}
void Command::setCommandType(int type) {
    d_->type = type;
}
int Command::CommandType() const {
    return d_->type;
}

Parameter Command::CreateParameter(const QString& name, int type, int direction, int size,
                                   const Variant& value) {
    return Parameter(name, type, direction, size, value);
}

void Command::appendParameter(const Parameter& parameter) {
    d_->params.append(parameter);
}

int Command::ParameterCount() const {
    return int(d_->params.size());
}

Parameter& Command::Parameters(int index) {
    if (index < 0 || index >= d_->params.size())
        throw AdoError(LayerError::ItemNotFound,
                       QStringLiteral("Item cannot be found in the collection: parameter %1").arg(index));
    return d_->params[index];
}

namespace {

// Case folding maps one UTF-16 unit to one, so names of another length never match: the length
// test spares the folding compare on almost every parameter of a call.
template <class Name> Parameter& parameterNamed(QList<Parameter>& params, Name name) {
    for (Parameter& p : params) {
        const QString& n = p.nameRef();
        if (n.size() == name.size() && (n == name || n.compare(name, Qt::CaseInsensitive) == 0)) return p;
    }
    throw AdoError(LayerError::ItemNotFound,
                   "Item cannot be found in the collection: parameter '" + name.toString() + "'");
}

} // namespace

Parameter& Command::Parameters(const QString& name) {
    return parameterNamed(d_->params, QStringView(name));
}

Parameter& Command::Parameters(QLatin1StringView name) {
    return parameterNamed(d_->params, name);
}

void Command::clearParameters() {
    d_->params.clear();
}

void Command::Execute() {
    if (!d_->conn) throw AdoError(LayerError::ConnectionFailed, "The command has no active connection");
    auto& conn = *d_->conn;
    conn.guarded([&] {
        conn.requireOpen();
        checkSizes(d_->params);
        if (d_->type == adCmdStoredProc) {
            conn.fault(CallInfo::Procedure, d_->text);
            conn.backend->callProcedure(d_->text.trimmed(), d_->params);
        } else {
            conn.fault(CallInfo::Statement, d_->text);
            conn.backend->execute(d_->text, inputs(d_->params));
        }
    });
}

Recordset Command::ExecuteQuery() {
    return query(false);
}

Recordset Command::query(bool streamed) {
    if (!d_->conn) throw AdoError(LayerError::ConnectionFailed, "The command has no active connection");
    auto& conn = *d_->conn;
    Recordset rs;
    rs.d_ = std::make_shared<Recordset::Data>();
    rs.d_->conn = d_->conn;
    rs.d_->sql = d_->text;
    const auto run = [&](auto&& call) {
        return conn.guarded([&] {
            conn.requireOpen();
            if (d_->type == adCmdStoredProc)
                throw AdoError(LayerError::NotSupported,
                               "A stored procedure returns its results through output parameters");
            checkSizes(d_->params);
            conn.fault(CallInfo::Statement, d_->text);
            return call();
        });
    };
    if (streamed)
        rs.d_->loadStream(run([&] { return conn.backend->stream(d_->text, inputs(d_->params)); }));
    else
        rs.d_->load(run([&] { return conn.backend->execute(d_->text, inputs(d_->params)); }));
    return rs;
}

} // namespace ado
