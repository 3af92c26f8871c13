#include "tests/reliability/FaultCampaign.h"

#include "tests/reliability/FaultPlan.h"
#include "tests/reliability/InProcessImport.h"

namespace reliability {

namespace {

void note(CampaignResult& r, const QString& what) {
    if (r.failures.size() < 20) r.failures << what;
}

} // namespace

CampaignResult runFaultCampaign(ImportScenario& scenario, const CampaignOptions& options) {
    CampaignResult result;
    InProcessImport import(scenario, options.now);
    ImportOracle oracle(scenario);
    FaultPlan plan;

    scenario.reset();
    plan.countOnly();
    if (import.run() != ImportOutcome::Succeeded) {
        note(result, QStringLiteral("the clean import did not succeed"));
        result.violations = 1;
        return result;
    }
    result.sourceCalls = plan.calls(FaultPlan::Side::Source);
    result.targetCalls = plan.calls(FaultPlan::Side::Target);
    const InvariantReport clean = oracle.check(options.now);
    if (!clean.ok()) {
        note(result, QStringLiteral("clean import: ") + clean.summary());
        result.violations += clean.violations;
        result.rowsLost += clean.rowsLost;
        result.rowsDuplicated += clean.rowsDuplicated;
        return result;
    }

    for (const FaultPlan::Side side : {FaultPlan::Side::Source, FaultPlan::Side::Target}) {
        const int calls = side == FaultPlan::Side::Source ? result.sourceCalls : result.targetCalls;
        for (const FaultPlan::Mode mode : {FaultPlan::Mode::Once, FaultPlan::Mode::From}) {
            for (int n = 1 + options.offset; n <= calls; n += options.stride) {
                scenario.reset();
                if (mode == FaultPlan::Mode::Once)
                    plan.failOnce(side, n);
                else
                    plan.failFrom(side, n);
                const ImportOutcome faulty = import.run();
                const QString hit = plan.firstInjected();
                plan.stop();
                const QString name = QStringLiteral("%1 call %2 failing %3 (%4)")
                                         .arg(FaultPlan::sideName(side))
                                         .arg(n)
                                         .arg(FaultPlan::modeName(mode), hit);
                ++result.tried;
                bool survived = true;
                // Right after the fault: whatever the run recorded as done is done correctly.
                // A run that stopped before recording anything leaves the initial last runs.
                const InvariantReport afterFault = oracle.check();
                if (!afterFault.ok()) {
                    survived = false;
                    note(result, name + QStringLiteral(", after the fault: ") + afterFault.summary());
                    result.violations += afterFault.violations;
                    result.rowsLost += afterFault.rowsLost;
                    result.rowsDuplicated += afterFault.rowsDuplicated;
                }
                const ImportOutcome again = import.run();
                const InvariantReport afterRestart = oracle.check(options.now);
                if (again != ImportOutcome::Succeeded) {
                    survived = false;
                    note(result, name + QStringLiteral(": the next import did not succeed"));
                    ++result.violations;
                }
                if (!afterRestart.ok()) {
                    survived = false;
                    note(result, name + QStringLiteral(", after the next import: ") + afterRestart.summary());
                    result.violations += afterRestart.violations;
                    result.rowsLost += afterRestart.rowsLost;
                    result.rowsDuplicated += afterRestart.rowsDuplicated;
                }
                if (survived) ++result.survived;
                if (options.progress)
                    options.progress(
                        name + (survived ? QStringLiteral(": survived") : QStringLiteral(": FAILED")) +
                        (faulty == ImportOutcome::Succeeded ? QString() : QStringLiteral(" (run stopped)")));
            }
        }
    }
    return result;
}

} // namespace reliability
