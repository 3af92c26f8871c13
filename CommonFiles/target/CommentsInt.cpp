#include "CommonFiles/target/CommentsInt.h"

#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/Variant.h"

using namespace ado;

namespace {

void add(Command& cmd, const char* name, int type, int direction, int size = 0) {
    cmd.appendParameter(cmd.CreateParameter(QString::fromLatin1(name), type, direction, size));
}

void set(Command& cmd, const char* name, const Variant& value) {
    cmd.Parameters(QLatin1StringView(name)).setValue(value);
}

Command prepare(const Connection& cn, const QString& name) {
    Command cmd;
    cmd.setActiveConnection(cn);
    cmd.setCommandText(name);
    cmd.setCommandType(adCmdStoredProc);
    return cmd;
}

} // namespace

void CommentsInt::Connect(const ado::Connection& cn) {
    cn_ = cn;

    delete_ = prepare(cn_, QStringLiteral("deletecmts"));
    add(delete_, "date", adDate, adParamInput);
    add(delete_, "varId", adInteger, adParamInput);
    add(delete_, "audituser", adVarChar, adParamInput, 50);

    // The target spells the user parameter of this procedure with a double t.
    write_ = prepare(cn_, QStringLiteral("WRITETBL_C"));
    add(write_, "date", adDate, adParamInput);
    add(write_, "varId", adInteger, adParamInput);
    add(write_, "comment_in", adVarWChar, adParamInput, 2000);
    add(write_, "audittuser", adVarChar, adParamInput, 50);
}

void CommentsInt::WriteData(double date, std::int32_t varId, const QString& comment) {
    set(write_, "date", Variant::fromDate(date));
    set(write_, "varId", varId);
    set(write_, "comment_in", comment);
    set(write_, "audittuser", GetWriteAsUser());
    write_.Execute();
}

void CommentsInt::deletecmts(double date, std::int32_t varId) {
    set(delete_, "date", Variant::fromDate(date));
    set(delete_, "varId", varId);
    set(delete_, "audituser", GetWriteAsUser());
    delete_.Execute();
}

void CommentsInt::Seekcmts(double, std::int32_t, QString&, QString&, double&) {}
