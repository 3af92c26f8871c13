#include "CommonFiles/import/CommonImport.h"

#include "CommonFiles/collector/CommonLastRun.h"
#include "CommonFiles/collector/CommonTypeDateManager.h"
#include "CommonFiles/collector/CommonTypeVar.h"
#include "CommonFiles/collector/CommonTypeVarRec.h"
#include "CommonFiles/collector/CommonVarGatherer.h"
#include "CommonFiles/config/AppConfig.h"
#include "CommonFiles/config/QTXConfiguration.h"
#include "CommonFiles/foundation/ActivityLog.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/CpuState.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"
#include "CommonFiles/foundation/RoundTo.h"
#include "CommonFiles/foundation/VarTypeFunctions.h"
#include "CommonFiles/import/CommonFacilityWriter.h"
#include "custom/CustomSource.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <optional>

namespace {

QString key(const char* k) {
    return QString::fromLatin1(k);
}

QString setting(const char* k) {
    return AppConfig().item(key(k));
}

bool booleanSetting(const char* k) {
    return Variant(setting(k)).toBool();
}

std::int32_t intSetting(const char* k) {
    return Variant(setting(k)).toInt32();
}

QString boolText(bool b) {
    return b ? QStringLiteral("True") : QStringLiteral("False");
}

QString num(double d) {
    return Variant::numberText(d);
}

double secondsSinceMidnight(double date) {
    const double d = OleDate::normalize(date);
    return static_cast<double>(OleDate::toMs(d) - OleDate::toMs(OleDate::datePart(d))) / 1000.0;
}

// "mm/dd/yyyy HH:nn" (month first), as OleDate::format gives it, appended to out without parsing
// the pattern or formatting with printf for every line of a run.
void appendMinuteStamp(QString& out, double date) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0, ms = 0;
    OleDate::toParts(OleDate::normalize(date), y, mo, d, h, mi, sec, ms);
    if (y < 0 || y > 9999) {
        char text[40];
        const int n = std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d", mo, d, y, h, mi);
        out += QLatin1String(text, n);
        return;
    }
    const auto two = [](char* p, int v) {
        p[0] = char('0' + v / 10);
        p[1] = char('0' + v % 10);
    };
    char text[16];
    two(text, mo);
    text[2] = '/';
    two(text + 3, d);
    text[5] = '/';
    two(text + 6, y / 100);
    two(text + 8, y % 100);
    text[10] = ' ';
    two(text + 11, h);
    text[13] = ':';
    two(text + 14, mi);
    out += QLatin1String(text, 16);
}

bool& backfillMode() {
    static bool on = false;
    return on;
}

CommonImport::ProgressHook& progressHook() {
    static CommonImport::ProgressHook hook;
    return hook;
}

} // namespace

std::unique_ptr<CustomSource>& SharedSourceReader() {
    static std::unique_ptr<CustomSource> reader;
    return reader;
}

CommonImport::CommonImport() = default;
CommonImport::~CommonImport() = default;

void CommonImport::SetProgressHook(ProgressHook hook) {
    progressHook() = std::move(hook);
}

void CommonImport::SetBackfill(bool on) {
    backfillMode() = on;
}

bool CommonImport::Backfill() {
    return backfillMode();
}

void CommonImport::SleepWithEvents(std::int64_t milliseconds) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents();
        const std::int64_t left = milliseconds - timer.elapsed();
        if (left <= 0) break;
        QThread::msleep(static_cast<unsigned long>(std::min<std::int64_t>(left, 50)));
    } while (true);
}

