#pragma once

#include "CommonFiles/foundation/Variant.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CommonFacilityWriter;
class CommonTypeDateManager;
class CommonTypeVar;
class CommonTypeVarRec;
class CommonVarGatherer;
class CustomSource;

// One import run: every facility and variable the gatherer lists, cut into the variable's slots,
// read from the source, scaled, rounded and written through one facility writer per facility.
// Source and target connection failures are retried (SOURCE\RECOVERY, TARGET\RECOVERY); when the
// attempts run out the run stops with False after its statistics block. A service run records
// each finished facility's last-run date; an interactive run never does.
//
// A CommonImport serves one run. Failures that no step handles (a setting that is not a Boolean,
// say) are raised to the caller.
class CommonImport {
public:
    CommonImport();
    ~CommonImport();
    CommonImport(const CommonImport&) = delete;
    CommonImport& operator=(const CommonImport&) = delete;

    bool StartImport(CommonVarGatherer& aVarGatgerer, bool TestMode);

    // The counters of the run, for the caller and the tests.
    struct Statistics {
        std::int32_t logicalWrites = 0;
        std::int32_t physicalWrites = 0;
        std::int32_t skippedWrites = 0;
        std::int32_t physicalReads = 0;
        std::int32_t sourceConnectionFailures = 0;
        std::int32_t targetConnectionFailures = 0;
        std::int32_t attemptedVariables = 0;
        std::int32_t failedValidation = 0;
    };
    const Statistics& statistics() const { return stats_; }

    // What a headless caller shows as progress: called after every slot of a variable.
    struct Progress {
        QString facility;
        QString variable;
        std::int32_t slotsDone = 0;
        std::int32_t slotsTotal = 0;
    };
    using ProgressHook = std::function<void(const Progress&)>;
    // An empty function unregisters.
    static void SetProgressHook(ProgressHook hook);

    // The backfill mode, for operators who load months of history at once: each variable's slots
    // are written inside one target transaction instead of one autocommit statement per call.
    // Every rule of a normal run holds (seek, lock date, approval level, test mode, the same log
    // lines). When the target connection fails inside a variable, the variable is rolled back and,
    // after the recovery wait, written again from its first slot: nothing is stored twice or lost,
    // and the counters and the "Wrote" lines count each slot once (a variable's outcome lines are
    // logged when its transaction commits). The service and the interactive window never set it.
    static void SetBackfill(bool on);
    static bool Backfill();

    // Sleeps in small steps and lets pending events run meanwhile, so timers and windows stay
    // responsive during recovery and throttling waits.
    static void SleepWithEvents(std::int64_t milliseconds);

    // The rule of the cache fill, public for its tests: N slots, D calendar days.
    bool IsCacheFillRequested(std::int32_t slotCount, std::int32_t days) const;

private:
    // How the walk over a variable's slots ended.
    enum class Walk {
        Done,       // every slot handled (or the variable skipped)
        Stopped,    // a failure the run cannot go on after (the source could not be reached, ...)
        TargetLost, // backfill only: a target call failed inside the variable's transaction
    };

    bool ImportVariable(const std::shared_ptr<CommonTypeVarRec>& variable, double rangeStart,
                        double rangeEnd);
    Walk WalkVariable(const std::shared_ptr<CommonTypeVarRec>& variable, CommonTypeDateManager& slots,
                      double rangeStart, double rangeEnd);
    bool ImportVariableInOneTransaction(const std::shared_ptr<CommonTypeVarRec>& variable,
                                        CommonTypeDateManager& slots, double rangeStart, double rangeEnd);
    void LogTargetRecovery(std::int32_t attemptsLeft);
    // LogActivity, or held until the variable's transaction commits.
    void ReportOutcome(const QString& line, int level);
    void ThrottlePerformance();
    bool CACHE_FILL_Query(CustomSource& reader, bool& noData);
    bool ReadSlotValue(const QString& varType, Variant& value, CustomSource& reader);
    bool WriteSlotValue(const Variant& value, const CommonTypeVarRec& variable, double dateStamp);
    static bool ApplyScaleFactor(double& value, double factor);
    void CountPhysicalRead() { ++stats_.physicalReads; }
    void RecordWriteOutcome(double dateStamp, const CommonTypeVarRec& variable, const QString& valueText,
                            bool logicalWrite, bool physicalWrite, bool refusedByApproval);
    void LogSessionStatistics();

    std::unique_ptr<CommonTypeVar> variables_;
    CommonVarGatherer* gatherer_ = nullptr;
    bool testMode_ = false;
    double startTime_ = 0;
    double startSeconds_ = 0;
    double endSeconds_ = 0;
    std::unique_ptr<CommonFacilityWriter> writer_;
    QString currentFacility_;
    Statistics stats_;

    // Read once per variable rather than once per slot: a run does not change them.
    struct Recovery {
        std::int32_t attempts = 0;
        std::int32_t seconds = 0;
        QString secondsText;
    };
    Recovery sourceRecovery_;
    Recovery targetRecovery_;
    bool throttle_ = false;

    // Inside a backfill variable: its outcome lines, logged at the commit.
    bool inBatch_ = false;
    bool batchBroken_ = false;
    struct PendingLine {
        QString text;
        int level = 0;
    };
    std::vector<PendingLine> pending_;
};

// The source reader shared by every run of the process; SOURCE\STATICCOMMONIMPORT keeps it (and
// its connection) from one run to the next.
std::unique_ptr<CustomSource>& SharedSourceReader();
