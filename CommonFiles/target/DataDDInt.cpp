#include "CommonFiles/target/DataDDInt.h"

#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/OleDate.h"
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

QString trimmedText(const Variant& v) {
    return v.isNull() ? QString() : TrimBlanks(v.toText());
}

double dateOrZero(const Variant& v) {
    return v.isNull() ? 0.0 : v.toDate();
}

} // namespace

QString DataDDInt::SuffixFor(std::int32_t intervalsPerDay) {
    switch (intervalsPerDay) {
    case 6:
        return QStringLiteral("4");
    case 24:
        return QStringLiteral("H");
    case 48:
        return QStringLiteral("3");
    case 96:
        return QStringLiteral("F");
    case 288:
        return QStringLiteral("5");
    case 1440:
        return QStringLiteral("1");
    default:
        return QStringLiteral("H");
    }
}

std::int32_t DataDDInt::MinutesPerIntervalFor(std::int32_t intervalsPerDay) {
    if (intervalsPerDay < 1)
        throw AppError(
            AppError::InvalidArgument,
            QStringLiteral("Invalid procedure call or argument: %1 intervals per day").arg(intervalsPerDay));
    return static_cast<std::int32_t>(Variant::roundHalfEven(1440.0 * (1.0 / intervalsPerDay)));
}

ado::Command DataDDInt::prepare(const QString& name) {
    Command cmd;
    cmd.setActiveConnection(cn_);
    cmd.setCommandText(name);
    cmd.setCommandType(adCmdStoredProc);
    return cmd;
}

void DataDDInt::ConnectTo(const ado::Connection& cn, std::int32_t intervalsPerDay) {
    const std::int32_t minutes = MinutesPerIntervalFor(intervalsPerDay);
    cn_ = cn;
    intervalsPerDay_ = intervalsPerDay;
    suffix_ = SuffixFor(intervalsPerDay);
    minutesPerInterval_ = minutes;
    const QString s = suffix_;

    write_ = prepare("WRITEDD" + s);
    add(write_, "date", adDate, adParamInput);
    add(write_, "varid", adInteger, adParamInput);
    add(write_, "value", adDouble, adParamInput);
    add(write_, "textvalue", adVarWChar, adParamInput, 255);
    add(write_, "audituser", adVarChar, adParamInput, 50);
    add(write_, "slotstarttime", adDate, adParamInput);
    add(write_, "slotendtime", adDate, adParamInput);
    add(write_, "status", adInteger, adParamInput);

    seek_ = prepare("SEEKFDD" + s);
    add(seek_, "datestamp_1", adDate, adParamInput);
    add(seek_, "varid_2", adInteger, adParamInput);
    add(seek_, "curvalue_3", adDouble, adParamOutput);
    add(seek_, "textvalue_4", adVarWChar, adParamOutput, 255);
    add(seek_, "varid_5", adInteger, adParamOutput);
    add(seek_, "audituser", adVarChar, adParamOutput, 50);
    add(seek_, "audittimestamp", adDate, adParamOutput);
    add(seek_, "datestamp_out", adDate, adParamOutput);
    add(seek_, "slotstarttime", adDate, adParamInput);
    add(seek_, "slotendtime", adDate, adParamInput);
    add(seek_, "status", adInteger, adParamOutput);
    add(seek_, "forced", adInteger, adParamOutput);

    seekNext_ = prepare("SEEKNEXTDD" + s);
    add(seekNext_, "varid_in", adInteger, adParamInput);
    add(seekNext_, "slotstart_in", adDate, adParamInput);
    add(seekNext_, "slotend_in", adDate, adParamInput);
    add(seekNext_, "topnum_in", adInteger, adParamInput);
    add(seekNext_, "varid_out", adInteger, adParamOutput);
    add(seekNext_, "datestamp_out", adDate, adParamOutput);
    add(seekNext_, "curvalue_out", adDouble, adParamOutput);
    add(seekNext_, "textvalue_out", adVarWChar, adParamOutput, 255);
    add(seekNext_, "audituser_out", adVarChar, adParamOutput, 50);
    add(seekNext_, "audittimestamp_out", adDate, adParamOutput);
    add(seekNext_, "status_out", adInteger, adParamOutput);
    add(seekNext_, "forced_out", adInteger, adParamOutput);

    delete_ = prepare("DELETEDD" + s);
    add(delete_, "slotstarttime", adDate, adParamInput);
    add(delete_, "varid", adInteger, adParamInput);
    add(delete_, "audituser", adVarChar, adParamInput, 50);
    add(delete_, "slotendtime", adDate, adParamInput);

    setForced_ = prepare("SETFDD" + s);
    add(setForced_, "slotstarttime", adDate, adParamInput);
    add(setForced_, "slotendtime", adDate, adParamInput);
    add(setForced_, "varid", adInteger, adParamInput);
    add(setForced_, "audituser", adVarChar, adParamInput, 50);
    add(setForced_, "forced", adInteger, adParamInput);

    seekComment_ = prepare("SEEKDD" + s + "_C");
    add(seekComment_, "varid_in", adInteger, adParamInput);
    add(seekComment_, "comment_out", adVarWChar, adParamOutput, 2000);
    add(seekComment_, "audituser", adVarChar, adParamOutput, 50);
    add(seekComment_, "audittimestamp", adDate, adParamOutput);
    add(seekComment_, "slotstarttime", adDate, adParamInput);
    add(seekComment_, "slotendtime", adDate, adParamInput);

    writeComment_ = prepare("WRITEDD" + s + "_C");
    add(writeComment_, "datestamp_1", adDate, adParamInput);
    add(writeComment_, "varid_2", adInteger, adParamInput);
    add(writeComment_, "comment_in", adVarWChar, adParamInput, 2000);
    add(writeComment_, "audituser", adVarChar, adParamInput, 50);
    add(writeComment_, "slotstarttime", adDate, adParamInput);
    add(writeComment_, "slotendtime", adDate, adParamInput);

    deleteComment_ = prepare("DELETEDD" + s + "_C");
    add(deleteComment_, "slotstarttime", adDate, adParamInput);
    add(deleteComment_, "varid_2", adInteger, adParamInput);
    add(deleteComment_, "slotendtime", adDate, adParamInput);
    add(deleteComment_, "audituser", adVarChar, adParamInput, 50);
}