bool CommonImport::StartImport(CommonVarGatherer& aVarGatgerer, bool TestMode) {
    variables_ = std::make_unique<CommonTypeVar>();
    gatherer_ = &aVarGatgerer;

    if (!booleanSetting("SOURCE\\STATICCOMMONIMPORT") || !SharedSourceReader()) {
        AppLog().WriteLog(QStringLiteral("StartImport: Custom Source Reset"), 0);
        SharedSourceReader() = std::make_unique<CustomSource>();
    }
    CustomSource& reader = *SharedSourceReader();

    testMode_ = TestMode;
    if (!variables_->ReadVeskDRAQ(aVarGatgerer)) return false;

    const QString writeAs = aVarGatgerer.CollectorWriteAsUser();
    SetWriteAsUser(writeAs.trimmed().isEmpty() ? QString() : writeAs);

    startTime_ = OleDate::now();
    startSeconds_ = secondsSinceMidnight(startTime_);
    aVarGatgerer.MoveFirst();

    const std::shared_ptr<CommonLastRun> lastRun = aVarGatgerer.LookupLastRun();
    const std::shared_ptr<HashTable> names = aVarGatgerer.FacilID2FacilNameHash();
    while (!aVarGatgerer.EOF_Facility()) {
        const QString facility = aVarGatgerer.Current_Facility();
        currentFacility_ = facility;
        const double e0 = lastRun->enddate(facility);
        const QString facilityName =
            names && names->Exists(facility) ? names->item(facility).toText() : QString();
        LogActivity(QStringLiteral("Processing facility '") + facilityName + QStringLiteral("' (") +
                        facility + QStringLiteral(")"),
                    0);

        if (lastRun->ViolatesLockDate(facility)) {
            LogActivity(QStringLiteral("Unable to import into '") + facilityName +
                            QStringLiteral("' because selected date range violates Lock Date of ") +
                            OleDate::toGeneralDate(lastRun->LockDate(facility)),
                        0);
            aVarGatgerer.MoveNext_Facility();
            continue;
        }

        double rangeStart = lastRun->startdate(facility);
        const double rangeEnd = lastRun->enddate(facility);
        const std::int32_t shift = intSetting("OPTIONS\\AUTOMATED_IMPORT\\STARTDATE_SHIFT_MINUTE");
        if (shift != 0) rangeStart = OleDate::addMinutes(rangeStart, shift);

        reader.PrepareForNextFacility(Variant(aVarGatgerer.CollectorTimeZoneOffset()),
                                      Variant(aVarGatgerer.CollectorTimeZoneOffset()),
                                      Variant(aVarGatgerer.InterfaceTimezoneOffset()));
        LogActivity(QStringLiteral("Date Range for import into ") + facility + QStringLiteral(" is set to ") +
                        OleDate::toMmDdYyyyHhNnSs(rangeStart) + QStringLiteral(" to ") +
                        OleDate::toMmDdYyyyHhNnSs(rangeEnd),
                    0);

        writer_ = std::make_unique<CommonFacilityWriter>();
        writer_->setfacilID(facility);
        writer_->setLockDate(lastRun->LockDate(facility));
        writer_->setTestMode(testMode_);
        while (!aVarGatgerer.EOF_Variable()) {
            const std::shared_ptr<CommonTypeVarRec> record =
                variables_->GetVarRecord(facility, aVarGatgerer.Current_Variable());
            if (record && !ImportVariable(record, rangeStart, rangeEnd)) {
                writer_.reset();
                LogSessionStatistics();
                return false;
            }
            aVarGatgerer.MoveNext_Variable();
        }

        // A variable whose settings could not be read was not imported; recording the facility
        // as done would leave its slots behind for good, since the next run starts from here.
        if (!reader.HoldLastRunDate() && RunAsNTService() && variables_->IncompleteFacility(facility)) {
            LogActivity(
                QStringLiteral("WARNING : Last Run Date of ") + facility +
                    QStringLiteral(" not updated: the settings of its variables could not all be read"),
                0);
        } else if (!reader.HoldLastRunDate() && RunAsNTService()) {
            if (!lastRun->PersistLastRunDate(aVarGatgerer.CollectorID(), facility, e0))
                LogActivity(QStringLiteral("WARNING : Unable to persist Last Run Date ") +
                                OleDate::toGeneralDate(e0),
                            0);
        }
        writer_.reset();
        aVarGatgerer.MoveNext_Facility();
    }

    LogSessionStatistics();
    return true;
}

