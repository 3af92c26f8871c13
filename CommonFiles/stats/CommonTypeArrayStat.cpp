#include "CommonFiles/stats/CommonTypeArrayStat.h"

#include "CommonFiles/foundation/AppError.h"
#include "CommonFiles/foundation/AppGlobals.h"
#include "CommonFiles/foundation/OleDate.h"
#include "CommonFiles/foundation/QTXLoggerTXT.h"

#include <cmath>
#include <new>
#include <optional>

namespace {

constexpr int TraceLevel = 7;
constexpr int DetailLevel = 8;
constexpr int TotalsLevel = 9;

enum class FilterOperator { Equal, Less, LessOrEqual, Greater, GreaterOrEqual, NotEqual, CyclesTo, Unknown };

FilterOperator parseOperator(const Variant& op) {
    const QString s = op.toText().toUpper();
    if (s == QLatin1String("=")) return FilterOperator::Equal;
    if (s == QLatin1String("<")) return FilterOperator::Less;
    if (s == QLatin1String("<=")) return FilterOperator::LessOrEqual;
    if (s == QLatin1String(">")) return FilterOperator::Greater;
    if (s == QLatin1String(">=")) return FilterOperator::GreaterOrEqual;
    if (s == QLatin1String("<>")) return FilterOperator::NotEqual;
    if (s == QLatin1String("CYCLESTO")) return FilterOperator::CyclesTo;
    return FilterOperator::Unknown;
}

QString dateText(double d) {
    return Variant::fromDate(d).toText();
}

QString numberText(double d) {
    return Variant::numberText(d);
}

// "The value as text is empty" without formatting a number per reading: only empty, null and an
// empty text have an empty text.
bool textIsEmpty(const Variant& v) {
    switch (v.type()) {
    case Variant::Type::Empty:
    case Variant::Type::Null:
        return true;
    case Variant::Type::Text:
        return v.toText().isEmpty();
    default:
        return false;
    }
}

} // namespace

CommonTypeArrayStat::CommonTypeArrayStat() {
    samples_.emplace_back();
    refreshVerbosity();
}

void CommonTypeArrayStat::refreshVerbosity() {
    verbosity_ = AppLog().Verbosity();
}

void CommonTypeArrayStat::trace(const QString& text, int level) {
    AppLog().WriteLog(text, level);
}

void CommonTypeArrayStat::Init() {
    // clear() keeps the capacity, so a reader reusing this object for slot after slot does not
    // reallocate once the largest slot has been seen.
    samples_.clear();
    samples_.emplace_back();
    refreshVerbosity();
    totals_ = RunningTotals{};
    textTotals_ = TextTotals{};
}

bool CommonTypeArrayStat::AddRecord(const Variant& recDate, const Variant& RecResult,
                                    const Variant& FilterResult) {
    double when = 0.0;
    switch (recDate.type()) {
    case Variant::Type::Date:
    case Variant::Type::Double:
    case Variant::Type::Integer:
        when = recDate.toDouble();
        break;
    case Variant::Type::Text:
        if (recDate.isDate()) when = recDate.toDate();
        break;
    default:
        break;
    }
    return AddRecord(when, RecResult, FilterResult);
}

bool CommonTypeArrayStat::AddRecord(double recDate, const Variant& RecResult, const Variant& FilterResult) {
    // Called for every reading: the verbosity is asked once, not before each trace line.
    const bool detail = traceOn(DetailLevel);
    try {
        if (detail) trace(QStringLiteral("Adding element to array"), DetailLevel);

        SourceReading& reading = samples_.back();
        reading.TimeDate = recDate;
        // Assigned in place, not through a temporary: this runs for every reading.
        if (RecResult.isNull())
            reading.Data = Variant();
        else
            reading.Data = RecResult;
        if (filtered_ && !FilterResult.isNull())
            reading.FilterResult = FilterResult;
        else
            reading.FilterResult = Variant();

        if (detail)
            trace("Elements added to array: " + dateText(reading.TimeDate) + ", " + reading.Data.toText() +
                      ", " + reading.FilterResult.toText(),
                  DetailLevel);

        samples_.emplace_back();

        if (detail)
            trace("Data Array now has: " + QString::number(samples_.size() - 1) + " element(s)", DetailLevel);
        return true;
    } catch (const AppError& e) {
        if (traceOn(DetailLevel))
            trace("Unexpected error occured in CommonTypeArrayStat.AddRecord() : " + e.text(), DetailLevel);
    } catch (const std::bad_alloc&) {
        if (traceOn(DetailLevel))
            trace(QStringLiteral(
                      "Unexpected error occured in CommonTypeArrayStat.AddRecord() : 7 - Out of memory"),
                  DetailLevel);
    }
    // The reading written into the trailing element must not count as added.
    samples_.back() = SourceReading{};
    return false;
}