double DataDDInt::slotEnd(double slotStart) const {
    return OleDate::addMinutes(slotStart, minutesPerInterval_);
}

void DataDDInt::DeleteComment(double slotStart, std::int32_t varId) {
    set(deleteComment_, "slotstarttime", Variant::fromDate(slotStart));
    set(deleteComment_, "varid_2", varId);
    set(deleteComment_, "slotendtime", Variant::fromDate(slotEnd(slotStart)));
    set(deleteComment_, "audituser", GetWriteAsUser());
    deleteComment_.Execute();
}

void DataDDInt::WriteComment(double slotStart, double dateStamp, std::int32_t varId, const QString& comment) {
    set(writeComment_, "datestamp_1", Variant::fromDate(dateStamp));
    set(writeComment_, "varid_2", varId);
    set(writeComment_, "comment_in", comment);
    set(writeComment_, "audituser", GetWriteAsUser());
    set(writeComment_, "slotstarttime", Variant::fromDate(slotStart));
    set(writeComment_, "slotendtime", Variant::fromDate(slotEnd(slotStart)));
    writeComment_.Execute();
}

void DataDDInt::SeekComment(double slotStart, std::int32_t varId, QString& comment, QString* auditUser,
                            double* auditTimestamp) {
    set(seekComment_, "varid_in", varId);
    set(seekComment_, "slotstarttime", Variant::fromDate(slotStart));
    set(seekComment_, "slotendtime", Variant::fromDate(slotEnd(slotStart)));
    seekComment_.Execute();
    const Variant found = out(seekComment_, "comment_out");
    if (found.isNull() || found.toText().isEmpty()) {
        noMatch_ = true;
        return;
    }
    noMatch_ = false;
    comment = found.toText();
    if (auditUser) *auditUser = out(seekComment_, "audituser").toText();
    if (auditTimestamp) *auditTimestamp = dateOrZero(out(seekComment_, "audittimestamp"));
}

void DataDDInt::SeekData(double slotStart, std::int32_t varId, double& dateStamp, double& value,
                         QString& text, QString* auditUser, double* auditTimestamp, std::int32_t* status,
                         std::int32_t* forced) {
    set(seek_, "datestamp_1", Variant::fromDate(slotStart));
    set(seek_, "slotstarttime", Variant::fromDate(slotStart));
    set(seek_, "slotendtime", Variant::fromDate(slotEnd(slotStart)));
    set(seek_, "varid_2", varId);
    seek_.Execute();
    if (out(seek_, "varid_5").isNull()) {
        noMatch_ = true;
        return;
    }
    noMatch_ = false;
    value = out(seek_, "curvalue_3").toDouble();
    dateStamp = out(seek_, "datestamp_out").toDate();
    text = trimmedText(out(seek_, "textvalue_4"));
    if (auditUser) *auditUser = trimmedText(out(seek_, "audituser"));
    if (auditTimestamp) *auditTimestamp = dateOrZero(out(seek_, "audittimestamp"));
    if (status) *status = out(seek_, "status").toInt32();
    if (forced) *forced = out(seek_, "forced").toInt32();
}