bool CommonImport::ImportVariable(const std::shared_ptr<CommonTypeVarRec>& variable, double rangeStart,
                                  double rangeEnd) {
    const CommonTypeVarRec& v = *variable;
    const QString label =
        v.gName() + QStringLiteral(" (#") + QString::number(v.gNumber()) + QStringLiteral(")");
    LogActivity(QStringLiteral("Processing ") + label, 0);

    CustomSource& reader = *SharedSourceReader();
    reader.PrepareForNextVariable();
    reader.setDeadBand(v.gDeadBand());
    reader.setFilterOp(Variant(v.gFilterOperand()));
    reader.setFilterTag(Variant(v.gFilterTag()));
    reader.setFilterValue(Variant(v.gFilterValue()));
    reader.setHighRangeFilter(v.gHighRangeFilter());
    reader.setLowRangeFilter(v.gLowRangeFilter());
    reader.setSourceStatistic(v.gScadaStat());
    reader.setSourceTag(v.gScadaTag());

    ++stats_.attemptedVariables;

    CommonTypeDateManager slotManager;
    if (!slotManager.Init(rangeStart, rangeEnd, variable, gatherer_->CollectorTimeZoneOffset())) return false;

    if (!reader.Validate()) {
        LogActivity(QStringLiteral("Validation failed for ") + label +
                        QStringLiteral(". Skipping import for this variable."),
                    0);
        ++stats_.failedValidation;
        return true;
    }

    sourceRecovery_ = {intSetting("SOURCE\\RECOVERY\\ATTEMPTS"), intSetting("SOURCE\\RECOVERY\\SECONDS"),
                       setting("SOURCE\\RECOVERY\\SECONDS")};
    targetRecovery_ = {intSetting("TARGET\\RECOVERY\\ATTEMPTS"), intSetting("TARGET\\RECOVERY\\SECONDS"),
                       setting("TARGET\\RECOVERY\\SECONDS")};
    throttle_ = booleanSetting("OPTIONS\\PERFORMANCE\\THROTTLE");

    if (Backfill()) return ImportVariableInOneTransaction(variable, slotManager, rangeStart, rangeEnd);
    return WalkVariable(variable, slotManager, rangeStart, rangeEnd) == Walk::Done;
}

CommonImport::Walk CommonImport::WalkVariable(const std::shared_ptr<CommonTypeVarRec>& variable,
                                              CommonTypeDateManager& slotManager, double rangeStart,
                                              double rangeEnd) {
    const CommonTypeVarRec& v = *variable;
    CustomSource& reader = *SharedSourceReader();
    const QString label =
        v.gName() + QStringLiteral(" (#") + QString::number(v.gNumber()) + QStringLiteral(")");
    const std::int32_t n = slotManager.NumberOfSlots();
    const double dayDifference = std::fabs(OleDate::datePart(OleDate::normalize(rangeEnd)) -
                                           OleDate::datePart(OleDate::normalize(rangeStart)));
    const auto d = static_cast<std::int32_t>(std::llround(dayDifference));

    if (IsCacheFillRequested(n, d)) {
        const double firstSlot = slotManager.Eof() ? rangeStart : slotManager.SlotStart();
        reader.setStartdate(std::min(OleDate::normalize(firstSlot), OleDate::normalize(rangeStart)));
        reader.setEnddate(rangeEnd);
        bool noData = false;
        if (!CACHE_FILL_Query(reader, noData)) return Walk::Stopped;
        if (noData) {
            LogActivity(QStringLiteral("Cache reader could not find data for ") + label +
                            QStringLiteral(". Skipping import for this variable."),
                        0);
            return Walk::Done;
        }
        LogActivity(QStringLiteral("Cache was successfully filled with ") + QString::number(qint64(n) * 24) +
                        QStringLiteral(" Bytes for ") + label,
                    1);
    }

    const bool indirect = booleanSetting("VESKDRAQ\\G2_INDIRECT_TYPE");
    std::int32_t done = 0;
    while (!slotManager.Eof()) {
        ClearVectorUpperState(); // see CpuState.h: left dirty, it slows the whole slot
        const double slotStart = slotManager.SlotStart();
        const double slotEnd = slotManager.SlotEnd();
        double stamp = slotManager.VeskDRAQslotDateStamp();
        if (!v.gScadaTag().isEmpty()) {
            reader.setStartdate(slotStart);
            reader.setEnddate(slotEnd);
            Variant value;
            if (!ReadSlotValue(v.gVarType(), value, reader)) return Walk::Stopped;
            if (!value.isNull() && !value.isEmpty()) {
                if (indirect) stamp = OleDate::addMinutes(stamp, gatherer_->CollectorTimeZoneOffset());
                if (!WriteSlotValue(value, v, stamp)) return batchBroken_ ? Walk::TargetLost : Walk::Stopped;
            }
        }
        if (throttle_) ThrottlePerformance();
        slotManager.MoveNext();
        ++done;
        if (progressHook()) progressHook()({currentFacility_, v.gName(), done, n});
    }
    return Walk::Done;
}

