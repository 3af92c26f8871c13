#pragma once

#include "CommonFiles/foundation/Variant.h"
#include "CommonFiles/stats/SourceReading.h"

#include <QString>

#include <cstdint>
#include <vector>

// Reduces the readings of one slot to the single value written for that slot. The source reader
// calls Init, sets the parameters, adds the slot's readings in time order and asks for the
// statistic; the readings pass the range limits and the filter condition before they are folded.
//
// Failures inside the passes (a limit or filter value that is not a number, a roll-over DIFF
// whose first value is not positive) raise AppError to the caller, which gives the slot no value.
class CommonTypeArrayStat {
public:
    CommonTypeArrayStat();

    // Start, end and source tag only show in the diagnostic dump: the caller selects the readings.
    void setStartdate(double d) { startdate_ = d; }
    void setEnddate(double d) { enddate_ = d; }
    void setSourceTag(const QString& tag) { sourceTag_ = Variant(tag); }
    void setSourceStatistic(const QString& statistic) { sourceStatistic_ = Variant(statistic.toUpper()); }
    void setFilterTag(const Variant& v) {
        filterTag_ = v;
        filtered_ = !v.toText().isEmpty();
    }
    void setFilterOp(const Variant& v) { filterOp_ = v; }
    void setFilterValue(const Variant& v) { filterValue_ = v; }
    void setHighRangeFilter(const Variant& v) { highRangeFilter_ = v; }
    void setLowRangeFilter(const Variant& v) { lowRangeFilter_ = v; }
    void setDeadBand(const Variant& v) { deadBand_ = v; }

    // Empties the sample array and both totals; the parameters stay as they are.
    void Init();
    // Appends one reading. A null value is kept as empty; the filter value is kept only while a
    // filter tag is set.
    bool AddRecord(double recDate, const Variant& RecResult, const Variant& FilterResult);
    // As above, for a time stamp carried as a value: a date, a day count or a date text; anything
    // else (null included) stamps the reading with the zero date.
    bool AddRecord(const Variant& recDate, const Variant& RecResult, const Variant& FilterResult);
    // Null when no reading was accepted or the statistic is not supported.
    Variant ReturnStatNumericValue();
    Variant ReturnStatTextValue();

private:
    struct RunningTotals {
        double sum = 0.0;
        std::int32_t count = 0;
        double first = 0.0;
        double last = 0.0;
        double maximum = 0.0;
        double minimum = 0.0;
        double inventory = 0.0;
        double above = 0.0;
        double below = 0.0;
        double equal = 0.0;
    };
    struct TextTotals {
        std::int32_t count = 0;
        QString first;
        QString last;
        QString timeOfMaximum;
        QString timeOfMinimum;
        Variant maximum;
        Variant minimum;
    };
    enum class Pass { Numeric, Text };

    double RoundHalfUp(double x) const;
    void ApplySampleFilters(Pass pass);
    // threshold: the argument of a TIME statistic, 0 for every other one.
    void AccumulateNumeric(double x, double threshold);
    double deadBandValue() const { return deadBand_.isDouble() ? deadBand_.doubleValue() : deadBand_.toDouble(); }
    Variant ComputeNumericStatistic();
    void AccumulateText(const Variant& value, double timestamp);
    Variant ComputeTextStatistic();
    double ParseStatisticArgument() const;
    void DumpDiagnostics(int level) const;
    void dumpRunningTotals(int level) const;

    // The log's verbosity, asked at construction, Init and the start of each pass rather than
    // for every reading (the log's lock made that a large part of a reading's cost).
    bool traceOn(int level) const { return verbosity_ >= level; }
    void refreshVerbosity();
    static void trace(const QString& text, int level);
    int verbosity_ = 0;

    double startdate_ = 0.0;
    double enddate_ = 0.0;
    Variant sourceTag_;
    Variant sourceStatistic_;
    Variant filterTag_;
    bool filtered_ = false; // a filter tag is set
    Variant filterOp_;
    Variant filterValue_;
    // No limit until one is set, as on the source reader.
    Variant highRangeFilter_ = Variant::null();
    Variant lowRangeFilter_ = Variant::null();
    Variant deadBand_;

    // Readings occupy 0..n-1; element n is the empty one every reading is written into.
    std::vector<SourceReading> samples_;
    RunningTotals totals_;
    TextTotals textTotals_;
};