void DataDDInt::DeleteData(double slotStart, std::int32_t varId) {
    set(delete_, "slotstarttime", Variant::fromDate(slotStart));
    set(delete_, "varid", varId);
    set(delete_, "audituser", GetWriteAsUser());
    set(delete_, "slotendtime", Variant::fromDate(slotEnd(slotStart)));
    delete_.Execute();
}

void DataDDInt::WriteData(double slotStart, double dateStamp, std::int32_t varId, double value,
                          const QString& text, std::int32_t status) {
    set(write_, "date", Variant::fromDate(dateStamp));
    set(write_, "varid", varId);
    set(write_, "value", value);
    set(write_, "textvalue", text);
    set(write_, "audituser", GetWriteAsUser());
    set(write_, "slotstarttime", Variant::fromDate(slotStart));
    set(write_, "slotendtime", Variant::fromDate(slotEnd(slotStart)));
    set(write_, "status", status);
    write_.Execute();
}

void DataDDInt::SetStatus(double dateTime, std::int32_t varId, std::int32_t status) {
    try {
        const double slotStart = GetSlotStartDateTime(dateTime);
        double dateStamp = 0;
        double value = 0;
        QString text;
        QString auditUser;
        double auditTimestamp = 0;
        std::int32_t oldStatus = 0;
        std::int32_t forced = 0;
        SeekData(slotStart, varId, dateStamp, value, text, &auditUser, &auditTimestamp, &oldStatus, &forced);
        if (!noMatch_ && oldStatus != status) WriteData(slotStart, dateStamp, varId, value, text, status);
    } catch (...) {
    }
}

void DataDDInt::SetForced(double dateTime, std::int32_t varId, std::int32_t forced) {
    const double slotStart = GetSlotStartDateTime(dateTime);
    set(setForced_, "slotstarttime", Variant::fromDate(slotStart));
    set(setForced_, "slotendtime", Variant::fromDate(slotEnd(slotStart)));
    set(setForced_, "varid", varId);
    set(setForced_, "audituser", GetWriteAsUser());
    set(setForced_, "forced", forced);
    setForced_.Execute();
}

double DataDDInt::GetSlotStartDateTime(double dateTime) const {
    double d = OleDate::normalize(dateTime);
    // The day as the date's text shows it (to the second) decides: an instant that rounds up to
    // the next midnight is taken as that midnight.
    if (OleDate::day(RoundToSecond(d)) != OleDate::day(OleDate::datePart(d))) d = OleDate::addSeconds(d, 1);
    const double day = OleDate::datePart(d);
    const int h = OleDate::hour(d);
    const int m = OleDate::minute(d);
    double r = day;
    switch (intervalsPerDay_) {
    case 6:
        r = day + (h / 4) * (1.0 / 6.0);
        break;
    case 24:
        r = day + h * (1.0 / 24.0);
        break;
    case 48:
        r = day + h * (1.0 / 24.0) + (m / 30) * (1.0 / 48.0);
        break;
    case 96:
        r = day + h * (1.0 / 24.0) + (m / 15) * (1.0 / 96.0);
        break;
    case 288:
        r = day + h * (1.0 / 24.0) + (m / 5) * (1.0 / 288.0);
        break;
    case 1440:
        r = day + h * (1.0 / 24.0) + m * (1.0 / 1440.0);
        break;
    default:
        break;
    }
    return OleDate::normalize(r);
}

void DataDDInt::SeekNext(double slotStart, double slotEnd, std::int32_t varId, double& dateStamp,
                         double& value, QString& text, std::int32_t nthRecord, QString* auditUser,
                         double* auditTimestamp, std::int32_t* status, std::int32_t* forced) {
    set(seekNext_, "varid_in", varId);
    set(seekNext_, "slotstart_in", Variant::fromDate(slotStart));
    set(seekNext_, "slotend_in", Variant::fromDate(slotEnd));
    set(seekNext_, "topnum_in", nthRecord < 1 ? 1 : nthRecord);
    seekNext_.Execute();
    if (out(seekNext_, "varid_out").isNull()) {
        noMatch_ = true;
        return;
    }
    noMatch_ = false;
    dateStamp = out(seekNext_, "datestamp_out").toDate();
    value = out(seekNext_, "curvalue_out").toDouble();
    text = trimmedText(out(seekNext_, "textvalue_out"));
    if (auditUser) *auditUser = trimmedText(out(seekNext_, "audituser_out"));
    if (auditTimestamp) *auditTimestamp = dateOrZero(out(seekNext_, "audittimestamp_out"));
    if (status) *status = out(seekNext_, "status_out").toInt32();
    if (forced) *forced = out(seekNext_, "forced_out").toInt32();
}
