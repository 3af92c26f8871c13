#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/stats/SourceReading.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CommonTypeArrayStat;

// The reader of the source monitoring database: SYSTEMS maps a site id to the site's own table of
// readings (TimeDate, Data, TrainNumber, SensorType), and a signal is named by a tag
// "KQ" + one character + train number + ":" + sensor type (KQ:12:305).
//
// The import keeps one reader and asks it for one value per slot: it sets the variable's
// parameters, validates them, optionally fills the cache for the whole range (CacheFill), then
// sets each slot's window and calls GetDoubleResult or GetTextResult. With a filled cache the
// slots must be asked for in ascending order: each one consumes the readings of its window
// through a forward cursor.
//
// The connection is opened by the first request and kept until DestroyConnection or the end of
// the reader. Every request probes it first; a failed probe is reported as ExecutionErrorOccured,
// and the caller recovers by destroying the connection so that the next request opens a new one.
class CustomSource {
public:
    CustomSource();
    ~CustomSource();
    CustomSource(const CustomSource&) = delete;
    CustomSource& operator=(const CustomSource&) = delete;

    // Window of the readings: startdate <= TimeDate < enddate.
    double startdate() const { return startdate_; }
    void setStartdate(double d) { startdate_ = d; }
    double enddate() const { return enddate_; }
    void setEnddate(double d) { enddate_ = d; }

    Variant SourceTag() const { return sourceTag_; }
    void setSourceTag(const QString& tag) { sourceTag_ = Variant(tag); }
    Variant SourceStatistic() const { return sourceStatistic_; }
    void setSourceStatistic(const QString& statistic) { sourceStatistic_ = Variant(statistic.toUpper()); }

    // The filter settings come from the variable's record, where they may be null.
    Variant FilterTag() const { return filterTag_; }
    void setFilterTag(const Variant& v) { filterTag_ = v; }
    Variant FilterOp() const { return filterOp_; }
    void setFilterOp(const Variant& v) { filterOp_ = v; }
    Variant FilterValue() const { return filterValue_; }
    void setFilterValue(const Variant& v) { filterValue_ = v; }
    Variant HighRangeFilter() const { return highRangeFilter_; }
    void setHighRangeFilter(const Variant& v) { highRangeFilter_ = v; }
    Variant LowRangeFilter() const { return lowRangeFilter_; }
    void setLowRangeFilter(const Variant& v) { lowRangeFilter_ = v; }
    Variant DeadBand() const { return deadBand_; }
    void setDeadBand(const Variant& v) { deadBand_ = v; }

    // This source never keeps the import from recording its last-run dates.
    bool HoldLastRunDate() const { return false; }

    void PrepareForNextVariable() {
        cacheFilled_ = false;
        DropReadings();
    }
    void PrepareForNextFacility(const Variant& FacilityTimeZoneOffset, const Variant& CollectorTimeZoneOffset,
                                const Variant& InterfaceTimezoneOffset);

    // The statistic, the source tag and the filter tag; the first failing check is written to
    // AppLog at level 1 and gives False.
    bool Validate();

    // Reads [startdate, enddate) into the reading array and keeps it as the cache of the variable.
    bool CacheFill(bool& ExecutionErrorOccured);
    // "NA" for every slot of a text variable, once the connection answers.
    Variant GetTextResult(bool& ExecutionErrorOccured);
    // The statistic of the readings in [startdate, enddate); null when there is none.
    Variant GetDoubleResult(bool& ExecutionErrorOccured);

    // Closes (ignoring errors) and drops the connection.
    void DestroyConnection();

    // The current parameters on one line, tab-separated, for the level-3 query trace.
    QString LogCustomSourceQuery() const;

    // The connection string the reader opens, with "###" for the password when masked.
    QString GenerateSourceConnString(bool MaskPassword) const;

    // Pure helpers of the tag syntax and the connection string, public for the settings dialog
    // and the tests.
    static bool IsValidSourceTag(const QString& tag);
    // Train number and sensor type of a tag, as texts: the tag without its first three
    // characters, split at its first colon.
    static void SplitSourceTag(const QString& tag, QString& trainNumber, QString& sensorType);
    static QString BuildSourceConnectionString(const QString& provider, const QString& dataSource,
                                               const QString& catalog, const QString& user,
                                               const QString& password);
    // Whether a name may be pasted into a statement as the readings table.
    static bool IsPlainTableName(const QString& name);

    // The readings fetched for the current slot and the first one after it, element 0 unused;
    // and the index of the next one to hand on.
    const std::vector<SourceReading>& readings() const { return readings_; }
    std::int32_t readCursor() const { return readCursor_; }
    bool cacheFilled() const { return cacheFilled_; }

private:
    bool OpenSourceConnection();
    bool EnsureSourceConnection();
    bool ProbeSourceConnection();
    void CloseSourceConnection();
    void ConfigureSourceConnection(ado::Connection& connection) const;
    void BuildReadingArray(bool& error, bool& built);
    void CloseReadingStreams();
    void DropReadings(); // the streams closed and the array emptied
    // The next reading of the signal appended to the array; false once there is none.
    bool FetchReading();
    Variant FilterValueAt(double time);
    static SourceReading ReadingOf(const ado::Recordset& rows);
    Variant ComputeSlotValue();
    bool FeedSlotReadings();
    bool ResolveDataTable();

    // One query of the readings of a signal in [startdate, enddate), oldest first, fetched as read.
    ado::Recordset querySignal(const QString& tag);

    double startdate_ = 0.0;
    double enddate_ = 0.0;
    Variant sourceTag_;
    Variant sourceStatistic_;
    Variant filterTag_;
    Variant filterOp_;
    Variant filterValue_;
    Variant highRangeFilter_ = Variant::null();
    Variant lowRangeFilter_ = Variant::null();
    Variant deadBand_;

    QString dataTable_;
    std::vector<SourceReading> readings_;
    std::int32_t readCursor_ = 0;
    bool cacheFilled_ = false;
    bool readFailed_ = false;
    std::optional<ado::Recordset> mainRows_;
    std::optional<ado::Recordset> filterRows_;
    std::optional<SourceReading> filterAhead_;
    std::optional<double> lastReadingTime_;
    std::unique_ptr<CommonTypeArrayStat> statistics_;
    std::optional<ado::Connection> connection_;
};
