#include "CommonFiles/target/DatatblInt.h"

#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/target/TargetSupport.h"

using namespace ado;

namespace {

void add(Command& cmd, const char* name, int type, int direction, int size = 0) {
    cmd.appendParameter(cmd.CreateParameter(QString::fromLatin1(name), type, direction, size));
}

void set(Command& cmd, const char* name, const Variant& value) {
    cmd.Parameters(QLatin1StringView(name)).setValue(value);
}

Variant out(Command& cmd, const char* name) {
    return cmd.Parameters(QLatin1StringView(name)).Value();
}

} // namespace

ado::Command DatatblInt::prepare(const QString& name) {
    Command cmd;
    cmd.setActiveConnection(cn_);
    cmd.setCommandText(name);
    cmd.setCommandType(adCmdStoredProc);
    return cmd;
}

void DatatblInt::Connect(const ado::Connection& cn) {
    cn_ = cn;

    seek_ = prepare(QStringLiteral("seekddatevarid"));
    add(seek_, "datestamp_1", adDate, adParamInput);
    add(seek_, "varid_2", adInteger, adParamInput);
    add(seek_, "curvalue_3", adDouble, adParamOutput);
    add(seek_, "textvalue_4", adVarWChar, adParamOutput, 255);
    add(seek_, "varid_5", adInteger, adParamOutput);
    add(seek_, "audituser", adVarChar, adParamOutput, 50);
    add(seek_, "audittimestamp", adDate, adParamOutput);
    add(seek_, "forced", adInteger, adParamOutput);
    add(seek_, "status", adInteger, adParamOutput);

    delete_ = prepare(QStringLiteral("deletedtbl"));
    add(delete_, "date", adDate, adParamInput);
    add(delete_, "varid", adInteger, adParamInput);
    add(delete_, "audituser", adVarChar, adParamInput, 50);

    write_ = prepare(QStringLiteral("writedtbl"));
    add(write_, "date", adDate, adParamInput);
    add(write_, "varid", adInteger, adParamInput);
    add(write_, "value", adDouble, adParamInput);
    add(write_, "textvalue", adVarWChar, adParamInput, 255);
    add(write_, "audituser", adVarChar, adParamInput, 50);
    add(write_, "status", adInteger, adParamInput);

    setForced_ = prepare(QStringLiteral("SETFORCED"));
    add(setForced_, "date", adDate, adParamInput);
    add(setForced_, "varid", adInteger, adParamInput);
    add(setForced_, "audituser", adVarChar, adParamInput, 50);
    add(setForced_, "forced", adInteger, adParamInput);
}

void DatatblInt::SeekDateVarId(double date, std::int32_t varId, double& value, QString& text,
                               QString* auditUser, double* auditTimestamp, std::int32_t* forced,
                               std::int32_t* status) {
    set(seek_, "datestamp_1", Variant::fromDate(date));
    set(seek_, "varid_2", varId);
    seek_.Execute();
    if (forced) *forced = 0;
    if (out(seek_, "varid_5").isNull()) {
        noMatch_ = true;
        return;
    }
    noMatch_ = false;
    value = out(seek_, "curvalue_3").toDouble();
    const Variant t = out(seek_, "textvalue_4");
    text = t.isNull() ? QString() : TrimBlanks(t.toText());
    if (auditUser) *auditUser = TrimBlanks(out(seek_, "audituser").toText());
    if (auditTimestamp) {
        const Variant stamp = out(seek_, "audittimestamp");
        *auditTimestamp = stamp.isNull() ? 0.0 : stamp.toDate();
    }
    if (forced) *forced = out(seek_, "forced").toInt32();
    if (status) *status = out(seek_, "status").toInt32();
}

void DatatblInt::deletedtbl(double date, std::int32_t varId) {
    set(delete_, "date", Variant::fromDate(date));
    set(delete_, "varid", varId);
    set(delete_, "audituser", GetWriteAsUser());
    delete_.Execute();
}

void DatatblInt::WriteData(double date, std::int32_t varId, double value, const QString& text,
                           std::int32_t status) {
    set(write_, "date", Variant::fromDate(date));
    set(write_, "varid", varId);
    set(write_, "value", value);
    set(write_, "textvalue", text);
    set(write_, "audituser", GetWriteAsUser());
    set(write_, "status", status);
    write_.Execute();
}

void DatatblInt::SetForced(double date, std::int32_t varId, std::int32_t forced) {
    set(setForced_, "date", Variant::fromDate(date));
    set(setForced_, "varid", varId);
    set(setForced_, "audituser", GetWriteAsUser());
    set(setForced_, "forced", forced);
    setForced_.Execute();
}

void DatatblInt::SetStatus(double date, std::int32_t varId, std::int32_t status) {
    double value = 0;
    QString text;
    QString auditUser;
    double auditTimestamp = 0;
    std::int32_t forced = 0;
    std::int32_t oldStatus = 0;
    SeekDateVarId(date, varId, value, text, &auditUser, &auditTimestamp, &forced, &oldStatus);
    if (!noMatch_ && oldStatus != status) WriteData(date, varId, value, text, status);
}