bool CommonImport::ImportVariableInOneTransaction(const std::shared_ptr<CommonTypeVarRec>& variable,
                                                  CommonTypeDateManager& firstWalk, double rangeStart,
                                                  double rangeEnd) {
    // A redo must count each slot once: the counters go back to where the variable began, except
    // the connection failures, which did happen.
    const Statistics before = stats_;
    const auto rewind = [&] {
        const std::int32_t sourceFailures = stats_.sourceConnectionFailures;
        const std::int32_t targetFailures = stats_.targetConnectionFailures;
        stats_ = before;
        stats_.sourceConnectionFailures = sourceFailures;
        stats_.targetConnectionFailures = targetFailures;
    };
    const std::int32_t attempts = targetRecovery_.attempts;
    for (std::int32_t i = 1; i <= attempts; ++i) {
        std::optional<CommonTypeDateManager> again;
        CommonTypeDateManager* walker = &firstWalk;
        if (i > 1) {
            again.emplace();
            if (!again->Init(rangeStart, rangeEnd, variable, gatherer_->CollectorTimeZoneOffset()))
                return false;
            walker = &*again;
        }
        pending_.clear();
        batchBroken_ = false;
        Walk walk = Walk::TargetLost;
        if (writer_->BeginBatch()) {
            inBatch_ = true;
            walk = WalkVariable(variable, *walker, rangeStart, rangeEnd);
            inBatch_ = false;
            if (walk == Walk::Done && !writer_->CommitBatch()) walk = Walk::TargetLost;
        }
        batchBroken_ = false;
        if (walk == Walk::Done) {
            // The variable's lines reach the log file in one write, as its rows reached the target
            // in one transaction: a write per line was a tenth of a backfill's time.
            struct LineBatch {
                LineBatch() { AppLog().BeginLineBatch(); }
                ~LineBatch() { AppLog().EndLineBatch(); }
            } batch;
            for (const PendingLine& line : pending_)
                LogActivity(line.text, line.level);
            pending_.clear();
            return true;
        }
        // Nothing of the attempt stays: neither its rows nor its lines nor its counts.
        writer_->RollbackBatch();
        pending_.clear();
        rewind();
        if (walk == Walk::Stopped) return false;
        ++stats_.targetConnectionFailures;
        LogTargetRecovery(attempts - i + 1);
    }
    LogActivity(QStringLiteral("Unable to connect to Vesk DRAQ."), 0);
    return false;
}

void CommonImport::LogTargetRecovery(std::int32_t attemptsLeft) {
    LogActivity(QStringLiteral("Connection error occured while communicating with Vesk DRAQ. Will attempt "
                               "to re-connect to source for ") +
                    QString::number(attemptsLeft) + QStringLiteral(" times"),
                1);
    LogActivity(QStringLiteral("Waiting for ") + targetRecovery_.secondsText +
                    QStringLiteral(" seconds before attempting to re-connect ... "),
                1);
    writer_->DestroyConnection();
    SleepWithEvents(std::int64_t(targetRecovery_.seconds) * 1000);
}

void CommonImport::ReportOutcome(const QString& line, int level) {
    if (inBatch_)
        pending_.push_back({line, level});
    else
        LogActivity(line, level);
}