Variant CommonTypeArrayStat::ReturnStatNumericValue() {
    refreshVerbosity();
    Variant result = Variant::null();
    if (traceOn(TraceLevel)) trace(QStringLiteral("Begin parsing cached array"), TraceLevel);
    ApplySampleFilters(Pass::Numeric);
    DumpDiagnostics(TraceLevel);
    result = ComputeNumericStatistic();
    if (traceOn(TraceLevel)) trace("Value to return: " + result.toText(), TraceLevel);
    return result;
}

Variant CommonTypeArrayStat::ReturnStatTextValue() {
    refreshVerbosity();
    Variant result = Variant::null();
    if (traceOn(TraceLevel)) trace(QStringLiteral("Begin parsing cached array"), TraceLevel);
    ApplySampleFilters(Pass::Text);
    result = ComputeTextStatistic();
    if (traceOn(TraceLevel)) trace("Value to return: " + result.toText(), TraceLevel);
    return result;
}

double CommonTypeArrayStat::RoundHalfUp(double x) const {
    return Variant::roundHalfEven(x + 0.5);
}

void CommonTypeArrayStat::ApplySampleFilters(Pass pass) {
    // Each pass folds the array afresh: asking twice for a statistic of the same readings must
    // not count them twice.
    if (pass == Pass::Numeric)
        totals_ = RunningTotals{};
    else
        textTotals_ = TextTotals{};

    const bool filtered = filtered_;
    const FilterOperator op = filtered ? parseOperator(filterOp_) : FilterOperator::Unknown;
    // Converted on first use, so a filter value that is not a number only fails a pass that
    // actually compares with it.
    std::optional<double> filterValue;
    auto value = [&]() -> double {
        if (!filterValue) filterValue = filterValue_.toDouble();
        return *filterValue;
    };
    const double threshold =
        (pass == Pass::Numeric && sourceStatistic_.toText().startsWith(QLatin1String("TIME")))
            ? ParseStatisticArgument()
            : 0.0;

    // The range limits converted once, on first use (so a limit that is not a number fails only a
    // pass that compares with it, as when it was converted per reading).
    std::optional<double> low, high;
    const bool hasLow = !lowRangeFilter_.isNull(), hasHigh = !highRangeFilter_.isNull();

    for (std::size_t i = 0; i < samples_.size(); ++i) {
        const SourceReading& r = samples_[i];
        if (pass == Pass::Text && r.Data.isNull()) continue;

        // A Double is what nearly every reading is: numeric, with its number at hand.
        const bool isDouble = r.Data.isDouble();
        const bool numeric = isDouble || r.Data.isNumeric();
        if (numeric) {
            const double x = isDouble ? r.Data.doubleValue() : r.Data.toDouble();
            if (hasLow) {
                if (!low) low = lowRangeFilter_.toDouble();
                if (*low > x) continue;
            }
            if (hasHigh) {
                if (!high) high = highRangeFilter_.toDouble();
                if (x > *high) continue;
            }
        }

        if (filtered) {
            if (r.FilterResult.isEmpty() || !r.FilterResult.isNumeric()) continue;
            // A null comparison value matches nothing, whatever the operator.
            if (op == FilterOperator::Unknown || filterValue_.isNull()) continue;
            const double f = r.FilterResult.toDouble();
            bool passes = false;
            switch (op) {
            case FilterOperator::Equal:
                passes = f == value();
                break;
            case FilterOperator::Less:
                passes = f < value();
                break;
            case FilterOperator::LessOrEqual:
                passes = f <= value();
                break;
            case FilterOperator::Greater:
                passes = f > value();
                break;
            case FilterOperator::GreaterOrEqual:
                passes = f >= value();
                break;
            case FilterOperator::NotEqual:
                passes = f != value();
                break;
            case FilterOperator::CyclesTo: {
                // Only the reading at which the filter signal has just changed to the value.
                // Before the first element the signal counts as 0, and so does a missing value.
                bool previousIsValue = false;
                if (i == 0) {
                    previousIsValue = value() == 0.0;
                } else {
                    const Variant& prev = samples_[i - 1].FilterResult;
                    if (prev.isNumeric()) previousIsValue = prev.toDouble() == value();
                }
                passes = f == value() && !previousIsValue;
                break;
            }
            case FilterOperator::Unknown:
                break;
            }
            if (!passes) continue;
        }

        if (pass == Pass::Numeric) {
            if (isDouble) {
                AccumulateNumeric(r.Data.doubleValue(), threshold);
                continue;
            }
            if (textIsEmpty(r.Data) || !numeric) continue;
            AccumulateNumeric(r.Data.toDouble(), threshold);
        } else {
            if (textIsEmpty(r.Data)) continue;
            AccumulateText(r.Data, r.TimeDate);
        }
    }
}

