#include "custom/CustomSource.h"

#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/AppInfo.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/stats/CommonTypeArrayStat.h"
#include "platform/ado/Command.h"
#include "platform/ado/Parameter.h"
#include "platform/ado/Recordset.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include <chrono>
#include <cmath>
#include <exception>
#include <limits>

namespace {

const QString kSiteIdKey = QStringLiteral("K48213\\SITE_ID");
const QString kUserKey = QStringLiteral("K48213\\SQL_USERNAME");
const QString kPasswordKey = QStringLiteral("K48213\\SQL_PASSWORD");
const QString kUrlKey = QStringLiteral("K48213\\SQL_URL");
const QString kDataTableKey = QStringLiteral("K48213\\DATA_TABLE");

const QString kProvider = QStringLiteral("SQLOLEDB.1");
const QString kCatalog = QStringLiteral("VIRev");

// A key that was never defined reads as empty: the reader reports the failure where it shows
// (a connection that does not open, a site without a table) rather than raising from a setter.
QString setting(const QString& key) {
    try {
        return AppConfig().item(key);
    } catch (const AppError&) {
        return {};
    }
}

// Keeps the window and the service's stop request served while an import runs. Events posted
// inside the program run at every request; the window system's and the operating system's
// (input, timers, signals) are polled fifty times a second, which is plenty for them: polling at
// every slot cost a system call per slot.
void letPendingEventsRun() {
    if (!QCoreApplication::instance()) return;
    using Clock = std::chrono::steady_clock;
    static Clock::time_point last{};
    const Clock::time_point now = Clock::now();
    if (now - last < std::chrono::milliseconds(20)) {
        QCoreApplication::sendPostedEvents();
        return;
    }
    last = now;
    QCoreApplication::processEvents();
}

// A value of a connection string is pasted between "key=" and ";": one that holds a ';' or
// starts with a quote or brace would end early or swallow the next key (a password such as
// "a;b" never reached the server), so such a value travels quoted.
QString connectionValue(const QString& value) {
    const bool needsQuotes = value.contains(QLatin1Char(';')) || value.startsWith(QLatin1Char('"')) ||
                             value.startsWith(QLatin1Char('\'')) || value.startsWith(QLatin1Char('{')) ||
                             (!value.isEmpty() && (value.front().isSpace() || value.back().isSpace()));
    if (!needsQuotes) return value;
    if (!value.contains(QLatin1Char('"'))) return QLatin1Char('"') + value + QLatin1Char('"');
    if (!value.contains(QLatin1Char('\''))) return QLatin1Char('\'') + value + QLatin1Char('\'');
    // Both kinds of quote and a separator: pasted as it is, the value would add keys of its own.
    return QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
           QLatin1Char('"');
}

// Names from the settings or the source database shown in a log line: control characters would
// break the line (or forge another one).
QString printable(const QString& text) {
    QString out = text.left(160);
    for (QChar& c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) c = QLatin1Char('?');
    return out;
}

// Train numbers and sensor types are whole numbers; a tag whose part is another number (which
// the tag syntax allows) still compares as that number and simply matches no reading.
ado::Parameter signalNumberParameter(const QString& name, const QString& text) {
    double value = 0.0;
    if (!Variant::parseNumber(text, value))
        throw AppError(AppError::TypeMismatch,
                       QStringLiteral("Type mismatch: '%1' is not a number").arg(text));
    if (value == std::floor(value) && value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max())
        return ado::Parameter(name, ado::adInteger, ado::adParamInput, 0, Variant(static_cast<int>(value)));
    return ado::Parameter(name, ado::adDouble, ado::adParamInput, 0, Variant(value));
}

ado::Parameter dateParameter(const QString& name, double date) {
    return ado::Parameter(name, ado::adDate, ado::adParamInput, 0,
                          Variant::fromDate(OleDate::normalize(date)));
}

} // namespace

CustomSource::CustomSource() : readings_(1) {}

CustomSource::~CustomSource() {
    DestroyConnection();
}