bool CommonImport::IsCacheFillRequested(std::int32_t slotCount, std::int32_t days) const {
    const auto on = [](const char* k) { return setting(k) == QLatin1String("TRUE"); };
    if (!on("SOURCE\\CACHE\\ENABLED")) return false;
    const QString pointsSet = setting("SOURCE\\CACHE\\LIMIT_BY_DATAPOINTS_SETPOINT");
    if (on("SOURCE\\CACHE\\LIMIT_BY_DATAPOINTS") && slotCount < Variant(pointsSet).toDouble()) {
        LogActivity(QStringLiteral("Source Cache Fill Requested due to number of datapoints (") +
                        QString::number(slotCount) + QStringLiteral(") being less than ") + pointsSet,
                    1);
        return true;
    }
    const QString daysSet = setting("SOURCE\\CACHE\\LIMIT_BY_DAYS_SETPOINT");
    if (on("SOURCE\\CACHE\\LIMIT_BY_DAYS") && days < Variant(daysSet).toDouble()) {
        LogActivity(QStringLiteral("Source Cache Fill Requested due to number of days (") +
                        QString::number(days) + QStringLiteral(") being less than ") + daysSet,
                    1);
        return true;
    }
    const QString bytesSet = setting("SOURCE\\CACHE\\LIMIT_BY_BYTES_SETPOINT");
    const qint64 bytes = qint64(slotCount) * 8;
    if (on("SOURCE\\CACHE\\LIMIT_BY_BYTES") && double(bytes) < Variant(bytesSet).toDouble()) {
        LogActivity(QStringLiteral("Source Cache Fill Requested due to number of Bytes (") +
                        QString::number(bytes) + QStringLiteral(") being less than ") + bytesSet,
                    1);
        return true;
    }
    return false;
}

bool CommonImport::CACHE_FILL_Query(CustomSource& reader, bool& noData) {
    const std::int32_t attempts = sourceRecovery_.attempts;
    const std::int32_t seconds = sourceRecovery_.seconds;
    for (std::int32_t i = 1; i <= attempts; ++i) {
        if (AppLog().Verbosity() >= 3)
            AppLog().WriteLog(QStringLiteral("CACHE_FILL_Query(): ") + reader.LogCustomSourceQuery(), 3);
        bool error = false;
        const bool filled = reader.CacheFill(error);
        if (error) {
            ++stats_.sourceConnectionFailures;
            LogActivity(
                QStringLiteral("Connection error occured while communicating with source. Will attempt to "
                               "re-connect to source for ") +
                    QString::number(attempts - i + 1) + QStringLiteral(" times"),
                1);
            LogActivity(QStringLiteral("Waiting for ") + sourceRecovery_.secondsText +
                            QStringLiteral(" seconds before attempting to re-connect ... "),
                        1);
            if (!booleanSetting("SOURCE\\STATICCOMMONIMPORT")) reader.DestroyConnection();
            SleepWithEvents(std::int64_t(seconds) * 1000);
            continue;
        }
        if (filled) {
            CountPhysicalRead();
            noData = false;
        } else {
            noData = true;
        }
        return true;
    }
    LogActivity(QStringLiteral("Unable to connect to source."), 0);
    return false;
}

bool CommonImport::ReadSlotValue(const QString& varType, Variant& value, CustomSource& reader) {
    const std::int32_t attempts = sourceRecovery_.attempts;
    const std::int32_t seconds = sourceRecovery_.seconds;
    const bool text = VarTypeFunctions::IsTextParameter(varType);
    for (std::int32_t i = 1; i <= attempts; ++i) {
        // The trace is built only when it is written: it costs more than the slot's statistic.
        if (AppLog().Verbosity() >= 3)
            AppLog().WriteLog((text ? QStringLiteral("TXT_Query(): ") : QStringLiteral("DBL_Query(): ")) +
                                  reader.LogCustomSourceQuery(),
                              3);
        bool error = false;
        Variant result = text ? reader.GetTextResult(error) : reader.GetDoubleResult(error);
        if (error) {
            ++stats_.sourceConnectionFailures;
            LogActivity(
                QStringLiteral("Connection error occured while communicating with source. Will attempt to "
                               "re-connect to source for ") +
                    QString::number(attempts - i + 1) + QStringLiteral(" times"),
                1);
            LogActivity(QStringLiteral("Waiting for ") + sourceRecovery_.secondsText +
                            QStringLiteral(" seconds before attempting to re-connect ... "),
                        1);
            if (!booleanSetting("SOURCE\\STATICCOMMONIMPORT")) reader.DestroyConnection();
            SleepWithEvents(std::int64_t(seconds) * 1000);
            continue;
        }
        CountPhysicalRead();
        value = result;
        return true;
    }
    LogActivity(QStringLiteral("Unable to connect to source."), 0);
    return false;
}