void CommonTypeArrayStat::AccumulateNumeric(double x, double threshold) {
    if (traceOn(DetailLevel)) trace("Current value from array: " + numberText(x), DetailLevel);

    RunningTotals& t = totals_;
    ++t.count;
    if (t.count == 1) {
        t.minimum = t.maximum = t.first = t.last = x;
        t.inventory = t.above = t.below = t.equal = 0.0;
    } else {
        if (t.minimum > x) t.minimum = x;
        if (t.maximum < x) t.maximum = x;
    }
    t.sum += x;

    if (t.last > x && (deadBand_.isNull() || (t.last - x) > deadBandValue())) t.inventory += x;

    if (x == threshold) t.equal += 1.0;
    if (x > threshold) t.above += 1.0;
    if (x < threshold) t.below += 1.0;

    t.last = x;
    if (traceOn(TotalsLevel)) dumpRunningTotals(TotalsLevel);
}

double CommonTypeArrayStat::ParseStatisticArgument() const {
    const QString s = sourceStatistic_.toText();
    const qsizetype open = s.indexOf(QLatin1Char('('), 4);
    if (open < 0) return 0.0;
    const qsizetype close = s.indexOf(QLatin1Char(')'), open + 1);
    if (close < 0) return 0.0;
    double argument = 0.0;
    if (!Variant::parseNumber(s.mid(open + 1, close - open - 1), argument)) return 0.0;
    return argument;
}

Variant CommonTypeArrayStat::ComputeNumericStatistic() {
    QString s = sourceStatistic_.toText().toUpper();
    if (s.startsWith(QLatin1String("TIME"))) s = s.left(6);
    const RunningTotals& t = totals_;
    if (traceOn(DetailLevel))
        trace("Getting value for stat: " + sourceStatistic_.toText() + " for " + QString::number(t.count) +
                  " number of samples.",
              DetailLevel);

    Variant result = Variant::null();
    if (t.count >= 1) {
        if (s == QLatin1String("AVERAGE")) {
            result = Variant(t.sum / t.count);
        } else if (s == QLatin1String("TOTAL")) {
            result = Variant(t.sum);
        } else if (s == QLatin1String("MINIMUM")) {
            result = Variant(t.minimum);
        } else if (s == QLatin1String("MAXIMUM")) {
            result = Variant(t.maximum);
        } else if (s == QLatin1String("FIRST")) {
            result = Variant(t.first);
        } else if (s == QLatin1String("LAST")) {
            result = Variant(t.last);
        } else if (s == QLatin1String("DIFF")) {
            double d = t.last - t.first;
            if (d < 0.0) {
                // A counter that rolled over: its modulus is the power of ten above the first value.
                if (!(t.first > 0.0))
                    throw AppError(AppError::InvalidArgument,
                                   QStringLiteral("Invalid procedure call or argument"));
                const double n = RoundHalfUp(std::log(t.first) / std::log(10.0));
                d = std::pow(10.0, n) - t.first + t.last;
            }
            result = Variant(d);
        } else if (s == QLatin1String("RANGE")) {
            result = Variant(std::fabs(t.maximum - t.minimum));
        } else if (s == QLatin1String("TIMEGT")) {
            result = Variant(t.above);
        } else if (s == QLatin1String("TIMELT")) {
            result = Variant(t.below);
        } else if (s == QLatin1String("TIMEEQ")) {
            result = Variant(t.equal);
        } else if (s == QLatin1String("INVENTORY")) {
            result = Variant(t.inventory);
        } else if (s == QLatin1String("COUNT")) {
            result = Variant(static_cast<int>(t.count));
        } else {
            if (traceOn(1)) trace("Statistic not supported: " + s, 1);
        }
    }

    if (traceOn(DetailLevel)) trace("Value to return is: " + result.toText(), DetailLevel);
    return result;
}