void CustomSource::PrepareForNextFacility(const Variant& FacilityTimeZoneOffset,
                                          const Variant& CollectorTimeZoneOffset,
                                          const Variant& InterfaceTimezoneOffset) {
    // The source keeps local time stamps and needs no shift per facility.
    Q_UNUSED(FacilityTimeZoneOffset);
    Q_UNUSED(CollectorTimeZoneOffset);
    Q_UNUSED(InterfaceTimezoneOffset);
}

bool CustomSource::IsValidSourceTag(const QString& tag) {
    if (!tag.startsWith(QLatin1String("KQ"))) return false;
    const QString rest = tag.mid(3);
    const qsizetype colon = rest.indexOf(QLatin1Char(':'));
    if (colon < 1) return false;
    return Variant::isNumericText(rest.left(colon)) && Variant::isNumericText(rest.mid(colon + 1));
}

void CustomSource::SplitSourceTag(const QString& tag, QString& trainNumber, QString& sensorType) {
    const QString rest = tag.mid(3);
    const qsizetype colon = rest.indexOf(QLatin1Char(':'));
    if (colon < 0) {
        trainNumber = rest;
        sensorType.clear();
        return;
    }
    trainNumber = rest.left(colon);
    sensorType = rest.mid(colon + 1);
}

bool CustomSource::IsPlainTableName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,127}$"));
    return pattern.match(name).hasMatch();
}

bool CustomSource::Validate() {
    static const QStringList plain{QStringLiteral("AVERAGE"), QStringLiteral("TOTAL"),
                                   QStringLiteral("MINIMUM"), QStringLiteral("MAXIMUM"),
                                   QStringLiteral("RANGE"),   QStringLiteral("DIFF"),
                                   QStringLiteral("FIRST"),   QStringLiteral("LAST"),
                                   QStringLiteral("COUNT"),   QStringLiteral("INVENTORY")};
    static const QStringList withArgument{QStringLiteral("TIMEGT"), QStringLiteral("TIMELT"),
                                          QStringLiteral("TIMEEQ")};

    const QString statistic = sourceStatistic_.toText();
    if (!plain.contains(statistic) && !withArgument.contains(statistic.left(6))) {
        AppLog().WriteLog(
            QStringLiteral("Validation Error : Unsupported Statistic '") + statistic + QLatin1Char('\''), 1);
        return false;
    }
    const QString tag = sourceTag_.toText();
    if (tag.isEmpty()) {
        AppLog().WriteLog(QStringLiteral("Validation Error : Must provide a non-empty Source Tag"), 1);
        return false;
    }
    if (!IsValidSourceTag(tag)) {
        AppLog().WriteLog(QStringLiteral("Validation Error : Invalid Senvista Source Tag"), 1);
        return false;
    }
    const QString filterTag = filterTag_.toText();
    if (!filterTag.isEmpty() && !IsValidSourceTag(filterTag)) {
        AppLog().WriteLog(QStringLiteral("Validation Error : Invalid Senvista Filter Tag"), 1);
        return false;
    }
    return true;
}

QString CustomSource::BuildSourceConnectionString(const QString& provider, const QString& dataSource,
                                                  const QString& catalog, const QString& user,
                                                  const QString& password) {
    return QStringLiteral("Provider=") + connectionValue(provider) + QLatin1Char(';') +
           QStringLiteral("Persist Security Info=True;") + QStringLiteral("Data Source=") +
           connectionValue(dataSource) + QLatin1Char(';') + QStringLiteral("Initial Catalog=") +
           connectionValue(catalog) + QLatin1Char(';') + QStringLiteral("User ID=") + connectionValue(user) +
           QLatin1Char(';') + QStringLiteral("Password=") + connectionValue(password) + QLatin1Char(';') +
           QStringLiteral("Application Name=") + QString::number(AppInfo::ProductNumber) + QLatin1Char(';');
}

QString CustomSource::GenerateSourceConnString(bool MaskPassword) const {
    return BuildSourceConnectionString(kProvider, setting(kUrlKey), kCatalog, setting(kUserKey),
                                       MaskPassword ? QStringLiteral("###") : setting(kPasswordKey));
}

void CustomSource::ConfigureSourceConnection(ado::Connection& connection) const {
    try {
        connection.setCursorLocation(ado::adUseClient);
        connection.setConnectionString(GenerateSourceConnString(false));
        connection.setCommandTimeout(30);
        connection.setConnectionTimeout(30);
    } catch (const std::exception&) {
        // An unusable setting shows as the failure of the open that follows.
    }
}