bool CommonImport::ApplyScaleFactor(double& value, double factor) {
    const double product = value * factor;
    if (!std::isfinite(product)) return false;
    value = product;
    return true;
}

bool CommonImport::WriteSlotValue(const Variant& value, const CommonTypeVarRec& v, double dateStamp) {
    const std::int32_t attempts = targetRecovery_.attempts;

    double number = 0;
    QString text;
    if (VarTypeFunctions::IsTextParameter(v.gVarType())) {
        number = 1;
        text = value.toText();
    } else {
        number = value.toDouble();
        // A product beyond the double range has no value to store: the slot is left alone.
        if (!std::isfinite(number) || !ApplyScaleFactor(number, v.gScadaFactor())) return true;
        if (v.gDecPlaces() != 9999) number = RoundTo(number, v.gDecPlaces());
        text = num(number);
    }

    for (std::int32_t i = 1; i <= attempts; ++i) {
        if (AppLog().Verbosity() >= 9)
            AppLog().WriteLog(QStringLiteral("About to write ") + v.gVarType() + QStringLiteral(" ") +
                                  QString::number(v.gID()) + QStringLiteral(" ") +
                                  OleDate::toGeneralDate(dateStamp) + QStringLiteral(" ") + num(number) +
                                  QStringLiteral(" ") + text + QStringLiteral(" ") +
                                  QString::number(v.gDataApproval()),
                              9);
        if (!writer_->WriteToVeskDRAQ(v.gVarType(), v.gID(), dateStamp, number, text, v.gDataApproval())) {
            if (inBatch_) {
                // The transaction is lost with the call: the whole variable is redone instead.
                batchBroken_ = true;
                return false;
            }
            ++stats_.targetConnectionFailures;
            LogTargetRecovery(attempts - i + 1);
            continue;
        }
        RecordWriteOutcome(writer_->PerfromedWriteDateStamp, v, text, writer_->PerfromedLogicalWrite,
                           writer_->PerfromedPhysicalWrite, writer_->ApprovalLevelDisabledWrite);
        return true;
    }
    LogActivity(QStringLiteral("Unable to connect to Vesk DRAQ."), 0);
    return false;
}

void CommonImport::RecordWriteOutcome(double dateStamp, const CommonTypeVarRec& v, const QString& valueText,
                                      bool logicalWrite, bool physicalWrite, bool refusedByApproval) {
    // Built in one buffer: this line is written for every slot.
    const QString facility = v.gFacilID(), name = v.gName(), units = v.gUnits();
    QString line;
    line.reserve(40 + facility.size() + name.size() + valueText.size() + units.size());
    line += QLatin1String("Wrote ");
    appendMinuteStamp(line, dateStamp);
    line += QLatin1String("  ");
    line += facility;
    line += QLatin1Char(':');
    line += QString::number(v.gNumber());
    line += QLatin1Char('\t');
    line += name;
    line += QLatin1Char('\t');
    line += valueText;
    line += QLatin1Char(' ');
    line += units;
    if (logicalWrite) {
        ++stats_.logicalWrites;
        ReportOutcome(line, 0);
    }
    if (physicalWrite) ++stats_.physicalWrites;
    if (refusedByApproval) {
        ++stats_.skippedWrites;
        ReportOutcome(
            QStringLiteral("Approval Level of Data (Or Lock Date) disallowed interface to write record '") +
                line + QStringLiteral("'"),
            1);
    }
}