void CommonTypeArrayStat::AccumulateText(const Variant& value, double timestamp) {
    if (traceOn(DetailLevel))
        trace("Current value from array: " + value.toText() + ", date: " + dateText(timestamp), DetailLevel);

    TextTotals& t = textTotals_;
    ++t.count;
    if (t.count == 1) {
        t.first = t.last = value.toText();
        t.timeOfMaximum = t.timeOfMinimum = OleDate::format(timestamp, QStringLiteral("mm/dd/yyyy hh:mm:ss"));
        t.maximum = t.minimum = value;
        return;
    }
    t.last = value.toText();
    if (!value.isNumeric()) return;
    const double x = value.toDouble();
    if (t.maximum.isNumeric() && x > t.maximum.toDouble()) {
        t.timeOfMaximum = OleDate::format(timestamp, QStringLiteral("mm/dd/yyyy hh:mm:ss"));
        t.maximum = value;
    }
    if (t.minimum.isNumeric() && t.minimum.toDouble() > x) {
        t.timeOfMinimum = OleDate::format(timestamp, QStringLiteral("mm/dd/yyyy hh:mm:ss"));
        t.minimum = value;
    }
}

Variant CommonTypeArrayStat::ComputeTextStatistic() {
    const QString s = sourceStatistic_.toText();
    const TextTotals& t = textTotals_;
    if (traceOn(DetailLevel))
        trace("Getting value for stat: " + s + " for " + QString::number(t.count) + " number of samples.",
              DetailLevel);

    Variant result = Variant::null();
    if (t.count >= 1) {
        if (s == QLatin1String("FIRST")) {
            result = Variant(t.first);
        } else if (s == QLatin1String("LAST")) {
            result = Variant(t.last);
        } else if (s == QLatin1String("COUNT")) {
            result = Variant(static_cast<int>(t.count));
        } else if (s == QLatin1String("MAXTIME")) {
            result = Variant(t.timeOfMaximum);
        } else if (s == QLatin1String("MINTIME")) {
            result = Variant(t.timeOfMinimum);
        } else {
            trace("Unsupported Text Statistic " + s, 0);
        }
    }

    if (traceOn(DetailLevel)) trace("WhatTextValue to return is: " + result.toText(), DetailLevel);
    return result;
}

void CommonTypeArrayStat::dumpRunningTotals(int level) const {
    if (!traceOn(level)) return;
    const RunningTotals& t = totals_;
    trace(QStringLiteral("Last known running totals:"), level);
    trace("1. -- Sum: " + numberText(t.sum) + ", Number of Samples: " + QString::number(t.count), level);
    trace("2. -- First: " + numberText(t.first) + ", Last: " + numberText(t.last), level);
    trace("3. -- Max: " + numberText(t.maximum) + ", Min: " + numberText(t.minimum), level);
}

void CommonTypeArrayStat::DumpDiagnostics(int level) const {
    if (!traceOn(level)) return;
    trace(QStringLiteral("1. VesDRAQ Parameters submitted:"), level);
    trace("2. -- Start Date: " + dateText(startdate_) + ", End Date: " + dateText(enddate_), level);
    trace("3. -- Source tag: " + sourceTag_.toText() + ", Source statistic: " + sourceStatistic_.toText(),
          level);
    trace("4. -- Filter Data tag: " + filterTag_.toText() + ", Filter Operator: " + filterOp_.toText() +
              ", Filter value: " + filterValue_.toText(),
          level);
    trace("5. -- Filter High Range: " + highRangeFilter_.toText() +
              ", Low Range: " + lowRangeFilter_.toText() + ", Deadband: " + deadBand_.toText(),
          level);
    dumpRunningTotals(level);
    trace(QStringLiteral("Array:"), level);
    if (samples_.size() <= 1) {
        trace(QStringLiteral("1. No values loaded into array"), level);
        return;
    }
    const bool filtered = filtered_;
    for (std::size_t i = 0; i < samples_.size(); ++i) {
        const SourceReading& r = samples_[i];
        QString line = QString::number(i + 1) + "\t Date/time: \t" + dateText(r.TimeDate) +
                       "\t, Source Value: \t" + r.Data.toText();
        if (filtered) line += "\t, Filter Value: \t" + r.FilterResult.toText();
        trace(line, level);
    }
}