bool CustomSource::OpenSourceConnection() {
    connection_.emplace();
    ConfigureSourceConnection(*connection_);
    try {
        connection_->Open(QString(), QString(), QString(), -1);
        return true;
    } catch (const AppError& e) {
        const QList<ado::Error> errors = connection_->Errors();
        const int number = errors.isEmpty() ? e.number() : errors.first().number;
        const QString description = errors.isEmpty() ? e.description() : errors.first().description;
        LogActivity(QStringLiteral("Unable to Open Connection to Vesk DRAQ. Error : ") +
                        QString::number(number) + QStringLiteral(" - ") + description,
                    1);
    } catch (const std::exception& e) {
        LogActivity(QStringLiteral("Unable to Open Connection to Vesk DRAQ. Error : 0 - ") +
                        QString::fromLocal8Bit(e.what()),
                    1);
    }
    return false;
}

bool CustomSource::ProbeSourceConnection() {
    if (!connection_) return false;
    try {
        ado::Recordset rs = connection_->Execute(QStringLiteral("select count(*) from SYSTEMS"));
        (void)rs.Fields(0);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool CustomSource::EnsureSourceConnection() {
    if (!connection_ && !OpenSourceConnection()) return false;
    return ProbeSourceConnection();
}

void CustomSource::CloseSourceConnection() {
    if (!connection_) return;
    try {
        connection_->Close();
    } catch (const std::exception&) {
    }
}

void CustomSource::DestroyConnection() {
    // The open reads die with the session: what the cache had not fetched yet is read slot by
    // slot on the next connection.
    DropReadings();
    cacheFilled_ = false;
    CloseSourceConnection();
    connection_.reset();
}

bool CustomSource::ResolveDataTable() {
    const QString configured = setting(kDataTableKey).trimmed();
    if (!configured.isEmpty()) {
        if (!IsPlainTableName(configured)) {
            LogActivity(QStringLiteral("Refused the source data table '") + printable(configured) +
                            QStringLiteral("' of K48213\\DATA_TABLE: not a plain table name"),
                        0);
            return false;
        }
        dataTable_ = configured;
        return true;
    }

    const QString site = setting(kSiteIdKey);
    ado::Command lookup;
    lookup.setActiveConnection(*connection_);
    lookup.setCommandType(ado::adCmdText);
    lookup.setCommandText(QStringLiteral("SELECT TableName FROM SYSTEMS WHERE SystemID=?"));
    lookup.appendParameter(
        ado::Parameter(QStringLiteral("SystemID"), ado::adVarChar, ado::adParamInput, 0, site));
    ado::Recordset rs;
    rs.Open(lookup, ado::adOpenStatic, ado::adLockReadOnly);
    if (rs.Eof()) return true; // the data table stays as it was
    const QString found = rs.Fields(0).toText().trimmed();
    if (!IsPlainTableName(found)) {
        LogActivity(QStringLiteral("Refused the source data table '") + printable(found) +
                        QStringLiteral("' that SYSTEMS names for site '") + printable(site) +
                        QStringLiteral("': not a plain table name"),
                    0);
        return false;
    }
    dataTable_ = found;
    AppConfig().setItem(kDataTableKey, dataTable_);
    return true;
}

ado::Recordset CustomSource::querySignal(const QString& tag) {
    QString trainNumber;
    QString sensorType;
    SplitSourceTag(tag, trainNumber, sensorType);
    ado::Command query;
    query.setActiveConnection(*connection_);
    query.setCommandType(ado::adCmdText);
    query.setCommandText(
        QStringLiteral("SELECT TimeDate, Data from ") + dataTable_ +
        QStringLiteral(" WHERE (SensorType=? AND TrainNumber=?) AND (TimeDate>=? AND TimeDate<?)"
                       " ORDER By TIMEDATE ASC"));
    query.appendParameter(signalNumberParameter(QStringLiteral("SensorType"), sensorType));
    query.appendParameter(signalNumberParameter(QStringLiteral("TrainNumber"), trainNumber));
    query.appendParameter(dateParameter(QStringLiteral("StartDate"), startdate_));
    query.appendParameter(dateParameter(QStringLiteral("EndDate"), enddate_));
    // Forward-only: the rows are fetched as the slots consume them, so a range of a year costs
    // the memory of a slot, not of the year.
    ado::Recordset rs;
    rs.Open(query, ado::adOpenForwardOnly, ado::adLockReadOnly);
    return rs;
}

void CustomSource::CloseReadingStreams() {
    mainRows_.reset();
    filterRows_.reset();
    filterAhead_.reset();
    lastReadingTime_.reset();
}

void CustomSource::DropReadings() {
    CloseReadingStreams();
    readings_.assign(1, SourceReading{});
    readCursor_ = 1;
}

void CustomSource::BuildReadingArray(bool& error, bool& built) {
    LogActivity(QStringLiteral("ArrayBuild started"), 5);
    DropReadings();
    error = true;
    built = false;
    try {
        if (!connection_) return;
        if (!ResolveDataTable()) return;
        if (dataTable_.isEmpty()) {
            LogActivity(QStringLiteral("No source data table for site '") + printable(setting(kSiteIdKey)) +
                            QStringLiteral("': SYSTEMS has no row for it and K48213\\DATA_TABLE is empty"),
                        0);
            return;
        }

        mainRows_ = querySignal(sourceTag_.toText());
        if (!filterTag_.isNull() && !filterTag_.toText().isEmpty()) filterRows_ = querySignal(filterTag_.toText());
        error = false;
        built = true;
    } catch (const std::exception&) {
        // A half-opened read must not pass for the range.
        DropReadings();
    }
}

// The row's time stamp and value as Fields(0).toDate() and Fields(1) give them, read without a
// Variant where the cell is a date or a number: this runs for every reading of the range.
SourceReading CustomSource::ReadingOf(const ado::Recordset& rows) {
    Variant::Type types[2];
    double numbers[2] = {0.0, 0.0};
    rows.FieldNumbers(2, types, numbers);
    SourceReading r;
    // The database layer's dates are whole milliseconds already (it builds them from their
    // parts); other stamps are rounded to the millisecond as the slots are.
    if (types[0] == Variant::Type::Date)
        r.TimeDate = numbers[0];
    else
        r.TimeDate = OleDate::normalize(types[0] == Variant::Type::Double ? numbers[0] : rows.Fields(0).toDate());
    if (types[1] == Variant::Type::Double)
        r.Data = Variant(numbers[1]);
    else if (types[1] == Variant::Type::Null)
        r.Data = Variant::null();
    else
        r.Data = rows.Fields(1);
    r.FilterResult = Variant::null();
    return r;
}

Variant CustomSource::FilterValueAt(double time) {
    // Both lists ascend. The filter rows stamped like a reading attach to the first reading at
    // that instant, the last such row winning; rows between readings attach to nothing.
    if (!filterRows_) return Variant::null();
    if (lastReadingTime_ && *lastReadingTime_ == time) return Variant::null();
    lastReadingTime_ = time;
    Variant value = Variant::null();
    for (;;) {
        if (!filterAhead_) {
            if (filterRows_->Eof()) break;
            filterAhead_ = ReadingOf(*filterRows_);
            filterRows_->MoveNext();
        }
        if (filterAhead_->TimeDate > time) break;
        if (filterAhead_->TimeDate == time) value = filterAhead_->Data;
        filterAhead_.reset();
    }
    return value;
}

bool CustomSource::FetchReading() {
    if (!mainRows_) return false;
    if (mainRows_->Eof()) {
        CloseReadingStreams();
        return false;
    }
    SourceReading r = ReadingOf(*mainRows_);
    mainRows_->MoveNext();
    if (filterRows_) r.FilterResult = FilterValueAt(r.TimeDate); // else it stays Null
    readings_.push_back(std::move(r));
    return true;
}

bool CustomSource::FeedSlotReadings() {
    try {
        const double start = OleDate::normalize(startdate_);
        const double end = OleDate::normalize(enddate_);
        // What earlier slots consumed is not needed again: the array holds the current slot and
        // the first reading after it.
        if (readCursor_ > 1 && static_cast<std::size_t>(readCursor_) <= readings_.size()) {
            readings_.erase(readings_.begin() + 1, readings_.begin() + readCursor_);
            readCursor_ = 1;
        }
        std::size_t i = readCursor_ < 1 ? 1 : static_cast<std::size_t>(readCursor_);
        for (;; ++i) {
            if (i >= readings_.size() && !FetchReading()) break;
            const SourceReading& r = readings_[i];
            if (r.TimeDate >= end) break;
            if (r.TimeDate >= start) statistics_->AddRecord(r.TimeDate, r.Data, r.FilterResult);
        }
        readCursor_ = static_cast<std::int32_t>(i);
        return true;
    } catch (const std::exception&) {
        // The session failed between two batches of rows: the rest of the range is read slot by
        // slot once the import has reconnected.
        DropReadings();
        cacheFilled_ = false;
        readFailed_ = true;
        return false;
    }
}

Variant CustomSource::ComputeSlotValue() {
    try {
        bool error = false;
        bool built = false;
        if (!cacheFilled_) BuildReadingArray(error, built);
        if (error) LogActivity(QStringLiteral("Execution Error occured reading source data"), 0);
        if (!cacheFilled_ && !built) {
            LogActivity(QStringLiteral("Unable to build data array - see log"), 0);
            return Variant::null();
        }

        if (!statistics_) statistics_ = std::make_unique<CommonTypeArrayStat>();
        CommonTypeArrayStat& stat = *statistics_;
        stat.Init();
        stat.setDeadBand(deadBand_);
        stat.setStartdate(startdate_);
        stat.setEnddate(enddate_);
        stat.setFilterOp(filterOp_);
        stat.setFilterTag(filterTag_);
        stat.setFilterValue(filterValue_);
        stat.setHighRangeFilter(highRangeFilter_);
        stat.setLowRangeFilter(lowRangeFilter_);
        stat.setSourceTag(sourceTag_.toText());
        stat.setSourceStatistic(sourceStatistic_.toText().toUpper());
        if (!FeedSlotReadings()) return Variant::null();
        return stat.ReturnStatNumericValue();
    } catch (const std::exception&) {
        return Variant::null();
    }
}

Variant CustomSource::GetDoubleResult(bool& ExecutionErrorOccured) {
    if (!EnsureSourceConnection()) {
        ExecutionErrorOccured = true;
        return Variant::null();
    }
    letPendingEventsRun();
    readFailed_ = false;
    Variant value = ComputeSlotValue();
    ExecutionErrorOccured = readFailed_;
    if (readFailed_) return Variant::null();
    return value;
}

Variant CustomSource::GetTextResult(bool& ExecutionErrorOccured) {
    if (!EnsureSourceConnection()) {
        ExecutionErrorOccured = true;
        return Variant::null();
    }
    letPendingEventsRun();
    ExecutionErrorOccured = false;
    return Variant(QStringLiteral("NA"));
}

bool CustomSource::CacheFill(bool& ExecutionErrorOccured) {
    if (!EnsureSourceConnection()) {
        ExecutionErrorOccured = true;
        return false;
    }
    bool error = false;
    bool built = false;
    BuildReadingArray(error, built);
    ExecutionErrorOccured = error;
    cacheFilled_ = built;
    return built;
}

QString CustomSource::LogCustomSourceQuery() const {
    const QStringList parts{
        QStringLiteral("[SourceTag:] ") + sourceTag_.toText(),
        QStringLiteral("[SourceStat:] ") + sourceStatistic_.toText(),
        QStringLiteral("[Date >= :] ") + OleDate::toMmDdYyyyHhNnSs(startdate_) +
            QStringLiteral(" [ AND Date < :] ") + OleDate::toMmDdYyyyHhNnSs(enddate_),
        QStringLiteral("[LowRange:] ") + lowRangeFilter_.toText(),
        QStringLiteral("[HighRange:] ") + highRangeFilter_.toText(),
        QStringLiteral("[DeadBand:] ") + deadBand_.toText(),
        QStringLiteral("[FilterTag:] ") + filterTag_.toText(),
        QStringLiteral("[FilterOp:] ") + filterOp_.toText(),
        QStringLiteral("[FilterValue:] ") + filterValue_.toText(),
    };
    return parts.join(QLatin1Char('\t'));
}