void CommonImport::ThrottlePerformance() {
    try {
        if (!booleanSetting("OPTIONS\\PERFORMANCE\\THROTTLE")) return;
        const QString waitText = setting("OPTIONS\\PERFORMANCE\\POLL_WAIT");
        const QString prefix =
            QStringLiteral("Error in ThrottlePerformance : Artificial Wait between Source Polling ");
        if (!Variant(waitText).isNumeric()) {
            LogActivity(prefix +
                            QStringLiteral("needs to be a whole number between 1 and 9999. Artificial Wait "
                                           "between Source Polling is: 0"),
                        0);
            return;
        }
        const double w = Variant(waitText).toDouble();
        const QString suffix = QStringLiteral(". Artificial Wait between Source Polling is: ") + num(w);
        if (w != std::floor(w)) {
            LogActivity(prefix + QStringLiteral("needs to be a whole number") + suffix, 0);
            return;
        }
        if (w > 9999) {
            LogActivity(prefix + QStringLiteral("is not less than 10,000") + suffix, 0);
            return;
        }
        if (w < 1) {
            LogActivity(prefix + QStringLiteral("is not greater than 0") + suffix, 0);
            return;
        }
        AppLog().WriteLog(QStringLiteral("Throttle = True. System will sleep ") + num(w) +
                              QStringLiteral(" milliseconds between queries."),
                          9);
        const bool before = booleanSetting("OPTIONS\\PERFORMANCE\\MSG_BEFORE");
        if (before) {
            AppLog().WriteLog(
                QStringLiteral("Processing DoEvents before putting the system to sleep. MsgBefore = ") +
                    boolText(true),
                9);
            QCoreApplication::processEvents();
        } else {
            AppLog().WriteLog(
                QStringLiteral("Skipping DoEvents before putting the system to sleep. MsgBefore = ") +
                    boolText(false),
                9);
        }
        AppLog().WriteLog(
            QStringLiteral("Program will sleep for ") + num(w) + QStringLiteral(" milliseconds."), 9);
        QThread::msleep(static_cast<unsigned long>(w));
        const bool after = booleanSetting("OPTIONS\\PERFORMANCE\\MSG_AFTER");
        if (after) {
            AppLog().WriteLog(
                QStringLiteral("Processing DoEvents after putting the system to sleep. MsgAfter = ") +
                    boolText(true),
                9);
            QCoreApplication::processEvents();
        } else {
            AppLog().WriteLog(
                QStringLiteral("Skipping DoEvents after putting the system to sleep. MsgAfter = ") +
                    boolText(false),
                9);
        }
    } catch (const std::exception&) {
        // A throttle setting that cannot be read only costs the wait.
    }
}

void CommonImport::LogSessionStatistics() {
    endSeconds_ = secondsSinceMidnight(OleDate::now());
    double elapsed = endSeconds_ - startSeconds_;
    if (elapsed < 0.00001) elapsed = 0.00001;
    const auto line = [](const char* label, const QString& value) {
        LogActivity(QStringLiteral(" ") + QString::fromLatin1(label) + QStringLiteral("\t") + value, 0);
    };
    LogActivity(QStringLiteral("Session Statistics :"), 0);
    line("# of Physical Read Transactions   : ", QString::number(stats_.physicalReads));
    line("# of Logical Write Transactions   : ", QString::number(stats_.logicalWrites));
    line("# of Physical Write Transactions  : ", QString::number(stats_.physicalWrites));
    line("# of Skipped Write Transactions   : ", QString::number(stats_.skippedWrites));
    line("# of Source Connection Failures   : ", QString::number(stats_.sourceConnectionFailures));
    line("# of Target Connection Failures   : ", QString::number(stats_.targetConnectionFailures));
    line("# of Attempted Variables          : ", QString::number(stats_.attemptedVariables));
    line("# of Variables to Fail Validation : ", QString::number(stats_.failedValidation));
    line("# Seconds Elapsed                 : ", num(RoundTo(elapsed, 0)));
    line("# Read Transactions per Second    : ", num(RoundTo(stats_.physicalReads / elapsed, 2)));
    line("# Write Transactions  per Second  : ", num(RoundTo(stats_.logicalWrites / elapsed, 2)));
    LogActivity(QString(), 0);
}
